#include "XMPUnicode.h"

#include <cstdint>

#include "veltcore/Strings.h"
#include "xmp/XMP_Const.h"

namespace xmpcore {
namespace {

[[noreturn]] void BadUnicode(const std::string& what, size_t offset) {
  throw XMP_Error(kXMPErr_BadUnicode, what + " at byte " + std::to_string(offset));
}

uint32_t Read16(const unsigned char* p, bool big) {
  return big ? (uint32_t(p[0]) << 8 | p[1]) : (uint32_t(p[1]) << 8 | p[0]);
}

uint32_t Read32(const unsigned char* p, bool big) {
  return big ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
             : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
}

void AppendUTF8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUnit(std::string& out, uint32_t unit, size_t size, bool big) {
  for (size_t i = 0; i < size; ++i) {
    size_t shift = big ? 8 * (size - 1 - i) : 8 * i;
    out += static_cast<char>((unit >> shift) & 0xFF);
  }
}

bool IsBig(TextEncoding e) {
  return e == TextEncoding::kUTF16BE || e == TextEncoding::kUTF32BE;
}

}  // namespace

void RequireUTF8(std::string_view text, const std::string& what) {
  size_t bad = veltcore::string::FindInvalidUTF8(text);
  if (bad != std::string_view::npos) BadUnicode(what + " is not valid UTF-8", bad);
}

size_t UnitSize(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUTF8:
      return 1;
    case TextEncoding::kUTF16BE:
    case TextEncoding::kUTF16LE:
      return 2;
    default:
      return 4;
  }
}

TextEncoding DetectEncoding(std::string_view bytes, size_t* bomLength) {
  auto b = [&](size_t i) -> int {
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : -1;
  };
  *bomLength = 0;
  if (b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
    *bomLength = 3;
    return TextEncoding::kUTF8;
  }
  if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) {
    *bomLength = 4;
    return TextEncoding::kUTF32BE;
  }
  if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) {
    *bomLength = 4;
    return TextEncoding::kUTF32LE;
  }
  if (b(0) == 0xFE && b(1) == 0xFF) {
    *bomLength = 2;
    return TextEncoding::kUTF16BE;
  }
  if (b(0) == 0xFF && b(1) == 0xFE) {
    *bomLength = 2;
    return TextEncoding::kUTF16LE;
  }
  // No mark: a packet starts with '<' (possibly after white space); look at the zero bytes.
  if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) > 0) return TextEncoding::kUTF32BE;
  if (b(0) > 0 && b(1) == 0 && b(2) == 0 && b(3) == 0) return TextEncoding::kUTF32LE;
  if (b(0) == 0 && b(1) > 0) return TextEncoding::kUTF16BE;
  if (b(0) > 0 && b(1) == 0) return TextEncoding::kUTF16LE;
  return TextEncoding::kUTF8;
}

std::string ToUTF8(std::string_view bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::kUTF8) return std::string(bytes);
  const size_t unit = UnitSize(encoding);
  const bool big = IsBig(encoding);
  if (bytes.size() % unit != 0) {
    BadUnicode("text length " + std::to_string(bytes.size()) + " is not a multiple of " +
                   std::to_string(unit),
               bytes.size());
  }
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::string out;
  out.reserve(bytes.size() / unit + bytes.size() / 4);
  for (size_t i = 0; i < bytes.size(); i += unit) {
    uint32_t cp;
    if (unit == 2) {
      cp = Read16(p + i, big);
      if (cp >= 0xD800 && cp <= 0xDBFF) {
        if (i + 2 >= bytes.size()) BadUnicode("unpaired high surrogate", i);
        uint32_t low = Read16(p + i + 2, big);
        if (low < 0xDC00 || low > 0xDFFF) BadUnicode("unpaired high surrogate", i);
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
        BadUnicode("unpaired low surrogate", i);
      }
    } else {
      cp = Read32(p + i, big);
      if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        BadUnicode("invalid code point " + std::to_string(cp), i);
      }
    }
    AppendUTF8(out, cp);
  }
  return out;
}

std::string FromUTF8(std::string_view utf8, TextEncoding encoding) {
  if (encoding == TextEncoding::kUTF8) return std::string(utf8);
  const size_t unit = UnitSize(encoding);
  const bool big = IsBig(encoding);
  std::string out;
  out.reserve(utf8.size() * unit);
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    uint32_t c = p[i];
    size_t len = c < 0x80           ? 1
                 : (c >> 5) == 0x6  ? 2
                 : (c >> 4) == 0xE  ? 3
                 : (c >> 3) == 0x1E ? 4
                                    : 0;
    if (len == 0 || i + len > n) BadUnicode("invalid UTF-8", i);
    uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) BadUnicode("invalid UTF-8", i);
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    i += len;
    if (unit == 2 && cp >= 0x10000) {
      cp -= 0x10000;
      AppendUnit(out, 0xD800 + (cp >> 10), 2, big);
      AppendUnit(out, 0xDC00 + (cp & 0x3FF), 2, big);
    } else {
      AppendUnit(out, cp, unit, big);
    }
  }
  return out;
}

}  // namespace xmpcore
