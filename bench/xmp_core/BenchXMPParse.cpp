// Parsing and serializing packets of about 1 KB, 10 KB, 100 KB and 1 MB, against expat's raw
// tokenizing of the same bytes (namespace processing on, no handlers): the practical upper
// limit of any parser built on it.
//
// Counters: MB/s of our operation, expat_MB/s of raw expat on the same packet, and
// vs_expat = our MB/s / expat's. Serialization also reports vs_parse = serialize MB/s / parse
// MB/s (bytes of the packet in both cases).

#include <benchmark/benchmark.h>
#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include "xmp/SXMPMeta.h"

namespace {

// CPU time of this thread: the figures stay comparable on a loaded machine.
struct Clock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<Clock, duration>;
  static time_point now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return time_point(duration(std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
  }
};

// A packet like the large ones found in files: a set of common properties plus long
// history and document-ancestor lists.
std::string MakePacket(size_t target) {
  SXMPMeta meta;
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Benchmark image");
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "fr", "Image de test");
  meta.SetLocalizedText(kXMP_NS_DC, "dc:rights", "", "x-default", "(c) Someone & Co");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "Ann Smith");
  meta.SetProperty(kXMP_NS_XMP, "xmp:CreatorTool", "veltmetadata bench");
  meta.SetProperty(kXMP_NS_XMP, "xmp:CreateDate", "2021-03-04T05:06:07+02:00");
  meta.SetProperty(kXMP_NS_XMP, "xmp:Rating", "4");
  meta.SetProperty(kXMP_NS_TIFF, "tiff:Make", "Camera maker");
  meta.SetProperty(kXMP_NS_EXIF, "exif:Flash/exif:Fired", "True");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:InstanceID", "xmp.iid:0123456789abcdef");
  std::string packet;
  for (int n = 1;; ++n) {
    std::string i = std::to_string(n);
    meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "keyword " + i);
    meta.AppendArrayItem(kXMP_NS_Photoshop, "photoshop:DocumentAncestors", kXMP_PropValueIsArray,
                         "xmp.did:ancestor-" + i);
    std::string item = "xmpMM:History[" + i + "]";
    meta.SetProperty(kXMP_NS_XMP_MM, item + "/stEvt:action", "saved");
    meta.SetProperty(kXMP_NS_XMP_MM, item + "/stEvt:instanceID", "xmp.iid:" + i);
    meta.SetProperty(kXMP_NS_XMP_MM, item + "/stEvt:when", "2021-03-04T05:06:07+02:00");
    meta.SetProperty(kXMP_NS_XMP_MM, item + "/stEvt:softwareAgent", "Editor 1.0");
    meta.SetProperty(kXMP_NS_XMP_MM, item + "/stEvt:changed", "/metadata");
    if (n % 8 == 0 || target < 4096) {
      meta.SerializeToBuffer(&packet, kXMP_OmitPacketWrapper);
      if (packet.size() >= target) return packet;
    }
  }
}

// A wide packet: `count` top-level properties in one schema, each with one qualifier, and
// one qualified value with `count` qualifiers. Guards against per-property costs that grow
// with the number of siblings.
std::string MakeWidePacket(size_t count) {
  std::string packet =
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description xmlns:w='http://example.com/wide/'>";
  for (size_t i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    packet += "<w:p" + n + " rdf:value='v" + n + "' w:q='x'/>";
  }
  packet += "<w:many rdf:parseType='Resource'><rdf:value>v</rdf:value>";
  for (size_t i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    packet += "<w:q" + n + ">" + n + "</w:q" + n + ">";
  }
  packet += "</w:many></rdf:Description></rdf:RDF>";
  return packet;
}

// Packets by size; a negative key is a wide packet of that many properties.
const std::string& Packet(long key) {
  static std::map<long, std::string> sPackets;
  auto it = sPackets.find(key);
  if (it == sPackets.end()) {
    std::string packet =
        key < 0 ? MakeWidePacket(static_cast<size_t>(-key)) : MakePacket(static_cast<size_t>(key));
    it = sPackets.emplace(key, std::move(packet)).first;
  }
  return it->second;
}

