#pragma once

// Assertions of the provider classes name the operation they arise in
// ("veltmetadata::FileProvider::ReloadFile") rather than the compiler's function name.

#include <exception>
#include <string>

#include "veltcore/Debug.h"
#include "xmp/XMP_Const.h"

namespace veltmetadata::providers {

inline void Assert(const char* file, int line, const char* function, const char* condition,
                   const std::string& message = std::string()) {
  ::veltcore::debug::DoSimpleAssert(file, line, function, condition, message);
}

// The text of the exception being handled: "<xmpPrefix><message>" for an XMP_Error,
// "<stdPrefix><what()>" for a standard exception and `other` for anything else. Call only
// inside a catch block.
inline std::string CurrentExceptionText(const std::string& xmpPrefix, const std::string& stdPrefix,
                                        const std::string& other) {
  try {
    throw;
  } catch (const XMP_Error& error) {
    return xmpPrefix + (error.GetErrMsg() ? error.GetErrMsg() : "");
  } catch (const std::exception& error) {
    return stdPrefix + error.what();
  } catch (...) {
    return other;
  }
}

}  // namespace veltmetadata::providers

#define VELT_PROVIDER_ASSERT(function, condition, message) \
  ::veltmetadata::providers::Assert(__FILE__, __LINE__, function, condition, message)
