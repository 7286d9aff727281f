#include "veltcore/Localizer.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"

using namespace veltcore;
using veltcore::config::Localizer;

namespace {
std::string Utf16Bytes(const std::u16string& text, bool littleEndian) {
  std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    bytes += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
  }
  return bytes;
}
}  // namespace

TEST(Localizer, DefaultTextsAndPlainTextPassThrough) {
  Localizer& loc = Localizer::Get();
  loc.Clear();
  EXPECT_TRUE(Localizer::Initialized());
  EXPECT_EQ(loc.Localize(std::string_view("$$$/a/b=Hello @0 #{quot}x#{quot}")),
            "Hello @0 #{quot}x#{quot}");
  EXPECT_EQ(loc.Localize(std::string_view("plain = text")), "plain = text");
  EXPECT_EQ(loc.Localize(std::string_view("$$$/no-equals")), "$$$/no-equals");
  EXPECT_EQ(loc.Localize(u"$$$/k=W\u00F6rld"), u"W\u00F6rld");
}

TEST(Localizer, LoadsUTF8AndUTF16DictionariesOfEitherByteOrder) {
  velttest::TempDir tmp;
  Localizer& loc = Localizer::Get();
  loc.Clear();
  velttest::WriteFile(
      tmp / "de.dat",
      "\xEF\xBB\xBF# comment\r\n$$$/app/title=Titel\r\napp/lines=a\\nb\r\n\r\nbogus\n");
  ASSERT_TRUE(loc.LoadDictionary((tmp / "de.dat").string()));
  EXPECT_EQ(loc.Localize(std::string_view("$$$/app/title=Title")), "Titel");
  EXPECT_EQ(loc.Localize(std::string_view("$$$/app/lines=x")), "a\nb");
  EXPECT_EQ(loc.Localize(std::string_view("$$$/app/other=Other")), "Other");

  velttest::WriteFile(tmp / "le.dict", Utf16Bytes(u"$$$/app/title=Tit\u00E8l\r\n", true));
  velttest::WriteFile(tmp / "be.dict", Utf16Bytes(u"$$$/app/name=N\u00E4me\n", false));
  ASSERT_TRUE(loc.LoadDictionary((tmp / "le.dict").string()));
  ASSERT_TRUE(loc.LoadDictionary(u"" + std::u16string((tmp / "be.dict").u16string())));
  EXPECT_EQ(loc.Localize(std::string_view("$$$/app/title=Title")), "Tit\xC3\xA8l");
  EXPECT_EQ(loc.Localize(std::string_view("$$$/app/name=Name")), "N\xC3\xA4me");

  // Broken files change nothing.
  velttest::WriteFile(tmp / "bad.dat", "$$$/app/title=\xFF\xFF");
  EXPECT_FALSE(loc.LoadDictionary((tmp / "bad.dat").string()));
  velttest::WriteFile(tmp / "odd.dict",
                      "\xFF\xFE"
                      "a");
  EXPECT_FALSE(loc.LoadDictionary((tmp / "odd.dict").string()));
  EXPECT_FALSE(loc.LoadDictionary((tmp / "missing.dat").string()));
  EXPECT_EQ(loc.Localize(std::string_view("$$$/app/title=Title")), "Tit\xC3\xA8l");
  loc.Clear();
  EXPECT_EQ(loc.Localize(std::string_view("$$$/app/title=Title")), "Title");
}

TEST(Localizer, ApplicationLanguageFromEnvironment) {
  EXPECT_EQ(Locale::ApplicationLanguage(), "en_US");
  ::setenv("VELTCORE_LANGUAGE", "", 1);
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(Locale::ApplicationLanguage(), "de_DE");
  ::setenv("LANG", "C", 1);
  EXPECT_EQ(Locale::ApplicationLanguage(), "en_US");
  ::setenv("VELTCORE_LANGUAGE", "en_US", 1);
  EXPECT_EQ(Locale::Default(), "en_US");
}
