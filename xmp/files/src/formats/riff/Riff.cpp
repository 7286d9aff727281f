#include "formats/riff/Riff.h"

#include <algorithm>
#include <functional>

#include "io/Endian.h"
#include "io/FreeSpace.h"
#include "io/WriteJournal.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles::riff {

namespace {

constexpr std::uint32_t kRiff = FourCC("RIFF");
constexpr std::uint32_t kPmx = FourCC("_PMX");
constexpr std::uint32_t kJunk = FourCC("JUNK");

std::string IdName(std::uint32_t id) {
  std::string name = FourCCString(id);
  for (char& c : name) {
    if (c < 0x20 || c > 0x7E) c = '?';
  }
  return name;
}

int FindChunk(const Layout& layout, std::uint32_t id) {
  for (std::size_t i = 0; i < layout.mChunks.size(); ++i) {
    if (layout.mChunks[i].mId == id) return static_cast<int>(i);
  }
  return -1;
}

// The form's size limit: its 32-bit size field counts the bytes after the first 8.
constexpr std::uint64_t kMaxFormEnd = 0xFFFFFFFFull + 8;

// JUNK chunks for the placement of a new chunk, and the form size that follows its end.
ContainerFrame RiffFrame() {
  ContainerFrame frame;
  frame.mFreeHeader = [](std::uint64_t total) {
    Bytes header;
    AppendU32(header, kJunk, Endian::kBig);
    AppendU32(header, static_cast<std::uint32_t>(total - 8), Endian::kLittle);
    return header;
  };
  frame.mMaxFreeUnit = 0xFFFFFFFFull + 8;
  frame.mMaxEnd = kMaxFormEnd;
  frame.mSetEnd = [](WriteJournal& journal, std::uint64_t end) {
    Bytes size;
    AppendU32(size, static_cast<std::uint32_t>(end - 8), Endian::kLittle);
    journal.Write(4, size);
  };
  return frame;
}

Span SpanOf(const Chunk& chunk) {
  return {chunk.mOffset, chunk.End(), chunk.mId == kJunk};
}

ByteRange PayloadOf(const Chunk& chunk) {
  return {chunk.DataOffset(), chunk.DataOffset() + chunk.mSize};
}

// True when the bytes after the form are one JUNK chunk reaching the end of the file: what
// an update interrupted before its form size was written leaves behind.
bool LeftoverAfterForm(Storage& file, const Layout& layout) {
  if (file.Size() - layout.mFormEnd < 8) return false;
  std::uint8_t header[8];
  file.ReadAt(layout.mFormEnd, header, 8);
  return GetU32BE(header) == kJunk && layout.mFormEnd + 8 + GetU32LE(header) == file.Size();
}

// The whole '_PMX' chunk for the packet grown by `extra` (even) bytes of padding.
Bytes MakePmx(const PacketText& packet, std::uint64_t extra) {
  std::string text = packet.Text();
  if (extra > 0) {
    auto padded = packet.FitTo(text.size() + static_cast<std::size_t>(extra));
    text = padded ? *padded : text + std::string(static_cast<std::size_t>(extra), ' ');
  }
  Bytes chunk;
  AppendU32(chunk, kPmx, Endian::kBig);
  AppendU32(chunk, static_cast<std::uint32_t>(text.size()), Endian::kLittle);
  AppendBytes(chunk, text);
  if (text.size() & 1) chunk.push_back(0);
  return chunk;
}

}  // namespace

std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head) {
  if (head.size() < 12 || GetU32BE(head.data()) != kRiff) return std::nullopt;
  std::uint32_t form = GetU32BE(head.data() + 8);
  if (form == kFormWave || form == kFormAvi) return form;
  return std::nullopt;
}

