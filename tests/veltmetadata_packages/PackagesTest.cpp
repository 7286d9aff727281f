// Extension packages: duplicates across roots and orders, missing parts, dictionaries and
// schema merging, one load per initialisation, refusals of paths leading out of a package,
// and the manifest writer.
#include <gtest/gtest.h>

#include <filesystem>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "veltcore/Files.h"
#include "veltmetadata/Directories.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/Registry.h"
#include "veltmetadata/Views.h"

namespace {

using namespace veltmetadata;
namespace fs = std::filesystem;
using velttest::WriteFile;

const std::string kViews = kViewsNamespace;

class Packages : public velttest::LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    mMachine = CustomExtensionsGlobalDirectory();
    mUser = CustomExtensionsUserDirectory();
    Clean();
  }
  void TearDown() override {
    Clean();
    LibraryFixture::TearDown();
  }
  void Clean() {
    for (const fs::path& root : {mMachine, mUser}) {
      for (const auto& entry : fs::directory_iterator(root))
        fs::remove_all(entry.path());
    }
  }

  // A package folder with a manifest (attributes as given) and one view `viewName` showing
  // dc:title; `manifest` empty leaves the manifest out.
  static fs::path MakePackage(const fs::path& root, const std::string& folder,
                              const std::string& manifest, const std::string& viewName) {
    const fs::path dir = root / folder;
    fs::create_directories(dir);
    if (!manifest.empty()) {
      WriteFile(dir / "manifest.xml", "<?xml version='1.0'?><extension xmlns='" +
                                          std::string(kExtensionNamespace) + "' " + manifest +
                                          "/>");
    }
    if (!viewName.empty()) {
      WriteFile(dir / "view" / "panel.xml", "<views xmlns='" + kViews + "'><view name='" +
                                                viewName +
                                                "' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
                                                "<property name='dc:title'/></view></views>");
    }
    return dir;
  }

  std::vector<std::string> ViewNames() const {
    std::vector<std::string> names;
    for (const auto& view : CommonViewDefinitions()) {
      if (view->mName.starts_with("pkg_")) names.push_back(view->mName);
    }
    return names;
  }

  fs::path mMachine, mUser;
};

TEST_F(Packages, DuplicatesKeepTheHigherVersionOrTheFirstFound) {
  const fs::path machineA = MakePackage(mMachine, "a", "name='A' version='1'", "pkg_a1");
  MakePackage(mUser, "a", "name='A' version='2'", "pkg_a2");
  MakePackage(mMachine, "b", "name='B' version='3.5'", "pkg_b3");
  const fs::path userB = MakePackage(mUser, "b", "name='B' version='2'", "pkg_b2");
  const fs::path machineC = MakePackage(mMachine, "c", "name='C' version='1'", "pkg_c_machine");
  MakePackage(mUser, "c", "name='C' version='1.0'", "pkg_c_user");
  // A version that is no number counts as 0.
  const fs::path machineD = MakePackage(mMachine, "d", "name='D' version='beta'", "pkg_d1");
  MakePackage(mUser, "d", "name='D' version='0'", "pkg_d2");
  // Names are compared exactly.
  MakePackage(mUser, "e", "name='a' version='1'", "pkg_lower_a");
  LoadAllViewDefinitions();

  std::vector<std::string> names = ViewNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"pkg_a2", "pkg_b3", "pkg_c_machine", "pkg_d1",
                                             "pkg_lower_a"}));
  // Reported as the user's folder is scanned: a, b, c, d.
  const std::string lower = " already exists. Package with lower version number #{quot}";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"A#{quot}" + lower + "1#{quot} will be ignored.", machineA.string()},
      {"B#{quot}" + lower + "2#{quot} will be ignored.", userB.string()},
      {"C#{quot} already exists.", machineC.string()},
      {"D#{quot} already exists.", machineD.string()}};
  std::vector<std::pair<std::string, std::string>> seen;
  for (const auto& error : NewErrors()) {
    EXPECT_EQ(error.mKind, kExtensionPackageRegistrationError);
    seen.emplace_back(error.mMessage.substr(error.mMessage.find("#{quot}") + 7), error.mFile);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(NewErrors().at(0).mMessage.rfind(
                "Error registering extension package: extension package with name #{quot}A", 0),
            0u);
}

