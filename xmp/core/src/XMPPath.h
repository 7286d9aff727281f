#pragma once

// The XMP path syntax: parsing a (schema namespace, path) pair into steps, finding or
// creating the node a path names, and composing paths. Composition is what the public
// SXMPUtils::Compose* functions call.
//
// Syntax of a path: a first step "prefix:name" naming a top-level property of the schema,
// followed by any of
//   "/prefix:name"              a structure field
//   "/?prefix:name"             a qualifier ("/@xml:lang" is accepted too)
//   "[n]"                       array item n (1-based)
//   "[last()]"                  the last array item
//   "[?xml:lang=\"en-US\"]"     the alt-text item with that language (any qualifier works)
//   "[prefix:field=\"value\"]"  the array item (a structure) whose field has that value
// Selector values are quoted with '"' or '\''; a quote inside is doubled.

#include <string>
#include <string_view>
#include <vector>

#include "XMPNode.h"
#include "xmp/XMP_Const.h"

namespace xmpcore {

enum class XMPStepKind {
  kSchema,         // mName = namespace URI, mValue = registered prefix with ':'
  kStructField,    // mName = "prefix:local" (also the top-level property)
  kQualifier,      // mName = "prefix:local"
  kArrayIndex,     // mIndex = 1-based index
  kArrayLast,      // the last item
  kQualSelector,   // mName = qualifier "prefix:local", mValue = its value
  kFieldSelector,  // mName = field "prefix:local", mValue = its value
};

struct XMPPathStep {
  XMPStepKind mKind;
  std::string mName;
  std::string mValue;
  XMP_Index mIndex = 0;
};

// Step 0 is the schema, step 1 the top-level property, then the steps of the path.
using XMPExpandedPath = std::vector<XMPPathStep>;

// Parses a path. Raises XMP_Error: kXMPErr_BadSchema for an empty or unregistered schema
// namespace, kXMPErr_BadXPath for a malformed path or a first step whose prefix is not the
// schema's ("path 'x:title' uses prefix 'x:' but the schema's prefix is 'dc:'").
XMPExpandedPath ExpandXPath(std::string_view schemaNS, std::string_view path);

// Finds the node a path names. With Missing::kCreate, missing nodes are created (struct fields,
// qualifiers, structures and arrays on the way whose form follows from the next step, and an
// item appended at index count+1 or for a language selector); the new leaf gets
// `leafOptions`. Returns null when a node is missing and `missing` is kNull. Raises
// kXMPErr_BadXPath when a step does not fit the node (an index into a structure, a field of
// an array), for a new node deeper than kMaxNodeDepth, and kXMPErr_BadIndex for an index
// below 1 when creating.
XMPNode* FindNode(XMPNode& root, const XMPExpandedPath& path, Missing missing,
                  XMP_OptionBits leafOptions = 0);

// Convenience: ExpandXPath + FindNode.
XMPNode* FindNode(XMPNode& root, std::string_view schemaNS, std::string_view path, Missing missing,
                  XMP_OptionBits leafOptions = 0);

// Path composition. Each checks its arguments (registered namespaces, XML names, a valid
// index: >= 1 or kXMP_ArrayLastItem) and raises kXMPErr_BadSchema / kXMPErr_BadXPath /
// kXMPErr_BadParam / kXMPErr_BadIndex otherwise.
std::string ComposeArrayItemPath(std::string_view schemaNS, std::string_view arrayPath,
                                 XMP_Index index);
std::string ComposeStructFieldPath(std::string_view schemaNS, std::string_view structPath,
                                   std::string_view fieldNS, std::string_view fieldName);
std::string ComposeQualifierPath(std::string_view schemaNS, std::string_view propPath,
                                 std::string_view qualNS, std::string_view qualName);
std::string ComposeLangSelector(std::string_view schemaNS, std::string_view arrayPath,
                                std::string_view lang);
std::string ComposeFieldSelector(std::string_view schemaNS, std::string_view arrayPath,
                                 std::string_view fieldNS, std::string_view fieldName,
                                 std::string_view fieldValue);

// Composes the path text of a node (e.g. "dc:creator[2]", "xmpMM:History[1]/stEvt:action",
// "dc:title[1]/?xml:lang"); empty for the root and schema nodes.
std::string PathOfNode(const XMPNode& node);

// True when `name` is an XML NCName (ASCII letters, digits, '_', '-', '.', non-ASCII).
bool IsXMLName(std::string_view name);

}  // namespace xmpcore
