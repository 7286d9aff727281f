#pragma once

// Checks of the types named by registered definitions. They report, never refuse: every
// problem becomes one registration message in the error list with `sourceFile`.

#include "veltcore/Export.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {

// Reports fields whose type or element type names no registered type, and field-less array
// or choice types whose element type is not registered. Always true.
VELT_EXPORT bool CheckFieldTypes(const TypeDefinitionList& types, const UTF8String& sourceFile);
// Reports properties whose type or element type names no registered type. Always true.
VELT_EXPORT bool CheckPropertyTypes(const SchemaDefinitionList& schemas,
                                    const UTF8String& sourceFile);

}  // namespace veltmetadata
