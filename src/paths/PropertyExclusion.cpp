#include "veltmetadata/PropertyExclusion.h"

#include <set>

#include "registry/Assert.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {

namespace {

// The properties the host excluded, by namespace and path description.
std::set<Path> sExcludedProperties;

}  // namespace

void ExcludePropertyForClient(const Path& inPath, bool exclude) {
  if (exclude) {
    sExcludedProperties.insert(inPath);
  } else {
    sExcludedProperties.erase(inPath);
  }
}

bool IsPropertyExcludedByClient(const Path& inPath) {
  return sExcludedProperties.contains(inPath);
}

bool IsPropertyExcludedInternally(const Path& inPath) {
  // Function-local statics: initialised once, thread-safely, on first use.
  static const UTF8String sToneCurveNamespace = StandardSchemaNamespace(kStandardSchema_qmt);
  static const UTF8String sToneCurve = "ToneCurve";
  return inPath.mPathDescription == sToneCurve && inPath.mNamespace == sToneCurveNamespace;
}

bool IsPropertyUISupported(const Path& inPath) {
  if (IsPropertyExcludedByClient(inPath) || IsPropertyExcludedInternally(inPath)) return false;
  const auto primitive = PrimitiveTypeOfPath(inPath);
  if (!primitive || !IsTypeContainer(*primitive)) return true;
  const auto definition = PathEntryDefinition(inPath);
  if (!definition) {
    VELT_CHECK(false, "definition");
    return false;
  }
  std::optional<UTF8String> elementType = definition->mElementType;
  if (!elementType && definition->mType) {
    if (const auto type = TypeIdDefinition(*definition->mType)) elementType = type->mElementType;
  }
  return elementType && DoesElementConformToContainer(*elementType);
}

}  // namespace veltmetadata
