#include "ValuesFixture.h"
#include "veltmetadata/Namespaces.h"
#include "xmp/SXMPUtils.h"

namespace velttest {
namespace {

using namespace veltmetadata;

class ValueOperationsTest : public ValuesFixture {
 protected:
  static Path Dc(const char* name) { return Prop(kXMP_NS_DC, name); }
  static Path Test(const char* name) { return Prop(kValuesNs, name); }

  static std::vector<std::string> Items(const SXMPMeta& meta, const Path& path) {
    std::vector<std::string> items;
    std::string item;
    for (int i = 1; meta.GetArrayItem(path.mNamespace, path.mPathDescription, i, &item); ++i) {
      items.push_back(item);
    }
    return items;
  }
};

TEST_F(ValueOperationsTest, GatheredFilesThatDisagreeReadAsMultipleUntilSetOrDeleted) {
  SXMPMeta gathered;
  for (const char* title : {"One", "Two"}) {
    const SXMPMeta file = Packet(
        std::string("<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>") + title +
        "</rdf:li></rdf:Alt></dc:title><dc:subject><rdf:Bag><rdf:li>same</rdf:li></rdf:Bag>"
        "</dc:subject><dc:creator><rdf:Seq><rdf:li>" + title + "</rdf:li></rdf:Seq></dc:creator>"
        "<vtest:Count>" + (title[0] == 'O' ? "1" : "2") + "</vtest:Count>");
    SXMPUtils::CollectProperties(file, &gathered, 0);
  }
  __XMPMeta__* handle = gathered.GetInternalRef();
  GetValueResult result = kGetValueResult_Success;
  std::string text = "kept";
  EXPECT_FALSE(GetValue(handle, Dc("title"), text, &result));
  EXPECT_EQ(result, kGetValueResult_MultipleValues);
  EXPECT_EQ(text, "kept");
  int count = -1;
  EXPECT_FALSE(GetValue(handle, Test("Count"), count, &result));
  EXPECT_EQ(result, kGetValueResult_MultipleValues);
  EXPECT_EQ(Display(gathered, Dc("subject"), &result), "same");
  EXPECT_EQ(result, kGetValueResult_Success);

  // Deleting records the deletion once, with namespace and prefixed path.
  EXPECT_TRUE(DeleteValue(handle, Dc("title")));
  EXPECT_NE(Display(gathered, Dc("title"), &result), "One");
  EXPECT_NE(result, kGetValueResult_MultipleValues);
  ASSERT_EQ(gathered.CountArrayItems(kTransientNamespace, "DeletedProperties"), 1);
  std::string field;
  gathered.GetStructField(kTransientNamespace, "DeletedProperties[1]", kTransientNamespace,
                          "DelURI", &field);
  EXPECT_EQ(field, kXMP_NS_DC);
  gathered.GetStructField(kTransientNamespace, "DeletedProperties[1]", kTransientNamespace,
                          "DelPath", &field);
  EXPECT_EQ(field, "dc:title");

  // Writing ends the state, also when the value equals what one file had.
  EXPECT_TRUE(SetValue(handle, Dc("creator"), "One"));
  EXPECT_EQ(Display(gathered, Dc("creator"), &result), "One");
  EXPECT_EQ(result, kGetValueResult_Success);
  EXPECT_TRUE(SetValue(handle, Test("Count"), 2));
  EXPECT_TRUE(GetValue(handle, Test("Count"), count, &result));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(NewErrors().empty());
}

TEST_F(ValueOperationsTest, ArrayTextsRoundTripAndEqualWritesAreSkipped) {
  SXMPMeta meta;
  __XMPMeta__* handle = meta.GetInternalRef();
  const std::vector<std::string> items = {"plain", "a; b", "say \"hi\"", " padded"};
  const std::string joined = SXMPUtils::CatenateItems(items);
  for (const char* name : {"subject", "creator"}) {
    EXPECT_TRUE(SetValue(handle, Dc(name), joined)) << name;
    EXPECT_EQ(Items(meta, Dc(name)), items) << name;
    EXPECT_EQ(Display(meta, Dc(name)), joined) << name;
    EXPECT_EQ(CountArrayItems(handle, Dc(name)), 4) << name;
    EXPECT_FALSE(SetValue(handle, Dc(name), joined)) << name;
  }
  XMP_OptionBits options = 0;
  meta.GetProperty(kXMP_NS_DC, "creator", nullptr, &options);
  EXPECT_TRUE(options & kXMP_PropArrayIsOrdered);

  EXPECT_FALSE(SetValue(handle, Dc("description"), ""));  // absent stays absent
  EXPECT_FALSE(HasValue(handle, Dc("description")));
  EXPECT_TRUE(SetValue(handle, Dc("title"), "Title"));
  EXPECT_EQ(Display(meta, Dc("title")), "Title");
  EXPECT_EQ(CountArrayItems(handle, Dc("title")), 0);  // an alt is no array here

  EXPECT_TRUE(SetValue(handle, Test("Ratio"), 1.00001));
  EXPECT_FALSE(SetValue(handle, Test("Ratio"), 1.00001));
  EXPECT_TRUE(SetValue(handle, Test("Flag"), true));
  EXPECT_FALSE(SetValue(handle, Test("Flag"), true));
  EXPECT_TRUE(SetValue(handle, Test("Count"), 7LL));
  EXPECT_FALSE(SetValue(handle, Test("Count"), 7));
  EXPECT_TRUE(SetValue(handle, Prop("http://ns.adobe.com/xap/1.0/", "CreateDate"),
                       "2026-12-05T10:30:00+01:00"));
  EXPECT_EQ(Display(meta, Prop("http://ns.adobe.com/xap/1.0/", "CreateDate")),
            "2026-12-05T10:30+01:00");
  Date date;
  EXPECT_TRUE(GetValue(handle, Prop("http://ns.adobe.com/xap/1.0/", "CreateDate"), date));
  EXPECT_EQ(date, (Date{2026, 12, 5, 10, 30, 0}));
  GetValueResult result = kGetValueResult_MultipleValues;
  EXPECT_FALSE(GetValue(handle, Dc("title"), date, &result));  // not a date type
  EXPECT_EQ(result, kGetValueResult_MultipleValues);
  EXPECT_TRUE(NewErrors().empty());
}

TEST_F(ValueOperationsTest, BadStoredValuesAreReportedNeverThrown) {
  SXMPMeta meta = Packet(
      "<vtest:Count>007</vtest:Count><vtest:Flag>yes</vtest:Flag>"
      "<tiff:Orientation>9</tiff:Orientation><vtest:Ratio>abc</vtest:Ratio>");
  __XMPMeta__* handle = meta.GetInternalRef();
  const std::string invalid = "invalid data in #{quot}";

  int count = 0;
  EXPECT_TRUE(GetValue(handle, Test("Count"), count));
  EXPECT_EQ(count, 7);
  bool flag = false;
  EXPECT_TRUE(GetValue(handle, Test("Flag"), flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(NewErrors().empty());

  EXPECT_EQ(Display(meta, Test("Count")), "007");
  EXPECT_EQ(Display(meta, Test("Flag")), "yes");
  EXPECT_EQ(Display(meta, Prop(kXMP_NS_TIFF, "Orientation")), "9");
  auto errors = NewErrors();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0].mKind, kReadingXMPError);
  EXPECT_NE(errors[0].mMessage.find(invalid + kValuesNs + "Count#{quot}."), std::string::npos)
      << errors[0].mMessage;
  EXPECT_EQ(errors[0].mFile, "");

  // A typed read of a text that is no number: error result, out-value untouched, the toolkit's
  // reason as the report's third argument. A write over it writes nothing.
  double ratio = 4.5;
  GetValueResult result = kGetValueResult_Success;
  EXPECT_FALSE(GetValue(handle, Test("Ratio"), ratio, &result));
  EXPECT_EQ(result, kGetValueResult_Error);
  EXPECT_EQ(ratio, 4.5);
  EXPECT_FALSE(SetValue(handle, Test("Ratio"), 2.0));
  errors = NewErrors();
  ASSERT_EQ(errors.size(), 5u);
  EXPECT_FALSE(errors[3].mFile.empty());
  EXPECT_EQ(errors[4].mKind, kWritingXMPError);
  std::string raw;
  EXPECT_TRUE(GetRawStringValue(handle, Test("Ratio"), raw));
  EXPECT_EQ(raw, "abc");

  // Null handles, a path the toolkit refuses, a Path without definition.
  Path refused = Test("Count");
  refused.mPathDescription = "Count[[";
  EXPECT_FALSE(GetRawStringValue(handle, refused, raw, &result));
  EXPECT_EQ(result, kGetValueResult_Error);
  EXPECT_FALSE(SetValue(handle, refused, 3));
  EXPECT_FALSE(HasValue(handle, refused));
  EXPECT_FALSE(DeleteValue(handle, refused));
  EXPECT_FALSE(GetValue(nullptr, Test("Count"), raw, &result));
  EXPECT_EQ(result, kGetValueResult_NoValue);
  EXPECT_FALSE(SetValue(nullptr, Test("Count"), "1"));
  EXPECT_FALSE(DeleteValue(nullptr, Test("Count")));
  EXPECT_EQ(CountArrayItems(nullptr, Dc("subject")), 0);
  EXPECT_FALSE(ApplyTemplate(handle, nullptr, kTemplateImport_AddNew));
  EXPECT_FALSE(GetValue(handle, Path{}, raw, &result));
  EXPECT_EQ(result, kGetValueResult_Error);
  EXPECT_TRUE(mAssertions.Contains("definition"));
  EXPECT_FALSE(AddArrayItem(handle, Dc("title"), 0));
  EXPECT_TRUE(mAssertions.Contains("isArray"));
  EXPECT_EQ(raw, "abc");
  EXPECT_TRUE(GetRawStringValue(handle, Test("Count"), raw));
  EXPECT_EQ(raw, "007");  // nothing was lost
}

TEST_F(ValueOperationsTest, DeletingFieldsRemovesEmptiedStructuresButNeverArrayItems) {
  SXMPMeta meta = Packet(
      "<vtest:Outer rdf:parseType='Resource'><vtf:Inner rdf:parseType='Resource'>"
      "<vtf:Leaf>x</vtf:Leaf></vtf:Inner></vtest:Outer>"
      "<vtest:Entries><rdf:Seq><rdf:li rdf:parseType='Resource'><vtf:Inner "
      "rdf:parseType='Resource'><vtf:Leaf>y</vtf:Leaf></vtf:Inner></rdf:li></rdf:Seq>"
      "</vtest:Entries><dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag>"
      "</dc:subject>");
  __XMPMeta__* handle = meta.GetInternalRef();
  const Path outer = Test("Outer");
  EXPECT_TRUE(DeleteValue(handle, Field(Field(outer, "Inner"), "Leaf")));
  EXPECT_FALSE(HasValue(handle, outer));

  const Path item = CreatePathFromArrayItem(Test("Entries"), 1);
  const Path inner = Field(item, "Inner");
  EXPECT_TRUE(DeleteValue(handle, Field(inner, "Leaf")));
  EXPECT_FALSE(HasValue(handle, inner));
  EXPECT_EQ(CountArrayItems(handle, Test("Entries")), 1);

  const Path second = CreatePathFromArrayItem(Dc("subject"), 2);
  EXPECT_TRUE(DeleteValue(handle, second));
  EXPECT_EQ(Items(meta, Dc("subject")), (std::vector<std::string>{"a", ""}));
  EXPECT_FALSE(DeleteValue(handle, second));  // already empty

  // A structure that keeps another field stays.
  meta = Packet("<vtest:Outer rdf:parseType='Resource'><vtf:Note>n</vtf:Note><vtf:Inner "
                "rdf:parseType='Resource'><vtf:Leaf>x</vtf:Leaf></vtf:Inner></vtest:Outer>");
  EXPECT_TRUE(DeleteValue(meta.GetInternalRef(), Field(Field(outer, "Inner"), "Leaf")));
  EXPECT_FALSE(HasValue(meta.GetInternalRef(), Field(outer, "Inner")));
  EXPECT_EQ(Display(meta, Field(outer, "Note")), "n");
  EXPECT_TRUE(NewErrors().empty());
}

TEST_F(ValueOperationsTest, ArrayItemsAreInsertedDeletedAndCounted) {
  SXMPMeta meta = Packet("<dc:creator><rdf:Seq><rdf:li>A</rdf:li><rdf:li>B</rdf:li></rdf:Seq>"
                         "</dc:creator>");
  __XMPMeta__* handle = meta.GetInternalRef();
  EXPECT_TRUE(AddArrayItem(handle, Dc("creator"), 0));
  EXPECT_EQ(Items(meta, Dc("creator")), (std::vector<std::string>{"", "A", "B"}));
  EXPECT_TRUE(AddArrayItem(handle, Dc("creator"), -1));
  EXPECT_EQ(Items(meta, Dc("creator")), (std::vector<std::string>{"", "A", "", "B"}));
  EXPECT_FALSE(AddArrayItem(handle, Dc("creator"), 9));  // out of range: reported
  EXPECT_EQ(NewErrors().size(), 1u);

  EXPECT_TRUE(AddArrayItem(handle, Test("Entries"), 0));
  XMP_OptionBits options = 0;
  ASSERT_TRUE(meta.GetProperty(kValuesNs, "Entries", nullptr, &options));
  EXPECT_TRUE(options & kXMP_PropArrayIsOrdered);
  ASSERT_TRUE(meta.GetProperty(kValuesNs, "Entries[1]", nullptr, &options));
  EXPECT_TRUE(options & kXMP_PropValueIsStruct);
  EXPECT_EQ(CountArrayItems(handle, Test("Entries")), 1);

  EXPECT_TRUE(DeleteArrayItem(handle, Test("Entries"), 0));
  EXPECT_FALSE(HasValue(handle, Test("Entries")));  // the last item takes the array along
  EXPECT_TRUE(DeleteArrayItem(handle, Dc("creator"), 1));
  EXPECT_EQ(Items(meta, Dc("creator")), (std::vector<std::string>{"", "", "B"}));
}

TEST_F(ValueOperationsTest, TemplatesReplaceOrAddAsAsked) {
  const SXMPMeta templ = Packet("<dc:source>T</dc:source><dc:format>T</dc:format>");
  const auto apply = [&](TemplateImportOptions options) {
    SXMPMeta meta = Packet("<dc:source>M</dc:source><dc:coverage>M</dc:coverage>");
    EXPECT_TRUE(ApplyTemplate(meta.GetInternalRef(), templ.GetInternalRef(), options));
    return Display(meta, Dc("source")) + Display(meta, Dc("format")) +
           Display(meta, Dc("coverage"));
  };
  EXPECT_EQ(apply(kTemplateImport_ReplaceAll), "T<none><none>");  // replaces, adds nothing
  EXPECT_EQ(apply(kTemplateImport_ReplaceExisting), "T<none>M");
  EXPECT_EQ(apply(kTemplateImport_AddNew), "MTM");
  EXPECT_EQ(apply(static_cast<TemplateImportOptions>(7)), "M<none>M");
}

}  // namespace
}  // namespace velttest
