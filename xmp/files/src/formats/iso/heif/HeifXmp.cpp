#include "formats/iso/heif/HeifXmp.h"

#include <algorithm>

#include "formats/iso/IsoBoxes.h"
#include "formats/iso/heif/HeifItems.h"
#include "io/Endian.h"
#include "io/FreeSpace.h"
#include "io/WriteJournal.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles::heif {

namespace {

using iso::Box;
using iso::EndLastBox;

// The file-level boxes and the first 'meta' among them (readers take the first).
struct TopLevel {
  iso::BoxList mList;
  std::optional<std::size_t> mMeta;
};

TopLevel ScanTop(Storage& file, bool strict) {
  TopLevel top;
  top.mList = iso::ListBoxes(file, 0, file.Size());
  if (strict && !top.mList.mDamage.empty()) ThrowFormat(top.mList.mDamage);
  for (std::size_t i = 0; i < top.mList.mBoxes.size() && !top.mMeta; ++i) {
    if (top.mList.mBoxes[i].mType == kMeta) top.mMeta = i;
  }
  return top;
}

// The 'meta' box loaded into memory with its item boxes parsed.
struct Meta {
  Box mBox;
  Bytes mData;                 // the payload: version and flags, then the children
  std::vector<Box> mChildren;  // offsets relative to mData
  std::vector<ItemInfo> mInfos;
  ItemLocations mLocations;
  std::optional<std::uint32_t> mPrimary;

