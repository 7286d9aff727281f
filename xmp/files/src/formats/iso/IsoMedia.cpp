#include "formats/iso/IsoMedia.h"

#include <algorithm>
#include <functional>

#include "formats/iso/ChunkOffsets.h"
#include "formats/iso/heif/HeifBrands.h"
#include "io/Endian.h"
#include "io/FreeSpace.h"
#include "io/WriteJournal.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles::iso {

namespace {

constexpr std::uint64_t kBoxHeaderSize = 8;        // 32-bit size, type
constexpr std::uint64_t kLargeBoxHeaderSize = 16;  // size 1, type, 64-bit size
constexpr std::uint64_t kMinFtypSize = 16;         // header, major brand, minor version

// A moov box larger than this is not loaded into memory to be edited.
constexpr std::uint64_t kMaxMoovSize = 256ull << 20;

// Major brands of ISO-based still image formats, which keep XMP elsewhere.
constexpr std::uint32_t kImageBrands[] = {FourCC("heic"), FourCC("heix"), FourCC("mif1"),
                                          FourCC("msf1"), FourCC("avif"), FourCC("avis"),
                                          FourCC("crx "), FourCC("jpx "), FourCC("jp2 ")};
// Types a QuickTime movie without 'ftyp' starts with.
constexpr std::uint32_t kQuickTimeFirstBoxes[] = {kMoov, kMdat, kFree,
                                                  kSkip, kWide, FourCC("pnot")};

// What the handler needs to know about a file's structure.
struct Layout {
  Flavor mFlavor = Flavor::kIso;
  BoxList mTop;
  std::optional<std::size_t> mMoov;     // index in mTop.mBoxes
  std::optional<std::size_t> mXmpUuid;  // index in mTop.mBoxes
  std::optional<Box> mUdta;
  std::optional<Box> mXmpAtom;  // moov/udta/XMP_
};

Flavor FlavorOf(Storage& file) {
  std::uint8_t head[32];
  std::size_t n = file.ReadSome(0, head, sizeof head);
  auto flavor = DetectFlavor({head, n}, file.Size());
  if (!flavor) ThrowFormat("not an ISO base media or QuickTime file");
  return *flavor;
}

const Box* FindChild(const BoxList& list, std::uint32_t type) {
  for (const Box& box : list.mBoxes) {
    if (box.mType == type) return &box;
  }
  return nullptr;
}

// The XMP_ box of a udta box, if any.
std::optional<Box> XmpAtomIn(Storage& file, const Box& udta) {
  BoxList items = ListBoxes(file, udta.DataOffset(), udta.End());
  if (const Box* xmp = FindChild(items, kXmpBox)) return *xmp;
  return std::nullopt;
}

// The packet bytes of moov/udta/XMP_, empty when there is none.
ByteRange MoovPacket(Storage& file, const Box& moov) {
  BoxList children = ListBoxes(file, moov.DataOffset(), moov.End());
  if (const Box* udta = FindChild(children, kUdta)) {
    if (auto xmp = XmpAtomIn(file, *udta)) return {xmp->DataOffset(), xmp->End()};
  }
  return {};
}

Layout Scan(Storage& file, OnDamage onDamage) {
  Layout layout;
  layout.mFlavor = FlavorOf(file);
  layout.mTop = ListBoxes(file, 0, file.Size());
  if (onDamage == OnDamage::kRefuse && !layout.mTop.mDamage.empty())
    ThrowFormat(layout.mTop.mDamage);
  for (std::size_t i = 0; i < layout.mTop.mBoxes.size(); ++i) {
    const Box& box = layout.mTop.mBoxes[i];
    if (box.mType == kMoov && !layout.mMoov) layout.mMoov = i;
    if (box.IsXmpUuid() && !layout.mXmpUuid) layout.mXmpUuid = i;
  }
  if (!layout.mMoov) return layout;
  const Box& moov = layout.mTop.mBoxes[*layout.mMoov];
  BoxList children = ListBoxes(file, moov.DataOffset(), moov.End());
  if (const Box* udta = FindChild(children, kUdta)) {
    layout.mUdta = *udta;
    layout.mXmpAtom = XmpAtomIn(file, *udta);
  }
  return layout;
}

std::string ReadPacketBytes(Storage& file, std::uint64_t offset, std::uint64_t size) {
  if (size > kMaxPacketSize) {
    ThrowFormat("XMP box at offset " + std::to_string(offset) + " holds " + std::to_string(size) +
                " bytes, more than any packet");
  }
  std::string packet = file.ReadString(offset, static_cast<std::size_t>(size));
  // Some writers end the packet with a NUL; it is not part of the XML.
  while (!packet.empty() && packet.back() == '\0')
    packet.pop_back();
  return packet;
}

// Free boxes for the placement of a new box.
ContainerFrame IsoFrame() {
  ContainerFrame frame;
  frame.mFreeHeader = [](std::uint64_t total) {
    Bytes header;
    AppendBoxHeader(header, kFree, total);
    return header;
  };
  return frame;
}

Span SpanOf(const Box& box) {
  return {box.mOffset, box.End(), box.IsFree()};
}

std::vector<Span> SpansOf(const std::vector<Box>& boxes) {
  std::vector<Span> spans;
  for (const Box& box : boxes)
    spans.push_back(SpanOf(box));
  return spans;
}

// The packet bytes of a box, blanked once it is retired.
ByteRange PayloadOf(const Box& box) {
  return {box.DataOffset(), box.End()};
}

// The payload (packet) grown by `extra` bytes of padding.
std::string PaddedPacket(const PacketText& packet, std::uint64_t extra) {
  if (extra == 0) return packet.Text();
  auto padded = packet.FitTo(packet.Text().size() + static_cast<std::size_t>(extra));
  return padded ? *padded : packet.Text() + std::string(static_cast<std::size_t>(extra), ' ');
}

Bytes MakeUuidBox(const std::string& payload) {
  Bytes box;
  std::uint64_t total = HeaderSizeFor(payload.size(), UserType::kUuid) + payload.size();
  AppendBoxHeader(box, kUuid, total, &kXmpUuid);
  AppendBytes(box, payload);
  return box;
}

void AppendBox(Bytes& out, std::uint32_t type, std::span<const std::uint8_t> payload) {
  AppendBoxHeader(out, type, HeaderSizeFor(payload.size(), UserType::kNone) + payload.size());
  AppendBytes(out, payload);
}

// Copies a child box into a rebuilt container. A child whose size said "to the end of the
// container" gets its real size, since boxes may now follow it.
void AppendChild(Bytes& out, std::span<const std::uint8_t> bytes, const Box& child) {
  if (!child.mToEnd) return AppendBytes(out, bytes);
  std::size_t at = out.size();
  AppendBytes(out, bytes);
  PutU32(&out[at], static_cast<std::uint32_t>(child.mSize), Endian::kBig);
}

// The udta payload with its XMP_ box replaced (or added) by one holding `packet`. A
// QuickTime terminator (four zero bytes after the last item) is kept last.
Bytes RebuildUdta(std::span<const std::uint8_t> udta, const std::string& packet) {
  BoxList items = ListBoxes(udta.data(), udta.size());
  std::size_t parsed =
      items.mBoxes.empty() ? 0 : static_cast<std::size_t>(items.mBoxes.back().End());
  std::span<const std::uint8_t> tail = udta.subspan(parsed);
  bool terminator = tail.size() == 4 && GetU32BE(tail.data()) == 0;
  if (!items.mDamage.empty() && !terminator && !tail.empty()) ThrowFormat("udta: " + items.mDamage);
  Bytes out;
  bool placed = false;
  for (const Box& item : items.mBoxes) {
    if (item.mType == kXmpBox && !placed) {
      AppendBox(out, kXmpBox, AsBytes(packet));
      placed = true;
    } else {
      AppendChild(out, udta.subspan(item.mOffset, item.mSize), item);
    }
  }
  if (!placed) AppendBox(out, kXmpBox, AsBytes(packet));
  AppendBytes(out, tail);
  return out;
}

// A whole new moov box: the old one with udta/XMP_ holding `packet`.
Bytes BuildMoov(Storage& file, const Box& moov, const std::string& packet) {
  if (moov.DataSize() > kMaxMoovSize) {
    ThrowFormat("box 'moov' of " + std::to_string(moov.mSize) + " bytes is too large to edit");
  }
  Bytes data = file.Read(moov.DataOffset(), static_cast<std::size_t>(moov.DataSize()));
  BoxList children = ListBoxes(data.data(), data.size());
  if (!children.mDamage.empty()) ThrowFormat("moov: " + children.mDamage);
  Bytes payload;
  bool placed = false;
  for (const Box& child : children.mBoxes) {
    std::span<const std::uint8_t> bytes(data.data() + child.mOffset, child.mSize);
    if (child.mType == kUdta && !placed) {
      Bytes udta = RebuildUdta(bytes.subspan(child.mHeaderSize), packet);
      AppendBox(payload, kUdta, udta);
      placed = true;
    } else {
      AppendChild(payload, bytes, child);
    }
  }
  if (!placed) AppendBox(payload, kUdta, RebuildUdta({}, packet));
  Bytes out;
  AppendBox(out, kMoov, payload);
  return out;
}

// Makes the new box; `extra` asks for that many more bytes (added as packet padding) so that
// the box fills a space exactly.
using MakeBox = std::function<Bytes(std::uint64_t extra)>;

// Places a top-level box replacing boxes[*old] (or a new one) by the ordered update of
// io/FreeSpace.h. False, with nothing written, when only a rewrite can place it.
bool PlaceTopLevel(WriteJournal& journal, const std::vector<Box>& boxes,
                   std::optional<std::size_t> old, const MakeBox& make,
                   std::vector<ByteRange> blank) {
  std::vector<Span> spans = SpansOf(boxes);
  UnitUpdate update;
  update.mSpans = spans;
  update.mOld = old;
  update.mContainerEnd = journal.File().Size();
  update.mCanAppend = EndLastBox(journal, boxes);
  update.mMake = make;
  update.mBlank = std::move(blank);
  return PlaceUnit(journal, IsoFrame(), update);
}

// Retires every box of `type` (or XMP uuid box, for kUuid) after the first: copies left by
// an interrupted update. Readers take the first, so what they read does not change.
bool RetireExtraCopies(WriteJournal& journal, const Layout& layout, std::uint32_t type) {
  bool first = true, retired = false;
  for (const Box& box : layout.mTop.mBoxes) {
    bool match = type == kUuid ? box.IsXmpUuid() : box.mType == type;
    if (!match) continue;
    if (!first) {
      RetireUnit(journal, IsoFrame(), SpanOf(box),
                 {type == kUuid ? PayloadOf(box) : MoovPacket(journal.File(), box)});
      retired = true;
    }
    first = false;
  }
  return retired;
}

// Rewrites the whole file with `content` replacing boxes[*replace] (or inserted before
// boxes[insertAt] without one), every box that runs to the end given its real size, and the
// chunk offsets of moov following the media they point into.
void RewriteWhole(Storage& file, const Layout& layout, std::optional<std::size_t> replace,
                  std::size_t insertAt, const Bytes& content) {
  const std::vector<Box>& boxes = layout.mTop.mBoxes;
  struct Item {
    const Box* mOld = nullptr;  // copied from the file, or
    Bytes mBytes;               // written as given
  };
  std::vector<Item> items;
  for (std::size_t i = 0; i <= boxes.size(); ++i) {
    if (!replace && i == insertAt) items.push_back({nullptr, content});
    if (i == boxes.size()) break;
    if (boxes[i].mType == kMoof) {
      throw FileError(ErrorKind::kUnsupported,
                      "fragmented movie: the XMP cannot be placed without moving media data");
    }
    if (i == replace) {
      items.push_back({nullptr, content});
    } else {
      items.push_back({&boxes[i], {}});
    }
  }
  // Lay out the new file; each copied box's payload keeps its bytes, maybe behind a
  // different header.
  std::vector<Bytes> headers(items.size());
  std::vector<Segment> moves;
  std::uint64_t pos = 0;
  std::optional<std::size_t> moovItem;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (const Box* old = items[k].mOld) {
      bool uuid = old->mType == kUuid;
      std::uint64_t payload = old->DataSize();
      std::uint32_t headerSize = HeaderSizeFor(payload, uuid ? UserType::kUuid : UserType::kNone);
      AppendBoxHeader(headers[k], old->mType, headerSize + payload,
                      uuid ? &old->mUserType : nullptr);
      moves.push_back({old->DataOffset(), old->End(), pos + headerSize});
      if (old->mType == kMoov && !moovItem) moovItem = k;
      pos += headerSize + payload;
    } else {
      if (content.size() >= kBoxHeaderSize && GetU32BE(content.data() + 4) == kMoov) moovItem = k;
      pos += items[k].mBytes.size();
    }
  }
  if (moovItem) {
    Item& item = items[*moovItem];
    if (item.mOld) {
      if (item.mOld->DataSize() > kMaxMoovSize) {
        ThrowFormat("box 'moov' of " + std::to_string(item.mOld->mSize) +
                    " bytes is too large to edit");
      }
      item.mBytes = headers[*moovItem];
      Bytes data =
          file.Read(item.mOld->DataOffset(), static_cast<std::size_t>(item.mOld->DataSize()));
      AppendBytes(item.mBytes, data);
      item.mOld = nullptr;
    }
    MoveChunkOffsets(item.mBytes, moves);
  }
  auto rewrite = file.StartRewrite();
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (const Box* old = items[k].mOld) {
      rewrite->Append(headers[k]);
      rewrite->AppendFrom(file, old->DataOffset(), old->DataSize());
    } else {
      rewrite->Append(items[k].mBytes);
    }
  }
  rewrite->Commit();
}

