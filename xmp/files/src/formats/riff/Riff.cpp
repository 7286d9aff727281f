#include "formats/riff/Riff.h"

#include <algorithm>
#include <functional>

#include "io/FreeSpace.h"
#include "io/WriteJournal.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles::riff {

namespace {

constexpr std::uint32_t kRiffForms[] = {kFormWave, kFormAvi};
constexpr ChunkFormat kWavAvi{kRiffDialect, kRiffForms, FourCC("_PMX"), 0, "RIFF WAVE or AVI"};
// Offset of the form size in the form header.
constexpr std::uint64_t kFormSizeOffset = 4;

std::string IdName(std::uint32_t id) {
  std::string name = FourCCString(id);
  for (char& c : name) {
    if (c < 0x20 || c > 0x7E) c = '?';
  }
  return name;
}

struct ChunkHeader {
  std::uint32_t mId = 0;
  std::uint32_t mSize = 0;
};

// An 8-byte header (a chunk's, or the form's magic and size): the id as a FourCC, the size
// in the dialect's byte order.
ChunkHeader ParseHeader(std::span<const std::uint8_t> bytes, const Dialect& dialect) {
  BufReader id(bytes.first(4), Endian::kBig, "chunk header");
  BufReader size(bytes.subspan(4, 4), dialect.mEndian, "chunk header");
  return {id.U32(), size.U32()};
}

Bytes MakeHeader(std::uint32_t id, std::uint64_t size, const Dialect& dialect) {
  Bytes header;
  AppendU32(header, id, Endian::kBig);
  AppendU32(header, static_cast<std::uint32_t>(size), dialect.mEndian);
  return header;
}

// Free chunks for the placement of a new chunk, and the form size that follows its end.
ContainerFrame FrameOf(const Dialect& dialect) {
  ContainerFrame frame;
  frame.mFreeHeaderSize = kChunkHeaderSize;
  frame.mFreeHeader = [dialect](std::uint64_t total) {
    return MakeHeader(dialect.mFreeId, total - kChunkHeaderSize, dialect);
  };
  frame.mMaxFreeUnit = dialect.mMaxSize + kChunkHeaderSize;
  // The form's size field counts the bytes after the first 8.
  frame.mMaxEnd = dialect.mMaxSize + 8;
  frame.mSetEnd = [dialect](WriteJournal& journal, std::uint64_t end) {
    Bytes size;
    AppendU32(size, static_cast<std::uint32_t>(end - 8), dialect.mEndian);
    journal.Write(kFormSizeOffset, size);
  };
  return frame;
}

Span SpanOf(const Chunk& chunk, const Dialect& dialect) {
  return {chunk.mOffset, chunk.End(), dialect.IsFree(chunk.mId)};
}

ByteRange PayloadOf(const Chunk& chunk) {
  return {chunk.DataOffset(), chunk.DataOffset() + chunk.mSize};
}

bool IsXmpChunk(Storage& file, const Chunk& chunk, const ChunkFormat& format) {
  if (chunk.mId != format.mXmpId) return false;
  if (format.mXmpSignature == 0) return true;
  std::uint8_t signature[4];
  return chunk.mSize >= 4 && file.ReadSome(chunk.DataOffset(), signature, 4) == 4 &&
         GetU32BE(signature) == format.mXmpSignature;
}

// Indices of the XMP chunks, in file order.
std::vector<std::size_t> XmpChunks(Storage& file, const Layout& layout, const ChunkFormat& format) {
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < layout.mChunks.size(); ++i) {
    if (IsXmpChunk(file, layout.mChunks[i], format)) found.push_back(i);
  }
  return found;
}

// The packet's bytes in an XMP chunk.
ByteRange PacketOf(const Chunk& chunk, const ChunkFormat& format) {
  ByteRange range = PayloadOf(chunk);
  if (format.mXmpSignature != 0) range.mOffset += 4;
  return range;
}

// True when the bytes after the form are one free chunk reaching the end of the file: what
// an update interrupted before its form size was written leaves behind.
bool LeftoverAfterForm(Storage& file, const Layout& layout, const Dialect& dialect) {
  if (file.Size() - layout.mFormEnd < kChunkHeaderSize) return false;
  std::uint8_t bytes[kChunkHeaderSize];
  file.ReadAt(layout.mFormEnd, bytes, kChunkHeaderSize);
  ChunkHeader header = ParseHeader(bytes, dialect);
  return dialect.IsFree(header.mId) &&
         layout.mFormEnd + kChunkHeaderSize + header.mSize == file.Size();
}

