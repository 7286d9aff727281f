#pragma once

// Shared by the library's fuzz targets.

#include "veltcore/Debug.h"
#include "veltmetadata/Lifecycle.h"

namespace velt_fuzz {

// Starts the library once for the whole run; later calls do nothing. Odd input makes the
// library assert, so assertion reports are dropped.
inline void StartLibraryOnce() {
  static const bool started = [] {
    veltcore::debug::SetAssertionSink([](const veltcore::debug::AssertionInfo&) {});
    veltmetadata::Initialize();
    return true;
  }();
  (void)started;
}

}  // namespace velt_fuzz
