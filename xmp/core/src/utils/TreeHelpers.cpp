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

// Every node of `a` matches a different node of `b` (quadratic; the lists are short).
bool SameAnyOrder(const NodeList& a, const NodeList& b) {
  if (a.size() != b.size()) return false;
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
  XMPNode* schema = FindSchemaNode(root, ns, true);
  if (XMPNode* prop = schema->FindChild(name)) return *prop;
  return *schema->AddChild(name);
}

}  // namespace xmpcore::utils