// The whole XMP chunk for the packet grown by `extra` (even) bytes of padding.
Bytes MakeXmpChunk(const ChunkFormat& format, const PacketText& packet, std::uint64_t extra) {
  std::string text = packet.Text();
  if (extra > 0) {
    auto padded = packet.FitTo(text.size() + static_cast<std::size_t>(extra));
    text = padded ? *padded : text + std::string(static_cast<std::size_t>(extra), ' ');
  }
  Bytes payload;
  if (format.mXmpSignature != 0) AppendU32(payload, format.mXmpSignature, Endian::kBig);
  AppendBytes(payload, text);
  Bytes chunk = MakeHeader(format.mXmpId, payload.size(), format.mDialect);
  AppendBytes(chunk, payload);
  if (payload.size() & 1) chunk.push_back(0);
  return chunk;
}

// Turns every XMP chunk after the first into free space: copies left by an interrupted
// update or by another writer. Readers already take the first one.
bool RetireCopies([[maybe_unused]] Storage& file, WriteJournal& journal, const Layout& layout,
                  const ChunkFormat& format, std::span<const std::size_t> xmp) {
  for (std::size_t i = 1; i < xmp.size(); ++i) {
    const Chunk& chunk = layout.mChunks[xmp[i]];
    RetireUnit(journal, FrameOf(format.mDialect), SpanOf(chunk, format.mDialect),
               {PacketOf(chunk, format)});
  }
  return xmp.size() > 1;
}

}  // namespace

std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head,
                                        const ChunkFormat& format) {
  if (head.size() < kFormHeaderSize) return std::nullopt;
  BufReader reader(head.first(kFormHeaderSize), Endian::kBig, "form header");
  if (reader.U32() != format.mDialect.mMagic) return std::nullopt;
  reader.Skip(4);
  const std::uint32_t form = reader.U32();
  if (format.mForms.empty() ||
      std::find(format.mForms.begin(), format.mForms.end(), form) != format.mForms.end())
    return form;
  return std::nullopt;
}

std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head) {
  return DetectForm(head, kWavAvi);
}

std::optional<std::size_t> FindChunk(const Layout& layout, std::uint32_t id, std::size_t from) {
  for (std::size_t i = from; i < layout.mChunks.size(); ++i) {
    if (layout.mChunks[i].mId == id) return i;
  }
  return std::nullopt;
}

Layout Scan(Storage& file, const ChunkFormat& format, bool strict) {
  const Dialect& dialect = format.mDialect;
  std::uint8_t head[kFormHeaderSize];
  if (file.ReadSome(0, head, kFormHeaderSize) != kFormHeaderSize || !DetectForm(head, format)) {
    ThrowFormat(std::string("not a ") + format.mName + " file");
  }
  Layout layout;
  const std::string magic = FourCCString(dialect.mMagic);
  layout.mForm = *DetectForm(head, format);
  layout.mFormEnd = 8 + std::uint64_t{ParseHeader(head, dialect).mSize};
  if (layout.mFormEnd < kFormHeaderSize)
    ThrowFormat(magic + " size " + std::to_string(layout.mFormEnd - 8) +
                " is smaller than its form type");
  if (layout.mFormEnd > file.Size()) {
    std::string damage = magic + " claims " + std::to_string(layout.mFormEnd - 8) + " bytes, " +
                         std::to_string(file.Size() - 8) + " remain";
    if (strict) ThrowFormat(damage);
    layout.mFormEnd = file.Size();
  } else if ((layout.mFormEnd & 1) && layout.mFormEnd < file.Size()) {
    // Some writers leave the last chunk's pad byte out of the form size.
    ++layout.mFormEnd;
  }
  std::uint64_t pos = kFormHeaderSize;
  while (pos < layout.mFormEnd) {
    if (layout.mChunks.size() >= kMaxChunks) {
      ThrowFormat("more than " + std::to_string(kMaxChunks) + " chunks in the " + magic + " form");
    }
    std::uint8_t bytes[kChunkHeaderSize];
    std::uint64_t room = layout.mFormEnd - pos;
    if (room < kChunkHeaderSize ||
        file.ReadSome(pos, bytes, kChunkHeaderSize) != kChunkHeaderSize) {
      layout.mDamage = "chunk header at offset " + std::to_string(pos) + " needs " +
                       std::to_string(kChunkHeaderSize) + " bytes, " + std::to_string(room) +
                       " remain";
      break;
    }
    ChunkHeader header = ParseHeader(bytes, dialect);
    Chunk chunk{pos, header.mId, header.mSize};
    if (chunk.mSize > room - kChunkHeaderSize) {
      layout.mDamage = "chunk '" + IdName(chunk.mId) + "' at offset " + std::to_string(pos) +
                       " claims " + std::to_string(chunk.mSize) + " bytes, " +
                       std::to_string(room - kChunkHeaderSize) + " remain";
      break;
    }
    layout.mChunks.push_back(chunk);
    // The pad byte of the last chunk may be missing; the next header check catches the rest.
    pos = chunk.End();
  }
  if (strict && !layout.mDamage.empty()) ThrowFormat(layout.mDamage);
  return layout;
}

