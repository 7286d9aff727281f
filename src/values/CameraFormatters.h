#pragma once

// Display texts of camera values stored as XMP rationals ("num/den").

#include <optional>

#include "veltmetadata/Definitions.h"

namespace veltmetadata::formatting {

struct Rational {
  double mNumerator = 0;
  double mDenominator = 0;
};

// "num/den" with both parts starting with a number; no value otherwise.
std::optional<Rational> ParseRational(const UTF8String& text);
// The rational as one number (a zero denominator counts as 1); 0 when it does not parse.
double RationalNumber(const UTF8String& text);
// A number with `decimals` decimals, as every display text writes numbers.
UTF8String NumberText(double value, int decimals);

// The exposure time `seconds` snapped to the nearest standard time: "1/250 sec", "1.5 sec",
// ">1024 sec".
UTF8String SecondsText(double seconds);
// An f-number: "2.8", "8", ">1024" below 1.
UTF8String FNumberText(double fNumber);
// A distance rational: the infinity sign, "Unknown", or the value with 2 decimals; empty
// when the text is no rational or the denominator is 0.
UTF8String DistanceText(const UTF8String& text);

}  // namespace veltmetadata::formatting
