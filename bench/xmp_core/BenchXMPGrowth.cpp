// Growth on hostile input: each case runs at size N and 4N and prints the time and peak-heap
// ratios (4N / N) next to their reference, 5 (linear work is 4). Cases with many distinct
// names also print raw expat's time ratio on the same packets, since expat's own name
// tables grow slightly faster than linearly once they leave the caches. The thumbnail case prints
// the bytes allocated while parsing a 200 KB base64 thumbnail packet against its size
// (reference: at most 4x).
//
// Heap figures come from counting malloc, realloc, calloc and free in this program, so that
// expat's buffers count as well as the toolkit's.
//
// Each run starts from a trimmed heap (malloc_trim), as a fresh process does: every run then
// pays for the pages it touches. Without it, whether a run finds its memory already mapped
// depends on where its size falls against the allocator's trim threshold, not on the parser:
// a small run may reuse pages that a large one must fault in, and on a virtual machine where
// a page fault costs microseconds that alone can double the ratio.

#include <benchmark/benchmark.h>
#include <expat.h>
#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "XMPMetaObject.h"
#include "XMPPath.h"
#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"
#include "xmp/XMP_Warnings.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_calloc(size_t n, size_t size);
void __libc_free(void* p);
}

namespace {

std::atomic<long long> sLive{0};
std::atomic<long long> sPeak{0};
std::atomic<long long> sTotal{0};

void Count(void* p) {
  if (!p) return;
  auto n = static_cast<long long>(malloc_usable_size(p));
  long long live = sLive.fetch_add(n, std::memory_order_relaxed) + n;
  sTotal.fetch_add(n, std::memory_order_relaxed);
  long long peak = sPeak.load(std::memory_order_relaxed);
  while (live > peak && !sPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

void Uncount(void* p) {
  if (p) sLive.fetch_sub(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
  void* p = __libc_malloc(size);
  Count(p);
  return p;
}
void* calloc(size_t n, size_t size) {
  void* p = __libc_calloc(n, size);
  Count(p);
  return p;
}
void* realloc(void* old, size_t size) {
  long long before = old ? static_cast<long long>(malloc_usable_size(old)) : 0;
  void* p = __libc_realloc(old, size);
  if (p || size == 0) {
    sLive.fetch_sub(before, std::memory_order_relaxed);
    if (p) {
      // Only the growth of a block counts as newly allocated.
      sTotal.fetch_sub(p == old ? before : 0, std::memory_order_relaxed);
      Count(p);
    }
  }
  return p;
}
void free(void* p) {
  Uncount(p);
  __libc_free(p);
}
}

namespace {

struct Cost {
  double mSeconds = 0;
  long long mPeakBytes = 0;   // highest heap in use above the level at the start
  long long mTotalBytes = 0;  // bytes allocated
};

// CPU time of this thread: the figures stay comparable on a loaded machine.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The best time of a few runs of `work` (each after `setup`), and its heap use.
Cost Measure(const std::function<void()>& setup, const std::function<void()>& work) {
  Cost cost;
  cost.mSeconds = 1e30;
  for (int run = 0; run < 3; ++run) {
    setup();
    malloc_trim(0);
    long long start = sLive.load();
    sPeak.store(start);
    long long total = sTotal.load();
    double begin = CpuSeconds();
    work();
    cost.mSeconds = std::min(cost.mSeconds, CpuSeconds() - begin);
    cost.mPeakBytes = sPeak.load() - start;
    cost.mTotalBytes = sTotal.load() - total;
  }
  return cost;
}

const char* kExNS = "http://example.com/growth/";

std::string Packet(const std::string& body) {
  return "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
         "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
         "<rdf:Description rdf:about='' xmlns:ex='" +
         std::string(kExNS) + "' xmlns:xmpGImg='http://ns.adobe.com/xap/1.0/g/img/'>" + body +
         "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

std::string ShortLines(size_t bytes) {
  std::string text;
  for (int i = 0; text.size() < bytes; ++i)
    text += "line " + std::to_string(i % 100) + "\n";
  return Packet("<ex:lines>" + text + "</ex:lines>");
}

std::string Thumbnail(size_t bytes) {
  std::string text;
  while (text.size() < bytes)
    text += std::string(76, 'A') + "\n";
  return Packet("<xmpGImg:image>" + text + "</xmpGImg:image>");
}

std::string Entities(size_t bytes) {
  std::string text;
  while (text.size() < bytes)
    text += "a&amp;b&#x41;";
  return Packet("<ex:entities>" + text + "</ex:entities>");
}

std::string WideStruct(size_t fields) {
  std::string body = "<ex:wide rdf:parseType='Resource'>";
  for (size_t i = 0; i < fields; ++i) {
    std::string n = std::to_string(i);
    body += "<ex:f" + n + ">" + n + "</ex:f" + n + ">";
  }
  return Packet(body + "</ex:wide>");
}

// An Alt array whose items all have one language: every item after the first is a repeat.
std::string RepeatedLanguages(size_t items) {
  std::string body = "<ex:alt><rdf:Alt>";
  for (size_t i = 0; i < items; ++i)
    body += "<rdf:li xml:lang='en'>" + std::to_string(i) + "</rdf:li>";
  return Packet(body + "</rdf:Alt></ex:alt>");
}

// Empties the process-wide namespace registry, so that each run starts from the same one.
void FreshRegistry() {
  SXMPMeta::Initialize();
  SXMPMeta::Terminate();
}

// Namespaces not seen before by this process, all asking for one prefix.
std::string OnePrefix(size_t count) {
  FreshRegistry();
  static int sRun = 0;
  std::string base = "http://example.com/prefix/" + std::to_string(++sRun) + "/";
  std::string body;
  for (size_t i = 0; i < count; ++i) {
    body += "<same:p xmlns:same='" + base + std::to_string(i) + "/'>v</same:p>";
  }
  return Packet(body);
}

void ParseOnce(const std::string& packet) {
  SXMPMeta meta;
  meta.ParseFromBuffer(packet);
  benchmark::DoNotOptimize(meta.GetInternalRef());
}

// A chain of `levels` structures, built directly in the tree as tree utilities may do.
void IterateChain(size_t levels) {
  SXMPMeta meta;
  meta.SetProperty(kExNS, "ex:c", "");
  auto* node = xmpcore::FindNode(xmpcore::Tree(meta), kExNS, "ex:c", xmpcore::Missing::kNull);
  for (size_t i = 0; i < levels; ++i) {
    node->mOptions |= kXMP_PropValueIsStruct;
    node = node->AddChild("ex:c");
  }
  std::string leaf;
  SXMPIterator it(meta, kXMP_IterJustLeafName);
  while (it.Next(nullptr, &leaf))
    benchmark::DoNotOptimize(leaf.data());
}

using Case = std::function<std::function<void()>(size_t)>;

// Runs `make(n)` and `make(4n)` and reports the growth.
void Growth(benchmark::State& state, size_t n, const Case& make) {
  Cost small, large;
  for (auto _ : state) {
    // Alternated rounds, best of each: a busy machine disturbs both sizes alike.
    for (int round = 0; round < 2; ++round) {
      std::function<void()> work;
      Cost s = Measure([&] { work = make(n); }, [&] { work(); });
      Cost l = Measure([&] { work = make(4 * n); }, [&] { work(); });
      if (round == 0 || s.mSeconds < small.mSeconds) small = s;
      if (round == 0 || l.mSeconds < large.mSeconds) large = l;
    }
  }
  state.counters["time_ratio"] = large.mSeconds / small.mSeconds;
  state.counters["mem_ratio"] =
      double(std::max(large.mPeakBytes, 1LL)) / double(std::max(small.mPeakBytes, 1LL));
  state.counters["reference"] = 5;
  state.counters["ms_4N"] = large.mSeconds * 1e3;
  state.counters["peak_MB_4N"] = double(large.mPeakBytes) / 1e6;
}

Case ParseOf(std::string (*packet)(size_t)) {
  return [packet](size_t n) {
    auto text = std::make_shared<std::string>(packet(n));
    return std::function<void()>([text] { ParseOnce(*text); });
  };
}

// Raw expat (namespaces on, no handlers) on the same packets: how its own time grows bounds
// what any parser built on it can reach.
void ExpatGrowth(benchmark::State& state, size_t n, std::string (*packet)(size_t)) {
  auto time = [&](size_t size) {
    std::string text = packet(size);
    return Measure([] {},
                   [&] {
                     XML_Parser parser = XML_ParserCreateNS("UTF-8", '\x01');
                     XML_SetReturnNSTriplet(parser, 1);
                     XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE);
                     XML_ParserFree(parser);
                   })
        .mSeconds;
  };
  state.counters["expat_time_ratio"] = time(4 * n) / time(n);
}

void BM_GrowthShortLines(benchmark::State& state) {
  Growth(state, 100 << 10, ParseOf(&ShortLines));
}
void BM_GrowthThumbnail(benchmark::State& state) {
  Growth(state, 200 << 10, ParseOf(&Thumbnail));
}
void BM_GrowthEntities(benchmark::State& state) {
  Growth(state, 140 << 10, ParseOf(&Entities));
}
void BM_GrowthWideStruct(benchmark::State& state) {
  SXMPMeta::RegisterNamespace(kExNS, "ex");
  Growth(state, 10000, ParseOf(&WideStruct));
  ExpatGrowth(state, 10000, &WideStruct);
}
void BM_GrowthRepeatedLanguages(benchmark::State& state) {
  SXMPMeta::RegisterNamespace(kExNS, "ex");
  // Each repeat is reported: the warnings go nowhere here.
  XMP_WarningScope quiet([](const std::string&) {});
  Growth(state, 20000, ParseOf(&RepeatedLanguages));
}
void BM_GrowthNamespacesOnOnePrefix(benchmark::State& state) {
  Growth(state, 10000, ParseOf(&OnePrefix));
  ExpatGrowth(state, 10000, &OnePrefix);
}
void BM_GrowthRegisterOnOnePrefix(benchmark::State& state) {
  Growth(state, 20000, [](size_t n) {
    FreshRegistry();
    static int sRun = 0;
    std::string base = "http://example.com/register/" + std::to_string(++sRun) + "/";
    return std::function<void()>([n, base] {
      for (size_t i = 0; i < n; ++i)
        SXMPMeta::RegisterNamespace(base + std::to_string(i) + "/", "reg");
    });
  });
}
void BM_GrowthDeepIterator(benchmark::State& state) {
  SXMPMeta::RegisterNamespace(kExNS, "ex");
  Growth(state, 2500, [](size_t n) { return std::function<void()>([n] { IterateChain(n); }); });
}

// Bytes allocated while parsing a packet holding a 200 KB thumbnail, against its size.
void BM_ThumbnailAllocation(benchmark::State& state) {
  const std::string packet = Thumbnail(200 << 10);
  Cost cost;
  for (auto _ : state)
    cost = Measure([] {}, [&] { ParseOnce(packet); });
  state.counters["packet_KB"] = double(packet.size()) / 1024;
  state.counters["alloc_ratio"] = double(cost.mTotalBytes) / double(packet.size());
  state.counters["peak_ratio"] = double(cost.mPeakBytes) / double(packet.size());
  state.counters["reference"] = 4;
}

}  // namespace

BENCHMARK(BM_GrowthShortLines)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowthThumbnail)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowthEntities)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowthWideStruct)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowthRepeatedLanguages)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowthNamespacesOnOnePrefix)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowthRegisterOnOnePrefix)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowthDeepIterator)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailAllocation)->Iterations(1)->Unit(benchmark::kMillisecond);
