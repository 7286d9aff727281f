#pragma once

#include "veltcore/Resources.h"

// The files of resources/, embedded into the library at build time. The address of this
// table is the library's module handle.
const veltcore::resources::Module& VeltMetadataResources();
