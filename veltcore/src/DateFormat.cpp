#include "veltcore/DateFormat.h"

#include <locale.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace veltcore::datetime {

namespace {

// Opened locales by name, kept for the life of the process (a handful at most): a locale in
// use on one thread is never freed under it by another. A null entry remembers that the
// locale is not installed.
class LocaleCache {
 public:
  ~LocaleCache() {
    for (auto& [name, locale] : mLocales) {
      if (locale) freelocale(locale);
    }
  }

  locale_t Get(const UTF8String& name) {
    std::lock_guard<std::mutex> lock(mMutex);
    auto found = mLocales.find(name);
    if (found != mLocales.end()) return found->second;
    locale_t opened = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    mLocales.emplace(name, opened);
    return opened;
  }

  void SetOverride(const UTF8String& name) {
    std::lock_guard<std::mutex> lock(mMutex);
    mOverride = name;
  }
  UTF8String Override() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mOverride;
  }

 private:
  std::mutex mMutex;
  std::map<UTF8String, locale_t> mLocales;
  UTF8String mOverride;
};

LocaleCache& Cache() {
  static LocaleCache sCache;
  return sCache;
}

bool IsPlainCLocale(const UTF8String& name) {
  return name == "C" || name == "POSIX" || string::EqualsIgnoreAsciiCase(name, "C.UTF-8") ||
         string::EqualsIgnoreAsciiCase(name, "C.utf8");
}

// The user's locale, or null when the ISO forms apply.
locale_t UserLocale() {
  const UTF8String name = TimeLocaleName();
  if (name.empty() || IsPlainCLocale(name)) return static_cast<locale_t>(nullptr);
  return Cache().Get(name);
}

bool Format(const char* pattern, const struct tm& fields, locale_t locale, UTF8String& out,
            UTF8String* error) {
  char buffer[256];
  const std::size_t length = strftime_l(buffer, sizeof buffer, pattern, &fields, locale);
  if (length == 0) {
    if (error) *error = UTF8String("strftime_l gave no text for ") + pattern;
    return false;
  }
  out.assign(buffer, length);
  return true;
}

}  // namespace

void SetTimeLocaleOverride(const UTF8String& localeName) { Cache().SetOverride(localeName); }

UTF8String TimeLocaleName() {
  UTF8String name = Cache().Override();
  if (!name.empty()) return name;
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return {};
}

bool FormatShortDate(int year, int month, int day, UTF8String& out, UTF8String* error) {
  if (month < 1 || month > 12 || day < 1 || day > 31) {
    if (error) *error = "date fields out of range";
    return false;
  }
  const locale_t locale = UserLocale();
  if (!locale) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    out = buffer;
    return true;
  }
  struct tm fields = {};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  return Format("%x", fields, locale, out, error);
}

bool FormatTimeOfDay(int hour, int minute, int second, UTF8String& out, UTF8String* error) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) {
    if (error) *error = "time fields out of range";
    return false;
  }
  const locale_t locale = UserLocale();
  if (!locale) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", hour, minute, second);
    out = buffer;
    return true;
  }
  struct tm fields = {};
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return Format("%X", fields, locale, out, error);
}

}  // namespace veltcore::datetime
