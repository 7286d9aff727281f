// Legacy generic panels converted into extension packages: the package loads after a
// restart with its view, properties and translated labels; every refusal is reported and
// nothing outside the given folders is touched.
#include <gtest/gtest.h>

#include <filesystem>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "veltcore/Files.h"
#include "veltmetadata/Directories.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/GenericPanels.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/Views.h"

namespace {

using namespace veltmetadata;
namespace fs = std::filesystem;
using veltcore::filesupport::ToUTF16;
using velttest::WriteFile;

std::string Utf8(const UTF16String& text) {
  return veltcore::string::UTF16to8(text);
}

// A generic panel folder: manifest with the given extra attributes, definitions "acme.xml"
// adding acme:Size and dc:acmeCode (and repeating dc:title), and a UTF-8 dictionary.
fs::path MakePanel(const fs::path& panels, const std::string& name, const std::string& extra) {
  const fs::path dir = panels / name;
  WriteFile(dir / "manifest.xml",
            "<panel xmlns='" + std::string(kFileInfoNamespace) +
                "' name='Acme Panel' label='Acme' version='2' "
                "propertyDescriptionFile='acme.xml' localizationFile='acme' " +
                extra + "/>");
  WriteFile(dir / "acme.xml",
            "<xmp_definitions><xmp_schema namespace='http://example.com/acme/' prefix='acme' "
            "label='$$$/acme/schema=Acme'><xmp_property name='Size' type='integer' "
            "label='$$$/acme/Size=Size'/></xmp_schema>"
            "<xmp_schema namespace='http://purl.org/dc/elements/1.1/' prefix='dc'>"
            "<xmp_property name='title' type='langalt'/><xmp_property name='acmeCode' type='text'/>"
            "</xmp_schema></xmp_definitions>");
  WriteFile(dir / "loc" / "acme_en_US.txt", "$$$/acme/Size=Größe\n");
  return dir;
}

class Panels : public velttest::LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    mRoot = CustomExtensionsUserDirectory();
    for (const auto& entry : fs::directory_iterator(mRoot))
      fs::remove_all(entry.path());
  }
  std::string Convert(TaviVersion version, const fs::path& folder, const fs::path& root) {
    UTF16String report;
    utility::ConvertGenericPanelsFolder(version, ToUTF16(folder), ToUTF16(root), report);
    return Utf8(report);
  }
  velttest::TempDir mPanels;
  fs::path mRoot;
};

TEST_F(Panels, ConvertedPanelLoadsAfterRestart) {
  const fs::path panel = MakePanel(mPanels.Path(), "acme", "type='generic'");
  // Text that is not UTF-8 (here Latin-1) is copied as it is.
  WriteFile(panel / "loc" / "acme_fr_FR.txt", "$$$/acme/Size=Taille \xE9\n");
  // The 3.0 and 2.0 generations look for a panel class instead of the type.
  const std::string none =
      "INFO - No Generic Panels found in folder '" + mPanels.Path().string() + "' to convert.\n\n";
  EXPECT_EQ(Convert(kTaviPanels30, mPanels.Path(), mRoot), none);
  EXPECT_FALSE(fs::exists(mRoot / "acme"));

  const fs::path package = mRoot / "acme";
  EXPECT_EQ(Convert(kTaviPanels40, mPanels.Path(), mRoot),
            "SUCCESS - Converted '" + panel.string() + "' to '" + package.string() + "'\n\n");
  // Only what the registry lacks goes into the schema file.
  const std::string schema = velttest::ReadFile(package / "schema" / "acme.xml");
  EXPECT_NE(schema.find("name=\"acmeCode\""), std::string::npos);
  EXPECT_EQ(schema.find("name=\"title\""), std::string::npos);
  EXPECT_EQ(velttest::ReadFile(package / "loc" / "acme_en_US.dict").substr(0, 4),
            std::string("\xFE\xFF\0$", 4));
  EXPECT_EQ(velttest::ReadFile(package / "loc" / "acme_fr_FR.dict"), "$$$/acme/Size=Taille \xE9\n");
  EXPECT_EQ(Convert(kTaviPanels40, mPanels.Path(), mRoot),
            "INFO - Cannot convert '" + panel.string() + "'. Extension Package folder '" +
                package.string() + "' already exists.\n\n");

  Terminate();
  Initialize();
  LoadAllViewDefinitions();
  EXPECT_TRUE(NewErrors().empty()) << NewMessages()[0];
  const auto view = GetViewDefinitionForName("imported_Acme Panel");
  ASSERT_TRUE(view);
  ASSERT_EQ(view->mItems.size(), 3u);  // the acme section, dc:title, dc:acmeCode
  const auto& section = *view->mItems[0];
  EXPECT_EQ(section.GetLabel(), u"Acme");
  ASSERT_EQ(section.mChildItems.size(), 1u);
  EXPECT_EQ(section.mChildItems[0]->mPath.mNamespace, "http://example.com/acme/");
  EXPECT_EQ(section.mChildItems[0]->GetLabel(), u"Größe");
  EXPECT_EQ(view->mItems[2]->mPath.mPathDescription, "acmeCode");
  EXPECT_TRUE(PathEntryDefinition(view->mItems[2]->mPath));
  for (const auto& entry : fs::directory_iterator(mRoot))
    fs::remove_all(entry.path());
}

