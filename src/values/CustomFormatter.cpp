// The formatter hook and the three tables behind FormatValue and GetConstructedValue.

#include <cmath>
#include <map>

#include "registry/Assert.h"
#include "registry/LifecycleHooks.h"
#include "values/CameraFormatters.h"
#include "values/ConstructedValues.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/ValueFormatting.h"
#include "xmp/XMP_Const.h"

namespace veltmetadata {

namespace {

struct FormatterTables {
  std::map<Path, ValueFormatter> mFormatters;
  std::map<Path, Path> mAliases;
  std::map<Path, ValueConstructor> mConstructors;

  void Clear() {
    mFormatters.clear();
    mAliases.clear();
    mConstructors.clear();
  }
};

// The host's formatter: replaced only by RegisterValueFormatter, so it outlives Terminate.
ValueFormatter sValueFormatter;
// Filled at start, emptied at stop, read-only in between.
FormatterTables sFormatterTables;

template <class Value>
void AddToPathMap(std::map<Path, Value>& map, const Path& inPath, const Value& inValue) {
  if (inPath.empty()) {
    veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, "!inPath.empty()",
                                    "Path is invalid");
    return;
  }
  if (inValue.empty()) {
    veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, "!inValue.empty()",
                                    "Value is invalid");
    return;
  }
  Value& entry = map[inPath];
  if (!entry.empty()) {
    veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, "entry.empty()",
                                    "Mapping for path already exists");
    return;
  }
  entry = inValue;
}

ValueFormatter OfRational(UTF8String (*text)(double), double (*transform)(double)) {
  return [text, transform](__XMPMeta__*, const Path&, const UTF8String& raw) {
    return text(transform(formatting::RationalNumber(raw)));
  };
}

double Identity(double value) { return value; }
// APEX values: Tv = -log2(t), Av = 2 log2(N).
double ApexSeconds(double tv) { return std::pow(2.0, -tv); }
double ApexFNumber(double av) { return std::pow(2.0, av / 2); }

UTF8String DistanceFormatter(__XMPMeta__*, const Path&, const UTF8String& raw) {
  return formatting::DistanceText(raw);
}

void FillFormatters(FormatterTables& tables) {
  auto exif = [](const char* name) { return PathForSchemaNameAndPropertyName(kXMP_NS_EXIF, name); };
  auto& formatters = tables.mFormatters;
  AddToPathMap(formatters, exif("ExposureTime"), OfRational(formatting::SecondsText, Identity));
  AddToPathMap(formatters, exif("ShutterSpeedValue"),
               OfRational(formatting::SecondsText, ApexSeconds));
  AddToPathMap(formatters, exif("FNumber"), OfRational(formatting::FNumberText, Identity));
  AddToPathMap(formatters, exif("ApertureValue"), OfRational(formatting::FNumberText, ApexFNumber));
  AddToPathMap(formatters, exif("MaxApertureValue"),
               OfRational(formatting::FNumberText, ApexFNumber));
  AddToPathMap(formatters, exif("SubjectDistance"), ValueFormatter(DistanceFormatter));
  AddToPathMap(formatters, PathForSchemaNameAndPropertyName(kXMP_NS_EXIF_Aux,
                                                            "ApproximateFocusDistance"),
               ValueFormatter(DistanceFormatter));
}

void FillAliases(FormatterTables& tables) {
  auto alias = [&tables](const char* ns, const char* name, const char* targetNs,
                         const char* target) {
    AddToPathMap(tables.mAliases, PathForSchemaNameAndPropertyName(ns, name),
                 PathForSchemaNameAndPropertyName(targetNs, target));
  };
  alias(kXMP_NS_ExifEX, "LensModel", kXMP_NS_EXIF_Aux, "Lens");
  alias(kXMP_NS_ExifEX, "BodySerialNumber", kXMP_NS_EXIF_Aux, "SerialNumber");
  alias(kXMP_NS_ExifEX, "LensSerialNumber", kXMP_NS_EXIF_Aux, "LensSerialNumber");
  alias(kXMP_NS_ExifEX, "CameraOwnerName", kXMP_NS_EXIF_Aux, "OwnerName");
  alias(kXMP_NS_EXIF, "GPSHPositioningError", kXMP_NS_ExifEX, "GPSHPositioningError");
}

void StartFormatters() {
  FillFormatters(sFormatterTables);
  FillAliases(sFormatterTables);
  for (auto& [name, constructor] : constructed::DefaultConstructors()) {
    AddToPathMap(sFormatterTables.mConstructors,
                 PathForSchemaNameAndPropertyName(kAggregateNamespace, name), constructor);
  }
}

// The default formatters start once the standard schemas are registered, and the tables are
// emptied before the registry they were built from.
const lifecycle::ParticipantRegistrar kRegistrar{{"value formatters", 8, StartFormatters,
                                                  [] { sFormatterTables.Clear(); },
                                                  lifecycle::kStopFormattersAndViews}};

}  // namespace

void RegisterValueFormatter(const ValueFormatter& inFormatter) { sValueFormatter = inFormatter; }

ValueFormatter RegisteredValueFormatter() { return sValueFormatter; }

UTF8String FormatValue(__XMPMeta__* inMeta, const Path& inPath, const UTF8String& inRawValue) {
  if (sValueFormatter) {
    UTF8String text = sValueFormatter(inMeta, inPath, inRawValue);
    if (!text.empty()) return text;
  }
  const auto formatter = sFormatterTables.mFormatters.find(inPath);
  if (formatter != sFormatterTables.mFormatters.end()) {
    return formatter->second(inMeta, inPath, inRawValue);
  }
  const std::shared_ptr<EntryDefinition> def = PathEntryDefinition(inPath);
  if (!def) {
    VELT_CHECK(false, "definition");
    return {};
  }
  if (!def->mType) return {};
  if (*def->mType == "date") return FormatDate(inRawValue);
  if (*def->mType == "rational") return FormatRational(inRawValue, 2);
  if (*def->mType == "gpscoordinate") return FormatGPSCoordinate(inRawValue);
  return {};
}

bool GetConstructedValue(__XMPMeta__* inMeta, const Path& inPath, UTF8String& outValue,
                         GetValueResult* outResult) {
  const auto alias = sFormatterTables.mAliases.find(inPath);
  if (alias != sFormatterTables.mAliases.end() &&
      GetValue(inMeta, alias->second, outValue, outResult)) {
    return true;
  }
  const auto constructor = sFormatterTables.mConstructors.find(inPath);
  if (constructor != sFormatterTables.mConstructors.end()) {
    return constructor->second(inMeta, inPath, outValue, outResult);
  }
  return false;
}

}  // namespace veltmetadata
