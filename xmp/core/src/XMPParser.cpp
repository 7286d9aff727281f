#include "XMPParser.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "XMPNamespaces.h"
#include "XMPUnicode.h"
#include "XMPXmlTree.h"

namespace xmpcore {
namespace {

using Kind = XmlNameKind;

constexpr XMP_OptionBits kAltTextForm = kXMP_PropValueIsArray | kXMP_PropArrayIsOrdered |
                                        kXMP_PropArrayIsAlternate | kXMP_PropArrayIsAltText;

// Turns the XML tree of a packet into the XMP data tree.
class RdfReader {
 public:
  RdfReader(XmlTree& xml, XMPNode& root) : mXml(xml), mRoot(root) {
    mSchemaOfName.resize(xml.mNames.size(), nullptr);
  }

  void Run(XMP_OptionBits options) {
    const XmlElement& top = mXml.Element(mXml.Root());
    Kind kind = KindOf(top);
    if ((options & kXMP_RequireXMPMeta) && kind != Kind::kXmpMeta) {
      throw XMP_Error(kXMPErr_BadXMP, "the packet has no x:xmpmeta element");
    }
    long rdf = -1;
    if (kind == Kind::kXmpMeta) {
      rdf = FindRdfChild(top);
      if (rdf < 0) return;  // an empty x:xmpmeta is an empty object
    } else if (kind == Kind::kRdfRDF) {
      rdf = static_cast<long>(mXml.Root());
    } else {
      rdf = FindRdfAnywhere(mXml.Root());
      if (rdf < 0) throw XMP_Error(kXMPErr_BadRDF, "no rdf:RDF element found");
    }
    const XmlElement& rdfElement = mXml.Element(static_cast<std::uint32_t>(rdf));
    if (rdfElement.mHasText) Fail(kXMPErr_BadRDF, rdfElement, "text directly inside rdf:RDF");
    std::string lang = OwnLang(rdfElement);
    for (std::uint32_t child : mXml.Children(rdfElement))
      TopDescription(mXml.Element(child), lang);
  }

 private:
  Kind KindOf(const XmlElement& e) const { return mXml.Name(e.mName).mKind; }
  Kind KindOf(const XmlAttribute& a) const { return mXml.Name(a.mName).mKind; }

  [[noreturn]] void Fail(XMP_ErrorID id, const XmlElement& e, const std::string& what) const {
    throw XMP_Error(
        id, what + " (element '" + Display(e.mName) + "' at line " + std::to_string(e.mLine) + ")");
  }

  std::string Display(std::uint32_t nameId) const {
    const XmlName& n = mXml.Name(nameId);
    return n.mPrefix.empty() ? n.mLocal : n.mPrefix + ':' + n.mLocal;
  }

  long FindRdfChild(const XmlElement& e) const {
    for (std::uint32_t child : mXml.Children(e)) {
      if (KindOf(mXml.Element(child)) == Kind::kRdfRDF) return child;
    }
    return -1;
  }

  // Depth-first search for XMP inside other XML (e.g. the metadata of an SVG file).
  long FindRdfAnywhere(std::uint32_t index) const {
    const XmlElement& e = mXml.Element(index);
    Kind kind = KindOf(e);
    if (kind == Kind::kRdfRDF) return index;
    if (kind == Kind::kXmpMeta) return FindRdfChild(e);
    for (std::uint32_t child : mXml.Children(e)) {
      long found = FindRdfAnywhere(child);
      if (found >= 0) return found;
    }
    return -1;
  }

  std::string OwnLang(const XmlElement& e) const {
    for (const auto& a : mXml.Attributes(e)) {
      if (KindOf(a) == Kind::kXmlLang) return std::string(a.mValue);
    }
    return {};
  }

  // The "prefix:local" name of a property, registering an unknown namespace.
  const std::string& Qualified(std::uint32_t nameId, const XmlElement& where) {
    XmlName& name = mXml.Name(nameId);
    if (name.mQualified.empty()) {
      if (name.mNamespace.empty()) {
        Fail(kXMPErr_BadRDF, where, "'" + name.mLocal + "' has no namespace");
      }
      std::string prefix;
      RegisterNamespace(name.mNamespace, name.mPrefix.empty() ? "ns" : name.mPrefix, &prefix);
      name.mQualified = prefix + name.mLocal;
    }
    return name.mQualified;
  }

