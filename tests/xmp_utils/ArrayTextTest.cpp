// Arrays as one text: quoting round trips, lenient splitting, and the object functions.

#include <gtest/gtest.h>

#include <random>

#include "xmp/SXMPMeta.h"
#include "xmp/SXMPUtils.h"

namespace {

using Items = std::vector<std::string>;

TEST(ArrayText, AnyItemsRoundTripThroughQuoting) {
  // Random items over an alphabet full of separator, quote and space characters.
  const std::vector<std::string> pieces = {"a", "b", " ", ";",  ",",   "\"", "'",   "«",
                                           "»", "é", "-", "\t", "x y", ";;", "\"\""};
  const std::vector<std::pair<std::string, std::string>> styles = {
      {"; ", "\""}, {",", "'"}, {" ", "\""}, {" | ", "«»"}, {";", "\"\""}, {"--", "\""}};
  std::mt19937 random(42);
  for (int round = 0; round < 2000; ++round) {
    Items items(random() % 5);
    for (std::string& item : items) {
      for (size_t n = random() % 5; n > 0; --n)
        item += pieces[random() % pieces.size()];
    }
    const auto& [separator, quotes] = styles[random() % styles.size()];
    std::string text = SXMPUtils::CatenateItems(items, separator, quotes);
    ASSERT_EQ(SXMPUtils::SeparateItems(text, separator, quotes), items)
        << "text [" << text << "] separator [" << separator << "]";
  }
}

TEST(ArrayText, QuotesOnlyWhatNeedsQuotingAndSplitsHandTypedText) {
  EXPECT_EQ(SXMPUtils::CatenateItems({"red", "green blue", "a;b", "say \"hi\"", "", " pad"}),
            "red; green blue; \"a;b\"; \"say \"\"hi\"\"\"; \"\"; \" pad\"");
  EXPECT_EQ(SXMPUtils::CatenateItems({"x"}), "x");
  EXPECT_EQ(SXMPUtils::CatenateItems({}), "");
  // Typed by a user: spacing varies, empty items are slips, a quote may stay open.
  EXPECT_EQ(SXMPUtils::SeparateItems("  one ;two;;  three  ; "), (Items{"one", "two", "three"}));
  EXPECT_EQ(SXMPUtils::SeparateItems("a; \"b; c"), (Items{"a", "b; c"}));
  EXPECT_EQ(SXMPUtils::SeparateItems("\"q\"tail ; z"), (Items{"qtail", "z"}));
  EXPECT_EQ(SXMPUtils::SeparateItems("   "), Items{});
  EXPECT_EQ(SXMPUtils::SeparateItems("a\"b; c"), (Items{"a\"b", "c"}));
  // Bad parameters are refused before anything is split.
  EXPECT_THROW(SXMPUtils::CatenateItems({"a"}, "", "\""), XMP_Error);
  EXPECT_THROW(SXMPUtils::CatenateItems({"a"}, ";", ""), XMP_Error);
  EXPECT_THROW(SXMPUtils::CatenateItems({"a"}, ";", "abc"), XMP_Error);
  EXPECT_THROW(SXMPUtils::CatenateItems({"a"}, ";", "\xff"), XMP_Error);
  EXPECT_THROW(SXMPUtils::SeparateItems("a", "\"", "\""), XMP_Error);
}

TEST(ArrayText, ObjectArraysJoinAndSplitWithTheirForm) {
  SXMPMeta meta;
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "cats; dogs");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "birds");
  std::string text;
  SXMPUtils::CatenateArrayItems(meta, kXMP_NS_DC, "dc:subject", "; ", "\"", 0, &text);
  EXPECT_EQ(text, "\"cats; dogs\"; birds");

  // Splitting replaces the items and keeps the existing form unless options name one.
  SXMPUtils::SeparateArrayItems(&meta, kXMP_NS_DC, "dc:subject", 0, text + "; fish");
  ASSERT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:subject"), 3);
  std::string item;
  XMP_OptionBits options = 0;
  meta.GetArrayItem(kXMP_NS_DC, "dc:subject", 1, &item);
  EXPECT_EQ(item, "cats; dogs");
  meta.GetProperty(kXMP_NS_DC, "dc:subject", nullptr, &options);
  EXPECT_EQ(options & kXMP_PropArrayFormMask, kXMP_PropValueIsArray);

  SXMPUtils::SeparateArrayItems(&meta, kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "B; A");
  meta.GetProperty(kXMP_NS_DC, "dc:creator", nullptr, &options);
  EXPECT_TRUE(options & kXMP_PropArrayIsOrdered);
  SXMPUtils::CatenateArrayItems(meta, kXMP_NS_DC, "dc:creator", "; ", "\"", 0, &text);
  EXPECT_EQ(text, "B; A");
  SXMPUtils::SeparateArrayItems(&meta, kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "");
  EXPECT_TRUE(meta.DoesPropertyExist(kXMP_NS_DC, "dc:creator"));
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:creator"), 0);

  // A missing array joins to nothing; a simple value, composite items or alt-text are refused
  // and the object is left as it was.
  SXMPUtils::CatenateArrayItems(meta, kXMP_NS_DC, "dc:type", "; ", "\"", 0, &text);
  EXPECT_EQ(text, "");
  meta.SetProperty(kXMP_NS_DC, "dc:format", "image/jpeg");
  EXPECT_THROW(SXMPUtils::CatenateArrayItems(meta, kXMP_NS_DC, "dc:format", "; ", "\"", 0, &text),
               XMP_Error);
  EXPECT_THROW(SXMPUtils::SeparateArrayItems(&meta, kXMP_NS_DC, "dc:format", 0, "a; b"), XMP_Error);
  meta.GetProperty(kXMP_NS_DC, "dc:format", &item);
  EXPECT_EQ(item, "image/jpeg");
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Title");
  EXPECT_THROW(SXMPUtils::SeparateArrayItems(&meta, kXMP_NS_DC, "dc:title", 0, "a; b"), XMP_Error);
  meta.AppendArrayItem(kXMP_NS_DC, "dc:relation", kXMP_PropValueIsArray, "",
                       kXMP_PropValueIsStruct);
  EXPECT_THROW(SXMPUtils::CatenateArrayItems(meta, kXMP_NS_DC, "dc:relation", "; ", "\"", 0, &text),
               XMP_Error);
}

}  // namespace
