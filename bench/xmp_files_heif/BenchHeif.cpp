// HEIF: the XMP of 500 small HEIC files read through SXMPFiles (open, parse, close), files
// per second, next to `exiftool -j -XMP:all -fast2` on the same files in the same run
// (target: 20 times faster); and adding a title to a 50 MB HEIC (its media data a sparse
// hole) and then growing it past its padding, bytes written against the 64 KB target.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "BenchSupport.h"
#include "formats/iso/IsoBoxes.h"
#include "formats/iso/heif/HeifItems.h"
#include "formats/iso/heif/HeifXmp.h"
#include "io/Endian.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace {

using namespace xmpfiles;
namespace fs = std::filesystem;

constexpr int kFiles = 500;
constexpr std::uint64_t kMediaBytes = 50ull << 20;

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(VELT_SOURCE_DIR) + "/tests/data/xmp_files/heif/" + name,
                   std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// plain.heic with its media data 50 MB larger: a hole before the coded image, whose 'iloc'
// offsets move along.
void MakeLarge(const fs::path& path) {
  std::string bytes = Sample("plain.heic");
  const std::size_t iloc = bytes.find("iloc") - 4;
  const std::size_t ilocSize = GetU32BE(reinterpret_cast<const std::uint8_t*>(&bytes[iloc]));
  Bytes raw(bytes.begin(), bytes.end());
  heif::ItemLocations locs =
      heif::ParseItemLocations(std::span<const std::uint8_t>(raw).subspan(iloc + 8, ilocSize - 8));
  for (heif::ItemLocation& item : locs.mItems) {
    if (item.mMethod != heif::Construction::kFile) continue;
    for (heif::Extent& e : item.mExtents)
      e.mOffset += kMediaBytes;
  }
  Bytes box = *heif::SerializeItemLocations(locs);
  std::copy(box.begin(), box.end(), bytes.begin() + static_cast<std::ptrdiff_t>(iloc));
  const std::size_t mdat = bytes.rfind("mdat") - 4;
  Bytes header;
  iso::AppendBoxHeader(header, iso::kMdat, bytes.size() - mdat + kMediaBytes);
  std::string out = bytes.substr(0, mdat) + std::string(AsChars(header));
  WriteAll(path, out);
  fs::resize_file(path, out.size() + kMediaBytes);
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes.substr(mdat + 8);
}

struct Files {
  fs::path mDir;
  Files() {
    const char* tmp = std::getenv("TMPDIR");
    mDir = fs::path(tmp ? tmp : "/tmp") / ("bench_xmp_files_heif_" + std::to_string(::getpid()));
    fs::create_directories(mDir / "small");
    const std::string sample = Sample("xmp-enc.heic");
    for (int i = 0; i < kFiles; ++i)
      WriteAll(mDir / "small" / ("photo" + std::to_string(i) + ".heic"), sample);
  }
  ~Files() { fs::remove_all(mDir); }
};

Files& TheFiles() {
  static Files files;
  return files;
}

double sExifToolFilesPerSecond = 0;

void BM_ExifToolReads500Heic(benchmark::State& state) {
  const std::string command =
      "exiftool -j -XMP:all -fast2 '" + (TheFiles().mDir / "small").string() + "' >/dev/null 2>&1";
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return state.SkipWithError("exiftool failed");
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  sExifToolFilesPerSecond = kFiles * static_cast<double>(state.iterations()) / seconds;
  state.counters["files_per_s"] = sExifToolFilesPerSecond;
  state.SetLabel("reference");
}
BENCHMARK(BM_ExifToolReads500Heic)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Reads500Heic(benchmark::State& state) {
  SXMPMeta::Initialize();
  SXMPFiles::Initialize();
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFiles; ++i) {
      SXMPFiles file((TheFiles().mDir / "small" / ("photo" + std::to_string(i) + ".heic")).string(),
                     kXMP_UnknownFile, kXMPFiles_OpenForRead);
      SXMPMeta meta;
      if (!file.GetXMP(&meta)) return state.SkipWithError("no XMP");
      benchmark::DoNotOptimize(meta);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double perSecond = kFiles * static_cast<double>(state.iterations()) / seconds;
  state.counters["files_per_s"] = perSecond;
  if (sExifToolFilesPerSecond > 0) {
    const double times = perSecond / sExifToolFilesPerSecond;
    state.counters["times_exiftool"] = times;
    state.counters["of_20x_target"] = times / 20;
  }
}
BENCHMARK(BM_Reads500Heic)->Unit(benchmark::kMillisecond);

// Adds a title to the 50 MB file (a new XMP item), then grows it past its padding.
void BM_TitleInto50MBHeic(benchmark::State& state) {
  const fs::path file = TheFiles().mDir / "large.heic";
  std::uint64_t added = 0, grown = 0;
  for (auto _ : state) {
    state.PauseTiming();
    MakeLarge(file);
    state.ResumeTiming();
    {
      DiskStorage storage(file.string(), true);
      heif::WriteXmp(storage, PacketText(veltbench::TitlePacket("Added title", 2000)));
      storage.Flush();
      added = storage.BytesWritten();
    }
    DiskStorage storage(file.string(), true);
    heif::WriteXmp(storage, PacketText(veltbench::TitlePacket(std::string(6000, 'G'), 2000)));
    storage.Flush();
    grown = storage.BytesWritten();
  }
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / (1 << 20);
  state.counters["added_bytes"] = static_cast<double>(added);
  state.counters["added_of_64KB_target"] = static_cast<double>(added) / (64 << 10);
  state.counters["grown_bytes"] = static_cast<double>(grown);
  state.counters["grown_of_64KB_target"] = static_cast<double>(grown) / (64 << 10);
}
BENCHMARK(BM_TitleInto50MBHeic)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
