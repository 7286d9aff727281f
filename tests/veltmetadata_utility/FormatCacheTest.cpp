// The format cache: detections counted through the cache's internal counter, against files
// changed in the ways a coarse modification time can miss.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "FormatCacheSeam.h"
#include "FormatCacheSupport.h"
#include "veltmetadata/FileProvider.h"
#include "veltmetadata/MetadataUtils.h"

namespace {

namespace fs = std::filesystem;
namespace vu = veltmetadata::utility;
using velttest::kFormatSamples;
using velttest::U16;

const auto& kJpeg = kFormatSamples[0];
const auto& kPng = kFormatSamples[1];

std::uint64_t Detections() {
  return vu::internal::FormatDetectionCount();
}

TEST(FormatCache, DetectsOncePerFileStateAndNoticesChangesWithinOneTick) {
  velttest::TempDir dir;
  const fs::path file = dir / "photo.jpg";
  const auto tick = fs::file_time_type::clock::now() - std::chrono::hours(1);

  // Missing: unknown, no detection and no entry (a later file is detected).
  std::uint64_t base = Detections();
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_UnknownFile);
  vu::AddCachedXMPFormat(U16(file), kXMP_GIFFile, {});
  EXPECT_EQ(Detections(), base);

  velttest::ReplaceWithSample(kJpeg, file, tick);
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_JPEGFile);
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_JPEGFile);
  EXPECT_EQ(Detections(), base + 1);

  // Touched, replaced by rename with the same time, resized in place with the same time.
  fs::last_write_time(file, tick + std::chrono::seconds(1));
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_JPEGFile);
  EXPECT_EQ(Detections(), base + 2);
  velttest::ReplaceWithSample(kPng, file, tick);
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_PNGFile);
  EXPECT_EQ(Detections(), base + 3);
  velttest::WriteFile(file, "not a picture");
  fs::last_write_time(file, tick);
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_UnknownFile);
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_UnknownFile);  // unknown is cached too
  EXPECT_EQ(Detections(), base + 4);

  // The same file under two spellings of its path: two entries.
  velttest::ReplaceWithSample(kJpeg, file, tick);
  base = Detections();
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_JPEGFile);
  EXPECT_EQ(vu::GetXMPFormat(U16(dir.Path() / "." / "photo.jpg")), kXMP_JPEGFile);
  EXPECT_EQ(Detections(), base + 2);

  // A NUL inside a path names no file (not the file before it); a path longer than any
  // buffer of the look-up is served like a short one.
  EXPECT_EQ(vu::GetXMPFormat(U16(file) + u'\0' + u"x"), kXMP_UnknownFile);
  const fs::path deep = dir / std::string(200, 'a') / std::string(200, 'b') / std::string(200, 'c');
  fs::create_directories(deep);
  velttest::ReplaceWithSample(kPng, deep / "photo.png", tick);
  EXPECT_EQ(vu::GetXMPFormat(U16(deep / "photo.png")), kXMP_PNGFile);
  EXPECT_EQ(vu::GetXMPFormat(U16(deep / "photo.png")), kXMP_PNGFile);
  EXPECT_EQ(Detections(), base + 3);

  // A file provider's read replaces the stale entry of a file it opens: no detection follows.
  velttest::ReplaceWithSample(kPng, file, tick);
  { const veltmetadata::FileProvider provider(U16(file)); }
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_PNGFile);
  EXPECT_EQ(Detections(), base + 3);
}

TEST(FormatCache, AddKeepsAnEntryUntilErasedAndPathsDifferingInCaseAreSeparate) {
  velttest::TempDir dir;
  const fs::path file = dir / "clip.png";
  const fs::path upper = dir / "CLIP.PNG";
  const auto tick = fs::file_time_type::clock::now();
  velttest::ReplaceWithSample(kPng, file, tick);
  velttest::ReplaceWithSample(kJpeg, upper, tick);
  const std::uint64_t base = Detections();
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_PNGFile);
  EXPECT_EQ(vu::GetXMPFormat(U16(upper)), kXMP_JPEGFile);

  vu::AddCachedXMPFormat(U16(file), kXMP_TIFFFile, {});
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_PNGFile);
  vu::EraseCachedXMPFormat(U16(file));
  vu::AddCachedXMPFormat(U16(file), kXMP_TIFFFile, {});
  EXPECT_EQ(vu::GetXMPFormat(U16(file)), kXMP_TIFFFile);  // the host's word, for this state
  EXPECT_EQ(Detections(), base + 2);

  // Special times record nothing; an explicit time that is not the file's is never current.
  for (const auto& time : {boost::posix_time::ptime(boost::posix_time::pos_infin),
                           boost::posix_time::ptime(boost::posix_time::neg_infin),
                           boost::posix_time::ptime(boost::gregorian::date(2001, 2, 3))}) {
    vu::EraseCachedXMPFormat(U16(upper));
    vu::AddCachedXMPFormat(U16(upper), kXMP_GIFFile, time);
    EXPECT_EQ(vu::GetXMPFormat(U16(upper)), kXMP_JPEGFile);
  }
  EXPECT_EQ(Detections(), base + 5);
}

TEST(FormatCache, AssociatedFilesAreAppendedWithTheSidecar) {
  velttest::TempDir dir;
  const fs::path file = dir / "photo.jpg";
  velttest::ReplaceWithSample(kJpeg, file, fs::file_time_type::clock::now());
  std::vector<veltcore::UTF16String> files{u"kept"};
  EXPECT_TRUE(vu::GetAssociatedFiles(U16(file), files));
  EXPECT_EQ(files, (std::vector<veltcore::UTF16String>{u"kept", U16(file)}));

  velttest::WriteFile(dir / "photo.xmp", "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");
  files.clear();
  EXPECT_TRUE(vu::GetAssociatedFiles(U16(file), files));
  EXPECT_EQ(files, (std::vector<veltcore::UTF16String>{U16(file), U16(dir / "photo.xmp")}));

  velttest::WriteFile(dir / "notes.txt", "plain text");
  for (const fs::path& bad : {dir / "missing.jpg", dir / "notes.txt", dir.Path()}) {
    files = {u"kept"};
    EXPECT_FALSE(vu::GetAssociatedFiles(U16(bad), files)) << bad;
    EXPECT_EQ(files, std::vector<veltcore::UTF16String>{u"kept"}) << bad;
  }
}

}  // namespace
