#pragma once

// XMP in MP3 files: the payload of an ID3v2 PRIV frame whose owner is "XMP". Versions 2.3
// and 2.4 are read and written (2.2 has no PRIV frame: read as "no XMP", not written).
// Writing keeps the audio where it is whenever the tag (with its padding) has room; only a
// file without a tag, or with a tag too small, is rewritten, safely, through a temporary
// file, with padding left for the next edit.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FileHandler.h"
#include "io/Storage.h"

namespace xmpfiles::mpeg {

// The largest packet we read or write.
inline constexpr std::uint64_t kMaxPacketSize = 64ull << 20;
// Padding a rewritten tag gets, so that the next edits fit in place.
inline constexpr std::size_t kNewTagPadding = 2048;

// True when `head` starts with an ID3v2 tag, or (for files named .mp3) with an MPEG audio
// frame header.
bool LooksLikeMp3(std::span<const std::uint8_t> head, std::string_view extension);

// Decodes a 28-bit synchsafe integer (four bytes of seven bits); nullopt when a byte has its
// top bit set.
std::optional<std::uint32_t> DecodeSynchsafe(const std::uint8_t* p);
void EncodeSynchsafe(std::uint8_t* p, std::uint32_t value);

// The packet of the first PRIV frame owned by "XMP", nullopt when there is none.
std::optional<FoundPacket> ReadXmp(Storage& file);

// Stores the packet, replacing the old XMP frame. Throws FileError: kBadFormat for a tag too
// damaged to rewrite, kUnsupported for ID3v2.2 tags.
void WriteXmp(Storage& file, const PacketText& packet);

}  // namespace xmpfiles::mpeg
