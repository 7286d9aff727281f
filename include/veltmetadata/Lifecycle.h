#pragma once

// Start and stop of the library, and its process-wide switches.

#include <functional>
#include <memory>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"

namespace veltmetadata {

// Starts the library. Reference-counted: only the first call does work, starting the XMP
// toolkit and loading every built-in and custom definition. Toolkit failures escape as
// XMP_Error (the count keeps its new value); problems in definitions are collected in the
// error list, never thrown.
VELT_EXPORT void Initialize();
// Matches one Initialize. The last call clears the registry, the error list and every
// subscriber list and stops the XMP toolkit; earlier calls only purge subscribers whose
// function is empty. A call without a matching Initialize raises an assertion and does
// nothing.
VELT_EXPORT void Terminate();
// Whether Initialize has been called more often than Terminate.
VELT_EXPORT bool IsInitialized();

// Switches XMP writing off or on. When the value changes, every subscriber with a non-empty
// function is called once, in subscription order.
VELT_EXPORT void DisableXMPWriting(bool disabled);
VELT_EXPORT bool IsXMPWritingDisabled();
// Subscribes to changes of the writing switch while the library is initialised (ignored
// otherwise). The list keeps the function alive; emptying it unsubscribes.
VELT_EXPORT void NotifyWhenXMPWritingChanged(
    const std::shared_ptr<std::function<void()>>& callback);

// Makes every metadata path report as writable. The setting lives in the core services'
// debug database under "ForceMetadataWritable" and outlives Terminate.
VELT_EXPORT void ForcedAllMetadataWritable(bool forced);
VELT_EXPORT bool IsAllMetadataForcedWritable();

// Version texts of the XMP toolkit's core and file handlers, fetched once per process.
VELT_EXPORT UTF8String GetXMPCoreVersion();
VELT_EXPORT UTF8String GetXMPFilesVersion();
// The folder "XMPFiles" in the core services' plug-ins folder.
VELT_EXPORT UTF16String XMPFilesPluginsDirectory();

}  // namespace veltmetadata
