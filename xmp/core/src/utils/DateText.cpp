#include "DateText.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>

namespace xmpcore::utils {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// A cursor over the date text with the small readers the grammar needs.
class Reader {
 public:
  explicit Reader(std::string_view text) : mText(text) {}
  bool AtEnd() const { return mPos == mText.size(); }
  char Peek() const { return AtEnd() ? '\0' : mText[mPos]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++mPos;
    return true;
  }
  // Reads between `minDigits` and `maxDigits` decimal digits; false when fewer are there.
  bool Digits(size_t minDigits, size_t maxDigits, int64_t& value, size_t* count = nullptr) {
    size_t start = mPos;
    value = 0;
    while (!AtEnd() && mPos - start < maxDigits && Peek() >= '0' && Peek() <= '9') {
      value = value * 10 + (mText[mPos++] - '0');
    }
    if (count) *count = mPos - start;
    return mPos - start >= minDigits;
  }
  // The rest of the text, for messages.
  std::string Rest() const { return std::string(mText.substr(mPos)); }

 private:
  std::string_view mText;
  size_t mPos = 0;
};

std::string Unexpected(const Reader& reader, const char* expected) {
  if (reader.AtEnd()) return std::string("the date ends where ") + expected + " was expected";
  return std::string("expected ") + expected + " at \"" + reader.Rest() + "\"";
}

// Reads "hh:mm[:ss[.fff]]" (the "T" is already taken).
std::string ParseTime(Reader& reader, DateParts& out) {
  int64_t value = 0;
  if (!reader.Digits(2, 2, value)) return Unexpected(reader, "a two-digit hour");
  out.mHour = static_cast<int32_t>(value);
  if (!reader.Take(':') || !reader.Digits(2, 2, value)) {
    return Unexpected(reader, "\":\" and a two-digit minute");
  }
  out.mMinute = static_cast<int32_t>(value);
  out.mHasTime = true;
  if (!reader.Take(':')) return "";
  if (!reader.Digits(2, 2, value)) return Unexpected(reader, "two-digit seconds");
  out.mSecond = static_cast<int32_t>(value);
  if (!reader.Take('.')) return "";
  size_t count = 0;
  if (!reader.Digits(1, 9, value, &count)) return Unexpected(reader, "a fraction of a second");
  for (size_t i = count; i < 9; ++i)
    value *= 10;
  out.mNanoSecond = static_cast<int32_t>(value);
  int64_t ignored = 0;  // digits beyond nanoseconds are dropped
  reader.Digits(0, std::numeric_limits<size_t>::max(), ignored);
  return "";
}

// Reads an optional zone: "Z", "+hh:mm", "-hh:mm" (also "+hhmm" and "+hh").
std::string ParseZone(Reader& reader, DateParts& out) {
  if (reader.Take('Z')) {
    out.mHasTimeZone = true;
    return "";
  }
  int32_t sign = reader.Take('+') ? 1 : reader.Take('-') ? -1 : 0;
  if (sign == 0) return "";
  int64_t value = 0;
  if (!reader.Digits(2, 2, value)) return Unexpected(reader, "a two-digit zone hour");
  out.mTzHour = static_cast<int32_t>(value);
  reader.Take(':');
  if (reader.Digits(2, 2, value)) out.mTzMinute = static_cast<int32_t>(value);
  out.mTzSign = sign;
  out.mHasTimeZone = true;
  return "";
}

std::string ParseDateAndTime(Reader& reader, DateParts& out) {
  if (reader.Take('T')) return ParseTime(reader, out);
  bool negative = reader.Take('-');
  if (!negative) reader.Take('+');
  int64_t value = 0;
  // Four to six digits: longer runs are far more likely a date without dashes ("20240101").
  if (!reader.Digits(4, 6, value)) return Unexpected(reader, "a year of four to six digits");
  out.mYear = static_cast<int32_t>(negative ? -value : value);
  out.mHasDate = true;
  if (!reader.Take('-')) return "";
  if (!reader.Digits(2, 2, value)) return Unexpected(reader, "a two-digit month");
  out.mMonth = static_cast<int32_t>(value);
  if (!reader.Take('-')) return "";
  if (!reader.Digits(2, 2, value)) return Unexpected(reader, "a two-digit day");
  out.mDay = static_cast<int32_t>(value);
  if (!reader.Take('T')) return "";
  return ParseTime(reader, out);
}

void Append2(std::string& out, int32_t value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

// Days since 1970-01-01 of a proleptic Gregorian date (valid far beyond any XMP year).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, DateParts& out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp + (mp < 10 ? 3 : -9);
  out.mYear = static_cast<int32_t>(yoe + era * 400 + (m <= 2));
  out.mMonth = static_cast<int32_t>(m);
  out.mDay = static_cast<int32_t>(d);
}

int64_t OffsetOf(std::time_t when) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace

std::string ParseDate(std::string_view text, DateParts& out) {
  out = DateParts{};
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  if (text.empty()) return "invalid date \"\": the text is empty";
  Reader reader(text);
  std::string problem = ParseDateAndTime(reader, out);
  if (problem.empty() && out.mHasTime) problem = ParseZone(reader, out);
  if (problem.empty() && !reader.AtEnd()) {
    problem = "unexpected text \"" + reader.Rest() + "\" after the date";
  }
  if (problem.empty()) problem = CheckDate(out);
  if (!problem.empty()) return "invalid date \"" + std::string(text) + "\": " + problem;
  return "";
}

int DaysInMonth(int32_t year, int32_t month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string CheckDate(const DateParts& d) {
  if (d.mHasDate) {
    if (d.mYear < -999999999 || d.mYear > 999999999) return "the year is out of range";
    if (d.mMonth < 0 || d.mMonth > 12) return "month " + std::to_string(d.mMonth) + " is not 1-12";
    if (d.mDay != 0 && d.mMonth == 0) return "a day is given without a month";
    if (d.mDay < 0 || d.mDay > DaysInMonth(d.mYear, d.mMonth)) {
      return "day " + std::to_string(d.mDay) + " does not exist in month " +
             std::to_string(d.mMonth);
    }
    if (d.mHasTime && d.mDay == 0) return "a time is given with a partial date";
  }
  if (d.mHasTime) {
    if (d.mHour < 0 || d.mHour > 23) return "hour " + std::to_string(d.mHour) + " is not 0-23";
    if (d.mMinute < 0 || d.mMinute > 59)
      return "minute " + std::to_string(d.mMinute) + " is not 0-59";
    if (d.mSecond < 0 || d.mSecond > 59)
      return "second " + std::to_string(d.mSecond) + " is not 0-59";
    if (d.mNanoSecond < 0 || d.mNanoSecond > 999999999) return "the fraction is out of range";
  }
  if (d.mHasTimeZone) {
    if (d.mTzSign < -1 || d.mTzSign > 1) return "the zone sign is not -1, 0 or +1";
    if (d.mTzHour < 0 || d.mTzHour > 23 || d.mTzMinute < 0 || d.mTzMinute > 59) {
      return "the zone offset is out of range";
    }
  }
  return "";
}

std::string FormatDate(const DateParts& d) {
  std::string out;
  if (d.mHasDate) {
    char year[16];
    std::snprintf(year, sizeof year, "%s%04lld", d.mYear < 0 ? "-" : "",
                  static_cast<long long>(d.mYear < 0 ? -int64_t{d.mYear} : d.mYear));
    out = year;
    if (d.mMonth == 0) return out;
    out += '-';
    Append2(out, d.mMonth);
    if (d.mDay == 0) return out;
    out += '-';
    Append2(out, d.mDay);
  }
  if (!d.mHasTime) return out;
  out += 'T';
  Append2(out, d.mHour);
  out += ':';
  Append2(out, d.mMinute);
  if (d.mSecond != 0 || d.mNanoSecond != 0) {
    out += ':';
    Append2(out, d.mSecond);
    if (d.mNanoSecond != 0) {
      char fraction[16];
      std::snprintf(fraction, sizeof fraction, ".%09d", d.mNanoSecond);
      std::string_view text(fraction);
      while (text.back() == '0')
        text.remove_suffix(1);
      out += text;
    }
  }
  if (!d.mHasTimeZone) return out;
  if (d.mTzSign == 0 && d.mTzHour == 0 && d.mTzMinute == 0) return out + 'Z';
  out += d.mTzSign < 0 ? '-' : '+';
  Append2(out, d.mTzHour);
  out += ':';
  Append2(out, d.mTzMinute);
  return out;
}

void ShiftSeconds(DateParts& d, int64_t seconds) {
  int64_t total = DaysFromCivil(d.mYear, d.mMonth, d.mDay) * kSecondsPerDay + d.mHour * 3600 +
                  d.mMinute * 60 + d.mSecond + seconds;
  int64_t days =
      total >= 0 ? total / kSecondsPerDay : -((-total + kSecondsPerDay - 1) / kSecondsPerDay);
  int64_t rest = total - days * kSecondsPerDay;
  CivilFromDays(days, d);
  d.mHour = static_cast<int32_t>(rest / 3600);
  d.mMinute = static_cast<int32_t>(rest / 60 % 60);
  d.mSecond = static_cast<int32_t>(rest % 60);
}

int64_t LocalOffsetAt(const DateParts& utc) {
  int64_t seconds = DaysFromCivil(utc.mYear, utc.mMonth, utc.mDay) * kSecondsPerDay +
                    utc.mHour * 3600 + utc.mMinute * 60 + utc.mSecond;
  // Years the C library may not handle take the offset of today.
  constexpr int64_t kLimit = int64_t{253402300799};  // 9999-12-31T23:59:59Z
  if (seconds < -int64_t{62135596800} || seconds > kLimit) return OffsetOf(std::time(nullptr));
  return OffsetOf(static_cast<std::time_t>(seconds));
}

DateParts Now() {
  auto now = std::chrono::system_clock::now();
  auto sinceEpoch = now.time_since_epoch();
  auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  std::time_t when = static_cast<std::time_t>(seconds.count());
  std::tm local{};
  localtime_r(&when, &local);
  DateParts d;
  d.mHasDate = d.mHasTime = d.mHasTimeZone = true;
  d.mYear = local.tm_year + 1900;
  d.mMonth = local.tm_mon + 1;
  d.mDay = local.tm_mday;
  d.mHour = local.tm_hour;
  d.mMinute = local.tm_min;
  d.mSecond = local.tm_sec;
  d.mNanoSecond = static_cast<int32_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds).count());
  int64_t offset = local.tm_gmtoff;
  d.mTzSign = offset < 0 ? -1 : offset > 0 ? 1 : 0;
  if (offset < 0) offset = -offset;
  d.mTzHour = static_cast<int32_t>(offset / 3600);
  d.mTzMinute = static_cast<int32_t>(offset / 60 % 60);
  return d;
}

}  // namespace xmpcore::utils
