// Property access: set/get/delete, typed values, arrays, structures, qualifiers, localized
// text with the x-default rules, multiple values and the object life cycle.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"

namespace {

using coretest::ErrorOf;
using coretest::Value;

TEST(XMPProperty, SetGetDeleteAndTypedValues) {
  SXMPMeta meta;
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP, "xmp:Rating"));
  meta.SetProperty_Int(kXMP_NS_XMP, "xmp:Rating", -3);
  XMP_Int32 rating = 0;
  EXPECT_TRUE(meta.GetProperty_Int(kXMP_NS_XMP, "xmp:Rating", &rating));
  EXPECT_EQ(rating, -3);
  meta.SetProperty_Int64(kXMP_NS_XMP, "xmp:Big", 1234567890123LL);
  XMP_Int64 big = 0;
  EXPECT_TRUE(meta.GetProperty_Int64(kXMP_NS_XMP, "xmp:Big", &big));
  EXPECT_EQ(big, 1234567890123LL);
  meta.SetProperty_Bool(kXMP_NS_XMP, "xmp:Flag", true);
  EXPECT_EQ(Value(meta, kXMP_NS_XMP, "xmp:Flag"), "True");
  meta.SetProperty(kXMP_NS_XMP, "xmp:Flag2", "false");
  bool flag = true;
  EXPECT_TRUE(meta.GetProperty_Bool(kXMP_NS_XMP, "xmp:Flag2", &flag));
  EXPECT_FALSE(flag);
  meta.SetProperty_Float(kXMP_NS_XMP, "xmp:F", 0.1);
  double f = 0;
  EXPECT_TRUE(meta.GetProperty_Float(kXMP_NS_XMP, "xmp:F", &f));
  EXPECT_EQ(f, 0.1);
  XMP_DateTime date;
  date.year = 2021, date.month = 2, date.day = 3, date.hasDate = true;
  meta.SetProperty_Date(kXMP_NS_XMP, "xmp:CreateDate", date);
  EXPECT_EQ(Value(meta, kXMP_NS_XMP, "xmp:CreateDate"), "2021-02-03");
  XMP_DateTime back;
  EXPECT_TRUE(meta.GetProperty_Date(kXMP_NS_XMP, "xmp:CreateDate", &back));
  EXPECT_EQ(back, date);
  EXPECT_FALSE(meta.GetProperty_Int(kXMP_NS_XMP, "xmp:Missing", &rating));

  meta.SetProperty(kXMP_NS_XMP, "xmp:Text", "abc");
  EXPECT_EQ(ErrorOf([&] { meta.GetProperty_Int(kXMP_NS_XMP, "xmp:Text", &rating); }),
            kXMPErr_BadValue);
  EXPECT_EQ(ErrorOf([&] { meta.GetProperty_Bool(kXMP_NS_XMP, "xmp:Text", &flag); }),
            kXMPErr_BadValue);
  EXPECT_EQ(rating, -3);  // unchanged on failure

  meta.DeleteProperty(kXMP_NS_XMP, "xmp:Text");
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP, "xmp:Text"));
  meta.DeleteProperty(kXMP_NS_XMP, "xmp:Text");  // deleting again is harmless

  // Composites cannot take a value; bad options are refused before anything changes.
  meta.SetStructField(kXMP_NS_EXIF, "exif:Flash", kXMP_NS_EXIF, "Fired", "True");
  EXPECT_EQ(ErrorOf([&] { meta.SetProperty(kXMP_NS_EXIF, "exif:Flash", "x"); }), kXMPErr_BadXPath);
  EXPECT_EQ(ErrorOf([&] {
              meta.SetProperty(kXMP_NS_XMP, "xmp:New", "",
                               kXMP_PropValueIsStruct | kXMP_PropValueIsArray);
            }),
            kXMPErr_BadOptions);
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP, "xmp:New"));
  EXPECT_EQ(ErrorOf([&] { meta.SetProperty(kXMP_NS_EXIF, "exif:Flash[1]", "x"); }),
            kXMPErr_BadXPath);
  EXPECT_EQ(Value(meta, kXMP_NS_EXIF, "exif:Flash/exif:Fired"), "True");
}