// Writes a packet that fits the old box's payload exactly over it. False when it does not.
bool WriteInPlace(WriteJournal& journal, const Box& old, const PacketText& packet) {
  auto fitted = packet.FitTo(static_cast<std::size_t>(std::min(old.DataSize(), kMaxPacketSize)));
  if (!fitted || fitted->size() != old.DataSize()) return false;
  journal.File().CheckIdentity();
  journal.Write(old.DataOffset(), *fitted);
  journal.Sync();
  return true;
}

// A new box goes right after moov (or after the first box when there is none).
std::size_t RewriteInsertAt(const Layout& layout) {
  return layout.mMoov ? *layout.mMoov + 1 : std::min<std::size_t>(1, layout.mTop.mBoxes.size());
}

// False when the whole file must be rewritten.
bool WriteIso(WriteJournal& journal, const Layout& layout, const PacketText& packet) {
  const std::vector<Box>& boxes = layout.mTop.mBoxes;
  std::vector<ByteRange> blank;
  if (layout.mXmpUuid) {
    const Box& old = boxes[*layout.mXmpUuid];
    if (WriteInPlace(journal, old, packet)) return true;
    blank.push_back(PayloadOf(old));
  }
  MakeBox make = [&](std::uint64_t extra) { return MakeUuidBox(PaddedPacket(packet, extra)); };
  return PlaceTopLevel(journal, boxes, layout.mXmpUuid, make, blank);
}

