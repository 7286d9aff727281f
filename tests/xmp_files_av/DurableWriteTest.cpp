// Updates that survive failures, kills and a second writer, in every writable format: a
// fault at each write step leaves the file byte for byte as it was; a kill there leaves a
// file that reads the old or the new title in our reader and in ExifTool with no new
// warning; two concurrent `veltmeta set` runs both keep their change; a rewrite keeps what
// a user expects of the file itself.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include <filesystem>
#include <string>
#include <vector>

#include "AvTestSupport.h"
#include "FaultMatrix.h"
#include "TestSupport.h"
#include "io/FreeSpace.h"
#include "io/Storage.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace {

namespace fs = std::filesystem;
using faulttest::Fault;

const std::string kOld = "Old title";

std::vector<fs::path> FolderEntries(const fs::path& folder) {
  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(folder))
    entries.push_back(e.path());
  return entries;
}

std::string Tool() {
  return std::string(VELT_BINARY_DIR) + "/tools/veltmeta/veltmeta";
}

TEST(DurableWrite, EveryStepFailedOrKilledLeavesOldOrNew) {
  VELT_REQUIRE_COMMANDS("exiftool");
  velttest::TempDir dir;
  const std::string title = faulttest::LongTitle("New");
  std::vector<fs::path> killed;
  std::vector<fs::path> originals;
  int failures = 0;
  for (const std::string& sample : faulttest::MatrixSamples()) {
    SCOPED_TRACE(sample);
    fs::path base = dir / fs::path(sample).stem().string();
    fs::create_directories(base);
    const fs::path original = faulttest::PrepareSample(base, sample, kOld);
    ASSERT_EQ(faulttest::ReadTitle(original), kOld);
    originals.push_back(original);
    {
      // A real file-size limit just above the file's size: the write fails, nothing changes.
      const std::string bytes = velttest::ReadFile(original);
      fs::path folder = base / "limit";
      fs::create_directories(folder);
      fs::path file = folder / original.filename();
      velttest::WriteFile(file, bytes);
      EXPECT_FALSE(faulttest::UpdateWithFault(file, title, 0, Fault::kSizeLimit));
      EXPECT_TRUE(velttest::ReadFile(file) == bytes) << "size limit: not rolled back";
      EXPECT_EQ(FolderEntries(folder).size(), 1u) << "size limit: temporary file left";
      fs::remove_all(folder);
    }
    const int steps = faulttest::ExpectEveryStepOldOrNew(
        base, original, title, {Fault::kFail, Fault::kFirstByte, Fault::kLastByte, Fault::kKill},
        &killed);
    EXPECT_GT(steps, 2);
    failures += 3 * steps;
  }
  // ExifTool, in one run: the old or the new title, and no warning the original lacks.
  std::vector<fs::path> all = originals;
  all.insert(all.end(), killed.begin(), killed.end());
  auto views = avtest::ExifToolRead(all);
  ASSERT_EQ(views.size(), all.size());
  for (std::size_t i = originals.size(); i < all.size(); ++i) {
    SCOPED_TRACE(all[i].string());
    const fs::path& file = all[i];
    std::size_t o = 0;
    while (originals[o].parent_path() != file.parent_path())
      ++o;
    // ExifTool shows AIFF's XMP chunk only as bytes: there our reader's check above stands.
    if (views[o].title != "-") {
      EXPECT_TRUE(views[i].title == kOld || views[i].title == title)
          << views[i].title.substr(0, 80);
    }
    EXPECT_EQ(views[i].warning, views[o].warning);
  }
  std::printf("fault matrix: %d failed or disk-full steps, %zu kill points over %zu samples\n",
              failures, killed.size(), originals.size());
}

