// XMP in a 2 GB sparse MP4, media data at the front (ftyp mdat moov uuid) or at the back
// (ftyp moov uuid mdat): reading touches only the boxes and the packet; writing a new title
// writes a few kilobytes, next to the time a full copy of the file takes.
//
// Figures: bytes_read / bytes_written (counted by the byte-I/O layer), ms per operation, and
// the ratios asked for: ms against the target (10 ms read, 100 ms write), bytes written
// against the 1 MB target, and how many times faster than a full copy the write is.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "formats/iso/IsoBoxes.h"
#include "formats/iso/IsoMedia.h"
#include "io/Endian.h"

namespace {

using namespace xmpfiles;
namespace fs = std::filesystem;

constexpr std::uint64_t kMediaBytes = 2ull << 30;
constexpr int kChunks = 2000;

Bytes Box(const char (&type)[5], const Bytes& payload) {
  Bytes out;
  iso::AppendBoxHeader(out, FourCC(type), 8 + payload.size());
  AppendBytes(out, payload);
  return out;
}

// moov with one track whose chunk offsets point into the media data at `mdatData`.
Bytes Moov(std::uint64_t mdatData) {
  Bytes stco = {0, 0, 0, 0};
  AppendU32(stco, kChunks, Endian::kBig);
  for (int i = 0; i < kChunks; ++i) {
    AppendU32(stco,
              static_cast<std::uint32_t>(mdatData + std::uint64_t(i) * (kMediaBytes / kChunks)),
              Endian::kBig);
  }
  return Box("moov", Box("trak", Box("mdia", Box("minf", Box("stbl", Box("stco", stco))))));
}

void Put(int fd, std::uint64_t offset, const Bytes& bytes) {
  if (pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
      static_cast<ssize_t>(bytes.size())) {
    std::perror("pwrite");
    std::abort();
  }
}

// Makes the sparse movie; the media data is a hole, so making it is instant.
void MakeMovie(const fs::path& path, bool mediaFirst) {
  const Bytes ftyp =
      Box("ftyp", {'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm', 'm', 'p', '4', '1'});
  Bytes uuid;
  const std::string packet = veltbench::TitlePacket("Sparse movie", 2000);
  iso::AppendBoxHeader(uuid, FourCC("uuid"), 24 + packet.size(), &iso::kXmpUuid);
  AppendBytes(uuid, packet);
  Bytes mdatHeader;
  iso::AppendBoxHeader(mdatHeader, FourCC("mdat"), 8 + kMediaBytes);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) std::abort();
  std::uint64_t pos = 0;
  Put(fd, pos, ftyp);
  pos += ftyp.size();
  if (mediaFirst) {
    Put(fd, pos, mdatHeader);
    pos += 8 + kMediaBytes;
    Bytes moov = Moov(ftyp.size() + 8);
    Put(fd, pos, moov);
    Put(fd, pos + moov.size(), uuid);
  } else {
    std::uint64_t mdat = pos + Moov(0).size() + uuid.size();
    Bytes moov = Moov(mdat + 8);
    Put(fd, pos, moov);
    Put(fd, pos + moov.size(), uuid);
    Put(fd, mdat, mdatHeader);
    if (::ftruncate(fd, static_cast<off_t>(mdat + 8 + kMediaBytes)) != 0) std::abort();
  }
  ::close(fd);
}

struct Movies {
  fs::path dir;
  fs::path files[2];  // [0] media at the front, [1] media at the back
  Movies() {
    const char* tmp = std::getenv("TMPDIR");
    dir = fs::path(tmp ? tmp : "/tmp") / ("bench_xmp_files_av_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (int i = 0; i < 2; ++i) {
      files[i] = dir / (i == 0 ? "media_front.mp4" : "media_back.mp4");
      MakeMovie(files[i], i == 0);
    }
  }
  ~Movies() { fs::remove_all(dir); }
};

Movies& TheMovies() {
  static Movies movies;
  return movies;
}

double sFullCopySeconds = 0;

const char* Where(std::int64_t which) {
  return which == 0 ? "media at the front" : "media at the back";
}

// The reference: copying the whole file, as a rewrite would.
void BM_FullCopy(benchmark::State& state) {
  const fs::path& source = TheMovies().files[0];
  const fs::path target = TheMovies().dir / "copy.mp4";
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    int in = ::open(source.c_str(), O_RDONLY);
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
      if (::write(out, buffer.data(), static_cast<std::size_t>(n)) != n) std::abort();
    }
    ::fsync(out);
    ::close(in);
    ::close(out);
    sFullCopySeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fs::remove(target);
  }
  state.counters["bytes_copied"] = static_cast<double>(fs::file_size(source));
  state.counters["copy_ms"] = sFullCopySeconds * 1e3;
  state.SetLabel("reference for the write ratio");
}

void BM_ReadXmp(benchmark::State& state) {
  const fs::path& file = TheMovies().files[state.range(0)];
  std::uint64_t bytesRead = 0;
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    DiskStorage storage(file.string(), false);
    auto found = iso::ReadXmp(storage);
    if (!found) state.SkipWithError("no XMP found");
    benchmark::DoNotOptimize(found);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bytesRead = storage.BytesRead();
  }
  const double ms = seconds * 1e3 / static_cast<double>(state.iterations());
  const double size = static_cast<double>(fs::file_size(file));
  state.counters["bytes_read"] = static_cast<double>(bytesRead);
  state.counters["read_of_file"] = static_cast<double>(bytesRead) / size;
  state.counters["ms"] = ms;
  state.counters["ms_of_10ms_target"] = ms / 10;
  state.SetLabel(Where(state.range(0)));
}

// Writes a new title: state.range(1) == 0 fits the old packet's padding (in place); 1 is too
// large for it, so the packet is placed elsewhere (the file is remade before each write).
void BM_WriteTitle(benchmark::State& state) {
  const fs::path& file = TheMovies().files[state.range(0)];
  const bool grow = state.range(1) != 0;
  std::uint64_t bytesWritten = 0;
  double seconds = 0;
  int n = 0;
  for (auto _ : state) {
    if (grow) {
      state.PauseTiming();
      MakeMovie(file, state.range(0) == 0);
      state.ResumeTiming();
    }
    const std::string title = (grow ? std::string(6000, 'G') : "Title ") + std::to_string(++n);
    auto start = std::chrono::steady_clock::now();
    DiskStorage storage(file.string(), true);
    iso::WriteXmp(storage, PacketText(veltbench::TitlePacket(title, 100)));
    storage.Flush();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bytesWritten = storage.BytesWritten();
  }
  const double ms = seconds * 1e3 / static_cast<double>(state.iterations());
  state.counters["bytes_written"] = static_cast<double>(bytesWritten);
  state.counters["written_of_1MB_target"] = static_cast<double>(bytesWritten) / (1 << 20);
  state.counters["ms"] = ms;
  state.counters["ms_of_100ms_target"] = ms / 100;
  if (sFullCopySeconds > 0) state.counters["times_faster_than_copy"] = sFullCopySeconds * 1e3 / ms;
  state.SetLabel(std::string(Where(state.range(0))) + (grow ? ", packet grows" : ", in place"));
  if (grow) MakeMovie(file, state.range(0) == 0);
}

BENCHMARK(BM_FullCopy)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadXmp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteTitle)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
