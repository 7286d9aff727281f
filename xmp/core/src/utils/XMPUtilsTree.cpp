// SXMPUtils: whole-object operations: templates, removing properties, copying subtrees.

#include "xmp/SXMPUtils.h"

#include "TreeHelpers.h"
#include "XMPMetaObject.h"
#include "XMPNamespaces.h"
#include "XMPPath.h"

using xmpcore::Missing;
using xmpcore::XMPNode;

namespace {

bool IsEmptySimple(const XMPNode& node) {
  return !node.IsComposite() && node.mValue.empty();
}

// True when applying `templ` deletes the existing working node: an empty template value with
// ReplaceExistingProperties and ReplaceWithDeleteEmpty.
bool DeletesExisting(const XMPNode& working, const XMPNode& templ, XMP_OptionBits actions) {
  if (working.IsStruct() && templ.IsStruct()) return false;
  constexpr XMP_OptionBits kDeleteEmpty =
      kXMPTemplate_ReplaceExistingProperties | kXMPTemplate_ReplaceWithDeleteEmpty;
  return (actions & kDeleteEmpty) == kDeleteEmpty && IsEmptySimple(templ);
}

// Applies one template node to the matching working node (both exist; the caller has handled
// a deletion of `working` itself).
void ApplyToExisting(XMPNode& working, const XMPNode& templ, XMP_OptionBits actions) {
  if (working.IsStruct() && templ.IsStruct()) {
    for (const auto& field : templ.mChildren) {
      XMPNode* target = working.FindChild(field->mName);
      if (target != nullptr && DeletesExisting(*target, *field, actions)) {
        xmpcore::DeleteNode(target);
      } else if (target != nullptr) {
        ApplyToExisting(*target, *field, actions);
      } else if (actions & kXMPTemplate_AddNewProperties) {
        working.AddChild(field->mName)->CopyContentsFrom(*field);
      }
    }
    return;
  }
  if (actions & kXMPTemplate_ReplaceExistingProperties) working.CopyContentsFrom(templ);
}

void ClearUnnamed(XMPNode& workingRoot, const XMPNode& templRoot, bool includeInternal) {
  std::vector<XMPNode*> doomed;
  for (const auto& schema : workingRoot.mChildren) {
    if (!includeInternal && xmpcore::utils::IsInternalSchema(schema->mName)) continue;
    const xmpcore::utils::SchemaProperties templ(templRoot, schema->mName);
    for (const auto& prop : schema->mChildren) {
      if (templ.Find(prop->mName) == nullptr) doomed.push_back(prop.get());
    }
  }
  for (XMPNode* node : doomed)
    xmpcore::DeleteNode(node);
}

// The destination path for a copy: `destRoot`, or the source's path with its first step moved
// into the destination schema's prefix when only the schema changes.
std::string DestinationPath(const std::string& sourceNS, const std::string& sourceRoot,
                            const std::string& destNS, const std::string& destRoot) {
  if (!destRoot.empty() || destNS == sourceNS) return destRoot.empty() ? sourceRoot : destRoot;
  std::string prefix;
  if (!xmpcore::GetNamespacePrefix(destNS, &prefix)) {
    throw XMP_Error(kXMPErr_BadSchema, "namespace '" + destNS + "' is not registered");
  }
  size_t colon = sourceRoot.find(':');
  return colon == std::string::npos ? sourceRoot : prefix + sourceRoot.substr(colon + 1);
}

void DuplicateSchema(XMPNode& sourceTree, XMPNode& destTree, const std::string& sourceNS,
                     const std::string& destNS) {
  XMPNode* source = xmpcore::FindSchemaNode(sourceTree, sourceNS, Missing::kNull);
  if (source == nullptr) {
    throw XMP_Error(kXMPErr_BadXPath, "the source has no properties in '" + sourceNS + "'");
  }
  auto copy = source->Clone(nullptr);  // the destination may be the same schema
  std::string destPrefix;
  if (!xmpcore::GetNamespacePrefix(destNS, &destPrefix)) {
    throw XMP_Error(kXMPErr_BadSchema, "namespace '" + destNS + "' is not registered");
  }
  xmpcore::utils::SchemaProperties dest(destTree, destNS);
  for (auto& prop : copy->mChildren) {
    std::string name = prop->mName;
    if (sourceNS != destNS) name = destPrefix + name.substr(name.find(':') + 1);
    dest.FindOrAdd(name).CopyContentsFrom(*prop);
  }
}

}  // namespace