TEST(XMPProperty, ArraysInsertReplaceDeleteCount) {
  SXMPMeta meta;
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:subject"), 0);
  EXPECT_EQ(ErrorOf([&] { meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", 0, "x"); }),
            kXMPErr_BadOptions);
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropArrayIsOrdered, "b");
  XMP_OptionBits options = 0;
  meta.GetProperty(kXMP_NS_DC, "dc:subject", nullptr, &options);
  EXPECT_EQ(options & kXMP_PropArrayFormMask, kXMP_PropValueIsArray | kXMP_PropArrayIsOrdered);
  meta.SetArrayItem(kXMP_NS_DC, "dc:subject", 1, "a", kXMP_InsertBeforeItem);
  meta.SetArrayItem(kXMP_NS_DC, "dc:subject", 2, "c", kXMP_InsertAfterItem);
  meta.SetArrayItem(kXMP_NS_DC, "dc:subject", 4, "d");  // count+1 appends
  meta.SetArrayItem(kXMP_NS_DC, "dc:subject", kXMP_ArrayLastItem, "D");
  meta.SetArrayItem(kXMP_NS_DC, "dc:subject", kXMP_ArrayLastItem, "C", kXMP_InsertBeforeItem);
  std::string joined;
  for (XMP_Index i = 1; i <= meta.CountArrayItems(kXMP_NS_DC, "dc:subject"); ++i) {
    std::string item;
    ASSERT_TRUE(meta.GetArrayItem(kXMP_NS_DC, "dc:subject", i, &item, nullptr));
    joined += item;
  }
  EXPECT_EQ(joined, "abcCD");
  EXPECT_EQ(ErrorOf([&] { meta.SetArrayItem(kXMP_NS_DC, "dc:subject", 9, "x"); }),
            kXMPErr_BadIndex);
  EXPECT_EQ(ErrorOf([&] { meta.SetArrayItem(kXMP_NS_DC, "dc:subject", 0, "x"); }),
            kXMPErr_BadIndex);
  EXPECT_EQ(ErrorOf([&] { meta.SetArrayItem(kXMP_NS_DC, "dc:nothing", 1, "x"); }),
            kXMPErr_BadXPath);
  meta.DeleteArrayItem(kXMP_NS_DC, "dc:subject", 1);
  meta.DeleteArrayItem(kXMP_NS_DC, "dc:subject", kXMP_ArrayLastItem);
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:subject"), 3);
  EXPECT_TRUE(meta.DoesArrayItemExist(kXMP_NS_DC, "dc:subject", 3));
  EXPECT_FALSE(meta.DoesArrayItemExist(kXMP_NS_DC, "dc:subject", 4));
  meta.SetProperty(kXMP_NS_DC, "dc:format", "text");
  EXPECT_EQ(ErrorOf([&] { meta.CountArrayItems(kXMP_NS_DC, "dc:format"); }), kXMPErr_BadXPath);

  // Arrays of structures, addressed by index and by field value.
  meta.AppendArrayItem(kXMP_NS_XMP_MM, "xmpMM:History", kXMP_PropArrayIsOrdered, "",
                       kXMP_PropValueIsStruct);
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[last()]/stEvt:action", "created");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[2]/stEvt:action", "saved");
  EXPECT_EQ(Value(meta, kXMP_NS_XMP_MM, "xmpMM:History[stEvt:action=\"saved\"]/stEvt:action"),
            "saved");
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_XMP_MM, "xmpMM:History"), 2);
}

TEST(XMPProperty, StructFieldsAndQualifiers) {
  SXMPMeta meta;
  meta.SetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef, "instanceID",
                      "uuid:1");
  std::string value;
  EXPECT_TRUE(meta.GetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef,
                                  "instanceID", &value, nullptr));
  EXPECT_EQ(value, "uuid:1");
  EXPECT_TRUE(meta.DoesStructFieldExist(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom",
                                        kXMP_NS_XMP_ResourceRef, "instanceID"));
  meta.DeleteStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef,
                         "instanceID");
  EXPECT_FALSE(meta.DoesStructFieldExist(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom",
                                         kXMP_NS_XMP_ResourceRef, "instanceID"));

  EXPECT_EQ(
      ErrorOf([&] { meta.SetQualifier(kXMP_NS_DC, "dc:missing", kXMP_NS_XML, "lang", "en"); }),
      kXMPErr_BadXPath);
  meta.SetProperty(kXMP_NS_DC, "dc:source", "s");
  meta.SetQualifier(kXMP_NS_DC, "dc:source", kXMP_NS_XMP_IdentifierQual, "Scheme", "isbn");
  meta.SetQualifier(kXMP_NS_DC, "dc:source", kXMP_NS_XML, "lang", "en");
  XMP_OptionBits options = 0;
  meta.GetProperty(kXMP_NS_DC, "dc:source", nullptr, &options);
  EXPECT_TRUE(options & kXMP_PropHasQualifiers);
  EXPECT_TRUE(options & kXMP_PropHasLang);
  // xml:lang is kept first among the qualifiers.
  EXPECT_EQ(Value(meta, kXMP_NS_DC, "dc:source/?xml:lang"), "en");
  EXPECT_EQ(
      xmpcore::Tree(meta).FindChild(kXMP_NS_DC)->FindChild("dc:source")->mQualifiers[0]->mName,
      "xml:lang");
  EXPECT_TRUE(
      meta.DoesQualifierExist(kXMP_NS_DC, "dc:source", kXMP_NS_XMP_IdentifierQual, "Scheme"));
  meta.DeleteQualifier(kXMP_NS_DC, "dc:source", kXMP_NS_XMP_IdentifierQual, "Scheme");
  meta.DeleteQualifier(kXMP_NS_DC, "dc:source", kXMP_NS_XML, "lang");
  meta.GetProperty(kXMP_NS_DC, "dc:source", nullptr, &options);
  EXPECT_FALSE(options & kXMP_PropHasQualifiers);
}