  XMPNode* SchemaFor(std::uint32_t nameId, const XmlElement& where) {
    if (mSchemaOfName[nameId]) return mSchemaOfName[nameId];
    Qualified(nameId, where);  // registers the namespace
    XMPNode* schema = FindSchemaNode(mRoot, mXml.Name(nameId).mNamespace, true);
    mSchemaOfName[nameId] = schema;
    return schema;
  }

  // A new named child (top-level property or field); a second one of the same name is an error.
  XMPNode* NewField(XMPNode& parent, std::uint32_t nameId, const XmlElement& where) {
    const std::string& name = Qualified(nameId, where);
    if (HasChildNamed(parent, name)) {
      Fail(kXMPErr_BadXMP, where, "duplicate property or field '" + name + "'");
    }
    return parent.AddChild(name);
  }

  // Duplicate detection: a linear search for small parents, a hash index for large ones, so
  // that a packet with very many properties does not take quadratic time. Children are only
  // appended while parsing and their names are unique, so the index grows in step.
  bool HasChildNamed(const XMPNode& parent, const std::string& name) {
    if (parent.mChildren.size() < 32) return parent.FindChild(name) != nullptr;
    auto& index = mChildIndex[&parent];
    for (size_t i = index.size(); i < parent.mChildren.size(); ++i) {
      index.insert(parent.mChildren[i]->mName);
    }
    return index.count(name) != 0;
  }

  void CheckAbout(std::string_view aboutView, const XmlElement& where) {
    std::string about(aboutView);
    if (!mAboutSeen) {
      mRoot.mName = about;
      mAboutSeen = true;
    } else if (about != mRoot.mName && !about.empty()) {
      if (!mRoot.mName.empty()) {
        Fail(kXMPErr_BadXMP, where,
             "rdf:about '" + about + "' differs from the earlier '" + mRoot.mName + "'");
      }
      mRoot.mName = about;
    }
  }

  void TopDescription(const XmlElement& d, const std::string& inheritedLang) {
    if (KindOf(d) != Kind::kRdfDescription) {
      Fail(kXMPErr_BadRDF, d, "rdf:RDF may only hold rdf:Description elements");
    }
    if (d.mHasText) Fail(kXMPErr_BadRDF, d, "text directly inside rdf:Description");
    std::string lang = inheritedLang;
    for (const auto& a : mXml.Attributes(d)) {
      const XmlName& n = mXml.Name(a.mName);
      if (n.mKind == Kind::kRdfAbout || (n.mKind == Kind::kNoNamespace && n.mLocal == "about")) {
        CheckAbout(a.mValue, d);
      } else if (n.mKind == Kind::kXmlLang) {
        lang = std::string(a.mValue);
      }
    }
    for (const auto& a : mXml.Attributes(d)) {
      if (!IsPropertyAttribute(a, d)) continue;
      XMPNode* node = NewField(*SchemaFor(a.mName, d), a.mName, d);
      SetLiteral(*node, a.mValue, lang);
    }
    for (std::uint32_t child : mXml.Children(d)) {
      const XmlElement& p = mXml.Element(child);
      PropertyElement(*SchemaFor(p.mName, p), p, lang);
    }
  }

  // True for an attribute that is a property (or field); false for RDF/XML syntax attributes.
  // Raises for attributes that have no place here.
  bool IsPropertyAttribute(const XmlAttribute& a, const XmlElement& where) const {
    const XmlName& n = mXml.Name(a.mName);
    switch (n.mKind) {
      case Kind::kOther:
      case Kind::kRdfType:
      case Kind::kRdfValue:
        return true;
      case Kind::kNoNamespace:
        if (n.mLocal == "about" || n.mLocal == "ID" || n.mLocal == "nodeID" ||
            n.mLocal == "bagID") {
          return false;
        }
        Fail(kXMPErr_BadRDF, where, "attribute '" + n.mLocal + "' has no namespace");
      case Kind::kRdfRDF:
      case Kind::kRdfDescription:
      case Kind::kRdfLi:
      case Kind::kRdfBag:
      case Kind::kRdfSeq:
      case Kind::kRdfAlt:
        Fail(kXMPErr_BadRDF, where, "rdf:" + n.mLocal + " cannot be an attribute");
      default:
        return false;  // rdf:about, rdf:ID, rdf:nodeID, rdf:datatype, xml:*, other rdf:*
    }
  }

