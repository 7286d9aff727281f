#include "veltcore/Strings.h"

#include <gtest/gtest.h>

using namespace veltcore;
using namespace veltcore::string;

TEST(Strings, UTF8AndUTF16RoundTripEveryPlane) {
  const UTF8String text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // A é € 😀 z
  UTF16String wide;
  ASSERT_EQ(UTF8to16(text, wide), kConversionOK);
  EXPECT_EQ(wide, (UTF16String{u'A', 0xE9, 0x20AC, 0xD83D, 0xDE00, u'z'}));
  UTF8String back;
  ASSERT_EQ(UTF16to8(wide, back), kConversionOK);
  EXPECT_EQ(back, text);
  EXPECT_EQ(UTF8to16(""), u"");
}

TEST(Strings, InvalidInputGivesDocumentedCodeAndEmptyOutput) {
  UTF16String wide = u"stale";
  EXPECT_EQ(UTF8to16("ab\xFF", wide), kConversionInvalidUTF8);
  EXPECT_TRUE(wide.empty());
  EXPECT_EQ(UTF8to16("\xC0\xAF", wide), kConversionInvalidUTF8);          // overlong '/'
  EXPECT_EQ(UTF8to16("\xE0\x80\xAF", wide), kConversionInvalidUTF8);      // overlong 3-byte
  EXPECT_EQ(UTF8to16("\xF4\x90\x80\x80", wide), kConversionInvalidUTF8);  // above U+10FFFF
  EXPECT_EQ(UTF8to16("\x80", wide), kConversionInvalidUTF8);              // lone continuation
  EXPECT_EQ(UTF8to16("\xE2\x82", wide), kConversionTruncated);
  EXPECT_EQ(UTF8to16("\xE2(x", wide), kConversionInvalidUTF8);
  EXPECT_EQ(UTF8to16("\xED\xA0\x80", wide), kConversionSurrogate);  // CESU-style surrogate

  UTF8String narrow = "stale";
  EXPECT_EQ(UTF16to8(UTF16String{0xD800}, narrow), kConversionTruncated);
  EXPECT_TRUE(narrow.empty());
  EXPECT_EQ(UTF16to8(UTF16String{0xDC00, u'a'}, narrow), kConversionSurrogate);
  EXPECT_EQ(UTF16to8(UTF16String{0xD800, u'a'}, narrow), kConversionSurrogate);

  EXPECT_EQ(AsciiToUTF16("abc", wide), kConversionOK);
  EXPECT_EQ(wide, u"abc");
  EXPECT_EQ(AsciiToUTF16("caf\xC3\xA9", wide), kConversionNotAscii);
  EXPECT_EQ(Std8ToUTF16String("\xFF", wide), kConversionInvalidUTF8);
  EXPECT_EQ(Std8ToUTF8String("ok\xC3\xA9"), "ok\xC3\xA9");
  EXPECT_EQ(Std8ToUTF8String("bad\xFF"), "");

  // The first bad sequence is found wherever it sits against the ASCII runs skipped in words.
  for (size_t at : {0, 7, 8, 9, 16, 23}) {
    std::string text = std::string(at, 'a') + "\xC3\xA9" + std::string(9, 'b');
    EXPECT_EQ(FindInvalidUTF8(text), std::string::npos);
    text.insert(at + 2, "\xE2\x82");  // cut short by the next ASCII byte
    EXPECT_EQ(FindInvalidUTF8(text), at + 2) << at;
    EXPECT_EQ(FindInvalidUTF8(text.substr(0, at + 3)), at + 2) << at;  // cut short at the end
  }
  char32_t cp = 0;
  EXPECT_EQ(DecodeUTF8At("x\xF0\x9F\x98\x80", 1, cp), 4u);
  EXPECT_EQ(cp, U'\U0001F600');
  EXPECT_EQ(DecodeUTF8At("\xED\xA0\x80", 0, cp), 0u);
}

