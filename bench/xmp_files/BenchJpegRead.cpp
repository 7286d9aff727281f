// Reading the XMP of 1000 small JPEGs: files per second, next to the rate of merely reading
// the same files whole into memory (the floor any reader pays), as a ratio.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace {

constexpr int kFiles = 1000;

// 1000 copies of the sample JPEG, each with a typical packet, in a temporary folder.
class JpegSet {
 public:
  JpegSet() {
    SXMPMeta::Initialize();
    SXMPFiles::Initialize();
    mDir =
        std::filesystem::temp_directory_path() / ("velt-bench-jpeg-" + std::to_string(::getpid()));
    std::filesystem::create_directories(mDir);
    const std::filesystem::path sample =
        std::filesystem::path(VELT_SOURCE_DIR) / "tests/data/xmp_files/images/sample.jpg";
    for (int i = 0; i < kFiles; ++i) {
      auto path = mDir / ("photo" + std::to_string(i) + ".jpg");
      std::filesystem::copy_file(sample, path, std::filesystem::copy_options::overwrite_existing);
      SXMPMeta meta;
      meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Photo " + std::to_string(i));
      meta.AppendArrayItem(kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "Ana Lund");
      meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "harbour");
      meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "boats");
      meta.SetProperty(kXMP_NS_XMP, "xmp:Rating", "3");
      meta.SetProperty(kXMP_NS_XMP, "xmp:CreateDate", "2024-05-01T10:20:30+02:00");
      SXMPFiles f(path.string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
      f.PutXMP(meta);
      f.CloseFile();
      mPaths.push_back(path.string());
    }
  }
  ~JpegSet() { std::filesystem::remove_all(mDir); }
  const std::vector<std::string>& Paths() const { return mPaths; }

 private:
  std::filesystem::path mDir;
  std::vector<std::string> mPaths;
};

const JpegSet& Set() {
  static JpegSet sSet;
  return sSet;
}

void BM_RawReadWholeFiles(benchmark::State& state) {
  const auto& paths = Set().Paths();
  for (auto _ : state) {
    for (const auto& p : paths) {
      std::ifstream in(p, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      benchmark::DoNotOptimize(bytes.data());
    }
  }
  state.counters["files_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * paths.size()), benchmark::Counter::kIsRate);
  state.SetLabel("reference: read each file whole");
}

void BM_ReadXmpOf1000Jpegs(benchmark::State& state) {
  const auto& paths = Set().Paths();
  std::size_t found = 0;
  for (auto _ : state) {
    for (const auto& p : paths) {
      SXMPFiles f(p, kXMP_UnknownFile, kXMPFiles_OpenForRead);
      SXMPMeta meta;
      found += f.GetXMP(&meta) ? 1 : 0;
      benchmark::DoNotOptimize(meta.GetInternalRef());
    }
  }
  if (found != state.iterations() * paths.size()) state.SkipWithError("a file lost its XMP");
  state.counters["files_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * paths.size()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_RawReadWholeFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadXmpOf1000Jpegs)->Unit(benchmark::kMillisecond);

// Prints the ratio of the two rates after the runs.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  struct Reporter : benchmark::ConsoleReporter {
    double mRaw = 0, mXmp = 0;
    void ReportRuns(const std::vector<Run>& runs) override {
      for (const Run& r : runs) {
        auto it = r.counters.find("files_per_s");
        if (it == r.counters.end()) continue;
        if (r.benchmark_name().find("Raw") != std::string::npos) mRaw = it->second;
        if (r.benchmark_name().find("ReadXmp") != std::string::npos) mXmp = it->second;
      }
      ConsoleReporter::ReportRuns(runs);
    }
  } reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.mRaw > 0 && reporter.mXmp > 0) {
    std::printf("XMP read of 1000 JPEGs: %.0f files/s; whole-file read: %.0f files/s; ratio %.2f\n",
                reporter.mXmp, reporter.mRaw, reporter.mXmp / reporter.mRaw);
  }
  benchmark::Shutdown();
  return 0;
}