  const Box* Child(std::uint32_t type) const {
    for (const Box& box : mChildren) {
      if (box.mType == type) return &box;
    }
    return nullptr;
  }
  std::span<const std::uint8_t> Payload(const Box& child) const {
    return std::span<const std::uint8_t>(mData).subspan(child.DataOffset(), child.DataSize());
  }
};

Meta LoadMeta(Storage& file, const Box& box) {
  const std::string where = "box 'meta' at offset " + std::to_string(box.mOffset);
  if (box.DataSize() > kMaxMetaSize) {
    ThrowFormat(where + " holds " + std::to_string(box.DataSize()) + " bytes, too many to edit");
  }
  if (box.DataSize() < kFullBoxHeader) ThrowFormat(where + " is too short for its version");
  Meta meta;
  meta.mBox = box;
  meta.mData = file.Read(box.DataOffset(), static_cast<std::size_t>(box.DataSize()));
  iso::BoxList children =
      iso::ListBoxes(meta.mData.data() + kFullBoxHeader, meta.mData.size() - kFullBoxHeader);
  if (!children.mDamage.empty()) ThrowFormat("meta: " + children.mDamage);
  for (Box& child : children.mBoxes) {
    child.mOffset += kFullBoxHeader;
    meta.mChildren.push_back(child);
  }
  if (const Box* iinf = meta.Child(kIinf)) meta.mInfos = ParseItemInfos(meta.Payload(*iinf));
  if (const Box* iloc = meta.Child(kIloc))
    meta.mLocations = ParseItemLocations(meta.Payload(*iloc));
  if (const Box* pitm = meta.Child(kPitm)) {
    BufReader in(meta.Payload(*pitm), Endian::kBig, "pitm");
    meta.mPrimary = (in.U32() >> 24) == 0 ? in.U16() : in.U32();
  }
  return meta;
}

bool IsXmpItem(const ItemInfo& info) {
  if (info.mType != kMime) return false;
  std::string_view type = info.mContentType;
  type = type.substr(0, type.find(';'));
  while (!type.empty() && type.back() == ' ')
    type.remove_suffix(1);
  return type == kXmpContentType;
}

const ItemInfo* FindXmpItem(const Meta& meta, bool warn) {
  const ItemInfo* first = nullptr;
  std::size_t count = 0;
  for (const ItemInfo& info : meta.mInfos) {
    if (!IsXmpItem(info)) continue;
    if (!first) first = &info;
    ++count;
  }
  if (warn && count > 1) {
    XMP_ReportWarning("the file holds " + std::to_string(count) + " XMP items; the first, item " +
                      std::to_string(first->mId) + ", is read");
  }
  return first;
}

// A run of an item's bytes in the file.
struct Piece {
  std::uint64_t mOffset = 0;
  std::uint64_t mLength = 0;
  std::uint64_t End() const { return mOffset + mLength; }
};

bool Overlap(const Piece& a, const Piece& b) {
  return a.mOffset < b.End() && b.mOffset < a.End();
}

// The bytes of an item in file order of its extents, each checked against the file (or the
// 'idat' box) it points into.
std::vector<Piece> Locate(const Meta& meta, const ItemLocation& loc, std::uint64_t fileSize) {
  const std::string item = "item " + std::to_string(loc.mId);
  if (loc.mDataReference != 0) {
    throw FileError(ErrorKind::kUnsupported, item + " is kept in another file");
  }
  std::uint64_t begin = 0, size = fileSize;
  if (loc.mMethod == Construction::kItem) {
    throw FileError(ErrorKind::kUnsupported, item + " is built from other items");
  }
  if (loc.mMethod == Construction::kIdat) {
    const Box* idat = meta.Child(kIdat);
    if (!idat) ThrowFormat(item + " lies in 'idat', which the 'meta' box lacks");
    begin = meta.mBox.DataOffset() + idat->DataOffset();
    size = idat->DataSize();
  }
  const char* within = loc.mMethod == Construction::kIdat ? "'idat'" : "the file";
  std::vector<Piece> pieces;
  for (const Extent& e : loc.mExtents) {
    if (loc.mBaseOffset > size || e.mOffset > size - loc.mBaseOffset) {
      ThrowFormat(item + " starts at offset " + std::to_string(loc.mBaseOffset) + "+" +
                  std::to_string(e.mOffset) + ", past the end of " + within + " (" +
                  std::to_string(size) + " bytes)");
    }
    const std::uint64_t start = loc.mBaseOffset + e.mOffset;
    const std::uint64_t length = e.mLength == 0 ? size - start : e.mLength;
    if (length > size - start) {
      ThrowFormat(item + " claims " + std::to_string(length) + " bytes at offset " +
                  std::to_string(start) + ", " + std::to_string(size - start) + " remain in " +
                  within);
    }
    pieces.push_back({begin + start, length});
  }
  return pieces;
}

std::uint64_t TotalLength(const std::vector<Piece>& pieces) {
  std::uint64_t total = 0;
  for (const Piece& p : pieces)
    total += p.mLength;
  return total;
}

// The XMP item's location entry; FileError when it has none or no bytes.
const ItemLocation& XmpLocation(const Meta& meta, const ItemInfo& xmp) {
  const ItemLocation* loc = meta.mLocations.Find(xmp.mId);
  if (!loc) ThrowFormat("XMP item " + std::to_string(xmp.mId) + " has no 'iloc' entry");
  if (loc->mExtents.empty()) ThrowFormat("XMP item " + std::to_string(xmp.mId) + " has no extents");
  return *loc;
}

// Free boxes for the placement of new boxes.
ContainerFrame IsoFrame() {
  ContainerFrame frame;
  frame.mFreeHeader = [](std::uint64_t total) {
    Bytes header;
    iso::AppendBoxHeader(header, iso::kFree, total);
    return header;
  };
  return frame;
}

std::vector<Span> SpansOf(const std::vector<Box>& boxes) {
  std::vector<Span> spans;
  for (const Box& box : boxes)
    spans.push_back({box.mOffset, box.End(), box.IsFree()});
  return spans;
}

[[noreturn]] void ThrowNoRoom() {
  throw FileError(ErrorKind::kUnsupported,
                  "the XMP cannot be placed without moving media data: the last box runs to "
                  "the end of the file and is too large to be closed");
}

// Places a new top-level box; returns the offset it got. `make(extra)` builds it grown by
// `extra` bytes, the padding a free space may ask for.
std::uint64_t PlaceBox(WriteJournal& journal, const TopLevel& top, std::optional<std::size_t> old,
                       const std::function<Bytes(std::uint64_t)>& make) {
  const std::vector<Box>& boxes = top.mList.mBoxes;
  const std::vector<Span> spans = SpansOf(boxes);
  const ContainerFrame frame = IsoFrame();
  const bool canAppend = EndLastBox(journal, boxes);
  const std::uint64_t end = journal.File().Size();
  // The same plan PlaceUnit makes: it tells where the box lands.
  auto plan = PlanPlacement(spans, old, make(0).size(), end, canAppend, frame);
  if (!plan) ThrowNoRoom();
  UnitUpdate update;
  update.mSpans = spans;
  update.mOld = old;
  update.mContainerEnd = end;
  update.mCanAppend = canAppend;
  update.mMake = make;
  if (!PlaceUnit(journal, frame, update)) ThrowNoRoom();
  return plan->mKind == Placement::Kind::kBeforeOld ? plan->mOffset
                                                    : plan->mOffset + frame.mFreeHeaderSize;
}

std::string Padded(const PacketText& packet, std::uint64_t extra) {
  if (extra == 0) return packet.Text();
  auto padded = packet.FitTo(packet.Text().size() + static_cast<std::size_t>(extra));
  return padded ? *padded : packet.Text() + std::string(static_cast<std::size_t>(extra), ' ');
}

// Writes the packet into a new 'mdat' box; returns where its bytes are.
Piece PlaceData(WriteJournal& journal, const TopLevel& top, const PacketText& packet) {
  auto make = [&](std::uint64_t extra) {
    std::string payload = Padded(packet, extra);
    Bytes box;
    iso::AppendBoxHeader(box, iso::kMdat,
                         iso::HeaderSizeFor(payload.size(), iso::UserType::kNone) + payload.size());
    AppendBytes(box, payload);
    return box;
  };
  const std::uint64_t at = PlaceBox(journal, top, std::nullopt, make);
  const Box box = iso::ReadBox(journal.File(), at, journal.File().Size());
  return {box.DataOffset(), box.DataSize()};
}

// Writes a packet that fits the item's bytes exactly over them. False when it does not.
bool WriteInPlace(WriteJournal& journal, const std::vector<Piece>& pieces,
                  const PacketText& packet) {
  const std::uint64_t total = TotalLength(pieces);
  if (total > kMaxPacketSize) return false;
  auto fitted = packet.FitTo(static_cast<std::size_t>(total));
  if (!fitted || fitted->size() != total) return false;
  journal.File().CheckIdentity();
  std::size_t at = 0;
  for (const Piece& p : pieces) {
    journal.Write(p.mOffset, std::string_view(*fitted).substr(at, p.mLength));
    at += static_cast<std::size_t>(p.mLength);
  }
  journal.Sync();
  return true;
}

// Points the item's 'iloc' entry at `data` by rewriting the 'iloc' box in place, its extents
// kept in number. False when the new entry does not fit the old box's size.
bool SwitchInPlace(WriteJournal& journal, const Meta& meta, std::uint32_t id, const Piece& data) {
  const Box* iloc = meta.Child(kIloc);
  ItemLocations locs = meta.mLocations;
  ItemLocation* entry = locs.Find(id);
  const std::size_t n = entry->mExtents.size();
  if (n > data.mLength) return false;
  entry->mMethod = Construction::kFile;
  entry->mDataReference = 0;
  entry->mBaseOffset = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint64_t step = data.mLength / n;
    entry->mExtents[k] = {0, data.mOffset + k * step, k + 1 == n ? data.mLength - k * step : step};
  }
  auto bytes = SerializeItemLocations(locs);
  if (!bytes || bytes->size() != iloc->mSize) return false;
  journal.File().CheckIdentity();
  journal.Write(meta.mBox.DataOffset() + iloc->mOffset, *bytes);
  journal.Sync();
  return true;
}

