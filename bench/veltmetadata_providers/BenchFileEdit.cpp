// A FileProvider edit of a 2 GB sparse MP4, media data at the front (ftyp mdat moov uuid)
// or at the back (ftyp moov uuid mdat). The edit must write the metadata only: under 1 MB,
// counted by /proc/self/io (wchar: bytes handed to write calls), next to the bare toolkit
// update (open for update, PutXMP, CloseFile) and to a full copy, which writes the whole
// file (its size is given, not measured, to spare the shared disk 2 GB of writes).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "veltmetadata/Assertions.h"
#include "veltmetadata/FileProvider.h"
#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"
#include "xmp/SXMPFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace veltmetadata;

constexpr std::uint64_t kMediaBytes = 2ull << 30;
constexpr int kChunks = 2000;

void U32(std::string& out, std::uint64_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::string Box(const char* type, const std::string& payload) {
  std::string box;
  U32(box, 8 + payload.size());
  box += type;
  return box + payload;
}

std::string Moov(std::uint64_t mdatData) {
  std::string stco(4, '\0');
  U32(stco, kChunks);
  for (int i = 0; i < kChunks; ++i)
    U32(stco, mdatData + std::uint64_t(i) * (kMediaBytes / kChunks));
  return Box("moov", Box("trak", Box("mdia", Box("minf", Box("stbl", Box("stco", stco))))));
}

std::string XmpBox(const std::string& title) {
  const std::string packet =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta "
      "xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
      "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>"
      "<rdf:Alt><rdf:li xml:lang=\"x-default\">" +
      title +
      "</rdf:li></rdf:Alt></dc:title>"
      "</rdf:Description></rdf:RDF></x:xmpmeta>" +
      std::string(2000, ' ') + "<?xpacket end=\"w\"?>";
  const unsigned char uuid[16] = {0xBE, 0x7A, 0xCF, 0xCB, 0x97, 0xA9, 0x42, 0xE8,
                                  0x9C, 0x71, 0x99, 0x94, 0x91, 0xE3, 0xAF, 0xAC};
  return Box("uuid", std::string(reinterpret_cast<const char*>(uuid), 16) + packet);
}

void Put(int fd, std::uint64_t offset, const std::string& bytes) {
  if (::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
      static_cast<ssize_t>(bytes.size())) {
    std::abort();
  }
}

// The sparse movie: the media data is a hole, so making it is instant.
void MakeMovie(const fs::path& path, bool mediaFirst) {
  const std::string ftyp = Box("ftyp", std::string("isom\0\0\2\0isommp41", 16));
  const std::string uuid = XmpBox("Sparse movie");
  std::string mdat;
  U32(mdat, 1);
  mdat += "mdat";
  U32(mdat, 0);
  U32(mdat, 16 + kMediaBytes);  // 64-bit size: 16-byte header
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) std::abort();
  Put(fd, 0, ftyp);
  if (mediaFirst) {
    const std::uint64_t moovAt = ftyp.size() + 16 + kMediaBytes;
    Put(fd, ftyp.size(), mdat);
    const std::string moov = Moov(ftyp.size() + 16);
    Put(fd, moovAt, moov);
    Put(fd, moovAt + moov.size(), uuid);
  } else {
    const std::uint64_t mdatAt = ftyp.size() + Moov(0).size() + uuid.size();
    const std::string moov = Moov(mdatAt + 16);
    Put(fd, ftyp.size(), moov);
    Put(fd, ftyp.size() + moov.size(), uuid);
    Put(fd, mdatAt, mdat);
    if (::ftruncate(fd, static_cast<off_t>(mdatAt + 16 + kMediaBytes)) != 0) std::abort();
  }
  ::close(fd);
}

// Bytes this process has handed to write calls so far.
std::uint64_t WrittenSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "wchar:") return value;
  }
  return 0;
}

fs::path MoviePath(bool mediaFirst) {
  const char* tmp = std::getenv("TMPDIR");
  return fs::path(tmp ? tmp : "/tmp") / ("bench_providers_" + std::to_string(::getpid()) +
                                         (mediaFirst ? "_front.mp4" : "_back.mp4"));
}

void Start() {
  static const bool started = [] {
    SetAssertionHandler([](const AssertionReport& report) {
      std::fprintf(stderr, "assertion: %s %s\n", report.mFunction.c_str(), report.mMessage.c_str());
    });
    Initialize();
    return true;
  }();
  (void)started;
}

// range(0): 0 media at the front, 1 at the back; range(1): 0 FileProvider, 1 bare toolkit.
void BM_EditSparseMovie(benchmark::State& state) {
  Start();
  const bool mediaFirst = state.range(0) == 0;
  const bool bare = state.range(1) != 0;
  const fs::path movie = MoviePath(mediaFirst);
  MakeMovie(movie, mediaFirst);
  const Path title =
      PathForSchemaNameAndPropertyName(std::string(kXMP_NS_DC), std::string("title"));
  std::uint64_t written = 0;
  int round = 0;
  for (auto _ : state) {
    const std::string value = "Edited " + std::to_string(++round);
    const std::uint64_t before = WrittenSoFar();
    if (bare) {
      SXMPFiles file(movie.string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
      SXMPMeta meta;
      file.GetXMP(&meta);
      meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", value);
      file.PutXMP(meta);
      file.CloseFile();
    } else {
      auto provider = std::make_shared<FileProvider>(movie.u16string());
      MetaDataUpdateAccess access(provider);
      if (SetValue(*access, title, value)) access.AddChange(title);
    }
    written = WrittenSoFar() - before;
  }
  const double size = static_cast<double>(fs::file_size(movie));
  fs::remove(movie);
  state.counters["bytes_written"] = static_cast<double>(written);
  state.counters["written_of_1MB_target"] = static_cast<double>(written) / (1 << 20);
  state.counters["full_copy_bytes"] = size;
  state.counters["written_of_full_copy"] = static_cast<double>(written) / size;
  state.SetLabel(std::string(mediaFirst ? "media at the front" : "media at the back") +
                 (bare ? ", bare SXMPFiles update" : ", FileProvider edit"));
}

BENCHMARK(BM_EditSparseMovie)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
