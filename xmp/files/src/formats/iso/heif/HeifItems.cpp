#include "formats/iso/heif/HeifItems.h"

#include <algorithm>
#include <set>

#include "formats/iso/IsoBoxes.h"
#include "io/Endian.h"

namespace xmpfiles::heif {

namespace {

// A NUL-terminated string; one cut off by the end of the entry ends there.
std::string CString(BufReader& in) {
  std::string s;
  while (in.Remaining() > 0) {
    char c = static_cast<char>(in.U8());
    if (c == '\0') break;
    s.push_back(c);
  }
  return s;
}

void PutFullBoxHeader(Bytes& out, std::uint8_t version, std::uint32_t flags) {
  AppendU32(out, std::uint32_t{version} << 24 | (flags & 0xFFFFFF), Endian::kBig);
}

std::uint64_t ReadSized(BufReader& in, std::uint8_t size) {
  if (size == 4) return in.U32();
  if (size == 8) return in.U64();
  return 0;
}

bool PutSized(Bytes& out, std::uint64_t value, std::uint8_t size) {
  if (size == 0) return value == 0;
  if (size == 4) {
    if (value > 0xFFFFFFFFull) return false;
    AppendU32(out, static_cast<std::uint32_t>(value), Endian::kBig);
    return true;
  }
  AppendU64(out, value, Endian::kBig);
  return true;
}

std::uint8_t SizeFor(std::uint64_t value, std::uint8_t current) {
  std::uint8_t need = value == 0 ? 0 : value <= 0xFFFFFFFFull ? 4 : 8;
  return std::max(need, current);
}

void CheckSize(std::uint8_t size, const char* field) {
  if (size != 0 && size != 4 && size != 8) {
    ThrowFormat(std::string("iloc: ") + field + " size " + std::to_string(size) +
                " is not 0, 4 or 8");
  }
}

// Gives the last of the boxes in out[begin..] its real size when its size field said "to
// the end of the container", so that a box can be appended after it.
void CloseLastBox(Bytes& out, std::size_t begin) {
  iso::BoxList boxes = iso::ListBoxes(out.data() + begin, out.size() - begin);
  if (boxes.mBoxes.empty() || !boxes.mBoxes.back().mToEnd) return;
  const iso::Box& last = boxes.mBoxes.back();
  PutU32(&out[begin + last.mOffset], static_cast<std::uint32_t>(last.mSize), Endian::kBig);
}

}  // namespace

std::vector<ItemInfo> ParseItemInfos(std::span<const std::uint8_t> payload) {
  BufReader head(payload, Endian::kBig, "iinf");
  const std::uint8_t version = static_cast<std::uint8_t>(head.U32() >> 24);
  version == 0 ? head.Skip(2) : head.Skip(4);  // the entry count; the boxes themselves count
  auto rest = payload.subspan(head.Pos());
  iso::BoxList entries = iso::ListBoxes(rest.data(), rest.size());
  if (!entries.mDamage.empty()) ThrowFormat("iinf: " + entries.mDamage);
  std::vector<ItemInfo> infos;
  std::set<std::uint32_t> ids;
  for (const iso::Box& box : entries.mBoxes) {
    if (box.mType != kInfe) continue;
    BufReader in(rest.subspan(box.DataOffset(), box.DataSize()), Endian::kBig, "infe");
    const std::uint8_t v = static_cast<std::uint8_t>(in.U32() >> 24);
    ItemInfo info;
    info.mId = v >= 3 ? in.U32() : in.U16();
    in.Skip(2);  // protection index
    if (v >= 2) {
      info.mType = in.U32();
      CString(in);  // item name
    } else {
      info.mType = kMime;
      CString(in);
    }
    if (info.mType == kMime) {
      info.mContentType = CString(in);
      info.mContentEncoding = CString(in);
    }
    if (!ids.insert(info.mId).second) {
      ThrowFormat("iinf lists item " + std::to_string(info.mId) + " twice");
    }
    infos.push_back(std::move(info));
  }
  return infos;
}

Bytes AddXmpItemInfo(std::span<const std::uint8_t> payload, std::uint32_t id) {
  BufReader head(payload, Endian::kBig, "iinf");
  std::uint8_t version = static_cast<std::uint8_t>(head.U32() >> 24);
  version == 0 ? head.Skip(2) : head.Skip(4);
  auto rest = payload.subspan(head.Pos());
  iso::BoxList entries = iso::ListBoxes(rest.data(), rest.size());
  if (!entries.mDamage.empty()) ThrowFormat("iinf: " + entries.mDamage);
  const std::size_t count = entries.mBoxes.size() + 1;
  if (count > 0xFFFF) version = 1;

  Bytes infe;
  const bool wide = id > 0xFFFF;
  PutFullBoxHeader(infe, wide ? 3 : 2, 1);  // flag 1: hidden, not an image to show
  wide ? AppendU32(infe, id, Endian::kBig)
       : AppendU16(infe, static_cast<std::uint16_t>(id), Endian::kBig);
  AppendU16(infe, 0, Endian::kBig);
  AppendU32(infe, kMime, Endian::kBig);
  AppendU8(infe, 0);  // no name
  AppendBytes(infe, kXmpContentType);
  AppendU8(infe, 0);

  Bytes out;
  PutFullBoxHeader(out, version, 0);
  version == 0 ? AppendU16(out, static_cast<std::uint16_t>(count), Endian::kBig)
               : AppendU32(out, static_cast<std::uint32_t>(count), Endian::kBig);
  const std::size_t first = out.size();
  for (const iso::Box& box : entries.mBoxes)
    AppendBytes(out, rest.subspan(box.mOffset, box.mSize));
  CloseLastBox(out, first);
  iso::AppendBoxHeader(out, kInfe, 8 + infe.size());
  AppendBytes(out, infe);
  return out;
}

ItemLocation* ItemLocations::Find(std::uint32_t id) {
  for (ItemLocation& item : mItems) {
    if (item.mId == id) return &item;
  }
  return nullptr;
}

const ItemLocation* ItemLocations::Find(std::uint32_t id) const {
  return const_cast<ItemLocations*>(this)->Find(id);
}

ItemLocations ParseItemLocations(std::span<const std::uint8_t> payload) {
  BufReader in(payload, Endian::kBig, "iloc");
  ItemLocations locs;
  locs.mVersion = static_cast<std::uint8_t>(in.U32() >> 24);
  if (locs.mVersion > 2) {
    ThrowFormat("iloc version " + std::to_string(locs.mVersion) + " is unknown");
  }
  std::uint8_t sizes = in.U8();
  locs.mOffsetSize = sizes >> 4;
  locs.mLengthSize = sizes & 0xF;
  sizes = in.U8();
  locs.mBaseOffsetSize = sizes >> 4;
  locs.mIndexSize = locs.mVersion >= 1 ? sizes & 0xF : 0;
  CheckSize(locs.mOffsetSize, "offset");
  CheckSize(locs.mLengthSize, "length");
  CheckSize(locs.mBaseOffsetSize, "base offset");
  CheckSize(locs.mIndexSize, "index");
  const std::uint32_t count = locs.mVersion < 2 ? in.U16() : in.U32();
  std::set<std::uint32_t> ids;
  for (std::uint32_t i = 0; i < count; ++i) {
    ItemLocation item;
    item.mId = locs.mVersion < 2 ? in.U16() : in.U32();
    if (locs.mVersion >= 1) {
      std::uint8_t method = in.U16() & 0xF;
      if (method > 2) {
        ThrowFormat("iloc: item " + std::to_string(item.mId) + " has construction method " +
                    std::to_string(method));
      }
      item.mMethod = static_cast<Construction>(method);
    }
    item.mDataReference = in.U16();
    item.mBaseOffset = ReadSized(in, locs.mBaseOffsetSize);
    const std::uint16_t extents = in.U16();
    for (std::uint16_t e = 0; e < extents; ++e) {
      Extent extent;
      extent.mIndex = ReadSized(in, locs.mIndexSize);
      extent.mOffset = ReadSized(in, locs.mOffsetSize);
      extent.mLength = ReadSized(in, locs.mLengthSize);
      item.mExtents.push_back(extent);
    }
    if (!ids.insert(item.mId).second) {
      ThrowFormat("iloc lists item " + std::to_string(item.mId) + " twice");
    }
    locs.mItems.push_back(std::move(item));
  }
  return locs;
}

std::optional<Bytes> SerializeItemLocations(const ItemLocations& locs) {
  Bytes body;
  body.reserve(10 + 16 * locs.mItems.size());  // the header, and a typical one-extent item each
  PutFullBoxHeader(body, locs.mVersion, 0);
  AppendU8(body, static_cast<std::uint8_t>(locs.mOffsetSize << 4 | locs.mLengthSize));
  AppendU8(body, static_cast<std::uint8_t>(locs.mBaseOffsetSize << 4 |
                                           (locs.mVersion >= 1 ? locs.mIndexSize : 0)));
  const bool wide = locs.mVersion >= 2;
  if (!wide && locs.mItems.size() > 0xFFFF) return std::nullopt;
  wide ? AppendU32(body, static_cast<std::uint32_t>(locs.mItems.size()), Endian::kBig)
       : AppendU16(body, static_cast<std::uint16_t>(locs.mItems.size()), Endian::kBig);
  for (const ItemLocation& item : locs.mItems) {
    if (!wide && item.mId > 0xFFFF) return std::nullopt;
    if (locs.mVersion == 0 && item.mMethod != Construction::kFile) return std::nullopt;
    if (item.mExtents.size() > 0xFFFF) return std::nullopt;
    wide ? AppendU32(body, item.mId, Endian::kBig)
         : AppendU16(body, static_cast<std::uint16_t>(item.mId), Endian::kBig);
    if (locs.mVersion >= 1) AppendU16(body, static_cast<std::uint16_t>(item.mMethod), Endian::kBig);
    AppendU16(body, item.mDataReference, Endian::kBig);
    if (!PutSized(body, item.mBaseOffset, locs.mBaseOffsetSize)) return std::nullopt;
    AppendU16(body, static_cast<std::uint16_t>(item.mExtents.size()), Endian::kBig);
    for (const Extent& e : item.mExtents) {
      if (locs.mVersion >= 1 && !PutSized(body, e.mIndex, locs.mIndexSize)) return std::nullopt;
      if (!PutSized(body, e.mOffset, locs.mOffsetSize)) return std::nullopt;
      if (!PutSized(body, e.mLength, locs.mLengthSize)) return std::nullopt;
    }
  }
  Bytes box;
  iso::AppendBoxHeader(box, kIloc,
                       iso::HeaderSizeFor(body.size(), iso::UserType::kNone) + body.size());
  AppendBytes(box, body);
  return box;
}

ItemLocations Widened(ItemLocations locs) {
  bool wideIds = locs.mItems.size() > 0xFFFF;
  bool methods = false;
  for (const ItemLocation& item : locs.mItems) {
    wideIds = wideIds || item.mId > 0xFFFF;
    methods = methods || item.mMethod != Construction::kFile;
    locs.mBaseOffsetSize = SizeFor(item.mBaseOffset, locs.mBaseOffsetSize);
    for (const Extent& e : item.mExtents) {
      locs.mIndexSize = SizeFor(e.mIndex, locs.mIndexSize);
      locs.mOffsetSize = SizeFor(e.mOffset, locs.mOffsetSize);
      locs.mLengthSize = SizeFor(e.mLength, locs.mLengthSize);
    }
  }
  if (wideIds) locs.mVersion = 2;
  if (locs.mIndexSize > 0 || methods) locs.mVersion = std::max<std::uint8_t>(locs.mVersion, 1);
  return locs;
}

std::optional<Bytes> AddDescribesReference(std::span<const std::uint8_t> payload,
                                           std::uint32_t from, std::uint32_t to) {
  Bytes out(payload.begin(), payload.end());
  if (out.empty()) PutFullBoxHeader(out, from > 0xFFFF || to > 0xFFFF ? 1 : 0, 0);
  if (out.size() < kFullBoxHeader) ThrowFormat("iref: cut off before its version");
  const bool wide = out[0] >= 1;
  if (!wide && (from > 0xFFFF || to > 0xFFFF)) return std::nullopt;
  iso::BoxList refs = iso::ListBoxes(out.data() + kFullBoxHeader, out.size() - kFullBoxHeader);
  if (!refs.mDamage.empty()) ThrowFormat("iref: " + refs.mDamage);
  CloseLastBox(out, kFullBoxHeader);
  Bytes ref;
  auto id = [&](std::uint32_t v) {
    wide ? AppendU32(ref, v, Endian::kBig)
         : AppendU16(ref, static_cast<std::uint16_t>(v), Endian::kBig);
  };
  id(from);
  AppendU16(ref, 1, Endian::kBig);
  id(to);
  iso::AppendBoxHeader(out, kCdsc, 8 + ref.size());
  AppendBytes(out, ref);
  return out;
}

}  // namespace xmpfiles::heif
