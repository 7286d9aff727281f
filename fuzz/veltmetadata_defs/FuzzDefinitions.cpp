// Definitions documents of any content: parsing, then registering and checking what was
// read, must never crash, hang or leak, whatever the document holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ErrorList.h"
#include "LibraryFuzzing.h"
#include "veltmetadata/DefinitionsParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velt_fuzz::StartLibraryOnce();
  const std::string buffer(reinterpret_cast<const char*>(data), size);

  // The length picks between plain parsing and registering with or without merging, so
  // that every seed is tried all three ways as the fuzzer grows and shrinks it.
  const unsigned mode = size % 3;
  if (mode == 0) {
    veltmetadata::ParseBufferForDefinitions(buffer, "fuzz");
  } else {
    const auto registered =
        veltmetadata::ParseBufferAndRegisterDefinitions(buffer, "fuzz", mode == 2);
    // Leave the registry as the built-in definitions made it, for the next input.
    for (const auto& schema : registered.first)
      veltmetadata::RemoveSchemaDefinition(schema);
    for (const auto& type : registered.second)
      veltmetadata::RemoveTypeDefinition(type);
  }
  veltmetadata::ClearErrorList();
  return 0;
}
