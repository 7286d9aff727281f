#include "formats/iso/ChunkOffsets.h"

#include <algorithm>

#include "formats/iso/IsoBoxes.h"
#include "io/Endian.h"

namespace xmpfiles::iso {

namespace {

// Containers on the way from moov to the chunk offset tables.
bool LeadsToChunkOffsets(std::uint32_t type) {
  return type == kMoov || type == kTrak || type == kMdia || type == kMinf || type == kStbl;
}
constexpr int kMaxDepth = 8;

std::uint64_t Move(std::uint64_t offset, const std::vector<Segment>& moves) {
  for (const Segment& s : moves) {
    if (offset >= s.mOldBegin && offset < s.mOldEnd) return offset - s.mOldBegin + s.mNewBegin;
  }
  return offset;
}

void MoveTable(std::uint8_t* data, std::size_t size, bool wide, const std::vector<Segment>& moves) {
  const char* name = wide ? "co64" : "stco";
  if (size < 8)
    ThrowFormat(std::string("'") + name + "' box of " + std::to_string(size) +
                " bytes has no entry count");
  std::uint64_t count = GetU32BE(data + 4);
  std::uint64_t entry = wide ? 8 : 4;
  if (count > (size - 8) / entry) {
    ThrowFormat(std::string("'") + name + "' claims " + std::to_string(count) + " entries, " +
                std::to_string((size - 8) / entry) + " fit");
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint8_t* p = data + 8 + i * entry;
    if (wide) {
      PutU64(p, Move(GetU64(p, Endian::kBig), moves), Endian::kBig);
      continue;
    }
    std::uint64_t moved = Move(GetU32BE(p), moves);
    if (moved > 0xFFFFFFFFull) {
      throw FileError(ErrorKind::kUnsupported,
                      "a 32-bit chunk offset would pass 4 GB after moving the media");
    }
    PutU32(p, static_cast<std::uint32_t>(moved), Endian::kBig);
  }
}

void Walk(std::uint8_t* data, std::size_t size, const std::vector<Segment>& moves, int depth) {
  BoxList list = ListBoxes(data, size);
  for (const Box& box : list.mBoxes) {
    std::uint8_t* payload = data + box.DataOffset();
    std::size_t payloadSize = static_cast<std::size_t>(box.DataSize());
    if (box.mType == kStco || box.mType == kCo64) {
      MoveTable(payload, payloadSize, box.mType == kCo64, moves);
    } else if (LeadsToChunkOffsets(box.mType) && depth < kMaxDepth) {
      Walk(payload, payloadSize, moves, depth + 1);
    }
  }
}

}  // namespace

void MoveChunkOffsets(Bytes& moov, const std::vector<Segment>& moves) {
  Walk(moov.data(), moov.size(), moves, 0);
}

}  // namespace xmpfiles::iso
