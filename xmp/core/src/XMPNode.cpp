#include "XMPNode.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "HashIndex.h"
#include "XMPNamespaces.h"

namespace xmpcore {
namespace {

constexpr std::string_view kXmlLang = "xml:lang";
constexpr std::string_view kRdfType = "rdf:type";

XMPNode* FindIn(const std::vector<std::unique_ptr<XMPNode>>& nodes, std::string_view name) {
  for (const auto& node : nodes) {
    if (node->mName == name) return node.get();
  }
  return nullptr;
}

void RefreshQualifierBits(XMPNode& node) {
  node.mOptions &= ~(kXMP_PropHasQualifiers | kXMP_PropHasLang | kXMP_PropHasType);
  if (node.mQualifiers.empty()) return;
  node.mOptions |= kXMP_PropHasQualifiers;
  for (const auto& q : node.mQualifiers) {
    if (q->mName == kXmlLang) node.mOptions |= kXMP_PropHasLang;
    if (q->mName == kRdfType) node.mOptions |= kXMP_PropHasType;
  }
}

// Options that make two nodes different; bookkeeping bits (qualifier presence, the
// multiple-values mark) are derived or transient.
constexpr XMP_OptionBits kFormBits = kXMP_PropValueIsURI | kXMP_PropCompositeMask;

using NodePairs = std::vector<std::pair<const XMPNode*, const XMPNode*>>;

// Pairs up the nodes of two lists for comparison, or returns false when they cannot match.
// Array items pair in order; named nodes (fields, properties, schemas, qualifiers) by name,
// since their order carries no meaning.
enum class Pairing { kInOrder, kByName };

bool PairLists(const std::vector<std::unique_ptr<XMPNode>>& a,
               const std::vector<std::unique_ptr<XMPNode>>& b, Pairing pairing, NodePairs& pairs) {
  if (a.size() != b.size()) return false;
  std::unordered_map<std::string_view, const XMPNode*, TextHasher>
      byName;  // b's nodes, once out of order
  for (size_t i = 0; i < a.size(); ++i) {
    if (pairing == Pairing::kInOrder || a[i]->mName == b[i]->mName) {
      pairs.emplace_back(a[i].get(), b[i].get());
      continue;
    }
    if (byName.empty()) {
      for (const auto& node : b)
        byName.emplace(node->mName, node.get());
    }
    auto match = byName.find(a[i]->mName);
    if (match == byName.end()) return false;
    pairs.emplace_back(a[i].get(), match->second);
  }
  return true;
}

}  // namespace

XMPNode::~XMPNode() {
  if (mChildren.empty() && mQualifiers.empty()) return;
  // Detach every descendant into one list before any is destroyed: each then frees with
  // empty lists of its own.
  std::vector<std::unique_ptr<XMPNode>> pending;
  auto take = [&pending](std::vector<std::unique_ptr<XMPNode>>& nodes) {
    for (auto& node : nodes) {
      if (node) pending.push_back(std::move(node));  // moved-from entries are null
    }
    nodes.clear();
  };
  take(mChildren);
  take(mQualifiers);
  for (size_t i = 0; i < pending.size(); ++i) {
    take(pending[i]->mChildren);
    take(pending[i]->mQualifiers);
  }
}

XMPNode* XMPNode::FindChild(std::string_view name) const {
  return FindIn(mChildren, name);
}

XMPNode* XMPNode::FindQualifier(std::string_view name) const {
  return FindIn(mQualifiers, name);
}

long XMPNode::IndexOfChild(const XMPNode* child) const {
  const auto& list = child && child->IsQualifier() ? mQualifiers : mChildren;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].get() == child) return static_cast<long>(i);
  }
  return -1;
}

XMPNode* XMPNode::AddChild(std::string name, std::string value, XMP_OptionBits options) {
  mChildren.push_back(std::make_unique<XMPNode>(this, std::move(name), std::move(value), options));
  return mChildren.back().get();
}

XMPNode* XMPNode::InsertChild(size_t position, std::string name, std::string value,
                              XMP_OptionBits options) {
  position = std::min(position, mChildren.size());
  auto it =
      mChildren.insert(mChildren.begin() + static_cast<long>(position),
                       std::make_unique<XMPNode>(this, std::move(name), std::move(value), options));
  return it->get();
}

XMPNode* XMPNode::AddQualifier(std::string name, std::string value, XMP_OptionBits options) {
  return AdoptQualifier(
      std::make_unique<XMPNode>(this, std::move(name), std::move(value), options));
}

XMPNode* XMPNode::AdoptQualifier(std::unique_ptr<XMPNode> node) {
  size_t position = mQualifiers.size();
  if (node->mName == kXmlLang) {
    position = 0;
  } else if (node->mName == kRdfType) {
    position = (!mQualifiers.empty() && mQualifiers[0]->mName == kXmlLang) ? 1 : 0;
  }
  node->mParent = this;
  node->mOptions |= kXMP_PropIsQualifier;
  mOptions |= kXMP_PropHasQualifiers;
  if (node->mName == kXmlLang) mOptions |= kXMP_PropHasLang;
  if (node->mName == kRdfType) mOptions |= kXMP_PropHasType;
  XMPNode* raw = node.get();
  mQualifiers.insert(mQualifiers.begin() + static_cast<long>(position), std::move(node));
  return raw;
}

XMPNode* XMPNode::AdoptChild(std::unique_ptr<XMPNode> child) {
  child->mParent = this;
  mChildren.push_back(std::move(child));
  return mChildren.back().get();
}

