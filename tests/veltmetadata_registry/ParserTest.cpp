// The definitions parser: attributes, the attachment of elements to the most recent
// container, panel hints, bad input, and parse-and-register.
#include <gtest/gtest.h>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "veltmetadata/DefinitionsParser.h"
#include "veltmetadata/Namespaces.h"

namespace veltmetadata {
namespace {

using velttest::LibraryFixture;

using DefinitionsParsing = LibraryFixture;

std::string Doc(const std::string& body) {
  return std::string("<?xml version='1.0' encoding='UTF-8'?>\n<xmp_definitions xmlns:ui='") +
         kFileInfoUINamespace + "'>" + body + "</xmp_definitions>";
}

const std::string kParseHead = "Error parsing definitions file: ";

TEST_F(DefinitionsParsing, ReadsEntryAttributesLabelsAndFallbacks) {
  const auto result = ParseBufferForDefinitions(
      Doc("<xmp_schema namespace='http://e.com/p/' prefix='pp' dynamic='true'>"
          " <xmp_property name='A' type='closedchoice' element_type='text' category='internal'"
          "  label='$$$/t/A=Apple &amp;amp; Pear' description='plain &quot;text&quot;'"
          "  min='-128' max=' 100 ' deprecated='false' pattern='[a-z]+'>"
          "  <xmp_choice raw_value='x' label='$$$/t/x=Ex &amp;lt;1&amp;gt;'/>"
          "  <xmp_choice raw_value='y'/>"
          "  <xmp_qualifier namespace='http://e.com/q/' prefix='q' name='Q' type='text'/>"
          " </xmp_property>"
          " <xmp_property name='B' category='Internal' deprecated='TRUE'/>"
          " <xmp_property name='C' category='external' deprecated=''/>"
          "</xmp_schema>"
          "<xmp_schema namespace='http://e.com/p2/' prefix='p2'/>"),
      "attrs");
  EXPECT_TRUE(NewErrors().empty());
  ASSERT_EQ(result.first.size(), 2u);
  const auto& schema = *result.first[0];
  EXPECT_EQ(schema.mNamespace, "http://e.com/p/");
  EXPECT_TRUE(schema.mDynamic);
  EXPECT_EQ(schema.mLabel, u"pp");  // no label: the prefix
  EXPECT_FALSE(result.first[1]->mDynamic);
  ASSERT_EQ(schema.mProperties.size(), 3u);
  const auto& a = *schema.mProperties[0];
  EXPECT_EQ(velttest::Describe(a),
            "A type=closedchoice of=text min=-128 max=100 pattern=[a-z]+ label='Apple & Pear' "
            "description='plain \"text\"' z='$$$/t/A=Apple & Pear' [x='Ex <1>' z='$$$/t/x=Ex <1>'] "
            "[y='y'] {http://e.com/q/ q:Q type=text label='Q' description=''}");
  EXPECT_TRUE(a.mInternal);
  EXPECT_EQ(a.mDeprecated, false);
  const auto& b = *schema.mProperties[1];
  EXPECT_EQ(velttest::Describe(b), "B label='B' description=''");  // no label: the name
  EXPECT_FALSE(b.mInternal);
  EXPECT_EQ(b.mDeprecated, false);
  EXPECT_TRUE(b.mLabelZString.empty());
  EXPECT_FALSE(schema.mProperties[2]->mInternal);
  EXPECT_FALSE(schema.mProperties[2]->mDeprecated.has_value());
}

TEST_F(DefinitionsParsing, AttachesToTheMostRecentContainerWhateverTheEndTags) {
  const auto result = ParseBufferForDefinitions(
      Doc("<xmp_type name='t1'><xmp_field namespace='http://e.com/f/' prefix='f' name='a'/>"
          "</xmp_type>"
          "<xmp_schema namespace='http://e.com/s1/' prefix='s1'>"
          " <xmp_property name='p1' type='openchoice'/>"
          "</xmp_schema>"
          "<xmp_schema namespace='http://e.com/s2/' prefix='s2'>"
          " <xmp_choice raw_value='late'/>"
          " <xmp_field namespace='http://e.com/f/' prefix='f' name='b'/>"
          "</xmp_schema>"
          "<xmp_type name='t2'/>"),
      "order");
  ASSERT_EQ(result.first.size(), 2u);
  ASSERT_EQ(result.second.size(), 2u);
  EXPECT_EQ(result.second[0]->mName, "t1");
  EXPECT_EQ(result.second[1]->mName, "t2");
  const auto& p1 = *result.first[0]->mProperties.at(0);
  ASSERT_EQ(p1.mChoices.size(), 1u);
  EXPECT_EQ(p1.mChoices[0]->mRawValue, "late");
  ASSERT_EQ(result.second[0]->mFields.size(), 2u);
  EXPECT_EQ(result.second[0]->mFields[1]->mName, "b");
  EXPECT_TRUE(NewErrors().empty());
}

TEST_F(DefinitionsParsing, PanelHintsComeFromTheUINamespace) {
  const auto result = ParseBufferForDefinitions(
      Doc("<xmp_schema namespace='http://e.com/h0/' prefix='h0'><ui:separator/></xmp_schema>"
          "<xmp_schema namespace='http://e.com/h/' prefix='h'>"
          " <xmp_property name='a' type='text' ui:multiLine='true'/>"
          " <xmp_property name='b' type='text' ui:multiLine='yes'/><ui:separator/><ui:separator/>"
          " <xmp_property name='c' type='text' ui:multiLine='true'><ui:separator/></xmp_property>"
          " <xmp_property name='d' type='text' multiLine='true'/><ui:other/>"
          "</xmp_schema>"),
      "hints");
  EXPECT_TRUE(NewErrors().empty());
  ASSERT_EQ(result.first.size(), 2u);
  EXPECT_TRUE(result.first[0]->mProperties.empty());
  std::vector<std::string> hints;
  for (const auto& property : result.first[1]->mProperties) {
    const auto& ui = property->mUIHints;
    hints.push_back(!ui ? "none"
                        : std::string(ui->mMultiLine ? "multiline" : "") +
                              (ui->mSeparator ? "+separator" : ""));
  }
  EXPECT_EQ(hints,
            (std::vector<std::string>{"multiline", "+separator", "multiline+separator", "none"}));
}

TEST_F(DefinitionsParsing, MisplacedAndUnknownElementsAreReportedAndSkipped) {
  const auto result = ParseBufferForDefinitions(
      Doc("<xmp_property name='early'/><xmp_choice raw_value='c'/><xmp_qualifier name='q'/>"
          "<ui:separator name='sep'/><xmp_field name='f0'/><unknown/>"
          "<xmp_type name='bad' extends='date'/><xmp_type name='good' extends='seq'"
          " element_type='integer'/>"),
      "misplaced");
  ASSERT_EQ(result.second.size(), 2u);
  EXPECT_FALSE(result.second[0]->mExtends.has_value());
  EXPECT_EQ(result.second[1]->mExtends, kPrimitiveType_Seq);
  const auto errors = NewErrors();
  ASSERT_EQ(errors.size(), 7u);
  const std::vector<std::string> expected = {"invalid property tag \"early\".",
                                             "invalid choice tag.",
                                             "invalid qualifier tag.",
                                             "invalid property tag \"sep\".",
                                             "invalid field tag \"f0\".",
                                             "invalid definitions tag \"unknown\".",
                                             "Entry must extend valid primitive type"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(errors[i].mMessage, kParseHead + expected[i]);
    EXPECT_EQ(errors[i].mKind, kDefinitionParsingError);
    EXPECT_EQ(errors[i].mFile, i == 6 ? "" : "misplaced");
  }
}

TEST_F(DefinitionsParsing, BrokenXMLKeepsWhatWasReadAndNeverThrows) {
  std::string truncated =
      Doc("<xmp_schema namespace='http://e.com/tr/' prefix='tr'><xmp_property name='a'/>");
  truncated.resize(truncated.find("</xmp_definitions>"));
  const auto result = ParseBufferForDefinitions(truncated, "truncated.xml");
  ASSERT_EQ(result.first.size(), 1u);
  EXPECT_EQ(result.first[0]->mProperties.size(), 1u);
  ASSERT_EQ(NewErrors().size(), 1u);
  EXPECT_EQ(NewErrors()[0].mMessage, kParseHead + "invalid XML.");
  EXPECT_EQ(NewErrors()[0].mFile, "truncated.xml");

  for (const std::string& bad :
       {std::string(), std::string("\0\xff<", 3), std::string("<xmp_definitions>"),
        std::string("<!DOCTYPE x [<!ENTITY e 'boom'>]><x>&e;</x>")}) {
    EXPECT_TRUE(ParseBufferForDefinitions(bad, "bad").first.empty());
  }
  EXPECT_EQ(NewErrors().size(), 5u);

  velttest::TempDir dir;
  const auto path = (dir / "cut.xml").string();
  velttest::WriteFile(path, truncated);
  DefinitionsPair appended;
  EXPECT_FALSE(ParseDocumentForDefinitions(path, appended));
  EXPECT_EQ(appended.first.size(), 1u);
  EXPECT_FALSE(ParseDocumentForDefinitions((dir / "missing.xml").string(), appended));
  EXPECT_EQ(NewErrors().back().mFile, (dir / "missing.xml").string());
}

TEST_F(DefinitionsParsing, RegisteringAFileReportsTypeProblemsAndRefusals) {
  const std::string doc =
      Doc("<xmp_type name='pt seq' extends='seq' element_type='nowhere'/>"
          "<xmp_type name='pt struct'><xmp_field namespace='http://e.com/ptf/' prefix='ptf' "
          " name='f' type='int'/></xmp_type>"
          "<xmp_schema namespace='http://e.com/reg/' prefix='TestErrors8'>"
          " <xmp_property name='UnidentifiedType' type='int'/>"
          " <xmp_property name='EmptyType'/>"
          " <xmp_property name='Tags' type='bag'/>"
          " <xmp_property name='Title' type='langalt'/>"
          " <xmp_property name='Refs' type='seq' element_type='no such'/>"
          "</xmp_schema>");
  const auto result = ParseBufferAndRegisterDefinitions(doc, "reg.xml", false);
  ASSERT_EQ(result.first.size(), 1u);
  ASSERT_EQ(result.second.size(), 2u);
  const auto& props = result.first[0]->mProperties;
  EXPECT_EQ(props[1]->mType, "text");
  EXPECT_EQ(props[2]->mElementType, "text");
  EXPECT_FALSE(props[3]->mElementType.has_value());  // langalt supplies it
  const std::string reg = "Error registering definition: ";
  const std::vector<std::string> expected = {
      reg + "XMP property #{quot}ptf:f#{quot} has an invalid type #{quot}int#{quot}.",
      reg + "XMP type #{quot}pt seq#{quot} has an invalid element type #{quot}nowhere#{quot}.",
      reg +
          "invalid type for XMP property #{quot}TestErrors8:EmptyType#{quot} is changed to "
          "default type 'text'.",
      reg +
          "invalid element type for XMP property #{quot}TestErrors8:Tags#{quot} is changed "
          "to default type 'text'.",
      reg +
          "XMP property #{quot}TestErrors8:UnidentifiedType#{quot} has an invalid type "
          "#{quot}int#{quot}.",
      reg +
          "XMP property #{quot}TestErrors8:Refs#{quot} has an invalid element type "
          "#{quot}no such#{quot}."};
  auto messages = NewMessages();
  std::sort(messages.begin(), messages.end());
  auto sorted = expected;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(messages, sorted);
  for (const auto& info : NewErrors())
    EXPECT_EQ(info.mFile, "reg.xml");

  // A second file repeating the type and the schema: the duplicate type empties the type
  // list, the duplicate schema the schema list, while earlier schemas stay registered.
  const std::size_t before = NewErrors().size();
  const auto again = ParseBufferAndRegisterDefinitions(
      Doc("<xmp_type name='fresh'/><xmp_type name='pt seq' extends='bag'/>"
          "<xmp_schema namespace='http://e.com/reg2/' prefix='rg2'/>"
          "<xmp_schema namespace='http://e.com/reg/' prefix='TestErrors8'/>"),
      "again.xml", false);
  EXPECT_TRUE(again.first.empty());
  EXPECT_TRUE(again.second.empty());
  EXPECT_NE(TypeIdDefinition("fresh"), nullptr);
  EXPECT_NE(NamespaceDefinition("http://e.com/reg2/"), nullptr);
  EXPECT_EQ(NewErrors().size(), before + 2);

  // Merging: the registered schema gains the new property, the result leaves it out.
  const auto merged = ParseBufferAndRegisterDefinitions(
      Doc("<xmp_schema namespace='http://e.com/reg/' prefix='TestErrors8'>"
          "<xmp_property name='Extra' type='text'/></xmp_schema>"
          "<xmp_schema namespace='http://e.com/reg3/' prefix='rg3'/>"),
      "merge.xml", true);
  ASSERT_EQ(merged.first.size(), 1u);
  EXPECT_EQ(merged.first[0]->mNamespace, "http://e.com/reg3/");
  EXPECT_NE(PropertyNameDefinition(NamespaceDefinition("http://e.com/reg/"), "Extra"), nullptr);
}

}  // namespace
}  // namespace veltmetadata
