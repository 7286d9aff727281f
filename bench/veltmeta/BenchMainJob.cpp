// The main job on 500 small JPEGs carrying the sample photo's metadata, in one process,
// against `exiftool -j` on the same files in the same run. Each benchmark prints its wall
// time next to ExifTool's and the ratio (target: veltmeta at least 10x faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 500;
constexpr double kTargetSpeedup = 10.0;

const std::string kTool = std::string(VELT_BINARY_DIR) + "/tools/veltmeta/veltmeta";

// The folder of copies, made once per run.
const fs::path& Corpus() {
  static const fs::path dir = [] {
    const fs::path path = fs::temp_directory_path() / ("veltmeta_bench_" + std::to_string(::getpid()));
    fs::create_directories(path);
    for (int i = 0; i < kFiles; ++i) {
      fs::copy_file(fs::path(VELT_SOURCE_DIR) / "samples/photo.jpg",
                    path / ("photo" + std::to_string(i) + ".jpg"), fs::copy_options::overwrite_existing);
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

// Seconds one shell command takes in the corpus folder; -1 when it fails.
double Seconds(const std::string& command) {
  const std::string line = "cd '" + Corpus().string() + "' && " + command + " >/dev/null 2>&1";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(line.c_str());
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return status == 0 ? elapsed.count() : -1.0;
}

// ExifTool's time on the corpus, measured once per run.
double ExifToolSeconds() {
  static const double seconds = Seconds("exiftool -j *.jpg");
  return seconds;
}

void RunAgainstExifTool(benchmark::State& state, const std::string& arguments) {
  static CorpusCleanup cleanup;
  Corpus();
  double ours = 0;
  for (auto _ : state) {
    const double seconds = Seconds(kTool + " " + arguments + " *.jpg");
    if (seconds < 0) {
      state.SkipWithError("veltmeta failed on the corpus");
      return;
    }
    state.SetIterationTime(seconds);
    ours += seconds;
  }
  ours /= static_cast<double>(state.iterations());
  const double reference = ExifToolSeconds();
  state.counters["files"] = kFiles;
  state.counters["veltmeta_s"] = ours;
  if (reference > 0) {
    state.counters["exiftool_s"] = reference;
    state.counters["speedup"] = reference / ours;
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
