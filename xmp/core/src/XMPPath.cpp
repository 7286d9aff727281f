#include "XMPPath.h"

#include <expat.h>

#include <memory>

#include "XMPNamespaces.h"
#include "XMPUnicode.h"
#include "veltcore/Strings.h"

namespace xmpcore {
namespace {

constexpr XMP_OptionBits kAltTextForm = kXMP_PropValueIsArray | kXMP_PropArrayIsOrdered |
                                        kXMP_PropArrayIsAlternate | kXMP_PropArrayIsAltText;

[[noreturn]] void BadPath(std::string_view path, const std::string& why) {
  throw XMP_Error(kXMPErr_BadXPath, "bad path '" + std::string(path) + "': " + why);
}

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

class PathParser {
 public:
  PathParser(std::string_view path) : mPath(path) {}

  bool AtEnd() const { return mPos >= mPath.size(); }
  char Peek() const { return AtEnd() ? '\0' : mPath[mPos]; }
  void Expect(char c) {
    if (Peek() != c) BadPath(mPath, std::string("expected '") + c + "' at offset " + Offset());
    ++mPos;
  }
  std::string Offset() const { return std::to_string(mPos); }

  // "prefix:local", checked against the registry; returns the registered form. A name without
  // prefix is accepted only where `defaultPrefix` (with its colon) is given: the top-level
  // property of a path, which belongs to the schema named by the call.
  std::string QualifiedName(std::string_view defaultPrefix = {}) {
    size_t start = mPos;
    while (!AtEnd() && (IsNameChar(static_cast<unsigned char>(Peek())) || Peek() == ':'))
      ++mPos;
    std::string_view name = mPath.substr(start, mPos - start);
    if (name.empty()) BadPath(mPath, "missing name at offset " + std::to_string(start));
    size_t colon = name.find(':');
    if (colon == std::string_view::npos) {
      if (defaultPrefix.empty() || !IsXMLName(name)) {
        BadPath(mPath, "name '" + std::string(name) + "' has no namespace prefix");
      }
      return std::string(defaultPrefix) + std::string(name);
    }
    std::string_view prefix = name.substr(0, colon);
    std::string_view local = name.substr(colon + 1);
    if (!IsXMLName(prefix) || !IsXMLName(local)) {
      BadPath(mPath, "'" + std::string(name) + "' is not a qualified XML name");
    }
    if (!GetNamespaceURI(prefix, nullptr)) {
      BadPath(mPath, "prefix '" + std::string(prefix) + ":' is not registered");
    }
    return std::string(name);
  }

  // A quoted selector value; a doubled quote stands for one quote.
  std::string QuotedValue() {
    char quote = Peek();
    if (quote != '"' && quote != '\'') BadPath(mPath, "selector value must be quoted");
    ++mPos;
    std::string value;
    for (;;) {
      if (AtEnd()) BadPath(mPath, "unterminated selector value");
      char c = mPath[mPos++];
      if (c == quote) {
        if (Peek() != quote) break;
        ++mPos;
      }
      value += c;
    }
    return value;
  }

  XMPPathStep Selector() {
    Expect('[');
    XMPPathStep step{XMPStepKind::kArrayIndex, {}, {}, 0};
    char c = Peek();
    if (c >= '0' && c <= '9') {
      long long index = 0;
      while (Peek() >= '0' && Peek() <= '9') {
        index = index * 10 + (Peek() - '0');
        if (index > 0x7FFFFFFF) BadPath(mPath, "array index too large");
        ++mPos;
      }
      if (index < 1) BadPath(mPath, "array index must be 1 or more");
      step.mIndex = static_cast<XMP_Index>(index);
    } else if (mPath.substr(mPos, 7) == "last()]") {
      mPos += 6;
      step.mKind = XMPStepKind::kArrayLast;
    } else {
      step.mKind = XMPStepKind::kFieldSelector;
      if (c == '?') {
        ++mPos;
        step.mKind = XMPStepKind::kQualSelector;
      }
      step.mName = QualifiedName();
      Expect('=');
      step.mValue = QuotedValue();
    }
    Expect(']');
    return step;
  }

