#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "veltcore/Strings.h"

namespace veltcore {

// The application language, e.g. "en_US".
class Locale {
 public:
  // $VELTCORE_LANGUAGE, else derived from $LANG ("de_DE.UTF-8" -> "de_DE"), else "en_US".
  static UTF8String ApplicationLanguage();
  // "en_US".
  static UTF8String Default();
};

namespace config {

// Localises ZStrings: "$$$/" key "=" default text. A key with a loaded translation gives the
// translation, else the default text. Text that is not a ZString comes back as it is.
// "#{quot}" markers and "@n" arguments are left alone.
//
// Dictionary files ("*.dat" of custom definitions folders, "*.dict" of extension packages)
// are text in UTF-8 (with or without byte-order mark) or UTF-16 of either byte order (with
// byte-order mark). One entry per line:
//     "$$$/key=translated text"
// or, equivalently, "key=translated text" (the "$$$/" is optional). Blank lines and lines
// starting with "#" or ";" are ignored; a trailing carriage return is dropped; a line
// without "=" is ignored. The escapes "\n" and "\\" in the text stand for a line feed and a
// backslash. A later entry replaces an earlier one with the same key.
class Localizer {
 public:
  // The process-wide localiser.
  static Localizer& Get();
  static bool Initialized();

  UTF16String Localize(std::u16string_view zstring) const;
  UTF8String Localize(std::string_view zstring) const;
  // Loads a dictionary file (UTF-8 path). Returns false when the file cannot be read or is
  // not valid text; entries loaded before are kept.
  bool LoadDictionary(const UTF8String& path);
  bool LoadDictionary(const UTF16String& path);
  // Loads entries from dictionary text in memory (any of the encodings above).
  bool LoadDictionaryText(std::string_view bytes);
  // Forgets every loaded translation.
  void Clear();

  // Splits a ZString into key (without "$$$/") and default text; false when `text` is no
  // ZString.
  static bool SplitZString(std::string_view text, std::string_view& key,
                           std::string_view& defaultText);

 private:
  mutable std::mutex mMutex;
  std::map<UTF8String, UTF8String, std::less<>> mEntries;
};

}  // namespace config
}  // namespace veltcore