  void SetLiteral(XMPNode& node, std::string_view value, const std::string& lang) {
    node.mValue.assign(value);
    if (!lang.empty()) node.AddQualifier("xml:lang", lang);
  }

  // A property element: a top-level property, a structure field or an array item.
  void PropertyElement(XMPNode& parent, const XmlElement& e, const std::string& inheritedLang) {
    Kind kind = KindOf(e);
    XMPNode* node;
    if (parent.IsArray()) {
      if (kind != Kind::kRdfLi) Fail(kXMPErr_BadRDF, e, "an array may only hold rdf:li items");
      node = parent.AddChild(kXMP_ArrayItemName);
    } else {
      if (kind == Kind::kRdfLi) Fail(kXMPErr_BadRDF, e, "rdf:li outside an array");
      if (kind != Kind::kOther && kind != Kind::kRdfType && kind != Kind::kRdfValue) {
        Fail(kXMPErr_BadRDF, e, "not a property element");
      }
      if (kind == Kind::kRdfType && !parent.IsSchema()) {
        // rdf:type of a structure is a qualifier.
        if (parent.FindQualifier("rdf:type")) Fail(kXMPErr_BadXMP, e, "duplicate rdf:type");
        auto q = std::make_unique<XMPNode>(nullptr, "rdf:type", "", 0);
        Fill(*q, e, inheritedLang);
        parent.AdoptQualifier(std::move(q));
        return;
      }
      node = NewField(parent, e.mName, e);
    }
    Fill(*node, e, inheritedLang);
  }

  void Fill(XMPNode& node, const XmlElement& e, const std::string& inheritedLang) {
    const std::string_view* parseType = nullptr;
    const std::string_view* resource = nullptr;
    const std::string_view* valueAttr = nullptr;
    const std::string_view* ownLang = nullptr;
    std::vector<const XmlAttribute*> properties;
    for (const auto& a : mXml.Attributes(e)) {
      switch (KindOf(a)) {
        case Kind::kXmlLang:
          ownLang = &a.mValue;
          break;
        case Kind::kRdfParseType:
          parseType = &a.mValue;
          break;
        case Kind::kRdfResource:
          resource = &a.mValue;
          break;
        case Kind::kRdfValue:
          valueAttr = &a.mValue;
          break;
        default:
          if (IsPropertyAttribute(a, e)) properties.push_back(&a);
      }
    }
    const std::string lang = ownLang ? std::string(*ownLang) : inheritedLang;

    if (parseType) {
      if (*parseType != "Resource") {
        Fail(kXMPErr_BadXMP, e,
             "rdf:parseType '" + std::string(*parseType) + "' is not supported in XMP");
      }
      if (e.mHasText) Fail(kXMPErr_BadRDF, e, "text inside a rdf:parseType=\"Resource\" element");
      node.mOptions |= kXMP_PropValueIsStruct;
      for (const XmlAttribute* a : properties)
        AttributeField(node, *a, e, inheritedLang);
      for (std::uint32_t child : mXml.Children(e)) {
        PropertyElement(node, mXml.Element(child), inheritedLang);
      }
      FoldValueForm(node, e);
    } else if (e.mChildCount != 0) {
      if (e.mHasText) Fail(kXMPErr_BadRDF, e, "mixed text and element content");
      if (e.mChildCount != 1) {
        Fail(kXMPErr_BadRDF, e,
             "a property element holds " + std::to_string(e.mChildCount) +
                 " elements; expected one (an array or rdf:Description)");
      }
      if (resource || valueAttr || !properties.empty()) {
        Fail(kXMPErr_BadRDF, e, "attributes beside element content");
      }
      NodeElement(node, mXml.Element(e.mFirstChild), inheritedLang);
    } else if (valueAttr) {
      node.mValue.assign(*valueAttr);
      if (resource) node.mOptions |= kXMP_PropValueIsURI;
      for (const XmlAttribute* a : properties)
        AttributeQualifier(node, *a, e);
    } else if (resource) {
      if (e.mHasText) Fail(kXMPErr_BadRDF, e, "text beside rdf:resource");
      node.mValue.assign(*resource);
      node.mOptions |= kXMP_PropValueIsURI;
      for (const XmlAttribute* a : properties)
        AttributeQualifier(node, *a, e);
    } else if (!properties.empty()) {
      if (e.mHasText) Fail(kXMPErr_BadRDF, e, "text beside property attributes");
      node.mOptions |= kXMP_PropValueIsStruct;
      for (const XmlAttribute* a : properties)
        AttributeField(node, *a, e, inheritedLang);
      FoldValueForm(node, e);
    } else {
      node.mValue.assign(e.mText);
      if (!ownLang && !lang.empty()) node.AddQualifier("xml:lang", lang);
    }
    if (ownLang && !node.FindQualifier("xml:lang")) {
      node.AddQualifier("xml:lang", std::string(*ownLang));
    }
  }

