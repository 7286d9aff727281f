#include "veltcore/Localizer.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "veltcore/Files.h"

namespace veltcore {

UTF8String Locale::ApplicationLanguage() {
  if (const char* lang = std::getenv("VELTCORE_LANGUAGE"); lang && *lang) return lang;
  if (const char* lang = std::getenv("LANG"); lang && *lang) {
    std::string value(lang);
    value = value.substr(0, value.find_first_of(".@"));
    // "C" and "POSIX" name no language.
    if (value.size() >= 2 && value != "C" && value != "POSIX") return value;
  }
  return Default();
}

UTF8String Locale::Default() {
  return "en_US";
}

namespace config {

namespace {

constexpr std::string_view kZPrefix = "$$$/";

// Turns dictionary bytes into UTF-8 text: UTF-8 with or without BOM, or UTF-16 with BOM.
bool DecodeDictionary(std::string_view bytes, UTF8String& text) {
  if (bytes.size() >= 2 &&
      ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    const bool little = bytes[0] == '\xFF';
    if (bytes.size() % 2 != 0) return false;
    UTF16String units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto lo = static_cast<unsigned char>(bytes[i + (little ? 0 : 1)]);
      const auto hi = static_cast<unsigned char>(bytes[i + (little ? 1 : 0)]);
      units.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return string::UTF16to8(units, text) == string::kConversionOK;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (!string::IsValidUTF8(bytes)) return false;
  text.assign(bytes);
  return true;
}

UTF8String Unescape(std::string_view text) {
  UTF8String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
      out.push_back(text[i + 1] == 'n' ? '\n' : '\\');
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

Localizer& Localizer::Get() {
  static Localizer localizer;
  return localizer;
}

bool Localizer::Initialized() {
  return true;
}

bool Localizer::SplitZString(std::string_view text, std::string_view& key,
                             std::string_view& defaultText) {
  if (text.substr(0, kZPrefix.size()) != kZPrefix) return false;
  const auto eq = text.find('=', kZPrefix.size());
  if (eq == std::string_view::npos) return false;
  key = text.substr(kZPrefix.size(), eq - kZPrefix.size());
  defaultText = text.substr(eq + 1);
  return true;
}

UTF8String Localizer::Localize(std::string_view zstring) const {
  std::string_view key, defaultText;
  if (!SplitZString(zstring, key, defaultText)) return UTF8String(zstring);
  std::lock_guard<std::mutex> lock(mMutex);
  const auto it = mEntries.find(key);
  return it != mEntries.end() ? it->second : UTF8String(defaultText);
}

UTF16String Localizer::Localize(std::u16string_view zstring) const {
  UTF8String utf8;
  if (string::UTF16to8(zstring, utf8) != string::kConversionOK) return UTF16String(zstring);
  return string::UTF8to16(Localize(std::string_view(utf8)));
}

bool Localizer::LoadDictionaryText(std::string_view bytes) {
  UTF8String text;
  if (!DecodeDictionary(bytes, text)) return false;
  std::map<UTF8String, UTF8String, std::less<>> loaded;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#' || line[start] == ';') continue;
    std::string_view entry(line);
    entry.remove_prefix(start);
    if (entry.substr(0, kZPrefix.size()) == kZPrefix) entry.remove_prefix(kZPrefix.size());
    const auto eq = entry.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    loaded[UTF8String(entry.substr(0, eq))] = Unescape(entry.substr(eq + 1));
  }
  std::lock_guard<std::mutex> lock(mMutex);
  for (auto& [key, value] : loaded)
    mEntries[key] = std::move(value);
  return true;
}

bool Localizer::LoadDictionary(const UTF8String& path) {
  const auto bytes = filesupport::FileUtils::ReadFile(filesupport::File(std::string_view(path)));
  return bytes && LoadDictionaryText(*bytes);
}

bool Localizer::LoadDictionary(const UTF16String& path) {
  const auto bytes = filesupport::FileUtils::ReadFile(filesupport::File(path));
  return bytes && LoadDictionaryText(*bytes);
}

void Localizer::Clear() {
  std::lock_guard<std::mutex> lock(mMutex);
  mEntries.clear();
}

}  // namespace config
}  // namespace veltcore
