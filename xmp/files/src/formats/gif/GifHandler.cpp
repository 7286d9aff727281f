// GIF: the XMP packet is stored in an application extension with the identifier "XMP Data"
// and authentication code "XMP". The packet bytes are written raw (not as sub-blocks) and
// followed by a 258-byte "magic trailer" (0x01, 0xFF, 0xFE ... 0x00, then the block
// terminator) that makes GIF readers skip them as a chain of sub-blocks.
//
// An XMP extension holding only padding is no XMP (SXMPFiles warns); a write replaces it.
// With several XMP extensions the first is read (with a warning), and a write leaves one.

#include <array>

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "io/Endian.h"

namespace xmpfiles {

namespace {

constexpr std::string_view kAppId = "XMP DataXMP";

Bytes MagicTrailer() {
  Bytes t;
  t.push_back(0x01);
  for (int v = 0xFF; v >= 0; --v)
    t.push_back(static_cast<std::uint8_t>(v));
  t.push_back(0x00);
  return t;
}

struct GifXmp {
  std::uint64_t mBlockOffset = 0;   // of the 0x21 introducer
  std::uint64_t mPacketOffset = 0;  // of the first packet byte
  std::uint64_t mPacketLength = 0;
  std::uint64_t mBlockEnd = 0;  // after the trailer's terminator
};

struct GifLayout {
  std::vector<GifXmp> mXmps;         // every XMP extension, in file order
  std::uint64_t mTrailerOffset = 0;  // of the 0x3B trailer (or the end when missing)
};

// Skips a chain of sub-blocks starting at `pos`; returns the offset after the terminator.
std::uint64_t SkipSubBlocks(Storage& file, std::uint64_t pos) {
  while (true) {
    std::uint8_t n;
    if (file.ReadSome(pos, &n, 1) != 1) {
      ThrowFormat("GIF sub-block chain at offset " + std::to_string(pos) + " is truncated");
    }
    ++pos;
    if (n == 0) return pos;
    if (n > file.Remaining(pos)) {
      ThrowFormat("GIF sub-block at offset " + std::to_string(pos - 1) + " claims " +
                  std::to_string(n) + " bytes, " + std::to_string(file.Remaining(pos)) + " remain");
    }
    pos += n;
  }
}

// Finds the XMP data's end: the first byte 0x01 (which UTF-8 text never holds) starts the
// magic trailer.
GifXmp ReadXmpBlock(Storage& file, std::uint64_t blockOffset) {
  GifXmp x;
  x.mBlockOffset = blockOffset;
  x.mPacketOffset = blockOffset + 3 + kAppId.size();
  std::uint64_t pos = x.mPacketOffset;
  std::array<std::uint8_t, 4096> buf;
  while (true) {
    std::size_t got = file.ReadSome(pos, buf.data(), buf.size());
    if (got == 0)
      ThrowFormat("GIF XMP block at offset " + std::to_string(blockOffset) +
                  " has no magic trailer");
    auto it =
        std::find(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got), std::uint8_t{0x01});
    if (it != buf.begin() + static_cast<std::ptrdiff_t>(got)) {
      x.mPacketLength = pos + static_cast<std::uint64_t>(it - buf.begin()) - x.mPacketOffset;
      break;
    }
    pos += got;
  }
  // Leniently, the trailer is followed as the sub-block chain it pretends to be.
  x.mBlockEnd = SkipSubBlocks(file, x.mPacketOffset + x.mPacketLength);
  return x;
}

// Lists the blocks. Reading accepts a file that ends without its trailer; writing (strict)
// does not, since a block appended to a truncated file would be read as part of the cut data.
GifLayout ParseGif(Storage& file, OnDamage onDamage) {
  const bool strict = onDamage == OnDamage::kRefuse;
  GifLayout layout;
  Bytes header = file.Read(0, 13);
  std::uint64_t pos = 13;
  if (header[10] & 0x80) pos += 3u * (2u << (header[10] & 7));  // global colour table
  if (pos > file.Size()) {
    ThrowFormat("GIF global colour table of " + std::to_string(pos - 13) +
                " bytes runs past the end");
  }
  while (true) {
    std::uint8_t intro;
    if (file.ReadSome(pos, &intro, 1) != 1) {
      if (strict)
        ThrowFormat("GIF file ends at offset " + std::to_string(pos) + " without a trailer");
      layout.mTrailerOffset = file.Size();
      return layout;
    }
    if (intro == 0x3B) {
      layout.mTrailerOffset = pos;
      return layout;
    }
    if (intro == 0x2C) {  // image descriptor, colour table, LZW code size, data
      Bytes d = file.Read(pos + 1, 9);
      std::uint64_t p = pos + 10;
      if (d[8] & 0x80) p += 3u * (2u << (d[8] & 7));
      if (p >= file.Size()) {
        ThrowFormat("GIF image at offset " + std::to_string(pos) + " runs past the end");
      }
      pos = SkipSubBlocks(file, p + 1);
      continue;
    }
    if (intro != 0x21) {
      ThrowFormat("GIF: unknown block 0x" + std::to_string(intro) + " at offset " +
                  std::to_string(pos));
    }
    Bytes label = file.Read(pos + 1, 2);
    if (label[0] == 0xFF && label[1] == 11 && file.Remaining(pos + 3) >= kAppId.size() &&
        file.ReadString(pos + 3, kAppId.size()) == kAppId) {
      GifXmp x = ReadXmpBlock(file, pos);
      layout.mXmps.push_back(x);
      pos = x.mBlockEnd;
      continue;
    }
    pos = SkipSubBlocks(file, pos + 2);
  }
}

class GifHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatGIF; }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "GIF"; }
  std::vector<std::string_view> Extensions() const override { return {"gif"}; }

  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view,
                   std::uint64_t) const override {
    std::string_view s(reinterpret_cast<const char*>(head.data()),
                       std::min<std::size_t>(head.size(), 6));
    return s == "GIF89a" || s == "GIF87a";
  }

  std::optional<FoundPacket> Read(Storage& file) const override {
    GifLayout layout = ParseGif(file, OnDamage::kTolerate);
    if (layout.mXmps.empty()) return std::nullopt;
    WarnSeveralPackets("GIF", layout.mXmps.size(), "XMP extensions");
    const GifXmp& xmp = layout.mXmps.front();
    return ReadStoredPacket(file, xmp.mPacketOffset, xmp.mPacketLength);
  }

  void Write(Storage& file, const PacketText& packet) const override {
    GifLayout layout = ParseGif(file, OnDamage::kRefuse);
    if (layout.mXmps.size() == 1) {
      const GifXmp& xmp = layout.mXmps.front();
      if (auto fitted = packet.FitTo(xmp.mPacketLength)) {
        file.WriteAt(xmp.mPacketOffset, fitted->data(), fitted->size());
        file.Flush();
        return;
      }
    }
    if (packet.Text().find('\x01') != std::string::npos) {
      throw FileError(ErrorKind::kBadParam, "XMP packet holds a 0x01 byte, which GIF cannot store");
    }
    Bytes block = {0x21, 0xFF, 11};
    AppendBytes(block, kAppId);
    AppendBytes(block, packet.Text());
    AppendBytes(block, MagicTrailer());
    // Application extensions need GIF89a; an 87a header is upgraded. The new block replaces
    // the first old one where it was (else goes before the trailer); other old ones go.
    auto out = file.StartRewrite();
    out->Append("GIF89a");
    std::uint64_t pos = 6;
    for (const GifXmp& xmp : layout.mXmps) {
      out->AppendFrom(file, pos, xmp.mBlockOffset - pos);
      if (&xmp == &layout.mXmps.front()) out->Append(block);
      pos = xmp.mBlockEnd;
    }
    if (layout.mXmps.empty()) {
      out->AppendFrom(file, pos, layout.mTrailerOffset - pos);
      out->Append(block);
      pos = layout.mTrailerOffset;
    }
    out->AppendFrom(file, pos, file.Size() - pos);
    out->Commit();
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeGifHandler() {
  return std::make_unique<GifHandler>();
}

}  // namespace xmpfiles