void SXMPUtils::ApplyTemplate(SXMPMeta* working, const SXMPMeta& templ, XMP_OptionBits actions) {
  if (working == nullptr) throw XMP_Error(kXMPErr_BadParam, "null object for ApplyTemplate");
  constexpr XMP_OptionBits kKnown =
      kXMPTemplate_IncludeInternalProperties | kXMPTemplate_ReplaceExistingProperties |
      kXMPTemplate_ReplaceWithDeleteEmpty | kXMPTemplate_AddNewProperties |
      kXMPTemplate_ClearUnnamedProperties;
  if (actions & ~kKnown) {
    throw XMP_Error(kXMPErr_BadOptions,
                    "unknown template actions " + xmpcore::utils::Hex(actions & ~kKnown));
  }
  XMPNode& workingRoot = xmpcore::Tree(*working);
  const XMPNode& templRoot = xmpcore::Tree(templ);
  if (&workingRoot == &templRoot) return;  // a template applied to itself changes nothing
  bool includeInternal = (actions & kXMPTemplate_IncludeInternalProperties) != 0;
  if (actions & kXMPTemplate_ClearUnnamedProperties) {
    ClearUnnamed(workingRoot, templRoot, includeInternal);
  }
  for (const auto& templSchema : templRoot.mChildren) {
    if (!includeInternal && xmpcore::utils::IsInternalSchema(templSchema->mName)) continue;
    xmpcore::utils::SchemaProperties target(workingRoot, templSchema->mName);
    for (const auto& prop : templSchema->mChildren) {
      XMPNode* existing = target.Find(prop->mName);
      if (existing != nullptr && DeletesExisting(*existing, *prop, actions)) {
        target.Remove(prop->mName);  // keeps the lookup valid when the schema goes away
      } else if (existing != nullptr) {
        ApplyToExisting(*existing, *prop, actions);
      } else if ((actions & kXMPTemplate_AddNewProperties) &&
                 (!(actions & kXMPTemplate_ReplaceWithDeleteEmpty) || !IsEmptySimple(*prop))) {
        target.FindOrAdd(prop->mName).CopyContentsFrom(*prop);
      }
    }
  }
}

void SXMPUtils::RemoveProperties(SXMPMeta* meta, const std::string& schemaNS,
                                 const std::string& propName, XMP_OptionBits options) {
  if (meta == nullptr) throw XMP_Error(kXMPErr_BadParam, "null object for RemoveProperties");
  XMPNode& root = xmpcore::Tree(*meta);
  if (!propName.empty()) {
    if (schemaNS.empty()) {
      throw XMP_Error(kXMPErr_BadParam,
                      "property '" + propName + "' is given without its schema namespace");
    }
    if (XMPNode* node = xmpcore::FindNode(root, schemaNS, propName, Missing::kNull)) {
      xmpcore::DeleteNode(node);
    }
    return;
  }
  if (!schemaNS.empty()) {
    if (XMPNode* schema = xmpcore::FindSchemaNode(root, schemaNS, Missing::kNull)) {
      root.RemoveChild(schema);
    }
    return;
  }
  bool all = (options & kXMPUtil_DoAllProperties) != 0;
  std::vector<XMPNode*> doomed;
  for (const auto& schema : root.mChildren) {
    if (all || !xmpcore::utils::IsInternalSchema(schema->mName)) doomed.push_back(schema.get());
  }
  for (XMPNode* schema : doomed)
    root.RemoveChild(schema);
}

void SXMPUtils::DuplicateSubtree(const SXMPMeta& source, SXMPMeta* dest,
                                 const std::string& sourceNS, const std::string& sourceRoot,
                                 const std::string& destNS, const std::string& destRoot,
                                 [[maybe_unused]] XMP_OptionBits options) {
  if (dest == nullptr) throw XMP_Error(kXMPErr_BadParam, "null destination for DuplicateSubtree");
  if (sourceNS.empty()) throw XMP_Error(kXMPErr_BadSchema, "empty source schema namespace");
  XMPNode& sourceTree = xmpcore::Tree(source);
  XMPNode& destTree = xmpcore::Tree(*dest);
  const std::string& targetNS = destNS.empty() ? sourceNS : destNS;
  if (sourceRoot.empty()) {
    if (!destRoot.empty()) {
      throw XMP_Error(kXMPErr_BadParam,
                      "a whole schema cannot be copied into the property '" + destRoot + "'");
    }
    DuplicateSchema(sourceTree, destTree, sourceNS, targetNS);
    return;
  }
  const XMPNode* from = xmpcore::FindNode(sourceTree, sourceNS, sourceRoot, Missing::kNull);
  if (from == nullptr) {
    throw XMP_Error(kXMPErr_BadXPath, "the source has no property '" + sourceRoot + "'");
  }
  std::string targetPath = DestinationPath(sourceNS, sourceRoot, targetNS, destRoot);
  // Copy first: the destination may be created inside the source subtree, or contain it.
  auto copy = from->Clone(nullptr);
  XMPNode* to = xmpcore::FindNode(destTree, targetNS, targetPath, Missing::kCreate,
                                  copy->mOptions & (kXMP_PropCompositeMask | kXMP_PropValueIsURI));
  to->CopyContentsFrom(*copy);
}
