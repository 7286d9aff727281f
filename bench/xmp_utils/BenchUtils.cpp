// Speed of the utilities on a packet of about 100 KB, each next to a reference measured on the
// same data in the same run: the deep copy of the object (the least any merge or snapshot
// must do) for collecting, distributing and iterating, and sscanf for date parsing.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <functional>

#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"
#include "xmp/SXMPUtils.h"

namespace {

// An object with simple values, bags, and structures: `variant` changes every tenth value.
SXMPMeta MakeObject(int variant) {
  SXMPMeta meta;
  for (int i = 0; i < 400; ++i) {
    std::string n = std::to_string(i);
    std::string changed = (i % 10 == 0) ? std::to_string(variant) : "";
    meta.SetProperty(kXMP_NS_XMP, "xmp:Prop" + n, "value number " + n + changed);
    meta.AppendArrayItem(kXMP_NS_DC, "dc:Bag" + n, kXMP_PropValueIsArray, "first " + n);
    meta.AppendArrayItem(kXMP_NS_DC, "dc:Bag" + n, kXMP_PropValueIsArray, "second" + changed);
    meta.SetStructField(kXMP_NS_XMP_MM, "xmpMM:Ref" + n, kXMP_NS_XMP_ResourceRef, "documentID",
                        "xmp.did:" + n);
    meta.SetStructField(kXMP_NS_XMP_MM, "xmpMM:Ref" + n, kXMP_NS_XMP_ResourceRef, "instanceID",
                        "xmp.iid:" + n + changed);
  }
  return meta;
}

// CPU time of this thread: the machine is shared, so wall time would mostly measure others.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds per call of `body`: batches of doubling size until one takes 0.2 s, so that
// reading the clock costs nothing next to the work.
double SecondsPerCall(const std::function<void()>& body) {
  for (long batch = 1;; batch *= 2) {
    double start = ThreadSeconds();
    for (long i = 0; i < batch; ++i)
      body();
    double elapsed = ThreadSeconds() - start;
    if (elapsed >= 0.2) return elapsed / static_cast<double>(batch);
  }
}

// Runs the benchmark loop over `body` and reports its time per call as a ratio to `reference`.
void RunWithRatio(benchmark::State& state, const std::function<void()>& body,
                  const std::function<void()>& reference, const char* referenceName) {
  double referenceSeconds = SecondsPerCall(reference);
  double start = ThreadSeconds();
  for (auto _ : state) {
    body();
  }
  double seconds = ThreadSeconds() - start;
  double perCall = seconds / static_cast<double>(state.iterations());
  state.counters["ref_us"] = referenceSeconds * 1e6;
  state.counters["ratio"] = perCall / referenceSeconds;
  state.SetLabel(std::string("time / ") + referenceName);
}

void BM_CollectThree(benchmark::State& state) {
  SXMPMeta a = MakeObject(1), b = MakeObject(1), c = MakeObject(2);
  auto collect = [&] {
    SXMPMeta merged;
    SXMPUtils::CollectProperties(a, &merged, 0);
    SXMPUtils::CollectProperties(b, &merged, 0);
    SXMPUtils::CollectProperties(c, &merged, 0);
    benchmark::DoNotOptimize(merged.GetInternalRef());
  };
  auto copies = [&] {
    benchmark::DoNotOptimize(a.Clone().GetInternalRef());
    benchmark::DoNotOptimize(b.Clone().GetInternalRef());
    benchmark::DoNotOptimize(c.Clone().GetInternalRef());
  };
  RunWithRatio(state, collect, copies, "three deep copies");
}
BENCHMARK(BM_CollectThree)->Unit(benchmark::kMillisecond);

void BM_Distribute(benchmark::State& state) {
  SXMPMeta a = MakeObject(1), c = MakeObject(2);
  SXMPMeta merged;
  SXMPUtils::CollectProperties(a, &merged, 0);
  SXMPUtils::CollectProperties(c, &merged, 0);
  auto distribute = [&] {
    SXMPMeta target = c.Clone();
    SXMPUtils::DistributeProperties(merged, &target, 0);
  };
  auto copy = [&] { benchmark::DoNotOptimize(c.Clone().GetInternalRef()); };
  RunWithRatio(state, distribute, copy, "one deep copy");
}
BENCHMARK(BM_Distribute)->Unit(benchmark::kMillisecond);

void BM_IterateWhole(benchmark::State& state) {
  SXMPMeta meta = MakeObject(1);
  auto iterate = [&] {
    SXMPIterator it(meta);
    std::string ns, path, value;
    size_t count = 0;
    while (it.Next(&ns, &path, &value))
      ++count;
    benchmark::DoNotOptimize(count);
  };
  auto copy = [&] { benchmark::DoNotOptimize(meta.Clone().GetInternalRef()); };
  RunWithRatio(state, iterate, copy, "one deep copy");
  std::string packet;
  meta.SerializeToBuffer(&packet, kXMP_OmitPacketWrapper);
  state.counters["packet_KB"] = static_cast<double>(packet.size()) / 1024.0;
}
BENCHMARK(BM_IterateWhole)->Unit(benchmark::kMillisecond);

void BM_ConvertToDate(benchmark::State& state) {
  const std::string text = "2024-02-29T13:05:09.25-07:30";
  auto ours = [&] { benchmark::DoNotOptimize(SXMPUtils::ConvertToDate(text)); };
  auto scanf = [&] {
    int y, mo, d, h, mi, s, f, th, tm;
    benchmark::DoNotOptimize(std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%d-%d:%d", &y, &mo, &d,
                                         &h, &mi, &s, &f, &th, &tm));
  };
  RunWithRatio(state, ours, scanf, "sscanf of the same text");
}
BENCHMARK(BM_ConvertToDate);

}  // namespace
