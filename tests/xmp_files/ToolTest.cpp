// veltmeta dump and set, run as a user would: their output, ExifTool's view of what set
// wrote, and one-line errors that do not stop the other files.

#include "FilesTestSupport.h"

namespace velttest {
namespace {

TEST(FilesTool, SetThenDumpAndErrors) {
  TempDir dir;
  auto jpg = CopySample(dir, "sample.jpg");
  auto png = CopySample(dir, "sample.png");
  int status = -1;
  std::string out = RunCommand(
      VeltmetaTool() + " set '" + jpg.string() + "' 'dc:format=image/jpeg' xmp:Rating=5 2>&1",
      &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("xmp:Rating: <no value> -> 5"), std::string::npos) << out;
  out = RunCommand(VeltmetaTool() + " set '" + jpg.string() + "' xmp:Rating=2 2>&1", &status);
  EXPECT_NE(out.find("xmp:Rating: 5 -> 2"), std::string::npos) << out;
  if (velttest::OracleAvailable("exiftool")) {
    EXPECT_EQ(ExifToolTag(jpg, "XMP-xmp:Rating"), "2");
    EXPECT_EQ(ExifToolTag(jpg, "XMP-dc:Format"), "image/jpeg");
  }

  // A bad assignment writes nothing.
  const std::string before = ReadFile(jpg);
  out = RunCommand(VeltmetaTool() + " set '" + jpg.string() + "' xmp:Rating=1 nosuch:x=1 2>&1",
                   &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(out.find("unknown prefix 'nosuch'"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(jpg), before);

  // dump: every readable file, one error line for the others, exit status 1.
  out = RunCommand(VeltmetaTool() + " dump '" + jpg.string() + "' '" +
                       (dir / "missing.jpg").string() + "' '" + png.string() + "' 2>" +
                       (dir / "err.txt").string(),
                   &status);
  const std::string err = ReadFile(dir / "err.txt");
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("\"format\": \"JPEG\", \"xmp\": ["), std::string::npos) << out;
  EXPECT_NE(out.find("[\"http://ns.adobe.com/xap/1.0/\", \"xmp:Rating\", \"2\"]"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"format\": \"PNG \", \"xmp\": []"), std::string::npos) << out;
  EXPECT_NE(err.find("missing.jpg"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

  // A recovery is a warning on stderr; the exit status stays 0.
  out = RunCommand(VeltmetaTool() + " dump '" +
                       DataFile("xmp_files/lenient/raw-profile.png").string() + "' 2>&1 >/dev/null",
                   &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("warning: "), std::string::npos) << out;
  EXPECT_NE(out.find("Raw profile type xmp"), std::string::npos) << out;
}

}  // namespace
}  // namespace velttest
