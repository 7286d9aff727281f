#include "registry/Loading.h"

#include "registry/Assert.h"
#include "registry/RegistryState.h"
#include "veltcore/Localizer.h"
#include "veltcore/Resources.h"
#include "veltmetadata/Directories.h"
#include "veltmetadata/Namespaces.h"

namespace veltmetadata::registry {

namespace {

using veltcore::filesupport::Dir;
using veltcore::filesupport::File;
using veltcore::string::UTF16to8;
using veltcore::string::UTF8to16;

constexpr const char* kBaseResources[] = {"primitive_type_definitions",
                                          "constructed_type_definitions", "aux_definitions",
                                          "orvane_definitions"};

// The machine-wide folder holds copies of the built-in DICOM and mobile schemas that older
// installers left behind; they would only be refused as duplicates.
bool IsInstallerCopy(const UTF16String& name) {
  return name == u"DICOM.xml" || name == u"Mobile.xml";
}

// Loads "<title>_<language>.dat" of the folder's "loc" sub-folder, when there is one.
void LoadDictionaryFor(const File& file, const Dir& folder) {
  const Dir loc = folder.SubDir("loc");
  if (!loc.Exists()) return;
  const UTF16String name =
      file.GetTitle() + u"_" + UTF8to16(veltcore::Locale::ApplicationLanguage()) + u".dat";
  const File dictionary = loc.GetFile(name);
  if (dictionary.Exists()) veltcore::config::Localizer::Get().LoadDictionary(dictionary.FullPath());
}

}  // namespace

void LoadAllDefinitions() {
  for (const char* name : kBaseResources)
    LoadDefinitionsFromResource(UTF8to16(name));
  for (int s = 0; s < kStandardSchemaCount; ++s) {
    LoadStandardSchemaDefinition(static_cast<StandardSchema>(s));
  }
  LoadCustomDefinitionsFolder(Dir(CustomDefinitionsGlobalDirectory()), &IsInstallerCopy);
  LoadCustomDefinitionsFolder(Dir(CustomDefinitionsUserDirectory()));
}

DefinitionsPair LoadDefinitionsFromResource(const UTF16String& name) {
  std::string buffer;
  veltcore::utility::GetBinaryFromModule(sModuleHandle, u"xml", name, buffer);
  VELT_CHECK(!buffer.empty(), "!buffer.empty()");
  if (buffer.empty()) return DefinitionsPair();
  return ParseBufferAndRegisterDefinitions(buffer, UTF16to8(name), false);
}

void LoadStandardSchemaDefinition(StandardSchema inStandardSchema) {
  const UTF8String resource = StandardSchemaResourceName(inStandardSchema);
  if (resource.empty()) return;
  const DefinitionsPair definitions = LoadDefinitionsFromResource(UTF8to16(resource));
  const bool valid =
      definitions.first.size() == 1 && definitions.first.front() &&
      sStandardSchemaNamespace.find(inStandardSchema) == sStandardSchemaNamespace.end();
  VELT_CHECK(valid,
             "definitions.first.size() == 1 && definitions.first.front() && "
             "sStandardSchemaNamespace.find(inStandardSchema) == sStandardSchemaNamespace.end()");
  if (!valid) return;
  const auto& record = definitions.first.front();
  record->mCustom = false;
  sStandardSchemaNamespace[inStandardSchema] = record->mNamespace;
  (record->mDynamic ? sDynamicSchemaDefinitions : sCommonSchemaDefinitions).push_back(record);
}

void LoadCustomDefinitionsFolder(const Dir& folder,
                                 const std::function<bool(const UTF16String&)>& skip) {
  if (!folder.Exists()) return;
  for (const File& file : folder.Files()) {
    if (file.GetExtension() != u".xml") continue;
    if (skip && skip(file.GetName())) continue;
    LoadDictionaryFor(file, folder);
    LoadDefinitionsFile(file, DefinitionsSource::kCustomFolder);
  }
}

void LoadDefinitionsFile(const File& file, DefinitionsSource source) {
  const bool fromCustomFolder = source == DefinitionsSource::kCustomFolder;
  const DefinitionsPair definitions =
      ParseDocumentAndRegisterDefinitions(file.FullPathUTF8(), !fromCustomFolder);
  const UTF16String path = file.FullPath();
  for (const auto& schema : definitions.first) {
    if (!schema) continue;
    if (schema->mDynamic) {
      schema->mCustom = false;
      sDynamicSchemaDefinitions.push_back(schema);
    }
    sSchemaFilePaths[schema] = path;
    if (schema->mNamespace == kDicomNamespace || schema->mNamespace == kSwfNamespace ||
        !fromCustomFolder) {
      schema->mCustom = false;
    }
  }
  for (const auto& type : definitions.second) {
    if (type) sTypeFilePaths[type] = path;
  }
}

}  // namespace veltmetadata::registry
