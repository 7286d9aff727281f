#pragma once

// Dynamic schemas (their properties are made on demand) and the pieces schemas are authored
// from at run time: new records, and the file each schema and type belongs to so that the
// definitions writer can write a whole file back. None of these check initialisation, report
// errors or register anything.

#include <memory>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"

namespace veltmetadata {

// The dynamic namespace for a name: kDynamicNamespaceBase, the name without one leading and
// one trailing slash, then "/1.0/".
VELT_EXPORT UTF8String MakeDynamicSchemaNamespace(const UTF8String& name);
// Whether kDynamicNamespaceBase occurs anywhere in the URI (case-sensitive).
VELT_EXPORT bool IsDynamicNamespace(const UTF8String& namespaceURI);

// A new, unregistered custom schema without properties; the texts are taken as they are.
VELT_EXPORT std::shared_ptr<SchemaDefinition> CreateNewSchema(const UTF8String& namespaceURI,
                                                              const UTF8String& prefix,
                                                              const UTF16String& labelZString,
                                                              const UTF16String& label,
                                                              const UTF16String& descriptionZString,
                                                              const UTF16String& description);
// A new property of a primitive type, belonging to no schema; everything not given is empty.
VELT_EXPORT std::shared_ptr<PropertyDefinition> CreateNewProperty(
    PrimitiveType type, const UTF8String& name, const UTF16String& labelZString,
    const UTF16String& label, const UTF16String& descriptionZString,
    const UTF16String& description);

// Records (or replaces) the file a schema belongs to. The record is kept alive until the
// final Terminate.
VELT_EXPORT void SetFilePathForSchema(const UTF16String& path,
                                      std::shared_ptr<SchemaDefinition> schema);
// The file recorded for a schema, or empty.
VELT_EXPORT UTF16String filePathForSchema(std::shared_ptr<SchemaDefinition> schema);
// Every schema (respectively type) whose recorded file is exactly `path`.
VELT_EXPORT std::vector<std::shared_ptr<SchemaDefinition>> allSchemasFromSourceFile(
    const UTF16String& path);
VELT_EXPORT std::vector<std::shared_ptr<TypeDefinition>> allTypesFromSourceFile(
    const UTF16String& path);

}  // namespace veltmetadata
