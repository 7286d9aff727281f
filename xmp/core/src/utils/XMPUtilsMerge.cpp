// SXMPUtils: the merges used when several objects are shown as one: collecting them into one
// object (with differing properties marked as holding multiple values), distributing the
// collected object back to each source, and merging whole schemas from schema owners.

#include "xmp/SXMPUtils.h"

#include "TreeHelpers.h"
#include "XMPMetaObject.h"
#include "XMPNamespaces.h"

using xmpcore::XMPNode;
using xmpcore::utils::IsInternalSchema;
using xmpcore::utils::MarkMultiple;
using xmpcore::utils::SameData;
using xmpcore::utils::SchemaProperties;
using xmpcore::utils::TopLevelProperty;

namespace {

constexpr XMP_OptionBits kDataForm = kXMP_PropValueIsURI | kXMP_PropCompositeMask;
constexpr char kMultiFileCount[] = "MultiFileCount";

std::string CountPropertyName() {
  std::string prefix;
  if (!xmpcore::GetNamespacePrefix(kXMP_NS_Transient, &prefix)) {
    xmpcore::RegisterNamespace(kXMP_NS_Transient, "veltTransient", &prefix);
  }
  return prefix + kMultiFileCount;
}

// The number of objects collected into `root` so far (0 before the first).
long CollectedCount(const XMPNode& root, const std::string& countName) {
  const XMPNode* schema = root.FindChild(kXMP_NS_Transient);
  const XMPNode* count = schema ? schema->FindChild(countName) : nullptr;
  if (count == nullptr) return 0;
  try {
    return SXMPUtils::ConvertToInt(count->mValue);
  } catch (const XMP_Error&) {
    return 1;  // a damaged count still says that something was collected
  }
}

void AddMarked(XMPNode& parent, const XMPNode& like) {
  XMPNode* node = parent.AddChild(like.mName, {}, like.mOptions & kDataForm);
  MarkMultiple(*node);
}

// Merges one collected node with the same node of the next source.
void CollectNode(XMPNode& dest, const XMPNode& source) {
  if (dest.HasMultipleValues()) return;
  bool bothStructs = dest.IsStruct() && source.IsStruct() && !source.HasMultipleValues();
  if (!bothStructs) {
    if (!SameData(dest, source)) MarkMultiple(dest);
    return;
  }
  // Structures are compared field by field, so that agreeing fields keep their values.
  XMPNode bareDest(nullptr, dest.mName, {}, dest.mOptions & kDataForm);
  XMPNode bareSource(nullptr, source.mName, {}, source.mOptions & kDataForm);
  for (const auto& q : dest.mQualifiers)
    bareDest.mQualifiers.push_back(q->Clone(&bareDest));
  for (const auto& q : source.mQualifiers) {
    bareSource.mQualifiers.push_back(q->Clone(&bareSource));
  }
  if (!SameData(bareDest, bareSource)) {
    MarkMultiple(dest);
    return;
  }
  for (const auto& field : dest.mChildren) {
    const XMPNode* other = source.FindChild(field->mName);
    if (other == nullptr) {
      MarkMultiple(*field);
    } else {
      CollectNode(*field, *other);
    }
  }
  for (const auto& field : source.mChildren) {
    if (dest.FindChild(field->mName) == nullptr) AddMarked(dest, *field);
  }
}

void CopyWhole(const XMPNode& sourceRoot, XMPNode& destRoot) {
  for (const auto& schema : sourceRoot.mChildren) {
    if (IsInternalSchema(schema->mName)) continue;
    SchemaProperties dest(destRoot, schema->mName);
    for (const auto& prop : schema->mChildren) {
      dest.FindOrAdd(prop->mName).CopyContentsFrom(*prop);
    }
  }
}

void CollectNext(const XMPNode& sourceRoot, XMPNode& destRoot) {
  for (const auto& schema : destRoot.mChildren) {
    if (IsInternalSchema(schema->mName)) continue;
    const SchemaProperties source(sourceRoot, schema->mName);
    for (const auto& prop : schema->mChildren) {
      if (const XMPNode* other = source.Find(prop->mName)) {
        CollectNode(*prop, *other);
      } else {
        MarkMultiple(*prop);
      }
    }
  }
  for (const auto& schema : sourceRoot.mChildren) {
    if (IsInternalSchema(schema->mName)) continue;
    SchemaProperties dest(destRoot, schema->mName);
    for (const auto& prop : schema->mChildren) {
      if (dest.Find(prop->mName) == nullptr) {
        XMPNode& added = dest.FindOrAdd(prop->mName);
        added.mOptions = prop->mOptions & kDataForm;
        MarkMultiple(added);
      }
    }
  }
}

bool ContainsMarked(const XMPNode& node) {
  if (node.HasMultipleValues()) return true;
  for (const auto& child : node.mChildren) {
    if (ContainsMarked(*child)) return true;
  }
  return false;
}

// A copy of `node` without its marked fields and without a mark of its own.
std::unique_ptr<XMPNode> PrunedCopy(const XMPNode& node) {
  auto copy = node.Clone(nullptr);
  copy->mOptions &= ~kXMP_PropHasMultipleValues;
  std::vector<const XMPNode*> doomed;
  for (const auto& child : copy->mChildren) {
    if (child->HasMultipleValues() && child->mChildren.empty()) doomed.push_back(child.get());
  }
  for (const XMPNode* child : doomed)
    copy->RemoveChild(child);
  for (auto& child : copy->mChildren) {
    if (ContainsMarked(*child)) child->CopyContentsFrom(*PrunedCopy(*child));
  }
  return copy;
}

// True for a marked node that holds nothing: the objects' own values stand.
bool IsUntouchedMark(const XMPNode& node) {
  return node.HasMultipleValues() && node.mChildren.empty();
}

// Brings an unmarked source node into the destination node, keeping the destination's own
// values where the source holds multiple values. A marked structure that was given fields
// since (an edit below a structure the objects do not all have) brings those fields.
void DistributeInto(XMPNode& dest, const XMPNode& source) {
  if (!ContainsMarked(source)) {
    dest.CopyContentsFrom(source);
    return;
  }
  const bool destHolds = !dest.mValue.empty() || !dest.mChildren.empty() || dest.IsComposite();
  if (!dest.IsStruct() || !source.IsStruct()) {
    if (source.HasMultipleValues() && destHolds) return;  // keep the object's own value
    dest.CopyContentsFrom(*PrunedCopy(source));
    return;
  }
  if (!source.HasMultipleValues()) {
    dest.ClearQualifiers();
    for (const auto& q : source.mQualifiers)
      dest.AddQualifier(q->mName, q->mValue, q->mOptions);
  }
  for (const auto& field : source.mChildren) {
    if (IsUntouchedMark(*field)) continue;
    XMPNode* target = dest.FindChild(field->mName);
    if (target == nullptr) target = dest.AddChild(field->mName);
    DistributeInto(*target, *field);
  }
}

bool IsEmptySimple(const XMPNode& node) {
  return !node.IsComposite() && node.mValue.empty();
}

}  // namespace

