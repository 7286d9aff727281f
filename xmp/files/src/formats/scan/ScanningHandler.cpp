// Packet scanning: finds an xpacket-wrapped XMP packet anywhere in a file of a format that
// has no handler of its own (PDF, PSD, EPS, SVG...). Read-only: rewriting a packet inside an
// unknown structure could break offsets we know nothing about.

#include <algorithm>
#include <array>
#include <cstring>

#include "FileHandler.h"
#include "HandlerRegistry.h"

namespace xmpfiles {

namespace {

constexpr std::string_view kBegin = "<?xpacket begin=";
constexpr std::string_view kEnd = "<?xpacket end=";
constexpr std::size_t kChunk = 1 << 20;
// A packet longer than this is not believed; scanning continues after its start.
constexpr std::uint64_t kMaxPacket = 64u << 20;

struct ExtensionFormat {
  std::string_view mExtension;
  std::uint32_t mFormat;
};
constexpr std::array<ExtensionFormat, 10> kKnown = {{
    {"pdf", kFormatPDF},
    {"psd", kFormatPSD},
    {"psb", kFormatPSD},
    {"eps", kFormatEPS},
    {"ps", FourCC("PS  ")},
    {"ai", FourCC("AICC")},
    {"svg", kFormatSVG},
    {"indd", FourCC("INDD")},
    {"html", kFormatHTML},
    {"htm", kFormatHTML},
}};

// Offset of `needle` in the file at or after `from`, or -1. Reads in chunks that overlap by
// the needle's length so that a match across chunk borders is found.
std::int64_t FindInFile(Storage& file, std::string_view needle, std::uint64_t from,
                        std::uint64_t limit) {
  std::uint64_t pos = from;
  const std::uint64_t end = std::min(limit, file.Size());
  if (pos >= end) return -1;
  std::string buf(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - pos)), '\0');
  while (pos < end) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - pos));
    std::size_t got = file.ReadSome(pos, buf.data(), want);
    if (got == 0) break;
    std::size_t hit = std::string_view(buf.data(), got).find(needle);
    if (hit != std::string_view::npos) return static_cast<std::int64_t>(pos + hit);
    if (pos + got >= end) break;
    pos += got >= needle.size() ? got - needle.size() + 1 : got;
  }
  return -1;
}

class ScanHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatUnknown; }
  std::uint32_t FormatOf(std::string_view extension) const override {
    for (const auto& k : kKnown) {
      if (k.mExtension == extension) return k.mFormat;
    }
    return kFormatUnknown;
  }
  std::uint32_t Flags() const override {
    return kHandlerNeedsReadOnlyPacket | kHandlerReturnsRawPacket;
  }
  std::string_view Name() const override { return "packet scanner"; }
  std::vector<std::string_view> Extensions() const override {
    std::vector<std::string_view> out;
    for (const auto& k : kKnown)
      out.push_back(k.mExtension);
    return out;
  }
  bool CheckFormat(std::span<const std::uint8_t>, std::string_view, std::uint64_t) const override {
    return true;
  }

  // The last complete packet in the file: documents updated incrementally (PDF) append their
  // newest metadata after the older one.
  std::optional<FoundPacket> Read(Storage& file) const override {
    std::optional<FoundPacket> last;
    std::uint64_t pos = 0;
    while (true) {
      std::int64_t begin = FindInFile(file, kBegin, pos, file.Size());
      if (begin < 0) break;
      std::uint64_t b = static_cast<std::uint64_t>(begin);
      std::uint64_t limit = b + std::min(kMaxPacket, file.Remaining(b));
      std::int64_t end = FindInFile(file, kEnd, b, limit);
      std::int64_t close =
          end < 0 ? -1 : FindInFile(file, "?>", static_cast<std::uint64_t>(end), limit);
      if (close < 0) {
        // Without an end within reach of this start, a later start within the same reach has
        // none either: stop rather than rescan the rest of the file once per start marker.
        if (limit >= file.Size()) break;
        pos = b + 1;
        continue;
      }
      std::size_t length = static_cast<std::size_t>(close + 2 - begin);
      FoundPacket found;
      found.mPacket = file.ReadString(b, length);
      found.mInfo = DescribePacket(found.mPacket, begin);
      last = std::move(found);
      pos = static_cast<std::uint64_t>(close + 2);
    }
    return last;
  }

  void Write(Storage&, const PacketText&) const override {
    throw FileError(ErrorKind::kUnsupported, "files opened by packet scanning are read-only");
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeScanningHandler() {
  return std::make_unique<ScanHandler>();
}

}  // namespace xmpfiles