bool WriteQuickTime(WriteJournal& journal, const Layout& layout, const PacketText& packet) {
  if (!layout.mMoov) ThrowFormat("QuickTime movie without a 'moov' box");
  Storage& file = journal.File();
  const Box& moov = layout.mTop.mBoxes[*layout.mMoov];
  std::vector<ByteRange> blank;
  if (layout.mXmpAtom) {
    if (WriteInPlace(journal, *layout.mXmpAtom, packet)) return true;
    blank.push_back(PayloadOf(*layout.mXmpAtom));
  }
  MakeBox make = [&](std::uint64_t extra) {
    return BuildMoov(file, moov, PaddedPacket(packet, extra));
  };
  return PlaceTopLevel(journal, layout.mTop.mBoxes, layout.mMoov, make, blank);
}

}  // namespace

std::optional<Flavor> DetectFlavor(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
  if (head.size() < kBoxHeaderSize + 4) return std::nullopt;
  BufReader in(head, Endian::kBig, "first box");
  std::uint64_t size = in.U32();
  std::uint32_t type = in.U32();
  if (type == kFtyp) {
    if (size < kMinFtypSize || size > fileSize) return std::nullopt;
    std::uint32_t brand = in.U32();
    if (brand == FourCC("qt  ")) return Flavor::kQuickTime;
    if (heif::DetectFamily(head)) return std::nullopt;  // any HEIF or AVIF brand
    for (std::uint32_t image : kImageBrands) {
      if (brand == image) return std::nullopt;
    }
    return Flavor::kIso;
  }
  for (std::uint32_t first : kQuickTimeFirstBoxes) {
    if (type != first) continue;
    bool sane = size == 0 || (size == 1 && fileSize >= kLargeBoxHeaderSize) ||
                (size >= kBoxHeaderSize && size <= fileSize);
    return sane ? std::optional<Flavor>(Flavor::kQuickTime) : std::nullopt;
  }
  return std::nullopt;
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  Layout layout = Scan(file, OnDamage::kTolerate);
  std::optional<Box> uuid;
  if (layout.mXmpUuid) uuid = layout.mTop.mBoxes[*layout.mXmpUuid];
  std::optional<Box> first = layout.mFlavor == Flavor::kIso ? uuid : layout.mXmpAtom;
  std::optional<Box> second = layout.mFlavor == Flavor::kIso ? layout.mXmpAtom : uuid;
  const std::optional<Box>& box = first ? first : second;
  if (!box) return std::nullopt;
  const auto uuids = std::count_if(layout.mTop.mBoxes.begin(), layout.mTop.mBoxes.end(),
                                   [](const Box& b) { return b.IsXmpUuid(); });
  if (first && second) {
    XMP_ReportWarning(std::string("the file holds XMP both in a top-level 'uuid' box and in "
                                  "moov/udta/XMP_; the ") +
                      (layout.mFlavor == Flavor::kIso ? "'uuid' box" : "XMP_ atom") +
                      " is read, and a write keeps only that place");
  }
  if (uuids > 1) {
    XMP_ReportWarning(
        "the file holds " + std::to_string(uuids) +
        " top-level XMP 'uuid' boxes; the first is read, and a write keeps only that one");
  }
  FoundPacket found;
  found.mPacket = ReadPacketBytes(file, box->DataOffset(), box->DataSize());
  found.mInfo = DescribePacket(found.mPacket, static_cast<std::int64_t>(box->DataOffset()));
  return found;
}

