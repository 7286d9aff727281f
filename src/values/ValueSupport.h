#pragma once

// Shared pieces of the value operations: the report of bad data, the result pointer and the
// read steps every getter goes through.

#include <string>

#include "veltmetadata/Errors.h"
#include "veltmetadata/MetaDataOperations.h"
#include "xmp/SXMPMeta.h"

namespace veltmetadata::values {

inline constexpr const char* kInvalidData =
    "$$$/veltmetadata/ErrorInXMPData/InvalidData=invalid data in #{quot}@0#{quot}.";
inline constexpr const char* kInvalidTemplate =
    "$$$/veltmetadata/ErrorInXMPData/InvalidTemplate=template cannot be applied.";

// Reports "invalid data in "<namespace><path>"." with `reason` (the toolkit's message, or
// empty) as the report's file text.
void ReportInvalidData(ErrorKind kind, const Path& path, const std::string& reason);

inline void SetResult(GetValueResult* result, GetValueResult value) {
  if (result) *result = value;
}

// Reads through `step` (called with the wrapped object; true when it read a value): no value
// for a null handle or an absent property, multiple values when the gathered files disagree,
// an error (reported, kReadingXMPError) when anything throws. Sets `result` on every path.
template <class Step>
bool ReadProperty(__XMPMeta__* handle, const Path& path, GetValueResult* result, Step&& step) {
  SetResult(result, kGetValueResult_NoValue);
  if (!handle) return false;
  try {
    SXMPMeta meta(handle);
    if (meta.HasMultipleValues(path.mNamespace, path.mPathDescription)) {
      SetResult(result, kGetValueResult_MultipleValues);
      return false;
    }
    if (!meta.DoesPropertyExist(path.mNamespace, path.mPathDescription)) return false;
    if (!step(meta)) return false;
    SetResult(result, kGetValueResult_Success);
    return true;
  } catch (const XMP_Error& error) {
    ReportInvalidData(kReadingXMPError, path, error.GetErrMsg() ? error.GetErrMsg() : "");
  } catch (...) {
    ReportInvalidData(kReadingXMPError, path, "");
  }
  SetResult(result, kGetValueResult_Error);
  return false;
}

}  // namespace veltmetadata::values
