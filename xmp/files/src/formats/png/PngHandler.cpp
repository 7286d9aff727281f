// PNG: the XMP packet is the text of an uncompressed iTXt chunk with the keyword
// "XML:com.adobe.xmp". Chunk CRCs are checked on the XMP chunk when reading and written for
// every chunk we create or change; all other chunks are copied byte for byte.

#include <array>

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "io/Endian.h"

namespace xmpfiles {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// keyword, NUL, compression flag 0, method 0, empty language tag NUL, empty translation NUL.
constexpr std::string_view kXmpHeader{"XML:com.adobe.xmp\0\0\0\0\0", 22};
constexpr std::uint32_t kMaxChunk = 0x7FFFFFFF;

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  static const auto kTable = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i)
    crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

struct PngChunk {
  std::uint64_t mOffset;  // of the length field
  std::uint32_t mLength;  // of the data
  std::string mType;
  std::uint64_t DataOffset() const { return mOffset + 8; }
  std::uint64_t Total() const { return 12ull + mLength; }
};

// The chunks up to IEND. Reading is lenient about what follows a broken chunk (the chunks
// before it are kept); writing is strict.
std::vector<PngChunk> ListChunks(Storage& file, bool strict) {
  std::vector<PngChunk> chunks;
  std::uint64_t pos = kSignature.size();
  while (true) {
    std::uint8_t head[8];
    if (file.ReadSome(pos, head, 8) != 8) {
      if (strict) ThrowFormat("PNG file ends at offset " + std::to_string(pos) + " without IEND");
      return chunks;
    }
    PngChunk c{pos, GetU32BE(head), std::string(reinterpret_cast<char*>(head + 4), 4)};
    const std::uint64_t remain = file.Remaining(pos + 8);
    if (c.mLength > kMaxChunk || std::uint64_t{c.mLength} + 4 > remain) {
      if (strict) {
        ThrowFormat("PNG chunk '" + c.mType + "' at offset " + std::to_string(pos) + " claims " +
                    std::to_string(c.mLength) + " bytes, " + std::to_string(remain) + " remain");
      }
      return chunks;
    }
    chunks.push_back(c);
    if (c.mType == "IEND") return chunks;
    pos += c.Total();
  }
}

bool IsXmpChunk(Storage& file, const PngChunk& c) {
  return c.mType == "iTXt" && c.mLength >= kXmpHeader.size() &&
         file.ReadString(c.DataOffset(), 18) == std::string_view("XML:com.adobe.xmp\0", 18);
}

void CheckCrc(Storage& file, const PngChunk& c) {
  Bytes all = file.Read(c.mOffset + 4, c.mLength + 8u);
  std::uint32_t stored = GetU32BE(&all[4 + c.mLength]);
  std::uint32_t computed = Crc32(0, all.data(), 4 + c.mLength);
  if (stored != computed) {
    ThrowFormat("PNG chunk '" + c.mType + "' at offset " + std::to_string(c.mOffset) +
                " has a wrong CRC");
  }
}

Bytes MakeXmpChunk(std::string_view packet) {
  Bytes c;
  AppendU32(c, static_cast<std::uint32_t>(kXmpHeader.size() + packet.size()), Endian::kBig);
  AppendBytes(c, "iTXt");
  AppendBytes(c, kXmpHeader);
  AppendBytes(c, packet);
  AppendU32(c, Crc32(0, c.data() + 4, c.size() - 4), Endian::kBig);
  return c;
}

class PngHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatPNG; }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "PNG"; }
  std::vector<std::string_view> Extensions() const override { return {"png"}; }

  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view,
                   std::uint64_t) const override {
    return head.size() >= kSignature.size() &&
           std::equal(kSignature.begin(), kSignature.end(), head.begin());
  }

  std::optional<FoundPacket> Read(Storage& file) const override {
    for (const PngChunk& c : ListChunks(file, false)) {
      if (!IsXmpChunk(file, c)) continue;
      CheckCrc(file, c);
      // Compression flag and method follow the keyword; a compressed XMP chunk breaks the
      // rule that the packet be scannable, and is not read.
      Bytes flags = file.Read(c.DataOffset() + 18, 2);
      if (flags[0] != 0) ThrowFormat("PNG XMP chunk is compressed, which XMP does not allow");
      // Skip the language tag and the translated keyword (both NUL-terminated).
      std::string rest = file.ReadString(c.DataOffset() + 20, c.mLength - 20u);
      std::size_t lang = rest.find('\0');
      std::size_t trans = lang == std::string::npos ? lang : rest.find('\0', lang + 1);
      if (trans == std::string::npos) ThrowFormat("PNG XMP chunk has no text after its keyword");
      FoundPacket found;
      found.mPacket = rest.substr(trans + 1);
      found.mInfo =
          DescribePacket(found.mPacket, static_cast<std::int64_t>(c.DataOffset() + 20 + trans + 1));
      return found;
    }
    return std::nullopt;
  }

  void Write(Storage& file, const PacketText& packet) const override {
    std::vector<PngChunk> chunks = ListChunks(file, true);
    const PngChunk* old = nullptr;
    for (const PngChunk& c : chunks) {
      if (IsXmpChunk(file, c)) {
        old = &c;
        break;
      }
    }
    if (old != nullptr && file.ReadString(old->DataOffset(), kXmpHeader.size()) == kXmpHeader) {
      // In place: the same chunk length, new text, new CRC.
      if (auto fitted = packet.FitTo(old->mLength - kXmpHeader.size())) {
        Bytes chunk = MakeXmpChunk(*fitted);
        file.WriteAt(old->mOffset, chunk.data(), chunk.size());
        file.Flush();
        return;
      }
    }
    if (packet.Text().size() > kMaxChunk - kXmpHeader.size()) {
      throw FileError(ErrorKind::kBadParam, "XMP packet too large for a PNG chunk");
    }
    // Rewrite: every chunk but the old XMP one(s), the new chunk where the old one was, or
    // right after IHDR.
    Bytes chunk = MakeXmpChunk(packet.Text());
    auto out = file.StartRewrite();
    out->AppendFrom(file, 0, kSignature.size());
    bool written = false;
    for (const PngChunk& c : chunks) {
      if (IsXmpChunk(file, c)) {
        if (!written) out->Append(chunk);
        written = true;
        continue;
      }
      if (!written && c.mType != "IHDR") {
        out->Append(chunk);
        written = true;
      }
      out->AppendFrom(file, c.mOffset, c.Total());
    }
    const std::uint64_t end =
        chunks.empty() ? kSignature.size() : chunks.back().mOffset + chunks.back().Total();
    out->AppendFrom(file, end, file.Size() - end);  // anything after IEND stays
    out->Commit();
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakePngHandler() {
  return std::make_unique<PngHandler>();
}

}  // namespace xmpfiles
