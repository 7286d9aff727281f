// The display read of every leaf of a realistic packet (about 300 properties of the built-in
// schemas: bags, seqs, alt-texts, dates, rationals, GPS coordinates, structures and arrays of
// structures), next to the parse of that same packet. Prints both times and their ratio
// against the target of at most 2.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPMeta.h"

namespace {

using namespace veltmetadata;

constexpr double kTargetRatio = 2.0;
constexpr std::size_t kProperties = 300;

// Empty custom folders, so that only the built-in definitions are loaded.
void UseEmptyFolders() {
  const auto path = std::filesystem::temp_directory_path() /
                    ("velt-bench-values-" + std::to_string(::getpid()));
  std::filesystem::create_directories(path / "prefs");
  std::filesystem::create_directories(path / "system");
  ::setenv("VELTCORE_PREFS_DIR", (path / "prefs").c_str(), 1);
  ::setenv("VELTCORE_SYSTEM_DIR", (path / "system").c_str(), 1);
}

// A plausible stored text for a simple node.
std::string SampleText(const Path& path, const EntryDefinition& def, std::size_t n) {
  const std::string type = def.mType.value_or("text");
  if (type == "date") return "2026-12-05T15:04:05+02:00";
  if (type == "rational") return "1/250";
  if (type == "gpscoordinate") return "37,48.6N";
  if (!def.mChoices.empty()) return def.mChoices.front()->mRawValue;
  switch (PrimitiveTypeOfPath(path).value_or(kPrimitiveType_Text)) {
    case kPrimitiveType_Integer:
    case kPrimitiveType_ClosedChoice:
      return std::to_string(n % 9 + 1);
    case kPrimitiveType_Real:
      return "1.5";
    case kPrimitiveType_Boolean:
      return "True";
    case kPrimitiveType_Bag:
    case kPrimitiveType_Seq:
      return "first item; second item; \"third; quoted\"";
    default:
      return "Sample text " + std::to_string(n);
  }
}

// Stores sample values at `path` and below; every node that received a value is a leaf.
void Fill(SXMPMeta& meta, const Path& path, int depth, std::vector<Path>& leaves) {
  const auto def = PathEntryDefinition(path);
  if (!def) return;
  const auto type = TypeEntryDefinition(path);
  const auto pt = PrimitiveTypeOfPath(path);
  __XMPMeta__* handle = meta.GetInternalRef();
  if (type && !type->mFields.empty()) {
    if (depth > 2) return;
    Path container = path;
    if (IsPathAnArray(path, true)) {  // an array of structures: fill two items
      AddArrayItem(handle, path, -1);
      AddArrayItem(handle, path, -1);
      for (int i = 1; i <= 2; ++i) {
        const Path item = CreatePathFromArrayItem(path, i);
        for (const auto& field : type->mFields) {
          Fill(meta, CreatePathFromStructureField(item, field), depth + 1, leaves);
        }
      }
      return;
    }
    for (const auto& field : type->mFields) {
      Fill(meta, CreatePathFromStructureField(container, field), depth + 1, leaves);
    }
    return;
  }
  if (!SetValue(handle, path, SampleText(path, *def, leaves.size()))) return;
  if (pt == kPrimitiveType_Alt) {
    meta.SetLocalizedText(path.mNamespace, path.mPathDescription, "", "de", "Beispieltext");
  }
  leaves.push_back(path);
}

struct Sample {
  std::string mPacket;
  std::vector<Path> mLeaves;
};

Sample MakeSample() {
  SXMPMeta meta;
  Sample sample;
  std::size_t properties = 0;
  for (const char* prefix : {"dc", "xmp", "xmpRights", "exif", "tiff", "aux", "exifEX",
                             "photoshop", "Iptc4xmpCore", "Iptc4xmpExt", "xmpMM", "plus"}) {
    std::string ns;
    if (!SXMPMeta::GetNamespaceURI(prefix, &ns)) continue;
    const auto schema = NamespaceDefinition(ns);
    if (!schema) continue;
    for (const auto& property : schema->mProperties) {
      if (properties == kProperties) break;
      const std::size_t before = sample.mLeaves.size();
      Fill(meta, CreatePathFromSchemaProperty(schema, property), 0, sample.mLeaves);
      if (sample.mLeaves.size() > before) ++properties;
    }
  }
  meta.SerializeToBuffer(&sample.mPacket);
  return sample;
}

void BM_DisplayReadEveryLeaf(benchmark::State& state) {
  UseEmptyFolders();
  Initialize();
  const Sample sample = MakeSample();
  SXMPMeta parsed;
  parsed.ParseFromBuffer(sample.mPacket);
  std::size_t read = 0;
  double parseSeconds = 0;
  double readSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    SXMPMeta meta;
    meta.ParseFromBuffer(sample.mPacket);
    const auto parsedAt = std::chrono::steady_clock::now();
    read = 0;
    UTF8String text;
    for (const Path& leaf : sample.mLeaves) read += GetValue(parsed.GetInternalRef(), leaf, text);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(text);
    parseSeconds += std::chrono::duration<double>(parsedAt - start).count();
    readSeconds += std::chrono::duration<double>(end - parsedAt).count();
    state.SetIterationTime(std::chrono::duration<double>(end - parsedAt).count());
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["leaves"] = static_cast<double>(sample.mLeaves.size());
  state.counters["leaves_read"] = static_cast<double>(read);
  state.counters["packet_bytes"] = static_cast<double>(sample.mPacket.size());
  state.counters["parse_us"] = parseSeconds / iterations * 1e6;
  state.counters["reads_us"] = readSeconds / iterations * 1e6;
  state.counters["ratio"] = readSeconds / parseSeconds;
  state.counters["target_ratio"] = kTargetRatio;
  Terminate();
}

}  // namespace

BENCHMARK(BM_DisplayReadEveryLeaf)->UseManualTime()->Unit(benchmark::kMicrosecond);
