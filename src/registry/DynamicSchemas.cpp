#include "veltmetadata/DynamicSchemas.h"

#include "registry/RegistryState.h"
#include "veltmetadata/Namespaces.h"

namespace veltmetadata {

UTF8String MakeDynamicSchemaNamespace(const UTF8String& name) {
  UTF8String trimmed = name;
  if (!trimmed.empty() && trimmed.front() == '/') trimmed.erase(0, 1);
  if (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
  return UTF8String(kDynamicNamespaceBase) + trimmed + "/1.0/";
}

bool IsDynamicNamespace(const UTF8String& namespaceURI) {
  return namespaceURI.find(kDynamicNamespaceBase) != UTF8String::npos;
}

std::shared_ptr<SchemaDefinition> CreateNewSchema(const UTF8String& namespaceURI,
                                                  const UTF8String& prefix,
                                                  const UTF16String& labelZString,
                                                  const UTF16String& label,
                                                  const UTF16String& descriptionZString,
                                                  const UTF16String& description) {
  auto schema = std::make_shared<SchemaDefinition>();
  schema->mNamespace = namespaceURI;
  schema->mPrefix = prefix;
  schema->mLabelZString = labelZString;
  schema->mLabel = label;
  schema->mDescriptionZString = descriptionZString;
  schema->mDescription = description;
  return schema;
}

std::shared_ptr<PropertyDefinition> CreateNewProperty(PrimitiveType type, const UTF8String& name,
                                                      const UTF16String& labelZString,
                                                      const UTF16String& label,
                                                      const UTF16String& descriptionZString,
                                                      const UTF16String& description) {
  auto property = std::make_shared<PropertyDefinition>();
  property->mType = PrimitiveTypeAsPrimitiveTypeId(type);
  property->mName = name;
  property->mLabelZString = labelZString;
  property->mLabel = label;
  property->mDescriptionZString = descriptionZString;
  property->mDescription = description;
  return property;
}

void SetFilePathForSchema(const UTF16String& path, std::shared_ptr<SchemaDefinition> schema) {
  registry::sSchemaFilePaths[std::move(schema)] = path;
}

UTF16String filePathForSchema(std::shared_ptr<SchemaDefinition> schema) {
  const auto& paths = registry::sSchemaFilePaths;
  const auto it = paths.find(schema);
  return it == paths.end() ? UTF16String() : it->second;
}

namespace {

template <class Record>
std::vector<std::shared_ptr<Record>> RecordsOf(
    const std::map<std::shared_ptr<Record>, UTF16String>& paths, const UTF16String& path) {
  std::vector<std::shared_ptr<Record>> result;
  for (const auto& [record, recorded] : paths) {
    if (recorded == path) result.push_back(record);
  }
  return result;
}

}  // namespace

std::vector<std::shared_ptr<SchemaDefinition>> allSchemasFromSourceFile(const UTF16String& path) {
  return RecordsOf(registry::sSchemaFilePaths, path);
}

std::vector<std::shared_ptr<TypeDefinition>> allTypesFromSourceFile(const UTF16String& path) {
  return RecordsOf(registry::sTypeFilePaths, path);
}

}  // namespace veltmetadata
