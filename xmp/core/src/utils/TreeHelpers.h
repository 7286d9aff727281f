#pragma once

// Small helpers shared by the utilities that walk whole objects.

#include <string>
#include <string_view>
#include <unordered_map>

#include "XMPNode.h"

namespace xmpcore::utils {

// True for the toolkit's own bookkeeping namespaces (the transient one), which templates,
// distribution and whole-object removal leave alone unless asked.
bool IsInternalSchema(std::string_view ns);

// "0x" and the value in hexadecimal, for messages about option bits.
std::string Hex(XMP_OptionBits value);

// True when both subtrees hold the same data: same values, forms and qualifiers, with
// structure fields, qualifiers and the items of unordered arrays compared regardless of
// order. Nodes marked as holding multiple values are never equal to anything.
bool SameData(const XMPNode& a, const XMPNode& b);

// Turns `node` into a marked conflict: no value, children or qualifiers; its form stays.
void MarkMultiple(XMPNode& node);

// The top-level property `name` of schema `ns` in `root`, created (empty) when missing.
XMPNode& TopLevelProperty(XMPNode& root, const std::string& ns, const std::string& name);

// The top-level properties of one schema of an object, found by name in constant time (a
// schema may hold thousands). The schema node is created by the first FindOrAdd.
class SchemaProperties {
 public:
  SchemaProperties(XMPNode& root, const std::string& ns);
  // Lookup only: FindOrAdd and Remove raise kXMPErr_InternalFailure.
  SchemaProperties(const XMPNode& root, const std::string& ns);
  XMPNode* Find(std::string_view name) const;
  XMPNode& FindOrAdd(const std::string& name);
  // Deletes the property when present (and the schema node when it becomes empty).
  void Remove(std::string_view name);

 private:
  XMPNode* mRoot;  // null for lookup only
  std::string mNamespace;
  XMPNode* mSchema;
  std::unordered_map<std::string_view, XMPNode*> mByName;  // views of the nodes' names
};

}  // namespace xmpcore::utils
