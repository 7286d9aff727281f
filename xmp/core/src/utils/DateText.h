#pragma once

// The ISO 8601 date forms of XMP, parsed and written on a plain record of date parts. The
// public date type is converted to and from this record by the utilities.

#include <cstdint>
#include <string>
#include <string_view>

namespace xmpcore::utils {

// A date, a time or both. A date may stop at the year (month 0) or at the month (day 0). The
// zone sign is -1 (west of UTC), +1 (east, or "+00:00") or 0 ("Z").
struct DateParts {
  int32_t mYear = 0;
  int32_t mMonth = 0;
  int32_t mDay = 0;
  int32_t mHour = 0;
  int32_t mMinute = 0;
  int32_t mSecond = 0;
  int32_t mNanoSecond = 0;
  int32_t mTzSign = 0;
  int32_t mTzHour = 0;
  int32_t mTzMinute = 0;
  bool mHasDate = false;
  bool mHasTime = false;
  bool mHasTimeZone = false;
};

// Parses "YYYY", "YYYY-MM", "YYYY-MM-DD", "YYYY-MM-DDThh:mm", "...:ss", "...:ss.fff" with an
// optional zone ("Z", "+hh:mm", "-hh:mm"), years of four to six digits with a leading "-"
// for years before year 0, and a time
// alone ("Thh:mm..."). Returns "" on success, otherwise a message saying what is wrong.
std::string ParseDate(std::string_view text, DateParts& out);

// Checks the ranges of the parts that are present; "" when valid, otherwise a message.
std::string CheckDate(const DateParts& date);

// Writes the parts that are present in the shortest exact form: seconds only when the
// seconds or the fraction are non-zero, the fraction without trailing zeros, "Z" for a zero
// offset with sign 0. The parts must have passed CheckDate.
std::string FormatDate(const DateParts& date);

// The number of days in a month of the proleptic Gregorian calendar.
int DaysInMonth(int32_t year, int32_t month);

// Moves a full date-time (date with day, and time) by `seconds`, carrying into the date.
void ShiftSeconds(DateParts& date, int64_t seconds);

// Seconds east of UTC of this machine's time zone at the UTC instant of `date` (a full
// date-time; dates outside the range of the C library use the current offset).
int64_t LocalOffsetAt(const DateParts& utcDate);

// The current local date and time with nanoseconds and this machine's zone offset.
DateParts Now();

}  // namespace xmpcore::utils
