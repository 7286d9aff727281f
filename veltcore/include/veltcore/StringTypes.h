#pragma once

// The two string types of the core services layer, on their own so that the public headers
// of the library can name them without declaring the layer's (hidden) string functions.

#include <string>

namespace veltcore {

// UTF-8 text in 8-bit units: namespace URIs, prefixes, names, type ids and values.
using UTF8String = std::string;
// UTF-16 text in 16-bit units: file paths, localised labels and descriptions.
using UTF16String = std::u16string;

}  // namespace veltcore
