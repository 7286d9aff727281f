#pragma once

#include "veltmetadata/Definitions.h"

namespace veltmetadata::registry {

// Gives an entry without type the type "text", and an array or choice entry that has no
// element type (nor has its registered type) the element type "text". Each repair is
// reported with `prefix` and the entry's name, and `sourceFile`.
void ApplyTypeDefaults(EntryDefinition& entry, const UTF8String& prefix,
                       const UTF8String& sourceFile);

}  // namespace veltmetadata::registry
