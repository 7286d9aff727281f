#include "formats/iso/IsoBoxes.h"

#include <cstring>
#include <functional>

#include "io/Endian.h"

namespace xmpfiles::iso {

const std::array<std::uint8_t, 16> kXmpUuid = {0xBE, 0x7A, 0xCF, 0xCB, 0x97, 0xA9, 0x42, 0xE8,
                                               0x9C, 0x71, 0x99, 0x94, 0x91, 0xE3, 0xAF, 0xAC};

std::string TypeName(std::uint32_t type) {
  std::string name;
  bool printable = true;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((type >> shift) & 0xFF);
    printable = printable && (c >= 0x20 && c < 0x7F);
    name += c;
  }
  if (printable) return name;
  static const char* kHex = "0123456789ABCDEF";
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    hex += kHex[(type >> shift) & 0xF];
  return hex;
}

namespace {

// Reads `size` bytes at `offset` of some source, returning false when they are not there.
using HeaderReader = std::function<bool(std::uint64_t offset, std::uint8_t* out, std::size_t size)>;

// Parses one box header at `offset` within [offset, limit); returns an error text or "".
std::string ParseBox(const HeaderReader& read, std::uint64_t offset, std::uint64_t limit,
                     Box& box) {
  const std::uint64_t room = limit - offset;  // callers guarantee offset < limit
  std::uint8_t head[16];
  if (room < 8 || !read(offset, head, 8)) {
    return "box header at offset " + std::to_string(offset) + " needs 8 bytes, " +
           std::to_string(room) + " remain";
  }
  box = Box{};
  box.mOffset = offset;
  box.mType = GetU32BE(head + 4);
  std::uint64_t size = GetU32BE(head);
  box.mHeaderSize = 8;
  if (size == 1) {
    if (room < 16 || !read(offset + 8, head + 8, 8)) {
      return "box '" + TypeName(box.mType) + "' at offset " + std::to_string(offset) +
             " has a 64-bit size that is cut off";
    }
    size = GetU64(head + 8, Endian::kBig);
    box.mHeaderSize = 16;
    box.mLargeSize = true;
  } else if (size == 0) {
    size = room;
    box.mToEnd = true;
  }
  if (box.mType == kUuid) {
    if (room < box.mHeaderSize + 16u || !read(offset + box.mHeaderSize, box.mUserType.data(), 16)) {
      return "uuid box at offset " + std::to_string(offset) + " has a cut-off user type";
    }
    box.mHeaderSize += 16;
  }
  if (size < box.mHeaderSize) {
    return "box '" + TypeName(box.mType) + "' at offset " + std::to_string(offset) + " claims " +
           std::to_string(size) + " bytes, less than its " + std::to_string(box.mHeaderSize) +
           "-byte header";
  }
  if (size > room) {
    return "box '" + TypeName(box.mType) + "' at offset " + std::to_string(offset) + " claims " +
           std::to_string(size) + " bytes, " + std::to_string(room) + " remain";
  }
  box.mSize = size;
  return {};
}

BoxList List(const HeaderReader& read, std::uint64_t begin, std::uint64_t end) {
  BoxList list;
  std::uint64_t pos = begin;
  while (pos < end) {
    if (list.mBoxes.size() >= kMaxBoxesPerContainer) {
      ThrowFormat("more than " + std::to_string(kMaxBoxesPerContainer) +
                  " boxes in one container at offset " + std::to_string(begin));
    }
    Box box;
    list.mDamage = ParseBox(read, pos, end, box);
    if (!list.mDamage.empty()) break;
    list.mBoxes.push_back(box);
    pos = box.End();
  }
  return list;
}

}  // namespace

Box ReadBox(Storage& storage, std::uint64_t offset, std::uint64_t limit) {
  if (offset >= limit) ThrowFormat("no box at offset " + std::to_string(offset));
  HeaderReader read = [&storage](std::uint64_t at, std::uint8_t* out, std::size_t size) {
    return storage.ReadSome(at, out, size) == size;
  };
  Box box;
  std::string error = ParseBox(read, offset, limit, box);
  if (!error.empty()) ThrowFormat(error);
  return box;
}

BoxList ListBoxes(Storage& storage, std::uint64_t begin, std::uint64_t end) {
  end = std::min(end, storage.Size());
  HeaderReader read = [&storage](std::uint64_t at, std::uint8_t* out, std::size_t size) {
    return storage.ReadSome(at, out, size) == size;
  };
  return List(read, begin, end);
}

BoxList ListBoxes(const std::uint8_t* data, std::size_t size) {
  HeaderReader read = [data, size](std::uint64_t at, std::uint8_t* out, std::size_t n) {
    if (at > size || n > size - at) return false;
    std::memcpy(out, data + at, n);
    return true;
  };
  return List(read, 0, size);
}

std::uint32_t HeaderSizeFor(std::uint64_t payload, UserType userType) {
  std::uint32_t extra = userType == UserType::kUuid ? 16 : 0;
  return payload + 8 + extra <= 0xFFFFFFFFull ? 8 + extra : 16 + extra;
}

void AppendBoxHeader(Bytes& out, std::uint32_t type, std::uint64_t totalSize,
                     const std::array<std::uint8_t, 16>* userType) {
  if (totalSize <= 0xFFFFFFFFull) {
    AppendU32(out, static_cast<std::uint32_t>(totalSize), Endian::kBig);
    AppendU32(out, type, Endian::kBig);
  } else {
    AppendU32(out, 1, Endian::kBig);
    AppendU32(out, type, Endian::kBig);
    AppendU64(out, totalSize, Endian::kBig);
  }
  if (userType) out.insert(out.end(), userType->begin(), userType->end());
}

bool EndLastBox(WriteJournal& journal, const std::vector<Box>& boxes) {
  if (boxes.empty() || !boxes.back().mToEnd) return true;
  const Box& last = boxes.back();
  if (last.mSize > 0xFFFFFFFFull) return false;
  std::uint8_t size[4];
  PutU32(size, static_cast<std::uint32_t>(last.mSize), Endian::kBig);
  journal.Write(last.mOffset, std::span<const std::uint8_t>(size, 4));
  journal.Sync();
  return true;
}

}  // namespace xmpfiles::iso