TEST_F(Panels, RefusalsAreReportedAndNothingOutsideIsTouched) {
  velttest::TempDir outside, root;
  const fs::path foreign = MakePanel(outside.Path(), "foreign", "type='generic'");
  WriteFile(outside / "secret.xml", "<xmp_definitions/>");
  const auto before = velttest::FolderSnapshot(outside.Path());

  const fs::path& p = mPanels.Path();
  const fs::path badName = MakePanel(p, "a_badname", "type='generic' ");
  WriteFile(badName / "manifest.xml",
            "<panel xmlns='" + std::string(kFileInfoNamespace) +
                "' name='X' type='generic' propertyDescriptionFile='../../secret.xml'/>");
  const fs::path badLoc = MakePanel(p, "b_badloc", "type='generic'");
  WriteFile(badLoc / "manifest.xml", "<panel xmlns='" + std::string(kFileInfoNamespace) +
                                         "' name='Y' type='generic' propertyDescriptionFile="
                                         "'acme.xml' localizationFile='x/y'/>");
  const fs::path linkedDefs = MakePanel(p, "c_linkeddefs", "type='generic'");
  fs::remove(linkedDefs / "acme.xml");
  fs::create_symlink(outside / "secret.xml", linkedDefs / "acme.xml");
  fs::create_directory_symlink(foreign, p / "d_linkedpanel");
  const fs::path broken = MakePanel(p, "e_broken", "type='generic'");
  WriteFile(broken / "acme.xml", "<xmp_definitions><oops>");
  const fs::path occupied = MakePanel(p, "f_occupied", "type='generic'");
  fs::create_symlink(outside / "nowhere", root / "f_occupied");
  const fs::path linkedLoc = MakePanel(p, "g_linkedloc", "type='generic'");
  fs::remove_all(linkedLoc / "loc");
  fs::create_directory_symlink(foreign / "loc", linkedLoc / "loc");
  MakePanel(p, "h_notgeneric", "type='custom'");

  const std::string report = Convert(kTaviPanels40, p, root.Path());
  const auto cannot = [](const fs::path& panel) {
    return "Cannot convert '" + panel.string() + "'. ";
  };
  const std::string tail = "' leads outside the panel folder and is not read.\n\n";
  EXPECT_EQ(report, "FAILURE - " + cannot(badName) +
                        "The manifest value '../../secret.xml' is not a plain file name.\n\n"
                        "FAILURE - " +
                        cannot(badLoc) +
                        "The manifest value 'x/y' is not a plain file name.\n\n"
                        "FAILURE - " +
                        cannot(linkedDefs) + "'" + (linkedDefs / "acme.xml").string() + tail +
                        "FAILURE - " + cannot(p / "d_linkedpanel") + "'" +
                        (p / "d_linkedpanel").string() + tail + "FAILURE - " + cannot(broken) +
                        "Found invalid XML in '" + (broken / "acme.xml").string() + "'.\n\n" +
                        "INFO - " + cannot(occupied) + "Extension Package folder '" +
                        (root / "f_occupied").string() + "' already exists.\n\n" + "FAILURE - " +
                        cannot(linkedLoc) + "'" + (linkedLoc / "loc").string() + tail +
                        "SUCCESS - Converted '" + linkedLoc.string() + "' to '" +
                        (root / "g_linkedloc").string() + "'\n\n");
  EXPECT_FALSE(fs::exists(root / "g_linkedloc" / "loc"));
  EXPECT_TRUE(fs::is_symlink(root / "f_occupied"));
  EXPECT_FALSE(fs::exists(outside / "nowhere"));
  EXPECT_EQ(velttest::FolderSnapshot(outside.Path()), before);

  // Without the extension root the folder is abandoned at its first panel.
  EXPECT_EQ(Convert(kTaviPanels40, outside.Path(), root / "missing"),
            "FAILURE - The folder '" + (root / "missing").string() +
                "' cannot be created. Please make sure to run the application as "
                "administrator.\n\n");
}

}  // namespace
