#pragma once

// XMP in HEIF-family files (HEIC, HEIF, AVIF and their image sequences). The packet is an
// item of type 'mime' with content type "application/rdf+xml" in the file-level 'meta' box,
// its bytes found through 'iloc' in the file or in 'idat', in one or several extents.
//
// Writing never moves media data: a packet that fits the item's bytes goes there; otherwise
// it goes into a new 'mdat' box (in free space or at the end of the file, io/FreeSpace.h)
// and the item's 'iloc' entry is pointed at it, rewritten in place when its size allows or
// else by a new 'meta' box placed the same way. Adding XMP adds the item's 'infe', 'iloc'
// and "content describes" reference to the primary image. The old packet's bytes are blanked,
// or its box retired, once nothing points at them.

#include <optional>

#include "FileHandler.h"
#include "io/Storage.h"

namespace xmpfiles::heif {

// The largest packet, and the largest 'meta' box, we read or write: far above real ones.
constexpr std::uint64_t kMaxPacketSize = 64ull << 20;
constexpr std::uint64_t kMaxMetaSize = 64ull << 20;

// Reads the packet: nullopt when the file has no 'meta' box or no XMP item; FileError (bad
// format) when the boxes on the way to it or its location are broken. With several XMP items
// the first is read (a warning says so). A compressed item is reported as unreadable.
std::optional<FoundPacket> ReadXmp(Storage& file);

// Stores the packet as described above. A failure leaves the file as it was. FileError:
// bad format for damaged top-level boxes or item boxes, unsupported for a file without a
// file-level 'meta' box (an image sequence without still images) or whose XMP item lives in
// another file or is built from other items.
void WriteXmp(Storage& file, const PacketText& packet);

}  // namespace xmpfiles::heif
