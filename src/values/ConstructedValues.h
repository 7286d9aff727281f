#pragma once

// The aggregate schema's display values built from several EXIF and TIFF values.

#include <utility>
#include <vector>

#include <boost/function.hpp>

#include "veltmetadata/MetaDataOperations.h"

namespace veltmetadata {

// Builds the display value of a Path that is not stored; false when it cannot, with the
// reason in the result.
using ValueConstructor =
    boost::function<bool(__XMPMeta__*, const Path&, UTF8String&, GetValueResult*)>;

namespace constructed {

// The aggregate schema's property names with their constructors. Needs the registry: the
// constructors resolve the Paths they read when this is called.
std::vector<std::pair<const char*, ValueConstructor>> DefaultConstructors();

}  // namespace constructed
}  // namespace veltmetadata
