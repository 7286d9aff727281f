#pragma once

// Loading of the built-in and custom definitions into the registry.

#include <functional>

#include "veltcore/Files.h"
#include "veltmetadata/DefinitionsParser.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata::registry {

// Loads, in order: the primitive, constructed, auxiliary and aggregate type and schema
// resources, the 28 standard schemas, the global custom folder (without "DICOM.xml" and
// "Mobile.xml") and the user custom folder.
void LoadAllDefinitions();

// Parses and registers the built-in resource `name` (e.g. "dc_definitions"); the name is
// the source in every report. A missing or empty resource raises an assertion and loads
// nothing.
DefinitionsPair LoadDefinitionsFromResource(const UTF16String& name);

// Loads a standard schema's resource and records its namespace and list membership.
void LoadStandardSchemaDefinition(StandardSchema inStandardSchema);

// Loads every ".xml" file of a folder as custom definitions, with its "loc" dictionary;
// files whose name `skip` accepts are left out. A missing folder loads nothing.
void LoadCustomDefinitionsFolder(const veltcore::filesupport::Dir& folder,
                                 const std::function<bool(const UTF16String&)>& skip = {});

// Where a definitions file lies, which decides how it registers.
enum class DefinitionsSource { kCustomFolder, kExtensionPackage };

// Parses and registers one definitions file and records where its schemas and types came
// from. Files of custom folders register without merging and keep their schemas custom;
// files of extension packages merge into registered schemas.
void LoadDefinitionsFile(const veltcore::filesupport::File& file, DefinitionsSource source);

}  // namespace veltmetadata::registry
