// veltmeta views, view and errors run as a user would, against files ExifTool wrote.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace {

// What the tool printed on stdout, or on both streams; `status` is its exit status.
std::string RunTool(const std::string& args, int* status, bool stderrToo = false) {
  const velttest::ToolRun run = velttest::RunVeltmeta(args);
  *status = run.mStatus;
  return stderrToo ? run.mOut + run.mErr : run.mOut;
}

// Checks the JSON `document` with Python statements about `d`, the document parsed, and `e`,
// the first object of ExifTool's JSON output; flat(items) walks items with their children.
std::string Check(const std::string& document, const std::string& exiftool,
                  const std::string& assertions) {
  return velttest::CheckJson(
      {{exiftool.empty() ? "[{}]" : exiftool, "e = d[0]"}, {document, assertions}},
      "def flat(items):\n  for i in items:\n    yield i\n"
      "    yield from flat(i.get('items', []))\n");
}

class ViewsTool : public ::testing::Test {
 protected:
  void SetUp() override { VELT_REQUIRE_COMMANDS("python3", "exiftool"); }
  // A copy of the sample JPEG with the given ExifTool assignments applied.
  std::string Jpeg(const std::string& name, const std::string& assignments) {
    const auto path = mDir / name;
    std::filesystem::copy_file(VELT_SOURCE_DIR "/samples/sample.jpg", path);
    int status = 0;
    velttest::RunCommand(
        "exiftool -q -overwrite_original " + assignments + " '" + path.string() + "' 2>&1",
        &status);
    EXPECT_EQ(status, 0) << assignments;
    return path.string();
  }
  velttest::TempDir mDir;
};

