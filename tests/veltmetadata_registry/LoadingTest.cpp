// Custom definitions folders, package files, dictionaries, folder functions and dynamic
// schema authoring.
#include <gtest/gtest.h>

#include <filesystem>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "registry/Loading.h"
#include "veltcore/Files.h"
#include "veltcore/Localizer.h"
#include "veltmetadata/Directories.h"
#include "veltmetadata/DynamicSchemas.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {
namespace {

namespace fs = std::filesystem;
using velttest::WriteFile;

fs::path UserFolder() {
  return fs::path(CustomDefinitionsUserDirectory());
}
fs::path GlobalFolder() {
  return fs::path(CustomDefinitionsGlobalDirectory());
}

const char kDcNs[] = "http://purl.org/dc/elements/1.1/";

std::string SchemaDoc(const std::string& ns, const std::string& prefix,
                      const std::string& extra = "", const std::string& label = "") {
  return "<?xml version='1.0'?><xmp_definitions><xmp_schema namespace='" + ns + "' prefix='" +
         prefix + "'" + extra + (label.empty() ? "" : " label='" + label + "'") +
         "><xmp_property name='Fresh' type='text'/><xmp_property name='title' type='langalt'/>"
         "</xmp_schema></xmp_definitions>";
}

// Removes what a test put into the custom folders.
class CustomDefinitionFolders : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(UserFolder(), ec);
    fs::remove_all(GlobalFolder(), ec);
    veltcore::config::Localizer::Get().Clear();
  }
  std::vector<ErrorInfo> StartAndCollect() {
    Initialize();
    return GetErrorInfos();
  }
  veltcore::debug::AssertionCapture mAssertions;
};

TEST(DefinitionDirectories, FoldersLieUnderTheSystemAndPreferenceRoots) {
  const fs::path system = veltcore::filesupport::DirHelper::SystemDir(44).Path();
  const fs::path prefs = veltcore::filesupport::Dir::GlobalPrefDir().Path();
  EXPECT_EQ(GlobalFolder(), system / "Orvane/XMP/Custom File Info Panels/4.0/custom");
  EXPECT_EQ(UserFolder(), prefs / "Orvane/XMP/Custom File Info Panels/4.0/custom");
  EXPECT_FALSE(fs::exists(UserFolder()));
  EXPECT_EQ(fs::path(PanelsDefinitionsUserDirectory(kTaviPanels30)),
            prefs / "Orvane/XMP/Custom File Info Panels/3.0/panels");
  EXPECT_EQ(fs::path(PanelsDefinitionsGlobalDirectory(kTaviPanels40)),
            system / "Orvane/XMP/Custom File Info Panels/4.0/panels");
  EXPECT_EQ(fs::path(PanelsDefinitionsGlobalDirectory(static_cast<TaviVersion>(7))),
            system / "Orvane/XMP/Custom File Info Panels/2.0/panels");
  const fs::path extensions = CustomExtensionsUserDirectory();
  EXPECT_EQ(extensions, prefs / "Orvane/XMP/Metadata Extensions");
  EXPECT_TRUE(fs::is_directory(extensions));
  EXPECT_TRUE(fs::is_directory(fs::path(CustomExtensionsGlobalDirectory())));
}

