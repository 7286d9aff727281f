#include "veltmetadata/Definitions.h"

#include <array>
#include <tuple>

#include "veltcore/Debug.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {

namespace {

constexpr std::array<const char*, 9> kPrimitiveTypeIds = {
    "integer", "real", "text", "boolean", "openchoice", "closedchoice", "bag", "seq", "alt"};

bool IsChoiceOrArray(const std::optional<PrimitiveType>& type) {
  return type && (PrimitiveTypeIsChoice(*type) || PrimitiveTypeIsArray(*type));
}

}  // namespace

bool Date::operator==(const Date& other) const {
  return std::tie(mYear, mMonth, mDay, mHour, mMinute, mSecond) ==
         std::tie(other.mYear, other.mMonth, other.mDay, other.mHour, other.mMinute, other.mSecond);
}

bool Date::operator<(const Date& other) const {
  return std::tie(mYear, mMonth, mDay, mHour, mMinute, mSecond) <
         std::tie(other.mYear, other.mMonth, other.mDay, other.mHour, other.mMinute, other.mSecond);
}

UTF8String PrimitiveTypeAsPrimitiveTypeId(PrimitiveType type) {
  const auto index = static_cast<std::int32_t>(type);
  if (index < 0 || index >= static_cast<std::int32_t>(kPrimitiveTypeIds.size())) {
    VELT_ASSERT(false);
    return UTF8String();
  }
  return kPrimitiveTypeIds[static_cast<std::size_t>(index)];
}

std::optional<PrimitiveType> PrimitiveTypeIdAsPrimitiveType(const UTF8String& id) {
  for (std::size_t i = 0; i < kPrimitiveTypeIds.size(); ++i) {
    if (id == kPrimitiveTypeIds[i]) return static_cast<PrimitiveType>(i);
  }
  return std::nullopt;
}

bool IsTypeSimpleScalar(PrimitiveType type) {
  return type >= kPrimitiveType_Integer && type <= kPrimitiveType_Boolean;
}

bool PrimitiveTypeIsSimple(PrimitiveType type) {
  return IsTypeSimpleScalar(type);
}

bool PrimitiveTypeIsChoice(PrimitiveType type) {
  return type == kPrimitiveType_OpenChoice || type == kPrimitiveType_ClosedChoice;
}

bool PrimitiveTypeIsArray(PrimitiveType type) {
  return type == kPrimitiveType_Bag || type == kPrimitiveType_Seq || type == kPrimitiveType_Alt;
}

bool IsTypeContainer(PrimitiveType type) {
  return PrimitiveTypeIsChoice(type) || type == kPrimitiveType_Alt;
}

std::optional<PrimitiveType> PrimitiveTypeOf(const UTF8String& typeId) {
  if (auto primitive = PrimitiveTypeIdAsPrimitiveType(typeId)) return primitive;
  if (auto type = TypeIdDefinition(typeId)) return type->mExtends;
  return std::nullopt;
}

std::optional<PrimitiveType> PrimitiveTypeOf(const EntryDefinition& inDefinition) {
  VELT_ASSERT(inDefinition.mType);
  if (!inDefinition.mType) return std::nullopt;
  return PrimitiveTypeOf(*inDefinition.mType);
}

std::optional<PrimitiveType> PrimitiveTypeOf(const TypeDefinition& inTypeDefinition) {
  VELT_ASSERT(inTypeDefinition.mType);
  if (!inTypeDefinition.mType) return std::nullopt;
  if (auto primitive = PrimitiveTypeIdAsPrimitiveType(*inTypeDefinition.mType)) return primitive;
  return inTypeDefinition.mExtends;
}

std::optional<UTF8String> ElementTypeIdOf(const TypeDefinition& type) {
  if (!type.mFields.empty() || !IsChoiceOrArray(type.mExtends)) return std::nullopt;
  return type.mElementType;
}

std::optional<UTF8String> ElementTypeIdOf(const UTF8String& typeId) {
  if (auto type = TypeIdDefinition(typeId)) return ElementTypeIdOf(*type);
  return std::nullopt;
}

