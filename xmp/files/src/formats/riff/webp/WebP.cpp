#include "formats/riff/webp/WebP.h"

#include <algorithm>
#include <array>

#include "formats/riff/Riff.h"
#include "io/Endian.h"
#include "io/WriteJournal.h"

namespace xmpfiles::webp {

namespace {

constexpr std::uint32_t kVp8x = FourCC("VP8X");
constexpr std::uint32_t kVp8 = FourCC("VP8 ");
constexpr std::uint32_t kVp8l = FourCC("VP8L");
constexpr std::uint32_t kXmp = FourCC("XMP ");
constexpr std::uint32_t kExif = FourCC("EXIF");
// The chunks the new 'XMP ' chunk must follow: the header, the image data and EXIF.
constexpr std::array<std::uint32_t, 8> kChunksBeforeXmp = {
    kVp8x, FourCC("ICCP"), FourCC("ANIM"), FourCC("ANMF"), FourCC("ALPH"), kVp8, kVp8l, kExif};

using riff::kChunkHeaderSize;
// VP8X payload: a flags byte, three reserved bytes, canvas width - 1 and height - 1 (24-bit
// little-endian each).
constexpr std::uint32_t kVp8xSize = 10;
constexpr std::uint8_t kFlagAlpha = 0x10;
constexpr std::uint8_t kFlagExif = 0x08;
constexpr std::uint8_t kFlagXmp = 0x04;
// VP8 key frame: a 3-byte frame tag (bit 0 clear on key frames), the start code, then 14-bit
// width and height, each with 2 bits of scaling above.
constexpr std::size_t kVp8HeaderSize = 10;
constexpr std::array<std::uint8_t, 3> kVp8StartCode = {0x9D, 0x01, 0x2A};
// VP8L: a signature byte, then 14-bit width - 1, 14-bit height - 1, the alpha hint bit and a
// 3-bit version, little-endian.
constexpr std::size_t kVp8lHeaderSize = 5;
constexpr std::uint8_t kVp8lSignature = 0x2F;
// The largest RIFF size of a WebP file (the file stays under 4 GiB - 1).
constexpr std::uint64_t kMaxRiffSize = 0xFFFFFFF6ull;

constexpr std::uint32_t kWebPForms[] = {kFormWebP};
constexpr riff::ChunkFormat kWebP{riff::kRiffDialect, kWebPForms, kXmp, 0, "RIFF WEBP"};

struct Canvas {
  std::uint32_t mWidth = 0;
  std::uint32_t mHeight = 0;
  bool mAlpha = false;  // the VP8L header says the image uses alpha
};

std::string At(const riff::Chunk& chunk) {
  std::string text = "'";
  text.append(FourCCString(chunk.mId)).append("' chunk at offset ");
  text.append(std::to_string(chunk.mOffset));
  return text;
}

// The canvas of a simple file, from the header of its VP8 or VP8L bitstream.
Canvas CanvasOf(Storage& file, const riff::Chunk& image) {
  const bool lossless = image.mId == kVp8l;
  const std::size_t need = lossless ? kVp8lHeaderSize : kVp8HeaderSize;
  const Bytes header = file.Read(image.DataOffset(), std::min<std::size_t>(need, image.mSize));
  BufReader reader(header, Endian::kLittle, "bitstream header of the " + At(image));
  Canvas canvas;
  if (lossless) {
    if (reader.U8() != kVp8lSignature) ThrowFormat(At(image) + " lacks the VP8L signature");
    const std::uint32_t bits = reader.U32();
    canvas.mWidth = (bits & 0x3FFF) + 1;
    canvas.mHeight = (bits >> 14 & 0x3FFF) + 1;
    canvas.mAlpha = (bits >> 28 & 1) != 0;
    if (bits >> 29 != 0) ThrowFormat(At(image) + " has an unknown VP8L version");
    return canvas;
  }
  const std::uint8_t tag = reader.U8();
  reader.Skip(2);
  if (tag & 1) ThrowFormat(At(image) + " does not start with a key frame");
  const auto code = reader.Take(kVp8StartCode.size());
  if (!std::equal(code.begin(), code.end(), kVp8StartCode.begin())) {
    ThrowFormat(At(image) + " lacks the VP8 start code");
  }
  canvas.mWidth = reader.U16() & 0x3FFF;
  canvas.mHeight = reader.U16() & 0x3FFF;
  if (canvas.mWidth == 0 || canvas.mHeight == 0) {
    ThrowFormat(At(image) + " gives an empty frame size");
  }
  return canvas;
}

void AppendU24(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 3; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void AppendChunkHeader(Bytes& out, std::uint32_t id, std::uint32_t size) {
  AppendU32(out, id, Endian::kBig);
  AppendU32(out, size, Endian::kLittle);
}

// The VP8X chunk a simple file gains: canvas and alpha from its bitstream, EXIF announced
// when the file carries it.
Bytes MakeVp8x(Storage& file, const riff::Layout& layout) {
  const Canvas canvas = CanvasOf(file, layout.mChunks.front());
  std::uint8_t flags = canvas.mAlpha ? kFlagAlpha : 0;
  for (const riff::Chunk& chunk : layout.mChunks) {
    if (chunk.mId == kExif) flags |= kFlagExif;
  }
  Bytes chunk;
  AppendChunkHeader(chunk, kVp8x, kVp8xSize);
  chunk.push_back(flags);
  AppendU24(chunk, 0);
  AppendU24(chunk, canvas.mWidth - 1);
  AppendU24(chunk, canvas.mHeight - 1);
  return chunk;
}

Bytes MakeXmpChunk(const std::string& text) {
  Bytes chunk;
  AppendChunkHeader(chunk, kXmp, static_cast<std::uint32_t>(text.size()));
  AppendBytes(chunk, text);
  if (text.size() & 1) chunk.push_back(0);
  return chunk;
}

std::vector<std::size_t> XmpChunks(const riff::Layout& layout) {
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < layout.mChunks.size(); ++i) {
    if (layout.mChunks[i].mId == kXmp) found.push_back(i);
  }
  return found;
}

// The form, checked for writing: a first chunk that makes it a WebP image.
riff::Layout ScanForWrite(Storage& file) {
  riff::Layout layout = riff::Scan(file, kWebP, true);
  if (layout.mChunks.empty()) ThrowFormat("WebP file holds no chunks");
  const riff::Chunk& first = layout.mChunks.front();
  if (first.mId != kVp8x && first.mId != kVp8 && first.mId != kVp8l) {
    ThrowFormat("WebP file starts with the " + At(first) + ", not VP8X, VP8 or VP8L");
  }
  if (first.mId == kVp8x && first.mSize < kVp8xSize) {
    ThrowFormat("VP8X chunk holds " + std::to_string(first.mSize) + " bytes, " +
                std::to_string(kVp8xSize) + " needed");
  }
  return layout;
}

// Writes the packet over the payload of the only 'XMP ' chunk of an extended file when it
// fits exactly; false, having written nothing, when it does not.
bool WriteInPlace(Storage& file, const riff::Layout& layout, const riff::Chunk& xmp,
                  const PacketText& packet) {
  const auto fitted = packet.FitTo(xmp.mSize);
  if (!fitted || fitted->size() != xmp.mSize) return false;
  const std::uint64_t flagsAt = layout.mChunks.front().DataOffset();
  std::uint8_t flags = 0;
  file.ReadAt(flagsAt, &flags, 1);
  file.CheckIdentity();
  WriteJournal journal(file);
  journal.Write(xmp.DataOffset(), *fitted);
  if (!(flags & kFlagXmp)) {
    flags |= kFlagXmp;
    journal.Write(flagsAt, std::span<const std::uint8_t>(&flags, 1));
  }
  journal.Sync();
  journal.Complete();
  return true;
}

// Where the new 'XMP ' chunk goes: after the header, image and EXIF chunks, in place of the
// first old one when that is there (unknown chunks after it stay after it).
std::size_t XmpSlot(const riff::Layout& layout) {
  std::size_t slot = 0;
  std::optional<std::size_t> old;
  for (std::size_t i = 0; i < layout.mChunks.size(); ++i) {
    const std::uint32_t id = layout.mChunks[i].mId;
    if (id == kXmp && !old) old = i;
    if (std::find(kChunksBeforeXmp.begin(), kChunksBeforeXmp.end(), id) != kChunksBeforeXmp.end())
      slot = i + 1;
  }
  return old ? std::max(*old, slot) : slot;
}

// Copies a chunk with its pad byte, adding the pad byte a last chunk may lack.
void CopyChunk(Rewrite& out, Storage& file, const riff::Layout& layout, const riff::Chunk& chunk) {
  const std::uint64_t end = std::min(chunk.End(), layout.mFormEnd);
  out.AppendFrom(file, chunk.mOffset, end - chunk.mOffset);
  if (end < chunk.End()) out.Append("\0", 1);
}

void RewriteFile(Storage& file, const riff::Layout& layout, const PacketText& packet) {
  const riff::Chunk& first = layout.mChunks.front();
  const bool extended = first.mId == kVp8x;
  Bytes vp8x;
  if (extended) {
    const std::uint64_t end = std::min(first.End(), layout.mFormEnd);
    vp8x = file.Read(first.mOffset, static_cast<std::size_t>(end - first.mOffset));
    vp8x.resize(static_cast<std::size_t>(first.End() - first.mOffset));
  } else {
    vp8x = MakeVp8x(file, layout);
  }
  vp8x[kChunkHeaderSize] |= kFlagXmp;
  const Bytes xmp = MakeXmpChunk(packet.Text());
  const std::size_t slot = XmpSlot(layout);

  std::uint64_t riffSize = 4 + vp8x.size() + xmp.size();
  for (std::size_t i = 0; i < layout.mChunks.size(); ++i) {
    const riff::Chunk& chunk = layout.mChunks[i];
    if (chunk.mId != kXmp && !(extended && i == 0)) riffSize += chunk.End() - chunk.mOffset;
  }
  if (riffSize > kMaxRiffSize) {
    throw FileError(ErrorKind::kUnsupported, "the WebP file would grow to a RIFF size of " +
                                                 std::to_string(riffSize) + " bytes, more than " +
                                                 std::to_string(kMaxRiffSize));
  }

  auto out = file.StartRewrite();
  Bytes head;
  AppendU32(head, riff::kRiffDialect.mMagic, Endian::kBig);
  AppendU32(head, static_cast<std::uint32_t>(riffSize), Endian::kLittle);
  AppendU32(head, kFormWebP, Endian::kBig);
  out->Append(head);
  out->Append(vp8x);
  for (std::size_t i = 0; i < layout.mChunks.size(); ++i) {
    const riff::Chunk& chunk = layout.mChunks[i];
    if (i == slot) out->Append(xmp);
    if (chunk.mId == kXmp || (extended && i == 0)) continue;
    CopyChunk(*out, file, layout, chunk);
  }
  if (slot == layout.mChunks.size()) out->Append(xmp);
  // Bytes after the form are not ours to judge; they stay.
  out->AppendFrom(file, layout.mFormEnd, file.Size() - layout.mFormEnd);
  out->Commit();
}

}  // namespace

bool Detect(std::span<const std::uint8_t> head) {
  return riff::DetectForm(head, kWebP).has_value();
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  return riff::ReadXmp(file, kWebP);
}

void WriteXmp(Storage& file, const PacketText& packet) {
  if (packet.Text().size() > riff::kMaxPacketSize) {
    throw FileError(ErrorKind::kBadParam, "packet of " + std::to_string(packet.Text().size()) +
                                              " bytes is larger than an 'XMP ' chunk may be");
  }
  const riff::Layout layout = ScanForWrite(file);
  const std::vector<std::size_t> xmps = XmpChunks(layout);
  if (layout.mChunks.front().mId == kVp8x && xmps.size() == 1 &&
      WriteInPlace(file, layout, layout.mChunks[xmps.front()], packet)) {
    return;
  }
  RewriteFile(file, layout, packet);
}

}  // namespace xmpfiles::webp
