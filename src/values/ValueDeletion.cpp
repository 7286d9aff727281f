// DeleteValue and its bookkeeping: array items are emptied rather than removed, structures
// left without content by a deleted field go too, and deletions in a gathered object are
// recorded so that distributing it back can delete them in every file.

#include "registry/Assert.h"
#include "values/ValueSupport.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPIterator.h"
#include "xmp/SXMPUtils.h"

namespace veltmetadata {

using values::ReportInvalidData;

namespace {

constexpr const char* kDeletedProperties = "DeletedProperties";

// Whether the node at `path` lies on the way to (or is) the node at `target`.
bool LiesOnWayTo(const std::string& path, const std::string& target) {
  if (target.compare(0, path.size(), path) != 0) return false;
  return target.size() == path.size() || target[path.size()] == '/' ||
         target[path.size()] == '[';
}

// Visits the children of a container (the schema when `containerPath` is empty) and deletes,
// bottom-up, the composites on the way to `target` that hold nothing any more; array items
// are never deleted. Returns whether the container keeps content.
bool PruneEmptyComposites(SXMPMeta& meta, const std::string& ns, const std::string& containerPath,
                          bool containerIsArray, const std::string& target) {
  SXMPIterator children(meta, ns, containerPath, kXMP_IterJustChildren | kXMP_IterOmitQualifiers);
  std::string childPath;
  XMP_OptionBits options = 0;
  bool hasContent = false;
  while (children.Next(nullptr, &childPath, nullptr, &options)) {
    if (!(options & kXMP_PropCompositeMask) || !LiesOnWayTo(childPath, target)) {
      hasContent = true;
      continue;
    }
    const bool childIsArray = (options & kXMP_PropArrayFormMask) != 0;
    const bool childHasContent = PruneEmptyComposites(meta, ns, childPath, childIsArray, target);
    if (childHasContent || containerIsArray) return true;
    meta.DeleteProperty(ns, childPath);
  }
  return hasContent;
}

void RemoveEmptyStructures(SXMPMeta& meta, const Path& path) {
  const std::shared_ptr<SchemaDefinition> schema = NamespaceDefinition(path.mNamespace);
  if (!schema) {
    VELT_CHECK(false, "schema");
    return;
  }
  const std::string target = schema->mPrefix + ":" + path.mPathDescription;
  PruneEmptyComposites(meta, path.mNamespace, "", false, target);
}

}  // namespace

void MarkMultiValueDeleted(__XMPMeta__* inMeta, const Path& inPath) {
  if (!inMeta) return;
  try {
    SXMPMeta meta(inMeta);
    if (!meta.DoesPropertyExist(kTransientNamespace, "MultiFileCount")) return;
    if (!meta.DoesPropertyExist(kTransientNamespace, kDeletedProperties)) {
      meta.SetProperty(kTransientNamespace, kDeletedProperties, "", kXMP_PropValueIsArray);
    }
    meta.AppendArrayItem(kTransientNamespace, kDeletedProperties, kXMP_PropValueIsArray, "",
                         kXMP_PropValueIsStruct);
    const std::string last =
        SXMPUtils::ComposeArrayItemPath(kTransientNamespace, kDeletedProperties, -1);
    std::string prefix;
    SXMPMeta::GetNamespacePrefix(inPath.mNamespace, &prefix);
    meta.SetStructField(kTransientNamespace, last, kTransientNamespace, "DelURI",
                        inPath.mNamespace);
    meta.SetStructField(kTransientNamespace, last, kTransientNamespace, "DelPath",
                        prefix + inPath.mPathDescription);
  } catch (const XMP_Error& error) {
    ReportInvalidData(kReadingXMPError, inPath, error.GetErrMsg());
  } catch (...) {
    ReportInvalidData(kReadingXMPError, inPath, "");
  }
}

bool DeleteValue(__XMPMeta__* inMeta, const Path& inPath) {
  if (!inMeta) return false;
  try {
    SXMPMeta meta(inMeta);
    if (meta.HasMultipleValues(inPath.mNamespace, inPath.mPathDescription)) {
      meta.ClearMultipleValues(inPath.mNamespace, inPath.mPathDescription);
      MarkMultiValueDeleted(inMeta, inPath);
      return true;
    }
    if (!HasValue(inMeta, inPath)) return false;
    // An item keeps its place in the array: it is emptied, not removed.
    const std::shared_ptr<TypeDefinition> container = TypeIdDefinition(inPath.mParentId);
    if (container && IsArrayType(*container)) {
      std::string current;
      meta.GetProperty(inPath.mNamespace, inPath.mPathDescription, &current);
      if (current.empty()) return false;
      meta.SetProperty(inPath.mNamespace, inPath.mPathDescription, "");
      return true;
    }
    meta.DeleteProperty(inPath.mNamespace, inPath.mPathDescription);
    if (container && IsStructType(*container)) RemoveEmptyStructures(meta, inPath);
    MarkMultiValueDeleted(inMeta, inPath);
    return true;
  } catch (const XMP_Error& error) {
    ReportInvalidData(kWritingXMPError, inPath, error.GetErrMsg());
  } catch (...) {
    ReportInvalidData(kWritingXMPError, inPath, "");
  }
  return false;
}

}  // namespace veltmetadata
