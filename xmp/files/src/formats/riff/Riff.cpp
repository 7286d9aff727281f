#include "formats/riff/Riff.h"

#include <algorithm>
#include <functional>

#include "formats/iso/PacketFit.h"
#include "io/Endian.h"
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
  for (std::size_t i = 0; i < layout.chunks.size(); ++i) {
    if (layout.chunks[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

void WriteU32LE(Storage& file, std::uint64_t offset, std::uint32_t value) {
  std::uint8_t bytes[4];
  PutU32(bytes, value, Endian::kLittle);
  file.WriteAt(offset, bytes, 4);
}

void CheckFormEnd(std::uint64_t formEnd) {
  if (formEnd - 8 > 0xFFFFFFFFull) {
    throw FileError(ErrorKind::kUnsupported, "the RIFF form would pass 4 GB");
  }
}

void SetFormEnd(Storage& file, std::uint64_t formEnd) {
  CheckFormEnd(formEnd);
  WriteU32LE(file, 4, static_cast<std::uint32_t>(formEnd - 8));
}

void WriteChunkHeader(Storage& file, std::uint64_t offset, std::uint32_t id, std::uint32_t size) {
  std::uint8_t header[8];
  PutU32(header, id, Endian::kBig);
  PutU32(header + 4, size, Endian::kLittle);
  file.WriteAt(offset, header, 8);
}

// The whole '_PMX' chunk for the packet grown by `extra` (even) bytes of padding.
Bytes MakePmx(const PacketText& packet, std::uint64_t extra) {
  std::string text = packet.Text();
  if (extra > 0) {
    auto padded = FitPacket(packet, text.size() + static_cast<std::size_t>(extra));
    text = padded ? *padded : text + std::string(static_cast<std::size_t>(extra), ' ');
  }
  Bytes chunk;
  AppendU32(chunk, kPmx, Endian::kBig);
  AppendU32(chunk, static_cast<std::uint32_t>(text.size()), Endian::kLittle);
  AppendBytes(chunk, text);
  if (text.size() & 1) chunk.push_back(0);
  return chunk;
}

// Turns the old '_PMX' chunk into JUNK, blanking the packet it held.
void Retire(Storage& file, const Chunk& chunk) {
  std::string blank(chunk.size, ' ');
  file.WriteAt(chunk.DataOffset(), blank.data(), blank.size());
  WriteChunkHeader(file, chunk.offset, kJunk, chunk.size);
}

// Writes the chunk over [start, end) of the form, leaving a JUNK chunk in what is left (or
// more padding when fewer than 8 bytes are left). A range that ends the form, when the form
// ends the file, always fits: the form grows or shrinks. False when it does not fit.
bool PlaceIn(Storage& file, const Layout& layout, std::uint64_t start, std::uint64_t end,
             const PacketText& packet) {
  Bytes chunk = MakePmx(packet, 0);
  const std::uint64_t n = chunk.size();
  if (end == layout.formEnd && layout.formEnd == file.Size()) {
    // The chunk first, then the size that takes it in: a failure in between leaves a
    // valid form with some bytes after it.
    CheckFormEnd(start + n);
    file.WriteAt(start, chunk.data(), chunk.size());
    if (start + n < end) file.Truncate(start + n);
    SetFormEnd(file, start + n);
    return true;
  }
  const std::uint64_t room = end - start;
  if (room < n) return false;
  if (room == n || room - n >= 8) {
    file.WriteAt(start, chunk.data(), chunk.size());
    if (room > n)
      WriteChunkHeader(file, start + n, kJunk, static_cast<std::uint32_t>(room - n - 8));
  } else {
    Bytes padded = MakePmx(packet, room - n);
    file.WriteAt(start, padded.data(), padded.size());
  }
  return true;
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
  layout.form = GetU32BE(head + 8);
  layout.formEnd = 8 + std::uint64_t{GetU32LE(head + 4)};
  if (layout.formEnd < 12)
    ThrowFormat("RIFF size " + std::to_string(layout.formEnd - 8) +
                " is smaller than its form type");
  if (layout.formEnd > file.Size()) {
    std::string damage = "RIFF claims " + std::to_string(layout.formEnd - 8) + " bytes, " +
                         std::to_string(file.Size() - 8) + " remain";
    if (strict) ThrowFormat(damage);
    layout.formEnd = file.Size();
  }
  std::uint64_t pos = 12;
  while (pos < layout.formEnd) {
    if (layout.chunks.size() >= kMaxChunks) {
      ThrowFormat("more than " + std::to_string(kMaxChunks) + " chunks in the RIFF form");
    }
    std::uint8_t header[8];
    std::uint64_t room = layout.formEnd - pos;
    if (room < 8 || file.ReadSome(pos, header, 8) != 8) {
      layout.damage = "chunk header at offset " + std::to_string(pos) + " needs 8 bytes, " +
                      std::to_string(room) + " remain";
      break;
    }
    Chunk chunk{pos, GetU32BE(header), GetU32LE(header + 4)};
    if (chunk.size > room - 8) {
      layout.damage = "chunk '" + IdName(chunk.id) + "' at offset " + std::to_string(pos) +
                      " claims " + std::to_string(chunk.size) + " bytes, " +
                      std::to_string(room - 8) + " remain";
      break;
    }
    layout.chunks.push_back(chunk);
    // The pad byte of the last chunk may be missing; the next header check catches the rest.
    pos = chunk.End();
  }
  if (strict && !layout.damage.empty()) ThrowFormat(layout.damage);
  return layout;
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  Layout layout = Scan(file, false);
  int index = FindChunk(layout, kPmx);
  if (index < 0) return std::nullopt;
  const Chunk& chunk = layout.chunks[static_cast<std::size_t>(index)];
  const auto copies = std::count_if(layout.chunks.begin(), layout.chunks.end(),
                                    [](const Chunk& c) { return c.id == kPmx; });
  if (copies > 1) {
    XMP_ReportWarning("the RIFF form holds " + std::to_string(copies) +
                      " '_PMX' chunks; the first is read");
  }
  if (chunk.size > kMaxPacketSize) {
    ThrowFormat("'_PMX' chunk of " + std::to_string(chunk.size) +
                " bytes is larger than any packet");
  }
  FoundPacket found;
  found.mPacket = file.ReadString(chunk.DataOffset(), chunk.size);
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
  const std::vector<Chunk>& chunks = layout.chunks;
  int old = FindChunk(layout, kPmx);
  auto count =
      std::count_if(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.id == kPmx; });
  if (count > 1) {
    // There is no telling which one readers take: refuse to guess.
    ThrowFormat("the RIFF form holds " + std::to_string(count) +
                " '_PMX' chunks; not writing into an ambiguous file");
  }
  if (old >= 0) {
    const Chunk& chunk = chunks[static_cast<std::size_t>(old)];
    auto fitted = FitPacket(packet, chunk.size);
    if (fitted && fitted->size() == chunk.size) {
      file.WriteAt(chunk.DataOffset(), fitted->data(), fitted->size());
      return;
    }
    // The old chunk's place, with the JUNK chunks after it.
    std::size_t j = static_cast<std::size_t>(old);
    std::uint64_t end = chunk.End();
    while (++j < chunks.size() && chunks[j].id == kJunk)
      end = chunks[j].End();
    if (PlaceIn(file, layout, chunk.offset, end, packet)) return;
  }
  auto retire = [&] {
    if (old >= 0) Retire(file, chunks[static_cast<std::size_t>(old)]);
  };
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].id != kJunk) continue;
    std::size_t j = i;
    std::uint64_t end = chunks[i].End();
    while (j + 1 < chunks.size() && chunks[j + 1].id == kJunk)
      end = chunks[++j].End();
    if (PlaceIn(file, layout, chunks[i].offset, end, packet)) return retire();
    i = j;
  }
  if (layout.formEnd != file.Size()) {
    throw FileError(ErrorKind::kUnsupported,
                    "the RIFF form is followed by " + std::to_string(file.Size() - layout.formEnd) +
                        " more bytes and has no room for the XMP; adding it would move media data");
  }
  std::uint64_t start = layout.formEnd;
  if (start & 1) {
    // A writer left out the last pad byte; put it back before the new chunk.
    const std::uint8_t zero = 0;
    CheckFormEnd(start + 1 + MakePmx(packet, 0).size());
    file.WriteAt(start, &zero, 1);
    ++start;
  }
  Layout extended = layout;
  extended.formEnd = start;
  PlaceIn(file, extended, start, start, packet);
  retire();
}

}  // namespace xmpfiles::riff