std::optional<UTF8String> ElementTypeIdOf(const EntryDefinition& entry) {
  if (!IsChoiceOrArray(PrimitiveTypeOf(entry))) return std::nullopt;
  if (entry.mElementType) return entry.mElementType;
  if (entry.mType) return ElementTypeIdOf(*entry.mType);
  return std::nullopt;
}

std::shared_ptr<TypeDefinition> PropertyTypeOf(const EntryDefinition& entry) {
  if (auto elementType = ElementTypeIdOf(entry)) {
    if (auto type = TypeIdDefinition(*elementType)) return type;
  }
  if (entry.mType) return TypeIdDefinition(*entry.mType);
  return nullptr;
}

bool IsArrayType(const TypeDefinition& type) {
  const auto primitive = PrimitiveTypeOf(type);
  return primitive && PrimitiveTypeIsArray(*primitive);
}

bool IsArrayType(const UTF8String& typeId) {
  const auto primitive = PrimitiveTypeOf(typeId);
  return primitive && PrimitiveTypeIsArray(*primitive);
}

bool IsStructType(const TypeDefinition& type) {
  return !type.mFields.empty();
}

bool IsStructType(const UTF8String& typeId) {
  return !PrimitiveTypeOf(typeId).has_value();
}

bool IsSimpleType(const TypeDefinition& type) {
  const auto primitive = PrimitiveTypeOf(type);
  if (!primitive) return false;
  if (IsTypeSimpleScalar(*primitive)) return true;
  if (!PrimitiveTypeIsChoice(*primitive)) return false;
  return type.mElementType && IsSimpleType(*type.mElementType);
}

bool IsSimpleType(const UTF8String& typeId) {
  const auto primitive = PrimitiveTypeOf(typeId);
  if (!primitive) return false;
  if (IsTypeSimpleScalar(*primitive)) return true;
  if (!PrimitiveTypeIsChoice(*primitive)) return false;
  const auto type = TypeIdDefinition(typeId);
  if (!type) return false;
  // The registered "openchoice" and "closedchoice" themselves extend nothing.
  if (!type->mExtends) return true;
  if (type->mElementType) return IsSimpleType(*type->mElementType);
  return false;
}

bool IsElementSimpleScalar(const UTF8String& typeId) {
  const auto primitive = PrimitiveTypeIdAsPrimitiveType(typeId);
  return primitive && IsTypeSimpleScalar(*primitive);
}

bool IsElementExtensionOfSimpleScalar(const UTF8String& typeId) {
  const auto definition = TypeIdDefinition(typeId);
  VELT_ASSERT(definition);
  if (!definition) return false;
  return definition->mExtends && IsTypeSimpleScalar(*definition->mExtends);
}

bool DoesElementConformToContainer(const UTF8String& elementTypeId) {
  if (IsElementSimpleScalar(elementTypeId)) return true;
  // Dates extend text but are edited as dates, never as one entry of a list.
  if (elementTypeId == "date") return false;
  return IsElementExtensionOfSimpleScalar(elementTypeId);
}

std::shared_ptr<PropertyDefinition> PropertyNameDefinition(
    const std::shared_ptr<SchemaDefinition>& inSchemaDefinition, const UTF8String& name) {
  VELT_ASSERT(inSchemaDefinition);
  if (!inSchemaDefinition) return nullptr;
  for (const auto& property : inSchemaDefinition->mProperties) {
    if (property && property->mName == name) return property;
  }
  return nullptr;
}

std::shared_ptr<FieldDefinition> FieldNameDefinition(
    const std::shared_ptr<TypeDefinition>& inTypeDefinition, const UTF8String& name) {
  VELT_ASSERT(inTypeDefinition);
  if (!inTypeDefinition) return nullptr;
  for (const auto& field : inTypeDefinition->mFields) {
    if (field && field->mName == name) return field;
  }
  return nullptr;
}

}  // namespace veltmetadata