void WriteXmp(Storage& file, const PacketText& packet, const WriteOptions& options) {
  if (packet.Text().size() > kMaxPacketSize) {
    throw FileError(ErrorKind::kBadParam, "packet of " + std::to_string(packet.Text().size()) +
                                              " bytes is larger than an XMP box may be");
  }
  Layout layout = Scan(file, OnDamage::kRefuse);
  const bool iso = layout.mFlavor == Flavor::kIso;
  if (options.mForceRewrite) {
    if (iso)
      return RewriteWhole(file, layout, layout.mXmpUuid, RewriteInsertAt(layout),
                          MakeUuidBox(packet.Text()));
    if (!layout.mMoov) ThrowFormat("QuickTime movie without a 'moov' box");
    const Box& moov = layout.mTop.mBoxes[*layout.mMoov];
    return RewriteWhole(file, layout, layout.mMoov, 0, BuildMoov(file, moov, packet.Text()));
  }
  WriteJournal journal(file);
  // Copies left by an interrupted update go first; readers already take the first one.
  bool retired = RetireExtraCopies(journal, layout, kUuid);
  retired = RetireExtraCopies(journal, layout, kMoov) || retired;
  if (retired) layout = Scan(file, OnDamage::kRefuse);
  bool placed = iso ? WriteIso(journal, layout, packet) : WriteQuickTime(journal, layout, packet);
  if (!placed) {
    journal.Complete();
    if (iso)
      return RewriteWhole(file, layout, layout.mXmpUuid, RewriteInsertAt(layout),
                          MakeUuidBox(packet.Text()));
    const Box& moov = layout.mTop.mBoxes[*layout.mMoov];
    return RewriteWhole(file, layout, layout.mMoov, 0, BuildMoov(file, moov, packet.Text()));
  }
  // A packet left in the other place would contradict the new one: retire it.
  Layout after = Scan(file, OnDamage::kRefuse);
  if (iso && after.mXmpAtom) {
    RetireUnit(journal, IsoFrame(), SpanOf(*after.mXmpAtom), {PayloadOf(*after.mXmpAtom)});
  } else if (!iso && after.mXmpUuid) {
    const Box& old = after.mTop.mBoxes[*after.mXmpUuid];
    RetireUnit(journal, IsoFrame(), SpanOf(old), {PayloadOf(old)});
  }
  journal.Complete();
}

}  // namespace xmpfiles::iso
