// The format cache hammered from eight threads: look-ups on fifty files of several formats
// while other threads replace, touch, add and erase. Every answer must be a format the file
// had at some point (run under ThreadSanitizer through the "tsan" label).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "FormatCacheSupport.h"
#include "veltmetadata/MetadataUtils.h"

namespace {

namespace fs = std::filesystem;
namespace vu = veltmetadata::utility;
using velttest::kFormatSamples;

constexpr std::size_t kFiles = 50;
constexpr std::size_t kSamples = std::size(kFormatSamples);

TEST(FormatCacheThreads, EveryAnswerIsAFormatTheFileHad) {
  velttest::TempDir dir;
  std::vector<fs::path> paths;
  std::vector<std::set<unsigned int>> allowed(kFiles);
  const auto now = fs::file_time_type::clock::now();
  // File i starts as sample i and is replaced only by sample i + 1 (both are allowed).
  for (std::size_t i = 0; i < kFiles; ++i) {
    paths.push_back(dir / ("file" + std::to_string(i)));
    velttest::ReplaceWithSample(kFormatSamples[i % kSamples], paths[i], now);
    allowed[i] = {kFormatSamples[i % kSamples].mFormat, kFormatSamples[(i + 1) % kSamples].mFormat};
  }

  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  auto reader = [&](std::size_t seed) {
    for (std::size_t n = seed; !stop; n += 7) {
      const std::size_t i = n % kFiles;
      if (!allowed[i].contains(vu::GetXMPFormat(velttest::U16(paths[i])))) ++wrong;
    }
  };
  // Writer t changes the files of its own parity, so that no two replace one file at once.
  auto writer = [&](std::size_t t) {
    for (std::size_t n = 0; n < 60; ++n) {
      const std::size_t i = (n * 13) % (kFiles / 2) * 2 + t;
      const auto& sample = kFormatSamples[(i + 1 - (n % 2)) % kSamples];
      switch (n % 4) {
        case 0:
          velttest::ReplaceWithSample(sample, paths[i], now);
          break;
        case 1:
          fs::last_write_time(paths[i], now + std::chrono::seconds(n));
          break;
        case 2:
          vu::AddCachedXMPFormat(velttest::U16(paths[i]), kFormatSamples[i % kSamples].mFormat, {});
          break;
        default:
          vu::EraseCachedXMPFormat(velttest::U16(paths[i]));
      }
    }
  };
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 6; ++t)
    threads.emplace_back(reader, t);
  std::vector<std::thread> writers;
  for (std::size_t t = 0; t < 2; ++t)
    writers.emplace_back(writer, t);
  for (auto& t : writers)
    t.join();
  stop = true;
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(wrong, 0);
}

}  // namespace
