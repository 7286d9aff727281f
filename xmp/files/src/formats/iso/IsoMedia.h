#pragma once

// XMP in ISO base media files (MP4, M4V, M4A, 3GP) and QuickTime movies. ISO files keep the
// packet in a top-level 'uuid' box with the XMP user type; QuickTime movies keep it in
// moov/udta/XMP_. Reading looks in both places (the one that fits the file's brand first);
// writing uses the place that fits the brand and never moves media data unless the file
// leaves no other way, in which case the whole file is rewritten safely with its chunk
// offsets (stco/co64) moved along.

#include <cstdint>
#include <optional>
#include <span>

#include "FileHandler.h"
#include "formats/iso/IsoBoxes.h"
#include "io/Storage.h"

namespace xmpfiles::iso {

enum class Flavor { kIso, kQuickTime };

// The flavor of a file from its first bytes: an 'ftyp' box with a brand (major brand "qt  "
// means QuickTime), or, for old QuickTime movies without 'ftyp', a first box of a type such
// movies start with. nullopt when the bytes are not an ISO or QuickTime file we handle
// (ISO-based still image formats such as HEIF or AVIF are left to others).
std::optional<Flavor> DetectFlavor(std::span<const std::uint8_t> head, std::uint64_t fileSize);

// The largest packet we read or write, far above any real one.
constexpr std::uint64_t kMaxPacketSize = 64ull << 20;

// Reads the packet. nullopt when the file holds none; FileError when the box holding it is
// broken. With XMP in both places, the one that fits the brand is read (a warning says so);
// with several XMP 'uuid' boxes, the first.
std::optional<FoundPacket> ReadXmp(Storage& file);

struct WriteOptions {
  // Rewrites the whole file even when the packet could be placed without moving anything
  // (tests use it to exercise the chunk offset update).
  bool mForceRewrite = false;
};

// Stores `packet` in the place that fits the file's brand, replacing the old packet there
// (in place when it fits, else by the ordered update of io/FreeSpace.h) and retiring a packet
// in the other place and any second copy an interrupted update left (they become free
// space). A failure leaves the file as it was. Throws FileError
// (kBadFormat) for files whose top-level structure is damaged, and (kUnsupported) when the
// packet could only be placed by moving the media of a fragmented file.
void WriteXmp(Storage& file, const PacketText& packet, const WriteOptions& options = {});

}  // namespace xmpfiles::iso