void ExpatParse(const std::string& packet) {
  XML_Parser parser = XML_ParserCreateNS("UTF-8", '\x01');
  XML_SetReturnNSTriplet(parser, 1);
  if (XML_Parse(parser, packet.data(), static_cast<int>(packet.size()), 1) != XML_STATUS_OK) {
    std::abort();
  }
  XML_ParserFree(parser);
}

// MB/s of `work` on `bytes` bytes, timed over at least 0.1 s of CPU time.
template <typename Work>
double MeasureMBps(size_t bytes, Work work) {
  size_t runs = 0;
  auto start = Clock::now();
  std::chrono::duration<double> elapsed{};
  do {
    work();
    ++runs;
    elapsed = Clock::now() - start;
  } while (elapsed.count() < 0.1);
  return double(bytes) * double(runs) / elapsed.count() / 1e6;
}

double ExpatMBps(long target) {
  static std::map<long, double> sSpeeds;
  auto it = sSpeeds.find(target);
  if (it != sSpeeds.end()) return it->second;
  const std::string& packet = Packet(target);
  // The best of several runs: a conservative reference on a busy machine.
  double speed = 0;
  for (int i = 0; i < 5; ++i) {
    speed = std::max(speed, MeasureMBps(packet.size(), [&] { ExpatParse(packet); }));
  }
  sSpeeds[target] = speed;
  return speed;
}

void Report(benchmark::State& state, size_t bytes, double seconds, double reference,
            const char* referenceName) {
  double mbps = double(bytes) / seconds / 1e6;
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["MB/s"] = mbps;
  state.counters[referenceName] = reference;
  state.counters[std::string("vs_") + (referenceName[0] == 'e' ? "expat" : "parse")] =
      mbps / reference;
}

void BM_ExpatRaw(benchmark::State& state) {
  const std::string& packet = Packet(static_cast<size_t>(state.range(0)));
  for (auto _ : state)
    ExpatParse(packet);
  state.SetBytesProcessed(static_cast<int64_t>(packet.size() * state.iterations()));
  state.SetLabel(std::to_string(packet.size()) + " bytes");
}

void BM_Parse(benchmark::State& state) {
  long target = state.range(0);
  const std::string& packet = Packet(target);
  double expat = ExpatMBps(target);
  size_t bytes = 0;
  auto start = Clock::now();
  for (auto _ : state) {
    SXMPMeta meta;
    meta.ParseFromBuffer(packet);
    benchmark::DoNotOptimize(meta.GetInternalRef());
    bytes += packet.size();
  }
  std::chrono::duration<double> elapsed = Clock::now() - start;
  Report(state, bytes, elapsed.count(), expat, "expat_MB/s");
  state.SetLabel(std::to_string(packet.size()) + " bytes");
}

void BM_Serialize(benchmark::State& state) {
  long target = state.range(0);
  const std::string& packet = Packet(target);
  SXMPMeta meta;
  meta.ParseFromBuffer(packet);
  double parse = MeasureMBps(packet.size(), [&] {
    SXMPMeta m;
    m.ParseFromBuffer(packet);
  });
  std::string out;
  size_t bytes = 0;
  auto start = Clock::now();
  for (auto _ : state) {
    meta.SerializeToBuffer(&out, kXMP_OmitPacketWrapper);
    benchmark::DoNotOptimize(out.data());
    bytes += out.size();
  }
  std::chrono::duration<double> elapsed = Clock::now() - start;
  Report(state, bytes, elapsed.count(), parse, "parse_MB/s");
  state.SetLabel(std::to_string(out.size()) + " bytes");
}

}  // namespace

// Arguments: packet size in bytes; -50000 is the wide packet of 50000 properties.
BENCHMARK(BM_ExpatRaw)->Arg(1 << 10)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Arg(-50000);
BENCHMARK(BM_Parse)->Arg(1 << 10)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Arg(-50000);
BENCHMARK(BM_Serialize)->Arg(1 << 10)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20);
