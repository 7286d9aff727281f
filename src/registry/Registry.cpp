#include "veltmetadata/Registry.h"

#include <array>

#include "ErrorList.h"
#include "registry/Assert.h"
#include "registry/RegistryState.h"
#include "registry/Toolkit.h"
#include "registry/TypeDefaults.h"

namespace veltmetadata {

namespace registry {

std::atomic<int> sInitializationCount{0};
std::map<UTF8String, std::shared_ptr<SchemaDefinition>> sSchemaDefinitions;
std::map<UTF8String, std::shared_ptr<TypeDefinition>> sTypeDefinitions;
std::map<StandardSchema, UTF8String> sStandardSchemaNamespace;
SchemaDefinitionList sCommonSchemaDefinitions;
SchemaDefinitionList sDynamicSchemaDefinitions;
std::map<std::shared_ptr<SchemaDefinition>, UTF16String> sSchemaFilePaths;
std::map<std::shared_ptr<TypeDefinition>, UTF16String> sTypeFilePaths;
veltcore::utility::ModuleHandle sModuleHandle = nullptr;

void ClearRegistry() {
  sDynamicSchemaDefinitions.clear();
  sCommonSchemaDefinitions.clear();
  sStandardSchemaNamespace.clear();
  sTypeDefinitions.clear();
  sSchemaDefinitions.clear();
  sSchemaFilePaths.clear();
  sTypeFilePaths.clear();
}

}  // namespace registry

namespace {

using registry::sCommonSchemaDefinitions;
using registry::sDynamicSchemaDefinitions;
using registry::sSchemaDefinitions;
using registry::sStandardSchemaNamespace;
using registry::sTypeDefinitions;

constexpr std::array<const char*, kStandardSchemaCount> kStandardSchemaBaseNames = {
    "dc",        "xmp",
    "xmpRights", "xmpMM",
    "xmpBJ",     "xmpTPg",
    "xmpDM",     "xmpPMAssign",
    "xmpPMMemo", "pdf",
    "lumara",    "qmt",
    "exif",      "exifEX",
    "tiff",      "xmpCA",
    "xmpScript", "bext",
    "iptcCore",  "iptcExtension",
    "dicom",     "plus",
    "mobile",    "as11core",
    "as11ukdpp", "as11structural",
    "iXML",      "zpx"};

void Report(const char* zstring, const std::vector<UTF8String>& args,
            const UTF8String& sourceFile) {
  SendError(kDefinitionRegistrationError, ErrorDetail(zstring, args), sourceFile);
}

bool RegisterNamespaceReporting(const UTF8String& namespaceURI, const UTF8String& prefix,
                                const UTF8String& sourceFile) {
  if (toolkit::RegisterNamespace(namespaceURI, prefix)) return true;
  Report(errors::kNamespaceRegistration, {namespaceURI, prefix}, sourceFile);
  return false;
}

// Adds the properties of `schema` that the registered `target` lacks; reports the others.
// Holds its own reference: a subscriber called by a report may remove the schema.
void MergeInto(std::shared_ptr<SchemaDefinition> target, const SchemaDefinition& schema,
               const UTF8String& sourceFile) {
  SchemaDefinition& registered = *target;
  for (const auto& property : schema.mProperties) {
    if (!property) continue;
    if (PropertyNameDefinition(target, property->mName)) {
      Report(errors::kDuplicatePropertyDefinition, {registered.mNamespace, property->mName},
             sourceFile);
      continue;
    }
    registered.mProperties.push_back(property);
    registry::ApplyTypeDefaults(*property, registered.mPrefix, sourceFile);
  }
}

SchemaDefinitionRange RangeOf(const SchemaDefinitionList& list) {
  return {list.cbegin(), list.cend()};
}

}  // namespace

UTF8String StandardSchemaBaseName(StandardSchema schema) {
  const auto index = static_cast<std::int32_t>(schema);
  if (index < 0 || index >= kStandardSchemaCount) return UTF8String();
  return kStandardSchemaBaseNames[static_cast<std::size_t>(index)];
}

UTF8String StandardSchemaResourceName(StandardSchema schema) {
  const UTF8String base = StandardSchemaBaseName(schema);
  if (base.empty()) {
    VELT_ASSERT(false);
    return UTF8String();
  }
  return base + "_definitions";
}

bool RegisterSchemaDefinition(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition,
                              const UTF8String& sourceFile, bool merge) {
  VELT_CHECK(inSchemaDefinition && registry::Initialized(),
             "inSchemaDefinition && sInitializationCount >= 1");
  if (!inSchemaDefinition || !registry::Initialized()) return false;
  auto& slot = sSchemaDefinitions[inSchemaDefinition->mNamespace];
  if (!slot) {
    slot = inSchemaDefinition;
    RegisterNamespaceReporting(inSchemaDefinition->mNamespace, inSchemaDefinition->mPrefix,
                               sourceFile);
    for (const auto& property : inSchemaDefinition->mProperties) {
      if (property) {
        registry::ApplyTypeDefaults(*property, inSchemaDefinition->mPrefix, sourceFile);
      }
    }
    return true;
  }
  if (!merge) {
    Report(errors::kDuplicateSchemaDefinition, {inSchemaDefinition->mNamespace}, sourceFile);
    return false;
  }
  MergeInto(slot, *inSchemaDefinition, sourceFile);
  return false;
}

bool RegisterTypeDefinition(const std::shared_ptr<TypeDefinition>& inTypeDefinition,
                            const UTF8String& sourceFile) {
  VELT_CHECK(inTypeDefinition && registry::Initialized(),
             "inTypeDefinition && sInitializationCount >= 1");
  if (!inTypeDefinition || !registry::Initialized()) return false;
  TypeDefinition& type = *inTypeDefinition;
  auto& slot = sTypeDefinitions[type.mName];
  if (slot) {
    Report(errors::kDuplicateTypeDefinition, {type.mName}, sourceFile);
    return false;
  }
  slot = inTypeDefinition;
  type.mType = type.mName;
  if (type.mFields.empty() && type.mExtends && !type.mElementType &&
      (PrimitiveTypeIsChoice(*type.mExtends) || PrimitiveTypeIsArray(*type.mExtends))) {
    type.mElementType = kTypeText;
    Report(errors::kInvalidElementTypeInTypeChangedToDefault, {type.mName}, sourceFile);
  }
  for (const auto& field : type.mFields) {
    if (field) registry::ApplyTypeDefaults(*field, field->mPrefix, sourceFile);
  }
  bool result = true;
  for (const auto& field : type.mFields) {
    if (!result) break;
    if (field) result = RegisterNamespaceReporting(field->mNamespace, field->mPrefix, sourceFile);
  }
  if (!result) {
    // Not registered after all; the name stays free for a corrected type.
    sTypeDefinitions[type.mName] = nullptr;
    Report(errors::kInvalidType, {type.mName}, sourceFile);
  }
  return result;
}

bool RemoveSchemaDefinition(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition) {
  VELT_CHECK(inSchemaDefinition && registry::Initialized(),
             "inSchemaDefinition && sInitializationCount >= 1");
  if (!inSchemaDefinition || !registry::Initialized()) return false;
  auto& schemas = sSchemaDefinitions;
  const auto it = schemas.find(inSchemaDefinition->mNamespace);
  if (it == schemas.end() || !it->second) return false;
  schemas.erase(it);
  return true;
}

bool RemoveTypeDefinition(const std::shared_ptr<TypeDefinition>& inTypeDefinition) {
  VELT_CHECK(inTypeDefinition && registry::Initialized(),
             "inTypeDefinition && sInitializationCount >= 1");
  if (!inTypeDefinition || !registry::Initialized()) return false;
  auto& types = sTypeDefinitions;
  const auto it = types.find(inTypeDefinition->mName);
  if (it == types.end() || !it->second) return false;
  types.erase(it);
  return true;
}

bool IsSchemaDefinitionAlreadyRegistered(
    const std::shared_ptr<SchemaDefinition>& inSchemaDefinition) {
  VELT_CHECK(inSchemaDefinition, "inSchemaDefinition");
  if (!inSchemaDefinition) return false;
  const auto it = sSchemaDefinitions.find(inSchemaDefinition->mNamespace);
  return it != sSchemaDefinitions.end() && it->second;
}

std::shared_ptr<SchemaDefinition> NamespaceDefinition(const UTF8String& namespaceURI) {
  VELT_CHECK(registry::Initialized(), "sInitializationCount >= 1");
  if (!registry::Initialized()) return nullptr;
  const auto& schemas = sSchemaDefinitions;
  const auto it = schemas.find(namespaceURI);
  return it == schemas.end() ? nullptr : it->second;
}

std::shared_ptr<TypeDefinition> TypeIdDefinition(const UTF8String& typeId) {
  VELT_CHECK(registry::Initialized(), "sInitializationCount >= 1");
  if (!registry::Initialized()) return nullptr;
  const auto& types = sTypeDefinitions;
  const auto it = types.find(typeId);
  return it == types.end() ? nullptr : it->second;
}

UTF8String StandardSchemaNamespace(StandardSchema schema) {
  VELT_CHECK(registry::Initialized(), "sInitializationCount >= 1");
  if (!registry::Initialized()) return UTF8String();
  const auto it = sStandardSchemaNamespace.find(schema);
  VELT_CHECK(it != sStandardSchemaNamespace.end(), "it != sStandardSchemaNamespace.end()");
  return it == sStandardSchemaNamespace.end() ? UTF8String() : it->second;
}

SchemaDefinitionRange CommonSchemaDefinitions() {
  VELT_CHECK(registry::Initialized() && !sCommonSchemaDefinitions.empty(),
             "sInitializationCount >= 1 && !sCommonSchemaDefinitions.empty()");
  return RangeOf(sCommonSchemaDefinitions);
}

SchemaDefinitionRange DynamicSchemaDefinitions() {
  VELT_CHECK(registry::Initialized() && !sDynamicSchemaDefinitions.empty(),
             "sInitializationCount >= 1 && !sDynamicSchemaDefinitions.empty()");
  return RangeOf(sDynamicSchemaDefinitions);
}

SchemaDefinitionList AllSchemaDefinitions() {
  SchemaDefinitionList result;
  for (const auto& [name, schema] : sSchemaDefinitions) {
    if (schema) result.push_back(schema);
  }
  return result;
}

TypeDefinitionList AllTypeDefinitions() {
  TypeDefinitionList result;
  for (const auto& [name, type] : sTypeDefinitions) {
    if (type) result.push_back(type);
  }
  return result;
}

}  // namespace veltmetadata
