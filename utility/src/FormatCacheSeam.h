#pragma once

// Internal view of the format cache for the library's own tests.

#include <cstdint>

namespace veltmetadata::utility::internal {

// How many times a file has been opened to detect its format since the process started.
std::uint64_t FormatDetectionCount();

}  // namespace veltmetadata::utility::internal