TEST_F(CustomDefinitionFolders, CustomFilesRegisterWithoutMergingAndRememberTheirFile) {
  WriteFile(UserFolder() / "dup.xml", SchemaDoc(kDcNs, "dc"));
  WriteFile(UserFolder() / "mine.xml",
            "<xmp_definitions><xmp_schema namespace='http://example.com/custom/a/' prefix='cua'/>"
            "<xmp_schema namespace='http://example.com/custom/b/' prefix='cub'/>"
            "<xmp_type name='custom type' extends='text'/></xmp_definitions>");
  WriteFile(UserFolder() / "dyn.xml",
            SchemaDoc("http://example.com/custom/dyn/", "cud", " dynamic='true'"));
  WriteFile(UserFolder() / "ignored.XML", SchemaDoc("http://example.com/custom/upper/", "cuu"));
  WriteFile(UserFolder() / "DICOM.xml", SchemaDoc(kDicomNamespace, "DICOM"));
  WriteFile(GlobalFolder() / "DICOM.xml", SchemaDoc("http://example.com/custom/gdicom/", "gdi"));
  WriteFile(GlobalFolder() / "Mobile.xml", SchemaDoc("http://example.com/custom/gmobile/", "gmo"));
  WriteFile(GlobalFolder() / "mobile.xml", SchemaDoc("http://example.com/custom/gmobile2/", "gm2"));

  const auto errors = StartAndCollect();
  // dup.xml and the user's DICOM.xml are refused as duplicates, nothing else complains.
  ASSERT_EQ(errors.size(), 2u);
  for (const auto& info : errors) {
    EXPECT_NE(info.mMessage.find("already exists"), std::string::npos) << info.mMessage;
  }
  EXPECT_EQ(errors[0].mFile, (UserFolder() / "DICOM.xml").string());
  EXPECT_EQ(errors[1].mFile, (UserFolder() / "dup.xml").string());
  EXPECT_EQ(PropertyNameDefinition(NamespaceDefinition(kDcNs), "Fresh"), nullptr);
  EXPECT_EQ(NamespaceDefinition("http://example.com/custom/gdicom/"), nullptr);
  EXPECT_EQ(NamespaceDefinition("http://example.com/custom/gmobile/"), nullptr);
  EXPECT_NE(NamespaceDefinition("http://example.com/custom/gmobile2/"), nullptr);
  EXPECT_EQ(NamespaceDefinition("http://example.com/custom/upper/"), nullptr);

  const auto mine = NamespaceDefinition("http://example.com/custom/a/");
  ASSERT_TRUE(mine);
  EXPECT_TRUE(mine->mCustom);
  EXPECT_EQ(fs::path(filePathForSchema(mine)), UserFolder() / "mine.xml");
  const auto from_file = allSchemasFromSourceFile(filePathForSchema(mine));
  EXPECT_EQ(from_file.size(), 2u);
  EXPECT_NE(std::find(from_file.begin(), from_file.end(), mine), from_file.end());
  EXPECT_EQ(allTypesFromSourceFile(filePathForSchema(mine)),
            TypeDefinitionList{TypeIdDefinition("custom type")});
  EXPECT_TRUE(filePathForSchema(NamespaceDefinition(kDcNs)).empty());

  const auto dyn = NamespaceDefinition("http://example.com/custom/dyn/");
  ASSERT_TRUE(dyn);
  EXPECT_FALSE(dyn->mCustom);
  const auto [begin, end] = DynamicSchemaDefinitions();
  EXPECT_EQ(*(end - 1), dyn);
  Terminate();
}

TEST_F(CustomDefinitionFolders, PackageFilesMergeIntoRegisteredSchemas) {
  Initialize();
  const std::size_t baseline = GetErrorInfos().size();
  velttest::TempDir package;
  const auto file = package / "schema.xml";
  WriteFile(file, SchemaDoc(kDcNs, "dc"));
  registry::LoadDefinitionsFile(veltcore::filesupport::File(file),
                                registry::DefinitionsSource::kExtensionPackage);
  const auto dc = NamespaceDefinition(kDcNs);
  EXPECT_NE(PropertyNameDefinition(dc, "Fresh"), nullptr);
  EXPECT_FALSE(dc->mCustom);
  EXPECT_TRUE(filePathForSchema(dc).empty());  // merged schemas get no file
  const auto errors = GetErrorInfos();
  ASSERT_EQ(errors.size(), baseline + 1);
  EXPECT_EQ(errors.back().mMessage,
            "Error registering definition: property definition for namespace #{quot}"
            "http://purl.org/dc/elements/1.1/title#{quot} already exists.");

  const auto other = package / "other.xml";
  WriteFile(other, SchemaDoc("http://example.com/pkg/", "pkg"));
  registry::LoadDefinitionsFile(veltcore::filesupport::File(other),
                                registry::DefinitionsSource::kExtensionPackage);
  EXPECT_FALSE(NamespaceDefinition("http://example.com/pkg/")->mCustom);
  Terminate();
}

