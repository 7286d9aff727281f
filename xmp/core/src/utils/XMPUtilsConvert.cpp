// SXMPUtils: conversions of booleans, numbers and dates to and from their XMP texts.

#include "xmp/SXMPUtils.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "DateText.h"

namespace {

std::string_view Trimmed(const std::string& text) {
  std::string_view view(text);
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!view.empty() && isSpace(view.front()))
    view.remove_prefix(1);
  while (!view.empty() && isSpace(view.back()))
    view.remove_suffix(1);
  return view;
}

[[noreturn]] void BadValue(const std::string& text, const char* what) {
  throw XMP_Error(kXMPErr_BadValue, "\"" + text + "\" is not " + what);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

// Reads a signed integer of the given range in decimal or, after "0x", hexadecimal.
XMP_Int64 ParseInteger(const std::string& text, XMP_Int64 low, XMP_Int64 high, const char* what) {
  std::string_view view = Trimmed(text);
  bool negative = false;
  if (!view.empty() && (view.front() == '-' || view.front() == '+')) {
    negative = view.front() == '-';
    view.remove_prefix(1);
  }
  int base = 10;
  if (view.size() > 2 && view[0] == '0' && (view[1] == 'x' || view[1] == 'X')) {
    base = 16;
    view.remove_prefix(2);
  }
  if (view.empty() || view.front() == '-' || view.front() == '+') BadValue(text, what);
  // The magnitude is read unsigned so that the most negative value fits.
  std::uint64_t magnitude = 0;
  auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), magnitude, base);
  if (end != view.data() + view.size()) BadValue(text, what);
  if (error == std::errc::result_out_of_range) BadValue(text, "in range");
  if (error != std::errc()) BadValue(text, what);
  std::uint64_t limit = negative ? std::uint64_t(-(low + 1)) + 1 : std::uint64_t(high);
  if (magnitude > limit) BadValue(text, "in range");
  if (!negative) return static_cast<XMP_Int64>(magnitude);
  return magnitude == limit ? low : -static_cast<XMP_Int64>(magnitude);
}

xmpcore::utils::DateParts ToParts(const XMP_DateTime& d) {
  xmpcore::utils::DateParts p;
  p.mYear = d.year;
  p.mMonth = d.month;
  p.mDay = d.day;
  p.mHour = d.hour;
  p.mMinute = d.minute;
  p.mSecond = d.second;
  p.mNanoSecond = d.nanoSecond;
  p.mTzSign = d.tzSign;
  p.mTzHour = d.tzHour;
  p.mTzMinute = d.tzMinute;
  p.mHasDate = d.hasDate;
  p.mHasTime = d.hasTime;
  p.mHasTimeZone = d.hasTimeZone;
  return p;
}

XMP_DateTime FromParts(const xmpcore::utils::DateParts& p) {
  XMP_DateTime d;
  d.year = p.mYear;
  d.month = p.mMonth;
  d.day = p.mDay;
  d.hour = p.mHour;
  d.minute = p.mMinute;
  d.second = p.mSecond;
  d.nanoSecond = p.mNanoSecond;
  d.tzSign = static_cast<XMP_Int8>(p.mTzSign);
  d.tzHour = p.mTzHour;
  d.tzMinute = p.mTzMinute;
  d.hasDate = p.mHasDate;
  d.hasTime = p.mHasTime;
  d.hasTimeZone = p.mHasTimeZone;
  return d;
}

// True for a record holding a complete date and a time, the only ones zone moves apply to.
bool IsFullDateTime(const XMP_DateTime& d) {
  return d.hasDate && d.hasTime && d.month != 0 && d.day != 0;
}

// The zone offset of the record in seconds east of UTC.
XMP_Int64 OffsetSeconds(const XMP_DateTime& d) {
  XMP_Int64 magnitude = XMP_Int64{d.tzHour} * 3600 + XMP_Int64{d.tzMinute} * 60;
  return d.tzSign < 0 ? -magnitude : magnitude;
}

void SetOffset(XMP_DateTime& d, XMP_Int64 offset) {
  d.hasTimeZone = true;
  d.tzSign = offset < 0 ? kXMP_TimeWestOfUTC : offset > 0 ? kXMP_TimeEastOfUTC : kXMP_TimeIsUTC;
  if (offset < 0) offset = -offset;
  d.tzHour = static_cast<XMP_Int32>(offset / 3600);
  d.tzMinute = static_cast<XMP_Int32>(offset / 60 % 60);
}

void CheckOrThrow(const XMP_DateTime& d) {
  std::string problem = xmpcore::utils::CheckDate(ToParts(d));
  if (!problem.empty()) throw XMP_Error(kXMPErr_BadParam, "invalid date-time record: " + problem);
}

}  // namespace

std::string SXMPUtils::ConvertFromBool(bool value) {
  return value ? "True" : "False";
}

