#pragma once

// Dates and times of day in the user's own format (the short date and the time of the
// LC_TIME locale), for display.
//
// The locale is named by the first non-empty of the environment variables LC_ALL, LC_TIME
// and LANG, as the C library would pick it, but it is opened with newlocale and used with
// strftime_l ("%x" and "%X"): the process's global locale is never changed, so formatting is
// safe from any thread. A host (or a test) may name the locale itself with
// SetTimeLocaleOverride. A locale that is not installed, an unset environment and the plain
// "C"/"POSIX" locales give the ISO 8601 forms "2026-12-05" and "15:04:05".

#include "veltcore/Strings.h"

namespace veltcore::datetime {

// Uses `localeName` ("de_DE.UTF-8") instead of the environment's; empty restores the
// environment. Safe from any thread; affects calls that start afterwards.
void SetTimeLocaleOverride(const UTF8String& localeName);
// The locale name in force: the override, else LC_ALL, LC_TIME, LANG; empty when none.
UTF8String TimeLocaleName();

// The date in the locale's short date format ("12/05/2026", "05.12.2026"). Fields out of
// range (month 1-12, day 1-31) or a formatting failure give false, leave `out` unchanged and
// put the reason in `error` when given.
bool FormatShortDate(int year, int month, int day, UTF8String& out, UTF8String* error = nullptr);
// The time of day in the locale's time format ("03:04:05 PM", "15:04:05"). Fields out of
// range (hour 0-23, minute 0-59, second 0-60) or a formatting failure give false, leave
// `out` unchanged and put the reason in `error` when given.
bool FormatTimeOfDay(int hour, int minute, int second, UTF8String& out,
                     UTF8String* error = nullptr);

}  // namespace veltcore::datetime
