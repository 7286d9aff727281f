#include "PacketCleanup.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "XMPUnicode.h"
#include "xmp/XMP_Const.h"

namespace xmpfiles {

namespace {

constexpr std::array<std::string_view, 3> kOpenTags = {"<x:xmpmeta", "<x:xapmeta", "<rdf:RDF"};
constexpr std::array<std::string_view, 3> kCloseTags = {"</x:xmpmeta>", "</x:xapmeta>",
                                                        "</rdf:RDF>"};

// s.rfind(needle) for a needle starting with a character that is rare in the text (a '<'):
// memrchr jumps from one candidate to the next, where rfind compares at every offset,
// which on a packet's kilobytes of padding is most of the cost of cleaning it.
std::size_t FindLast(std::string_view s, std::string_view needle) {
  if (needle.empty() || needle.size() > s.size()) return s.rfind(needle);
  std::size_t limit = s.size() - needle.size() + 1;  // candidates lie before this
  while (limit > 0) {
    const void* hit = ::memrchr(s.data(), needle.front(), limit);
    if (hit == nullptr) break;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
    if (s.substr(at, needle.size()) == needle) return at;
    limit = at;
  }
  return std::string_view::npos;
}

// End of the last closing tag in `s` (npos when none).
std::size_t LastCloseEnd(std::string_view s) {
  std::size_t best = std::string_view::npos;
  for (std::string_view tag : kCloseTags) {
    std::size_t at = FindLast(s, tag);
    if (at != std::string_view::npos) {
      std::size_t end = at + tag.size();
      if (best == std::string_view::npos || end > best) best = end;
      break;  // the outermost element comes first in kCloseTags
    }
  }
  return best;
}

using xmpcore::TextEncoding;

unsigned Byte(std::string_view s, std::size_t i) {
  return i < s.size() ? static_cast<unsigned char>(s[i]) : 0x100;
}

// The encoding of a stored packet and the offset where its text starts (after a mark).
TextEncoding Detect(std::string_view raw, std::size_t* start) {
  *start = 0;
  if (Byte(raw, 0) == 0 && Byte(raw, 1) == 0 && Byte(raw, 2) == 0xFE && Byte(raw, 3) == 0xFF) {
    *start = 4;
    return TextEncoding::kUTF32BE;
  }
  if (Byte(raw, 0) == 0xFF && Byte(raw, 1) == 0xFE && Byte(raw, 2) == 0 && Byte(raw, 3) == 0) {
    *start = 4;
    return TextEncoding::kUTF32LE;
  }
  if (Byte(raw, 0) == 0xFE && Byte(raw, 1) == 0xFF) {
    *start = 2;
    return TextEncoding::kUTF16BE;
  }
  if (Byte(raw, 0) == 0xFF && Byte(raw, 1) == 0xFE) {
    *start = 2;
    return TextEncoding::kUTF16LE;
  }
  // No mark: a packet starts with '<' followed by an ASCII character ('?', 'x' or 'r'), so
  // the zero bytes around the first '<' give the code unit size and byte order.
  std::size_t lt = raw.substr(0, 4096).find('<');
  if (lt == std::string_view::npos) return TextEncoding::kUTF8;
  auto zeros = [&](std::size_t from, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (Byte(raw, from + i) != 0) return false;
    return true;
  };
  if (lt >= 3 && zeros(lt - 3, 3) && zeros(lt + 1, 3)) {
    *start = lt - 3;
    return TextEncoding::kUTF32BE;
  }
  if (zeros(lt + 1, 3) && Byte(raw, lt + 4) < 0x80 && zeros(lt + 5, 3)) {
    *start = lt;
    return TextEncoding::kUTF32LE;
  }
  if (lt >= 1 && Byte(raw, lt - 1) == 0 && Byte(raw, lt + 1) == 0 && Byte(raw, lt + 2) != 0) {
    *start = lt - 1;
    return TextEncoding::kUTF16BE;
  }
  if (Byte(raw, lt + 1) == 0 && Byte(raw, lt + 2) != 0 && Byte(raw, lt + 3) == 0) {
    *start = lt;
    return TextEncoding::kUTF16LE;
  }
  return TextEncoding::kUTF8;
}

// `ascii` in `encoding`, without the zero bytes of its last character in little-endian
// forms: a needle that still matches a packet whose trailing zero bytes were cut.
std::string Encode(std::string_view ascii, TextEncoding encoding) {
  const std::size_t unit = xmpcore::UnitSize(encoding);
  const bool big = encoding == TextEncoding::kUTF16BE || encoding == TextEncoding::kUTF32BE;
  std::string out;
  for (char c : ascii) {
    if (big) out.append(unit - 1, '\0');
    out += c;
    if (!big) out.append(unit - 1, '\0');
  }
  if (!big) out.resize(out.size() - (unit - 1));
  return out;
}

enum class Occurrence { kFirst, kLast };

// Offset of the first (or last) unit-aligned occurrence of `needle` in `text`, or npos.
std::size_t FindAligned(std::string_view text, std::string_view needle, std::size_t unit,
                        std::size_t from, Occurrence which) {
  std::size_t best = std::string_view::npos;
  for (std::size_t at = text.find(needle, from); at != std::string_view::npos;
       at = text.find(needle, at + 1)) {
    if (at % unit != 0) continue;
    if (which == Occurrence::kFirst) return at;
    best = at;
  }
  return best;
}

// Length of the packet proper in `text` (an encoded packet from its first unit): up to the
// end of the trailer, else of the last closing tag, else all.
std::size_t PacketLength(std::string_view text, TextEncoding encoding) {
  const std::size_t unit = xmpcore::UnitSize(encoding);
  std::size_t trailer =
      FindAligned(text, Encode("<?xpacket end=", encoding), unit, 0, Occurrence::kFirst);
  if (trailer != std::string_view::npos) {
    const std::string close = Encode("?>", encoding);
    std::size_t end = FindAligned(text, close, unit, trailer, Occurrence::kFirst);
    if (end != std::string_view::npos) return end + close.size();
  }
  for (std::string_view tag : kCloseTags) {
    const std::string close = Encode(tag, encoding);
    std::size_t end = FindAligned(text, close, unit, 0, Occurrence::kLast);
    if (end != std::string_view::npos) return end + close.size();
  }
  return text.size();
}

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUTF16BE:
      return "UTF-16BE";
    case TextEncoding::kUTF16LE:
      return "UTF-16LE";
    case TextEncoding::kUTF32BE:
      return "UTF-32BE";
    case TextEncoding::kUTF32LE:
      return "UTF-32LE";
    default:
      return "UTF-8";
  }
}

}  // namespace

