#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "veltcore/Strings.h"

namespace veltcore {
namespace resources {

// One embedded file: its type (the extension, lower case) and name (the file name without
// extension), and its bytes.
struct Entry {
  const char* mType;
  const char* mName;
  const unsigned char* mData;
  std::size_t mSize;
};

// A table of embedded files: what a module handle stands for.
struct Module {
  const Entry* mEntries;
  std::size_t mCount;
};

}  // namespace resources

namespace utility {

// Stands for a loaded image with embedded resources; null means "no resources".
using ModuleHandle = const resources::Module*;

// Names of every resource of `type` (matched without regard to case), in table order.
std::vector<UTF16String> GetResourceNames(ModuleHandle module, const UTF16String& type);
// Copies the bytes of the resource `name` of `type` (both matched without regard to case)
// into `bytes`. Returns false, with `bytes` empty, when there is no such resource.
bool GetBinaryFromModule(ModuleHandle module, const UTF16String& type, const UTF16String& name,
                         std::vector<char>& bytes);
bool GetBinaryFromModule(ModuleHandle module, const UTF16String& type, const UTF16String& name,
                         std::string& bytes);

}  // namespace utility
}  // namespace veltcore
