#pragma once

// The library's debug assertions (programming errors, and the failures that the providers
// report as assertions, such as a media file that could not be written) go to standard
// error unless the host takes them. A host that logs them, or a tool that must tell a user
// that a write failed, installs a handler.

#include <functional>
#include <string>

#include "veltcore/Export.h"

namespace veltmetadata {

// One raised assertion: the operation it arose in ("veltmetadata::FileProvider::
// WriteChanges"), the condition that failed and the message (may be empty).
struct VELT_EXPORT AssertionReport {
  std::string mFunction;
  std::string mCondition;
  std::string mMessage;
};

// Sends every later assertion of the process to `handler` instead of standard error; an
// empty handler restores standard error. Called synchronously on the asserting thread; the
// handler must not throw. Install it before using the library from several threads.
VELT_EXPORT void SetAssertionHandler(std::function<void(const AssertionReport&)> handler);

}  // namespace veltmetadata
