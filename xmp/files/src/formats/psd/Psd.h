#pragma once

// XMP in Photoshop documents (PSD, and PSB, the large document format): the packet is the
// data of image resource 0x0424 in the image resources section. A file is a 26-byte header
// ("8BPS", version 1 for PSD or 2 for PSB), then three length-prefixed sections (colour mode
// data, image resources, layer and mask information) and the image data to the end. Each
// image resource is a block: signature ("8BIM"), 16-bit id, Pascal name padded to an even
// length, 32-bit data length, data padded to an even length. All fields are big-endian.
//
// Writing touches only the image resources section: the packet is written in place when it
// fits the old resource exactly; otherwise the file is rewritten through a temporary file
// with the header, the colour mode data, every other resource and the layer and image data
// copied through byte for byte.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "FileHandler.h"
#include "io/Storage.h"

namespace xmpfiles::psd {

inline constexpr std::uint32_t kSignature = FourCC("8BPS");
inline constexpr std::uint16_t kVersionPsd = 1;
inline constexpr std::uint16_t kVersionPsb = 2;
inline constexpr std::size_t kHeaderSize = 26;
inline constexpr std::uint16_t kXmpResourceId = 0x0424;

// One image resource block as it lies in the file.
struct Resource {
  std::uint64_t mOffset = 0;      // of the signature
  std::uint64_t mDataOffset = 0;  // of the first data byte
  std::uint32_t mDataSize = 0;    // data bytes, pad byte excluded
  std::uint64_t mEnd = 0;         // after the pad byte (or the data when the pad is missing)
};

// Where the sections lie. Only the XMP resources are kept, since writing copies everything
// between them as it is.
struct Layout {
  std::uint16_t mVersion = 0;
  std::uint64_t mResourcesOffset = 0;  // of the image resources section's length field
  std::uint64_t mResourcesEnd = 0;     // after its last byte
  std::vector<Resource> mXmp;          // every resource 0x0424, in file order
  // The section's last resource ends without its pad byte (its data length is odd).
  bool mLastUnpadded = false;
  // Why the layer and mask section is broken, "" when its length fits the file.
  std::string mLayerDamage;
};

// True when `head` starts a PSD or PSB file.
bool IsPsd(std::span<const std::uint8_t> head);

// Parses the header and the image resources section. Throws FileError (bad format) naming
// the field whose length lies or the section that is cut short.
Layout Parse(Storage& file);

// The packet of the first XMP resource (a warning when there are more), nullopt when there
// is none.
std::optional<FoundPacket> ReadXmp(Storage& file);

// Stores the packet (see above). Throws FileError: kBadFormat for a damaged file (nothing
// written), kBadParam for a packet too large for the section's 32-bit length.
void WriteXmp(Storage& file, const PacketText& packet);

}  // namespace xmpfiles::psd
