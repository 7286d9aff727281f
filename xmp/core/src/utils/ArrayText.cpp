#include "ArrayText.h"

namespace xmpcore::utils {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Length in bytes of the UTF-8 character starting with `lead`, 0 when `lead` cannot start one.
size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return lead >= 0xC2 ? 2 : 0;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return lead <= 0xF4 ? 4 : 0;
  return 0;
}

// Splits off the first UTF-8 character of `text` into `out`; false when it is malformed.
bool TakeCharacter(std::string_view& text, std::string& out) {
  size_t length = Utf8Length(static_cast<unsigned char>(text.front()));
  if (length == 0 || length > text.size()) return false;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return false;
  }
  out.assign(text.substr(0, length));
  text.remove_prefix(length);
  return true;
}

size_t SkipSpace(std::string_view text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos]))
    ++pos;
  return pos;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

bool NeedsQuotes(const std::string& item, std::string_view core, const QuotePair& quotes) {
  if (item.empty() || IsSpace(item.front()) || IsSpace(item.back())) return true;
  // Any byte of the separator, not only the whole separator: with a separator such as "--",
  // an item ending in "-" would otherwise move the split point.
  return item.find_first_of(core) != std::string::npos ||
         item.find(quotes.mOpen) != std::string::npos ||
         item.find(quotes.mClose) != std::string::npos;
}

void AppendQuoted(std::string& out, const std::string& item, const QuotePair& quotes) {
  out += quotes.mOpen;
  size_t pos = 0;
  while (pos < item.size()) {
    size_t hit = item.find(quotes.mClose, pos);
    if (hit == std::string::npos) {
      out.append(item, pos, std::string::npos);
      break;
    }
    out.append(item, pos, hit - pos);
    out += quotes.mClose;
    out += quotes.mClose;
    pos = hit + quotes.mClose.size();
  }
  out += quotes.mClose;
}

// Reads a quoted item whose opening quote ends at `pos`; leaves `pos` after the closing quote
// (or at the end of the text when the quote is never closed).
std::string ReadQuoted(std::string_view text, size_t& pos, const QuotePair& quotes) {
  std::string item;
  const std::string& close = quotes.mClose;
  while (pos < text.size()) {
    size_t hit = text.find(close, pos);
    if (hit == std::string_view::npos) {
      item.append(text.substr(pos));
      pos = text.size();
      break;
    }
    item.append(text.substr(pos, hit - pos));
    pos = hit + close.size();
    if (text.substr(pos, close.size()) != close) return item;
    item += close;  // a doubled closing quote stands for one
    pos += close.size();
  }
  return item;
}

}  // namespace

bool ParseQuotes(std::string_view quotes, QuotePair& out) {
  if (quotes.empty() || !TakeCharacter(quotes, out.mOpen)) return false;
  if (quotes.empty()) {
    out.mClose = out.mOpen;
    return true;
  }
  return TakeCharacter(quotes, out.mClose) && quotes.empty();
}

std::string_view SeparatorCore(std::string_view separator) {
  size_t first = SkipSpace(separator, 0);
  if (first == separator.size()) return separator;
  return TrimRight(separator.substr(first));
}

std::string JoinItems(const std::vector<std::string>& items, std::string_view separator,
                      const QuotePair& quotes) {
  std::string_view core = SeparatorCore(separator);
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += separator;
    if (NeedsQuotes(items[i], core, quotes)) {
      AppendQuoted(out, items[i], quotes);
    } else {
      out += items[i];
    }
  }
  return out;
}

std::vector<std::string> SplitItems(std::string_view text, std::string_view separator,
                                    const QuotePair& quotes) {
  std::string_view core = SeparatorCore(separator);
  std::vector<std::string> items;
  size_t pos = 0;
  while (true) {
    pos = SkipSpace(text, pos);
    if (pos >= text.size()) break;
    std::string item;
    bool quoted = text.substr(pos, quotes.mOpen.size()) == quotes.mOpen;
    if (quoted) {
      pos += quotes.mOpen.size();
      item = ReadQuoted(text, pos, quotes);
    }
    size_t end = core.empty() ? std::string_view::npos : text.find(core, pos);
    std::string_view rest = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    // Unquoted text, or stray text after a closing quote, is kept without trailing space.
    rest = quoted ? TrimRight(rest.substr(SkipSpace(rest, 0))) : TrimRight(rest);
    item.append(rest);
    // An empty unquoted item ("a;;b", a trailing separator) is a typing slip, not an item.
    if (quoted || !item.empty()) items.push_back(std::move(item));
    if (end == std::string_view::npos) break;
    pos = end + core.size();
  }
  return items;
}

}  // namespace xmpcore::utils
