#pragma once

// Whole-file writes of view files and manifests: the text goes to a temporary file beside
// the target and replaces the target only once complete, so a failure never leaves a
// half-written file. A link at the target is replaced, never followed.

#include <string_view>

#include "veltcore/Files.h"

namespace veltmetadata::views {

// True when the new content is in place.
inline bool SafeWrite(const veltcore::filesupport::File& target, std::string_view text) {
  veltcore::filesupport::SafeSave save(target);
  return save.IsValid() &&
         veltcore::filesupport::FileUtils::SimpleWriteStringToFile(save.TempFile(), text) &&
         save.Commit();
}

}  // namespace veltmetadata::views
