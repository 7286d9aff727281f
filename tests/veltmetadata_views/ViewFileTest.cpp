// View definitions files: the parser's states and messages, items and their attributes, and
// the writer's output read back.
#include <gtest/gtest.h>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "veltmetadata/DefinitionsParser.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/ViewDefinitionsFile.h"

namespace {

using namespace veltmetadata;

const std::string kNs = kViewsNamespace;
const std::string kDeclarations =
    " xmlns:dc='http://purl.org/dc/elements/1.1/' xmlns:exif='http://ns.adobe.com/exif/1.0/'"
    " xmlns:xmpDM='http://ns.adobe.com/xmp/1.0/DynamicMedia/'"
    " xmlns:Iptc4xmpCore='http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/'"
    " xmlns:pma='http://ns.veltmetadata.org/xmp/planning/assignment/1.0/'";

// A document with one view "v" holding `items`.
std::string Doc(const std::string& items) {
  return "<views xmlns='" + kNs + "'><view name='v'" + kDeclarations + ">" + items +
         "</view></views>";
}

class ViewFile : public velttest::LibraryFixture {
 protected:
  std::vector<ViewDefinitionPtr> Parse(const std::string& document) {
    mFirstNew = GetErrorInfos().size();
    return ParseViewDefinitionsFromBuffer(document, "test.xml");
  }
  // Messages of the last Parse without the common wrapper.
  std::vector<std::string> Details() const {
    std::vector<std::string> details;
    const auto all = GetErrorInfos();
    for (std::size_t i = mFirstNew; i < all.size(); ++i) {
      EXPECT_EQ(all[i].mKind, kViewDefinitionParsingError);
      EXPECT_EQ(all[i].mFile, "test.xml");
      details.push_back(
          all[i].mMessage.substr(std::string("Error parsing view definitions file: ").size()));
    }
    return details;
  }
  std::size_t mFirstNew = 0;
};

using Strings = std::vector<std::string>;

TEST_F(ViewFile, DocumentStructureErrorsAndExactMessages) {
  struct Case {
    std::string mDocument;
    std::size_t mViews;
    Strings mDetails;
  };
  const Case cases[] = {
      {"", 0, {"invalid XML."}},
      {"<!DOCTYPE views [<!ENTITY e 'x'>]><views xmlns='" + kNs + "'/>", 0, {"invalid XML."}},
      {"<view xmlns='" + kNs + "' name='a'/>", 0, {"outermost Tag has to be <views/>."}},
      {"<other/>", 0, {"outermost Tag has to be <views/>."}},
      {"<views><view name='a'/></views>",
       0,
       {"missing namespace \"" + kNs + "\", views in the file will be skipped."}},
      {"<views xmlns='" + kNs + "'></views>", 0, {"the view definition file has no <view> tag."}},
      {"<views xmlns='" + kNs + "'><view label='x'><property name='dc:title'/></view>" +
           "<view name='b'/></views>",
       1,
       {"<view> tag needs a name attribute."}},
      // A view completed before broken XML is still returned.
      {"<views xmlns='" + kNs + "'><view name='a'/><view name='b'>", 1, {"invalid XML."}},
      {Doc("<property/>"), 1, {"found XMP property without a 'name' attribute."}},
      {Doc("<property name='title'/>"),
       1,
       {"invalid prefix in XMP property \"title\".", "invalid XMP property \"title\"."}},
      {Doc("<property name='zz:title'/>"),
       1,
       {"invalid prefix in XMP property \"zz:title\".", "invalid XMP property \"zz:title\"."}},
      {Doc("<property name='dc:nothing'/>"), 1, {"invalid XMP property \"dc:nothing\"."}},
      {Doc("<property name='dc:nothing/dc:x'/>"),
       1,
       {"invalid Structure in XMP property \"dc:nothing/dc:x\"."}},
      {Doc("<property name='Iptc4xmpCore:CreatorContactInfo/Iptc4xmpCore:Nope'/>"),
       1,
       {"invalid Structure Field in XMP property "
        "\"Iptc4xmpCore:CreatorContactInfo/Iptc4xmpCore:Nope\"."}},
      // The field must be in the namespace its prefix names.
      {Doc("<property name='Iptc4xmpCore:CreatorContactInfo/dc:CiAdrCity'/>"),
       1,
       {"invalid Structure Field in XMP property "
        "\"Iptc4xmpCore:CreatorContactInfo/dc:CiAdrCity\"."}},
  };
  for (const Case& c : cases) {
    const auto views = Parse(c.mDocument);
    EXPECT_EQ(views.size(), c.mViews) << c.mDocument;
    EXPECT_EQ(Details(), c.mDetails) << c.mDocument;
  }
}

TEST_F(ViewFile, ItemsAttributesParametersAndChoices) {
  const auto views =
      Parse(Doc("<property name='dc:nothing'/>"
                "<separator/>"
                "<property name='xmpDM:duration' widget='timecode'/>"
                "<formatter required_path='exif:GPSLatitude' format='@0, @1' label='Pos'>"
                "  <property name='exif:GPSLatitude'/><property name='dc:missing'/>"
                "</formatter>"
                "<item widget='group' hint='h' field_path='Iptc4xmpCore:CreatorContactInfo/"
                "Iptc4xmpCore:CiAdrCity'>"
                "  <paramMap><param name='p' value='1'/><param name='p' value='2'/></paramMap>"
                "  <choice value='a' label='$$$/test/choice=Alpha'/><other:x xmlns:other='urn:o'/>"
                "</item>"
                "<property name='dc:title' labelRef='dc:description' descriptionRef='dc:rights'/>"
                "<note label='plain note'/>"
                "<property name='pma:AnyName'/>"));
  ASSERT_EQ(views.size(), 1u);
  const auto& items = views[0]->mItems;
  ASSERT_EQ(items.size(), 7u);
  // Any name of a dynamic schema resolves.
  EXPECT_EQ(items[6]->mQualifiedName.mLocalName, "AnyName");
  EXPECT_TRUE(PathEntryDefinition(items[6]->mPath));

  EXPECT_EQ(items[0]->mWidgetName, "separator");
  EXPECT_TRUE(items[0]->mPath.empty());

  EXPECT_EQ(items[1]->mWidgetName, "timecode");
  EXPECT_EQ(items[1]->mPath.mPathDescription, "duration");
  EXPECT_EQ(items[1]->mQualifiedName.mURI, "http://ns.adobe.com/xmp/1.0/DynamicMedia/");
  EXPECT_EQ(items[1]->mQualifiedName.mLocalName, "duration");
  EXPECT_TRUE(items[1]->mParameters.empty());

  const auto& formatter = *items[2];
  EXPECT_EQ(formatter.mWidgetName, "formatter");
  EXPECT_EQ(formatter.mParameters, (std::map<UTF8String, UTF8String>{
                                       {"format", "@0, @1"},
                                       {"required_path", "exif:GPSLatitude"},
                                       {"required_path_name", "GPSLatitude"},
                                       {"required_path_uri", "http://ns.adobe.com/exif/1.0/"}}));
  // Nested items are kept whether or not they resolve.
  ASSERT_EQ(formatter.mChildItems.size(), 2u);
  EXPECT_EQ(formatter.mChildItems[0]->mPath.mPathDescription, "GPSLatitude");
  EXPECT_TRUE(formatter.mChildItems[1]->mPath.empty());

  const auto& generic = *items[3];
  EXPECT_EQ(generic.mWidgetName, "group");
  EXPECT_EQ(generic.mParameters.at("p"), "2");
  EXPECT_EQ(generic.mParameters.at("hint"), "h");
  EXPECT_EQ(generic.mParameters.at("field_path_name"), "CreatorContactInfo");
  EXPECT_EQ(generic.mParameters.at("field_path_field"), "CiAdrCity");
  ASSERT_EQ(generic.mChoices.size(), 1u);
  EXPECT_EQ(generic.mChoices[0]->mRawValue, "a");
  EXPECT_EQ(generic.mChoices[0]->mLabel, u"Alpha");
  EXPECT_EQ(generic.mChoices[0]->mLabelZString, u"$$$/test/choice=Alpha");

  EXPECT_EQ(items[4]->mLabel.rfind("$$$/", 0), 0u) << items[4]->mLabel;
  EXPECT_NE(items[4]->mLabel, items[4]->mDescription);
  EXPECT_EQ(items[5]->mWidgetName, "note");
  EXPECT_EQ(items[5]->GetLabel(), u"plain note");
  EXPECT_EQ(Details(), (Strings{"invalid XMP property \"dc:nothing\".",
                                "invalid XMP property \"dc:missing\"."}));
}

TEST_F(ViewFile, WriterOutputIsExactAndReadsBack) {
  const std::string defs =
      "<xmp_definitions xmlns:ui='" + std::string(kFileInfoUINamespace) +
      "'>"
      "<xmp_schema namespace='http://example.com/panel/b/' prefix='pb' label='$$$/p/b=Bee'>"
      "<xmp_property name='Kind' type='closedchoice' element_type='text'>"
      "<xmp_choice raw_value='x' label='$$$/p/x=X &amp; Co'/></xmp_property><ui:separator/>"
      "<xmp_property name='Notes' type='text' ui:multiLine='true'/>"
      "</xmp_schema>"
      "<xmp_schema namespace='http://example.com/panel/a/' prefix='pa'>"
      "<xmp_property name='Plain' type='text' category='internal' label='$$$/p/plain=Plain'/>"
      "</xmp_schema></xmp_definitions>";
  const auto schemas = ParseBufferForDefinitions(defs, "defs").first;
  ASSERT_EQ(schemas.size(), 2u);
  // A reference whose Plain is external and labelled differently: the written one is read-only.
  auto reference = std::make_shared<SchemaDefinition>(*schemas[1]);
  auto plain = std::make_shared<PropertyDefinition>(*reference->mProperties[0]);
  plain->mInternal = false;
  plain->mLabelZString = u"$$$/p/plain=Other";
  reference->mProperties = {plain};
  // A registered schema whose Kind is plain text: the panel's choice of text becomes a dropdown.
  const auto registered = ParseBufferForDefinitions(
      "<xmp_definitions><xmp_schema namespace='http://example.com/panel/b/' prefix='pb'>"
      "<xmp_property name='Kind' type='text'/><xmp_property name='Notes' type='text'/>"
      "</xmp_schema></xmp_definitions>",
      "registered");
  ASSERT_TRUE(RegisterSchemaDefinition(registered.first[0], "registered", false));

  GenericPanelManifestParser::ManifestInfo manifest;
  manifest.name = u"panel";
  manifest.label = u"Panel <1>";
  velttest::TempDir dir;
  const std::string path = (dir / "sub/view.xml").string();
  EXPECT_TRUE(WriteViewDefinitionsFileFromSchema(schemas, {reference}, manifest, path));
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
      "<views xmlns=\"" +
      kNs +
      "\">\n"
      "\t<view xmlns:pa=\"http://example.com/panel/a/\" xmlns:pb=\"http://example.com/panel/b/\" "
      "name=\"panel\" label=\"Panel &lt;1&gt;\">\n"
      "\t\t<section label=\"$$$/p/b=Bee\">\n"
      "\t\t\t<property name=\"pb:Kind\" widget=\"dropdown\">\n"
      "\t\t\t\t<choice label=\"$$$/p/x=X &amp; Co\" value=\"x\" />\n"
      "\t\t\t</property>\n"
      "\t\t\t<separator/>\n"
      "\t\t\t<property name=\"pb:Notes\" multiLines=\"3\" />\n"
      "\t\t</section>\n"
      "\t\t<property name=\"pa:Plain\" readOnly=\"true\" label=\"$$$/p/plain=Plain\" />\n"
      "\t</view>\n"
      "</views>\n";
  EXPECT_EQ(velttest::ReadFile(path), expected);

  // Read back: the registered namespace resolves, the unregistered one is reported.
  const auto views = ParseViewDefinitionsFromDocument(path);
  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0]->mLabel, "Panel <1>");
  ASSERT_EQ(views[0]->mItems.size(), 1u);
  const auto& section = *views[0]->mItems[0];
  ASSERT_EQ(section.mChildItems.size(), 3u);
  EXPECT_EQ(section.mChildItems[0]->mWidgetName, "dropdown");
  EXPECT_EQ(section.mChildItems[0]->mChoices.at(0)->mLabel, u"X & Co");
  EXPECT_EQ(section.mChildItems[2]->mParameters.at("multiLines"), "3");

  // No schema: the declaration alone.
  EXPECT_TRUE(WriteViewDefinitionsFileFromSchema({}, {}, manifest, path));
  EXPECT_EQ(velttest::ReadFile(path), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n");
}

}  // namespace