TEST(Strings, NumberToStringGivesExactlyTheDecimalsAsked) {
  EXPECT_EQ(NumberToUTF8String(3.5, 1, 2), "3.50");
  EXPECT_EQ(NumberToUTF8String(2.0 / 3.0, 1, 1), "0.7");
  EXPECT_EQ(NumberToUTF8String(2.5, 1, 0), "3");  // half away from zero
  EXPECT_EQ(NumberToUTF8String(-0.004, 1, 2), "0.00");
  EXPECT_EQ(NumberToUTF8String(-1.25, 1, 1), "-1.3");
  EXPECT_EQ(NumberToUTF8String(7, 3, 0), "007");
  EXPECT_EQ(NumberToUTF8String(1.0, 1, 1, kNumberTrimZeros), "1");
  EXPECT_EQ(NumberToUTF8String(1.50, 1, 2, kNumberTrimZeros), "1.5");
  EXPECT_EQ(NumberToString(0.25, 1, 2), u"0.25");
  EXPECT_EQ(NumberToUTF8String(1e300, 1, 2).size() <= 31, true);
  EXPECT_EQ(NumberToUTF8String(std::numeric_limits<double>::quiet_NaN(), 1, 2), "NaN");
}

TEST(Strings, StringToNumberIsStrictUnlessAskedForBlanks) {
  bool ok = false;
  EXPECT_DOUBLE_EQ(StringToNumber("-2.5", kParseStrict, &ok), -2.5);
  EXPECT_TRUE(ok);
  EXPECT_DOUBLE_EQ(StringToNumber(" 12 ", kParseAllowBlanks, &ok), 12.0);
  EXPECT_TRUE(ok);
  for (const char* bad : {"", " 12", "12abc", "inf", "nan", "0x10", "abc"}) {
    EXPECT_EQ(StringToNumber(bad, kParseStrict, &ok), 0.0) << bad;
    EXPECT_FALSE(ok) << bad;
  }
  EXPECT_DOUBLE_EQ(StringToNumber(u"1e3", kParseStrict, &ok), 1000.0);
}

TEST(Strings, ZStringMarkersBecomeCharactersAndUnknownOnesStay) {
  EXPECT_EQ(ReplaceZStringMarkers("tag #{quot}@0#{quot}, #{U+221E} #{U+1F600}#{u+41}"),
            "tag \"@0\", \u221E \U0001F600#{u+41}");
  // Unknown, malformed, unterminated and non-character markers are kept as written.
  for (const char* kept : {"#{amp}", "#{U+}", "#{U+12345678}", "#{U+D800}", "#{U+110000}",
                           "#{U+12G4}", "#{quot", "#", "##{", "# {quot}"}) {
    EXPECT_EQ(ReplaceZStringMarkers(kept), kept);
  }
  EXPECT_EQ(ReplaceZStringMarkers("##{quot}"), "#\"");
  // Both string types give the same text.
  const std::string mixed = "#{U+10FFFF}a#{quot}#{x}#{U+e9}";
  EXPECT_EQ(ReplaceZStringMarkers(UTF8to16(mixed)), UTF8to16(ReplaceZStringMarkers(mixed)));
}

TEST(Strings, ReplaceInStringFillsArgumentsOnce) {
  EXPECT_EQ(ReplaceInString("namespace @0@1 (@2)", "ns/", "Title", "x"), "namespace ns/Title (x)");
  // Arguments are not scanned again, and missing arguments leave the marker.
  EXPECT_EQ(ReplaceInString("@0 and @1", UTF8String("@1")), "@1 and @1");
  EXPECT_EQ(ReplaceInString("@8 @9", std::vector<UTF8String>(9, "v")), "v @9");
  EXPECT_EQ(ReplaceInString(u"a@0", std::vector<UTF16String>{u"b"}), u"ab");
  EXPECT_TRUE(EqualsIgnoreAsciiCase("DC_Definitions", "dc_definitions"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("dc", "dcx"));
}