  std::string_view mPath;
  size_t mPos = 0;
};

// The form a node must have so that `next` can be applied to it.
XMP_OptionBits FormFor(const XMPPathStep& next) {
  switch (next.mKind) {
    case XMPStepKind::kStructField:
      return kXMP_PropValueIsStruct;
    case XMPStepKind::kQualSelector:
      return next.mName == "xml:lang" ? kAltTextForm : kXMP_PropValueIsArray;
    case XMPStepKind::kArrayIndex:
    case XMPStepKind::kArrayLast:
    case XMPStepKind::kFieldSelector:
      return kXMP_PropValueIsArray;
    default:
      return 0;
  }
}

// Makes an existing, empty simple node into the composite form `form`.
bool AdoptForm(XMPNode& node, XMP_OptionBits form) {
  if (node.IsComposite()) return true;
  if (!node.mValue.empty() || node.IsSchema()) return false;
  node.mOptions = (node.mOptions & ~(kXMP_PropValueIsURI)) | form;
  return true;
}

class Resolver {
 public:
  Resolver(const XMPExpandedPath& path, Missing missing, XMP_OptionBits leafOptions)
      : mPath(path), mCreate(missing == Missing::kCreate), mLeafOptions(leafOptions) {}

  XMPNode* Run(XMPNode& root) {
    XMPNode* schema = FindSchemaNode(root, mPath[0].mName, Missing::kNull);
    if (!schema) {
      if (!mCreate) return nullptr;
      schema = FindSchemaNode(root, mPath[0].mName, Missing::kCreate);
      mCreatedSchema = schema;
    }
    try {
      XMPNode* node = schema;
      for (size_t i = 1; node && i < mPath.size(); ++i)
        node = Step(*node, i);
      if (node == schema) return nullptr;
      return node;
    } catch (...) {
      Rollback();
      throw;
    }
  }

 private:
  XMP_OptionBits NewNodeOptions(size_t i) const {
    if (i + 1 < mPath.size()) return FormFor(mPath[i + 1]);
    return mLeafOptions & kXMP_PropSetterMask;
  }

  XMPNode* Created(XMPNode* node) {
    if (!mFirstCreated) mFirstCreated = node;
    return node;
  }

  void Rollback() {
    if (mCreatedSchema) {
      mCreatedSchema->mParent->RemoveChild(mCreatedSchema);
    } else if (mFirstCreated) {
      DeleteNode(mFirstCreated);
    }
  }

  XMPNode* Step(XMPNode& node, size_t i) {
    const XMPPathStep& step = mPath[i];
    switch (step.mKind) {
      case XMPStepKind::kStructField:
        return Field(node, i);
      case XMPStepKind::kQualifier:
        return Qualifier(node, i);
      default:
        return Item(node, i);
    }
  }

  XMPNode* Field(XMPNode& node, size_t i) {
    const XMPPathStep& step = mPath[i];
    if (!node.IsSchema() && !node.IsStruct()) {
      if (node.IsArray()) BadPath(node, "is an array, not a structure");
      if (!mCreate) return nullptr;
      if (!AdoptForm(node, kXMP_PropValueIsStruct)) BadPath(node, "has a simple value");
    }
    if (XMPNode* child = node.FindChild(step.mName)) return child;
    if (!mCreate) return nullptr;
    return Created(node.AddChild(step.mName, {}, NewNodeOptions(i)));
  }

  XMPNode* Qualifier(XMPNode& node, size_t i) {
    const XMPPathStep& step = mPath[i];
    if (XMPNode* q = node.FindQualifier(step.mName)) return q;
    if (!mCreate) return nullptr;
    if (i + 1 < mPath.size() && FormFor(mPath[i + 1]) != 0) {
      BadPath(node, "qualifiers of this toolkit are simple values");
    }
    return Created(node.AddQualifier(step.mName, {}, NewNodeOptions(i)));
  }

