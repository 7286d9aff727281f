// ExifTool as an independent reference: values of a packet it wrote survive our date
// conversions and array joining/splitting, and it reads the rebuilt packet the same way.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "xmp/SXMPMeta.h"
#include "xmp/SXMPUtils.h"

namespace {

const char* const kDates[][2] = {{kXMP_NS_XMP, "xmp:CreateDate"},
                                 {kXMP_NS_XMP, "xmp:ModifyDate"},
                                 {kXMP_NS_XMP, "xmp:MetadataDate"},
                                 {kXMP_NS_EXIF, "exif:DateTimeOriginal"}};

std::string ReadWithExifTool(const std::filesystem::path& file) {
  int status = -1;
  std::string out = velttest::RunCommand(
      "exiftool -s3 -n -sep '|' -Subject -CreateDate -ModifyDate -MetadataDate "
      "-DateTimeOriginal '" +
          file.string() + "'",
      &status);
  EXPECT_EQ(status, 0) << out;
  return out;
}

TEST(Interop, ExifToolValuesRoundTripThroughTheUtilities) {
  VELT_REQUIRE_COMMANDS("exiftool");
  velttest::TempDir dir;
  const auto original = dir / "exiftool.xmp";
  int status = -1;
  velttest::RunCommand("exiftool -q -o '" + original.string() +
                           "' '-XMP-dc:Subject=a; b' '-XMP-dc:Subject=say \"hi\"' "
                           "'-XMP-dc:Subject= pad ' '-XMP-dc:Subject=plain' "
                           "'-XMP-xmp:CreateDate=2024:02:29 13:05:09.25-07:30' "
                           "'-XMP-xmp:ModifyDate=2024' '-XMP-xmp:MetadataDate=2024:02' "
                           "'-XMP-exif:DateTimeOriginal=2024:02:29 13:05Z'",
                       &status);
  ASSERT_EQ(status, 0);
  std::string packet = velttest::ReadFile(original);
  SXMPMeta parsed(packet.data(), static_cast<XMP_StringLen>(packet.size()));

  // Arrays: joined and split again, the items are exactly ExifTool's.
  std::string joined;
  SXMPUtils::CatenateArrayItems(parsed, kXMP_NS_DC, "dc:subject", "; ", "\"", 0, &joined);
  EXPECT_EQ(joined, "\"a; b\"; \"say \"\"hi\"\"\"; \" pad \"; plain");
  SXMPMeta rebuilt;
  SXMPUtils::SeparateArrayItems(&rebuilt, kXMP_NS_DC, "dc:subject", 0, joined);
  ASSERT_EQ(rebuilt.CountArrayItems(kXMP_NS_DC, "dc:subject"), 4);
  for (XMP_Index i = 1; i <= 4; ++i) {
    std::string theirs, ours;
    parsed.GetArrayItem(kXMP_NS_DC, "dc:subject", i, &theirs);
    rebuilt.GetArrayItem(kXMP_NS_DC, "dc:subject", i, &ours);
    EXPECT_EQ(ours, theirs) << i;
  }

  // Dates: parsed into records and written back from them.
  for (const auto& [ns, path] : kDates) {
    std::string text;
    ASSERT_TRUE(parsed.GetProperty(ns, path, &text)) << path;
    XMP_DateTime date = SXMPUtils::ConvertToDate(text);
    EXPECT_EQ(SXMPUtils::ConvertFromDate(date), text) << path;
    rebuilt.SetProperty_Date(ns, path, date);
  }

  std::string written;
  rebuilt.SerializeToBuffer(&written);
  const auto ours = dir / "ours.xmp";
  velttest::WriteFile(ours, written);
  EXPECT_EQ(ReadWithExifTool(ours), ReadWithExifTool(original));
}

TEST(Interop, CollectEditDistributeKeepsEachFilesOwnValues) {
  VELT_REQUIRE_COMMANDS("exiftool");
  velttest::TempDir dir;
  const std::vector<std::string> args = {
      "-XMP-dc:Title=Same -XMP-xmp:Label=red -XMP-dc:Subject=a -XMP-dc:Subject=b "
      "-XMP-xmp:Rating=3",
      "-XMP-dc:Title=Same -XMP-xmp:Label=blue -XMP-dc:Subject=a -XMP-dc:Subject=b "
      "-XMP-xmp:Rating=3",
      "-XMP-dc:Title=Same -XMP-xmp:Label=red -XMP-dc:Subject=c"};
  std::vector<SXMPMeta> files;
  SXMPMeta merged;
  for (size_t i = 0; i < args.size(); ++i) {
    const auto path = dir / ("f" + std::to_string(i) + ".xmp");
    int status = -1;
    velttest::RunCommand("exiftool -q -o '" + path.string() + "' " + args[i], &status);
    ASSERT_EQ(status, 0);
    std::string packet = velttest::ReadFile(path);
    files.emplace_back(packet.data(), static_cast<XMP_StringLen>(packet.size()));
    SXMPUtils::CollectProperties(files.back(), &merged, 0);
  }
  EXPECT_FALSE(merged.HasMultipleValues(kXMP_NS_DC, "dc:title"));
  for (const char* path : {"xmp:Label", "xmp:Rating"}) {
    EXPECT_TRUE(merged.HasMultipleValues(kXMP_NS_XMP, path)) << path;
  }
  EXPECT_TRUE(merged.HasMultipleValues(kXMP_NS_DC, "dc:subject"));

  // The user sets one label for all files and adds a new property.
  merged.ClearMultipleValues(kXMP_NS_XMP, "xmp:Label");
  merged.SetProperty(kXMP_NS_XMP, "xmp:Label", "green");
  merged.SetProperty(kXMP_NS_XMP, "xmp:CreatorTool", "veltmeta");

  const std::vector<std::string> expected = {"Same\ngreen\na, b\n3\nveltmeta\n",
                                             "Same\ngreen\na, b\n3\nveltmeta\n",
                                             "Same\ngreen\nc\nveltmeta\n"};
  for (size_t i = 0; i < files.size(); ++i) {
    SXMPUtils::DistributeProperties(merged, &files[i], 0);
    std::string packet;
    files[i].SerializeToBuffer(&packet);
    const auto path = dir / ("out" + std::to_string(i) + ".xmp");
    velttest::WriteFile(path, packet);
    int status = -1;
    std::string out = velttest::RunCommand(
        "exiftool -s3 -sep ', ' -Title -Label -Subject -Rating -CreatorTool '" + path.string() +
            "'",
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, expected[i]) << "file " << i;
    EXPECT_EQ(packet.find("MultiFileCount"), std::string::npos);
  }
}

}  // namespace
