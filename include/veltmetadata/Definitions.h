#pragma once

// The definition records: what the library knows about schemas, properties, structure
// fields, qualifiers, named types and choice vocabularies, plus the primitive types and the
// functions that classify type ids and records.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "veltcore/Export.h"
#include "veltcore/StringTypes.h"

namespace veltmetadata {

using veltcore::UTF16String;
using veltcore::UTF8String;

struct PropertyDefinition;
struct FieldDefinition;
struct QualifierDefinition;
struct TypeDefinition;
struct ChoiceDefinition;

// The nine primitive types. The value order is fixed: files, paths and hosts rely on it.
enum PrimitiveType : std::int32_t {
  kPrimitiveType_Integer = 0,
  kPrimitiveType_Real = 1,
  kPrimitiveType_Text = 2,
  kPrimitiveType_Boolean = 3,
  kPrimitiveType_OpenChoice = 4,
  kPrimitiveType_ClosedChoice = 5,
  kPrimitiveType_Bag = 6,
  kPrimitiveType_Seq = 7,
  kPrimitiveType_Alt = 8,
};

// Type ids of the three scalar types most code names directly.
inline const UTF8String kTypeText = "text";
inline const UTF8String kTypeInteger = "integer";
inline const UTF8String kTypeReal = "real";

// One value of a choice vocabulary.
struct VELT_EXPORT ChoiceDefinition {
  UTF8String mRawValue;       // the value stored in XMP
  UTF16String mLabel;         // localised label
  UTF16String mLabelZString;  // label as written in the definitions file
};

// Common part of properties, fields, qualifiers and named types. Default-constructed: all
// strings empty, all optionals absent, both lists empty.
struct VELT_EXPORT EntryDefinition {
  UTF16String mLabel;
  UTF16String mDescription;
  UTF16String mLabelZString;
  UTF16String mDescriptionZString;
  std::optional<UTF8String> mElementType;  // element type id of an array or choice entry
  std::optional<UTF8String> mPattern;      // informative regular expression
  std::optional<double> mMin;
  std::optional<double> mMax;
  std::optional<bool> mDeprecated;
  std::vector<std::shared_ptr<ChoiceDefinition>> mChoices;
  std::vector<std::shared_ptr<QualifierDefinition>> mQualifiers;
  UTF8String mName;                       // local name; for a type, its type id
  std::optional<UTF8String> mType;        // type id of the entry
  std::optional<PrimitiveType> mExtends;  // primitive type a named type extends
};

// Panel hints of a property.
struct VELT_EXPORT PropertyUIHints {
  bool mSeparator = false;  // a separator line follows the property
  bool mMultiLine = false;  // the value is edited in a multi-line field
};

// One property of a schema; it lives in its schema's namespace.
struct VELT_EXPORT PropertyDefinition : EntryDefinition {
  bool mInternal = false;  // category "internal"
  bool mUserFlag = true;   // kept for the host; the library only preserves it
  std::optional<PropertyUIHints> mUIHints;
};

// One field of a structure type, in its own namespace.
struct VELT_EXPORT FieldDefinition : EntryDefinition {
  UTF8String mNamespace;
  UTF8String mPrefix;
};

// One qualifier of a property, field or type, in its own namespace.
struct VELT_EXPORT QualifierDefinition : EntryDefinition {
  UTF8String mNamespace;
  UTF8String mPrefix;
};

// A named type. With at least one field it is a structure type. Once registered, its mType
// equals its mName.
struct VELT_EXPORT TypeDefinition : EntryDefinition {
  std::vector<std::shared_ptr<FieldDefinition>> mFields;
};

// One XMP schema (namespace) with its properties in file order.
struct VELT_EXPORT SchemaDefinition {
  UTF16String mLabel;
  UTF16String mDescription;
  UTF16String mLabelZString;
  UTF16String mDescriptionZString;
  UTF8String mNamespace;  // the registry key
  UTF8String mPrefix;     // preferred prefix
  std::vector<std::shared_ptr<PropertyDefinition>> mProperties;
  bool mCustom = true;    // false for built-in, dynamic and extension-package schemas
  bool mDynamic = false;  // properties are created on demand
};

// A calendar date and time of day. Default: all fields 0.
struct VELT_EXPORT Date {
  std::int32_t mYear = 0;
  std::int32_t mMonth = 0;
  std::int32_t mDay = 0;
  std::int32_t mHour = 0;
  std::int32_t mMinute = 0;
  std::int32_t mSecond = 0;