void AppendBox(Bytes& out, std::uint32_t type, std::span<const std::uint8_t> payload) {
  iso::AppendBoxHeader(out, type,
                       iso::HeaderSizeFor(payload.size(), iso::UserType::kNone) + payload.size());
  AppendBytes(out, payload);
}

// A new 'meta' payload whose XMP item (added when `isNew`) is `id` at `data`.
Bytes RebuildPayload(const Meta& meta, std::uint32_t id, bool isNew, const Piece& data) {
  ItemLocations locs = meta.mLocations;
  if (isNew) locs.mItems.push_back({id, Construction::kFile, 0, 0, {}});
  ItemLocation* entry = locs.Find(id);
  *entry = {id, Construction::kFile, 0, 0, {{0, data.mOffset, data.mLength}}};
  auto iloc = SerializeItemLocations(Widened(locs));
  if (!iloc) ThrowFormat("iloc: the item locations cannot be written");
  const bool addReference = isNew && meta.mPrimary.has_value();
  const Bytes emptyIinf(kFullBoxHeader + 2, 0);
  Bytes out(meta.mData.begin(), meta.mData.begin() + kFullBoxHeader);
  bool haveIloc = false, haveIinf = false, haveIref = false;
  for (const Box& child : meta.mChildren) {
    std::span<const std::uint8_t> bytes(meta.mData.data() + child.mOffset, child.mSize);
    if (child.IsFree()) continue;  // one free box is added below, for padding
    if (child.mType == kIloc && !haveIloc) {
      AppendBytes(out, *iloc);
      haveIloc = true;
    } else if (child.mType == kIinf && isNew && !haveIinf) {
      AppendBox(out, kIinf, AddXmpItemInfo(meta.Payload(child), id));
      haveIinf = true;
    } else if (child.mType == kIref && addReference && !haveIref) {
      auto iref = AddDescribesReference(meta.Payload(child), id, *meta.mPrimary);
      AppendBox(out, kIref, iref ? *iref : Bytes(bytes.begin() + child.mHeaderSize, bytes.end()));
      haveIref = true;
    } else {
      const std::size_t at = out.size();
      AppendBytes(out, bytes);
      // A child that ran to the end of the box gets its real size: boxes may follow it.
      if (child.mToEnd) PutU32(&out[at], static_cast<std::uint32_t>(child.mSize), Endian::kBig);
    }
  }
  if (!haveIloc) AppendBytes(out, *iloc);
  if (isNew && !haveIinf) AppendBox(out, kIinf, AddXmpItemInfo(emptyIinf, id));
  if (addReference && !haveIref) {
    if (auto iref = AddDescribesReference({}, id, *meta.mPrimary)) AppendBox(out, kIref, *iref);
  }
  return out;
}

