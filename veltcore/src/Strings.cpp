#include "veltcore/Strings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace veltcore::string {

namespace {

// Decodes one code point from UTF-8 at `i`; advances `i`. Returns a ConversionResult.
int DecodeUTF8(std::string_view in, std::size_t& i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(in[i]);
  if (b0 < 0x80) {
    cp = b0;
    ++i;
    return kConversionOK;
  }
  int extra;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return kConversionInvalidUTF8;  // continuation byte, overlong lead (C0, C1) or F5..FF
  }
  if (in.size() - i <= static_cast<std::size_t>(extra)) {
    // Tell a truncated sequence from a broken one: all available bytes must be continuations.
    for (std::size_t k = i + 1; k < in.size(); ++k)
      if ((static_cast<unsigned char>(in[k]) & 0xC0) != 0x80) return kConversionInvalidUTF8;
    return kConversionTruncated;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(in[i + k]);
    if ((b & 0xC0) != 0x80) return kConversionInvalidUTF8;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF) return kConversionInvalidUTF8;
  if (cp >= 0xD800 && cp <= 0xDFFF) return kConversionSurrogate;
  i += extra + 1;
  return kConversionOK;
}

void AppendUTF8(char32_t cp, UTF8String& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

template <class Text>
Text ReplaceMarkers(std::basic_string_view<typename Text::value_type> text,
                    const std::vector<Text>& args) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '@' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '8') {
      const std::size_t index = static_cast<std::size_t>(text[i + 1] - '0');
      if (index < args.size()) {
        out += args[index];
        ++i;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace

int UTF8to16(std::string_view in, UTF16String& out) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    char32_t cp;
    if (int rc = DecodeUTF8(in, i, cp); rc != kConversionOK) {
      out.clear();
      return rc;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return kConversionOK;
}

int UTF16to8(std::u16string_view in, UTF8String& out) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= in.size()) {
        out.clear();
        return kConversionTruncated;
      }
      const char32_t low = in[i + 1];
      if (low < 0xDC00 || low > 0xDFFF) {
        out.clear();
        return kConversionSurrogate;
      }
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      out.clear();
      return kConversionSurrogate;
    }
    AppendUTF8(cp, out);
  }
  return kConversionOK;
}

UTF16String UTF8to16(std::string_view in) {
  UTF16String out;
  UTF8to16(in, out);
  return out;
}

UTF8String UTF16to8(std::u16string_view in) {
  UTF8String out;
  UTF16to8(in, out);
  return out;
}

int AsciiToUTF16(std::string_view in, UTF16String& out) {
  out.clear();
  for (char c : in) {
    if (static_cast<unsigned char>(c) > 0x7F) {
      out.clear();
      return kConversionNotAscii;
    }
    out.push_back(static_cast<char16_t>(c));
  }
  return kConversionOK;
}

UTF16String AsciiToUTF16(std::string_view in) {
  UTF16String out;
  AsciiToUTF16(in, out);
  return out;
}

std::size_t FindInvalidUTF8(std::string_view in) {
  const std::size_t n = in.size();
  for (std::size_t i = 0; i < n;) {
    // Runs of ASCII, the common case in metadata, are skipped eight bytes at a time.
    if (n - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, in.data() + i, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    const std::size_t at = i;
    char32_t cp;
    if (DecodeUTF8(in, i, cp) != kConversionOK) return at;
  }
  return std::string_view::npos;
}

bool IsValidUTF8(std::string_view in) {
  return FindInvalidUTF8(in) == std::string_view::npos;
}

std::size_t DecodeUTF8At(std::string_view in, std::size_t at, char32_t& cp) {
  if (at >= in.size()) return 0;
  std::size_t i = at;
  return DecodeUTF8(in, i, cp) == kConversionOK ? i - at : 0;
}

int Std8ToUTF8String(std::string_view in, UTF8String& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size();) {
    char32_t cp;
    if (int rc = DecodeUTF8(in, i, cp); rc != kConversionOK) return rc;
  }
  out.assign(in);
  return kConversionOK;
}

int Std8ToUTF16String(std::string_view in, UTF16String& out) {
  return UTF8to16(in, out);
}

