#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "veltcore/Export.h"
#include "veltcore/StringTypes.h"

namespace veltmetadata {

using veltcore::UTF16String;
using veltcore::UTF8String;

// The category of a collected problem report.
enum ErrorKind : std::int32_t {
  kDefinitionParsingError = 0,
  kDefinitionRegistrationError = 1,
  kReadingXMPError = 2,
  kWritingXMPError = 3,
  kViewDefinitionParsingError = 4,
  kViewDefinitionRegistrationError = 5,
  kPanelManifestParsingError = 6,
  kExtensionManifestParsingError = 7,
  kExtensionPackageRegistrationError = 8,
};

// One collected report: its kind, the complete localised message and the file, resource or
// package it is about (may be empty).
struct ErrorInfo {
  ErrorKind mKind;
  UTF8String mMessage;
  UTF8String mFile;
};

// A copy of every report collected since the library was initialised, in report order.
// Safe from any thread.
VELT_EXPORT std::vector<ErrorInfo> GetErrorInfos();

// Whether any report has been collected. Safe from any thread.
VELT_EXPORT bool HasErrors();

// Subscribes to reports: the function is called with each new message (not the file) on the
// reporting thread. The list keeps the shared function alive; to unsubscribe, empty the
// function. Requires an initialised library (an assertion otherwise; nothing is added).
// Must not run concurrently with reporting or Terminate.
VELT_EXPORT void NotifyOnError(const std::shared_ptr<std::function<void(UTF8String)>>& callback);

}  // namespace veltmetadata