Layout Scan(Storage& file, bool strict) {
  std::uint8_t head[12];
  if (file.ReadSome(0, head, 12) != 12 || !DetectForm(head)) {
    ThrowFormat("not a RIFF WAVE or AVI file");
  }
  Layout layout;
  layout.mForm = GetU32BE(head + 8);
  layout.mFormEnd = 8 + std::uint64_t{GetU32LE(head + 4)};
  if (layout.mFormEnd < 12)
    ThrowFormat("RIFF size " + std::to_string(layout.mFormEnd - 8) +
                " is smaller than its form type");
  if (layout.mFormEnd > file.Size()) {
    std::string damage = "RIFF claims " + std::to_string(layout.mFormEnd - 8) + " bytes, " +
                         std::to_string(file.Size() - 8) + " remain";
    if (strict) ThrowFormat(damage);
    layout.mFormEnd = file.Size();
  }
  std::uint64_t pos = 12;
  while (pos < layout.mFormEnd) {
    if (layout.mChunks.size() >= kMaxChunks) {
      ThrowFormat("more than " + std::to_string(kMaxChunks) + " chunks in the RIFF form");
    }
    std::uint8_t header[8];
    std::uint64_t room = layout.mFormEnd - pos;
    if (room < 8 || file.ReadSome(pos, header, 8) != 8) {
      layout.mDamage = "chunk header at offset " + std::to_string(pos) + " needs 8 bytes, " +
                       std::to_string(room) + " remain";
      break;
    }
    Chunk chunk{pos, GetU32BE(header), GetU32LE(header + 4)};
    if (chunk.mSize > room - 8) {
      layout.mDamage = "chunk '" + IdName(chunk.mId) + "' at offset " + std::to_string(pos) +
                       " claims " + std::to_string(chunk.mSize) + " bytes, " +
                       std::to_string(room - 8) + " remain";
      break;
    }
    layout.mChunks.push_back(chunk);
    // The pad byte of the last chunk may be missing; the next header check catches the rest.
    pos = chunk.End();
  }
  if (strict && !layout.mDamage.empty()) ThrowFormat(layout.mDamage);
  return layout;
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  Layout layout = Scan(file, false);
  int index = FindChunk(layout, kPmx);
  if (index < 0) return std::nullopt;
  const Chunk& chunk = layout.mChunks[static_cast<std::size_t>(index)];
  const auto copies = std::count_if(layout.mChunks.begin(), layout.mChunks.end(),
                                    [](const Chunk& c) { return c.mId == kPmx; });
  if (copies > 1) {
    XMP_ReportWarning("the RIFF form holds " + std::to_string(copies) +
                      " '_PMX' chunks; the first is read");
  }
  if (chunk.mSize > kMaxPacketSize) {
    ThrowFormat("'_PMX' chunk of " + std::to_string(chunk.mSize) +
                " bytes is larger than any packet");
  }
  FoundPacket found;
  found.mPacket = file.ReadString(chunk.DataOffset(), chunk.mSize);
  while (!found.mPacket.empty() && found.mPacket.back() == '\0')
    found.mPacket.pop_back();
  found.mInfo = DescribePacket(found.mPacket, static_cast<std::int64_t>(chunk.DataOffset()));
  return found;
}

void WriteXmp(Storage& file, const PacketText& packet) {
  if (packet.Text().size() > kMaxPacketSize) {
    throw FileError(ErrorKind::kBadParam, "packet of " + std::to_string(packet.Text().size()) +
                                              " bytes is larger than a '_PMX' chunk may be");
  }
  Layout layout = Scan(file, true);
  WriteJournal journal(file);
  // Copies left by an interrupted update go first; readers already take the first one.
  int old = FindChunk(layout, kPmx);
  bool retired = false;
  for (std::size_t i = static_cast<std::size_t>(old + 1); old >= 0 && i < layout.mChunks.size();
       ++i) {
    const Chunk& chunk = layout.mChunks[i];
    if (chunk.mId != kPmx) continue;
    RetireUnit(journal, RiffFrame(), SpanOf(chunk), {PayloadOf(chunk)});
    retired = true;
  }
  if (layout.mFormEnd < file.Size() && LeftoverAfterForm(file, layout)) {
    journal.Truncate(layout.mFormEnd);
    journal.Sync();
  }
  if (retired) layout = Scan(file, true);
  std::vector<ByteRange> blank;
  if (old >= 0) {
    const Chunk& chunk = layout.mChunks[static_cast<std::size_t>(old)];
    auto fitted = packet.FitTo(chunk.mSize);
    if (fitted && fitted->size() == chunk.mSize) {
      file.CheckIdentity();
      journal.Write(chunk.DataOffset(), *fitted);
      journal.Sync();
      return journal.Complete();
    }
    blank.push_back(PayloadOf(chunk));
  }
  std::vector<Span> spans;
  for (const Chunk& chunk : layout.mChunks)
    spans.push_back(SpanOf(chunk));
  UnitUpdate update;
  update.mSpans = spans;
  if (old >= 0) update.mOld = static_cast<std::size_t>(old);
  update.mContainerEnd = layout.mFormEnd;
  update.mCanAppend = layout.mFormEnd == file.Size();
  update.mMake = [&](std::uint64_t extra) { return MakePmx(packet, extra); };
  update.mBlank = blank;
  if (!PlaceUnit(journal, RiffFrame(), update)) {
    throw FileError(ErrorKind::kUnsupported,
                    "the RIFF form is followed by " +
                        std::to_string(file.Size() - layout.mFormEnd) +
                        " more bytes and has no room for the XMP; adding it would move media data");
  }
  journal.Complete();
}

}  // namespace xmpfiles::riff
