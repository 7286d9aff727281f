// The kill-point matrix run the fuzz-like way: many updates, each of a random writable
// sample, hit at a random write step by a random fault (kill, failure, disk full after the
// first byte or before the last). After each: a kill must leave the old or the new title,
// any other fault the original bytes (or, at the final flush, the new title). ExifTool then
// reads every killed file in one run and must find the old or the new title with no warning
// the original lacks; `exiftool -validate` warnings are counted too (a duplicate copy for a
// moment, a RIFF form with the new chunk past its end before the size is written).
//
// Figures: runs, results old / new / corrupt (target 0), ExifTool disagreements (target 0),
// and ok_ratio = (old + new) / runs against the target 1. VELT_KILL_RUNS bounds the runs
// (default 300); the seed is fixed so that a run can be repeated.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FaultInjection.h"

namespace {

namespace fs = std::filesystem;
using faulttest::Fault;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteAll(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
      out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// ExifTool's title and warnings of each file, one line per file: "TITLE\tWARNINGS".
std::vector<std::string> ExifToolLines(const std::vector<fs::path>& files, bool validate) {
  std::string command = std::string("exiftool -q -q -f ") + (validate ? "-validate " : "") +
                        "-p '${XMP-dc:Title}\t${Warning}${Error}'";
  for (const fs::path& f : files)
    command += " '" + f.string() + "'";
  std::istringstream in(Run(command + " 2>/dev/null"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

void BM_KillPointMatrix(benchmark::State& state) {
  const char* env = std::getenv("VELT_KILL_RUNS");
  const int runs = env ? std::atoi(env) : 300;
  const std::string kOld = "Old title";
  const std::string title = faulttest::LongTitle("New");
  const fs::path root = fs::temp_directory_path() / ("velt-kill-" + std::to_string(::getpid()));
  for (auto _ : state) {
    fs::remove_all(root);
    fs::create_directories(root);
    struct Sample {
      fs::path original;
      std::string bytes;
      int steps;
    };
    std::vector<Sample> samples;
    for (const std::string& name : faulttest::MatrixSamples()) {
      fs::path folder = root / fs::path(name).stem();
      fs::create_directories(folder);
      fs::path original = faulttest::PrepareSample(folder, name, kOld);
      std::string bytes = ReadAll(original);
      fs::path probe = folder / ("probe" + original.extension().string());
      WriteAll(probe, bytes);
      samples.push_back({original, bytes, faulttest::CountSteps(probe, title)});
      fs::remove(probe);
    }
    std::mt19937 random(20261205);
    int oldCount = 0, newCount = 0, corrupt = 0, kills = 0;
    std::vector<fs::path> killed;
    std::vector<std::size_t> killedSample;
    for (int run = 0; run < runs; ++run) {
      std::size_t s = random() % samples.size();
      const Sample& sample = samples[s];
      int step = static_cast<int>(random() % static_cast<unsigned>(sample.steps));
      Fault fault = static_cast<Fault>(random() % 4);
      fs::path file = sample.original.parent_path() /
                      ("r" + std::to_string(run) + sample.original.extension().string());
      WriteAll(file, sample.bytes);
      faulttest::UpdateWithFault(file, title, step, fault);
      std::string read = faulttest::ReadTitle(file);
      bool identical = ReadAll(file) == sample.bytes;
      if (read == kOld && (fault == Fault::kKill || identical)) {
        ++oldCount;
      } else if (read == title && (fault == Fault::kKill || step + 1 == sample.steps)) {
        ++newCount;
      } else {
        ++corrupt;
        std::fprintf(stderr, "corrupt: %s step %d (%s): '%s'\n", file.c_str(), step,
                     faulttest::FaultName(fault), read.substr(0, 60).c_str());
      }
      if (fault == Fault::kKill) {
        ++kills;
        killed.push_back(file);
        killedSample.push_back(s);
      } else {
        fs::remove(file);
      }
    }
    // ExifTool, in one run over the originals and the killed files.
    std::vector<fs::path> all;
    for (const Sample& sample : samples)
      all.push_back(sample.original);
    all.insert(all.end(), killed.begin(), killed.end());
    int disagreements = 0, validateWarnings = 0;
    for (bool validate : {false, true}) {
      std::vector<std::string> lines = ExifToolLines(all, validate);
      if (lines.size() != all.size()) {
        disagreements += static_cast<int>(all.size());
        continue;
      }
      for (std::size_t i = samples.size(); i < all.size(); ++i) {
        const std::string& line = lines[i];
        const std::string& before = lines[killedSample[i - samples.size()]];
        std::string got = line.substr(0, line.find('\t'));
        std::string warning = line.substr(line.find('\t') + 1);
        std::string originalWarning = before.substr(before.find('\t') + 1);
        if (!validate && ((got != kOld && got != title) || warning != originalWarning)) {
          ++disagreements;
          std::fprintf(stderr, "exiftool: %s: %s\n", all[i].c_str(), warning.c_str());
        }
        if (validate && warning != originalWarning) ++validateWarnings;
      }
    }
    state.counters["runs"] = runs;
    state.counters["kills"] = kills;
    state.counters["old"] = oldCount;
    state.counters["new"] = newCount;
    state.counters["corrupt"] = corrupt;
    state.counters["corrupt_target"] = 0;
    state.counters["exiftool_disagree"] = disagreements;
    state.counters["validate_warnings"] = validateWarnings;
    state.counters["ok_ratio"] = runs > 0 ? double(oldCount + newCount) / runs : 1.0;
    state.counters["ok_target"] = 1.0;
  }
  fs::remove_all(root);
}
BENCHMARK(BM_KillPointMatrix)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
