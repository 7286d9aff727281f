// The definitions writer: document layout, and round trips through the parser, of hand-made
// records, of every built-in definition and of a custom file rewritten in place.
#include <gtest/gtest.h>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "veltmetadata/DefinitionsWriter.h"
#include "veltmetadata/Directories.h"
#include "veltmetadata/DynamicSchemas.h"

namespace veltmetadata {
namespace {

using velttest::Describe;
using velttest::LibraryFixture;
using DefinitionsWriting = LibraryFixture;

UTF8String Write(const SchemaDefinitionList& schemas, const TypeDefinitionList& types) {
  UTF8String out = "left over";
  WriteDefinitionsToBuffer({schemas.cbegin(), schemas.cend()}, {types.cbegin(), types.cend()}, out);
  return out;
}

TEST_F(DefinitionsWriting, LaysOutElementsOnePerLineWithTabs) {
  EXPECT_EQ(Write({}, {}), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n");

  auto schema = std::make_shared<SchemaDefinition>();
  schema->mNamespace = "http://e.com/w/";
  schema->mPrefix = "w";
  schema->mLabel = u"W & <co>";
  schema->mDynamic = true;
  auto plain = std::make_shared<PropertyDefinition>();
  plain->mName = "Plain";
  plain->mType = "text";
  auto choice = std::make_shared<PropertyDefinition>();
  choice->mName = "Pick";
  choice->mType = "closedchoice";
  choice->mInternal = true;
  for (const char* raw : {"a", "b"}) {
    choice->mChoices.push_back(std::make_shared<ChoiceDefinition>());
    choice->mChoices.back()->mRawValue = raw;
  }
  schema->mProperties = {plain, nullptr, choice};
  EXPECT_EQ(Write({schema, nullptr}, {}),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
            "<xmp_definitions>\n"
            "\t<xmp_schema namespace=\"http://e.com/w/\" prefix=\"w\" label=\"W &amp; "
            "&lt;co&gt;\">\n"
            "\t\t<xmp_property category=\"external\" name=\"Plain\" type=\"text\" />\n"
            "\t\t<xmp_property category=\"internal\" name=\"Pick\" type=\"closedchoice\" "
            "element_type=\"text\">\n"
            "\t\t\t<xmp_choice raw_value=\"a\" />\n"
            "\t\t\t<xmp_choice raw_value=\"b\" />\n"
            "\t\t</xmp_property>\n"
            "\t</xmp_schema>\n"
            "</xmp_definitions>\n");
}

// Writes the records, parses the document and expects the same records back.
void ExpectRoundTrip(const SchemaDefinitionList& schemas, const TypeDefinitionList& types) {
  const auto back = ParseBufferForDefinitions(Write(schemas, types), "again");
  ASSERT_EQ(back.first.size(), schemas.size());
  ASSERT_EQ(back.second.size(), types.size());
  for (std::size_t s = 0; s < schemas.size(); ++s) {
    const auto& a = *schemas[s];
    const auto& b = *back.first[s];
    EXPECT_EQ(a.mNamespace, b.mNamespace);
    EXPECT_EQ(a.mPrefix, b.mPrefix);
    EXPECT_EQ(a.mLabelZString, b.mLabelZString);
    EXPECT_EQ(a.mDescriptionZString, b.mDescriptionZString);
    ASSERT_EQ(a.mProperties.size(), b.mProperties.size()) << a.mPrefix;
    for (std::size_t p = 0; p < a.mProperties.size(); ++p) {
      EXPECT_EQ(Describe(*a.mProperties[p]), Describe(*b.mProperties[p])) << a.mPrefix;
      EXPECT_EQ(a.mProperties[p]->mInternal, b.mProperties[p]->mInternal);
    }
  }
  for (std::size_t t = 0; t < types.size(); ++t) {
    const auto& a = *types[t];
    EXPECT_EQ(Describe(a), Describe(*back.second[t]));
    ASSERT_EQ(a.mFields.size(), back.second[t]->mFields.size());
    for (std::size_t f = 0; f < a.mFields.size(); ++f) {
      EXPECT_EQ(a.mFields[f]->mNamespace, back.second[t]->mFields[f]->mNamespace);
      EXPECT_EQ(a.mFields[f]->mPrefix, back.second[t]->mFields[f]->mPrefix);
      EXPECT_EQ(Describe(*a.mFields[f]), Describe(*back.second[t]->mFields[f])) << a.mName;
    }
  }
}

TEST_F(DefinitionsWriting, HandMadeAndEveryBuiltInRecordRoundTrip) {
  const auto original = ParseBufferForDefinitions(
      "<xmp_definitions>"
      "<xmp_schema namespace='http://e.com/rt/' prefix='rt' label='$$$/rt/l=R &amp;amp; T'"
      " description='A &lt;schema&gt;'>"
      " <xmp_property name='N' type='integer' min='-128' max='100' deprecated='true'"
      "  pattern='[0-9]+' category='internal'>"
      "  <xmp_qualifier namespace='http://e.com/q/' prefix='q' name='Q' type='openchoice'"
      "   element_type='text'><xmp_choice raw_value='x' label='$$$/c/x=Ex'/></xmp_qualifier>"
      " </xmp_property>"
      " <xmp_property name='Old' type='text' deprecated='false'/>"
      "</xmp_schema>"
      "<xmp_type name='rt seq' extends='seq' element_type='integer' label='Seq'/>"
      "<xmp_type name='rt struct'>"
      " <xmp_field namespace='http://e.com/f/' prefix='f' name='a' type='real' min='0.5'/>"
      "</xmp_type>"
      "</xmp_definitions>",
      "original");
  ASSERT_EQ(original.first.size(), 1u);
  ASSERT_EQ(original.first[0]->mProperties.at(0)->mQualifiers.size(), 1u);
  EXPECT_EQ(original.first[0]->mLabelZString, u"$$$/rt/l=R & T");
  EXPECT_EQ(original.second.at(1)->mFields.at(0)->mMin, 0.5);
  ExpectRoundTrip(original.first, original.second);
  // A registered type's mType is its own name, and is written as such.
  ExpectRoundTrip(AllSchemaDefinitions(), AllTypeDefinitions());
  EXPECT_TRUE(NewErrors().empty());
}

TEST(DefinitionsWriterFiles, CustomFileIsRewrittenWithItsAuthoredChanges) {
  veltcore::debug::AssertionCapture capture;
  const std::filesystem::path folder(CustomDefinitionsUserDirectory());
  const auto file = folder / "authored.xml";
  velttest::WriteFile(file,
                      "<xmp_definitions>"
                      "<xmp_schema namespace='http://e.com/au/' prefix='au'>"
                      "<xmp_property name='First' type='text'/></xmp_schema>"
                      "<xmp_schema namespace='http://e.com/au2/' prefix='au2'/>"
                      "<xmp_type name='au type' extends='bag' element_type='text'/>"
                      "</xmp_definitions>");
  Initialize();
  const auto schema = NamespaceDefinition("http://e.com/au/");
  ASSERT_TRUE(schema);
  schema->mProperties.push_back(
      CreateNewProperty(kPrimitiveType_Integer, "Second", u"", u"Second", u"", u""));
  RewriteSchemaFile(schema);
  const auto back = ParseDocumentForDefinitions(file.string());
  ASSERT_EQ(back.first.size(), 2u);
  ASSERT_EQ(back.second.size(), 1u);
  for (const auto& read : back.first) {
    if (read->mPrefix != "au") continue;
    ASSERT_EQ(read->mProperties.size(), 2u);
    EXPECT_EQ(read->mProperties[1]->mType, "integer");
    EXPECT_EQ(read->mProperties[1]->mLabelZString, u"Second");
  }
  RewriteSchemaFile(NamespaceDefinition("http://purl.org/dc/elements/1.1/"));  // no file: no-op

  // Writing into a folder that cannot exist fails without touching anything.
  velttest::TempDir dir;
  velttest::WriteFile(dir / "blocker", "x");
  EXPECT_FALSE(WriteSchemaFile(back, veltcore::filesupport::File(dir / "blocker" / "f.xml")));
  EXPECT_EQ(velttest::ReadFile(dir / "blocker"), "x");
  EXPECT_TRUE(WriteSchemaFile(back, veltcore::filesupport::File(dir / "new" / "f.xml")));
  EXPECT_EQ(ParseDocumentForDefinitions((dir / "new" / "f.xml").string()).first.size(), 2u);
  Terminate();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace veltmetadata
