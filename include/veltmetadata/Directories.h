#pragma once

// The folders the library reads custom definitions, extension packages and legacy panels
// from: one machine-wide and one per user.

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"

namespace veltmetadata {

// The generation of legacy panel folders.
enum TaviVersion : std::int32_t {
  kTaviPanels40 = 0,
  kTaviPanels30 = 1,
  kTaviPanels20 = 2,
};

// Full path of the machine-wide custom definitions folder (not created).
VELT_EXPORT UTF16String CustomDefinitionsGlobalDirectory();
// Full path of the user's custom definitions folder (not created).
VELT_EXPORT UTF16String CustomDefinitionsUserDirectory();
// Full path of the machine-wide extension packages folder; created when missing.
VELT_EXPORT UTF8String CustomExtensionsGlobalDirectory();
// Full path of the user's extension packages folder; created when missing.
VELT_EXPORT UTF8String CustomExtensionsUserDirectory();
// Full path of the machine-wide legacy panels folder of a generation (not created); values
// other than 4.0 and 3.0 mean 2.0.
VELT_EXPORT UTF16String PanelsDefinitionsGlobalDirectory(TaviVersion version);
// Full path of the user's legacy panels folder of a generation (not created).
VELT_EXPORT UTF16String PanelsDefinitionsUserDirectory(TaviVersion version);

}  // namespace veltmetadata