// Two `veltmeta set` runs at once, eight times per format, every format at once: the lock
// serialises them, so after every pair both runs' values are there and both succeeded. (Eight
// rounds keep the sanitizer build, where each process starts slowly, within its time limit.)
TEST(DurableWrite, ConcurrentWritersBothKeepTheirChange) {
  constexpr int kPairs = 8;
  velttest::TempDir dir;
  std::string script;
  std::vector<fs::path> files;
  for (const std::string& sample : faulttest::MatrixSamples()) {
    fs::path file = faulttest::PrepareSample(dir.Path(), sample, kOld);
    files.push_back(file);
    const std::string quoted = "'" + file.string() + "'";
    const std::string set = Tool() + " set --no-recent " + quoted;
    script += "for i in $(seq " + std::to_string(kPairs) + "); do " + set +
              " xmp:Label=a$i >/dev/null 2>&1 || echo \"fail $i " + quoted + "\" & " + set +
              " xmp:Nickname=b$i >/dev/null 2>&1 || echo \"fail $i " + quoted + "\" & wait; " +
              Tool() + " get " + quoted +
              " xmp:Label xmp:Nickname 2>&1 | tr '\\n' ' ' | grep -q \"xmp:Label: a$i "
              "xmp:Nickname: b$i \" || echo \"lost $i " +
              quoted + "\"; done & ";
  }
  script += "wait";
  int status = -1;
  const std::string out = velttest::RunCommand(script, &status);
  EXPECT_EQ(out, "");
  EXPECT_EQ(FolderEntries(dir.Path()).size(), files.size()) << "temporary file left";
}