  void AttributeField(XMPNode& node, const XmlAttribute& a, const XmlElement& e,
                      const std::string& lang) {
    if (KindOf(a) == Kind::kRdfType) {
      if (node.FindQualifier("rdf:type")) Fail(kXMPErr_BadXMP, e, "duplicate rdf:type");
      node.AddQualifier("rdf:type", std::string(a.mValue), kXMP_PropValueIsURI);
      return;
    }
    XMPNode* field = NewField(node, a.mName, e);
    SetLiteral(*field, a.mValue, KindOf(a) == Kind::kRdfValue ? std::string() : lang);
  }

  void AttributeQualifier(XMPNode& node, const XmlAttribute& a, const XmlElement& e) {
    // Attribute names of one element are unique (the XML parser checks), and the node gets
    // no other qualifiers before these.
    const std::string& name = Qualified(a.mName, e);
    node.AddQualifier(name, std::string(a.mValue),
                      KindOf(a) == Kind::kRdfType ? kXMP_PropValueIsURI : 0);
  }

  // The single element inside a property element: an array, a structure (rdf:Description)
  // or a typed node (a structure with an rdf:type qualifier).
  void NodeElement(XMPNode& node, const XmlElement& c, const std::string& lang) {
    Kind kind = KindOf(c);
    if (kind == Kind::kRdfBag || kind == Kind::kRdfSeq || kind == Kind::kRdfAlt) {
      if (c.mHasText) Fail(kXMPErr_BadRDF, c, "text directly inside an array");
      node.mOptions |= kXMP_PropValueIsArray;
      if (kind != Kind::kRdfBag) node.mOptions |= kXMP_PropArrayIsOrdered;
      if (kind == Kind::kRdfAlt) node.mOptions |= kXMP_PropArrayIsAlternate;
      std::string itemLang = OwnLang(c);
      if (itemLang.empty()) itemLang = lang;
      for (std::uint32_t child : mXml.Children(c))
        PropertyElement(node, mXml.Element(child), itemLang);
      if (kind == Kind::kRdfAlt) DetectAltText(node);
      return;
    }
    if (kind == Kind::kRdfDescription || kind == Kind::kOther) {
      if (c.mHasText) Fail(kXMPErr_BadRDF, c, "text directly inside a structure");
      node.mOptions |= kXMP_PropValueIsStruct;
      if (kind == Kind::kOther) {
        const XmlName& n = mXml.Name(c.mName);
        node.AddQualifier("rdf:type", n.mNamespace + n.mLocal, kXMP_PropValueIsURI);
      }
      std::string fieldLang = lang;
      for (const auto& a : mXml.Attributes(c)) {
        if (KindOf(a) == Kind::kXmlLang) fieldLang = std::string(a.mValue);
      }
      for (const auto& a : mXml.Attributes(c)) {
        if (IsPropertyAttribute(a, c)) AttributeField(node, a, c, fieldLang);
      }
      for (std::uint32_t child : mXml.Children(c)) {
        PropertyElement(node, mXml.Element(child), fieldLang);
      }
      FoldValueForm(node, c);
      return;
    }
    Fail(kXMPErr_BadRDF, c, "expected rdf:Bag, rdf:Seq, rdf:Alt or rdf:Description");
  }

