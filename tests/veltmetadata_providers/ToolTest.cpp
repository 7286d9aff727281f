// veltmeta get and set over several files, run as a user would: reports, exit codes, files
// left byte-identical by refused input, refused writes as an unprivileged user, two writers.

#include <gtest/gtest.h>

#include <filesystem>

#include "AvTestSupport.h"
#include "TestSupport.h"

namespace velttest {
namespace {

namespace fs = std::filesystem;

const std::string kNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VELT_REQUIRE_COMMANDS("exiftool");
    for (const char* sample : {"images/sample.jpg", "iso/moov_last.mp4", "riff/tone.wav"})
      mFiles.push_back(avtest::CopySample(mDir.Path(), sample));
    for (const auto& f : mFiles)
      mAll += " '" + f.string() + "'";
  }
  TempDir mDir;
  std::vector<fs::path> mFiles;
  std::string mAll;  // the three files as arguments
};

TEST_F(ToolTest, SetAndGetOverSeveralFiles) {
  ToolRun run = RunVeltmeta("set" + mAll +
                            " dc:title='Common title' dc:subject='cat; \"a; b\"' xmp:Rating=3");
  EXPECT_EQ(run.mStatus, 0) << run.mErr;
  EXPECT_EQ(run.mOut,
            "dc:title: <no value> -> Common title\n"
            "dc:subject: <no value> -> cat; \"a; b\"\nxmp:Rating: <no value> -> 3\n");
  EXPECT_EQ(RunVeltmeta("set '" + mFiles[0].string() + "' xmp:Label=first").mStatus, 0);
  run = RunVeltmeta("set" + mAll + " dc:title='Common title' xmp:Rating=");
  EXPECT_EQ(run.mOut, "dc:title: unchanged\nxmp:Rating: 3 -> <no value>\n");

  run = RunVeltmeta("get" + mAll + " dc:title dc:subject xmp:Label xmp:Rating xmpMM:DerivedFrom");
  EXPECT_EQ(run.mStatus, 0) << run.mErr;
  EXPECT_EQ(run.mOut.substr(0, run.mOut.find("xmpMM:")),
            "dc:title: Common title\ndc:subject: cat; \"a; b\"\nxmp:Label: <multiple values>\n"
            "xmp:Rating: <no value>\n");
  EXPECT_NE(run.mOut.find("xmpMM:DerivedFrom/stRef:documentID: <no value>\n"), std::string::npos);
  run = RunVeltmeta("get --json --raw '" + mFiles[1].string() + "' xmp:Label 'dc:subject[2]'");
  EXPECT_EQ(run.mOut,
            "[\n  {\"property\": \"xmp:Label\", \"namespace\": \"http://ns.adobe.com/xap/1.0/\", "
            "\"path\": \"Label\", \"result\": \"none\"},\n  {\"property\": \"dc:subject[2]\", "
            "\"namespace\": \"http://purl.org/dc/elements/1.1/\", \"path\": \"subject[2]\", "
            "\"result\": \"success\", \"value\": \"a; b\"}\n]\n");

  // Every file recorded its own history; ExifTool reads the items we wrote.
  const std::string seen =
      RunCommand("exiftool -q -q -f -p '${XMP:Subject}|${XMP:HistoryAction}'" + mAll);
  EXPECT_EQ(seen,
            "cat, a; b|saved, saved, saved\ncat, a; b|saved, saved\ncat, a; b|saved, saved\n");
}