TEST_F(ViewsTool, ViewsListsTheBuiltInPanelsAndErrorsIsSilent) {
  int status = -1;
  const std::string views = RunTool("views --json", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(
      Check(views, "",
            "v = {x['name']: x for x in d}\n  "
            "assert set(v) == {'zpx', 'audio', 'basic', 'camera', 'dicom', 'gps', 'iptccore', "
            "'iptcextension', 'origin', 'lumara', 'video'}, v\n  "
            "assert all(set(x) == {'name', 'label', 'description', 'items', "
            "'pruneEmptyProperties'} for x in d), d\n  "
            "assert v['camera']['pruneEmptyProperties'] and not v['basic']"
            "['pruneEmptyProperties'] and v['camera']['label'] == 'Camera Data', v"),
      "");
  EXPECT_EQ(RunTool("errors", &status, true), "");
  EXPECT_EQ(status, 0);
  EXPECT_NE(RunTool("views extra", &status, true).find("unknown argument"), std::string::npos);
  EXPECT_EQ(status, 2);
}

TEST_F(ViewsTool, CameraPanelShowsWhatExifToolReads) {
  const std::string file =
      Jpeg("camera.jpg",
           "-XMP-tiff:Make=Canon '-XMP-tiff:Model=EOS R5' -XMP-exif:FNumber=5.6 "
           "-XMP-exif:ExposureTime=0.004 -XMP-exif:ISO=400 -XMP-exif:FocalLength=85 "
           "-XMP-exif:ExposureProgram#=3");
  int status = -1;
  const std::string panel = RunTool("view camera '" + file + "' --json", &status);
  EXPECT_EQ(status, 0);
  const std::string exiftool = velttest::RunCommand("exiftool -j -XMP:all '" + file + "'");
  EXPECT_EQ(
      Check(panel, exiftool,
            "p = {i['label']: i['display'] for i in flat(d['items']) if 'display' in i}\n  "
            "assert p['Make'] == e['Make'] and p['Model'] == e['Model'], p\n  "
            "assert float(p['F-Number']) == float(e['FNumber']), p\n  "
            "assert str(e['ExposureTime']) in p['Shutter Speed'], (p, e)\n  "
            "assert str(e['ISO']) in p['ISO Speed'] and 'Aperture' in p['Exposure Program'], p\n  "
            "assert float(p['Focal Length']) == float(e['FocalLength'].split()[0]), p\n  "
            "assert 'Orientation' not in p and d['pruneEmptyProperties'], p"),
      "");
  // The text form shows the same values under their headings.
  const std::string text = RunTool("view camera '" + file + "'", &status);
  EXPECT_NE(text.find("Camera Data\n===========\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nExposure\n  Shutter Speed: 1/250"), std::string::npos) << text;
  EXPECT_NE(text.find("  Model: EOS R5\n"), std::string::npos) << text;
}

TEST_F(ViewsTool, MergedFilesShowMultipleValuesAndBadArgumentsFail) {
  const std::string a = Jpeg("a.jpg", "-XMP-dc:Title=Alpha -XMP-photoshop:City=Porto");
  const std::string b = Jpeg("b.jpg", "-XMP-dc:Title=Beta -XMP-photoshop:City=Porto");
  int status = -1;
  const std::string merged = RunTool("view basic '" + a + "' '" + b + "' --json", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Check(merged, "",
                  "t = [i for i in flat(d['items']) if i.get('name') == 'dc:title'][0]\n  "
                  "assert t['multiple'] and t['display'] == '<multiple values>', t"),
            "");
  const std::string origin = RunTool("view origin '" + a + "' '" + b + "'", &status);
  EXPECT_NE(origin.find("  City: Porto\n"), std::string::npos) << origin;

  const auto notMedia = mDir / "notes.txt";
  velttest::WriteFile(notMedia, "plain text, no media file");
  for (const auto& [args, expected] :
       std::vector<std::pair<std::string, int>>{{"view nosuchview '" + a + "'", 2},
                                                {"view basic '" + a + ".missing'", 1},
                                                {"view basic '" + notMedia.string() + "'", 1},
                                                {"view basic", 2},
                                                {"view basic --bogus '" + a + "'", 2}}) {
    const std::string out = RunTool(args, &status, true);
    EXPECT_EQ(status, expected) << args;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << args << ": " << out;
  }
}

TEST_F(ViewsTool, ConvertPanelsMakesAPackageWhoseViewLoads) {
  const auto panel = mDir / "panels" / "studio";
  velttest::WriteFile(panel / "manifest.xml",
                      "<panel xmlns='http://ns.veltmetadata.org/xmp/fileinfo/' name='Studio' "
                      "type='generic' propertyDescriptionFile='studio.xml'/>");
  velttest::WriteFile(panel / "studio.xml",
                      "<xmp_definitions><xmp_schema namespace='http://example.com/studio/' "
                      "prefix='studio'><xmp_property name='Room' type='text'/></xmp_schema>"
                      "</xmp_definitions>");
  int status = -1;
  const std::string folder = (mDir / "panels").string();
  EXPECT_EQ(RunTool("convert-panels '" + folder + "'", &status).rfind("SUCCESS - Converted", 0),
            0u);
  EXPECT_EQ(status, 0);
  EXPECT_NE(RunTool("views", &status).find("imported_Studio"), std::string::npos);
  EXPECT_EQ(RunTool("errors", &status, true), "");
  // Converting again leaves the package alone; a broken panel fails the command.
  EXPECT_EQ(RunTool("convert-panels '" + folder + "'", &status).rfind("INFO - ", 0), 0u);
  EXPECT_EQ(status, 0);
  std::filesystem::remove_all(std::filesystem::path(getenv("VELTCORE_PREFS_DIR")) / "Orvane");
  velttest::WriteFile(panel / "studio.xml", "<xmp_definitions>");
  EXPECT_EQ(RunTool("convert-panels '" + folder + "'", &status).rfind("FAILURE - ", 0), 0u);
  EXPECT_EQ(status, 1);
  RunTool("convert-panels --panels 5.0", &status);
  EXPECT_EQ(status, 2);
  std::filesystem::remove_all(std::filesystem::path(getenv("VELTCORE_PREFS_DIR")) / "Orvane");
}

}  // namespace
