#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "veltcore/StringTypes.h"

namespace veltcore {

namespace string {

// Result codes of the conversions below. Every conversion returns one of these and leaves
// the output empty on failure; none throws and none reads past its input.
enum ConversionResult : int {
  kConversionOK = 0,
  kConversionTruncated = 1,    // the input ends inside a multi-unit sequence
  kConversionSurrogate = 2,    // an unpaired UTF-16 surrogate (or one encoded in UTF-8)
  kConversionInvalidUTF8 = 3,  // bytes that are not well-formed UTF-8 (bad lead or
                               // continuation byte, overlong form, value above U+10FFFF)
  kConversionNotAscii = 4,     // AsciiToUTF16 met a byte above 0x7F
};

// Strict UTF-8 -> UTF-16. Returns kConversionOK or the first problem met (out is cleared).
int UTF8to16(std::string_view in, UTF16String& out);
// Strict UTF-16 -> UTF-8. Unpaired surrogates give kConversionSurrogate (out is cleared).
int UTF16to8(std::u16string_view in, UTF8String& out);
// Convenience forms: the converted text, or the empty string on any error.
UTF16String UTF8to16(std::string_view in);
UTF8String UTF16to8(std::u16string_view in);
// 7-bit ASCII -> UTF-16; a byte above 0x7F gives kConversionNotAscii.
int AsciiToUTF16(std::string_view in, UTF16String& out);
UTF16String AsciiToUTF16(std::string_view in);
// Text in the platform's 8-bit encoding (UTF-8 on Linux), checked and returned as UTF-8
// or UTF-16. Invalid bytes give kConversionInvalidUTF8.
int Std8ToUTF8String(std::string_view in, UTF8String& out);
int Std8ToUTF16String(std::string_view in, UTF16String& out);
UTF8String Std8ToUTF8String(std::string_view in);
UTF16String Std8ToUTF16String(std::string_view in);
// True when the bytes are well-formed UTF-8.
bool IsValidUTF8(std::string_view in);
// The byte offset of the first sequence that is not well-formed UTF-8 (bad lead or
// continuation byte, overlong form, surrogate, value above U+10FFFF, cut short), or npos.
std::size_t FindInvalidUTF8(std::string_view in);
// Decodes the well-formed UTF-8 sequence at in[at] into `cp` and returns its length (1..4);
// returns 0 (and leaves `cp` unspecified) when the bytes there are not one.
std::size_t DecodeUTF8At(std::string_view in, std::size_t at, char32_t& cp);

// Flags of the number conversions.
enum NumberFlags : unsigned {
  kNumberDefault = 0,
  // Drop trailing zeros of the fraction, and the decimal point when nothing remains.
  kNumberTrimZeros = 1,
};

// Formats a number in the C locale ("." as the decimal point, no grouping):
//   minIntegerDigits  the integer part is left-padded with zeros to at least this many digits;
//   decimals          exactly this many digits after the point (rounded half away from zero),
//                     none and no point when 0; kNumberTrimZeros may shorten the fraction;
//   flags             NumberFlags;
//   maxLength         the longest text returned; a longer result (huge numbers) is given in
//                     scientific notation ("%.*g") within this length.
// NaN gives "NaN", infinities "Infinity" and "-Infinity". -0 prints as "0".
UTF16String NumberToString(double value, int minIntegerDigits, int decimals, unsigned flags = 0,
                           int maxLength = 31);
UTF8String NumberToUTF8String(double value, int minIntegerDigits, int decimals, unsigned flags = 0,
                              int maxLength = 31);

// Flags of StringToNumber.
enum ParseFlags : unsigned {
  kParseStrict = 0,       // the whole text must be a number
  kParseAllowBlanks = 1,  // leading and trailing blanks are ignored
};
// Parses a decimal number in the C locale ("1", "-2.5", "1e3"). A text that is no number
// (or has anything after the number) gives 0.0; `ok`, when given, tells which case it was.
double StringToNumber(std::string_view text, unsigned flags = kParseStrict, bool* ok = nullptr);
double StringToNumber(std::u16string_view text, unsigned flags = kParseStrict, bool* ok = nullptr);

// Replaces each "@0" ... "@8" in `text` by the argument of that index; markers without an
// argument are left as they stand. Replacements are not scanned again.
UTF8String ReplaceInString(std::string_view text, const std::vector<UTF8String>& args);
UTF16String ReplaceInString(std::u16string_view text, const std::vector<UTF16String>& args);
// Short forms for one to three arguments.
UTF8String ReplaceInString(std::string_view text, const UTF8String& a0);
UTF8String ReplaceInString(std::string_view text, const UTF8String& a0, const UTF8String& a1);
UTF8String ReplaceInString(std::string_view text, const UTF8String& a0, const UTF8String& a1,
                           const UTF8String& a2);

// Turns the character markers of ZString texts into the characters they stand for:
// "#{quot}" becomes a double quote and "#{U+XXXX}" (one to six hexadecimal digits naming a
// Unicode scalar value) becomes that character. Anything else, including unknown or
// malformed markers and "@n" arguments, is kept as it stands. Apply it to a localised
// template before its arguments are filled in, so that argument text is never rewritten.
UTF8String ReplaceZStringMarkers(std::string_view text);
UTF16String ReplaceZStringMarkers(std::u16string_view text);

// Case-insensitive comparison of ASCII letters; other bytes compare as they are.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
UTF8String ToLowerAscii(std::string_view text);

}  // namespace string

// String streams over the two string types.
using oUTF8StringStream = std::basic_ostringstream<char>;
using iUTF8StringStream = std::basic_istringstream<char>;
using iUTF16StringStream = std::basic_istringstream<char16_t>;

}  // namespace veltcore
