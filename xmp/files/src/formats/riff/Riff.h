#pragma once

// Chunk containers: RIFF (WAV audio, AVI video, WebP images; little-endian sizes, JUNK free
// chunks) and IFF (AIFF / AIFF-C audio; big-endian sizes, filler chunks). A file is one
// form: an 8-byte header (magic, size of what follows), the form type, then chunks of an
// 8-byte header (id, payload size) and a payload padded to an even length.
//
// The XMP is the payload of one top-level chunk of the first form ('_PMX' in RIFF; in AIFF
// an 'APPL' chunk whose payload starts with the application signature 'XMP '). Writing keeps
// the media chunks where they are: the packet is written in place when it fits; else a new
// XMP chunk goes into free space or at the end of the form by the ordered update of
// io/FreeSpace.h (the old one becomes free space), the form size kept right.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FileHandler.h"
#include "io/Endian.h"
#include "io/Storage.h"

namespace xmpfiles::riff {

inline constexpr std::uint32_t kFormWave = FourCC("WAVE");
inline constexpr std::uint32_t kFormAvi = FourCC("AVI ");
// Most chunks accepted at the top level of a form.
inline constexpr std::size_t kMaxChunks = 200000;
// The largest packet we read or write.
inline constexpr std::uint64_t kMaxPacketSize = 64ull << 20;
// Magic, form size and form type.
inline constexpr std::size_t kFormHeaderSize = 12;
// Chunk id and payload size.
inline constexpr std::size_t kChunkHeaderSize = 8;

// How a family of chunk containers frames its chunks.
struct Dialect {
  std::uint32_t mMagic = 0;          // "RIFF" or "FORM"
  Endian mEndian = Endian::kLittle;  // of the size fields; ids are always read as FourCC()
  std::uint32_t mFreeId = 0;         // the id of the free chunks we write
  std::uint32_t mOtherFreeId = 0;    // another id read as free space, 0 when none
  std::uint64_t mMaxSize = 0;        // the largest value a size field may hold
  bool IsFree(std::uint32_t id) const {
    return id == mFreeId || (mOtherFreeId != 0 && id == mOtherFreeId);
  }
};
inline constexpr Dialect kRiffDialect{FourCC("RIFF"), Endian::kLittle, FourCC("JUNK"), 0,
                                      0xFFFFFFFFull};
// IFF's filler chunk is four spaces; Apple's audio tools write 'FLLR' for the same purpose.
// AIFF sizes are signed 32-bit numbers.
inline constexpr Dialect kIffDialect{FourCC("FORM"), Endian::kBig, FourCC("    "), FourCC("FLLR"),
                                     0x7FFFFFFFull};

struct Chunk {
  std::uint64_t mOffset = 0;  // first byte of the 8-byte header
  std::uint32_t mId = 0;      // big-endian four-character code, as for FourCC()
  std::uint32_t mSize = 0;    // payload bytes, pad byte excluded
  std::uint64_t DataOffset() const { return mOffset + kChunkHeaderSize; }
  std::uint64_t End() const { return mOffset + kChunkHeaderSize + mSize + (mSize & 1); }
};

struct Layout {
  std::uint32_t mForm = 0;
  // 8 + the form size (clamped to the file when reading; a pad byte the size leaves out
  // counted in)
  std::uint64_t mFormEnd = 0;
  std::vector<Chunk> mChunks;
  std::string mDamage;  // why listing stopped early, "" when the form was parsed whole
};

// What a format is made of: its dialect, the form types it handles, and its XMP chunk.
struct ChunkFormat {
  Dialect mDialect;
  std::span<const std::uint32_t> mForms;  // accepted form types; empty: any
  std::uint32_t mXmpId = 0;               // id of the XMP chunk
  std::uint32_t mXmpSignature = 0;        // first four payload bytes marking XMP, 0 when none
  const char* mName = "";                 // for messages: "RIFF WAVE or AVI"
};

// The form type (WAVE or AVI) when `head` starts a RIFF file we handle.
std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head);
// The form type when `head` starts a form of `format`.
std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head,
                                        const ChunkFormat& format);

// Lists the top-level chunks of the first RIFF WAVE or AVI form. `strict` throws FileError
// (bad format) for any damage; otherwise listing stops at the damage, which is recorded.
Layout Scan(Storage& file, bool strict);
// The same for a form of `format`; throws FileError (bad format) when the file is not one.
Layout Scan(Storage& file, const ChunkFormat& format, bool strict);

// The index of the first chunk with `id` at or after `from`, nullopt when there is none.
std::optional<std::size_t> FindChunk(const Layout& layout, std::uint32_t id, std::size_t from = 0);

// The same listing for a RIFF file of form type `form` (any four-character code, such as
// WEBP); FileError (bad format) when the file is not a RIFF file of that form.
Layout ScanForm(Storage& file, std::uint32_t form, bool strict);

// The packet of the first '_PMX' chunk (a warning when there are more), nullopt when there
// is none.
std::optional<FoundPacket> ReadXmp(Storage& file);
// The packet of the first XMP chunk of `format` (a warning when there are more), nullopt
// when there is none. Throws FileError (bad format) when the file is not of the format.
std::optional<FoundPacket> ReadXmp(Storage& file, const ChunkFormat& format);

// Stores the packet (see above), leaving one XMP chunk. Throws FileError: kBadFormat for a
// damaged form, kUnsupported when the packet could only be placed by moving media (a form
// followed by more data, such as the extension forms of a large AVI, with no room inside).
void WriteXmp(Storage& file, const PacketText& packet);
void WriteXmp(Storage& file, const ChunkFormat& format, const PacketText& packet);

}  // namespace xmpfiles::riff