// Replaces the 'meta' box by one pointing the XMP item at `data`, placed without moving media.
void RebuildMeta(WriteJournal& journal, const TopLevel& top, const Meta& meta, const ItemInfo* xmp,
                 const Piece& data) {
  std::uint32_t id = 0;
  if (xmp) {
    id = xmp->mId;
  } else {
    for (const ItemInfo& info : meta.mInfos)
      id = std::max(id, info.mId);
    for (const ItemLocation& loc : meta.mLocations.mItems)
      id = std::max(id, loc.mId);
    if (id == 0xFFFFFFFFu) ThrowFormat("meta: no item id is left for the XMP item");
    ++id;
  }
  const Bytes payload = RebuildPayload(meta, id, xmp == nullptr, data);
  auto make = [&](std::uint64_t extra) {
    Bytes content = payload;
    // Padding goes into a free box inside 'meta'; it is always there so that any amount fits.
    iso::AppendBoxHeader(content, iso::kFree, 8 + extra);
    content.resize(content.size() + static_cast<std::size_t>(extra), 0);
    Bytes box;
    AppendBox(box, kMeta, content);
    return box;
  };
  PlaceBox(journal, top, top.mMeta, make);
}

// Retires every 'meta' box after the first: a copy an interrupted update left.
bool RetireExtraMetas(WriteJournal& journal, const TopLevel& top) {
  bool retired = false;
  for (std::size_t i = *top.mMeta + 1; i < top.mList.mBoxes.size(); ++i) {
    const Box& box = top.mList.mBoxes[i];
    if (box.mType != kMeta) continue;
    RetireUnit(journal, IsoFrame(), {box.mOffset, box.End(), false}, {});
    retired = true;
  }
  return retired;
}

// The bytes every other item uses; nullopt when one of them cannot be located (then nothing
// is blanked, as it might be shared).
std::optional<std::vector<Piece>> OtherItems(const Meta& meta, std::uint32_t xmpId,
                                             std::uint64_t fileSize) {
  std::vector<Piece> used;
  try {
    for (const ItemLocation& loc : meta.mLocations.mItems) {
      if (loc.mId == xmpId) continue;
      auto pieces = Locate(meta, loc, fileSize);
      used.insert(used.end(), pieces.begin(), pieces.end());
    }
  } catch (const FileError&) {
    return std::nullopt;
  }
  return used;
}

// Whether the packet's bytes are its own: each piece within the payload of a top-level 'mdat'
// box or of 'idat', and shared with no other item. Only then are they overwritten or blanked;
// an item pointing into box headers or other items' data is left as it is.
bool OwnsItsBytes(const std::vector<Piece>& pieces, const TopLevel& top, const Meta& meta,
                  const std::vector<Piece>& others) {
  std::vector<Piece> holders;
  for (const Box& box : top.mList.mBoxes) {
    if (box.mType == iso::kMdat) holders.push_back({box.DataOffset(), box.DataSize()});
  }
  if (const Box* idat = meta.Child(kIdat)) {
    holders.push_back({meta.mBox.DataOffset() + idat->DataOffset(), idat->DataSize()});
  }
  return std::all_of(pieces.begin(), pieces.end(), [&](const Piece& p) {
    const bool held = std::any_of(holders.begin(), holders.end(), [&](const Piece& h) {
      return p.mOffset >= h.mOffset && p.End() <= h.End();
    });
    return held && std::none_of(others.begin(), others.end(),
                                [&](const Piece& o) { return Overlap(p, o); });
  });
}