TEST(XMPProperty, LocalizedTextFollowsXDefaultRules) {
  SXMPMeta meta;
  std::string lang, value;
  EXPECT_FALSE(
      meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", &lang, &value, nullptr));
  // The first language set also becomes x-default, kept first.
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "en", "en-US", "Color");
  EXPECT_EQ(Value(meta, kXMP_NS_DC, "dc:title[1]/?xml:lang"), "x-default");
  EXPECT_EQ(Value(meta, kXMP_NS_DC, "dc:title[1]"), "Color");
  // Changing the language x-default was made from changes x-default too.
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "en", "en-US", "Colour?");
  EXPECT_EQ(Value(meta, kXMP_NS_DC, "dc:title[?xml:lang=\"x-default\"]"), "Colour?");
  // Another language does not touch x-default.
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "fr", "fr-FR", "Couleur");
  EXPECT_EQ(Value(meta, kXMP_NS_DC, "dc:title[?xml:lang=\"x-default\"]"), "Colour?");
  // Setting x-default with several other languages leaves them alone.
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Default");
  EXPECT_EQ(Value(meta, kXMP_NS_DC, "dc:title[?xml:lang=\"en-US\"]"), "Colour?");
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:title"), 3);

  // Lookup: exact (any case), generic language, x-default, first item.
  EXPECT_TRUE(meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "FR-fr", &lang, &value, nullptr));
  EXPECT_EQ(value, "Couleur");
  EXPECT_TRUE(meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "fr", "fr-CA", &lang, &value, nullptr));
  EXPECT_EQ(lang, "fr-FR");
  EXPECT_TRUE(meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "de-DE", &lang, &value, nullptr));
  EXPECT_EQ(lang, "x-default");
  EXPECT_EQ(value, "Default");

  // With only x-default and one language holding the same text, both follow.
  SXMPMeta two;
  two.SetLocalizedText(kXMP_NS_DC, "dc:rights", "", "de", "Alt");
  two.SetLocalizedText(kXMP_NS_DC, "dc:rights", "", "x-default", "Neu");
  EXPECT_EQ(Value(two, kXMP_NS_DC, "dc:rights[?xml:lang=\"de\"]"), "Neu");
  // Deleting x-default removes the item that duplicated it.
  two.DeleteLocalizedText(kXMP_NS_DC, "dc:rights", "", "x-default");
  EXPECT_FALSE(two.DoesPropertyExist(kXMP_NS_DC, "dc:rights"));

  // A plain text where an alt-text belongs is read as x-default and upgraded on write.
  SXMPMeta plain;
  plain.SetProperty(kXMP_NS_DC, "dc:description", "plain");
  EXPECT_TRUE(plain.GetLocalizedText(kXMP_NS_DC, "dc:description", "", "x-default", &lang, &value,
                                     nullptr));
  EXPECT_EQ(value, "plain");
  plain.SetLocalizedText(kXMP_NS_DC, "dc:description", "", "it", "testo");
  EXPECT_EQ(Value(plain, kXMP_NS_DC, "dc:description[?xml:lang=\"x-default\"]"), "plain");
  EXPECT_EQ(plain.CountArrayItems(kXMP_NS_DC, "dc:description"), 2);

  EXPECT_EQ(ErrorOf([&] { plain.SetLocalizedText(kXMP_NS_DC, "dc:subject", "", "", "x"); }),
            kXMPErr_BadParam);
  plain.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "k");
  EXPECT_EQ(ErrorOf([&] { plain.SetLocalizedText(kXMP_NS_DC, "dc:subject", "", "en", "x"); }),
            kXMPErr_BadXPath);
}

