// Document history: the fields PrepareForSave records, checked in the object and, as an
// independent reader, by ExifTool on the serialized packet.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "xmp/SXMPUtils.h"
#include "xmp/TXMPDocOps.h"

namespace {

constexpr auto Get = coretest::Value;

TEST(DocOps, SavesRecordHistoryAndIdentifiers) {
  SXMPMeta::SetClientName("veltmeta-test");
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_DC, "dc:format", "image/jpeg");
  TXMPDocOps ops;
  EXPECT_THROW(ops.PrepareForSave(""), XMP_Error);  // not bound
  ops.OpenXMP(&meta, "", nullptr, nullptr, 0);
  EXPECT_FALSE(ops.PrepareForSave(""));  // nothing noted: nothing recorded
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP_MM, "xmpMM:InstanceID"));

  ops.NoteChange("/metadata/dc/dc:title");
  ops.NoteChange("/metadata/xmp/xmp:Label");
  ops.NoteChange("/metadata/dc/dc:title");
  EXPECT_THROW(ops.NoteChange(""), XMP_Error);
  XMP_DateTime when = SXMPUtils::ConvertToDate("2024-03-01T10:20:30+01:00");
  ASSERT_TRUE(ops.PrepareForSave("", nullptr, &when, 0));
  EXPECT_FALSE(ops.IsDirty());

  const std::string event = "xmpMM:History[1]/stEvt:";
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, event + "action"), "saved");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, event + "when"), "2024-03-01T10:20:30+01:00");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, event + "softwareAgent"), "veltmeta-test");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, event + "changed"),
            "/metadata/dc/dc:title;/metadata/xmp/xmp:Label");
  const std::string instance = Get(meta, kXMP_NS_XMP_MM, "xmpMM:InstanceID");
  EXPECT_EQ(instance.rfind("xmp.iid:", 0), 0u);
  EXPECT_EQ(instance.size(), 8u + 36u);
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, event + "instanceID"), instance);
  const std::string document = Get(meta, kXMP_NS_XMP_MM, "xmpMM:DocumentID");
  EXPECT_EQ(document.rfind("xmp.did:", 0), 0u);
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:OriginalDocumentID"), document);
  EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:MetadataDate"), "2024-03-01T10:20:30+01:00");

  // A second save appends an event with a new instance and keeps the document identity;
  // "/" stands for everything.
  ops.NoteChange("/content");
  ops.NoteChange("/");
  ASSERT_TRUE(ops.PrepareForSave("image/png"));
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_XMP_MM, "xmpMM:History"), 2);
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:History[2]/stEvt:changed"), "/");
  EXPECT_NE(Get(meta, kXMP_NS_XMP_MM, "xmpMM:InstanceID"), instance);
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:DocumentID"), document);
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:format"), "image/png");

  // A History that is no array is reported and the object keeps its values.
  SXMPMeta broken;
  broken.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History", "not an array");
  TXMPDocOps brokenOps(&broken);
  brokenOps.NoteChange("/metadata");
  EXPECT_THROW(brokenOps.PrepareForSave(""), XMP_Error);
  EXPECT_FALSE(broken.DoesPropertyExist(kXMP_NS_XMP_MM, "xmpMM:InstanceID"));
  EXPECT_EQ(Get(broken, kXMP_NS_XMP_MM, "xmpMM:History"), "not an array");

  // A moved-from object is unbound, not a crash.
  TXMPDocOps taken = std::move(brokenOps);
  EXPECT_FALSE(brokenOps.IsDirty());
  EXPECT_THROW(brokenOps.PrepareForSave(""), XMP_Error);
}

TEST(DocOps, ExifToolReadsTheRecordedHistory) {
  VELT_REQUIRE_COMMANDS("exiftool");
  SXMPMeta::SetClientName("veltmeta-test");
  SXMPMeta meta;
  TXMPDocOps ops(&meta);
  ops.NoteChange("/metadata");
  XMP_DateTime when = SXMPUtils::ConvertToDate("2024-03-01T10:20:30Z");
  ASSERT_TRUE(ops.PrepareForSave("", nullptr, &when));
  std::string packet;
  meta.SerializeToBuffer(&packet);
  velttest::TempDir dir;
  velttest::WriteFile(dir / "history.xmp", packet);

  int status = -1;
  std::string out = velttest::RunCommand(
      "exiftool -s3 -HistoryAction -HistorySoftwareAgent -HistoryChanged -HistoryInstanceID "
      "-InstanceID -DocumentID -OriginalDocumentID -MetadataDate -d '%Y-%m-%dT%H:%M:%S' '" +
          (dir / "history.xmp").string() + "'",
      &status);
  ASSERT_EQ(status, 0) << out;
  const std::string instance = Get(meta, kXMP_NS_XMP_MM, "xmpMM:InstanceID");
  const std::string document = Get(meta, kXMP_NS_XMP_MM, "xmpMM:DocumentID");
  EXPECT_EQ(out, "saved\nveltmeta-test\n/metadata\n" + instance + "\n" + instance + "\n" +
                     document + "\n" + document + "\n2024-03-01T10:20:30\n");
}

}  // namespace
