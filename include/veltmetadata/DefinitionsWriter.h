#pragma once

// Writing schema and type records as a definitions document that the definitions parser
// reads back. What does not survive the trip: the dynamic flag and the panel hints are not
// written; an entry with choices but no element type comes back with element type "text";
// a structure type's own choices and qualifiers are dropped; where a record has only a
// localised label or description, that text is written in place of the ZString.

#include <memory>
#include <utility>

#include "veltcore/Export.h"
#include "veltcore/FileObjects.h"
#include "veltmetadata/DefinitionsParser.h"

namespace veltmetadata {

using TypeDefinitionRange =
    std::pair<TypeDefinitionList::const_iterator, TypeDefinitionList::const_iterator>;

// Writes a complete UTF-8 document for the schemas and then the types into `out`, replacing
// its content. Empty ranges give only the XML declaration. Null records are skipped.
VELT_EXPORT void WriteDefinitionsToBuffer(SchemaDefinitionRange schemas, TypeDefinitionRange types,
                                          UTF8String& out);
// Writes the document for all of `definitions` to `file`, creating its folder when needed.
// The file is replaced only once the new content is completely written. Returns whether the
// folder exists; a failed write is not reported.
VELT_EXPORT bool WriteSchemaFile(DefinitionsPair definitions,
                                 const veltcore::filesupport::File& file);
// Writes the file `schema` was loaded from (or was bound to) again, with the current state
// of every schema and type that came from that file. Does nothing for a schema without file.
VELT_EXPORT void RewriteSchemaFile(std::shared_ptr<SchemaDefinition> schema);

}  // namespace veltmetadata