  // An alternative array whose items all carry xml:lang is an alt-text array; its x-default
  // item goes first.
  void DetectAltText(XMPNode& array) {
    if (array.mChildren.empty()) return;
    size_t defaultAt = array.mChildren.size();
    for (size_t i = 0; i < array.mChildren.size(); ++i) {
      const XMPNode& item = *array.mChildren[i];
      if (item.Language().empty() || item.IsComposite()) return;
      if (defaultAt == array.mChildren.size() && item.Language() == "x-default") defaultAt = i;
    }
    array.mOptions |= kAltTextForm;
    if (defaultAt != 0 && defaultAt < array.mChildren.size()) {
      auto item = std::move(array.mChildren[defaultAt]);
      array.mChildren.erase(array.mChildren.begin() + static_cast<long>(defaultAt));
      array.mChildren.insert(array.mChildren.begin(), std::move(item));
    }
  }

  // A structure with an rdf:value field is a qualified value: the node takes rdf:value's
  // content and the other fields become its qualifiers.
  void FoldValueForm(XMPNode& node, const XmlElement& where) {
    XMPNode* value = node.FindChild("rdf:value");
    if (!value) return;
    std::vector<std::unique_ptr<XMPNode>> fields = std::move(node.mChildren);
    node.mChildren.clear();
    std::unique_ptr<XMPNode> valueNode;
    for (auto& field : fields) {
      if (field.get() == value) {
        valueNode = std::move(field);
      } else {
        // Field names are already unique; only rdf:value's own qualifiers can collide.
        node.AdoptQualifier(std::move(field));
      }
    }
    node.mOptions = (node.mOptions & ~(kXMP_PropValueIsStruct)) |
                    (valueNode->mOptions & (kXMP_PropValueIsURI | kXMP_PropCompositeMask));
    node.mValue = std::move(valueNode->mValue);
    node.mChildren = std::move(valueNode->mChildren);
    for (auto& child : node.mChildren)
      child->mParent = &node;
    if (valueNode->mQualifiers.empty()) return;
    std::unordered_set<std::string_view> names;
    for (const auto& q : node.mQualifiers)
      names.insert(q->mName);
    for (const auto& q : valueNode->mQualifiers) {
      if (!names.insert(q->mName).second) {
        Fail(kXMPErr_BadXMP, where, "duplicate qualifier '" + q->mName + "'");
      }
    }
    for (auto& q : valueNode->mQualifiers)
      node.AdoptQualifier(std::move(q));
  }

  XmlTree& mXml;
  XMPNode& mRoot;
  bool mAboutSeen = false;
  std::vector<XMPNode*> mSchemaOfName;
  std::unordered_map<const XMPNode*, std::unordered_set<std::string_view>> mChildIndex;
};

// Drops NUL padding after the packet (common when a packet is cut from a file).
std::string_view TrimTrailingNuls(std::string_view text, size_t unit) {
  while (text.size() >= unit) {
    bool allZero = true;
    for (size_t i = text.size() - unit; i < text.size(); ++i)
      allZero = allZero && text[i] == 0;
    if (!allZero) break;
    text.remove_suffix(unit);
  }
  return text;
}

}  // namespace

void ParsePacket(std::string_view packet, XMP_OptionBits options, XMPNode& root) {
  if (packet.size() > kMaxPacketBytes) {
    throw XMP_Error(kXMPErr_BadXML, "packet of " + std::to_string(packet.size()) +
                                        " bytes is larger than the limit of " +
                                        std::to_string(kMaxPacketBytes));
  }
  if (options & ~kXMP_RequireXMPMeta) {
    throw XMP_Error(kXMPErr_BadOptions, "unknown parse options");
  }
  size_t bom = 0;
  TextEncoding encoding = DetectEncoding(packet, &bom);
  packet.remove_prefix(bom);
  packet = TrimTrailingNuls(packet, UnitSize(encoding));
  std::string converted;
  if (encoding != TextEncoding::kUTF8) {
    converted = ToUTF8(packet, encoding);
    packet = converted;
  }
  XmlTree xml;
  xml.Parse(packet, kMaxElementDepth);
  if (xml.Empty()) throw XMP_Error(kXMPErr_BadXML, "the packet holds no XML element");
  RdfReader(xml, root).Run(options);
}

}  // namespace xmpcore
