#pragma once

// Box-level access to ISO base media and QuickTime files: reading box headers (32-bit,
// 64-bit and "to the end of the file" sizes), listing the children of a container with
// checked sizes and a cap on their number, and writing box headers.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "FileHandler.h"
#include "io/Storage.h"
#include "io/WriteJournal.h"

namespace xmpfiles::iso {

// The type as printable text for messages ("moov", or "0x00A9..." for odd bytes).
std::string TypeName(std::uint32_t type);

constexpr std::uint32_t kFtyp = FourCC("ftyp");
constexpr std::uint32_t kMoov = FourCC("moov");
constexpr std::uint32_t kMdat = FourCC("mdat");
constexpr std::uint32_t kUdta = FourCC("udta");
constexpr std::uint32_t kXmpBox = FourCC("XMP_");
constexpr std::uint32_t kUuid = FourCC("uuid");
constexpr std::uint32_t kFree = FourCC("free");
constexpr std::uint32_t kSkip = FourCC("skip");
constexpr std::uint32_t kWide = FourCC("wide");
constexpr std::uint32_t kMoof = FourCC("moof");
constexpr std::uint32_t kTrak = FourCC("trak");
constexpr std::uint32_t kMdia = FourCC("mdia");
constexpr std::uint32_t kMinf = FourCC("minf");
constexpr std::uint32_t kStbl = FourCC("stbl");
constexpr std::uint32_t kStco = FourCC("stco");
constexpr std::uint32_t kCo64 = FourCC("co64");

// The user type of the top-level uuid box that holds XMP in ISO files.
extern const std::array<std::uint8_t, 16> kXmpUuid;

// Most boxes accepted in one container; more means a damaged or hostile file.
constexpr std::size_t kMaxBoxesPerContainer = 200000;

struct Box {
  std::uint64_t mOffset = 0;      // first byte of the header
  std::uint64_t mSize = 0;        // whole box, header included
  std::uint32_t mHeaderSize = 0;  // 8, 16 (64-bit size), +16 for a uuid box's user type
  std::uint32_t mType = 0;
  bool mToEnd = false;      // the size field was 0: the box runs to its container's end
  bool mLargeSize = false;  // the header holds a 64-bit size
  std::array<std::uint8_t, 16> mUserType{};

  std::uint64_t DataOffset() const { return mOffset + mHeaderSize; }
  std::uint64_t DataSize() const { return mSize - mHeaderSize; }
  std::uint64_t End() const { return mOffset + mSize; }
  bool IsXmpUuid() const { return mType == kUuid && mUserType == kXmpUuid; }
  bool IsFree() const { return mType == kFree || mType == kSkip; }
};

// Reads the header of the box at `offset`, which must end by `limit` (its container's end).
// Throws FileError (bad format) with the box type and the sizes when the header or the size
// it claims does not fit.
Box ReadBox(Storage& storage, std::uint64_t offset, std::uint64_t limit);

// The children of the container bytes [begin, end).
struct BoxList {
  std::vector<Box> mBoxes;
  // Empty when the whole range was parsed; otherwise why listing stopped (a box whose size
  // lies, a truncated header). Boxes before the damage are in `boxes`.
  std::string mDamage;
};
// Lists the boxes in [begin, end). Never throws for bad structure: damage is reported in
// the result. Throws FileError for more than kMaxBoxesPerContainer boxes.
BoxList ListBoxes(Storage& storage, std::uint64_t begin, std::uint64_t end);

// Same, over a container held in memory (offsets are relative to `data`).
BoxList ListBoxes(const std::uint8_t* data, std::size_t size);

// Appends a box header for a box of `totalSize` bytes (header included). Uses a 64-bit
// size when needed; `userType` is written for uuid boxes.
void AppendBoxHeader(Bytes& out, std::uint32_t type, std::uint64_t totalSize,
                     const std::array<std::uint8_t, 16>* userType = nullptr);
// Whether a box header carries the 16-byte user type of a uuid box.
enum class UserType { kNone, kUuid };
// Header length a box of `payload` bytes needs.
std::uint32_t HeaderSizeFor(std::uint64_t payload, UserType userType);

// Gives a last box that runs to the end of the file (size field 0) its real size, through
// `journal`, so that boxes can follow it. False when its size needs a 64-bit header it does
// not have.
bool EndLastBox(WriteJournal& journal, const std::vector<Box>& boxes);

}  // namespace xmpfiles::iso