// What a user expects of the file: a write through a symbolic link updates the target and
// keeps the link; owner, group, mode, extended attributes and ACLs survive a rewrite; a
// hard-linked file keeps its inode; a file moved onto the path during the update is left
// alone; stale temporary files of ours (and only those) are cleaned up.
TEST(DurableWrite, TheFileItselfIsKept) {
  velttest::TempDir dir;
  const std::string title = faulttest::LongTitle("Grown");
  fs::path jpg = faulttest::PrepareSample(dir.Path(), "images/sample.jpg", kOld);
  fs::path link = dir / "link.jpg";
  fs::create_symlink(jpg.filename(), link);
  ASSERT_TRUE(faulttest::UpdateWithFault(link, title));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(faulttest::ReadTitle(jpg), title);

  // Owner and group of another user (when we may give files away), mode, attributes.
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(jpg.c_str(), 4321, 8765), 0);
  }
  ASSERT_EQ(::chmod(jpg.c_str(), 0640), 0);
  const bool xattrs = ::setxattr(jpg.c_str(), "user.velt", "kept", 4, 0) == 0;
  const bool acl =
      velttest::HaveCommand("setfacl") &&
      std::system(("setfacl -m u:4322:r '" + jpg.string() + "' 2>/dev/null").c_str()) == 0;
  struct stat before {};
  ASSERT_EQ(::stat(jpg.c_str(), &before), 0);
  auto warnings = avtest::Warnings(
      [&] { ASSERT_TRUE(faulttest::UpdateWithFault(jpg, title + faulttest::LongTitle("More"))); });
  struct stat after {};
  ASSERT_EQ(::stat(jpg.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "a rewrite was expected";
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  if (xattrs) {
    char value[8] = {};
    EXPECT_EQ(::getxattr(jpg.c_str(), "user.velt", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
  }
  if (acl) {
    std::string acls = velttest::RunCommand("getfacl -c '" + jpg.string() + "' 2>/dev/null");
    EXPECT_NE(acls.find("user:4322:r--"), std::string::npos) << acls;
  }

  // A second name for the file sees the update: the inode is kept.
  fs::path png = faulttest::PrepareSample(dir.Path(), "images/sample.png", kOld);
  fs::path second = dir / "second.png";
  fs::create_hard_link(png, second);
  ASSERT_TRUE(faulttest::UpdateWithFault(png, title));
  EXPECT_EQ(faulttest::ReadTitle(second), title);

  // Another file moved onto the path just before the rename or the switch: the update
  // fails and both files keep their content.
  for (const char* sample : {"images/sample.gif", "riff/tone.wav"}) {
    SCOPED_TRACE(sample);
    fs::path file = faulttest::PrepareSample(dir.Path(), sample, kOld);
    const std::string original = velttest::ReadFile(file);
    fs::path other = dir / "other";
    velttest::WriteFile(other, "someone else's file");
    fs::path moved = dir / "moved-away";
    bool swapped = false;
    xmpfiles::SetWriteFaultHook([&](const xmpfiles::WriteStep& step) {
      if (!swapped && (step.mPoint == "temp-flush" || step.mPoint == "sync")) {
        swapped = true;
        fs::rename(file, moved);
        fs::rename(other, file);
      }
      return std::optional<std::uint64_t>();
    });
    EXPECT_FALSE(faulttest::UpdateWithFault(file, title));
    xmpfiles::SetWriteFaultHook(nullptr);
    EXPECT_EQ(velttest::ReadFile(file), "someone else's file");
    EXPECT_TRUE(velttest::ReadFile(moved) == original);
    fs::remove(moved);
  }

  // Stale temporary files: ours and old are removed; fresh ones and others' are kept.
  fs::path stale = dir / ".sample.jpg.velt-AbC123";
  fs::path fresh = dir / ".sample.jpg.velt-XyZ789";
  fs::path foreign = dir / ".sample.jpg.velt-keep-me";
  for (const fs::path& p : {stale, fresh, foreign})
    velttest::WriteFile(p, "partial");
  fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(2));
  fs::last_write_time(foreign, fs::file_time_type::clock::now() - std::chrono::hours(2));
  ASSERT_TRUE(faulttest::UpdateWithFault(jpg, "Small"));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_TRUE(fs::exists(foreign));
}

// The planner prefers places where one header write swaps the old unit for the new one, and
// a file edited again and again does not grow without bound.
TEST(DurableWrite, PlacementSwapsInOneWriteAndGrowthStaysBounded) {
  using Kind = xmpfiles::Placement::Kind;
  xmpfiles::ContainerFrame frame;
  const std::vector<xmpfiles::Span> afterFree = {
      {0, 100, false}, {100, 200, false}, {200, 400, true}, {400, 500, false}};
  auto plan = xmpfiles::PlanPlacement(afterFree, 1, 188, 500, true, frame);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->mKind, Kind::kAfterOld);
  EXPECT_EQ(plan->mOffset, 200u);
  EXPECT_EQ(plan->mExtra, 4u);  // 4 bytes left: too few for a free unit of their own
  const std::vector<xmpfiles::Span> beforeFree = {
      {0, 100, true}, {100, 200, false}, {200, 300, false}};
  plan = xmpfiles::PlanPlacement(beforeFree, 1, 92, 300, true, frame);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->mKind, Kind::kBeforeOld);
  plan = xmpfiles::PlanPlacement(beforeFree, 1, 93, 300, false, frame);
  EXPECT_FALSE(plan) << "no room and no appending: a rewrite";

  velttest::TempDir dir;
  fs::create_directories(dir / "fresh");
  for (const char* sample : {"iso/moov_last.mp4", "riff/tone.wav", "iso/moov_first.mp4"}) {
    SCOPED_TRACE(sample);
    fs::path file = faulttest::PrepareSample(dir.Path(), sample, kOld);
    std::string title;
    for (int i = 0; i < 12; ++i) {
      title += std::string(300, static_cast<char>('a' + i));
      ASSERT_TRUE(faulttest::UpdateWithFault(file, title));
    }
    EXPECT_EQ(faulttest::ReadTitle(file), title);
    const auto size = fs::file_size(file);
    const auto fresh = fs::file_size(faulttest::PrepareSample(dir / "fresh", sample, title));
    EXPECT_LT(size, 3 * fresh) << size << " bytes against " << fresh << " for one write";
  }
}

}  // namespace
