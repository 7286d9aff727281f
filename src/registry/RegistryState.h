#pragma once

// The registry's process-wide state, shared by the registry, the lifecycle, the loading of
// definitions and schema authoring. Nothing here is locked: see Registry.h. The error list
// and its subscribers (sErrorListeners) live with the error collection (ErrorList.h).

#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "veltcore/Resources.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata::registry {

// Number of Initialize calls not yet matched by Terminate.
extern std::atomic<int> sInitializationCount;
// Registered schemas by namespace and types by id. A key may map to null after a refused
// registration; that counts as not registered.
extern std::map<UTF8String, std::shared_ptr<SchemaDefinition>> sSchemaDefinitions;
extern std::map<UTF8String, std::shared_ptr<TypeDefinition>> sTypeDefinitions;
// The namespace each loaded standard schema declared.
extern std::map<StandardSchema, UTF8String> sStandardSchemaNamespace;
// The non-dynamic standard schemas in enumeration order; the dynamic schemas in load order.
extern SchemaDefinitionList sCommonSchemaDefinitions;
extern SchemaDefinitionList sDynamicSchemaDefinitions;
// The file each custom or package record was read from, keyed by record identity.
extern std::map<std::shared_ptr<SchemaDefinition>, UTF16String> sSchemaFilePaths;
extern std::map<std::shared_ptr<TypeDefinition>, UTF16String> sTypeFilePaths;
// The embedded resource table the built-in definitions come from.
extern veltcore::utility::ModuleHandle sModuleHandle;

inline bool Initialized() {
  return sInitializationCount.load() >= 1;
}

// Empties every registry map and list (the module handle stays).
void ClearRegistry();

}  // namespace veltmetadata::registry
