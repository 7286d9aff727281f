// Arbitrary stored texts through the display formatters and the display read: never a
// crash, a hang or a leak, whatever the text holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ErrorList.h"
#include "veltcore/DateFormat.h"
#include "veltcore/Debug.h"
#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/ValueFormatting.h"
#include "xmp/SXMPMeta.h"

namespace {

using namespace veltmetadata;

struct Targets {
  std::vector<Path> mPaths;
};

// One library start for the whole run; reports and assertions are expected and dropped.
const Targets& StartOnce() {
  static const Targets targets = [] {
    veltcore::debug::SetAssertionSink([](const veltcore::debug::AssertionInfo&) {});
    veltcore::datetime::SetTimeLocaleOverride("de_DE.UTF-8");
    Initialize();
    Targets t;
    for (const char* name : {"ExposureTime", "ShutterSpeedValue", "FNumber", "ApertureValue",
                             "SubjectDistance", "GPSLatitude", "DateTimeOriginal",
                             "PixelXDimension", "ISOSpeedRatings"}) {
      t.mPaths.push_back(PathForSchemaNameAndPropertyName(kXMP_NS_EXIF, name));
    }
    t.mPaths.push_back(PathForSchemaNameAndPropertyName(kXMP_NS_TIFF, "Orientation"));
    return t;
  }();
  return targets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Targets& targets = StartOnce();
  const std::string text(reinterpret_cast<const char*>(data), size);

  FormatDate(text);
  FormatRational(text, size % 20);
  FormatGPSCoordinate(text);
  SXMPMeta meta;
  for (const Path& path : targets.mPaths) {
    FormatValue(meta.GetInternalRef(), path, text);
    // Stored as it is (when the toolkit takes the text), then read for display.
    try {
      meta.SetProperty(path.mNamespace, path.mPathDescription, text);
    } catch (const XMP_Error&) {
      continue;
    }
    UTF8String shown;
    GetValue(meta.GetInternalRef(), path, shown);
  }
  ClearErrorList();
  return 0;
}