  XMPNode* Item(XMPNode& node, size_t i) {
    const XMPPathStep& step = mPath[i];
    if (!node.IsArray()) {
      if (node.IsStruct() || node.IsSchema()) BadPath(node, "is not an array");
      if (!mCreate) return nullptr;
      if (!AdoptForm(node, FormFor(step))) BadPath(node, "has a simple value");
    }
    auto& items = node.mChildren;
    switch (step.mKind) {
      case XMPStepKind::kArrayIndex: {
        size_t index = static_cast<size_t>(step.mIndex);
        if (index <= items.size()) return items[index - 1].get();
        if (!mCreate) return nullptr;
        if (index != items.size() + 1) {
          throw XMP_Error(kXMPErr_BadIndex, "array index " + std::to_string(index) +
                                                " is beyond the end of '" + PathOfNode(node) +
                                                "' (" + std::to_string(items.size()) + " items)");
        }
        return Created(node.AddChild(kXMP_ArrayItemName, {}, NewNodeOptions(i)));
      }
      case XMPStepKind::kArrayLast:
        if (!items.empty()) return items.back().get();
        if (!mCreate) return nullptr;
        return Created(node.AddChild(kXMP_ArrayItemName, {}, NewNodeOptions(i)));
      case XMPStepKind::kQualSelector: {
        bool isLang = step.mName == "xml:lang";
        for (const auto& item : items) {
          XMPNode* q = item->FindQualifier(step.mName);
          if (q && (isLang ? veltcore::string::EqualsIgnoreAsciiCase(q->mValue, step.mValue)
                           : q->mValue == step.mValue)) {
            return item.get();
          }
        }
        if (!mCreate) return nullptr;
        size_t position =
            (isLang && veltcore::string::EqualsIgnoreAsciiCase(step.mValue, "x-default"))
                ? 0
                : items.size();
        XMPNode* item = node.InsertChild(position, kXMP_ArrayItemName, {}, NewNodeOptions(i));
        item->AddQualifier(step.mName, step.mValue);
        return Created(item);
      }
      default: {  // kFieldSelector
        for (const auto& item : items) {
          XMPNode* field = item->IsStruct() ? item->FindChild(step.mName) : nullptr;
          if (field && field->mValue == step.mValue && !field->IsComposite()) return item.get();
        }
        if (!mCreate) return nullptr;
        XMPNode* item = node.AddChild(kXMP_ArrayItemName, {}, kXMP_PropValueIsStruct);
        item->AddChild(step.mName, step.mValue);
        return Created(item);
      }
    }
  }

  [[noreturn]] void BadPath(const XMPNode& node, const std::string& why) {
    throw XMP_Error(kXMPErr_BadXPath, "'" + PathOfNode(node) + "' " + why);
  }