// Once nothing points at the old packet: its own 'mdat' box becomes free space; bytes in a
// box shared with other data are blanked, unless something still uses them.
void RetireOld(WriteJournal& journal, const std::vector<Piece>& old, std::vector<Piece> keep) {
  Storage& file = journal.File();
  TopLevel top = ScanTop(file, true);
  if (old.size() == 1) {
    for (const Box& box : top.mList.mBoxes) {
      if (box.mType == iso::kMdat && box.DataOffset() == old[0].mOffset &&
          box.End() == old[0].End()) {
        RetireUnit(journal, IsoFrame(), {box.mOffset, box.End(), false},
                   {{box.DataOffset(), box.End()}});
        return;
      }
    }
  }
  if (top.mMeta) {
    const Box& meta = top.mList.mBoxes[*top.mMeta];
    keep.push_back({meta.mOffset, meta.mSize});
  }
  std::vector<ByteRange> blank;
  for (const Piece& p : old) {
    bool shared =
        std::any_of(keep.begin(), keep.end(), [&](const Piece& k) { return Overlap(p, k); });
    if (!shared) blank.push_back({p.mOffset, p.End()});
  }
  if (blank.empty()) return;
  for (const ByteRange& r : blank)
    journal.Write(r.mOffset, std::string(static_cast<std::size_t>(r.mEnd - r.mOffset), ' '));
  journal.Sync();
}

}  // namespace

std::optional<FoundPacket> ReadXmp(Storage& file) {
  TopLevel top = ScanTop(file, false);
  if (!top.mMeta) return std::nullopt;
  Meta meta = LoadMeta(file, top.mList.mBoxes[*top.mMeta]);
  const ItemInfo* xmp = FindXmpItem(meta, true);
  if (!xmp) return std::nullopt;
  const std::vector<Piece> pieces = Locate(meta, XmpLocation(meta, *xmp), file.Size());
  FoundPacket found;
  if (!xmp->mContentEncoding.empty()) {
    found.mUnreadablePart = "the XMP item is stored with content encoding '" +
                            xmp->mContentEncoding + "', which is not read";
    return found;
  }
  const std::uint64_t total = TotalLength(pieces);
  if (total > kMaxPacketSize) {
    ThrowFormat("XMP item " + std::to_string(xmp->mId) + " holds " + std::to_string(total) +
                " bytes, more than any packet");
  }
  for (const Piece& p : pieces)
    found.mPacket += file.ReadString(p.mOffset, static_cast<std::size_t>(p.mLength));
  // Some writers end the packet with a NUL; it is not part of the XML.
  while (!found.mPacket.empty() && found.mPacket.back() == '\0')
    found.mPacket.pop_back();
  const std::int64_t offset =
      pieces.size() == 1 ? static_cast<std::int64_t>(pieces[0].mOffset) : -1;
  found.mInfo = DescribePacket(found.mPacket, offset);
  return found;
}

void WriteXmp(Storage& file, const PacketText& packet) {
  if (packet.Text().size() > kMaxPacketSize) {
    throw FileError(ErrorKind::kBadParam, "packet of " + std::to_string(packet.Text().size()) +
                                              " bytes is larger than an XMP item may be");
  }
  TopLevel top = ScanTop(file, true);
  if (!top.mMeta) {
    throw FileError(ErrorKind::kUnsupported,
                    "the file has no file-level 'meta' box (an image sequence without still "
                    "images): there is no item to keep XMP in");
  }
  WriteJournal journal(file);
  if (RetireExtraMetas(journal, top)) top = ScanTop(file, true);
  const Meta meta = LoadMeta(file, top.mList.mBoxes[*top.mMeta]);
  const ItemInfo* xmp = FindXmpItem(meta, false);
  std::vector<Piece> old;
  std::vector<Piece> keep;
  bool owned = false;
  if (xmp) {
    if (!xmp->mContentEncoding.empty()) {
      throw FileError(ErrorKind::kUnsupported, "the XMP item is stored with content encoding '" +
                                                   xmp->mContentEncoding + "', not replaced");
    }
    old = Locate(meta, XmpLocation(meta, *xmp), file.Size());
    auto others = OtherItems(meta, xmp->mId, file.Size());
    owned = others && OwnsItsBytes(old, top, meta, *others);
    if (owned && WriteInPlace(journal, old, packet)) return journal.Complete();
    if (owned) keep = std::move(*others);
  }
  const Piece data = PlaceData(journal, top, packet);
  keep.push_back(data);
  top = ScanTop(file, true);
  if (!xmp || !SwitchInPlace(journal, meta, xmp->mId, data)) {
    RebuildMeta(journal, top, meta, xmp, data);
  }
  if (owned) RetireOld(journal, old, std::move(keep));
  journal.Complete();
}

}  // namespace xmpfiles::heif