void SXMPUtils::CollectProperties(const SXMPMeta& source, SXMPMeta* dest,
                                  [[maybe_unused]] XMP_OptionBits options) {
  if (dest == nullptr) throw XMP_Error(kXMPErr_BadParam, "null destination for collecting");
  XMPNode& destRoot = xmpcore::Tree(*dest);
  const XMPNode& sourceRoot = xmpcore::Tree(source);
  if (&destRoot == &sourceRoot) {
    throw XMP_Error(kXMPErr_BadParam, "an object cannot be collected into itself");
  }
  std::string countName = CountPropertyName();
  long count = CollectedCount(destRoot, countName);
  if (count == 0) {
    CopyWhole(sourceRoot, destRoot);
  } else {
    CollectNext(sourceRoot, destRoot);
  }
  XMPNode& countNode = TopLevelProperty(destRoot, kXMP_NS_Transient, countName);
  countNode.mValue = SXMPUtils::ConvertFromInt64(count + 1);
}

void SXMPUtils::DistributeProperties(const SXMPMeta& source, SXMPMeta* dest,
                                     XMP_OptionBits options) {
  if (dest == nullptr) throw XMP_Error(kXMPErr_BadParam, "null destination for distributing");
  XMPNode& destRoot = xmpcore::Tree(*dest);
  const XMPNode& sourceRoot = xmpcore::Tree(source);
  if (&destRoot == &sourceRoot) return;
  bool deleteEmpty = (options & kXMPUtil_DeleteEmptyValues) != 0;
  for (const auto& schema : sourceRoot.mChildren) {
    if (IsInternalSchema(schema->mName)) continue;
    SchemaProperties dest(destRoot, schema->mName);
    for (const auto& prop : schema->mChildren) {
      if (IsUntouchedMark(*prop)) continue;
      if (deleteEmpty && IsEmptySimple(*prop)) {
        dest.Remove(prop->mName);
      } else {
        DistributeInto(dest.FindOrAdd(prop->mName), *prop);
      }
    }
  }
}

void SXMPUtils::MergeSchemas(const SXMPMeta& source, SXMPMeta* dest, XMP_OptionBits options) {
  if (dest == nullptr) throw XMP_Error(kXMPErr_BadParam, "null destination for merging");
  XMPNode& destRoot = xmpcore::Tree(*dest);
  const XMPNode& sourceRoot = xmpcore::Tree(source);
  if (&destRoot == &sourceRoot) return;
  bool all = (options & kXMPUtil_DoAllProperties) != 0;
  bool replace = (options & kXMPUtil_ReplaceOldValues) != 0;
  bool deleteEmpty = (options & kXMPUtil_DeleteEmptyValues) != 0;
  for (const auto& schema : sourceRoot.mChildren) {
    if (!all && IsInternalSchema(schema->mName)) continue;
    SchemaProperties dest(destRoot, schema->mName);
    for (const auto& prop : schema->mChildren) {
      if (deleteEmpty && IsEmptySimple(*prop)) {
        dest.Remove(prop->mName);
      } else if (replace || dest.Find(prop->mName) == nullptr) {
        dest.FindOrAdd(prop->mName).CopyContentsFrom(*prop);
      }
    }
  }
}