  const XMPExpandedPath& mPath;
  bool mCreate;
  XMP_OptionBits mLeafOptions;
  XMPNode* mFirstCreated = nullptr;
  XMPNode* mCreatedSchema = nullptr;
};

std::string PrefixOf(std::string_view ns) {
  if (ns.empty()) throw XMP_Error(kXMPErr_BadSchema, "empty namespace URI");
  std::string prefix;
  if (!GetNamespacePrefix(ns, &prefix)) {
    throw XMP_Error(kXMPErr_BadSchema, "namespace '" + std::string(ns) + "' is not registered");
  }
  return prefix;
}

std::string CheckedLocalName(std::string_view name, const char* what) {
  if (!IsXMLName(name)) {
    throw XMP_Error(kXMPErr_BadParam,
                    std::string(what) + " '" + std::string(name) + "' is not an XML name");
  }
  return std::string(name);
}

std::string Quote(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace

bool IsXMLName(std::string_view name) {
  if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
  bool ascii = true;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (!IsNameChar(u)) return false;
    ascii = ascii && u < 0x80;
  }
  if (ascii) return true;
  // Non-ASCII names: well-formed UTF-8, and a name the XML parser itself accepts (its
  // character classes decide, so that everything written can be read back).
  if (!veltcore::string::IsValidUTF8(name)) return false;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate("UTF-8"),
                                                                 XML_ParserFree);
  if (!parser) throw XMP_Error(kXMPErr_NoMemory, "cannot create the XML parser");
  std::string element = "<";
  element.append(name).append("/>");
  return XML_Parse(parser.get(), element.data(), static_cast<int>(element.size()), XML_TRUE) ==
         XML_STATUS_OK;
}

XMPExpandedPath ExpandXPath(std::string_view schemaNS, std::string_view path) {
  std::string schemaPrefix = PrefixOf(schemaNS);
  if (path.empty()) throw XMP_Error(kXMPErr_BadXPath, "empty property path");
  if (!veltcore::string::IsValidUTF8(path))
    throw XMP_Error(kXMPErr_BadXPath, "path is not well-formed UTF-8");
  XMPExpandedPath steps;
  steps.push_back({XMPStepKind::kSchema, std::string(schemaNS), schemaPrefix, 0});
  PathParser parser(path);
  std::string root = parser.QualifiedName(schemaPrefix);
  if (root.compare(0, schemaPrefix.size(), schemaPrefix) != 0) {
    BadPath(path, "prefix of '" + root + "' is not the schema's prefix '" + schemaPrefix + "'");
  }
  steps.push_back({XMPStepKind::kStructField, std::move(root), {}, 0});
  while (!parser.AtEnd()) {
    char c = parser.Peek();
    if (c == '[') {
      steps.push_back(parser.Selector());
    } else if (c == '/') {
      ++parser.mPos;
      XMPStepKind kind = XMPStepKind::kStructField;
      if (parser.Peek() == '?' || parser.Peek() == '@') {
        ++parser.mPos;
        kind = XMPStepKind::kQualifier;
      }
      steps.push_back({kind, parser.QualifiedName(), {}, 0});
    } else {
      BadPath(path, std::string("unexpected '") + c + "' at offset " + parser.Offset());
    }
  }
  return steps;
}

XMPNode* FindNode(XMPNode& root, const XMPExpandedPath& path, Missing missing,
                  XMP_OptionBits leafOptions) {
  // Each step below the schema is one level.
  if (missing == Missing::kCreate) RequireDepth(path.size() - 1);
  return Resolver(path, missing, leafOptions).Run(root);
}

XMPNode* FindNode(XMPNode& root, std::string_view schemaNS, std::string_view path, Missing missing,
                  XMP_OptionBits leafOptions) {
  return FindNode(root, ExpandXPath(schemaNS, path), missing, leafOptions);
}

std::string ComposeArrayItemPath(std::string_view schemaNS, std::string_view arrayPath,
                                 XMP_Index index) {
  ExpandXPath(schemaNS, arrayPath);
  if (index == kXMP_ArrayLastItem) return std::string(arrayPath) + "[last()]";
  if (index < 1) {
    throw XMP_Error(kXMPErr_BadIndex, "array index " + std::to_string(index) +
                                          " is invalid: items count from 1, -1 is the last");
  }
  return std::string(arrayPath) + '[' + std::to_string(index) + ']';
}

std::string ComposeStructFieldPath(std::string_view schemaNS, std::string_view structPath,
                                   std::string_view fieldNS, std::string_view fieldName) {
  ExpandXPath(schemaNS, structPath);
  std::string prefix = PrefixOf(fieldNS);
  return std::string(structPath) + '/' + prefix + CheckedLocalName(fieldName, "field name");
}

std::string ComposeQualifierPath(std::string_view schemaNS, std::string_view propPath,
                                 std::string_view qualNS, std::string_view qualName) {
  ExpandXPath(schemaNS, propPath);
  std::string prefix = PrefixOf(qualNS);
  return std::string(propPath) + "/?" + prefix + CheckedLocalName(qualName, "qualifier name");
}

std::string ComposeLangSelector(std::string_view schemaNS, std::string_view arrayPath,
                                std::string_view lang) {
  ExpandXPath(schemaNS, arrayPath);
  if (lang.empty()) throw XMP_Error(kXMPErr_BadParam, "empty language");
  return std::string(arrayPath) + "[?xml:lang=" + Quote(lang) + ']';
}

std::string ComposeFieldSelector(std::string_view schemaNS, std::string_view arrayPath,
                                 std::string_view fieldNS, std::string_view fieldName,
                                 std::string_view fieldValue) {
  ExpandXPath(schemaNS, arrayPath);
  std::string prefix = PrefixOf(fieldNS);
  return std::string(arrayPath) + '[' + prefix + CheckedLocalName(fieldName, "field name") + '=' +
         Quote(fieldValue) + ']';
}

std::string PathOfNode(const XMPNode& node) {
  if (!node.mParent || node.IsSchema()) return {};
  const XMPNode& parent = *node.mParent;
  if (parent.IsSchema()) return node.mName;
  std::string path = PathOfNode(parent);
  if (node.IsQualifier()) return path + "/?" + node.mName;
  if (parent.IsArray()) return path + '[' + std::to_string(parent.IndexOfChild(&node) + 1) + ']';
  return path + '/' + node.mName;
}

}  // namespace xmpcore
