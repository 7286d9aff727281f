#pragma once

// The item boxes of a HEIF 'meta' box: item information ('iinf' with its 'infe' entries),
// item locations ('iloc', every version and field size) and item references ('iref'), parsed
// from bytes held in memory and written back.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FileHandler.h"
#include "io/Storage.h"

namespace xmpfiles::heif {

constexpr std::uint32_t kMeta = FourCC("meta");
constexpr std::uint32_t kIinf = FourCC("iinf");
constexpr std::uint32_t kInfe = FourCC("infe");
constexpr std::uint32_t kIloc = FourCC("iloc");
constexpr std::uint32_t kIdat = FourCC("idat");
constexpr std::uint32_t kIref = FourCC("iref");
constexpr std::uint32_t kPitm = FourCC("pitm");
constexpr std::uint32_t kMime = FourCC("mime");
constexpr std::uint32_t kCdsc = FourCC("cdsc");  // "content describes" item reference

// The content type of an XMP item.
inline constexpr std::string_view kXmpContentType = "application/rdf+xml";

// Size of a full box's version and flags.
constexpr std::size_t kFullBoxHeader = 4;

// One item of 'iinf'.
struct ItemInfo {
  std::uint32_t mId = 0;
  std::uint32_t mType = 0;  // 'mime' for entries of version 0 and 1, which have no type
  std::string mContentType;
  std::string mContentEncoding;
};

// The entries of an 'iinf' payload (version and flags included). FileError (bad format) for
// a truncated entry or an item id listed twice.
std::vector<ItemInfo> ParseItemInfos(std::span<const std::uint8_t> payload);

// An 'iinf' payload with one more entry: a hidden item of type 'mime' holding XMP.
Bytes AddXmpItemInfo(std::span<const std::uint8_t> payload, std::uint32_t id);

// Where an item's bytes are.
enum class Construction : std::uint8_t { kFile = 0, kIdat = 1, kItem = 2 };

struct Extent {
  std::uint64_t mIndex = 0;
  std::uint64_t mOffset = 0;
  std::uint64_t mLength = 0;  // 0: to the end of the file or of 'idat'
};

struct ItemLocation {
  std::uint32_t mId = 0;
  Construction mMethod = Construction::kFile;
  std::uint16_t mDataReference = 0;  // 0: this file
  std::uint64_t mBaseOffset = 0;
  std::vector<Extent> mExtents;
};

// An 'iloc' box: its version, its field sizes (0, 4 or 8 bytes) and its entries.
struct ItemLocations {
  std::uint8_t mVersion = 0;
  std::uint8_t mOffsetSize = 4;
  std::uint8_t mLengthSize = 4;
  std::uint8_t mBaseOffsetSize = 0;
  std::uint8_t mIndexSize = 0;
  std::vector<ItemLocation> mItems;

  ItemLocation* Find(std::uint32_t id);
  const ItemLocation* Find(std::uint32_t id) const;
};

// Parses an 'iloc' payload (version and flags included). FileError (bad format) for an
// unknown version or field size, a truncated entry or an item id listed twice.
ItemLocations ParseItemLocations(std::span<const std::uint8_t> payload);

// The whole 'iloc' box, header included, with the sizes and version given. nullopt when a
// value does not fit its field.
std::optional<Bytes> SerializeItemLocations(const ItemLocations& locations);

// The same locations with field sizes and version widened where the values need it.
ItemLocations Widened(ItemLocations locations);

// An 'iref' payload with one more "content describes" reference from `from` to `to`; an
// empty payload makes a new one. nullopt when the ids do not fit its version.
std::optional<Bytes> AddDescribesReference(std::span<const std::uint8_t> payload,
                                           std::uint32_t from, std::uint32_t to);

}  // namespace xmpfiles::heif
