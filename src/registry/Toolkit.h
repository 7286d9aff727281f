#pragma once

// The few XMP toolkit operations the registry and the lifecycle need, in one place so that
// the rest of the registry does not depend on the toolkit's headers.

#include "veltmetadata/Definitions.h"

namespace veltmetadata::toolkit {

// Registers a namespace with a prefix. True only when the toolkit accepted it and the
// namespace ends up with exactly that prefix; toolkit exceptions count as failure.
bool RegisterNamespace(const UTF8String& namespaceURI, const UTF8String& prefix);

// Starts the toolkit's core and file handlers (steps that throw XMP_Error on failure).
void Initialize(const UTF8String& pluginsFolder, const UTF8String& clientName);
// Stops the file handlers and the core; throws XMP_Error on failure.
void Terminate();

UTF8String CoreVersion();
UTF8String FilesVersion();

}  // namespace veltmetadata::toolkit
