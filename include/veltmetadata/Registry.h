#pragma once

// The process-wide registry of schema definitions (by namespace URI) and type definitions
// (by type id). It is filled by Initialize and may be changed by callers afterwards.
// Registration never throws: every refusal is reported to the error list and gives false.
// None of these functions take a lock; registration, removal and lookups must not overlap.

#include <memory>
#include <utility>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"

namespace veltmetadata {

// The 28 built-in standard schemas, in load order. Each names one built-in resource
// "<base name>_definitions" holding exactly one schema.
enum StandardSchema : std::int32_t {
  kStandardSchema_dc = 0,
  kStandardSchema_xmp,
  kStandardSchema_xmpRights,
  kStandardSchema_xmpMM,
  kStandardSchema_xmpBJ,
  kStandardSchema_xmpTPg,
  kStandardSchema_xmpDM,
  kStandardSchema_xmpPMAssign,
  kStandardSchema_xmpPMMemo,
  kStandardSchema_pdf,
  kStandardSchema_lumara,
  kStandardSchema_qmt,
  kStandardSchema_exif,
  kStandardSchema_exifEX,
  kStandardSchema_tiff,
  kStandardSchema_xmpCA,
  kStandardSchema_xmpScript,
  kStandardSchema_bext,
  kStandardSchema_iptcCore,
  kStandardSchema_iptcExtension,
  kStandardSchema_dicom,
  kStandardSchema_plus,
  kStandardSchema_mobile,
  kStandardSchema_as11core,
  kStandardSchema_as11ukdpp,
  kStandardSchema_as11structural,
  kStandardSchema_iXML,
  kStandardSchema_zpx,
};
// The number of standard schemas: one past the last enumerator (the enumeration has no
// sentinel value of its own).
inline constexpr int kStandardSchemaCount = kStandardSchema_zpx + 1;

// The resource base name of a standard schema ("dc", "xmpDM", ...); empty for a value
// outside the enumeration.
VELT_EXPORT UTF8String StandardSchemaBaseName(StandardSchema schema);
// The resource name of a standard schema: its base name followed by "_definitions". A value
// outside the enumeration raises an assertion and gives the empty string.
VELT_EXPORT UTF8String StandardSchemaResourceName(StandardSchema schema);

using SchemaDefinitionList = std::vector<std::shared_ptr<SchemaDefinition>>;
using TypeDefinitionList = std::vector<std::shared_ptr<TypeDefinition>>;
using SchemaDefinitionRange =
    std::pair<SchemaDefinitionList::const_iterator, SchemaDefinitionList::const_iterator>;

// Registers a schema under its namespace and registers the namespace with its prefix in the
// XMP toolkit. When the namespace is taken: with `merge` false the schema is refused; with
// `merge` true its new properties join the registered schema and the result is false all the
// same. Reports go to the error list with `sourceFile`. False without report when the
// library is not initialised or the record is null.
VELT_EXPORT bool RegisterSchemaDefinition(const std::shared_ptr<SchemaDefinition>& schema,
                                          const UTF8String& sourceFile, bool merge);
// Registers a type under its name, sets its mType to its name, repairs a missing element
// type and registers its fields' namespaces. A type whose field namespace the toolkit
// refuses is not registered. False on refusal.
VELT_EXPORT bool RegisterTypeDefinition(const std::shared_ptr<TypeDefinition>& type,
                                        const UTF8String& sourceFile);

// Registers schemas in order (without merging) and stops at the first refusal; true when
// every one was registered.
template <class Container>
bool RegisterSchemaDefinitions(const Container& schemas, const UTF8String& sourceFile) {
  bool result = true;
  for (const auto& schema : schemas) {
    if (!result) break;
    result = RegisterSchemaDefinition(schema, sourceFile, false);
  }
  return result;
}

// Registers types in order and stops at the first refusal; true when every one was
// registered.
template <class Container>
bool RegisterTypeDefinitions(const Container& types, const UTF8String& sourceFile) {
  bool result = true;
  for (const auto& type : types) {
    if (!result) break;
    result = RegisterTypeDefinition(type, sourceFile);
  }
  return result;
}

// Removes whatever schema is registered under the record's namespace. True when one was.
// The toolkit's namespace registration, the schema lists and the file paths stay.
VELT_EXPORT bool RemoveSchemaDefinition(const std::shared_ptr<SchemaDefinition>& schema);
// Removes whatever type is registered under the record's name. True when one was.
VELT_EXPORT bool RemoveTypeDefinition(const std::shared_ptr<TypeDefinition>& type);

// Whether some schema is registered under the record's namespace (the record must not be
// null). Works without initialisation.
VELT_EXPORT bool IsSchemaDefinitionAlreadyRegistered(
    const std::shared_ptr<SchemaDefinition>& inSchemaDefinition);
// The schema registered under a namespace URI (exact match), or null; null and an assertion
// when the library is not initialised.
VELT_EXPORT std::shared_ptr<SchemaDefinition> NamespaceDefinition(const UTF8String& namespaceURI);
// The type registered under an id (exact match), or null; null and an assertion when the
// library is not initialised.
VELT_EXPORT std::shared_ptr<TypeDefinition> TypeIdDefinition(const UTF8String& typeId);
// The namespace URI the resource of a standard schema declared; empty (with an assertion)
// when it was not loaded or the library is not initialised.
VELT_EXPORT UTF8String StandardSchemaNamespace(StandardSchema schema);
// The non-dynamic standard schemas in enumeration order. Valid until the next load or
// Terminate; an empty range raises an assertion.
VELT_EXPORT SchemaDefinitionRange CommonSchemaDefinitions();
// The dynamic schemas of the standard resources, custom folders and extension packages in
// load order; same validity and assertion as CommonSchemaDefinitions.
VELT_EXPORT SchemaDefinitionRange DynamicSchemaDefinitions();

// Every registered schema and type, by key order (for listings and diagnostics).
VELT_EXPORT SchemaDefinitionList AllSchemaDefinitions();
VELT_EXPORT TypeDefinitionList AllTypeDefinitions();

}  // namespace veltmetadata
