// Path resolution, field Path building and leaf walks over the built-in definitions. Each
// benchmark prints its figure next to its reference as a ratio:
//  - resolving the last property of the largest schema: rate over 10^6/s (>= 1 meets);
//  - building a field Path over the bare toolkit path composition (<= 2 meets);
//  - walking every built-in schema: leaves/s, and the time per leaf in units of one
//    resolution of the first benchmark (how much a walk costs beyond resolving each leaf).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/Path.h"
#include "veltmetadata/PathTraversal.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPUtils.h"

namespace {

using veltmetadata::Path;
using Clock = std::chrono::steady_clock;

constexpr double kTargetResolutionsPerSecond = 1e6;
constexpr double kTargetFieldPathRatio = 2.0;

// One library start for the program, with empty custom folders so that only the built-in
// definitions count.
void StartOnce() {
  static const bool started = [] {
    const auto root =
        std::filesystem::temp_directory_path() / ("velt-bench-paths-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "prefs");
    std::filesystem::create_directories(root / "system");
    ::setenv("VELTCORE_PREFS_DIR", (root / "prefs").c_str(), 1);
    ::setenv("VELTCORE_SYSTEM_DIR", (root / "system").c_str(), 1);
    veltmetadata::Initialize();
    return true;
  }();
  (void)started;
}

// The schema with the most properties, and the Path of its last property.
Path LastPropertyOfLargestSchema(std::string& prefix) {
  std::shared_ptr<veltmetadata::SchemaDefinition> largest;
  for (const auto& schema : veltmetadata::AllSchemaDefinitions()) {
    if (!largest || schema->mProperties.size() > largest->mProperties.size()) largest = schema;
  }
  prefix = largest->mPrefix + " (" + std::to_string(largest->mProperties.size()) + ")";
  return veltmetadata::CreatePathFromSchemaProperty(largest, largest->mProperties.back());
}

double SecondsPerResolution() {
  std::string prefix;
  const Path path = LastPropertyOfLargestSchema(prefix);
  constexpr int kRounds = 20000;
  const auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    benchmark::DoNotOptimize(veltmetadata::PathEntryDefinition(path));
    benchmark::DoNotOptimize(veltmetadata::PrimitiveTypeOfPath(path));
  }
  return std::chrono::duration<double>(Clock::now() - start).count() / kRounds;
}

void BM_ResolveLastPropertyOfLargestSchema(benchmark::State& state) {
  StartOnce();
  std::string prefix;
  const Path path = LastPropertyOfLargestSchema(prefix);
  for (auto _ : state) {
    benchmark::DoNotOptimize(veltmetadata::PathEntryDefinition(path));
    benchmark::DoNotOptimize(veltmetadata::PrimitiveTypeOfPath(path));
  }
  const auto rate =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["resolutions_per_s"] = rate;
  state.counters["ratio_to_1e6_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / kTargetResolutionsPerSecond,
                         benchmark::Counter::kIsRate);
  state.SetLabel("PathEntryDefinition+PrimitiveTypeOfPath, " + prefix + " " +
                 path.mPathDescription + "; target ratio >= 1");
}
BENCHMARK(BM_ResolveLastPropertyOfLargestSchema);

// Field Paths are built in batches next to the bare composition of the same path text, so
// that both see the same machine state.
void BM_FieldPathOverBareComposition(benchmark::State& state) {
  StartOnce();
  const Path parent = veltmetadata::PathForSchemaNameAndPropertyName(
      veltmetadata::StandardSchemaNamespace(veltmetadata::kStandardSchema_xmpMM), "DerivedFrom");
  const auto type = veltmetadata::TypeEntryDefinition(parent);
  const auto field = veltmetadata::FieldNameDefinition(type, "instanceID");
  constexpr int kBatch = 200;
  double pathSeconds = 0, composeSeconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i)
      benchmark::DoNotOptimize(veltmetadata::CreatePathFromStructureField(parent, field));
    const auto middle = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      benchmark::DoNotOptimize(SXMPUtils::ComposeStructFieldPath(
          parent.mNamespace, parent.mPathDescription, field->mNamespace, field->mName));
    }
    const auto end = Clock::now();
    pathSeconds += std::chrono::duration<double>(middle - start).count();
    composeSeconds += std::chrono::duration<double>(end - middle).count();
    state.SetIterationTime(std::chrono::duration<double>(middle - start).count() / kBatch);
  }
  state.counters["ratio_to_compose"] = pathSeconds / composeSeconds;
  state.counters["ratio_to_target"] = pathSeconds / composeSeconds / kTargetFieldPathRatio;
  state.SetLabel(
      "CreatePathFromStructureField xmpMM:DerivedFrom/stRef:instanceID vs "
      "ComposeStructFieldPath; target ratio <= 2");
}
BENCHMARK(BM_FieldPathOverBareComposition)->UseManualTime();

void BM_WalkEveryBuiltInSchema(benchmark::State& state) {
  StartOnce();
  std::vector<std::shared_ptr<veltmetadata::SchemaDefinition>> schemas;
  for (auto [it, end] = veltmetadata::CommonSchemaDefinitions(); it != end; ++it)
    schemas.push_back(*it);
  for (auto [it, end] = veltmetadata::DynamicSchemaDefinitions(); it != end; ++it)
    schemas.push_back(*it);
  unsigned long long leaves = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    leaves = 0;
    for (const auto& schema : schemas)
      leaves += veltmetadata::CountDescendantLeafPaths(schema);
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  const double perWalk = static_cast<double>(leaves);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["leaves"] = perWalk;
  state.counters["leaves_per_s"] = perWalk * iterations / seconds;
  state.counters["ratio_leaf_to_resolution"] =
      seconds / (perWalk * iterations) / SecondsPerResolution();
  state.SetLabel(std::to_string(schemas.size()) + " schemas; reference: one resolution");
}
BENCHMARK(BM_WalkEveryBuiltInSchema)->Unit(benchmark::kMillisecond);

}  // namespace
