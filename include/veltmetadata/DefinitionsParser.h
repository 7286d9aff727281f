#pragma once

// Reading definitions files (root element "xmp_definitions") into schema and type records,
// optionally registering them. Parsing is lenient: a misplaced or unknown element, a bad
// "extends" value or broken XML is reported to the error list and parsing goes on; nothing
// is thrown for bad content, and records read before a problem are kept.

#include <utility>

#include "veltcore/Export.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {

// The schemas and the types of a definitions document, each in document order.
using DefinitionsPair = std::pair<SchemaDefinitionList, TypeDefinitionList>;

// Parses a document held in memory; `sourceName` names it in reports.
VELT_EXPORT DefinitionsPair ParseBufferForDefinitions(const UTF8String& buffer,
                                                      const UTF8String& sourceName);
// Parses the file at `path` (UTF-8).
VELT_EXPORT DefinitionsPair ParseDocumentForDefinitions(const UTF8String& path);
// Parses the file at `path`, appending to `result`. False when the XML could not be parsed
// (what was read before the failure stays in `result`).
VELT_EXPORT bool ParseDocumentForDefinitions(const UTF8String& path, DefinitionsPair& result);

// Parses, registers and checks a document held in memory. Types are registered first; the
// first refused type leaves the returned type list empty. Without `merge`, the first refused
// schema leaves the returned schema list empty; with `merge`, schemas of a registered
// namespace add their new properties to it and are left out of the result. Returns what
// was registered.
VELT_EXPORT DefinitionsPair ParseBufferAndRegisterDefinitions(const UTF8String& buffer,
                                                              const UTF8String& sourceName,
                                                              bool merge);
// The same for the file at `path`, which is also the source name.
VELT_EXPORT DefinitionsPair ParseDocumentAndRegisterDefinitions(const UTF8String& path, bool merge);

}  // namespace veltmetadata