Layout Scan(Storage& file, bool strict) {
  return Scan(file, kWavAvi, strict);
}

std::optional<FoundPacket> ReadXmp(Storage& file, const ChunkFormat& format) {
  Layout layout = Scan(file, format, false);
  const std::vector<std::size_t> xmp = XmpChunks(file, layout, format);
  if (xmp.empty()) return std::nullopt;
  const std::string name = IdName(format.mXmpId);
  if (xmp.size() > 1) {
    XMP_ReportWarning("the " + FourCCString(format.mDialect.mMagic) + " form holds " +
                      std::to_string(xmp.size()) + " XMP chunks ('" + name +
                      "'); the first is read");
  }
  const ByteRange range = PacketOf(layout.mChunks[xmp.front()], format);
  const std::uint64_t size = range.mEnd - range.mOffset;
  if (size > kMaxPacketSize) {
    ThrowFormat("'" + name + "' chunk of " + std::to_string(size) +
                " bytes is larger than any packet");
  }
  FoundPacket found;
  found.mPacket = file.ReadString(range.mOffset, static_cast<std::size_t>(size));
  while (!found.mPacket.empty() && found.mPacket.back() == '\0')
    found.mPacket.pop_back();
  found.mInfo = DescribePacket(found.mPacket, static_cast<std::int64_t>(range.mOffset));
  return found;
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  return ReadXmp(file, kWavAvi);
}

void WriteXmp(Storage& file, const ChunkFormat& format, const PacketText& packet) {
  const Dialect& dialect = format.mDialect;
  if (packet.Text().size() > kMaxPacketSize) {
    throw FileError(ErrorKind::kBadParam, "packet of " + std::to_string(packet.Text().size()) +
                                              " bytes is larger than an XMP chunk may be");
  }
  Layout layout = Scan(file, format, true);
  WriteJournal journal(file);
  bool changed = RetireCopies(file, journal, layout, format, XmpChunks(file, layout, format));
  if (layout.mFormEnd < file.Size() && LeftoverAfterForm(file, layout, dialect)) {
    journal.Truncate(layout.mFormEnd);
    journal.Sync();
    changed = true;
  }
  if (changed) layout = Scan(file, format, true);
  const std::vector<std::size_t> xmp = XmpChunks(file, layout, format);
  std::optional<std::size_t> old;
  std::vector<ByteRange> blank;
  if (!xmp.empty()) {
    old = xmp.front();
    const ByteRange range = PacketOf(layout.mChunks[*old], format);
    const std::size_t size = static_cast<std::size_t>(range.mEnd - range.mOffset);
    auto fitted = packet.FitTo(size);
    if (fitted && fitted->size() == size) {
      file.CheckIdentity();
      journal.Write(range.mOffset, *fitted);
      journal.Sync();
      return journal.Complete();
    }
    blank.push_back(range);
  }
  std::vector<Span> spans;
  for (const Chunk& chunk : layout.mChunks)
    spans.push_back(SpanOf(chunk, dialect));
  UnitUpdate update;
  update.mSpans = spans;
  update.mOld = old;
  update.mContainerEnd = layout.mFormEnd;
  update.mCanAppend = layout.mFormEnd == file.Size();
  update.mMake = [&](std::uint64_t extra) { return MakeXmpChunk(format, packet, extra); };
  update.mBlank = blank;
  if (!PlaceUnit(journal, FrameOf(dialect), update)) {
    throw FileError(ErrorKind::kUnsupported,
                    "the " + FourCCString(dialect.mMagic) + " form is followed by " +
                        std::to_string(file.Size() - layout.mFormEnd) +
                        " more bytes and has no room for the XMP; adding it would move media data");
  }
  journal.Complete();
}

void WriteXmp(Storage& file, const PacketText& packet) {
  WriteXmp(file, kWavAvi, packet);
}

}  // namespace xmpfiles::riff
