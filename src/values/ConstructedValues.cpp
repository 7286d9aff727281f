#include "values/ConstructedValues.h"

#include <utility>

#include "values/ValueSupport.h"
#include "xmp/XMP_Const.h"

namespace veltmetadata::constructed {

namespace {

using values::SetResult;

Path Exif(const char* name) { return PathForSchemaNameAndPropertyName(kXMP_NS_EXIF, name); }
Path ExifEX(const char* name) { return PathForSchemaNameAndPropertyName(kXMP_NS_ExifEX, name); }
Path Tiff(const char* name) { return PathForSchemaNameAndPropertyName(kXMP_NS_TIFF, name); }

bool IsRotated(int orientation) { return orientation >= 5 && orientation <= 8; }

// Reads the TIFF orientation. False (with its result) when it is there but cannot be read.
bool ReadOrientation(__XMPMeta__* meta, const Path& path, int& orientation,
                     GetValueResult* result) {
  GetValueResult read = kGetValueResult_NoValue;
  GetValue(meta, path, orientation, &read);
  if (read == kGetValueResult_Success || read == kGetValueResult_NoValue) return true;
  SetResult(result, read);
  return false;
}

ValueConstructor ImageSize() {
  return [pixelX = Exif("PixelXDimension"), pixelY = Exif("PixelYDimension"),
          width = Tiff("ImageWidth"), length = Tiff("ImageLength"),
          orientationPath = Tiff("Orientation")](__XMPMeta__* meta, const Path&, UTF8String& out,
                                                 GetValueResult* result) {
    UTF8String x;
    UTF8String y;
    if (!(GetValue(meta, pixelX, x, result) && GetValue(meta, pixelY, y, result)) &&
        !(GetValue(meta, width, x, result) && GetValue(meta, length, y, result))) {
      return false;
    }
    int orientation = 0;
    if (!ReadOrientation(meta, orientationPath, orientation, result)) return false;
    if (IsRotated(orientation)) std::swap(x, y);
    out = x + " x " + y;
    SetResult(result, kGetValueResult_Success);
    return true;
  };
}

ValueConstructor ImageResolution() {
  return [xPath = Tiff("XResolution"), yPath = Tiff("YResolution"),
          orientationPath = Tiff("Orientation")](__XMPMeta__* meta, const Path&, UTF8String& out,
                                                 GetValueResult* result) {
    UTF8String x;
    UTF8String y;
    if (!GetValue(meta, xPath, x, result)) return false;
    GetValueResult yRead = kGetValueResult_NoValue;
    GetValue(meta, yPath, y, &yRead);
    if (yRead != kGetValueResult_Success && yRead != kGetValueResult_NoValue) {
      SetResult(result, yRead);
      return false;
    }
    int orientation = 0;
    if (!ReadOrientation(meta, orientationPath, orientation, result)) return false;
    if (IsRotated(orientation)) std::swap(x, y);
    // A missing vertical resolution means the same as the horizontal one.
    out = (x == y || y.empty()) ? x : x.empty() ? y : x + " x " + y;
    SetResult(result, kGetValueResult_Success);
    return true;
  };
}

ValueConstructor ShutterSpeed() {
  return [speed = Exif("ShutterSpeedValue"), exposure = Exif("ExposureTime")](
             __XMPMeta__* meta, const Path&, UTF8String& out, GetValueResult* result) {
    return GetValue(meta, speed, out, result) || GetValue(meta, exposure, out, result);
  };
}

ValueConstructor PhotographicSensitivity() {
  return [sensitivityPath = ExifEX("PhotographicSensitivity"),
          typePath = ExifEX("SensitivityType"),
          firstRating = CreatePathFromArrayItem(Exif("ISOSpeedRatings"), 1)](
             __XMPMeta__* meta, const Path&, UTF8String& out, GetValueResult* result) {
    int sensitivity = 0;
    GetValueResult sensitivityRead = kGetValueResult_NoValue;
    GetValue(meta, sensitivityPath, sensitivity, &sensitivityRead);
    if (sensitivityRead == kGetValueResult_MultipleValues) {
      SetResult(result, sensitivityRead);
      return false;
    }
    UTF8String rating;
    if (!GetValue(meta, firstRating, rating, result)) return false;
    UTF8String prefix = "ISO ";
    // 65535 means "higher than fits"; the sensitivity type then names the measure.
    if (sensitivity == 65535) {
      int type = 0;
      GetValue(meta, typePath, type, nullptr);
      if (type == 2) prefix = "REI ";
      if (type == 1 || type == 4) prefix = "SOS ";
    }
    out = prefix + rating;
    return true;
  };
}

}  // namespace

std::vector<std::pair<const char*, ValueConstructor>> DefaultConstructors() {
  return {{"ImageSize", ImageSize()},
          {"ImageResolution", ImageResolution()},
          {"ShutterSpeed", ShutterSpeed()},
          {"PhotographicSensitivity", PhotographicSensitivity()}};
}

}  // namespace veltmetadata::constructed
