#pragma once

// The registry's process-wide state, shared by the registry, the lifecycle, the loading of
// definitions and schema authoring. Nothing here is locked: see Registry.h.

#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "veltcore/Resources.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata::registry {

struct RegistryState {
  // Registered schemas by namespace and types by id. A key may map to null after a refused
  // registration; that counts as not registered.
  std::map<UTF8String, std::shared_ptr<SchemaDefinition>> mSchemaDefinitions;
  std::map<UTF8String, std::shared_ptr<TypeDefinition>> mTypeDefinitions;
  std::map<StandardSchema, UTF8String> mStandardSchemaNamespace;
  SchemaDefinitionList mCommonSchemaDefinitions;
  SchemaDefinitionList mDynamicSchemaDefinitions;
  // The file each custom or package record was read from, keyed by record identity.
  std::map<std::shared_ptr<SchemaDefinition>, UTF16String> mSchemaFilePaths;
  std::map<std::shared_ptr<TypeDefinition>, UTF16String> mTypeFilePaths;
  // The embedded resource table the built-in definitions come from.
  veltcore::utility::ModuleHandle mModuleHandle = nullptr;

  // Empties every map and list (the module handle stays).
  void Clear();
};

// The one registry of the process.
RegistryState& State();
// Number of Initialize calls not yet matched by Terminate.
std::atomic<int>& InitializationCount();
inline bool Initialized() {
  return InitializationCount().load() >= 1;
}

}  // namespace veltmetadata::registry
