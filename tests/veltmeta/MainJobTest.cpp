// The main job as a user runs it: values and merged files against ExifTool's reading (through
// check_main_job.py, which also checks the JSON), and every kind of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace {

const std::string kSource = VELT_SOURCE_DIR;
const std::string& kTool = velttest::VeltmetaPath();

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

// Runs the tool with `args` (shell words); stderr goes to `err`.
std::string Tool(const std::string& args, int* status, std::string* err = nullptr) {
  const velttest::ToolRun run = velttest::RunVeltmeta(args);
  *status = run.mStatus;
  if (err != nullptr) *err = run.mErr;
  return run.mOut;
}

bool HasRawMarker(const std::string& text) {
  return text.find("$$$/") != std::string::npos || text.find("#{") != std::string::npos ||
         text.find("@0") != std::string::npos;
}

TEST(MainJobTest, AgreesWithExifTool) {
  VELT_REQUIRE_COMMANDS("exiftool", "python3");
  const std::string check = "python3 " + kSource + "/tests/veltmeta/check_main_job.py ";
  const std::string photo = kSource + "/samples/photo.jpg";
  int status = -1;
  for (const std::string& sample : {photo, kSource + "/samples/clip.mp4"}) {
    EXPECT_EQ("", velttest::RunCommand(check + "values " + kTool + " " + sample, &status));
    EXPECT_EQ(0, status) << sample;
  }
  // A copy that differs in a lang-alt, an integer, a rational and a bag, and has two items
  // in an array of structures.
  velttest::TempDir dir;
  const auto other = dir / "other.jpg";
  velttest::WriteFile(other, velttest::ReadFile(photo));
  velttest::RunCommand(
      "exiftool -q -overwrite_original -XMP-dc:Title=Other -XMP-xmp:Rating=2 "
      "-XMP-exif:FNumber=8 -XMP-dc:Subject+=extra "
      "'-XMP-iptcExt:LocationShown=[{City=Cork,CountryName=Ireland},{City=Dublin}]' " +
          Quoted(other.string()),
      &status);
  ASSERT_EQ(0, status);
  EXPECT_EQ("", velttest::RunCommand(check + "values " + kTool + " " + other.string(), &status));
  EXPECT_EQ(0, status);
  EXPECT_EQ("", velttest::RunCommand(check + "merged " + kTool + " " + photo + " " + other.string(),
                                     &status));
  EXPECT_EQ(0, status);
  // Valid files read without a single note, even with --verbose.
  std::string err;
  const std::string text =
      Tool("--verbose " + photo + " " + other.string() + " " + kSource + "/samples/clip.mp4",
           &status, &err);
  EXPECT_NE(std::string::npos, text.find("<multiple values>"));
  EXPECT_EQ("", err);

  // Every date reads in the user's locale: xmp:CreateDate like the formatted ModifyDate.
  if (velttest::RunCommand("locale -a").find("de_DE.utf8") != std::string::npos) {
    const std::string german =
        velttest::RunCommand("TZ=UTC LC_ALL=de_DE.UTF-8 " + kTool + " " + photo, &status);
    EXPECT_NE(std::string::npos, german.find(" 21.06.2024 20:42:10\n")) << german;
    EXPECT_NE(std::string::npos, german.find(" 22.06.2024 08:15:00\n")) << german;
  }
}

TEST(MainJobTest, BadInputIsOneLineEachAndTheOtherFilesAreShown) {
  velttest::TempDir dir;
  const std::string photo = velttest::ReadFile(kSource + "/samples/photo.jpg");
  velttest::WriteFile(dir / "good.jpg", photo);
  velttest::WriteFile(dir / "text.txt", "not media\n");
  velttest::WriteFile(dir / "bad\xFF.jpg", photo);
  std::string damaged = photo;
  damaged.replace(damaged.find("<rdf:Description"), 16, "<rdf:Descr!ption");
  velttest::WriteFile(dir / "damaged.jpg", damaged);
  int status = -1;
  velttest::RunCommand("convert -size 8x8 xc:red " + Quoted((dir / "plain.jpg").string()), &status);
  std::filesystem::create_directory(dir / "folder");
  const std::string d = Quoted(dir.Path().string()) + "/";
  std::string err;
  const std::string out =
      Tool("--each " + d + "missing.jpg " + d + "folder " + d + "text.txt " + d +
               "bad$(printf '\\377').jpg " + d + "damaged.jpg " + d + "plain.jpg " + d + "good.jpg",
           &status, &err);
  EXPECT_EQ(1, status);
  for (const char* expected :
       {"missing.jpg': no such file\n", "folder': it is a folder\n",
        "text.txt': not a media file veltmeta can read\n", "bad\\xFF.jpg': its name is not UTF-8\n",
        "damaged.jpg': its XMP is damaged ("}) {
    EXPECT_NE(std::string::npos, err.find(expected)) << expected << " in\n" << err;
  }
  EXPECT_EQ(5, std::count(err.begin(), err.end(), '\n')) << err;
  EXPECT_EQ(std::string::npos, err.find("damaged ('")) << "the file is named twice:\n" << err;
  EXPECT_NE(std::string::npos, out.find("This file has no XMP metadata."));
  EXPECT_NE(std::string::npos, out.find("Harbour at dusk"));
  EXPECT_FALSE(HasRawMarker(out + err));
  EXPECT_EQ(photo, velttest::ReadFile(dir / "good.jpg"));
  EXPECT_EQ(damaged, velttest::ReadFile(dir / "damaged.jpg"));

  // Usage errors: exit 2, nothing on stdout.
  for (const std::string& args : {std::string(), std::string("--bogus ") + d + "good.jpg",
                                  std::string("--json"), std::string("help nosuchcommand")}) {
    EXPECT_EQ("", Tool(args, &status, &err)) << args;
    EXPECT_EQ(2, status) << args;
    EXPECT_FALSE(err.empty()) << args;
  }
  // Help is on stdout with exit 0, for the tool and for one command.
  EXPECT_NE(std::string::npos, Tool("--help", &status).find("veltmeta show"));
  EXPECT_EQ(0, status);
  EXPECT_NE(std::string::npos, Tool("show --help", &status).find("--each"));
  EXPECT_EQ(0, status);
}

}  // namespace
