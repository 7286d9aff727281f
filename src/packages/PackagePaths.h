#pragma once

// Path checks shared by the extension package loader and the legacy panel conversion: both
// read folders that users fill, and neither may be led outside them by a link or by a
// manifest value.

#include <filesystem>

#include "veltmetadata/Definitions.h"

namespace veltmetadata::packages {

// Whether `entry`, found in `folder` (directly, or in a sub-folder already found to stay
// inside it), stays inside once links are resolved. Only a link needs resolving: anything
// else lies where it was found. A link that cannot be resolved counts as leading outside.
bool StaysInside(const std::filesystem::path& entry, const std::filesystem::path& folder);

// Whether a manifest value used as a file name names a file in the folder itself: no "/" or
// "\", not "." or "..".
bool IsPlainFileName(const UTF16String& name);

}  // namespace veltmetadata::packages
