#pragma once

// The node model of an XMP object. A tree root holds schema nodes (one per namespace URI);
// schema nodes hold top-level properties; composite nodes hold fields or array items; any
// non-schema node may hold qualifiers.
//
// Names: a schema node's name is its namespace URI and its value the registered prefix with
// ':'. Properties, fields and qualifiers are named "prefix:local" with the registered prefix.
// Array items are named "[]" (kXMP_ArrayItemName).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xmp/XMP_Const.h"

namespace xmpcore {

class XMPNode {
 public:
  XMPNode() = default;
  XMPNode(XMPNode* parent, std::string name, std::string value, XMP_OptionBits options)
      : mName(std::move(name)), mValue(std::move(value)), mOptions(options), mParent(parent) {}
  XMPNode(const XMPNode&) = delete;
  XMPNode& operator=(const XMPNode&) = delete;
  // Frees the subtree without recursion, so that no tree is too deep to free.
  ~XMPNode();

  std::string mName;
  std::string mValue;
  XMP_OptionBits mOptions = 0;
  XMPNode* mParent = nullptr;
  std::vector<std::unique_ptr<XMPNode>> mChildren;
  std::vector<std::unique_ptr<XMPNode>> mQualifiers;

  bool IsSchema() const { return (mOptions & kXMP_SchemaNode) != 0; }
  bool IsStruct() const { return (mOptions & kXMP_PropValueIsStruct) != 0; }
  bool IsArray() const { return (mOptions & kXMP_PropValueIsArray) != 0; }
  bool IsAltText() const { return (mOptions & kXMP_PropArrayIsAltText) != 0; }
  bool IsComposite() const { return (mOptions & kXMP_PropCompositeMask) != 0; }
  bool IsQualifier() const { return (mOptions & kXMP_PropIsQualifier) != 0; }
  bool HasMultipleValues() const { return (mOptions & kXMP_PropHasMultipleValues) != 0; }

  // The child / qualifier with this name, or null.
  XMPNode* FindChild(std::string_view name) const;
  XMPNode* FindQualifier(std::string_view name) const;
  // Index of `child` among mChildren (or mQualifiers), or -1.
  long IndexOfChild(const XMPNode* child) const;

  // Appends a child and returns it.
  XMPNode* AddChild(std::string name, std::string value = {}, XMP_OptionBits options = 0);
  // Inserts a child at `position` (0-based, <= size) and returns it.
  XMPNode* InsertChild(size_t position, std::string name, std::string value = {},
                       XMP_OptionBits options = 0);
  // Adds a qualifier, keeping xml:lang first and rdf:type next, and updates this node's
  // kXMP_PropHasQualifiers / HasLang / HasType bits.
  XMPNode* AddQualifier(std::string name, std::string value, XMP_OptionBits options = 0);
  // Makes `qualifier` (a detached node) a qualifier of this node, with the same ordering.
  XMPNode* AdoptQualifier(std::unique_ptr<XMPNode> qualifier);
  // Makes `child` (a detached node) the last child of this node and sets its parent: every
  // node that changes parent goes through here or AdoptQualifier.
  XMPNode* AdoptChild(std::unique_ptr<XMPNode> child);
  // Moves all children of `donor` (another node) to the end of this node's children.
  void AdoptChildrenOf(XMPNode& donor);
  // Removes a child / qualifier by pointer (no-op when it is not one); updates the bits.
  void RemoveChild(const XMPNode* child);
  void RemoveQualifier(const XMPNode* qualifier);
  // Removes every child and qualifier.
  void ClearChildren();
  void ClearQualifiers();

  // A deep copy of this node (children and qualifiers) with `parent` as its parent, made
  // without recursion.
  std::unique_ptr<XMPNode> Clone(XMPNode* parent) const;
  // Replaces this node's value, options, children and qualifiers by deep copies of `source`'s
  // (the name and parent stay).
  void CopyContentsFrom(const XMPNode& source);

  // The xml:lang of this node, or empty.
  std::string_view Language() const;
};

// True when both subtrees have the same names, values, form options (URI and composite bits),
// qualifiers and children: array items in the same order, named children (properties,
// fields) in any order. Compared without recursion.
bool NodesEqual(const XMPNode& a, const XMPNode& b);

// What a lookup does when the node it looks for is missing.
enum class Missing {
  kNull,    // returns null
  kCreate,  // creates it
};

// The schema node for `ns` under `root`; with Missing::kCreate, a missing one is created with
// the registered prefix (kXMPErr_BadSchema when the namespace is not registered). Null
// otherwise.
XMPNode* FindSchemaNode(XMPNode& root, std::string_view ns, Missing missing);

// Removes `node` from its parent, and then a schema node left with no children.
void DeleteNode(XMPNode* node);

// The deepest data tree a caller may build and a packet may hold: levels below the schema
// (a top-level property is level 1, each field, item and qualifier one more). Written out,
// such a tree stays well within the element nesting the parser accepts.
inline constexpr int kMaxNodeDepth = 128;

// The level of `node` in its tree as counted for kMaxNodeDepth (0 for a root or schema).
int NodeDepth(const XMPNode& node);
// Raise XMP_Error kXMPErr_BadXPath when a node at level `depth`, or a child of `parent`,
// would be deeper than kMaxNodeDepth.
void RequireDepth(size_t depth);
void RequireRoomForChild(const XMPNode& parent);
// The number of levels of the subtree below `node` (0 for a leaf), found without recursion.
int SubtreeHeight(const XMPNode& node);

}  // namespace xmpcore
