// The built-in definitions: a clean start, a sample checked against the published
// standards, and container kinds, namespaces and value forms checked against ExifTool.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPMeta.h"

namespace veltmetadata {
namespace {

using velttest::LibraryFixture;

using BuiltinDefinitions = LibraryFixture;

std::shared_ptr<PropertyDefinition> Prop(StandardSchema schema, const char* name) {
  return PropertyNameDefinition(NamespaceDefinition(StandardSchemaNamespace(schema)), name);
}

std::vector<std::string> RawValues(const EntryDefinition& entry) {
  std::vector<std::string> values;
  for (const auto& choice : entry.mChoices)
    values.push_back(choice->mRawValue);
  return values;
}

TEST(RegistryCleanStart, LoadsEveryBuiltInDefinitionWithoutAnyReport) {
  veltcore::debug::AssertionCapture capture;
  Initialize();
  EXPECT_FALSE(HasErrors());
  for (const auto& info : GetErrorInfos())
    ADD_FAILURE() << info.mFile << ": " << info.mMessage;
  EXPECT_EQ(capture.Count(), 0u);
  // Every standard schema is there, in order; the last two are dynamic.
  const auto [begin, end] = CommonSchemaDefinitions();
  ASSERT_EQ(end - begin, kStandardSchemaCount - 2);
  EXPECT_EQ((*begin)->mNamespace, "http://purl.org/dc/elements/1.1/");
  const auto [dbegin, dend] = DynamicSchemaDefinitions();
  ASSERT_EQ(dend - dbegin, 2);
  EXPECT_EQ((*dbegin)->mNamespace, StandardSchemaNamespace(kStandardSchema_xmpPMAssign));
  EXPECT_TRUE((*dbegin)->mDynamic);
  for (int s = 0; s < kStandardSchemaCount; ++s) {
    const auto schema =
        NamespaceDefinition(StandardSchemaNamespace(static_cast<StandardSchema>(s)));
    ASSERT_TRUE(schema) << StandardSchemaBaseName(static_cast<StandardSchema>(s));
    EXPECT_FALSE(schema->mCustom);
    std::string prefix;
    EXPECT_TRUE(SXMPMeta::GetNamespacePrefix(schema->mNamespace, &prefix));
    EXPECT_EQ(prefix, schema->mPrefix + ":");
  }
  std::istringstream types(
      "boolean,choice,integer,text,real,openchoice,closedchoice,seq,alt,bag,colorant,dimensions,"
      "font,thumbnail,date,locale,mimetype,propername,url,uri,xpath,rational,gpscoordinate,guid,"
      "agentname,langalt,openchoice of text,seq of integer,rating");
  for (std::string type; std::getline(types, type, ',');)
    EXPECT_TRUE(TypeIdDefinition(type)) << type;
  EXPECT_EQ(NamespaceDefinition("http://ns.adobe.com/exif/1.0/aux/")->mProperties.size(), 10u);
  Terminate();
}

TEST_F(BuiltinDefinitions, SampleFollowsThePublishedStandards) {
  // XMP specification: Dublin Core and XMP basic.
  EXPECT_EQ(Prop(kStandardSchema_dc, "creator")->mType, "seq");
  EXPECT_EQ(Prop(kStandardSchema_dc, "subject")->mType, "bag");
  EXPECT_EQ(Prop(kStandardSchema_dc, "title")->mType, "langalt");
  EXPECT_EQ(Prop(kStandardSchema_dc, "date")->mElementType, "date");
  EXPECT_EQ(PrimitiveTypeOf(*Prop(kStandardSchema_xmp, "CreateDate")), kPrimitiveType_Text);
  EXPECT_EQ(Prop(kStandardSchema_xmpRights, "Marked")->mType, "boolean");

  // EXIF and TIFF in XMP: closed vocabularies of the EXIF standard.
  EXPECT_EQ(RawValues(*Prop(kStandardSchema_tiff, "Orientation")),
            (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
  EXPECT_EQ(Prop(kStandardSchema_tiff, "Orientation")->mType, "closedchoice");
  EXPECT_EQ(RawValues(*Prop(kStandardSchema_exif, "ExposureProgram")).size(), 9u);
  const auto metering = RawValues(*Prop(kStandardSchema_exif, "MeteringMode"));
  EXPECT_NE(std::find(metering.begin(), metering.end(), "255"), metering.end());
  EXPECT_EQ(Prop(kStandardSchema_exif, "GPSLatitude")->mType, "gpscoordinate");
  EXPECT_EQ(ElementTypeIdOf(*Prop(kStandardSchema_exif, "ISOSpeedRatings")), "integer");

  // The flash structure of the EXIF-in-XMP guideline.
  const auto flash = PropertyTypeOf(*Prop(kStandardSchema_exif, "Flash"));
  ASSERT_TRUE(flash);
  ASSERT_TRUE(IsStructType(*flash));
  EXPECT_EQ(FieldNameDefinition(flash, "Fired")->mType, "boolean");
  EXPECT_EQ(FieldNameDefinition(flash, "Fired")->mNamespace, "http://ns.adobe.com/exif/1.0/");
  EXPECT_EQ(RawValues(*FieldNameDefinition(flash, "Return")),
            (std::vector<std::string>{"0", "2", "3"}));
  EXPECT_EQ(RawValues(*FieldNameDefinition(flash, "Mode")),
            (std::vector<std::string>{"0", "1", "2", "3"}));
  EXPECT_TRUE(FieldNameDefinition(flash, "RedEyeMode"));
  EXPECT_TRUE(FieldNameDefinition(flash, "Function"));

  // Media management references and history events.
  const auto ref = PropertyTypeOf(*Prop(kStandardSchema_xmpMM, "DerivedFrom"));
  ASSERT_TRUE(ref && IsStructType(*ref));
  EXPECT_EQ(FieldNameDefinition(ref, "instanceID")->mNamespace,
            "http://ns.adobe.com/xap/1.0/sType/ResourceRef#");
  const auto event = PropertyTypeOf(*Prop(kStandardSchema_xmpMM, "History"));
  ASSERT_TRUE(event && IsStructType(*event));
  for (const char* field : {"action", "when", "softwareAgent", "instanceID"}) {
    EXPECT_TRUE(FieldNameDefinition(event, field)) << field;
  }

  // IPTC Core contact info and IPTC Extension structures.
  const auto contact = PropertyTypeOf(*Prop(kStandardSchema_iptcCore, "CreatorContactInfo"));
  ASSERT_TRUE(contact && IsStructType(*contact));
  for (const char* field : {"CiAdrExtadr", "CiAdrCity", "CiAdrRegion", "CiAdrPcode", "CiAdrCtry",
                            "CiTelWork", "CiEmailWork", "CiUrlWork"}) {
    EXPECT_TRUE(FieldNameDefinition(contact, field)) << field;
  }
  const auto location = PropertyTypeOf(*Prop(kStandardSchema_iptcExtension, "LocationCreated"));
  ASSERT_TRUE(location && IsStructType(*location));
  EXPECT_TRUE(FieldNameDefinition(location, "City"));
  EXPECT_TRUE(FieldNameDefinition(location, "CountryCode"));
  const auto artwork = PropertyTypeOf(*Prop(kStandardSchema_iptcExtension, "ArtworkOrObject"));
  ASSERT_TRUE(artwork && IsStructType(*artwork));
  EXPECT_TRUE(FieldNameDefinition(artwork, "AOTitle"));

  // Dynamic media: the audio sample types of the XMP specification.
  const auto sample_types = RawValues(*Prop(kStandardSchema_xmpDM, "audioSampleType"));
  for (const char* value :
       {"8Int", "16Int", "24Int", "32Int", "32Float", "Compressed", "Packed", "Other"}) {
    EXPECT_NE(std::find(sample_types.begin(), sample_types.end(), value), sample_types.end())
        << value;
  }
}

// ExifTool's name of a tag and where we define it.
struct OracleTag {
  const char* mExifTool;  // "XMP-dc:Creator=value"
  StandardSchema mSchema;
  const char* mProperty;
};

const OracleTag kOracleTags[] = {
    {"XMP-dc:Creator=a", kStandardSchema_dc, "creator"},
    {"XMP-dc:Subject=a", kStandardSchema_dc, "subject"},
    {"XMP-dc:Title=a", kStandardSchema_dc, "title"},
    {"XMP-dc:Description=a", kStandardSchema_dc, "description"},
    {"XMP-dc:Rights=a", kStandardSchema_dc, "rights"},
    {"XMP-dc:Publisher=a", kStandardSchema_dc, "publisher"},
    {"XMP-dc:Date=2020:01:02", kStandardSchema_dc, "date"},
    {"XMP-dc:Format=image/jpeg", kStandardSchema_dc, "format"},
    {"XMP-dc:Language=en", kStandardSchema_dc, "language"},
    {"XMP-xmp:Rating=3", kStandardSchema_xmp, "Rating"},
    {"XMP-xmp:CreateDate=2020:01:02 03:04:05", kStandardSchema_xmp, "CreateDate"},
    {"XMP-xmp:Identifier=a", kStandardSchema_xmp, "Identifier"},
    {"XMP-xmpRights:Marked=True", kStandardSchema_xmpRights, "Marked"},
    {"XMP-xmpRights:Owner=a", kStandardSchema_xmpRights, "Owner"},
    {"XMP-xmpRights:UsageTerms=a", kStandardSchema_xmpRights, "UsageTerms"},
    {"XMP-tiff:BitsPerSample=8", kStandardSchema_tiff, "BitsPerSample"},
    {"XMP-tiff:Copyright=a", kStandardSchema_tiff, "Copyright"},
    {"XMP-tiff:ImageDescription=a", kStandardSchema_tiff, "ImageDescription"},
    {"XMP-tiff:XResolution=72", kStandardSchema_tiff, "XResolution"},
    {"XMP-exif:UserComment=a", kStandardSchema_exif, "UserComment"},
    {"XMP-exif:SubjectArea=3", kStandardSchema_exif, "SubjectArea"},
    {"XMP-exif:FNumber=2.8", kStandardSchema_exif, "FNumber"},
    {"XMP-exif:ExposureTime=0.01", kStandardSchema_exif, "ExposureTime"},
    {"XMP-exif:DateTimeOriginal=2020:01:02 03:04:05", kStandardSchema_exif, "DateTimeOriginal"},
    {"XMP-exifEX:LensModel=a", kStandardSchema_exifEX, "LensModel"},
    {"XMP-iptcCore:Scene=010100", kStandardSchema_iptcCore, "Scene"},
    {"XMP-iptcCore:SubjectCode=01000000", kStandardSchema_iptcCore, "SubjectCode"},
    {"XMP-iptcCore:CountryCode=DE", kStandardSchema_iptcCore, "CountryCode"},
    {"XMP-iptcExt:PersonInImage=a", kStandardSchema_iptcExtension, "PersonInImage"},
    {"XMP-iptcExt:Event=a", kStandardSchema_iptcExtension, "Event"},
    {"XMP-xmpTPg:NPages=3", kStandardSchema_xmpTPg, "NPages"},
    {"XMP-pdf:Keywords=a", kStandardSchema_pdf, "Keywords"},
    {"XMP-xmpDM:Artist=a", kStandardSchema_xmpDM, "artist"},
    {"XMP-xmpDM:Genre=a", kStandardSchema_xmpDM, "genre"},
};

// The container ExifTool wrote for each "prefix:Name" element: "Bag", "Seq", "Alt",
// "struct" or "" for a simple value, with the simple value itself.
struct Written {
  std::string mContainer;
  std::string mValue;
};

std::map<std::string, Written> ElementsOf(const std::string& packet) {
  std::map<std::string, Written> found;
  static const std::regex element(
      R"(<([A-Za-z0-9]+:[A-Za-z0-9]+)( rdf:parseType='Resource')?>\s*(<rdf:(Bag|Seq|Alt)>)?([^<]*))");
  for (std::sregex_iterator it(packet.begin(), packet.end(), element), end; it != end; ++it) {
    const auto& m = *it;
    if (m[1].str().starts_with("rdf:") || m[1].str().starts_with("x:")) continue;
    Written written;
    written.mContainer = m[2].matched ? "struct" : m[4].str();
    written.mValue = m[3].matched ? "" : m[5].str();
    found.emplace(m[1].str(), written);
  }
  return found;
}

std::string ContainerOf(const PropertyDefinition& property) {
  const auto primitive = PrimitiveTypeOf(property);
  if (!primitive) return "struct";
  switch (*primitive) {
    case kPrimitiveType_Bag:
      return "Bag";
    case kPrimitiveType_Seq:
      return "Seq";
    case kPrimitiveType_Alt:
      return "Alt";
    default:
      return "";
  }
}

TEST_F(BuiltinDefinitions, ContainersNamespacesAndValueFormsAgreeWithExifTool) {
  VELT_REQUIRE_COMMANDS("exiftool");
  velttest::TempDir dir;
  const auto out = dir / "oracle.xmp";
  std::string command = "exiftool -q -m -o '" + out.string() + "'";
  for (const auto& tag : kOracleTags)
    command += std::string(" '-") + tag.mExifTool + "'";
  int status = 0;
  velttest::RunCommand(command + " 2>&1", &status);
  const std::string packet = velttest::ReadFile(out);
  ASSERT_FALSE(packet.empty()) << command;
  const auto written = ElementsOf(packet);

  std::size_t compared = 0;
  for (const auto& tag : kOracleTags) {
    const auto schema = NamespaceDefinition(StandardSchemaNamespace(tag.mSchema));
    ASSERT_TRUE(schema);
    const auto property = PropertyNameDefinition(schema, tag.mProperty);
    ASSERT_TRUE(property) << schema->mPrefix << ":" << tag.mProperty;
    const std::string qualified = schema->mPrefix + ":" + tag.mProperty;
    const auto it = written.find(qualified);
    if (it == written.end()) {
      ADD_FAILURE() << "ExifTool wrote no " << qualified;
      continue;
    }
    ++compared;
    EXPECT_EQ(ContainerOf(*property), it->second.mContainer) << qualified;
    // ExifTool declares the namespace under the same prefix.
    EXPECT_NE(packet.find("xmlns:" + schema->mPrefix + "='" + schema->mNamespace + "'"),
              std::string::npos)
        << qualified;
    // A simple value ExifTool wrote matches the pattern of our type.
    if (!it->second.mValue.empty() && property->mType) {
      const auto type = TypeIdDefinition(*property->mType);
      if (type && type->mPattern) {
        EXPECT_TRUE(std::regex_match(it->second.mValue, std::regex(*type->mPattern)))
            << qualified << " = " << it->second.mValue << " vs " << *type->mPattern;
      }
    }
  }
  EXPECT_EQ(compared, std::size(kOracleTags));
}

}  // namespace
}  // namespace veltmetadata
