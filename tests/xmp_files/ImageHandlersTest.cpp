// Round trips through the image handlers, with ExifTool as the independent reader and writer
// and ImageMagick's decoding as the proof that image data is untouched.

#include <functional>

#include "FilesTestSupport.h"
#include "io/Storage.h"

namespace velttest {
namespace {

const char* const kSamples[] = {"sample.jpg", "sample.png", "sample.gif", "sample-ii.tif",
                                "sample-mm.tif"};

SXMPMeta MakeMeta(const std::string& title, std::size_t descriptionBytes = 0) {
  SXMPMeta meta;
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", title);
  meta.AppendArrayItem(kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "Ana Lund");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "Bo \xC3\x85kesson");
  meta.SetProperty(kXMP_NS_XMP, "xmp:Rating", "4");
  if (descriptionBytes > 0) {
    std::string text;
    for (std::size_t i = 0; text.size() < descriptionBytes; ++i)
      text += " word" + std::to_string(i);
    meta.SetLocalizedText(kXMP_NS_DC, "dc:description", "", "x-default", text);
  }
  return meta;
}

std::string Title(const SXMPMeta& meta) {
  std::string value;
  meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", nullptr, &value);
  return value;
}

class ImageHandlers : public FilesTest {};

// Our writing, read back by us and by ExifTool; no new ExifTool warning; pixels unchanged.
// The second write (bigger) takes the rewrite path, the third (smaller) fits in place.
TEST_F(ImageHandlers, WriteReadBackAndExifToolAgrees) {
  VELT_REQUIRE_COMMANDS("exiftool", "convert");
  for (const char* name : kSamples) {
    SCOPED_TRACE(name);
    TempDir dir;
    auto file = CopySample(dir, name);
    const std::string pixels = Pixels(file);
    const std::string warnings = ExifToolWarnings(file);

    SXMPMeta none;
    EXPECT_FALSE(ReadXmp(file, &none));

    WriteXmp(file, MakeMeta("First title"));
    SXMPMeta back;
    ASSERT_TRUE(ReadXmp(file, &back));
    EXPECT_EQ(Title(back), "First title");
    std::string creator;
    EXPECT_TRUE(back.GetProperty(kXMP_NS_DC, "dc:creator[2]", &creator));
    EXPECT_EQ(creator, "Bo \xC3\x85kesson");
    EXPECT_EQ(ExifToolTag(file, "XMP-dc:Title"), "First title");
    EXPECT_EQ(ExifToolTag(file, "XMP-dc:Creator"), "Ana Lund, Bo \xC3\x85kesson");
    EXPECT_EQ(ExifToolTag(file, "XMP-xmp:Rating"), "4");

    // Grows beyond the old padding: a rewrite.
    WriteXmp(file, MakeMeta("Second title", 6000));
    const auto sizeAfterGrow = std::filesystem::file_size(file);
    EXPECT_EQ(ExifToolTag(file, "XMP-dc:Title"), "Second title");
    // Shrinks: in place, the file keeps its size.
    WriteXmp(file, MakeMeta("Third"));
    EXPECT_EQ(std::filesystem::file_size(file), sizeAfterGrow);
    ASSERT_TRUE(ReadXmp(file, &back));
    EXPECT_EQ(Title(back), "Third");
    EXPECT_FALSE(back.DoesPropertyExist(kXMP_NS_DC, "dc:description"));
    EXPECT_EQ(ExifToolTag(file, "XMP-dc:Title"), "Third");

    EXPECT_EQ(Pixels(file), pixels);
    EXPECT_EQ(ExifToolWarnings(file), warnings);
    EXPECT_EQ(CountFiles(dir.Path()), 1u);
  }
}

// ExifTool's writing, read by us.
TEST_F(ImageHandlers, ReadsWhatExifToolWrote) {
  VELT_REQUIRE_COMMANDS("exiftool");
  for (const char* name : kSamples) {
    SCOPED_TRACE(name);
    TempDir dir;
    auto file = CopySample(dir, name);
    int status = 0;
    RunCommand(
        "exiftool -q -overwrite_original '-XMP-dc:Title=Caf\xC3\xA9 <&> \"quoted\"' "
        "-XMP-dc:Subject=alpha -XMP-dc:Subject=beta '" +
            file.string() + "'",
        &status);
    ASSERT_EQ(status, 0);
    SXMPMeta meta;
    ASSERT_TRUE(ReadXmp(file, &meta));
    EXPECT_EQ(Title(meta), "Caf\xC3\xA9 <&> \"quoted\"");
    EXPECT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:subject"), 2);
    // And our update of ExifTool's packet keeps its other properties.
    meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "Red");
    WriteXmp(file, meta);
    EXPECT_EQ(ExifToolTag(file, "XMP-xmp:Label"), "Red");
    EXPECT_EQ(ExifToolTag(file, "XMP-dc:Subject"), "alpha, beta");
  }
}

