// One real edit: ExifTool writes a JPEG, we read it for display, edit it, write it back with
// the file handlers, and ExifTool reads what we wrote.

#include <cstdlib>
#include <ctime>

#include "FilesTestSupport.h"
#include "ValuesFixture.h"
#include "veltcore/DateFormat.h"

namespace velttest {
namespace {

using namespace veltmetadata;

class ValueEditCycleTest : public ValuesFixture {
 protected:
  void TearDown() override {
    veltcore::datetime::SetTimeLocaleOverride("");
    ValuesFixture::TearDown();
  }
};

TEST_F(ValueEditCycleTest, ExifToolFileIsShownEditedAndReadBackByExifTool) {
  VELT_REQUIRE_COMMANDS("exiftool");
  setenv("TZ", "UTC", 1);
  tzset();
  veltcore::datetime::SetTimeLocaleOverride("en_US.UTF-8");
  TempDir dir;
  const auto file = CopySample(dir, "sample.jpg");
  int status = -1;
  RunCommand(
      "exiftool -q -overwrite_original -XMP-exif:ExposureTime=1/250 -XMP-exif:FNumber=2.8 "
      "-XMP-exif:GPSLatitude=37.81 '-XMP-exif:DateTimeOriginal=2026:12:05 15:04:05+02:00' "
      "-XMP-dc:Subject=one '-XMP-dc:Subject=two; three' -XMP-dc:Title=Hello "
      "-XMP-dc:Title-de=Hallo '" +
          file.string() + "'",
      &status);
  ASSERT_EQ(status, 0);

  SXMPMeta meta;
  ASSERT_TRUE(ReadXmp(file, &meta));
  const Path exposure = Prop(kXMP_NS_EXIF, "ExposureTime");
  const Path fNumber = Prop(kXMP_NS_EXIF, "FNumber");
  const Path latitude = Prop(kXMP_NS_EXIF, "GPSLatitude");
  const Path original = Prop(kXMP_NS_EXIF, "DateTimeOriginal");
  const Path subject = Prop(kXMP_NS_DC, "subject");
  const Path title = Prop(kXMP_NS_DC, "title");
  EXPECT_EQ(Display(meta, exposure), "1/250 sec");
  EXPECT_EQ(Display(meta, fNumber), "2.8");  // ExifTool stores 14/5
  EXPECT_EQ(Display(meta, latitude), "37\xC2\xB0 48' 36.00\" N");
  EXPECT_EQ(Display(meta, original), "12/05/2026 01:04:05 PM");
  EXPECT_EQ(Display(meta, subject), "one; \"two; three\"");
  EXPECT_EQ(Display(meta, title), "Hello");

  __XMPMeta__* handle = meta.GetInternalRef();
  EXPECT_TRUE(SetValue(handle, title, "Bonjour"));
  EXPECT_TRUE(SetValue(handle, subject, "alpha; \"b; c\""));
  EXPECT_TRUE(SetValue(handle, exposure, "1/125"));
  EXPECT_TRUE(SetValue(handle, original, "2027-01-02T03:04:05-05:00"));
  EXPECT_TRUE(SetValue(handle, latitude, "10,30.5S"));
  EXPECT_TRUE(DeleteValue(handle, fNumber));
  WriteXmp(file, meta);

  // One ExifTool run for every item (FNumber is gone, so it prints nothing).
  EXPECT_EQ(RunCommand("exiftool -s -s -sep '|' -XMP-dc:Title -XMP-dc:Title-de -XMP-dc:Subject "
                       "-XMP-exif:ExposureTime -XMP-exif:DateTimeOriginal -XMP-exif:GPSLatitude "
                       "-XMP-exif:FNumber '" +
                       file.string() + "'"),
            "Title: Bonjour\n"
            "Title-de: Hallo\n"
            "Subject: alpha|b; c\n"
            "ExposureTime: 1/125\n"
            "DateTimeOriginal: 2027:01:02 03:04:05-05:00\n"
            "GPSLatitude: 10 deg 30' 30.00\" S\n");
  EXPECT_TRUE(NewErrors().empty());
}

}  // namespace
}  // namespace velttest