TEST_F(CustomDefinitionFolders, DictionaryIsLoadedBeforeItsDefinitionsFile) {
  WriteFile(UserFolder() / "labelled.xml",
            SchemaDoc("http://example.com/custom/loc/", "cul", "", "$$$/custom/loc/label=Default"));
  WriteFile(UserFolder() / "loc" / "labelled_en_US.dat", "$$$/custom/loc/label=Translated\n");
  StartAndCollect();
  const auto schema = NamespaceDefinition("http://example.com/custom/loc/");
  ASSERT_TRUE(schema);
  EXPECT_EQ(schema->mLabel, u"Translated");
  EXPECT_EQ(schema->mLabelZString, u"$$$/custom/loc/label=Default");
  Terminate();
}

TEST(DynamicSchemaAuthoring, NamespacesAndAuthoredRecords) {
  const UTF8String uri = MakeDynamicSchemaNamespace("photo");
  EXPECT_EQ(uri, std::string(kDynamicNamespaceBase) + "photo/1.0/");
  for (const char* variant : {"/photo", "photo/", "/photo/"}) {
    EXPECT_EQ(MakeDynamicSchemaNamespace(variant), uri) << variant;
  }
  EXPECT_EQ(MakeDynamicSchemaNamespace("//photo"),
            std::string(kDynamicNamespaceBase) + "/photo/1.0/");
  EXPECT_EQ(MakeDynamicSchemaNamespace("a/b"), std::string(kDynamicNamespaceBase) + "a/b/1.0/");
  EXPECT_EQ(MakeDynamicSchemaNamespace(""), std::string(kDynamicNamespaceBase) + "/1.0/");
  EXPECT_TRUE(IsDynamicNamespace(uri));
  EXPECT_TRUE(IsDynamicNamespace(MakeDynamicSchemaNamespace("")));

  veltcore::debug::AssertionCapture capture;
  Initialize();
  for (int s = 0; s < kStandardSchemaCount; ++s) {
    EXPECT_FALSE(IsDynamicNamespace(StandardSchemaNamespace(static_cast<StandardSchema>(s))));
  }
  auto schema = CreateNewSchema(uri, "ph", u"$$$/ph=Photo", u"Photo", u"", u"");
  EXPECT_TRUE(schema->mCustom);
  EXPECT_FALSE(schema->mDynamic);
  auto property = CreateNewProperty(kPrimitiveType_Seq, "Keys", u"Keys", u"Keys", u"", u"");
  EXPECT_EQ(property->mType, "seq");
  EXPECT_FALSE(property->mElementType.has_value());
  EXPECT_TRUE(property->mUserFlag);
  schema->mProperties.push_back(property);
  const std::size_t before = GetErrorInfos().size();
  ASSERT_TRUE(RegisterSchemaDefinition(schema, "authored", false));
  EXPECT_EQ(property->mElementType, "text");
  EXPECT_EQ(GetErrorInfos().size(), before + 1);

  SetFilePathForSchema(u"/tmp/authored.xml", schema);
  EXPECT_EQ(filePathForSchema(schema), u"/tmp/authored.xml");
  EXPECT_EQ(allSchemasFromSourceFile(u"/tmp/authored.xml").size(), 1u);
  EXPECT_TRUE(allSchemasFromSourceFile(u"/tmp/AUTHORED.xml").empty());
  EXPECT_TRUE(allTypesFromSourceFile(u"/tmp/authored.xml").empty());
  Terminate();
  EXPECT_TRUE(filePathForSchema(schema).empty());
}

}  // namespace
}  // namespace veltmetadata