TEST_F(Packages, MissingPartsAreReportedAndSiblingsStillLoad) {
  MakePackage(mMachine, "1_nomanifest", "", "pkg_never");
  MakePackage(mMachine, "2_noloc", "name='NoLoc' locFilePrefix='mypanel'", "pkg_noloc");
  const fs::path empty = MakePackage(mMachine, "3_empty", "name='Empty'", "");
  WriteFile(empty / "view" / "CAPS.XML", "<views/>");
  MakePackage(mMachine, "4_plain", "name='Plain'", "pkg_plain");
  const fs::path broken = MakePackage(mMachine, "5_broken", "", "pkg_broken");
  WriteFile(broken / "manifest.xml", "<!DOCTYPE x [<!ENTITY a 'b'>]><extension xmlns='" +
                                         std::string(kExtensionNamespace) + "' name='&a;'/>");
  LoadAllViewDefinitions();

  EXPECT_EQ(ViewNames(), (std::vector<std::string>{"pkg_noloc", "pkg_plain"}));
  const std::string wrapper = "Error parsing manifest file: ";
  std::vector<std::pair<std::string, std::string>> seen;
  for (const auto& error : NewErrors()) {
    EXPECT_EQ(error.mKind, kExtensionManifestParsingError);
    seen.emplace_back(error.mMessage.substr(wrapper.size()), error.mFile);
  }
  EXPECT_EQ(
      seen,
      (std::vector<std::pair<std::string, std::string>>{
          {"manifest file is missing from extension package.",
           (mMachine / "1_nomanifest" / "manifest.xml").string()},
          {"invalid XML.", (broken / "manifest.xml").string()},
          {"localization directory is missing from extension package.",
           (mMachine / "2_noloc" / "loc").string()},
          {"neither schema nor view file is present in extension package.", empty.string()}}));
}

TEST_F(Packages, DictionarySchemaMergeAndViewLabels) {
  const fs::path dir = MakePackage(mUser, "loc", "name='Loc' locFilePrefix='mypanel'", "");
  // The dictionary is UTF-16 with its byte-order mark; its label is not ASCII.
  std::u16string dict = u"\xFEFF$$$/pkg/size_label=Größe\n";
  std::string bytes(reinterpret_cast<const char*>(dict.data()), dict.size() * 2);
  WriteFile(dir / "loc" / "mypanel_en_US.dict", bytes);
  WriteFile(dir / "loc" / "mypanel_de_DE.dict", "$$$/pkg/size_label=Wrong\n");
  WriteFile(dir / "schema" / "defs.xml",
            "<xmp_definitions><xmp_schema namespace='http://purl.org/dc/elements/1.1/' prefix='dc'>"
            "<xmp_property name='pkgSize' type='integer' label='$$$/pkg/size_label=Size'/>"
            "</xmp_schema></xmp_definitions>");
  WriteFile(dir / "view" / "v.xml",
            "<views xmlns='" + kViews +
                "'><view name='pkg_loc' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
                "<property name='dc:pkgSize'/></view></views>");
  LoadAllViewDefinitions();
  EXPECT_TRUE(NewErrors().empty()) << NewMessages()[0];
  const auto view = GetViewDefinitionForName("pkg_loc");
  ASSERT_TRUE(view);
  ASSERT_EQ(view->mItems.size(), 1u);
  // The package's schema merged into the built-in dc schema; its label came from the dictionary.
  EXPECT_EQ(view->mItems[0]->mPath.mNamespace, "http://purl.org/dc/elements/1.1/");
  EXPECT_EQ(view->mItems[0]->GetLabel(), u"Größe");
  EXPECT_FALSE(NamespaceDefinition("http://purl.org/dc/elements/1.1/")->mCustom);
}

TEST_F(Packages, OneLoadPerInitialisation) {
  MakePackage(mMachine, "once", "name='Once'", "pkg_once");
  LoadAllViewDefinitions();
  const std::size_t views = CommonViewDefinitions().size();
  LoadAllViewDefinitions();
  EXPECT_EQ(CommonViewDefinitions().size(), views);
  EXPECT_TRUE(NewErrors().empty());
  // An extra Initialize/Terminate pair does not restart the count; a full restart does.
  Initialize();
  Terminate();
  LoadAllViewDefinitions();
  EXPECT_EQ(CommonViewDefinitions().size(), views);
  Terminate();
  Initialize();
  EXPECT_TRUE(CommonViewDefinitions().empty());
  LoadAllViewDefinitions();
  EXPECT_EQ(CommonViewDefinitions().size(), views);
  EXPECT_EQ(ViewNames(), (std::vector<std::string>{"pkg_once"}));
}

