#include "TreeHelpers.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace xmpcore::utils {
namespace {

constexpr XMP_OptionBits kDataForm = kXMP_PropValueIsURI | kXMP_PropCompositeMask;

using NodeList = std::vector<std::unique_ptr<XMPNode>>;

bool SameInOrder(const NodeList& a, const NodeList& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& x, const auto& y) { return SameData(*x, *y); });
}

bool IsPlainItem(const XMPNode& node) {
  return !node.IsComposite() && node.mQualifiers.empty() && !node.HasMultipleValues();
}

// The name, value and form of plain nodes, sorted: equal lists hold the same nodes.
std::vector<std::string> SortedKeys(const NodeList& nodes) {
  std::vector<std::string> keys;
  keys.reserve(nodes.size());
  for (const auto& node : nodes) {
    keys.push_back(node->mName + '\0' + std::to_string(node->mOptions & kDataForm) + '\0' +
                   node->mValue);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

// Every node of `a` matches a different node of `b`. The same order is tried first (the
// usual case), then sorting for plain values (large keyword bags), then pairwise matching.
bool SameAnyOrder(const NodeList& a, const NodeList& b) {
  if (a.size() != b.size()) return false;
  if (SameInOrder(a, b)) return true;
  auto plain = [](const NodeList& list) {
    return std::all_of(list.begin(), list.end(), [](const auto& n) { return IsPlainItem(*n); });
  };
  if (plain(a) && plain(b)) return SortedKeys(a) == SortedKeys(b);
  std::vector<bool> used(b.size(), false);
  for (const auto& x : a) {
    bool found = false;
    for (size_t i = 0; i < b.size() && !found; ++i) {
      if (!used[i] && SameData(*x, *b[i])) found = used[i] = true;
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace

bool IsInternalSchema(std::string_view ns) {
  return ns == kXMP_NS_Transient;
}

std::string Hex(XMP_OptionBits value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

bool SameData(const XMPNode& a, const XMPNode& b) {
  if (a.HasMultipleValues() || b.HasMultipleValues()) return false;
  if (a.mName != b.mName || a.mValue != b.mValue) return false;
  if ((a.mOptions & kDataForm) != (b.mOptions & kDataForm)) return false;
  if (!SameAnyOrder(a.mQualifiers, b.mQualifiers)) return false;
  bool ordered =
      a.IsArray() && (a.mOptions & (kXMP_PropArrayIsOrdered | kXMP_PropArrayIsAlternate)) != 0;
  return ordered ? SameInOrder(a.mChildren, b.mChildren) : SameAnyOrder(a.mChildren, b.mChildren);
}

void MarkMultiple(XMPNode& node) {
  node.mValue.clear();
  node.ClearChildren();
  node.ClearQualifiers();
  node.mOptions |= kXMP_PropHasMultipleValues;
}

XMPNode& TopLevelProperty(XMPNode& root, const std::string& ns, const std::string& name) {
  XMPNode* schema = FindSchemaNode(root, ns, Missing::kCreate);
  if (XMPNode* prop = schema->FindChild(name)) return *prop;
  return *schema->AddChild(name);
}

SchemaProperties::SchemaProperties(XMPNode& root, const std::string& ns)
    : SchemaProperties(static_cast<const XMPNode&>(root), ns) {
  mRoot = &root;
}

SchemaProperties::SchemaProperties(const XMPNode& root, const std::string& ns)
    : mRoot(nullptr), mNamespace(ns), mSchema(root.FindChild(ns)) {
  if (mSchema == nullptr) return;
  mByName.reserve(mSchema->mChildren.size());
  for (const auto& prop : mSchema->mChildren)
    mByName.emplace(prop->mName, prop.get());
}

XMPNode* SchemaProperties::Find(std::string_view name) const {
  auto it = mByName.find(name);
  return it == mByName.end() ? nullptr : it->second;
}

XMPNode& SchemaProperties::FindOrAdd(const std::string& name) {
  if (XMPNode* prop = Find(name)) return *prop;
  if (mRoot == nullptr) throw XMP_Error(kXMPErr_InternalFailure, "adding to a read-only schema");
  if (mSchema == nullptr) mSchema = FindSchemaNode(*mRoot, mNamespace, Missing::kCreate);
  XMPNode* prop = mSchema->AddChild(name);
  mByName.emplace(prop->mName, prop);
  return *prop;
}

void SchemaProperties::Remove(std::string_view name) {
  if (mRoot == nullptr)
    throw XMP_Error(kXMPErr_InternalFailure, "removing from a read-only schema");
  auto it = mByName.find(name);
  if (it == mByName.end()) return;
  XMPNode* prop = it->second;
  mByName.erase(it);
  DeleteNode(prop);
  if (mByName.empty()) mSchema = mRoot->FindChild(mNamespace);  // DeleteNode drops it
}

}  // namespace xmpcore::utils
