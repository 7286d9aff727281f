#include "Json.h"

#include <cstdint>
#include <cstring>

namespace veltmeta {

namespace {

// True when none of the 8 bytes of `word` needs escaping: no control character, no '"' and
// no '\'. Bit tricks on the whole word: "some byte below 0x20" and "some byte equal to c"
// are exact as yes/no answers, which is all this needs.
bool IsPlainWord(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  auto hasZero = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHigh) != 0; };
  const bool control = ((word - kOnes * 0x20) & ~word & kHigh) != 0;
  return !control && !hasZero(word ^ (kOnes * '"')) && !hasZero(word ^ (kOnes * '\\'));
}

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c == '"' || c == '\\';
}

// Length of the run at the start of `text` that is copied as it is.
std::size_t PlainRun(std::string_view text) {
  std::size_t i = 0;
  for (std::uint64_t word; i + 8 <= text.size(); i += 8) {
    std::memcpy(&word, text.data() + i, 8);
    if (!IsPlainWord(word)) break;
  }
  while (i < text.size() && !NeedsEscape(static_cast<unsigned char>(text[i])))
    ++i;
  return i;
}

void AppendEscape(std::string& out, unsigned char c) {
  switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default: {
      static constexpr char kHex[] = "0123456789abcdef";
      const char code[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      out.append(code, sizeof code);
    }
  }
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
  // Room for the usual case, text without anything to escape, in one step.
  if (out.capacity() - out.size() < text.size() + 2) out.reserve(out.size() + text.size() + 2);
  out += '"';
  while (!text.empty()) {
    const std::size_t plain = PlainRun(text);
    out.append(text.data(), plain);
    if (plain == text.size()) break;
    AppendEscape(out, static_cast<unsigned char>(text[plain]));
    text.remove_prefix(plain + 1);
  }
  out += '"';
}

}  // namespace veltmeta
