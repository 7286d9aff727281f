// Formatting by type: dates in the user's locale and GPS coordinates.

#include <cmath>
#include <cstdlib>
#include <vector>

#include <boost/algorithm/string/split.hpp>

#include "registry/Assert.h"
#include "values/CameraFormatters.h"
#include "veltcore/DateFormat.h"
#include "veltmetadata/ValueFormatting.h"
#include "xmp/SXMPUtils.h"

namespace veltmetadata {

namespace {

constexpr const char* kDegreeSign = "\xC2\xB0";

// A date-time that can be shown: a full calendar date and a valid time of day.
bool IsShowable(const XMP_DateTime& value) {
  if (value.hasDate && (value.year < 0 || value.month < 1 || value.month > 12 || value.day < 1 ||
                        value.day > 31)) {
    return false;
  }
  if (value.hasTime && (value.hour < 0 || value.hour > 23 || value.minute < 0 ||
                        value.minute > 59 || value.second < 0 || value.second > 59)) {
    return false;
  }
  const bool zoneOffset = value.tzHour != 0 || value.tzMinute != 0;
  return !(zoneOffset && value.tzSign == kXMP_TimeIsUTC);
}

// The leading decimal integer of a part of a coordinate; 0 when there is none.
double LeadingInteger(const std::string& part) {
  char* end = nullptr;
  const long long value = std::strtoll(part.c_str(), &end, 10);
  return end == part.c_str() ? 0 : static_cast<double>(value);
}

double LeadingReal(const std::string& part) {
  char* end = nullptr;
  const double value = std::strtod(part.c_str(), &end);
  return end == part.c_str() || !std::isfinite(value) ? 0 : value;
}

// The last UTF-8 character of a text starts at the returned offset.
std::size_t LastCharacterStart(const std::string& text) {
  std::size_t at = text.size() - 1;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
  return at;
}

void AssertSuccess(int line, const std::string& message) {
  veltcore::debug::DoSimpleAssert(__FILE__, line, "FormatDate", "success", message);
}

}  // namespace

UTF8String FormatDate(const UTF8String& inValue) {
  XMP_DateTime value;
  try {
    value = SXMPUtils::ConvertToDate(inValue);
    if (value.tzHour == 0 && value.tzMinute == 0) value.tzSign = kXMP_TimeIsUTC;
    if (!IsShowable(value)) return inValue;
    SXMPUtils::ConvertToLocalTime(&value);
  } catch (const XMP_Error&) {
    return inValue;
  }
  // Dates before the Gregorian reform are shown as written: the calendars disagree there.
  if (value.hasDate && value.year < 1601) return inValue;

  UTF8String date;
  UTF8String time;
  UTF8String error;
  if (value.hasDate &&
      !veltcore::datetime::FormatShortDate(value.year, value.month, value.day, date, &error)) {
    AssertSuccess(__LINE__, "date formatting failed with error " + error);
    return inValue;
  }
  if (value.hasTime &&
      !veltcore::datetime::FormatTimeOfDay(value.hour, value.minute, value.second, time, &error)) {
    AssertSuccess(__LINE__, "time formatting failed with error " + error);
    return inValue;
  }
  if (date.empty() || time.empty()) return date + time;
  return date + " " + time;
}

UTF8String FormatGPSCoordinate(const UTF8String& inValue) {
  if (inValue.empty()) return {};
  const std::size_t directionAt = LastCharacterStart(inValue);
  const std::string direction = inValue.substr(directionAt);
  std::vector<std::string> parts;
  const std::string body = inValue.substr(0, directionAt);
  boost::algorithm::split(parts, body, [](char c) { return c == ','; });

  double degrees = LeadingInteger(parts[0]);
  double minutes = 0;
  double seconds = 0;
  UTF8String secondsText;
  if (parts.size() == 2) {
    const double decimalMinutes = LeadingReal(parts[1]);
    minutes = std::trunc(decimalMinutes);
    seconds = (decimalMinutes - minutes) * 60;
    secondsText = formatting::NumberText(seconds, 2);
  } else if (parts.size() == 3) {
    minutes = LeadingInteger(parts[1]);
    seconds = LeadingReal(parts[2]);
    secondsText = formatting::NumberText(seconds, 0);
  } else if (parts.size() > 3) {
    VELT_ASSERT_MSG(parts.size() <= 3, "Error parsing GPSCoordinate: too many commas");
  }

  if (degrees == 0 && minutes == 0 && seconds == 0) return UTF8String("0") + kDegreeSign;
  UTF8String text = formatting::NumberText(degrees, 0) + kDegreeSign + " ";
  if (minutes != 0 || seconds != 0) text += formatting::NumberText(minutes, 0) + "' ";
  if (seconds != 0) text += secondsText + "\" ";
  return text + direction;
}

}  // namespace veltmetadata
