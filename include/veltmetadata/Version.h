#pragma once

#include "veltcore/Export.h"

namespace veltmetadata {

// The library's version as "major.minor.patch".
VELT_EXPORT const char* VersionString();

}  // namespace veltmetadata
