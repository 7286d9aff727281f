#pragma once

// Helpers of the audio/video handler tests: packets, independent readers (ExifTool for the
// XMP, ffmpeg for the media), and file snapshots for checking that nothing else changed.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "FileHandler.h"
#include "io/Storage.h"

namespace avtest {

// A handler's packet reader and writer on a storage, e.g. AVTEST_CODEC(iso).
struct Codec {
  std::function<std::optional<xmpfiles::FoundPacket>(xmpfiles::Storage&)> read;
  std::function<void(xmpfiles::Storage&, const xmpfiles::PacketText&)> write;
  // The packet of `file` ("" when there is none); writes `packet` into `file`, returning the
  // bytes written.
  std::string Read(const std::filesystem::path& file) const;
  std::uint64_t Write(const std::filesystem::path& file, const std::string& packet) const;
};
#define AVTEST_CODEC(ns)                                                                    \
  ::avtest::Codec {                                                                         \
    [](::xmpfiles::Storage& s) { return ns::ReadXmp(s); },                                  \
        [](::xmpfiles::Storage& s, const ::xmpfiles::PacketText& p) { ns::WriteXmp(s, p); } \
  }

// A path quoted for the shell.
std::string Quote(const std::filesystem::path& p);

// A wrapped packet whose dc:title is `title`, with `padding` bytes of whitespace.
std::string MakePacket(const std::string& title, std::size_t padding = 100);

// Copies a sample of tests/data/xmp_files/<relative> to `dir`/<name> and returns the path.
std::filesystem::path CopySample(const std::filesystem::path& dir, const std::string& relative);

// What ExifTool reads from several files in one run (it is slow to start): for each file,
// its XMP dc:title and its first warning or error ("-" when there is none).
struct ExifToolView {
  std::string title;
  std::string warning;
};
std::vector<ExifToolView> ExifToolRead(const std::vector<std::filesystem::path>& files);
// ExifTool writes `title` as the file's XMP dc:title, in place.
void ExifToolSetTitle(const std::filesystem::path& file, const std::string& title);
// Every XMP dc:title ExifTool finds in the file (duplicates included), one a line.
std::string ExifToolTitles(const std::filesystem::path& file);
// ExifTool writes a title into a copy of `sample` which `codec` reads; our long title then
// replaces it with `media` (and `decode`, when given) unchanged, and ExifTool reads our title,
// once, with no warning it did not give before.
void ExifToolThenUs(const std::filesystem::path& dir, const std::string& sample, const Codec& codec,
                    const std::function<std::string(const std::filesystem::path&)>& media,
                    const std::function<std::string(const std::filesystem::path&)>& decode = {});

// The payload of every box or chunk of the given types, concatenated, read by a plain scan
// of the top level ("mdat" for movies, "data" / "movi" for RIFF): the media bytes a metadata
// edit must keep.
std::string IsoMediaBytes(const std::filesystem::path& file);

// The id and payload of every top-level chunk of the first RIFF form except '_PMX' and
// 'JUNK', concatenated, by a plain scan; and the form's size field.
std::string RiffMediaBytes(const std::filesystem::path& file);
std::string RiffChunkIds(const std::filesystem::path& file);
std::uint32_t RiffSize(const std::filesystem::path& file);

// The same for the first IFF form of an AIFF file (big-endian), skipping the XMP chunk
// ('APPL' starting with 'XMP ') and filler chunks; its chunk ids ("APPL:XMP " for an 'APPL'
// chunk with its signature).
std::string IffMediaBytes(const std::filesystem::path& file);
std::string IffChunkIds(const std::filesystem::path& file);
// The size field of the first form (RIFF or IFF).
std::uint32_t FormSize(const std::filesystem::path& file, bool bigEndian);
// A chunk of a RIFF or IFF form with its size and pad byte.
std::string FormChunk(const std::string& id, const std::string& payload, bool bigEndian);
// Appends chunks to the first form of `file` (dropping what follows the form), fixing its size.
void AppendToForm(const std::filesystem::path& file, const std::string& chunks, bool bigEndian);

// sox's decoded samples of an audio file, hashed.
std::string SoxHash(const std::filesystem::path& file);

// ffmpeg's per-packet hashes of every stream, read by stream copy: equal before and after a
// metadata edit when every media sample is still where the file says it is.
std::string MediaHashes(const std::filesystem::path& file);

// Runs `write` on a writable disk storage of `file`; returns the bytes it wrote.
std::uint64_t WithStorage(const std::filesystem::path& file,
                          const std::function<void(xmpfiles::Storage&)>& write);

// The handler under test, seen from a file on disk.
struct Handler {
  Codec codec;
  std::function<std::string(const std::filesystem::path&)> media;  // bytes a write must keep
  // Format-specific checks after stage 0 (new packet), 1 (grown past any padding) and 2
  // (shrunk: fits in place); sizes are the file's before the write and the bytes written.
  std::function<void(const std::filesystem::path&, int stage, std::uint64_t sizeBefore,
                     std::uint64_t written)>
      check;
};
// Writes the three stages into a copy of each sample, checking after each that the packet
// reads back and the media bytes are unchanged; then that ffmpeg (or `decode`, the format's
// own decoder giving a hash) reads the same media as before, and, in one ExifTool run, that
// ExifTool reads every title we wrote and warns about nothing it did not warn about in the
// original. `exiftool` replaces ExifToolRead for formats whose XMP ExifTool does not decode
// itself.
using ExifToolReader =
    std::function<std::vector<ExifToolView>(const std::vector<std::filesystem::path>&)>;
void RunStages(const std::filesystem::path& dir, const std::vector<std::string>& samples,
               const Handler& handler,
               const std::function<std::string(const std::filesystem::path&)>& decode = {},
               const ExifToolReader& exiftool = nullptr);
// The packets of the three stages.
std::string StagePacket(int stage);

// Runs `action` on every truncation of `bytes` and on copies with a 32-bit field overwritten
// at every 4-byte-aligned offset by each of a few hostile values; `action` must not crash.
void ForEachDamagedCopy(const std::string& bytes,
                        const std::function<void(const xmpfiles::Bytes&)>& action);
// ForEachDamagedCopy with `codec`: each copy is read (a packet or a FileError, of `kind` when
// given) and written: the new packet reads back, or the write fails leaving the bytes as they
// were. Returns how many copies read a packet.
int CheckDamagedCopies(const std::string& bytes, const Codec& codec,
                       std::optional<xmpfiles::ErrorKind> kind = std::nullopt);

// Makes each io point of `points` fail in turn (SetFailureHook): `write` must throw FileError
// and leave `file` byte for byte as it was.
void ExpectFailuresChangeNothing(const std::filesystem::path& file,
                                 std::initializer_list<const char*> points,
                                 const std::function<void()>& write);

// The warnings `body` raises.
std::vector<std::string> Warnings(const std::function<void()>& body);

}  // namespace avtest
