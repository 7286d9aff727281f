// Conversion of legacy generic panel folders into extension packages.
#include <filesystem>
#include <set>

#include "packages/PackagePaths.h"
#include "veltcore/Files.h"
#include "veltmetadata/DefinitionsParser.h"
#include "veltmetadata/DefinitionsWriter.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/GenericPanels.h"
#include "veltmetadata/ViewDefinitionsFile.h"

namespace veltmetadata::utility {

namespace {

using veltcore::filesupport::Dir;
using veltcore::filesupport::File;
using veltcore::filesupport::FileUtils;
using veltcore::string::UTF16to8;
using ManifestInfo = GenericPanelManifestParser::ManifestInfo;
using packages::IsPlainFileName;
using packages::StaysInside;
namespace fs = std::filesystem;

constexpr const char16_t* kGenericPanelClass = u"examples.panels.generic.GenericPanel";

// Anything at the path, a dangling link included.
bool Occupied(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// Copies the panel's schema records keeping only what a package must add: every property of
// a namespace nobody registered; of a registered namespace only the properties it lacks.
// Names holding "/" are never kept; schemas of one namespace merge into the first, a name
// being kept once.
SchemaDefinitionList KeptSchemas(const SchemaDefinitionList& schemas) {
  SchemaDefinitionList kept;
  std::map<UTF8String, std::set<UTF8String>> names;
  for (const auto& schema : schemas) {
    if (!schema) continue;
    const auto registered = IsSchemaDefinitionAlreadyRegistered(schema)
                                ? NamespaceDefinition(schema->mNamespace)
                                : nullptr;
    std::vector<std::shared_ptr<PropertyDefinition>> properties;
    for (const auto& property : schema->mProperties) {
      if (!property || property->mName.find('/') != UTF8String::npos) continue;
      if (registered && PropertyNameDefinition(registered, property->mName)) continue;
      properties.push_back(property);
    }
    if (properties.empty()) continue;
    auto target = std::find_if(kept.begin(), kept.end(),
                               [&](const auto& k) { return k->mNamespace == schema->mNamespace; });
    if (target == kept.end()) {
      auto copy = std::make_shared<SchemaDefinition>(*schema);
      copy->mProperties.clear();
      kept.push_back(copy);
      target = kept.end() - 1;
    }
    auto& seen = names[schema->mNamespace];
    for (auto& property : properties) {
      if (seen.insert(property->mName).second) (*target)->mProperties.push_back(property);
    }
  }
  return kept;
}

class FolderConversion {
 public:
  FolderConversion(TaviVersion version, const Dir& panels, const Dir& root, UTF16String& report)
      : mVersion(version), mPanels(panels), mRoot(root), mReport(report) {}

  void Run() {
    bool found = false;
    if (mPanels.Exists()) {
      for (const Dir& panel : mPanels.SubDirs()) {
        if (!ConvertPanel(panel, found)) break;
      }
    }
    if (!found) {
      Info(u"No Generic Panels found in folder '" + mPanels.FullPath() + u"' to convert.");
    }
  }

 private:
  void Entry(const char16_t* status, const UTF16String& text) {
    mReport += status;
    mReport += text;
    mReport += u"\n\n";
  }
  void Info(const UTF16String& text) { Entry(u"INFO - ", text); }
  void Success(const UTF16String& text) { Entry(u"SUCCESS - ", text); }
  void Failure(const Dir& panel, const UTF16String& text) {
    Entry(u"FAILURE - ", u"Cannot convert '" + panel.FullPath() + u"'. " + text);
  }
  void Outside(const Dir& panel, const fs::path& path) {
    Failure(panel, u"'" + veltcore::filesupport::ToUTF16(path) +
                       u"' leads outside the panel folder and is not read.");
  }

  bool IsGeneric(const ManifestInfo& info) const {
    switch (mVersion) {
      case kTaviPanels40:
        return info.type == u"generic";
      case kTaviPanels30:
      case kTaviPanels20:
        return info.panelLibrary == u"generic" && info.panelClass == kGenericPanelClass;
      default:
        return false;
    }
  }

  // Converts one sub-folder; false stops the whole folder (no extension root).
  bool ConvertPanel(const Dir& panel, bool& found) {
    const File manifest = panel.GetFile("manifest.xml");
    if (!manifest.Exists()) return true;
    if (!StaysInside(panel.Path(), mPanels.Path())) {
      Outside(panel, panel.Path());
      return true;
    }
    if (!StaysInside(manifest.Path(), panel.Path())) {
      Outside(panel, manifest.Path());
      return true;
    }
    ManifestInfo info;
    if (!ParseManifestFromDocument(manifest.FullPathUTF8(), info) || !IsGeneric(info) ||
        info.propertyDescriptionFile.empty()) {
      return true;
    }
    for (const UTF16String* value : {&info.propertyDescriptionFile, &info.localizationFile}) {
      if (IsPlainFileName(*value)) continue;
      Failure(panel, u"The manifest value '" + *value + u"' is not a plain file name.");
      return true;
    }
    const File definitionsFile = panel.GetFile(info.propertyDescriptionFile);
    if (!definitionsFile.Exists()) return true;
    if (!StaysInside(definitionsFile.Path(), panel.Path())) {
      Outside(panel, definitionsFile.Path());
      return true;
    }
    found = true;
    DefinitionsPair definitions;
    if (!ParseDocumentForDefinitions(definitionsFile.FullPathUTF8(), definitions)) {
      Failure(panel, u"Found invalid XML in '" + definitionsFile.FullPath() + u"'.");
      return true;
    }
    if (!mRoot.Exists()) {
      Entry(u"FAILURE - ", u"The folder '" + mRoot.FullPath() +
                               u"' cannot be created. Please make sure to run the application "
                               u"as administrator.");
      return false;
    }
    const Dir package = mRoot.SubDir(panel.GetName());
    if (CreatePackageFolders(panel, package) && WritePackage(panel, package, info, definitions)) {
      Success(u"Converted '" + panel.FullPath() + u"' to '" + package.FullPath() + u"'");
    }
    return true;
  }

  bool CreatePackageFolders(const Dir& panel, const Dir& package) {
    if (Occupied(package.Path())) {
      Info(u"Cannot convert '" + panel.FullPath() + u"'. Extension Package folder '" +
           package.FullPath() + u"' already exists.");
      return false;
    }
    if (!FileUtils::EnsureDirectoryExists(package)) {
      Failure(panel, u"Extension Package folder '" + package.FullPath() +
                         u"' cannot be created. Please make sure to run the application as "
                         u"administrator.");
      return false;
    }
    const std::pair<const char*, const char16_t*> subFolders[] = {
        {"schema", u"Schema definition folder '"}, {"view", u"View definition folder '"}};
    for (const auto& [name, what] : subFolders) {
      const Dir folder = package.SubDir(name);
      if (FileUtils::EnsureDirectoryExists(folder)) continue;
      Failure(panel, what + folder.FullPath() + u"' cannot be created.");
      package.Delete();
      return false;
    }
    return true;
  }

  bool WritePackage(const Dir& panel, const Dir& package, ManifestInfo info,
                    const DefinitionsPair& definitions) {
    const File manifest = package.GetFile("manifest.xml");
    if (!WriteExtensionManifest(info, manifest.FullPath()) || !manifest.Exists()) {
      Failure(panel, u"Manifest file '" + manifest.FullPath() + u"' cannot be created.");
      return false;
    }
    const SchemaDefinitionList kept = KeptSchemas(definitions.first);
    if (!kept.empty()) {
      const File schemaFile = package.SubDir("schema").GetFile(info.propertyDescriptionFile);
      if (!WriteSchemaFile({kept, definitions.second}, schemaFile) || !schemaFile.Exists()) {
        Failure(panel,
                u"Schema definition file '" + schemaFile.FullPath() + u"' cannot be created.");
        return false;
      }
    }
    info.name = u"imported_" + info.name;
    const File viewFile = package.SubDir("view").GetFile("view.xml");
    if (!WriteViewDefinitionsFileFromSchema(definitions.first, kept, info,
                                            viewFile.FullPathUTF8()) ||
        !viewFile.Exists()) {
      Failure(panel, u"View definition file '" + viewFile.FullPath() + u"' cannot be created.");
      return false;
    }
    ConvertLocalization(panel, package);
    return true;
  }

  void ConvertLocalization(const Dir& panel, const Dir& package) {
    const Dir source = panel.SubDir("loc");
    const std::vector<File> files = source.Files();
    if (files.empty()) return;
    if (!StaysInside(source.Path(), panel.Path())) {
      Outside(panel, source.Path());
      return;
    }
    const Dir target = package.SubDir("loc");
    if (!FileUtils::EnsureDirectoryExists(target)) {
      Failure(panel, u"Localization folder '" + target.FullPath() + u"' cannot be created.");
      return;
    }
    for (const File& file : files) {
      if (!StaysInside(file.Path(), panel.Path())) {
        Outside(panel, file.Path());
        continue;
      }
      const File dict = target.GetFile(file.GetTitle() + u".dict");
      if (!ConvertDictionary(file, dict)) {
        Failure(panel, u"Localization file '" + dict.FullPath() + u"' cannot be converted.");
      }
    }
    if (target.Files().empty() && target.SubDirs().empty()) target.Delete();
  }

  // A UTF-8 text file becomes UTF-16 behind the unit 0xFFFE. The stream writes that unit
  // little-endian, giving the bytes FE FF: the byte-order mark of big-endian text, so the
  // text follows big-endian. A file that is not UTF-8 is copied as it is.
  static bool ConvertDictionary(const File& from, const File& to) {
    const auto bytes = FileUtils::ReadFile(from);
    if (!bytes) return false;
    UTF16String text;
    const int result = veltcore::string::UTF8to16(*bytes, text);
    if (result == veltcore::string::kConversionTruncated ||
        result == veltcore::string::kConversionSurrogate ||
        result == veltcore::string::kConversionInvalidUTF8) {
      return FileUtils::Copy(from, to);
    }
    if (result != veltcore::string::kConversionOK) return false;
    veltcore::filesupport::OPlatformByteStream out(to);
    if (!out.IsOpen()) return false;
    out << std::uint16_t{0xFFFE};
    std::string big;
    big.reserve(text.size() * 2);
    for (const char16_t unit : text) {
      big += static_cast<char>(unit >> 8);
      big += static_cast<char>(unit & 0xFF);
    }
    return out.Write(big.data(), big.size()) && out.Flush();
  }

  TaviVersion mVersion;
  Dir mPanels;
  Dir mRoot;
  UTF16String& mReport;
};

}  // namespace

void ConvertGenericPanelsFolder(TaviVersion version, const UTF16String& folder,
                                const UTF16String& root, UTF16String& report) {
  FolderConversion(version, Dir(folder), Dir(root), report).Run();
}

void LoadAndConvertGenericPanels(TaviVersion version, UTF16String& report) {
  const UTF16String user = PanelsDefinitionsUserDirectory(version);
  if (!user.empty()) {
    ConvertGenericPanelsFolder(version, user,
                               veltcore::string::UTF8to16(CustomExtensionsUserDirectory()), report);
  }
  const UTF16String machine = PanelsDefinitionsGlobalDirectory(version);
  if (!machine.empty()) {
    ConvertGenericPanelsFolder(
        version, machine, veltcore::string::UTF8to16(CustomExtensionsGlobalDirectory()), report);
  }
}

}  // namespace veltmetadata::utility
