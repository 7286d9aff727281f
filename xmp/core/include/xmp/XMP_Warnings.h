#pragma once

// Warnings of the XMP toolkit: recoveries made while reading data that was readable, but not
// as written (a repeated property, bytes after the packet, a legacy XMP chunk). Reading goes
// on; the warning tells the caller what was assumed.
//
// Warnings go to the innermost XMP_WarningScope of the calling thread, so that a caller
// reading several files on several threads sees each file's own warnings; without a scope
// they go to the process-wide handler, and without one they are dropped.

#include <functional>
#include <string>

#include "veltcore/Export.h"

using XMP_WarningHandler = std::function<void(const std::string& message)>;

// Reports one warning as described above. Never throws: a handler's exception is dropped.
VELT_EXPORT void XMP_ReportWarning(const std::string& message);

// Sets the process-wide handler (an empty function removes it). Not synchronised with
// concurrent reports: set it before reading starts.
VELT_EXPORT void XMP_SetWarningHandler(XMP_WarningHandler handler);

// Collects the warnings raised on this thread while it lives; scopes nest (the innermost
// one receives). Not copyable or movable: it lives on the stack of the reading thread.
class VELT_EXPORT XMP_WarningScope {
 public:
  explicit XMP_WarningScope(XMP_WarningHandler handler);
  ~XMP_WarningScope();
  XMP_WarningScope(const XMP_WarningScope&) = delete;
  XMP_WarningScope& operator=(const XMP_WarningScope&) = delete;

 private:
  friend void XMP_ReportWarning(const std::string& message);
  XMP_WarningHandler mHandler;
  XMP_WarningScope* mOuter;
};
