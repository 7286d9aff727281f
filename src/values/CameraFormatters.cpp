#include "values/CameraFormatters.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "veltcore/Localizer.h"
#include "veltmetadata/ValueFormatting.h"

namespace veltmetadata::formatting {

namespace {

// Shutter speeds cameras offer, longest first: whole and tenths of seconds, then fractions.
constexpr std::array<double, 70> kStandardExposureTimes = {
    30,         25,         20,         15,          13,         10,         8,
    6,          5,          4,          3.2,         3,          2.5,        2,
    1.6,        1.5,        1.3,        1,           0.8,        0.7,        0.6,
    0.5,        0.4,        0.3,        1.0 / 4,     1.0 / 5,    1.0 / 6,    1.0 / 8,
    1.0 / 10,   1.0 / 13,   1.0 / 15,   1.0 / 20,    1.0 / 25,   1.0 / 30,   1.0 / 40,
    1.0 / 45,   1.0 / 50,   1.0 / 60,   1.0 / 80,    1.0 / 90,   1.0 / 100,  1.0 / 125,
    1.0 / 160,  1.0 / 180,  1.0 / 200,  1.0 / 250,   1.0 / 320,  1.0 / 350,  1.0 / 400,
    1.0 / 500,  1.0 / 640,  1.0 / 750,  1.0 / 800,   1.0 / 1000, 1.0 / 1250, 1.0 / 1500,
    1.0 / 1600, 1.0 / 2000, 1.0 / 2500, 1.0 / 3000,  1.0 / 3200, 1.0 / 4000, 1.0 / 5000,
    1.0 / 6000, 1.0 / 6400, 1.0 / 8000, 1.0 / 10000, 1.0 / 12000, 1.0 / 12800, 1.0 / 16000};

constexpr const char* kSecondsZString = "$$$/veltmetadata/format/unit/second=@0 sec";
constexpr const char* kInfinityZString = "$$$/veltmetadata/format/value/infinity=#{U+221E}";
constexpr const char* kUnknownZString = "$$$/veltmetadata/format/value/unknown=Unknown";

std::optional<double> StandardTimeNear(double t) {
  for (double e : kStandardExposureTimes) {
    if (e * 0.98 <= t && t <= e * 1.02) return e;
  }
  return std::nullopt;
}

double NearestInteger(double value) { return std::floor(value + 0.5); }

// The standard exposure time `t` stands for; times no camera offers are rounded instead.
double SnapExposureTime(double t) {
  if (!(t > 0)) return 0;
  if (auto e = StandardTimeNear(t)) return *e;
  // Cameras store powers of two (1/64, 1/1024) for the nominal 1/60, 1/1000.
  if (t < 0.1) {
    if (auto e = StandardTimeNear(t * (t >= 0.01 ? 1.0666666666666667 : 1.024))) return *e;
  }
  if (t >= 10) return NearestInteger(t);
  if (t >= 0.5) return NearestInteger(t * 10) / 10;
  const double d = t >= 0.05        ? 1
                   : t >= 1.0 / 130   ? 0.2
                   : t >= 1.0 / 750   ? 0.1
                   : t >= 1.0 / 1300  ? 0.02
                   : t >= 1.0 / 15000 ? 0.01
                                      : 0.001;
  const double parts = NearestInteger(d / t);
  return parts > 0 ? d / parts : t;
}

UTF8String Localized(const char* zstring) {
  return veltcore::string::ReplaceZStringMarkers(
      veltcore::config::Localizer::Get().Localize(std::string_view(zstring)));
}

std::optional<double> LeadingNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<Rational> ParseRational(const UTF8String& text) {
  const std::size_t slash = text.find('/');
  if (slash == UTF8String::npos) return std::nullopt;
  const std::optional<double> numerator = LeadingNumber(text.substr(0, slash));
  const std::optional<double> denominator = LeadingNumber(text.substr(slash + 1));
  if (!numerator || !denominator) return std::nullopt;
  return Rational{*numerator, *denominator};
}

double RationalNumber(const UTF8String& text) {
  const std::optional<Rational> rational = ParseRational(text);
  if (!rational) return 0;
  return rational->mNumerator / (rational->mDenominator == 0 ? 1 : rational->mDenominator);
}

UTF8String NumberText(double value, int decimals) {
  return veltcore::string::NumberToUTF8String(value, 1, decimals, 0, 31);
}

UTF8String SecondsText(double seconds) {
  UTF8String number;
  if (seconds > 1024) {
    number = ">1024";
  } else {
    const double snapped = SnapExposureTime(seconds);
    if (snapped > 0.25 || snapped <= 0) {
      number = NumberText(snapped, snapped > 0 ? 1 : 0);
    } else {
      number = "1/" + NumberText(1 / snapped, 0);
    }
  }
  return veltcore::string::ReplaceInString(Localized(kSecondsZString), number);
}

UTF8String FNumberText(double fNumber) {
  if (!(fNumber >= 1.0)) return ">1024";
  return NumberText(fNumber, fNumber < 8.0 ? 1 : 0);
}

UTF8String DistanceText(const UTF8String& text) {
  const std::optional<Rational> rational = ParseRational(text);
  if (!rational) return {};
  // The numerator as the 32-bit unsigned EXIF stores: 0xFFFFFFFF means infinity, 0 unknown.
  const double numerator = std::trunc(rational->mNumerator);
  std::uint32_t stored = 1;
  if (std::fabs(numerator) < 9.0e18) {
    stored = static_cast<std::uint32_t>(static_cast<std::int64_t>(numerator));
  }
  if (stored == 0xFFFFFFFFu) return Localized(kInfinityZString);
  if (stored == 0) return Localized(kUnknownZString);
  if (rational->mDenominator == 0) return {};
  return NumberText(rational->mNumerator / rational->mDenominator, 2);
}

}  // namespace veltmetadata::formatting

namespace veltmetadata {

UTF8String FormatRational(const UTF8String& inValue, std::size_t inDecimals) {
  const std::optional<formatting::Rational> rational = formatting::ParseRational(inValue);
  if (!rational || rational->mDenominator == 0) return {};
  const int decimals = static_cast<int>(std::min<std::size_t>(inDecimals, 17));
  return formatting::NumberText(rational->mNumerator / rational->mDenominator, decimals);
}

}  // namespace veltmetadata
