// An aggregate of 1000 buffer providers with 100 properties each.
//
// Figures, each next to its baseline from the same run and the ratio asked for:
//  - full recompute of the merged metadata (target < 100 ms) against the bare collecting
//    merge of the same 1000 objects;
//  - one change distributed to all 1000 providers, history and serialisation included
//    (target < 200 ms), against the bare distribution and serialisation of the same objects.

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "veltmetadata/AggregateProvider.h"
#include "veltmetadata/Assertions.h"
#include "veltmetadata/BufferProvider.h"
#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"
#include "xmp/SXMPUtils.h"

namespace {

using namespace veltmetadata;

constexpr int kProviders = 1000;
constexpr int kProperties = 100;
const std::string kBenchNs = "http://example.com/bench/providers/";

class Packet : public BufferProviderImpl {
 public:
  explicit Packet(const std::string& text)
      : BufferProviderImpl(reinterpret_cast<const unsigned char*>(text.data()), text.size()) {}
  std::string mStored;

 protected:
  void WriteBuffer(const std::vector<Path>&, const char* packet, std::size_t length) override {
    mStored.assign(packet, length);
  }
};

class BenchAggregate : public AggregateProvider {
 public:
  using AggregateProvider::AggregateProvider;
  void Recompute() { OnProxyMetaDataChange(nullptr); }
};

// One file's metadata: 100 properties, of which every tenth differs between files.
SXMPMeta FileMeta(int file) {
  SXMPMeta meta;
  for (int p = 0; p < kProperties; ++p) {
    const std::string value =
        p % 10 == 0 ? "file " + std::to_string(file) : "shared " + std::to_string(p);
    meta.SetProperty(kBenchNs, "bench:P" + std::to_string(p), value);
  }
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Title");
  return meta;
}

struct World {
  std::vector<SXMPMeta> objects;
  ProviderList providers;
  std::shared_ptr<BenchAggregate> aggregate;
  double recomputeMs = 0, collectMs = 0, changeMs = 0, distributeMs = 0;
  World() {
    SetAssertionHandler([](const AssertionReport&) {});
    Initialize();
    SXMPMeta::RegisterNamespace(kBenchNs, "bench");
    for (int i = 0; i < kProviders; ++i) {
      objects.push_back(FileMeta(i));
      std::string packet;
      objects.back().SerializeToBuffer(&packet);
      providers.push_back(std::make_shared<Packet>(packet));
    }
    aggregate = std::make_shared<BenchAggregate>(ProviderRange{providers.begin(), providers.end()});
  }
};

World& TheWorld() {
  static World world;
  return world;
}

double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Measures one operation: CPU and wall milliseconds, added to the totals.
struct Timed {
  double& cpu;
  double& wall;
  double cpuStart = CpuMs();
  std::chrono::steady_clock::time_point wallStart = std::chrono::steady_clock::now();
  ~Timed() {
    cpu += CpuMs() - cpuStart;
    wall += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
                .count();
  }
};

void BM_BareCollect(benchmark::State& state) {
  World& w = TheWorld();
  double total = 0, wall = 0;
  for (auto _ : state) {
    Timed timed{total, wall};
    SXMPMeta merged;
    for (const SXMPMeta& meta : w.objects)
      SXMPUtils::CollectProperties(meta, &merged, 0);
    benchmark::DoNotOptimize(merged);
  }
  w.collectMs = total / static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = w.collectMs;
  state.counters["wall_ms"] = wall / static_cast<double>(state.iterations());
  state.SetLabel("baseline for the recompute");
}

void BM_AggregateRecompute(benchmark::State& state) {
  World& w = TheWorld();
  double total = 0, wall = 0;
  for (auto _ : state) {
    Timed timed{total, wall};
    w.aggregate->Recompute();
  }
  w.recomputeMs = total / static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = w.recomputeMs;
  state.counters["wall_ms"] = wall / static_cast<double>(state.iterations());
  state.counters["ms_of_100ms_target"] = w.recomputeMs / 100;
  if (w.collectMs > 0) state.counters["ratio_to_bare_collect"] = w.recomputeMs / w.collectMs;
}

void BM_BareDistributeAndSerialize(benchmark::State& state) {
  World& w = TheWorld();
  SXMPMeta merged;
  for (const SXMPMeta& meta : w.objects)
    SXMPUtils::CollectProperties(meta, &merged, 0);
  merged.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Edited");
  std::vector<SXMPMeta> copies;
  for (const SXMPMeta& meta : w.objects)
    copies.push_back(meta.Clone());
  double total = 0, wall = 0;
  for (auto _ : state) {
    Timed timed{total, wall};
    for (SXMPMeta& copy : copies) {
      SXMPUtils::DistributeProperties(merged, &copy, 0);
      std::string packet;
      copy.SerializeToBuffer(&packet);
      benchmark::DoNotOptimize(packet);
    }
  }
  w.distributeMs = total / static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = w.distributeMs;
  state.counters["wall_ms"] = wall / static_cast<double>(state.iterations());
  state.SetLabel("baseline for the distributed change");
}

void BM_AggregateOneChange(benchmark::State& state) {
  World& w = TheWorld();
  const Path title =
      PathForSchemaNameAndPropertyName(std::string(kXMP_NS_DC), std::string("title"));
  double total = 0, wall = 0;
  int round = 0;
  for (auto _ : state) {
    Timed timed{total, wall};
    MetaDataUpdateAccess access(w.aggregate);
    if (SetValue(*access, title, "Edited " + std::to_string(++round))) access.AddChange(title);
  }
  w.changeMs = total / static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = w.changeMs;
  state.counters["wall_ms"] = wall / static_cast<double>(state.iterations());
  state.counters["ms_of_200ms_target"] = w.changeMs / 200;
  if (w.distributeMs > 0) state.counters["ratio_to_bare_distribute"] = w.changeMs / w.distributeMs;
}

BENCHMARK(BM_BareCollect)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AggregateRecompute)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BareDistributeAndSerialize)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AggregateOneChange)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