std::string SXMPUtils::ConvertFromInt(XMP_Int32 value) {
  return std::to_string(value);
}

std::string SXMPUtils::ConvertFromInt64(XMP_Int64 value) {
  return std::to_string(value);
}

std::string SXMPUtils::ConvertFromFloat(double value) {
  if (!std::isfinite(value)) {
    throw XMP_Error(kXMPErr_BadParam, "infinity and NaN have no XMP text");
  }
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string SXMPUtils::ConvertFromDate(const XMP_DateTime& value) {
  CheckOrThrow(value);
  return xmpcore::utils::FormatDate(ToParts(value));
}

bool SXMPUtils::ConvertToBool(const std::string& text) {
  std::string_view view = Trimmed(text);
  for (const char* yes : {"true", "t", "yes", "y", "on", "1"}) {
    if (EqualsNoCase(view, yes)) return true;
  }
  for (const char* no : {"false", "f", "no", "n", "off", "0"}) {
    if (EqualsNoCase(view, no)) return false;
  }
  BadValue(text, "a boolean");
}

XMP_Int32 SXMPUtils::ConvertToInt(const std::string& text) {
  return static_cast<XMP_Int32>(ParseInteger(text, std::numeric_limits<XMP_Int32>::min(),
                                             std::numeric_limits<XMP_Int32>::max(), "an integer"));
}

XMP_Int64 SXMPUtils::ConvertToInt64(const std::string& text) {
  return ParseInteger(text, std::numeric_limits<XMP_Int64>::min(),
                      std::numeric_limits<XMP_Int64>::max(), "an integer");
}

double SXMPUtils::ConvertToFloat(const std::string& text) {
  std::string_view view = Trimmed(text);
  if (!view.empty() && view.front() == '+') view.remove_prefix(1);
  if (view.empty()) BadValue(text, "a number");
  double value = 0;
  auto [end, error] =
      std::from_chars(view.data(), view.data() + view.size(), value, std::chars_format::general);
  if (error != std::errc() || end != view.data() + view.size() || !std::isfinite(value)) {
    BadValue(text, "a finite number");
  }
  return value;
}

XMP_DateTime SXMPUtils::ConvertToDate(const std::string& text) {
  xmpcore::utils::DateParts parts;
  std::string problem = xmpcore::utils::ParseDate(text, parts);
  if (!problem.empty()) throw XMP_Error(kXMPErr_BadValue, problem);
  return FromParts(parts);
}

XMP_DateTime SXMPUtils::CurrentDateTime() {
  return FromParts(xmpcore::utils::Now());
}

void SXMPUtils::ConvertToUTCTime(XMP_DateTime* time) {
  if (time == nullptr) throw XMP_Error(kXMPErr_BadParam, "null date-time");
  if (!IsFullDateTime(*time)) return;
  CheckOrThrow(*time);
  xmpcore::utils::DateParts parts = ToParts(*time);
  XMP_Int64 offset =
      time->hasTimeZone ? OffsetSeconds(*time) : xmpcore::utils::LocalOffsetAt(parts);
  xmpcore::utils::ShiftSeconds(parts, -offset);
  XMP_DateTime result = FromParts(parts);
  SetOffset(result, 0);
  *time = result;
}

void SXMPUtils::ConvertToLocalTime(XMP_DateTime* time) {
  if (time == nullptr) throw XMP_Error(kXMPErr_BadParam, "null date-time");
  if (!IsFullDateTime(*time)) return;
  CheckOrThrow(*time);
  xmpcore::utils::DateParts parts = ToParts(*time);
  if (!time->hasTimeZone) {
    SetOffset(*time, xmpcore::utils::LocalOffsetAt(parts));
    return;
  }
  xmpcore::utils::ShiftSeconds(parts, -OffsetSeconds(*time));
  XMP_Int64 local = xmpcore::utils::LocalOffsetAt(parts);
  xmpcore::utils::ShiftSeconds(parts, local);
  XMP_DateTime result = FromParts(parts);
  SetOffset(result, local);
  *time = result;
}

int SXMPUtils::CompareDateTime(const XMP_DateTime& left, const XMP_DateTime& right) {
  XMP_DateTime a = left;
  XMP_DateTime b = right;
  if (a.hasTimeZone && b.hasTimeZone) {
    ConvertToUTCTime(&a);
    ConvertToUTCTime(&b);
  }
  const XMP_Int32 fa[] = {a.year, a.month, a.day, a.hour, a.minute, a.second, a.nanoSecond};
  const XMP_Int32 fb[] = {b.year, b.month, b.day, b.hour, b.minute, b.second, b.nanoSecond};
  for (size_t i = 0; i < 7; ++i) {
    if (fa[i] != fb[i]) return fa[i] < fb[i] ? -1 : 1;
  }
  return 0;
}
