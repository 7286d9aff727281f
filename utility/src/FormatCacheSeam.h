#pragma once

// Internal view of the format cache: for readers in the library that open a file anyway,
// and for the library's own tests.

#include <cstdint>
#include <optional>

#include "veltcore/Files.h"
#include "veltcore/Strings.h"

namespace veltmetadata::utility::internal {

// The file's state as the cache compares it, or nothing when it cannot be read.
std::optional<veltcore::filesupport::FileStamp> StampOf(const veltcore::UTF16String& filePath);

// Records the format a reader found while opening the file through the file handlers without
// packet scanning (the handler detection would pick), so that the next GetXMPFormat is served
// without opening the file again. `before` is the stamp read before that open: a file replaced
// meanwhile no longer matches it and is detected afresh. An existing entry is kept.
void RecordOpenedFormat(const veltcore::UTF16String& filePath,
                        const veltcore::filesupport::FileStamp& before, unsigned int format);

// How many times a file has been opened to detect its format since the process started.
std::uint64_t FormatDetectionCount();

}  // namespace veltmetadata::utility::internal