UTF8String Std8ToUTF8String(std::string_view in) {
  UTF8String out;
  Std8ToUTF8String(in, out);
  return out;
}

UTF16String Std8ToUTF16String(std::string_view in) {
  return UTF8to16(in);
}

UTF8String NumberToUTF8String(double value, int minIntegerDigits, int decimals, unsigned flags,
                              int maxLength) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  decimals = std::max(0, std::min(decimals, 17));
  minIntegerDigits = std::max(1, std::min(minIntegerDigits, 30));
  maxLength = std::max(8, std::min(maxLength, 300));
  char buffer[400];
  int n;
  const double scaled = value * std::pow(10.0, decimals);
  if (std::fabs(scaled) < 9e15) {
    // Round half away from zero on the scaled integer, then place the decimal point.
    const long long units = std::llround(scaled);
    std::string digits = std::to_string(units < 0 ? -units : units);
    const std::size_t width = static_cast<std::size_t>(minIntegerDigits + decimals);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    // Sign, integer digits, point, fraction digits, appended in order.
    const std::size_t point = digits.size() - static_cast<std::size_t>(decimals);
    std::string text = units < 0 ? "-" : "";
    text.append(digits, 0, point);
    if (decimals > 0) text.append(".").append(digits, point, std::string::npos);
    n = std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
  } else {
    n = std::snprintf(buffer, sizeof buffer, "%0*.*f",
                      minIntegerDigits + (decimals > 0 ? decimals + 1 : 0) + (value < 0 ? 1 : 0),
                      decimals, value);
  }
  if (n < 0 || n > maxLength) {
    n = std::snprintf(buffer, sizeof buffer, "%.*g", std::max(1, maxLength - 8), value);
  }
  UTF8String text(buffer, static_cast<std::size_t>(std::max(0, n)));
  if ((flags & kNumberTrimZeros) && text.find('.') != UTF8String::npos &&
      text.find('e') == UTF8String::npos) {
    while (!text.empty() && text.back() == '0')
      text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  // A negative number rounded to zero prints as "-0" or "-0.00": show it as zero.
  if (text[0] == '-' && text.find_first_not_of("-0.") == UTF8String::npos) text.erase(0, 1);
  return text;
}

UTF16String NumberToString(double value, int minIntegerDigits, int decimals, unsigned flags,
                           int maxLength) {
  return AsciiToUTF16(NumberToUTF8String(value, minIntegerDigits, decimals, flags, maxLength));
}

double StringToNumber(std::string_view text, unsigned flags, bool* ok) {
  if (ok) *ok = false;
  if (flags & kParseAllowBlanks) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return 0.0;
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  }
  if (text.empty() || text.size() > 512) return 0.0;
  // Only plain decimal forms: strtod would also take "inf", "nan" and hexadecimal.
  for (char c : text) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return 0.0;
  }
  std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return 0.0;
  if (ok) *ok = true;
  return value;
}

double StringToNumber(std::u16string_view text, unsigned flags, bool* ok) {
  UTF8String utf8;
  if (UTF16to8(text, utf8) != kConversionOK) {
    if (ok) *ok = false;
    return 0.0;
  }
  return StringToNumber(std::string_view(utf8), flags, ok);
}

UTF8String ReplaceInString(std::string_view text, const std::vector<UTF8String>& args) {
  return ReplaceMarkers<UTF8String>(text, args);
}

UTF16String ReplaceInString(std::u16string_view text, const std::vector<UTF16String>& args) {
  return ReplaceMarkers<UTF16String>(text, args);
}

UTF8String ReplaceInString(std::string_view text, const UTF8String& a0) {
  return ReplaceInString(text, std::vector<UTF8String>{a0});
}

UTF8String ReplaceInString(std::string_view text, const UTF8String& a0, const UTF8String& a1) {
  return ReplaceInString(text, std::vector<UTF8String>{a0, a1});
}

UTF8String ReplaceInString(std::string_view text, const UTF8String& a0, const UTF8String& a1,
                           const UTF8String& a2) {
  return ReplaceInString(text, std::vector<UTF8String>{a0, a1, a2});
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

UTF8String ToLowerAscii(std::string_view text) {
  UTF8String out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace veltcore::string
