#pragma once

// Typed paths into XMP metadata. A Path names one node (a top-level property, a structure
// field, a qualifier, an array item or an array's element) together with what is needed to
// find the definition record that describes it. Paths are built only from definitions; the
// XMP path text inside them is composed by the XMP toolkit.
//
// None of these functions take a lock: they read the process-wide registry and must not
// overlap registration or removal of definitions. A missing definition is a programming
// error: the function raises a debug assertion and returns the empty Path, a null pointer
// or an empty optional.

#include <memory>
#include <optional>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"

namespace veltmetadata {

// One node of XMP metadata. A plain value; no invariants are enforced.
struct VELT_EXPORT Path {
  // The internal flag of the top-level property this Path descends from.
  bool mInternal = false;
  // Namespace URI of the schema of the top-level property.
  UTF8String mNamespace;
  // The node's XMP path relative to the schema, in the toolkit's path syntax.
  UTF8String mPathDescription;
  // Local name of the entry (property, field or qualifier); an item's element type id.
  UTF8String mEntryName;
  // Where the entry's definition is found: a schema namespace URI or a type id.
  UTF8String mParentId;

  // True when the namespace or the path description is empty: not a usable Path.
  bool empty() const { return mNamespace.empty() || mPathDescription.empty(); }
};

// Orders by namespace, then path description, each compared as unsigned bytes. The other
// fields take no part: two Paths with equal namespace and path description are one key.
VELT_EXPORT bool operator<(const Path& a, const Path& b);

// A schema namespace URI and a property's local name.
struct VELT_EXPORT QualifiedName {
  UTF8String mURI;
  UTF8String mLocalName;
};

// The Path of a top-level property. Either pointer null: assertion, empty Path.
VELT_EXPORT Path
CreatePathFromSchemaProperty(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition,
                             const std::shared_ptr<PropertyDefinition>& inPropertyDefinition);

// The Path of a field of the structure at inPath. An unresolvable parent or a null field:
// assertion, empty Path. A path the toolkit refuses (XMP_Error) also gives the empty Path.
VELT_EXPORT Path CreatePathFromStructureField(const Path& inPath,
                                              const std::shared_ptr<FieldDefinition>& inField);

// The Path of a field across all items of the array of structures at inPath. Assertion and
// empty Path when the array has no element type; XMP_Error from the toolkit propagates.
VELT_EXPORT Path CreatePathFromArrayedStructureField(
    const Path& inPath, const std::shared_ptr<FieldDefinition>& inField);

// The Path of a qualifier of the node at inPath (the qualifier's namespace, or inPath's when
// it has none). Assertion and empty Path when unresolvable; XMP_Error propagates.
VELT_EXPORT Path CreatePathFromQualifier(const Path& inPath,
                                         const std::shared_ptr<QualifierDefinition>& inQualifier);

// The element of the array at inPath as a node of its own (same path description). Either
// pointer null: assertion, empty Path.
VELT_EXPORT Path CreatePathFromElementType(const Path& inPath,
                                           const std::shared_ptr<EntryDefinition>& inDefinition,
                                           const std::shared_ptr<TypeDefinition>& inType);

// One item of the array at inPath; index is the toolkit's 1-based index (-1: the last item).
// Assertion and empty Path when the array has no element type; XMP_Error propagates.
VELT_EXPORT Path CreatePathFromArrayItem(const Path& inPath, int index);

// The node's definition record, or null. Any entry under a dynamic schema resolves to a new
// text property.
VELT_EXPORT std::shared_ptr<EntryDefinition> PathEntryDefinition(const Path& inPath);

// The type record that describes the node's content, or null (after an assertion when the
// node has no definition).
VELT_EXPORT std::shared_ptr<TypeDefinition> TypeEntryDefinition(const Path& inPath);

// The node's primitive type; no value (after an assertion) when it cannot be resolved.
VELT_EXPORT std::optional<PrimitiveType> PrimitiveTypeOfPath(const Path& inPath);

// True when the node is a bag or seq and either internal or includeExternal is set. An alt
// or a choice is never an array here.
VELT_EXPORT bool IsPathAnArray(const Path& inPath, bool includeExternal);

// The Path of a schema's top-level property. An unregistered namespace gives the empty Path
// silently; a registered schema without that property asserts and gives the empty Path.
VELT_EXPORT Path PathForSchemaNameAndPropertyName(const UTF8String& inSchemaNamespace,
                                                  const UTF8String& inPropertyName);
VELT_EXPORT Path PathForSchemaNameAndPropertyName(const UTF16String& inSchemaNamespace,
                                                  const UTF16String& inPropertyName);

}  // namespace veltmetadata