void XMPNode::AdoptChildrenOf(XMPNode& donor) {
  if (&donor == this) return;
  mChildren.reserve(mChildren.size() + donor.mChildren.size());
  for (auto& child : donor.mChildren)
    AdoptChild(std::move(child));
  donor.mChildren.clear();
}

void XMPNode::RemoveChild(const XMPNode* child) {
  auto it = std::find_if(mChildren.begin(), mChildren.end(),
                         [child](const auto& c) { return c.get() == child; });
  if (it != mChildren.end()) mChildren.erase(it);
}

void XMPNode::RemoveQualifier(const XMPNode* qualifier) {
  auto it = std::find_if(mQualifiers.begin(), mQualifiers.end(),
                         [qualifier](const auto& q) { return q.get() == qualifier; });
  if (it == mQualifiers.end()) return;
  mQualifiers.erase(it);
  RefreshQualifierBits(*this);
}

void XMPNode::ClearChildren() {
  mChildren.clear();
}

void XMPNode::ClearQualifiers() {
  mQualifiers.clear();
  RefreshQualifierBits(*this);
}

std::unique_ptr<XMPNode> XMPNode::Clone(XMPNode* parent) const {
  auto root = std::make_unique<XMPNode>(parent, mName, mValue, mOptions);
  std::vector<std::pair<const XMPNode*, XMPNode*>> pending{{this, root.get()}};
  auto copyList = [&pending](const std::vector<std::unique_ptr<XMPNode>>& from,
                             std::vector<std::unique_ptr<XMPNode>>& to, XMPNode* owner) {
    to.reserve(from.size());
    for (const auto& node : from) {
      to.push_back(std::make_unique<XMPNode>(owner, node->mName, node->mValue, node->mOptions));
      pending.emplace_back(node.get(), to.back().get());
    }
  };
  while (!pending.empty()) {
    auto [source, copy] = pending.back();
    pending.pop_back();
    copyList(source->mChildren, copy->mChildren, copy);
    copyList(source->mQualifiers, copy->mQualifiers, copy);
  }
  return root;
}

void XMPNode::CopyContentsFrom(const XMPNode& source) {
  if (&source == this) return;
  auto copy = source.Clone(nullptr);  // copy first: source may live below this node
  mValue = std::move(copy->mValue);
  mOptions = (copy->mOptions & ~kXMP_PropIsQualifier) | (mOptions & kXMP_PropIsQualifier);
  mChildren.clear();
  mQualifiers.clear();
  AdoptChildrenOf(*copy);
  for (auto& q : copy->mQualifiers)
    AdoptQualifier(std::move(q));
}

std::string_view XMPNode::Language() const {
  if (!mQualifiers.empty() && mQualifiers[0]->mName == kXmlLang) return mQualifiers[0]->mValue;
  return {};
}

bool NodesEqual(const XMPNode& a, const XMPNode& b) {
  NodePairs pending{{&a, &b}};
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if (x->mName != y->mName || x->mValue != y->mValue ||
        (x->mOptions & kFormBits) != (y->mOptions & kFormBits) ||
        !PairLists(x->mQualifiers, y->mQualifiers, Pairing::kByName, pending) ||
        !PairLists(x->mChildren, y->mChildren, x->IsArray() ? Pairing::kInOrder : Pairing::kByName,
                   pending)) {
      return false;
    }
  }
  return true;
}

XMPNode* FindSchemaNode(XMPNode& root, std::string_view ns, Missing missing) {
  if (XMPNode* schema = root.FindChild(ns)) return schema;
  if (missing == Missing::kNull) return nullptr;
  std::string prefix;
  if (!GetNamespacePrefix(ns, &prefix)) {
    throw XMP_Error(kXMPErr_BadSchema, "namespace '" + std::string(ns) + "' is not registered");
  }
  return root.AddChild(std::string(ns), prefix, kXMP_SchemaNode);
}

void DeleteNode(XMPNode* node) {
  XMPNode* parent = node->mParent;
  if (!parent) return;
  if (node->IsQualifier()) {
    parent->RemoveQualifier(node);
  } else {
    parent->RemoveChild(node);
  }
  if (parent->IsSchema() && parent->mChildren.empty() && parent->mParent) {
    parent->mParent->RemoveChild(parent);
  }
}

int NodeDepth(const XMPNode& node) {
  int depth = 0;
  for (const XMPNode* n = &node; n->mParent && !n->IsSchema(); n = n->mParent)
    ++depth;
  return depth;
}

void RequireDepth(size_t depth) {
  if (depth > static_cast<size_t>(kMaxNodeDepth)) {
    throw XMP_Error(kXMPErr_BadXPath, "properties may not be nested deeper than " +
                                          std::to_string(kMaxNodeDepth) + " levels");
  }
}

void RequireRoomForChild(const XMPNode& parent) {
  RequireDepth(static_cast<size_t>(NodeDepth(parent)) + 1);
}

int SubtreeHeight(const XMPNode& node) {
  int height = 0;
  std::vector<std::pair<const XMPNode*, int>> pending{{&node, 0}};
  while (!pending.empty()) {
    auto [n, level] = pending.back();
    pending.pop_back();
    height = std::max(height, level);
    for (const auto& child : n->mChildren)
      pending.emplace_back(child.get(), level + 1);
    for (const auto& q : n->mQualifiers)
      pending.emplace_back(q.get(), level + 1);
  }
  return height;
}

}  // namespace xmpcore
