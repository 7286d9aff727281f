// Included-leaf-paths documents of any content: reading must never crash, hang or leak, and
// a failed read must leave the caller's set as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "LibraryFuzzing.h"
#include "veltmetadata/IncludedLeafPaths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velt_fuzz::StartLibraryOnce();
  const std::string document(reinterpret_cast<const char*>(data), size);
  veltmetadata::Path marker;
  marker.mNamespace = "urn:fuzz:marker";
  marker.mPathDescription = "marker";
  veltmetadata::PathSet paths = {marker};
  if (!veltmetadata::ReadIncludedLeafPathsAsXMLString(paths, document)) {
    if (paths.size() != 1 || paths.begin()->mNamespace != marker.mNamespace) std::abort();
    return 0;
  }
  // What was read writes out and reads back. Line ends inside texts are normalised by the
  // XML reader, so Paths differing only there may merge: the set cannot grow.
  std::string written;
  veltmetadata::IncludedLeafPathsAsXMLString(paths, written);
  veltmetadata::PathSet again;
  if (!veltmetadata::ReadIncludedLeafPathsAsXMLString(again, written) ||
      again.size() > paths.size()) {
    std::abort();
  }
  return 0;
}