// A packet larger than one JPEG segment is split into extended XMP; ExifTool joins it, and
// we join what ExifTool splits.
TEST_F(ImageHandlers, JpegExtendedXmpBothWays) {
  VELT_REQUIRE_COMMANDS("exiftool");
  TempDir dir;
  auto ours = CopySample(dir, "sample.jpg");
  SXMPMeta big = MakeMeta("Big", 150000);
  WriteXmp(ours, big);
  std::string expected;
  big.GetLocalizedText(kXMP_NS_DC, "dc:description", "", "x-default", nullptr, &expected);
  const std::string exiftoolDescription = ExifToolTag(ours, "XMP-dc:Description");
  EXPECT_TRUE(exiftoolDescription == expected)
      << exiftoolDescription.size() << " bytes, expected " << expected.size();
  EXPECT_EQ(ExifToolTag(ours, "XMP-dc:Title"), "Big");
  SXMPMeta back;
  ASSERT_TRUE(ReadXmp(ours, &back));
  EXPECT_EQ(Title(back), "Big");
  std::string description;
  back.GetLocalizedText(kXMP_NS_DC, "dc:description", "", "x-default", nullptr, &description);
  EXPECT_TRUE(description == expected)
      << description.size() << " bytes, expected " << expected.size();
  EXPECT_FALSE(back.DoesPropertyExist(kXMP_NS_XMP_Note, "xmpNote:HasExtendedXMP"));

  // Extended parts stored out of order (made by hand: the second half first) are joined.
  SXMPMeta joined;
  ASSERT_TRUE(ReadXmp(DataFile("xmp_files/images/extended-out-of-order.jpg"), &joined));
  std::string format;
  EXPECT_TRUE(joined.GetProperty(kXMP_NS_DC, "dc:format", &format));
  EXPECT_EQ(format, std::string(300, 'x'));
  EXPECT_FALSE(joined.DoesPropertyExist(kXMP_NS_XMP_Note, "xmpNote:HasExtendedXMP"));

  // ExifTool moves large properties into the extended part and keeps the rest standard.
  TempDir dir2;
  auto file = CopySample(dir2, "sample.jpg");
  WriteFile(dir2 / "desc.txt", expected);
  int status = 0;
  RunCommand("exiftool -q -overwrite_original -XMP-dc:Title=Theirs '-XMP-dc:Description<=" +
                 (dir2 / "desc.txt").string() + "' '" + file.string() + "'",
             &status);
  ASSERT_EQ(status, 0);
  SXMPMeta read;
  ASSERT_TRUE(ReadXmp(file, &read));
  EXPECT_EQ(Title(read), "Theirs");
  read.GetLocalizedText(kXMP_NS_DC, "dc:description", "", "x-default", nullptr, &description);
  EXPECT_TRUE(description == expected)
      << description.size() << " bytes, expected " << expected.size();
}

// A failure at any point of a rewrite leaves the original bytes and no temporary file.
TEST_F(ImageHandlers, InjectedFailuresLeaveTheOriginal) {
  for (const char* name : kSamples) {
    for (const char* point : {"temp-create", "temp-write", "temp-flush", "rename", "in-place"}) {
      SCOPED_TRACE(std::string(name) + " at " + point);
      TempDir dir;
      auto file = CopySample(dir, name);
      WriteXmp(file, MakeMeta("Before"));
      const std::string before = ReadFile(file);
      xmpfiles::SetFailureHook([&](std::string_view p) { return p == point; });
      try {
        // A big packet takes the rewrite path, a small one the in-place path.
        WriteXmp(file, MakeMeta("After", std::string_view(point) == "in-place" ? 0 : 9000));
        ADD_FAILURE() << "the write did not fail";
      } catch (const XMP_Error& e) {
        EXPECT_EQ(e.GetID(), kXMPErr_WriteError) << e.GetErrMsg();
        EXPECT_NE(std::string(e.GetErrMsg()).find(point), std::string::npos) << e.GetErrMsg();
      }
      xmpfiles::SetFailureHook(nullptr);
      EXPECT_EQ(ReadFile(file), before);
      EXPECT_EQ(CountFiles(dir.Path()), 1u);
    }
  }
}

}  // namespace
}  // namespace velttest