TEST(XMPProperty, MultipleValuesMarkAndClear) {
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_DC, "dc:format", "");
  meta.SetProperty(kXMP_NS_DC, "dc:subject", "", kXMP_PropValueIsArray);
  xmpcore::Tree(meta).mChildren[0]->mChildren[0]->mOptions |= kXMP_PropHasMultipleValues;
  xmpcore::Tree(meta).mChildren[0]->mChildren[1]->mOptions |= kXMP_PropHasMultipleValues;
  EXPECT_TRUE(meta.HasMultipleValues(kXMP_NS_DC, "dc:format"));
  EXPECT_TRUE(meta.HasMultipleValues(kXMP_NS_DC, "dc:subject[1]"));  // inside a marked array
  EXPECT_FALSE(meta.HasMultipleValues(kXMP_NS_DC, "dc:title"));
  meta.ClearMultipleValues(kXMP_NS_DC, "dc:format");
  EXPECT_FALSE(meta.HasMultipleValues(kXMP_NS_DC, "dc:format"));
  EXPECT_EQ(Value(meta, kXMP_NS_DC, "dc:format"), "");
  // Writing a value also ends the state; the mark never reaches a packet.
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", 0, "k");
  EXPECT_FALSE(meta.HasMultipleValues(kXMP_NS_DC, "dc:subject"));
  xmpcore::Tree(meta).mChildren[0]->mChildren[0]->mOptions |= kXMP_PropHasMultipleValues;
  EXPECT_FALSE(coretest::RoundTrip(meta).HasMultipleValues(kXMP_NS_DC, "dc:format"));
}

TEST(XMPProperty, HandlesShareObjectsAndCloneCopies) {
  SXMPMeta a;
  a.SetProperty(kXMP_NS_XMP, "xmp:Label", "one");
  SXMPMeta shared(a.GetInternalRef());
  SXMPMeta copy = a;
  SXMPMeta clone = a.Clone();
  shared.SetProperty(kXMP_NS_XMP, "xmp:Label", "two");
  EXPECT_EQ(Value(a, kXMP_NS_XMP, "xmp:Label"), "two");
  EXPECT_EQ(Value(copy, kXMP_NS_XMP, "xmp:Label"), "two");
  EXPECT_EQ(Value(clone, kXMP_NS_XMP, "xmp:Label"), "one");
  __XMPMeta__* handle = a.GetInternalRef();
  intrusive_ptr_add_ref(handle);
  { SXMPMeta gone = std::move(a); }
  SXMPMeta survivor(handle);  // still alive through the extra reference
  intrusive_ptr_release(handle);
  EXPECT_EQ(Value(survivor, kXMP_NS_XMP, "xmp:Label"), "two");
  EXPECT_EQ(survivor.GetInternalRef()->mRefCount.load(), 3);  // survivor, shared, copy
  a.Erase();                                                  // moved-from object is still usable
  EXPECT_FALSE(a.DoesPropertyExist(kXMP_NS_XMP, "xmp:Label"));
}

TEST(XMPProperty, LifeCycleVersionAndAssert) {
  EXPECT_TRUE(SXMPMeta::Initialize());
  EXPECT_TRUE(SXMPMeta::Initialize());
  SXMPMeta::RegisterNamespace("http://example.com/life/", "life");
  SXMPMeta::Terminate();  // not the last one: registry kept
  EXPECT_TRUE(SXMPMeta::GetNamespacePrefix("http://example.com/life/", nullptr));
  SXMPMeta::Terminate();
  EXPECT_FALSE(SXMPMeta::GetNamespacePrefix("http://example.com/life/", nullptr));
  EXPECT_TRUE(SXMPMeta::GetNamespacePrefix(kXMP_NS_DC, nullptr));

  XMP_VersionInfo info;
  SXMPMeta::GetVersionInfo(&info);
  EXPECT_NE(info.message.find("XMP Core"), std::string::npos);

  std::string seen;
  SXMPMeta::SetAssertNotify(
      [](void* ctx, const char* msg) { *static_cast<std::string*>(ctx) = msg; }, &seen);
  SXMPMeta::NotifyAssert("oops");
  EXPECT_EQ(seen, "oops");
  SXMPMeta::SetAssertNotify(nullptr, nullptr);
  SXMPMeta::NotifyAssert("ignored");
  EXPECT_EQ(seen, "oops");
}

}  // namespace
