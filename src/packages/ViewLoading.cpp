// Loading the built-in views and the extension packages.
#include <algorithm>
#include <filesystem>

#include "ErrorList.h"
#include "packages/PackagePaths.h"
#include "registry/Assert.h"
#include "registry/LifecycleHooks.h"
#include "registry/Loading.h"
#include "registry/RegistryState.h"
#include "veltcore/Files.h"
#include "veltcore/Localizer.h"
#include "veltcore/Resources.h"
#include "veltmetadata/Directories.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/ViewDefinitionsFile.h"
#include "views/ViewList.h"

namespace veltmetadata {

namespace {

using veltcore::filesupport::Dir;
using veltcore::filesupport::File;
using veltcore::string::UTF16to8;
using veltcore::string::UTF8to16;
namespace fs = std::filesystem;

constexpr const char* kSameVersions =
    "$$$/veltmetadata/ExtensionPackages/DuplicateExtensionPackage/SameVersions=extension "
    "package with name #{quot}@0#{quot} already exists.";
constexpr const char* kDifferentVersions =
    "$$$/veltmetadata/ExtensionPackages/DuplicateExtensionPackage/DifferentVersions=extension "
    "package with name #{quot}@0#{quot} already exists. Package with lower version number "
    "#{quot}@1#{quot} will be ignored.";
constexpr const char* kPathOutsidePackage =
    "$$$/veltmetadata/ErrorInManifestParser/PathOutsidePackage=#{quot}@0#{quot} leads outside "
    "the extension package and is not read.";

// One entry of the package list.
struct PackageRecord {
  UTF8String mPath;  // the package folder
  UTF16String mName;
  float mVersion = 0;
  UTF16String mLocFilePrefix;
};

std::vector<PackageRecord>& PackageList() {
  static std::vector<PackageRecord> packages;
  return packages;
}

const lifecycle::ParticipantRegistrar kPackagesParticipant{{"extension packages",
                                                            60,
                                                            {},
                                                            [] { PackageList().clear(); },
                                                            lifecycle::kStopExtensionPackages}};

void ReportManifest(const char* zstring, const UTF8String& file,
                    const std::vector<UTF8String>& args = {}) {
  SendError(kExtensionManifestParsingError, ErrorDetail(zstring, args), file);
}

// Refuses, with a report, a path that leads outside `folder`.
bool Contained(const fs::path& path, const fs::path& folder) {
  if (packages::StaysInside(path, folder)) return true;
  ReportManifest(kPathOutsidePackage, UTF16to8(veltcore::filesupport::ToUTF16(folder)),
                 {UTF16to8(veltcore::filesupport::ToUTF16(path))});
  return false;
}

UTF8String VersionText(float version) {
  return veltcore::string::NumberToUTF8String(version, 1, 1, 1, 31);
}

void ReportDuplicate(const char* zstring, const PackageRecord& record,
                     const std::vector<UTF8String>& args) {
  SendError(kExtensionPackageRegistrationError, ErrorDetail(zstring, args), record.mPath);
}

void AddPackage(PackageRecord record) {
  auto& packages = PackageList();
  const auto existing = std::find_if(packages.begin(), packages.end(), [&](const PackageRecord& e) {
    return e.mName == record.mName;
  });
  if (existing == packages.end()) {
    packages.push_back(std::move(record));
    return;
  }
  const UTF8String name = UTF16to8(record.mName);
  if (existing->mVersion == record.mVersion) {
    ReportDuplicate(kSameVersions, *existing, {name});
  } else if (existing->mVersion < record.mVersion) {
    ReportDuplicate(kDifferentVersions, *existing, {name, VersionText(existing->mVersion)});
    packages.erase(existing);
    packages.push_back(std::move(record));
  } else {
    ReportDuplicate(kDifferentVersions, record, {name, VersionText(record.mVersion)});
  }
}

void ScanExtensionRoot(const Dir& root) {
  if (!root.Exists()) return;
  for (const Dir& folder : root.SubDirs()) {
    if (!Contained(folder.Path(), root.Path())) continue;
    const File manifest = folder.GetFile("manifest.xml");
    if (!manifest.Exists()) {
      ReportManifest(errors::kMissingManifest, manifest.FullPathUTF8());
      continue;
    }
    if (!Contained(manifest.Path(), folder.Path())) continue;
    ExtensionManifestParser::ManifestInfo info;
    if (!ParseExtensionManifestFromDocument(manifest.FullPathUTF8(), info)) continue;
    if (!packages::IsPlainFileName(info.locFilePrefix)) {
      ReportManifest(kPathOutsidePackage, manifest.FullPathUTF8(), {UTF16to8(info.locFilePrefix)});
      continue;
    }
    bool isNumber = false;
    double version = veltcore::string::StringToNumber(
        std::u16string_view(info.version), veltcore::string::kParseAllowBlanks, &isNumber);
    if (!isNumber) version = 0;
    AddPackage({folder.FullPathUTF8(), info.name, static_cast<float>(version), info.locFilePrefix});
  }
}

// The ".xml" files of a package sub-folder that stay inside the package.
std::vector<File> PackageFiles(const Dir& package, const char* name) {
  std::vector<File> files;
  const Dir folder = package.SubDir(name);
  if (!folder.Exists() || !Contained(folder.Path(), package.Path())) return files;
  for (const File& file : folder.Files()) {
    if (file.GetExtension() == u".xml" && Contained(file.Path(), package.Path()))
      files.push_back(file);
  }
  return files;
}

void LoadDictionary(const PackageRecord& record, const Dir& package) {
  const Dir loc = package.SubDir("loc");
  if (!loc.Exists()) {
    if (!record.mLocFilePrefix.empty()) ReportManifest(errors::kMissingLocDir, loc.FullPathUTF8());
    return;
  }
  if (!Contained(loc.Path(), package.Path())) return;
  const UTF16String language = UTF8to16(veltcore::Locale::ApplicationLanguage());
  const UTF16String name = record.mLocFilePrefix.empty()
                               ? language + u".dict"
                               : record.mLocFilePrefix + u"_" + language + u".dict";
  const File dictionary = loc.GetFile(name);
  if (dictionary.Exists() && Contained(dictionary.Path(), package.Path()))
    veltcore::config::Localizer::Get().LoadDictionary(dictionary.FullPath());
}

void LoadPackage(const PackageRecord& record) {
  const Dir package{std::string_view(record.mPath)};
  LoadDictionary(record, package);
  const std::vector<File> schemas = PackageFiles(package, "schema");
  for (const File& file : schemas)
    registry::LoadDefinitionsFile(file, registry::DefinitionsSource::kExtensionPackage);
  const std::vector<File> views = PackageFiles(package, "view");
  for (const File& file : views) {
    for (auto& view : ParseViewDefinitionsFromDocument(file.FullPathUTF8()))
      AddViewDefinition(std::move(view), file.FullPath());
  }
  if (schemas.empty() && views.empty()) ReportManifest(errors::kMissingSchemaAndView, record.mPath);
}

void LoadBuiltInViews() {
  const auto module = registry::sModuleHandle;
  for (const UTF16String& name : veltcore::utility::GetResourceNames(module, u"xml")) {
    const UTF8String resource = UTF16to8(name);
    if (!veltcore::string::ToLowerAscii(resource).ends_with("_view")) continue;
    std::string buffer;
    veltcore::utility::GetBinaryFromModule(module, u"xml", name, buffer);
    VELT_CHECK(!buffer.empty(), "!buffer.empty()");
    if (buffer.empty()) continue;
    for (auto& view : ParseViewDefinitionsFromBuffer(buffer, resource))
      AddViewDefinition(std::move(view), name);
  }
}

}  // namespace

void LoadAllViewDefinitions() {
  VELT_CHECK(registry::Initialized(), "sInitializationCount >= 1");
  if (!registry::Initialized() || !views::BeginViewLoad()) return;
  LoadBuiltInViews();
  const Dir machineRoot{std::string_view(CustomExtensionsGlobalDirectory())};
  const Dir userRoot{std::string_view(CustomExtensionsUserDirectory())};
  ScanExtensionRoot(machineRoot);
  // One folder serving as both roots holds each package once, not twice.
  std::error_code ec;
  if (!fs::equivalent(userRoot.Path(), machineRoot.Path(), ec)) ScanExtensionRoot(userRoot);
  const std::vector<PackageRecord> packages = PackageList();
  for (const PackageRecord& record : packages)
    LoadPackage(record);
}

}  // namespace veltmetadata
