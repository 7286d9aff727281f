#pragma once

// Which properties a metadata panel may show. The host excludes properties through a
// process-wide set of Paths that starts empty and lives for the process (Terminate does not
// clear it). The set takes no lock: the host changes it from one thread, or serialises its
// calls, and not while other threads ask.

#include "veltcore/Export.h"
#include "veltmetadata/Path.h"

namespace veltmetadata {

// Adds the Path to the exclusion set (exclude true; no change when an equal Path is there)
// or removes the equal Path (exclude false). Equality is namespace and path description.
VELT_EXPORT void ExcludePropertyForClient(const Path& inPath, bool exclude);
// Whether an equal Path is in the exclusion set.
VELT_EXPORT bool IsPropertyExcludedByClient(const Path& inPath);
// Whether the library itself hides the node: the tone curve of the raw-conversion settings
// schema ("ToneCurve" of qmt). Safe from any thread; the comparison texts are set up once,
// on first use.
VELT_EXPORT bool IsPropertyExcludedInternally(const Path& inPath);
// Whether a panel can show and edit the node: not excluded, and either not a container
// (choices and alt) or a container whose element type can be shown as one value. False,
// after the assertion "definition", for a container Path without a definition.
VELT_EXPORT bool IsPropertyUISupported(const Path& inPath);

}  // namespace veltmetadata
