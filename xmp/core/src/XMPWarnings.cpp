#include "xmp/XMP_Warnings.h"

#include <utility>

namespace {
thread_local XMP_WarningScope* tInnermostScope = nullptr;

XMP_WarningHandler& ProcessHandler() {
  static XMP_WarningHandler handler;
  return handler;
}
}  // namespace

XMP_WarningScope::XMP_WarningScope(XMP_WarningHandler handler)
    : mHandler(std::move(handler)), mOuter(tInnermostScope) {
  tInnermostScope = this;
}

XMP_WarningScope::~XMP_WarningScope() {
  tInnermostScope = mOuter;
}

void XMP_SetWarningHandler(XMP_WarningHandler handler) {
  ProcessHandler() = std::move(handler);
}

void XMP_ReportWarning(const std::string& message) {
  try {
    if (tInnermostScope != nullptr) {
      if (tInnermostScope->mHandler) tInnermostScope->mHandler(message);
      return;
    }
    if (ProcessHandler()) ProcessHandler()(message);
  } catch (...) {
    // A warning must never turn a successful read into a failure.
  }
}