std::string ToUtf8Packet(std::string_view raw) {
  std::size_t start = 0;
  const TextEncoding encoding = Detect(raw, &start);
  if (encoding == TextEncoding::kUTF8) return std::string(raw);
  const std::size_t unit = xmpcore::UnitSize(encoding);
  std::string text(raw.substr(start));
  text.resize(PacketLength(text, encoding));
  while (!text.empty() && text.back() == '\0')
    text.pop_back();
  text.append((unit - text.size() % unit) % unit, '\0');
  try {
    return xmpcore::ToUTF8(text, encoding);
  } catch (const XMP_Error& e) {
    throw XMP_Error(kXMPErr_BadUnicode, std::string("the XMP packet is not valid ") +
                                            EncodingName(encoding) + ": " + e.GetErrMsg() +
                                            " (counted from its first character)");
  }
}

bool IsBlankBlock(std::string_view raw) {
  return std::all_of(raw.begin(), raw.end(), [](char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
  });
}

namespace {

// Where the parts of a packet stand in a UTF-8 text: `mText` runs from the packet's start to
// the end of the text; the offsets are in it (npos when missing).
struct PacketParts {
  std::string_view mText;
  std::size_t mCloseEnd = std::string_view::npos;
  std::size_t mTrailer = std::string_view::npos;
  std::size_t mTrailerEnd = std::string_view::npos;
};

// Where the packet starts: its wrapper's start before the first element, else that element.
// No search runs past an earlier find: a large packet is not scanned whole for a wrapper or
// a tag that it does not hold.
std::size_t PacketStart(std::string_view raw) {
  std::size_t open = std::string_view::npos;
  for (std::string_view tag : kOpenTags) {
    const std::string_view region =
        open == std::string_view::npos ? raw : raw.substr(0, open + tag.size() - 1);
    const std::size_t at = region.find(tag);
    if (at != std::string_view::npos) open = at;
  }
  const std::size_t wrapper =
      raw.substr(0, open == std::string_view::npos ? raw.size() : open).find("<?xpacket begin");
  return wrapper != std::string_view::npos ? wrapper : open;
}

std::optional<PacketParts> FindParts(std::string_view raw) {
  const std::size_t start = PacketStart(raw);
  if (start == std::string_view::npos) return std::nullopt;
  PacketParts p;
  p.mText = raw.substr(start);
  p.mCloseEnd = LastCloseEnd(p.mText);
  p.mTrailer =
      p.mText.find("<?xpacket end", p.mCloseEnd == std::string_view::npos ? 0 : p.mCloseEnd);
  if (p.mTrailer != std::string_view::npos) p.mTrailerEnd = p.mText.find("?>", p.mTrailer);
  return p;
}

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::optional<std::string_view> CleanPacketView(std::string_view raw) {
  const std::optional<PacketParts> p = FindParts(raw);
  if (!p) return std::nullopt;
  if (p->mTrailerEnd != std::string_view::npos) {
    if (p->mCloseEnd != std::string_view::npos &&
        !std::all_of(p->mText.begin() + static_cast<std::ptrdiff_t>(p->mCloseEnd),
                     p->mText.begin() + static_cast<std::ptrdiff_t>(p->mTrailer), IsXmlSpace)) {
      return std::nullopt;
    }
    return p->mText.substr(0, p->mTrailerEnd + 2);
  }
  if (p->mCloseEnd == std::string_view::npos || p->mText.starts_with("<?xpacket begin")) {
    return std::nullopt;
  }
  return p->mText.substr(0, p->mCloseEnd);
}

std::string CleanPacket(std::string_view raw) {
  const std::optional<PacketParts> p = FindParts(raw);
  if (!p) return {};
  const std::string_view s = p->mText;
  const std::size_t closeEnd = p->mCloseEnd;
  if (p->mTrailerEnd != std::string_view::npos) {
    std::string out(s.substr(0, p->mTrailerEnd + 2));
    if (closeEnd != std::string_view::npos) {
      for (std::size_t i = closeEnd; i < p->mTrailer; ++i) {
        if (!IsXmlSpace(out[i])) out[i] = ' ';
      }
    }
    return out;
  }
  if (closeEnd == std::string_view::npos) return {};
  // No (complete) trailer: the packet ends with its closing tag; a dangling wrapper start
  // is dropped so that the text is well-formed.
  std::string out(s.substr(0, closeEnd));
  if (out.starts_with("<?xpacket begin")) {
    std::size_t pi = out.find("?>");
    std::string body = pi == std::string::npos ? out : out.substr(pi + 2);
    return std::string(out.substr(0, pi + 2)) + body + "<?xpacket end=\"w\"?>";
  }
  return out;
}

bool IsUtf8Packet(std::string_view raw) {
  std::size_t start = 0;
  return Detect(raw, &start) == TextEncoding::kUTF8;
}

}  // namespace xmpfiles