TEST_F(ToolTest, RefusedInputTouchesNoFile) {
  std::vector<std::string> before;
  for (const auto& f : mFiles)
    before.push_back(ReadFile(f));
  TempDir other;
  WriteFile(other / "ctl", std::string("a\x01z"));
  WriteFile(other / "notes.txt", "plain text");
  const std::string missing = " '" + (other / "missing.jpg").string() + "'";
  const std::string text = " '" + (other / "notes.txt").string() + "'";
  const std::vector<std::pair<std::string, int>> cases = {
      {"set" + mAll, 2},
      {"set" + mAll + " dc:nothing=1", 2},
      {"set" + mAll + " xmp:Rating=high", 2},
      {"set" + mAll + " zpx:Status=Bogus", 2},
      {"set" + mAll + " exif:Flash/exif:Fired=perhaps", 2},
      {"set" + mAll + " 'xmpMM:DerivedFrom=x'", 2},
      {"set" + mAll + " 'dc:title[1]=x'", 2},
      {"set" + mAll + " 'dc:title<=" + (other / "ctl").string() + "'", 2},
      {"set" + mAll + " 'dc:title<=" + (other / "none").string() + "'", 2},
      {"set" + mAll + missing + " dc:title=x", 1},
      {"set" + mAll + text + " dc:title=x", 1},
      {"get" + mAll + " nope:title", 2},
      {"get" + missing + " dc:title", 1},
  };
  for (const auto& [args, status] : cases) {
    ToolRun run = RunVeltmeta(args);
    EXPECT_EQ(run.mStatus, status) << args << "\n" << run.mErr;
    EXPECT_EQ(run.mOut, "") << args;
    EXPECT_EQ(std::count(run.mErr.begin(), run.mErr.end(), '\n'), 1) << args << "\n" << run.mErr;
  }
  EXPECT_NE(RunVeltmeta("set" + mAll + text + " dc:title=x")
                .mErr.find("not a media file veltmeta can write: "),
            std::string::npos);
  for (const char* slip : {"dc:titel", "dc:Rating", "xm:Rating"}) {
    EXPECT_NE(RunVeltmeta("get" + mAll + " " + slip).mErr.find("did you mean '"), std::string::npos)
        << slip;
  }
  // Read-only for the user running it, and a folder where no temporary file can be made.
  for (const fs::path& folder : {TestRoot(), mDir.Path()}) {
    fs::permissions(folder, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  }
  fs::permissions(mFiles[0],
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(RunVeltmeta("set" + mAll + " dc:title=x", kNobody).mStatus, 1);
  fs::permissions(mFiles[0], fs::perms::all);
  ToolRun refused = RunVeltmeta("set '" + mFiles[0].string() + "' dc:title=x", kNobody);
  EXPECT_EQ(refused.mStatus, 1);
  EXPECT_NE(refused.mErr.find(mFiles[0].string() + ": not written: "), std::string::npos)
      << refused.mErr;
  for (std::size_t i = 0; i < mFiles.size(); ++i)
    EXPECT_EQ(ReadFile(mFiles[i]), before[i]) << mFiles[i];
}

TEST_F(ToolTest, LargeValuesFromFilesAndTwoWritersAtOnce) {
  const std::string big(300000, 'x');
  WriteFile(mDir / "value.txt", big);
  ToolRun run = RunVeltmeta("set '" + mFiles[1].string() +
                            "' 'dc:description<=" + (mDir / "value.txt").string() + "'");
  EXPECT_EQ(run.mOut, "dc:description: <no value> -> <300000 bytes>\n");
  run = RunVeltmeta("set '" + mFiles[1].string() + "' 'dc:rights<=-' < '" +
                    (mDir / "value.txt").string() + "'");
  EXPECT_EQ(run.mStatus, 0) << run.mErr;
  EXPECT_EQ(RunCommand("exiftool -q -q -b -XMP:Description '" + mFiles[1].string() + "'"), big);

  // Two writers on one file: one complete result that ExifTool reads without complaint.
  for (const auto& file : mFiles) {
    const std::string f = " '" + file.string() + "'";
    const std::string tool = "'" + VeltmetaPath() + "' set" + f;
    RunCommand("(" + tool + " dc:title=A >/dev/null 2>&1 & " + tool +
               " xmp:Label=B >/dev/null 2>&1 & wait)");
    const std::string seen =
        RunCommand("exiftool -q -q -f -p '${XMP:Title}|${XMP:Label}|${Warning}${Error}'" + f);
    EXPECT_TRUE(seen == "A|B|--\n" || seen == "A|-|--\n" || seen == "-|B|--\n")
        << file << ": " << seen;
  }
}

}  // namespace
}  // namespace velttest