TEST_F(Packages, NothingOutsideAPackageIsRead) {
  velttest::TempDir outside;
  MakePackage(outside.Path(), "foreign", "name='Foreign'", "pkg_foreign");
  WriteFile(outside / "evil_en_US.dict", "$$$/xmp/dc/title_label=Owned\n");
  WriteFile(outside / "view.xml",
            "<views xmlns='" + kViews +
                "'><view name='pkg_linked_view' "
                "xmlns:dc='http://purl.org/dc/elements/1.1/'><property name='dc:title'/>"
                "</view></views>");
  WriteFile(outside / "loc" / "en_US.dict", "$$$/xmp/dc/title_label=Owned\n");
  const auto before = velttest::FolderSnapshot(outside.Path());

  MakePackage(mMachine, "prefix", "name='Prefix' locFilePrefix='../../evil'", "pkg_prefix");
  MakePackage(mMachine, "dots", "name='Dots' locFilePrefix='..'", "pkg_dots");
  fs::create_directory_symlink(outside / "foreign", mMachine / "linked_package");
  const fs::path linkedView = MakePackage(mUser, "lv", "name='LinkedView'", "pkg_lv");
  fs::create_symlink(outside / "view.xml", linkedView / "view" / "linked.xml");
  const fs::path linkedLoc = MakePackage(mUser, "ll", "name='LinkedLoc'", "pkg_ll");
  fs::create_directory_symlink(outside / "loc", linkedLoc / "loc");
  LoadAllViewDefinitions();

  std::vector<std::string> names = ViewNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"pkg_ll", "pkg_lv"}));
  const std::string wrapper = "Error parsing manifest file: #{quot}";
  std::vector<std::string> refused;
  for (const auto& error : NewErrors()) {
    ASSERT_EQ(error.mMessage.rfind(wrapper, 0), 0u) << error.mMessage;
    refused.push_back(error.mMessage.substr(wrapper.size()));
  }
  const std::string tail = "#{quot} leads outside the extension package and is not read.";
  EXPECT_EQ(refused,
            (std::vector<std::string>{".." + tail, (mMachine / "linked_package").string() + tail,
                                      "../../evil" + tail, (linkedLoc / "loc").string() + tail,
                                      (linkedView / "view" / "linked.xml").string() + tail}));
  const auto title = PathEntryDefinition(PathForSchemaNameAndPropertyName(
      UTF8String("http://purl.org/dc/elements/1.1/"), UTF8String("title")));
  EXPECT_NE(title->mLabel, u"Owned");
  EXPECT_EQ(velttest::FolderSnapshot(outside.Path()), before);
}

TEST_F(Packages, ManifestWrittenAndReadBack) {
  velttest::TempDir dir;
  GenericPanelManifestParser::ManifestInfo panel;
  panel.name = u"Río & <Co>";
  panel.version = u"2.5";
  const UTF16String path = veltcore::filesupport::ToUTF16(dir / "new" / "manifest.xml");
  ASSERT_TRUE(WriteExtensionManifest(panel, path));
  EXPECT_EQ(velttest::ReadFile(dir / "new" / "manifest.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<extension xmlns=\"" +
                std::string(kExtensionNamespace) +
                "\" name=\"Río &amp; &lt;Co&gt;\" version=\"2.5\">\n</extension>\n");
  panel.localizationFile = u"mypanel";
  ASSERT_TRUE(WriteExtensionManifest(panel, path));
  ExtensionManifestParser::ManifestInfo read;
  ASSERT_TRUE(ParseExtensionManifestFromDocument((dir / "new" / "manifest.xml").string(), read));
  EXPECT_EQ(read.name, panel.name);
  EXPECT_EQ(read.version, u"2.5");
  EXPECT_EQ(read.locFilePrefix, u"mypanel");
  EXPECT_FALSE(ParseExtensionManifestFromDocument((dir / "missing.xml").string(), read));
  EXPECT_EQ(NewMessages(), (std::vector<std::string>{"Error parsing manifest file: invalid XML."}));
}

}  // namespace
