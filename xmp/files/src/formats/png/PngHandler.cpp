// PNG: the XMP packet is the text of an iTXt chunk with the keyword "XML:com.adobe.xmp".
// Chunk CRCs are checked on the XMP chunk when reading and written for every chunk we create
// or change; all other chunks are copied byte for byte.
//
// Reading is lenient about forms found in real files: a compressed XMP chunk is inflated,
// and the "Raw profile type xmp" text chunk (tEXt, zTXt or iTXt, the packet hex-encoded,
// often compressed) that image converters write is read when no standard chunk exists. The
// first standard chunk wins over later ones and over the legacy chunk; each such choice is a
// warning. Writing always leaves one uncompressed standard chunk and no legacy chunk.

#include <zlib.h>

#include <array>

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "io/Endian.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// keyword, NUL, compression flag 0, method 0, empty language tag NUL, empty translation NUL.
constexpr std::string_view kXmpHeader{"XML:com.adobe.xmp\0\0\0\0\0", 22};
constexpr std::uint32_t kMaxChunk = 0x7FFFFFFF;
constexpr std::string_view kXmpKeyword{"XML:com.adobe.xmp\0", 18};
constexpr std::string_view kRawKeyword{"Raw profile type xmp\0", 21};
// The largest packet we inflate, far above any real one.
constexpr std::size_t kMaxInflated = 64u << 20;

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
std::vector<PngChunk> ListChunks(Storage& file, OnDamage onDamage) {
  const bool strict = onDamage == OnDamage::kRefuse;
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
         file.ReadString(c.DataOffset(), kXmpKeyword.size()) == kXmpKeyword;
}

bool IsLegacyChunk(Storage& file, const PngChunk& c) {
  return (c.mType == "tEXt" || c.mType == "zTXt" || c.mType == "iTXt") &&
         c.mLength > kRawKeyword.size() &&
         file.ReadString(c.DataOffset(), kRawKeyword.size()) == kRawKeyword;
}

[[noreturn]] void ThrowChunk(const PngChunk& c, const std::string& problem) {
  ThrowFormat("PNG " + c.mType + " XMP chunk at offset " + std::to_string(c.mOffset) + " " +
              problem);
}

// The zlib stream `data` inflated, bounded by kMaxInflated.
std::string Inflate(const PngChunk& c, std::string_view data) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) ThrowChunk(c, "cannot be inflated (zlib fails to start)");
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  std::string out;
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (out.size() >= kMaxInflated) break;
    const std::size_t have = out.size();
    out.resize(std::min(kMaxInflated, have + std::max<std::size_t>(4096, have)));
    z.next_out = reinterpret_cast<Bytef*>(out.data() + have);
    z.avail_out = static_cast<uInt>(out.size() - have);
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(out.size() - z.avail_out);
    if (rc == Z_BUF_ERROR && z.avail_in > 0) rc = Z_OK;  // only more room was needed
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) {
    ThrowChunk(c, out.size() >= kMaxInflated
                      ? "inflates to more than " + std::to_string(kMaxInflated) + " bytes"
                      : "holds a damaged zlib stream");
  }
  return out;
}

// The profile of a "Raw profile type" text: "\n<name>\n<length>\n<hex digits, with line
// breaks>".
std::string DecodeRawProfile(const PngChunk& c, std::string_view text) {
  std::size_t p = text.find_first_not_of("\n\r ");
  p = p == std::string_view::npos ? p : text.find('\n', p);  // after the name
  if (p == std::string_view::npos) ThrowChunk(c, "holds no profile length");
  std::size_t length = 0;
  p = text.find_first_not_of(" \t", p + 1);
  std::size_t digits = 0;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9' && digits < 10) {
    length = length * 10 + static_cast<std::size_t>(text[p++] - '0');
    ++digits;
  }
  if (digits == 0 || length > text.size()) ThrowChunk(c, "has a bad profile length");
  std::string out;
  out.reserve(length);
  int high = -1;
  for (; p < text.size() && out.size() < length; ++p) {
    const char ch = text[p];
    int v = ch >= '0' && ch <= '9'   ? ch - '0'
            : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
            : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                     : -1;
    if (v < 0) {
      if (ch == '\n' || ch == '\r' || ch == ' ' || ch == '\t') continue;
      ThrowChunk(c, "holds a non-hex byte at offset " + std::to_string(p));
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high << 4 | v));
      high = -1;
    }
  }
  if (out.size() != length) {
    ThrowChunk(c, "holds " + std::to_string(out.size()) + " of the " + std::to_string(length) +
                      " profile bytes it announces");
  }
  return out;
}

