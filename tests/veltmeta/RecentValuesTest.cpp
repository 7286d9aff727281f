// The tool's recently used values: the list rules, parallel `veltmeta set` runs that must not
// lose each other's values, a failed save, and `veltmeta recent` as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "RecentValues.h"
#include "TestSupport.h"
#include "veltcore/Files.h"
#include "veltmetadata/MRULists.h"

namespace {

const std::string kTool = "'" + velttest::VeltmetaPath() + "'";

class RecentValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    veltmetadata::ClearMRUList();
    ASSERT_TRUE(veltmetadata::RemoveMRUFile());
  }
  void TearDown() override { veltcore::filesupport::SafeSave::SetFailureHook(nullptr); }
};

TEST_F(RecentValuesTest, MostRecentFirstWithoutDuplicatesAndAtMostTen) {
  std::string error;
  for (char c = 'a'; c <= 'l'; ++c)
    ASSERT_TRUE(veltmeta::RecordRecentValues({{"dc:title", std::string(1, c)}}, error)) << error;
  ASSERT_TRUE(veltmeta::RecordRecentValues(
      {{"dc:title", "e"}, {"dc:title", "two\r\nlines"}, {"xmp:Label", "\xF0\x9F\x98\x80 <&>"}},
      error));
  const veltmeta::RecentLists lists = veltmeta::LoadRecentValues();
  EXPECT_EQ(lists.at("dc:title"),
            (std::vector<std::string>{"two\nlines", "e", "l", "k", "j", "i", "h", "g", "f", "d"}));
  EXPECT_EQ(lists.at("xmp:Label"), std::vector<std::string>{"\xF0\x9F\x98\x80 <&>"});

  // A failed save reports the file and leaves it as it was.
  const std::string before =
      velttest::ReadFile(veltcore::string::UTF16to8(veltmetadata::MRUFilePath()));
  veltcore::filesupport::SafeSave::SetFailureHook([](std::string_view) { return true; });
  EXPECT_FALSE(veltmeta::RecordRecentValues({{"dc:title", "lost"}}, error));
  EXPECT_NE(error.find("FileinfoMRU.xml"), std::string::npos) << error;
  EXPECT_EQ(velttest::ReadFile(veltcore::string::UTF16to8(veltmetadata::MRUFilePath())), before);
}

TEST_F(RecentValuesTest, ParallelSetRunsLoseNothingAndRecentListsAndClears) {
  // Eight `veltmeta set` runs at once, each on its own copy; plus one that must not record.
  velttest::TempDir dir;
  std::string script;
  for (int i = 0; i < 9; ++i) {
    const std::string file = (dir / ("photo" + std::to_string(i) + ".jpg")).string();
    std::filesystem::copy_file(velttest::DataFile("xmp_files/images/sample.jpg"), file);
    script += kTool + " set " + (i == 8 ? "--no-recent " : "") + "'" + file + "' xmp:Label='run " +
              std::to_string(i) + "' >/dev/null & ";
  }
  velttest::WriteFile(dir / "long.txt", std::string(veltmeta::kMaxRecentValueBytes + 1, 'x'));
  int status = -1;
  velttest::RunCommand(
      script + "wait; " + kTool + " set '" + (dir / "photo0.jpg").string() +
          "' dc:title='<&>' zpx:Project=Galway zpx:Status='in review' 'dc:description<=" +
          (dir / "long.txt").string() + "' >/dev/null",
      &status);
  EXPECT_EQ(status, 0);
  const veltmeta::RecentLists written = veltmeta::LoadRecentValues();
  EXPECT_EQ(written.at("xmp:Label").size(), 8U);
  EXPECT_EQ(written.at("dc:title"), std::vector<std::string>{"<&>"});
  EXPECT_EQ(written.at("zpx:Project"), std::vector<std::string>{"Galway"});
  EXPECT_EQ(written.at("zpx:Status"), std::vector<std::string>{"inReview"});  // typed as labelled
  EXPECT_EQ(written.count("dc:description"), 0U);

  std::string error;
  ASSERT_TRUE(veltmeta::RecordRecentValues({{"zpx:Status", "approved"}}, error));

  const std::string listed = velttest::RunCommand(kTool + " recent xmp:Label", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 9) << listed;
  const std::string json = velttest::RunCommand(
      kTool +
      " recent --json | python3 -c \"import json,sys;p={x['property']:x for x in "
      "json.load(sys.stdin)};l=p['xmp:Label'];"
      "print(len(l['values']), 'labels' in l, p['zpx:Status']['labels'])\"");
  EXPECT_EQ(json, "8 False {'approved': 'Approved', 'inReview': 'In Review'}\n");
  velttest::RunCommand(kTool + " recent --clear xmp:Label", &status);
  EXPECT_EQ(status, 0);
  const veltmeta::RecentLists left = veltmeta::LoadRecentValues();
  EXPECT_EQ(left.count("xmp:Label"), 0U);
  EXPECT_EQ(left.count("dc:title"), 1U);
  velttest::RunCommand(kTool + " recent --clear", &status);
  EXPECT_EQ(velttest::RunCommand(kTool + " recent --json"), "[]\n");
  velttest::RunCommand(kTool + " recent --bogus 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
