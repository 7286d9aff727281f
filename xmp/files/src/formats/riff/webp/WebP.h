#pragma once

// XMP in WebP images. A WebP file is a RIFF form of type WEBP: a simple file holds one VP8
// (lossy) or VP8L (lossless) bitstream chunk; an extended file starts with a VP8X chunk whose
// flags announce the optional chunks (ICC profile, alpha, EXIF, XMP, animation) and whose
// canvas size covers the image. The XMP packet is the payload of an 'XMP ' chunk, which
// follows the image data and any EXIF chunk.
//
// Writing keeps every other chunk byte for byte and in its order. A packet that fits the old
// chunk is written in place (and the VP8X XMP flag set when it was missing); otherwise the
// file is rewritten through a temporary file: a simple file gains a VP8X chunk (canvas size
// and alpha taken from the bitstream header), the VP8X XMP flag is set, the new 'XMP ' chunk
// takes the place of the old one (or follows the image data and EXIF), other copies are
// dropped, and the RIFF size and chunk padding are made right.

#include <cstdint>
#include <optional>
#include <span>

#include "FileHandler.h"
#include "io/Storage.h"

namespace xmpfiles::webp {

inline constexpr std::uint32_t kFormWebP = FourCC("WEBP");

// True when `head` starts a RIFF file of form type WEBP.
bool Detect(std::span<const std::uint8_t> head);

// The packet of the first 'XMP ' chunk (a warning when there are more), nullopt when there is
// none. Throws FileError (bad format) when the file is not a WebP file or the chunk is larger
// than any packet; chunks after damage are not seen.
std::optional<FoundPacket> ReadXmp(Storage& file);

// Stores the packet (see above). Throws FileError: kBadFormat for a damaged file (chunk sizes
// past the end, an unreadable bitstream header where a canvas size is needed, a first chunk
// that is not VP8X, VP8 or VP8L), kUnsupported when the file would grow past the largest
// RIFF size, kBadParam for a packet larger than any chunk may hold. A failed write leaves the
// file as it was.
void WriteXmp(Storage& file, const PacketText& packet);

}  // namespace xmpfiles::webp
