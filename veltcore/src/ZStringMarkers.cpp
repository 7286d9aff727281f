// Character markers of ZString texts: "#{quot}" and "#{U+XXXX}".
#include "veltcore/Strings.h"

#include <optional>

namespace veltcore::string {

namespace {

// The code point named by the marker that starts at `text[pos]` ("#{"), with the marker's
// length; nothing when no known, well-formed marker starts there.
template <class View>
std::optional<char32_t> MarkerAt(View text, std::size_t pos, std::size_t& length) {
  const std::size_t close = text.find(typename View::value_type('}'), pos + 2);
  if (close == View::npos) return std::nullopt;
  const View body = text.substr(pos + 2, close - pos - 2);
  length = close - pos + 1;
  if (body.size() == 4 && body[0] == 'q' && body[1] == 'u' && body[2] == 'o' && body[3] == 't')
    return U'"';
  if (body.size() < 3 || body.size() > 8 || body[0] != 'U' || body[1] != '+') return std::nullopt;
  char32_t value = 0;
  for (std::size_t i = 2; i < body.size(); ++i) {
    const char32_t c = body[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') digit = static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') digit = static_cast<int>(c - 'A' + 10);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<char32_t>(digit);
  }
  // Surrogates and values past U+10FFFF are no characters: keep such a marker as written.
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return value;
}

void Append(UTF8String& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void Append(UTF16String& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

template <class Out, class View>
Out ReplaceMarkers(View text) {
  Out out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t hash = text.find(typename View::value_type('#'), pos);
    if (hash == View::npos) break;
    out.append(text.substr(pos, hash - pos));
    std::size_t length = 0;
    const auto c = hash + 1 < text.size() && text[hash + 1] == '{' ? MarkerAt(text, hash, length)
                                                                   : std::nullopt;
    if (c) {
      Append(out, *c);
      pos = hash + length;
    } else {
      out.push_back(text[hash]);
      pos = hash + 1;
    }
  }
  if (pos < text.size()) out.append(text.substr(pos));
  return out;
}

}  // namespace

UTF8String ReplaceZStringMarkers(std::string_view text) {
  return ReplaceMarkers<UTF8String>(text);
}

UTF16String ReplaceZStringMarkers(std::u16string_view text) {
  return ReplaceMarkers<UTF16String>(text);
}

}  // namespace veltcore::string