// The text of an XMP chunk (standard or legacy), inflated when compressed. `offset` gets the
// file offset of the text when it is stored as is, else -1.
std::string ChunkText(Storage& file, const PngChunk& c, std::int64_t* offset) {
  const std::string data = file.ReadString(c.DataOffset(), c.mLength);
  const std::size_t keyEnd = data.find('\0') + 1;  // both keywords end with a NUL
  std::size_t textAt = keyEnd;
  bool compressed = false;
  if (c.mType == "zTXt") {
    compressed = true;
    textAt = keyEnd + 1;  // the compression method
  } else if (c.mType == "iTXt") {
    if (data.size() < keyEnd + 2) ThrowChunk(c, "ends inside its header");
    compressed = data[keyEnd] != 0;
    // Skip the flag, the method, the language tag and the translated keyword.
    std::size_t lang = data.find('\0', keyEnd + 2);
    std::size_t trans = lang == std::string::npos ? lang : data.find('\0', lang + 1);
    if (trans == std::string::npos) ThrowChunk(c, "has no text after its keyword");
    textAt = trans + 1;
  }
  if (textAt > data.size()) ThrowChunk(c, "ends inside its header");
  *offset = compressed ? -1 : static_cast<std::int64_t>(c.DataOffset() + textAt);
  std::string_view text = std::string_view(data).substr(textAt);
  std::string plain = compressed ? Inflate(c, text) : std::string(text);
  if (c.mType == "iTXt" && IsXmpChunk(file, c)) return plain;
  *offset = -1;
  return DecodeRawProfile(c, plain);
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
  Bytes c(4);
  c.reserve(12 + kXmpHeader.size() + packet.size());
  PutU32(c.data(), static_cast<std::uint32_t>(kXmpHeader.size() + packet.size()), Endian::kBig);
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
    std::vector<PngChunk> standard, legacy;
    for (const PngChunk& c : ListChunks(file, OnDamage::kTolerate)) {
      if (IsXmpChunk(file, c)) standard.push_back(c);
      if (IsLegacyChunk(file, c)) legacy.push_back(c);
    }
    if (standard.empty() && legacy.empty()) return std::nullopt;
    WarnSeveralPackets("PNG", standard.size(), "XMP chunks");
    if (!standard.empty() && !legacy.empty()) {
      XMP_ReportWarning(
          "PNG holds a legacy 'Raw profile type xmp' chunk beside its XMP chunk; "
          "it is ignored, and a write removes it");
    } else if (standard.empty()) {
      XMP_ReportWarning("PNG XMP read from a legacy 'Raw profile type xmp' " + legacy[0].mType +
                        " chunk; a write replaces it with a standard XMP chunk");
    }
    const PngChunk& c = standard.empty() ? legacy[0] : standard[0];
    CheckCrc(file, c);
    std::int64_t offset = -1;
    FoundPacket found;
    found.mPacket = ChunkText(file, c, &offset);
    found.mInfo = DescribePacket(found.mPacket, offset);
    return found;
  }

  void Write(Storage& file, const PacketText& packet) const override {
    std::vector<PngChunk> chunks = ListChunks(file, OnDamage::kRefuse);
    const PngChunk* old = nullptr;
    int copies = 0;
    for (const PngChunk& c : chunks) {
      if (IsXmpChunk(file, c) || IsLegacyChunk(file, c)) {
        if (old == nullptr) old = &c;
        ++copies;
      }
    }
    if (copies == 1 && IsXmpChunk(file, *old) &&
        file.ReadString(old->DataOffset(), kXmpHeader.size()) == kXmpHeader) {
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
    // Rewrite: every chunk but the old XMP and legacy ones, the new chunk where the first of
    // them was, or right after IHDR.
    Bytes chunk = MakeXmpChunk(packet.Text());
    auto out = file.StartRewrite();
    out->AppendFrom(file, 0, kSignature.size());
    bool written = false;
    for (const PngChunk& c : chunks) {
      if (IsXmpChunk(file, c) || IsLegacyChunk(file, c)) {
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