  // All six fields equal.
  bool operator==(const Date& other) const;
  // Lexicographic over year, month, day, hour, minute, second (signed).
  bool operator<(const Date& other) const;
};

// The type id of a primitive type ("integer" ... "alt"). A value outside the enumeration
// raises an assertion and gives the empty string.
VELT_EXPORT UTF8String PrimitiveTypeAsPrimitiveTypeId(PrimitiveType type);
// The primitive type of an id; exact and case-sensitive, so "Text" or "date" give nothing.
VELT_EXPORT std::optional<PrimitiveType> PrimitiveTypeIdAsPrimitiveType(const UTF8String& id);

// integer, real, text and boolean.
VELT_EXPORT bool IsTypeSimpleScalar(PrimitiveType type);
VELT_EXPORT bool PrimitiveTypeIsSimple(PrimitiveType type);
// openchoice and closedchoice.
VELT_EXPORT bool PrimitiveTypeIsChoice(PrimitiveType type);
// bag, seq and alt.
VELT_EXPORT bool PrimitiveTypeIsArray(PrimitiveType type);
// The types whose value is one item picked from several: both choices and alt.
VELT_EXPORT bool IsTypeContainer(PrimitiveType type);

// The primitive type behind an id: the id itself when primitive, else the mExtends of the
// registered type of that id; absent when there is neither.
VELT_EXPORT std::optional<PrimitiveType> PrimitiveTypeOf(const UTF8String& typeId);
// The primitive type behind an entry's mType (assertion and absent when it has no mType).
VELT_EXPORT std::optional<PrimitiveType> PrimitiveTypeOf(const EntryDefinition& entry);
// The primitive type of a type record: its mType when primitive, else its own mExtends
// (assertion and absent when it has no mType).
VELT_EXPORT std::optional<PrimitiveType> PrimitiveTypeOf(const TypeDefinition& type);

// A type's element type id: only for a field-less type that extends a choice or array type.
VELT_EXPORT std::optional<UTF8String> ElementTypeIdOf(const TypeDefinition& type);
// The same rule for the registered type of an id; absent when none is registered.
VELT_EXPORT std::optional<UTF8String> ElementTypeIdOf(const UTF8String& typeId);
// An array or choice entry's element type: its own, else that of its type.
VELT_EXPORT std::optional<UTF8String> ElementTypeIdOf(const EntryDefinition& entry);
// The registered type of the entry's element type, else of its type; null when neither.
VELT_EXPORT std::shared_ptr<TypeDefinition> PropertyTypeOf(const EntryDefinition& entry);

// Whether a type's primitive type is bag, seq or alt.
VELT_EXPORT bool IsArrayType(const TypeDefinition& type);
VELT_EXPORT bool IsArrayType(const UTF8String& typeId);
// A record is a structure when it has fields; an id when it resolves to no primitive type
// (so an unknown id counts as a structure).
VELT_EXPORT bool IsStructType(const TypeDefinition& type);
VELT_EXPORT bool IsStructType(const UTF8String& typeId);
// Whether values of the type are single simple scalars (a choice counts when its element
// type is simple).
VELT_EXPORT bool IsSimpleType(const TypeDefinition& type);
VELT_EXPORT bool IsSimpleType(const UTF8String& typeId);
// Whether the id is one of the four simple scalar ids (registered extensions do not count).
VELT_EXPORT bool IsElementSimpleScalar(const UTF8String& typeId);
// Whether the registered type of the id extends a simple scalar (assertion and false when
// no type of that id is registered).
VELT_EXPORT bool IsElementExtensionOfSimpleScalar(const UTF8String& typeId);
// Whether an array or choice of this element type can be shown as one value: true for the
// simple scalar ids and their registered extensions, false for "date".
VELT_EXPORT bool DoesElementConformToContainer(const UTF8String& elementTypeId);

// The first property of the schema with exactly this name, or null (also for a null schema,
// which raises an assertion).
VELT_EXPORT std::shared_ptr<PropertyDefinition> PropertyNameDefinition(
    const std::shared_ptr<SchemaDefinition>& inSchemaDefinition, const UTF8String& name);
// The first field of the type with exactly this name, or null (also for a null type, which
// raises an assertion).
VELT_EXPORT std::shared_ptr<FieldDefinition> FieldNameDefinition(
    const std::shared_ptr<TypeDefinition>& inTypeDefinition, const UTF8String& name);

}  // namespace veltmetadata
