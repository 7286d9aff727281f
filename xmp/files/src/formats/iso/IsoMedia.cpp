#include "formats/iso/IsoMedia.h"

#include <algorithm>
#include <functional>

#include "formats/iso/ChunkOffsets.h"
#include "formats/iso/PacketFit.h"
#include "io/Endian.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles::iso {

namespace {

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
  Flavor flavor = Flavor::kIso;
  BoxList top;
  int moov = -1;     // index in top.boxes
  int xmpUuid = -1;  // index in top.boxes
  std::optional<Box> udta;
  std::optional<Box> xmpAtom;  // moov/udta/XMP_
};

// Raised when the packet cannot be placed without moving media data.
struct NeedRewrite {
  std::string reason;
};

Flavor FlavorOf(Storage& file) {
  std::uint8_t head[32];
  std::size_t n = file.ReadSome(0, head, sizeof head);
  auto flavor = DetectFlavor({head, n}, file.Size());
  if (!flavor) ThrowFormat("not an ISO base media or QuickTime file");
  return *flavor;
}

const Box* FindChild(const BoxList& list, std::uint32_t type) {
  for (const Box& box : list.boxes) {
    if (box.type == type) return &box;
  }
  return nullptr;
}

Layout Scan(Storage& file, bool strict) {
  Layout layout;
  layout.flavor = FlavorOf(file);
  layout.top = ListBoxes(file, 0, file.Size());
  if (strict && !layout.top.damage.empty()) ThrowFormat(layout.top.damage);
  for (std::size_t i = 0; i < layout.top.boxes.size(); ++i) {
    const Box& box = layout.top.boxes[i];
    if (box.type == kMoov && layout.moov < 0) layout.moov = static_cast<int>(i);
    if (box.IsXmpUuid() && layout.xmpUuid < 0) layout.xmpUuid = static_cast<int>(i);
  }
  if (layout.moov < 0) return layout;
  const Box& moov = layout.top.boxes[static_cast<std::size_t>(layout.moov)];
  BoxList children = ListBoxes(file, moov.DataOffset(), moov.End());
  if (const Box* udta = FindChild(children, kUdta)) {
    layout.udta = *udta;
    BoxList items = ListBoxes(file, udta->DataOffset(), udta->End());
    if (const Box* xmp = FindChild(items, kXmpBox)) layout.xmpAtom = *xmp;
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

void WriteBytes(Storage& file, std::uint64_t offset, const Bytes& bytes) {
  file.WriteAt(offset, bytes.data(), bytes.size());
}
void WriteBytes(Storage& file, std::uint64_t offset, const std::string& bytes) {
  file.WriteAt(offset, bytes.data(), bytes.size());
}

// Turns a box into free space: its type becomes 'free' and the packet bytes it held (the
// range [blankFrom, blankTo)) are blanked so that packet scanners do not find stale XMP.
void Retire(Storage& file, const Box& box, std::uint64_t blankFrom, std::uint64_t blankTo) {
  static const std::uint8_t kFreeType[4] = {'f', 'r', 'e', 'e'};
  if (blankTo > blankFrom) {
    std::string blank(static_cast<std::size_t>(std::min(blankTo - blankFrom, kMaxPacketSize)), ' ');
    WriteBytes(file, blankFrom, blank);
  }
  file.WriteAt(box.offset + 4, kFreeType, 4);
}

// The payload (packet) grown by `extra` bytes of padding.
std::string PaddedPacket(const PacketText& packet, std::uint64_t extra) {
  if (extra == 0) return packet.Text();
  auto padded = FitPacket(packet, packet.Text().size() + static_cast<std::size_t>(extra));
  return padded ? *padded : packet.Text() + std::string(static_cast<std::size_t>(extra), ' ');
}

Bytes MakeUuidBox(const std::string& payload) {
  Bytes box;
  std::uint64_t total = HeaderSizeFor(payload.size(), true) + payload.size();
  AppendBoxHeader(box, kUuid, total, &kXmpUuid);
  AppendBytes(box, payload);
  return box;
}

void AppendBox(Bytes& out, std::uint32_t type, std::span<const std::uint8_t> payload) {
  AppendBoxHeader(out, type, HeaderSizeFor(payload.size(), false) + payload.size());
  AppendBytes(out, payload);
}

// Copies a child box into a rebuilt container. A child whose size said "to the end of the
// container" gets its real size, since boxes may now follow it.
void AppendChild(Bytes& out, std::span<const std::uint8_t> bytes, const Box& child) {
  if (!child.toEnd) return AppendBytes(out, bytes);
  std::size_t at = out.size();
  AppendBytes(out, bytes);
  PutU32(&out[at], static_cast<std::uint32_t>(child.size), Endian::kBig);
}

// The udta payload with its XMP_ box replaced (or added) by one holding `packet`. A
// QuickTime terminator (four zero bytes after the last item) is kept last.
Bytes RebuildUdta(std::span<const std::uint8_t> udta, const std::string& packet) {
  BoxList items = ListBoxes(udta.data(), udta.size());
  std::size_t parsed = items.boxes.empty() ? 0 : static_cast<std::size_t>(items.boxes.back().End());
  std::span<const std::uint8_t> tail = udta.subspan(parsed);
  bool terminator = tail.size() == 4 && GetU32BE(tail.data()) == 0;
  if (!items.damage.empty() && !terminator && !tail.empty()) ThrowFormat("udta: " + items.damage);
  Bytes out;
  bool placed = false;
  for (const Box& item : items.boxes) {
    if (item.type == kXmpBox && !placed) {
      AppendBox(out, kXmpBox, AsBytes(packet));
      placed = true;
    } else {
      AppendChild(out, udta.subspan(item.offset, item.size), item);
    }
  }
  if (!placed) AppendBox(out, kXmpBox, AsBytes(packet));
  AppendBytes(out, tail);
  return out;
}

// A whole new moov box: the old one with udta/XMP_ holding `packet`.
Bytes BuildMoov(Storage& file, const Box& moov, const std::string& packet) {
  if (moov.DataSize() > kMaxMoovSize) {
    ThrowFormat("box 'moov' of " + std::to_string(moov.size) + " bytes is too large to edit");
  }
  Bytes data = file.Read(moov.DataOffset(), static_cast<std::size_t>(moov.DataSize()));
  BoxList children = ListBoxes(data.data(), data.size());
  if (!children.damage.empty()) ThrowFormat("moov: " + children.damage);
  Bytes payload;
  bool placed = false;
  for (const Box& child : children.boxes) {
    std::span<const std::uint8_t> bytes(data.data() + child.offset, child.size);
    if (child.type == kUdta && !placed) {
      Bytes udta = RebuildUdta(bytes.subspan(child.headerSize), packet);
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

// Writes `content` over [start, end) of the file, filling what is left with a free box (or,
// when too little is left for one, with more padding). Returns false when it does not fit.
// A range that ends at the end of the file always fits: the file grows or shrinks.
bool PlaceIn(Storage& file, std::uint64_t start, std::uint64_t end, const Bytes& content,
             const MakeBox& make) {
  const std::uint64_t n = content.size();
  const std::uint64_t room = end - start;
  if (end == file.Size()) {
    WriteBytes(file, start, content);
    if (start + n < end) file.Truncate(start + n);
    return true;
  }
  if (room < n) return false;
  if (room == n || room - n >= 8) {
    WriteBytes(file, start, content);
    if (room > n) WriteFreeHeader(file, start + n, room - n);
  } else {
    WriteBytes(file, start, make(room - n));
  }
  return true;
}

// Places a top-level box that replaces `boxes[oldIndex]` (or is new when oldIndex < 0)
// without moving any other box: in the old box's place (with the free boxes after it), in a
// run of free boxes, or at the end of the file. `retire` turns the old box into free space
// once the new one is in place elsewhere.
void PlaceTopLevel(Storage& file, const std::vector<Box>& boxes, int oldIndex, const MakeBox& make,
                   const std::function<void()>& retire) {
  // Built before anything is written, so that a failure to build changes nothing.
  const Bytes content = make(0);
  if (oldIndex >= 0) {
    std::size_t j = static_cast<std::size_t>(oldIndex);
    std::uint64_t start = boxes[j].offset;
    std::uint64_t end = boxes[j].End();
    while (++j < boxes.size() && boxes[j].IsFree())
      end = boxes[j].End();
    if (PlaceIn(file, start, end, content, make)) return;
  }
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    if (!boxes[i].IsFree()) continue;
    std::size_t j = i;
    std::uint64_t end = boxes[i].End();
    while (j + 1 < boxes.size() && boxes[j + 1].IsFree())
      end = boxes[++j].End();
    if (PlaceIn(file, boxes[i].offset, end, content, make)) {
      if (oldIndex >= 0) retire();
      return;
    }
    i = j;
  }
  // Append. A last box that runs to the end of the file gets its real size first.
  if (!boxes.empty() && boxes.back().toEnd) {
    const Box& last = boxes.back();
    if (last.size > 0xFFFFFFFFull) {
      throw NeedRewrite{"box '" + TypeName(last.type) +
                        "' runs to the end of the file and needs a 64-bit size"};
    }
    std::uint8_t size[4];
    PutU32(size, static_cast<std::uint32_t>(last.size), Endian::kBig);
    file.WriteAt(last.offset, size, 4);
  }
  WriteBytes(file, file.Size(), content);
  if (oldIndex >= 0) retire();
}

// Rewrites the whole file with `content` replacing boxes[replace] (or inserted before
// boxes[insertAt] when replace < 0), every box that runs to the end given its real size,
// and the chunk offsets of moov following the media they point into.
void RewriteWhole(Storage& file, const Layout& layout, int replace, std::size_t insertAt,
                  const Bytes& content) {
  const std::vector<Box>& boxes = layout.top.boxes;
  struct Item {
    const Box* old = nullptr;  // copied from the file, or
    Bytes bytes;               // written as given
  };
  std::vector<Item> items;
  for (std::size_t i = 0; i <= boxes.size(); ++i) {
    if (replace < 0 && i == insertAt) items.push_back({nullptr, content});
    if (i == boxes.size()) break;
    if (boxes[i].type == kMoof) {
      throw FileError(ErrorKind::kUnsupported,
                      "fragmented movie: the XMP cannot be placed without moving media data");
    }
    if (static_cast<int>(i) == replace) {
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
  int moovItem = -1;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (const Box* old = items[k].old) {
      bool uuid = old->type == kUuid;
      std::uint64_t payload = old->DataSize();
      std::uint32_t headerSize = HeaderSizeFor(payload, uuid);
      AppendBoxHeader(headers[k], old->type, headerSize + payload, uuid ? &old->userType : nullptr);
      moves.push_back({old->DataOffset(), old->End(), pos + headerSize});
      if (old->type == kMoov && moovItem < 0) moovItem = static_cast<int>(k);
      pos += headerSize + payload;
    } else {
      if (content.size() >= 8 && GetU32BE(content.data() + 4) == kMoov)
        moovItem = static_cast<int>(k);
      pos += items[k].bytes.size();
    }
  }
  if (moovItem >= 0) {
    Item& item = items[static_cast<std::size_t>(moovItem)];
    if (item.old) {
      if (item.old->DataSize() > kMaxMoovSize) {
        ThrowFormat("box 'moov' of " + std::to_string(item.old->size) +
                    " bytes is too large to edit");
      }
      item.bytes = headers[static_cast<std::size_t>(moovItem)];
      Bytes data =
          file.Read(item.old->DataOffset(), static_cast<std::size_t>(item.old->DataSize()));
      AppendBytes(item.bytes, data);
      item.old = nullptr;
    }
    MoveChunkOffsets(item.bytes, moves);
  }
  auto rewrite = file.StartRewrite();
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (const Box* old = items[k].old) {
      rewrite->Append(headers[k]);
      rewrite->AppendFrom(file, old->DataOffset(), old->DataSize());
    } else {
      rewrite->Append(items[k].bytes);
    }
  }
  rewrite->Commit();
}

void WriteIso(Storage& file, const Layout& layout, const PacketText& packet,
              const WriteOptions& options) {
  const std::vector<Box>& boxes = layout.top.boxes;
  if (layout.xmpUuid >= 0 && !options.forceRewrite) {
    const Box& old = boxes[static_cast<std::size_t>(layout.xmpUuid)];
    if (auto fitted =
            FitPacket(packet, static_cast<std::size_t>(std::min(old.DataSize(), kMaxPacketSize)))) {
      if (fitted->size() == old.DataSize()) return WriteBytes(file, old.DataOffset(), *fitted);
    }
  }
  MakeBox make = [&](std::uint64_t extra) { return MakeUuidBox(PaddedPacket(packet, extra)); };
  try {
    if (options.forceRewrite) throw NeedRewrite{"asked for"};
    PlaceTopLevel(file, boxes, layout.xmpUuid, make, [&] {
      const Box& old = boxes[static_cast<std::size_t>(layout.xmpUuid)];
      Retire(file, old, old.DataOffset(), old.End());
    });
  } catch (const NeedRewrite&) {
    // A new box goes right after moov (or after the first box when there is none).
    std::size_t insertAt = layout.moov >= 0 ? static_cast<std::size_t>(layout.moov) + 1
                                            : std::min<std::size_t>(1, boxes.size());
    RewriteWhole(file, layout, layout.xmpUuid, insertAt, make(0));
  }
}

void WriteQuickTime(Storage& file, const Layout& layout, const PacketText& packet,
                    const WriteOptions& options) {
  if (layout.moov < 0) ThrowFormat("QuickTime movie without a 'moov' box");
  const std::vector<Box>& boxes = layout.top.boxes;
  const Box& moov = boxes[static_cast<std::size_t>(layout.moov)];
  if (layout.xmpAtom && !options.forceRewrite) {
    const Box& old = *layout.xmpAtom;
    if (auto fitted =
            FitPacket(packet, static_cast<std::size_t>(std::min(old.DataSize(), kMaxPacketSize)))) {
      if (fitted->size() == old.DataSize()) return WriteBytes(file, old.DataOffset(), *fitted);
    }
  }
  MakeBox make = [&](std::uint64_t extra) {
    return BuildMoov(file, moov, PaddedPacket(packet, extra));
  };
  try {
    if (options.forceRewrite) throw NeedRewrite{"asked for"};
    PlaceTopLevel(file, boxes, layout.moov, make, [&] {
      std::uint64_t from = layout.xmpAtom ? layout.xmpAtom->DataOffset() : 0;
      std::uint64_t to = layout.xmpAtom ? layout.xmpAtom->End() : 0;
      Retire(file, moov, from, to);
    });
  } catch (const NeedRewrite&) {
    RewriteWhole(file, layout, layout.moov, 0, make(0));
  }
}

}  // namespace

std::optional<Flavor> DetectFlavor(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
  if (head.size() < 8) return std::nullopt;
  std::uint64_t size = GetU32BE(head.data());
  std::uint32_t type = GetU32BE(head.data() + 4);
  if (type == kFtyp) {
    if (size < 16 || size > fileSize || head.size() < 12) return std::nullopt;
    std::uint32_t brand = GetU32BE(head.data() + 8);
    if (brand == FourCC("qt  ")) return Flavor::kQuickTime;
    for (std::uint32_t image : kImageBrands) {
      if (brand == image) return std::nullopt;
    }
    return Flavor::kIso;
  }
  for (std::uint32_t first : kQuickTimeFirstBoxes) {
    if (type != first) continue;
    bool sane = size == 0 || (size == 1 && fileSize >= 16) || (size >= 8 && size <= fileSize);
    return sane ? std::optional<Flavor>(Flavor::kQuickTime) : std::nullopt;
  }
  return std::nullopt;
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  Layout layout = Scan(file, false);
  std::optional<Box> uuid;
  if (layout.xmpUuid >= 0) uuid = layout.top.boxes[static_cast<std::size_t>(layout.xmpUuid)];
  std::optional<Box> first = layout.flavor == Flavor::kIso ? uuid : layout.xmpAtom;
  std::optional<Box> second = layout.flavor == Flavor::kIso ? layout.xmpAtom : uuid;
  const std::optional<Box>& box = first ? first : second;
  if (!box) return std::nullopt;
  const auto uuids = std::count_if(layout.top.boxes.begin(), layout.top.boxes.end(),
                                   [](const Box& b) { return b.IsXmpUuid(); });
  if (first && second) {
    XMP_ReportWarning(std::string("the file holds XMP both in a top-level 'uuid' box and in "
                                  "moov/udta/XMP_; the ") +
                      (layout.flavor == Flavor::kIso ? "'uuid' box" : "XMP_ atom") +
                      " is read, and a write keeps only that place");
  }
  if (uuids > 1) {
    XMP_ReportWarning("the file holds " + std::to_string(uuids) +
                      " top-level XMP 'uuid' boxes; the first is read");
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
  Layout layout = Scan(file, true);
  // With two candidates there is no telling which one readers take: refuse to guess.
  int moovs = 0, uuids = 0;
  for (const Box& box : layout.top.boxes) {
    moovs += box.type == kMoov;
    uuids += box.IsXmpUuid();
  }
  if (moovs > 1 || uuids > 1) {
    ThrowFormat("the file holds " + std::to_string(moovs > 1 ? moovs : uuids) +
                (moovs > 1 ? " 'moov' boxes" : " XMP boxes") +
                "; not writing into an ambiguous file");
  }
  if (layout.flavor == Flavor::kIso) {
    WriteIso(file, layout, packet, options);
  } else {
    WriteQuickTime(file, layout, packet, options);
  }
  // A packet left in the other place would contradict the new one: retire it.
  Layout after = Scan(file, true);
  if (after.flavor == Flavor::kIso && after.xmpAtom) {
    Retire(file, *after.xmpAtom, after.xmpAtom->DataOffset(), after.xmpAtom->End());
  } else if (after.flavor == Flavor::kQuickTime && after.xmpUuid >= 0) {
    const Box& old = after.top.boxes[static_cast<std::size_t>(after.xmpUuid)];
    Retire(file, old, old.DataOffset(), old.End());
  }
}

}  // namespace xmpfiles::iso
