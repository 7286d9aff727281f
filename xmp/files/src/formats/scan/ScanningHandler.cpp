// Packet scanning: finds an xpacket-wrapped XMP packet anywhere in a file of a format that
// has no handler of its own (PDF, EPS, SVG...), in UTF-8, UTF-16 or UTF-32 of either
// byte order. Read-only: rewriting a packet inside an unknown structure could break offsets
// we know nothing about.

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
constexpr std::array<ExtensionFormat, 8> kKnown = {{
    {"pdf", kFormatPDF},
    {"eps", kFormatEPS},
    {"ps", FourCC("PS  ")},
    {"ai", FourCC("AICC")},
    {"svg", kFormatSVG},
    {"indd", FourCC("INDD")},
    {"html", kFormatHTML},
    {"htm", kFormatHTML},
}};

// The wrapper's markers in one encoding form.
struct Markers {
  std::string mBegin, mEnd, mClose;
};

// `ascii` with each character widened to `unit` bytes, big- or little-endian.
std::string Widen(std::string_view ascii, std::size_t unit, bool big) {
  std::string out;
  for (char c : ascii) {
    if (big) out.append(unit - 1, '\0');
    out += c;
    if (!big) out.append(unit - 1, '\0');
  }
  return out;
}

const std::array<Markers, 5>& Forms() {
  static const std::array<Markers, 5> kForms = [] {
    std::array<Markers, 5> forms;
    const std::pair<std::size_t, bool> kinds[5] = {
        {1, true}, {2, true}, {2, false}, {4, true}, {4, false}};
    for (std::size_t i = 0; i < 5; ++i) {
      auto [unit, big] = kinds[i];
      forms[i] = {Widen(kBegin, unit, big), Widen(kEnd, unit, big), Widen("?>", unit, big)};
    }
    return forms;
  }();
  return kForms;
}

// Offset of the first of `needles` found in the file at or after `from` and before `limit`,
// or -1; `which` gets its index. Reads in chunks that overlap by the longest needle so that
// a match across chunk borders is found.
std::int64_t FindInFile(Storage& file, const std::vector<std::string_view>& needles,
                        std::uint64_t from, std::uint64_t limit, std::size_t* which = nullptr) {
  std::uint64_t pos = from;
  const std::uint64_t end = std::min(limit, file.Size());
  if (pos >= end) return -1;
  std::size_t longest = 0;
  for (std::string_view n : needles)
    longest = std::max(longest, n.size());
  std::string buf(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - pos)), '\0');
  while (pos < end) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - pos));
    std::size_t got = file.ReadSome(pos, buf.data(), want);
    if (got == 0) break;
    std::string_view view(buf.data(), got);
    std::size_t best = std::string_view::npos;
    for (std::size_t i = 0; i < needles.size(); ++i) {
      std::size_t hit = view.find(needles[i]);
      if (hit < best) {
        best = hit;
        if (which != nullptr) *which = i;
      }
    }
    if (best != std::string_view::npos) return static_cast<std::int64_t>(pos + best);
    if (pos + got >= end) break;
    pos += got >= longest ? got - longest + 1 : got;
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
    std::vector<std::string_view> begins;
    for (const Markers& m : Forms())
      begins.push_back(m.mBegin);
    std::uint64_t pos = 0;
    while (true) {
      std::size_t form = 0;
      std::int64_t begin = FindInFile(file, begins, pos, file.Size(), &form);
      if (begin < 0) break;
      const Markers& m = Forms()[form];
      std::uint64_t b = static_cast<std::uint64_t>(begin);
      // A UTF-16/32 packet starts with its byte-order mark when it has one.
      const std::size_t unit = m.mClose.size() / 2;
      if (unit > 1 && b >= unit) {
        std::string mark = file.ReadString(b - unit, unit);
        if (mark.find_first_not_of(std::string_view("\0\xFE\xFF", 3)) == std::string::npos &&
            mark.find_first_of("\xFE\xFF") != std::string::npos) {
          b -= unit;
        }
      }
      std::uint64_t limit = b + std::min(kMaxPacket, file.Remaining(b));
      std::int64_t end = FindInFile(file, {m.mEnd}, b, limit);
      std::int64_t close =
          end < 0 ? -1 : FindInFile(file, {m.mClose}, static_cast<std::uint64_t>(end), limit);
      if (close < 0) {
        // Without an end within reach of this start, a later start within the same reach has
        // none either: stop rather than rescan the rest of the file once per start marker.
        if (limit >= file.Size()) break;
        pos = static_cast<std::uint64_t>(begin) + 1;
        continue;
      }
      const std::uint64_t stop = static_cast<std::uint64_t>(close) + m.mClose.size();
      FoundPacket found;
      found.mPacket = file.ReadString(b, static_cast<std::size_t>(stop - b));
      found.mInfo = DescribePacket(found.mPacket, static_cast<std::int64_t>(b));
      last = std::move(found);
      pos = stop;
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
