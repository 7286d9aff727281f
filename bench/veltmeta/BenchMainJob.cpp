// The main job on 500 small JPEGs carrying the sample photo's metadata, in one process,
// against `exiftool -j` on the same files in the same run. Each benchmark prints its wall
// time next to ExifTool's and the ratio (target: veltmeta at least 10x faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 500;
constexpr double kTargetSpeedup = 10.0;

const std::string kTool = std::string(VELT_BINARY_DIR) + "/tools/veltmeta/veltmeta";

// The folder of copies, made once per run.
const fs::path& Corpus() {
  static const fs::path dir = [] {
    const fs::path path =
        fs::temp_directory_path() / ("veltmeta_bench_" + std::to_string(::getpid()));
    fs::create_directories(path);
    for (int i = 0; i < kFiles; ++i) {
      fs::copy_file(fs::path(VELT_SOURCE_DIR) / "samples/photo.jpg",
                    path / ("photo" + std::to_string(i) + ".jpg"),
                    fs::copy_options::overwrite_existing);
    }
    return path;
  }();
  return dir;
}

struct CorpusCleanup {
  ~CorpusCleanup() {
    std::error_code ec;
    fs::remove_all(Corpus(), ec);
  }
};

// CPU seconds (user and system) the finished child processes have used so far.
double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
  double mWall = -1;  // -1 when the command failed
  double mCpu = 0;
};

// The wall and CPU time of one shell command run in the corpus folder. On a busy machine the
// CPU time is the steadier figure.
Timing Seconds(const std::string& command) {
  const std::string line = "cd '" + Corpus().string() + "' && " + command + " >/dev/null 2>&1";
  const double cpuBefore = ChildrenCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(line.c_str());
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {status == 0 ? elapsed.count() : -1.0, ChildrenCpuSeconds() - cpuBefore};
}

// ExifTool's time on the corpus, measured once per run.
Timing ExifToolSeconds() {
  static const Timing timing = Seconds("exiftool -j *.jpg");
  return timing;
}

void RunAgainstExifTool(benchmark::State& state, const std::string& arguments) {
  static CorpusCleanup cleanup;
  Corpus();
  double ours = 0;
  double oursCpu = 0;
  for (auto _ : state) {
    const Timing timing = Seconds(kTool + " " + arguments + " *.jpg");
    if (timing.mWall < 0) {
      state.SkipWithError("veltmeta failed on the corpus");
      return;
    }
    state.SetIterationTime(timing.mWall);
    ours += timing.mWall;
    oursCpu += timing.mCpu;
  }
  ours /= static_cast<double>(state.iterations());
  oursCpu /= static_cast<double>(state.iterations());
  const Timing reference = ExifToolSeconds();
  state.counters["files"] = kFiles;
  state.counters["veltmeta_s"] = ours;
  if (reference.mWall > 0) {
    state.counters["exiftool_s"] = reference.mWall;
    state.counters["speedup"] = reference.mWall / ours;
    state.counters["cpu_speedup"] = oursCpu > 0 ? reference.mCpu / oursCpu : 0;
    state.counters["target"] = kTargetSpeedup;
  }
}

void BM_MainJobEachJson(benchmark::State& state) {
  RunAgainstExifTool(state, "--each --json");
}
BENCHMARK(BM_MainJobEachJson)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// All 500 files merged into one set of panels.
void BM_MainJobMergedPanel(benchmark::State& state) {
  RunAgainstExifTool(state, "");
}
BENCHMARK(BM_MainJobMergedPanel)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
