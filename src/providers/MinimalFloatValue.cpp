// SetMinimalFloatValue: a number written through a provider's update access with 17
// significant digits, which read back as the same double.

#include <cstdio>

#include "values/NumberWriting.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"
#include "xmp/SXMPMeta.h"

namespace veltmetadata {

void SetMinimalFloatValue(const Value& inValue, double inNumber) {
  MetaDataUpdateAccess access(inValue.mProvider);
  const bool written = SetDoubleValueWith(
      *access, inValue.mPath, inNumber,
      [](SXMPMeta& meta, const std::string& ns, const std::string& path, double number) {
        char text[512];
        std::snprintf(text, sizeof text, "%1.*lg", 17, number);
        meta.SetProperty(ns, path, text);
      });
  if (written) access.AddChange(inValue.mPath);
}

}  // namespace veltmetadata
