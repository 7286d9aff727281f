#include "veltmetadata/Version.h"

namespace veltmetadata {

const char* VersionString() {
  return VELTMETADATA_VERSION;
}

}  // namespace veltmetadata
