#pragma once

// XMP in RIFF files (WAV audio, AVI video): the packet is the payload of a top-level '_PMX'
// chunk of the first RIFF form. Chunks are little-endian, padded to an even length.
// Writing keeps the media chunks where they are: the packet is written in place when it
// fits; else a new '_PMX' chunk goes into JUNK space or at the end of the form by the
// ordered update of io/FreeSpace.h (the old one becomes JUNK), the RIFF size kept right.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FileHandler.h"
#include "io/Storage.h"

namespace xmpfiles::riff {

inline constexpr std::uint32_t kFormWave = FourCC("WAVE");
inline constexpr std::uint32_t kFormAvi = FourCC("AVI ");
// Most chunks accepted at the top level of a form.
inline constexpr std::size_t kMaxChunks = 200000;
// The largest packet we read or write.
inline constexpr std::uint64_t kMaxPacketSize = 64ull << 20;

struct Chunk {
  std::uint64_t mOffset = 0;  // first byte of the 8-byte header
  std::uint32_t mId = 0;      // big-endian four-character code, as for FourCC()
  std::uint32_t mSize = 0;    // payload bytes, pad byte excluded
  std::uint64_t DataOffset() const { return mOffset + 8; }
  std::uint64_t End() const { return mOffset + 8 + mSize + (mSize & 1); }
};

struct Layout {
  std::uint32_t mForm = 0;
  std::uint64_t mFormEnd = 0;  // 8 + the RIFF size (clamped to the file when reading)
  std::vector<Chunk> mChunks;
  std::string mDamage;  // why listing stopped early, "" when the form was parsed whole
};

// The form type (WAVE or AVI) when `head` starts a RIFF file we handle.
std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head);

// Lists the top-level chunks of the first form. `strict` throws FileError (bad format) for
// any damage; otherwise listing stops at the damage, which is recorded.
Layout Scan(Storage& file, bool strict);

// The packet of the first '_PMX' chunk (a warning when there are more), nullopt when there
// is none.
std::optional<FoundPacket> ReadXmp(Storage& file);

// Stores the packet (see above). Throws FileError: kBadFormat for a damaged form,
// kUnsupported when the packet could only be placed by moving media (a form followed by
// more data, such as the extension forms of a large AVI, with no room inside).
void WriteXmp(Storage& file, const PacketText& packet);

}  // namespace xmpfiles::riff
