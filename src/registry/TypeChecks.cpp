#include "veltmetadata/TypeChecks.h"

#include "ErrorList.h"
#include "registry/TypeDefaults.h"
#include "veltcore/Debug.h"

namespace veltmetadata {

namespace {

bool IsChoiceOrArray(const std::optional<PrimitiveType>& type) {
  return type && (PrimitiveTypeIsChoice(*type) || PrimitiveTypeIsArray(*type));
}

void Report(const char* zstring, const std::vector<UTF8String>& args,
            const UTF8String& sourceFile) {
  SendError(kDefinitionRegistrationError, ErrorDetail(zstring, args), sourceFile);
}

// Checks one property or field that has a type; `prefix` names it in reports.
void CheckValidType(const EntryDefinition& entry, const UTF8String& prefix,
                    const UTF8String& sourceFile) {
  const auto primitive = PrimitiveTypeOf(entry);
  if (IsChoiceOrArray(primitive)) {
    auto element_type = entry.mElementType ? entry.mElementType : ElementTypeIdOf(*entry.mType);
    VELT_ASSERT(element_type);
    if (!element_type) return;
    if (!TypeIdDefinition(*element_type)) {
      Report(errors::kInvalidElementType, {prefix, entry.mName, *element_type}, sourceFile);
    }
    return;
  }
  if (!TypeIdDefinition(*entry.mType)) {
    Report(errors::kFieldInvalidType, {prefix, entry.mName, *entry.mType}, sourceFile);
  }
}

}  // namespace

namespace registry {

void ApplyTypeDefaults(EntryDefinition& entry, const UTF8String& prefix,
                       const UTF8String& sourceFile) {
  if (!entry.mType) {
    entry.mType = kTypeText;
    Report(errors::kInvalidTypeChangedToDefault, {prefix, entry.mName}, sourceFile);
    return;
  }
  if (!IsChoiceOrArray(PrimitiveTypeOf(entry)) || entry.mElementType) return;
  // A registered type such as "langalt" supplies the element type itself.
  const auto type = TypeIdDefinition(*entry.mType);
  if (type && !type->mElementType) {
    entry.mElementType = kTypeText;
    Report(errors::kInvalidElementTypeChangedToDefault, {prefix, entry.mName}, sourceFile);
  }
}

}  // namespace registry

bool CheckFieldTypes(const TypeDefinitionList& types, const UTF8String& sourceFile) {
  for (const auto& type : types) {
    if (!type) continue;
    if (!type->mFields.empty() || !type->mExtends) {
      for (const auto& field : type->mFields) {
        if (field && field->mType) CheckValidType(*field, field->mPrefix, sourceFile);
      }
      continue;
    }
    if (IsChoiceOrArray(type->mExtends)) {
      const UTF8String element_type = type->mElementType.value_or(UTF8String());
      if (!TypeIdDefinition(element_type)) {
        Report(errors::kInvalidElementTypeInType, {type->mName, element_type}, sourceFile);
      }
    }
  }
  return true;
}

bool CheckPropertyTypes(const SchemaDefinitionList& schemas, const UTF8String& sourceFile) {
  for (const auto& schema : schemas) {
    if (!schema) continue;
    for (const auto& property : schema->mProperties) {
      if (property && property->mType) CheckValidType(*property, schema->mPrefix, sourceFile);
    }
  }
  return true;
}

}  // namespace veltmetadata
