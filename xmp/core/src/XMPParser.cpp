#include "XMPParser.h"

#include <algorithm>
#include <memory>
#include <memory_resource>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "HashIndex.h"
#include "XMPNamespaces.h"
#include "XMPUnicode.h"
#include "XMPXmlTree.h"
#include "veltcore/Strings.h"
#include "xmp/XMP_Warnings.h"

namespace xmpcore {
namespace {

using Kind = XmlNameKind;

constexpr XMP_OptionBits kAltTextForm = kXMP_PropValueIsArray | kXMP_PropArrayIsOrdered |
                                        kXMP_PropArrayIsAlternate | kXMP_PropArrayIsAltText;

// The names already used among the children of one node while it is being filled, so that a
// repeated property or field is found without a search per child. An index lives exactly as
// long as the scope that fills its node (or, for a schema, as long as the parse): it cannot
// outlive the node it describes.
class FieldIndex {
 public:
  explicit FieldIndex(std::pmr::memory_resource* arena) : mNames(arena) {}

  // True when `name` is new; false when it was inserted before. Views must stay valid while
  // the index lives (the reader gives names held by the XML tree).
  bool Insert(std::string_view name) {
    if (mNames.size() < kFew) {
      for (std::string_view known : mNames) {
        if (known == name) return false;
      }
    } else {
      if (mIndex.Size() == 0) {
        for (size_t i = 0; i < mNames.size(); ++i)
          mIndex.Insert(HashText(mNames[i]), static_cast<std::uint32_t>(i));
      }
      const size_t hash = HashText(name);
      if (mIndex.Find(hash, [&](std::uint32_t i) { return mNames[i] == name; }) !=
          HashIndex::kNone) {
        return false;
      }
      mIndex.Insert(hash, static_cast<std::uint32_t>(mNames.size()));
    }
    mNames.push_back(name);
    return true;
  }

 private:
  static constexpr size_t kFew = 16;  // searched in a row below this many names
  std::pmr::vector<std::string_view> mNames;
  HashIndex mIndex;  // by position in mNames, once there are kFew names
};

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
    CollectNodeIds();
    std::string_view lang = LangOf(rdfElement, {});
    for (std::uint32_t child : mXml.Children(rdfElement))
      TopDescription(mXml.Element(child), lang);
  }

 private:
  struct Schema {
    XMPNode* mNode;
    FieldIndex mProperties;
  };

  // A named node element (rdf:Description rdf:nodeID) and whether a property refers to it.
  struct NodeId {
    std::uint32_t mElement;
    bool mReferenced = false;
    bool mResolving = false;  // being copied into a property now (a cycle when met again)
  };

  Kind KindOf(const XmlElement& e) const { return mXml.Name(e.mName).mKind; }
  Kind KindOf(const XmlAttribute& a) const { return mXml.Name(a.mName).mKind; }

  [[noreturn]] void Fail(XMP_ErrorID id, const XmlElement& e, const std::string& what) const {
    throw XMP_Error(id, what + " (" + Where(e) + ")");
  }

  std::string Where(const XmlElement& e) const {
    return "element '" + Display(e.mName) + "' at line " + std::to_string(mXml.LineOf(e));
  }

  void Warn(const XmlElement& e, const std::string& what) const {
    XMP_ReportWarning("XMP packet: " + what + " (" + Where(e) + ")");
  }

  std::string Display(std::uint32_t nameId) const {
    const XmlName& n = mXml.Name(nameId);
    std::string text(n.mPrefix);
    if (!text.empty()) text += ':';
    return text.append(n.mLocal);
  }

  // The rdf:RDF element inside x:xmpmeta; a second one is refused, since XMP has one.
  long FindRdfChild(const XmlElement& e) const {
    long found = -1;
    for (std::uint32_t child : mXml.Children(e)) {
      if (KindOf(mXml.Element(child)) != Kind::kRdfRDF) continue;
      if (found >= 0) Fail(kXMPErr_BadRDF, mXml.Element(child), "a second rdf:RDF in x:xmpmeta");
      found = child;
    }
    return found;
  }

  // Depth-first search for XMP inside other XML (e.g. the metadata of an SVG file), with an
  // explicit stack so that deep documents cannot exhaust the call stack.
  long FindRdfAnywhere(std::uint32_t root) const {
    std::vector<std::uint32_t> pending{root};
    while (!pending.empty()) {
      std::uint32_t index = pending.back();
      pending.pop_back();
      const XmlElement& e = mXml.Element(index);
      Kind kind = KindOf(e);
      if (kind == Kind::kRdfRDF) return index;
      if (kind == Kind::kXmpMeta) return FindRdfChild(e);
      size_t at = pending.size();
      for (std::uint32_t child : mXml.Children(e))
        pending.push_back(child);
      std::reverse(pending.begin() + static_cast<long>(at), pending.end());
    }
    return -1;
  }

  // The language in scope inside `e`: its own xml:lang when it has one (xml:lang="" means no
  // language), else the inherited one.
  std::string_view LangOf(const XmlElement& e, std::string_view inherited) const {
    for (const auto& a : mXml.Attributes(e)) {
      if (KindOf(a) == Kind::kXmlLang) return a.mValue;
    }
    return inherited;
  }

  // Attributes that name the node or the statement (rdf:ID, rdf:nodeID, rdf:bagID,
  // rdf:aboutEach, and their unqualified forms): XMP keeps no identifiers.
  static bool IsIdentifier(const XmlName& n) {
    if (n.mKind == Kind::kRdfID || n.mKind == Kind::kRdfNodeID) return true;
    if (n.mKind != Kind::kRdfOther && n.mKind != Kind::kNoNamespace) return false;
    return n.mLocal == "bagID" || n.mLocal == "aboutEach" ||
           (n.mKind == Kind::kNoNamespace && (n.mLocal == "ID" || n.mLocal == "nodeID"));
  }

  static bool IsNodeIdName(const XmlName& n) {
    return n.mKind == Kind::kRdfNodeID || (n.mKind == Kind::kNoNamespace && n.mLocal == "nodeID");
  }

  const XmlAttribute* NodeIdOf(const XmlElement& e) const {
    for (const auto& a : mXml.Attributes(e)) {
      if (IsNodeIdName(mXml.Name(a.mName))) return &a;
    }
    return nullptr;
  }

  // Warns about the identifiers on `e` that are dropped (a node id that a property refers to
  // is used, not dropped).
  void WarnIdentifiers(const XmlElement& e) {
    for (const auto& a : mXml.Attributes(e)) {
      const XmlName& n = mXml.Name(a.mName);
      if (!IsIdentifier(n)) continue;
      if (IsNodeIdName(n)) {
        auto it = mNodeIds.find(a.mValue);
        if (it != mNodeIds.end() && it->second.mElement == ElementIndex(e) &&
            it->second.mReferenced) {
          continue;
        }
      }
      Warn(e, "ignored " + Display(a.mName) + "='" + std::string(a.mValue) +
                  "': XMP keeps no identifiers");
    }
  }

  std::uint32_t ElementIndex(const XmlElement& e) const {
    return static_cast<std::uint32_t>(&e - mXml.mElements.data());
  }

  // An empty property element whose only attribute (besides xml:lang) is rdf:nodeID: its
  // value is the node of that id.
  const XmlAttribute* ReferenceOf(const XmlElement& e) const {
    if (e.mChildCount != 0 || e.mHasText || KindOf(e) == Kind::kRdfDescription) return nullptr;
    const XmlAttribute* id = nullptr;
    for (const auto& a : mXml.Attributes(e)) {
      const XmlName& n = mXml.Name(a.mName);
      if (IsNodeIdName(n)) {
        id = &a;
      } else if (n.mKind != Kind::kXmlLang) {
        return nullptr;
      }
    }
    return id;
  }

  // Finds the node elements named by rdf:nodeID (the first of an id counts) and marks those
  // that a property refers to.
  void CollectNodeIds() {
    for (std::uint32_t i = 0; i < mXml.mElements.size(); ++i) {
      const XmlElement& e = mXml.mElements[i];
      if (KindOf(e) != Kind::kRdfDescription) continue;
      if (const XmlAttribute* id = NodeIdOf(e)) mNodeIds.try_emplace(id->mValue, NodeId{i});
    }
    if (mNodeIds.empty()) return;
    for (const XmlElement& e : mXml.mElements) {
      if (const XmlAttribute* id = ReferenceOf(e)) {
        auto it = mNodeIds.find(id->mValue);
        if (it != mNodeIds.end()) it->second.mReferenced = true;
      }
    }
  }

  // The registered prefix (with ':') of a namespace, registering it when it is unknown.
  std::string_view PrefixOf(std::string_view ns, std::string_view suggested) {
    auto known = mPrefixOf.find(ns);
    if (known != mPrefixOf.end()) return known->second;
    // The packet's prefix is only a suggestion; reserved ones are never taken.
    if (suggested.empty() || suggested == "xml" || suggested == "xmlns" || suggested == "rdf") {
      suggested = "ns";
    }
    std::string prefix;
    RegisterNamespace(ns, suggested, &prefix);
    return mPrefixOf.emplace(ns, mXml.mText.Store(prefix)).first->second;
  }

  // The "prefix:local" name of a property, registering an unknown namespace. Names of one
  // namespace mostly come in a row: the last namespace's prefix is kept at hand.
  std::string_view Qualified(std::uint32_t nameId, const XmlElement& where) {
    XmlName& name = mXml.Name(nameId);
    if (name.mQualified.empty()) {
      if (name.mNamespace.empty()) {
        Fail(kXMPErr_BadRDF, where, "'" + std::string(name.mLocal) + "' has no namespace");
      }
      if (name.mNamespace != mLastNamespace) {
        mLastNamespace = name.mNamespace;
        mLastPrefix = PrefixOf(name.mNamespace, name.mPrefix);
      }
      std::string_view qualified = mXml.mText.Store(mLastPrefix);
      name.mQualified = mXml.mText.Append(qualified, name.mLocal);
    }
    return name.mQualified;
  }

  Schema& SchemaFor(std::uint32_t nameId, const XmlElement& where) {
    if (mSchemaOfName[nameId]) return *mSchemaOfName[nameId];
    Qualified(nameId, where);  // registers the namespace
    std::string_view ns = mXml.Name(nameId).mNamespace;
    if (!mLastSchema || mLastSchema->mNode->mName != ns) {
      auto it = mSchemas.find(ns);
      if (it == mSchemas.end()) {
        // Qualified() has put the namespace's registered prefix in mPrefixOf.
        XMPNode* node = mRoot.AddChild(std::string(ns), std::string(mPrefixOf.find(ns)->second),
                                       kXMP_SchemaNode);
        it = mSchemas.emplace(node->mName, Schema{node, FieldIndex(&mArena)}).first;
      }
      mLastSchema = &it->second;
    }
    mSchemaOfName[nameId] = mLastSchema;
    return *mLastSchema;
  }

  // A new named child (top-level property or field). A repeated name keeps the first one:
  // null, with a warning.
  XMPNode* NewField(XMPNode& parent, FieldIndex& fields, std::uint32_t nameId,
                    const XmlElement& where) {
    std::string_view name = Qualified(nameId, where);
    if (!fields.Insert(name)) {
      Warn(where, "'" + std::string(name) + "' is repeated; the first value is kept");
      return nullptr;
    }
    return parent.AddChild(std::string(name));
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

  void TopDescription(const XmlElement& d, std::string_view inheritedLang) {
    if (KindOf(d) != Kind::kRdfDescription) {
      Fail(kXMPErr_BadRDF, d, "rdf:RDF may only hold rdf:Description elements");
    }
    if (const XmlAttribute* id = NodeIdOf(d)) {
      auto it = mNodeIds.find(id->mValue);
      // The description of a node that properties refer to: it is read where it is used.
      if (it != mNodeIds.end() && it->second.mElement == ElementIndex(d) &&
          it->second.mReferenced) {
        return;
      }
    }
    if (d.mHasText) Fail(kXMPErr_BadRDF, d, "text directly inside rdf:Description");
    WarnIdentifiers(d);
    for (const auto& a : mXml.Attributes(d)) {
      const XmlName& n = mXml.Name(a.mName);
      if (n.mKind == Kind::kRdfAbout || (n.mKind == Kind::kNoNamespace && n.mLocal == "about")) {
        CheckAbout(a.mValue, d);
      }
    }
    std::string_view lang = LangOf(d, inheritedLang);
    for (const auto& a : mXml.Attributes(d)) {
      if (!IsPropertyAttribute(a, d)) continue;
      Schema& schema = SchemaFor(a.mName, d);
      XMPNode* node = NewField(*schema.mNode, schema.mProperties, a.mName, d);
      if (!node) continue;
      if (KindOf(a) == Kind::kRdfType) {
        node->mValue.assign(a.mValue);  // a type is a resource, as on structures
        node->mOptions |= kXMP_PropValueIsURI;
      } else {
        SetLiteral(*node, a.mValue, lang);
      }
    }
    for (std::uint32_t child : mXml.Children(d)) {
      const XmlElement& p = mXml.Element(child);
      Schema& schema = SchemaFor(p.mName, p);
      PropertyElement(*schema.mNode, &schema.mProperties, p, lang);
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
        if (n.mLocal == "about" || IsIdentifier(n)) return false;
        Fail(kXMPErr_BadRDF, where, "attribute '" + std::string(n.mLocal) + "' has no namespace");
      case Kind::kRdfRDF:
      case Kind::kRdfDescription:
      case Kind::kRdfLi:
      case Kind::kRdfBag:
      case Kind::kRdfSeq:
      case Kind::kRdfAlt:
        Fail(kXMPErr_BadRDF, where, "rdf:" + std::string(n.mLocal) + " cannot be an attribute");
      default:
        return false;  // rdf:about, rdf:ID, rdf:nodeID, rdf:datatype, xml:*, other rdf:*
    }
  }

  static void SetLiteral(XMPNode& node, std::string_view value, std::string_view lang) {
    node.mValue.assign(value);
    if (!lang.empty()) node.AddQualifier("xml:lang", std::string(lang));
  }

  // Counts the levels of the data tree while it is built: a packet may not hold a tree deeper
  // than the API lets a caller build.
  class Level {
   public:
    Level(RdfReader& reader, const XmlElement& e, int levels) : mReader(reader), mLevels(levels) {
      if ((mReader.mDepth += levels) > kMaxNodeDepth) {
        reader.Fail(kXMPErr_BadXMP, e,
                    "properties nested deeper than " + std::to_string(kMaxNodeDepth) + " levels");
      }
    }
    ~Level() { mReader.mDepth -= mLevels; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

   private:
    RdfReader& mReader;
    int mLevels;
  };

  // A property element: a top-level property, a structure field or an array item. `fields`
  // is the index of `parent`'s named children (null for an array).
  void PropertyElement(XMPNode& parent, FieldIndex* fields, const XmlElement& e,
                       std::string_view inheritedLang) {
    Kind kind = KindOf(e);
    // rdf:value holds its node's own value: it is on the node's level.
    Level level(*this, e, kind == Kind::kRdfValue ? 0 : 1);
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
      node = NewField(parent, *fields, e.mName, e);
      if (!node) return;
    }
    Fill(*node, e, inheritedLang);
  }

  void Fill(XMPNode& node, const XmlElement& e, std::string_view inheritedLang) {
    if (const XmlAttribute* id = ReferenceOf(e)) {
      Resolve(node, e, id->mValue, LangOf(e, inheritedLang));
      return;
    }
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
        case Kind::kRdfAbout:
          Fail(kXMPErr_BadRDF, e, "rdf:about on a property element");
        default:
          if (IsPropertyAttribute(a, e)) properties.push_back(&a);
      }
    }
    WarnIdentifiers(e);
    const std::string_view lang = ownLang ? *ownLang : inheritedLang;
    if (valueAttr) {
      if (parseType) Fail(kXMPErr_BadRDF, e, "rdf:value attribute with rdf:parseType");
      if (resource) Fail(kXMPErr_BadRDF, e, "rdf:value attribute with rdf:resource");
      if (e.mHasText) Fail(kXMPErr_BadRDF, e, "rdf:value attribute with text content");
    }
    if (parseType && resource) Fail(kXMPErr_BadRDF, e, "rdf:parseType with rdf:resource");

    if (parseType) {
      if (*parseType != "Resource") {
        Fail(kXMPErr_BadXMP, e,
             "rdf:parseType '" + std::string(*parseType) + "' is not supported in XMP");
      }
      if (e.mHasText) Fail(kXMPErr_BadRDF, e, "text inside a rdf:parseType=\"Resource\" element");
      node.mOptions |= kXMP_PropValueIsStruct;
      FieldIndex fields(&mArena);
      for (const XmlAttribute* a : properties)
        AttributeField(node, fields, *a, e, lang);
      for (std::uint32_t child : mXml.Children(e))
        PropertyElement(node, &fields, mXml.Element(child), lang);
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
      NodeElement(node, mXml.Element(e.mFirstChild), lang);
    } else if (valueAttr) {
      SetLiteral(node, *valueAttr, lang);
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
      FieldIndex fields(&mArena);
      for (const XmlAttribute* a : properties)
        AttributeField(node, fields, *a, e, lang);
      FoldValueForm(node, e);
    } else {
      SetLiteral(node, e.mText, lang);
    }
    // The element's own language also qualifies a structure, array or URI written with it (a
    // literal has it already, from the scope).
    if (ownLang && !ownLang->empty() && !node.FindQualifier("xml:lang")) {
      node.AddQualifier("xml:lang", std::string(*ownLang));
    }
  }

  // A property that refers to a node by rdf:nodeID gets a copy of that node's content.
  void Resolve(XMPNode& node, const XmlElement& e, std::string_view id, std::string_view lang) {
    auto it = mNodeIds.find(id);
    if (it == mNodeIds.end()) {
      Fail(kXMPErr_BadRDF, e, "rdf:nodeID '" + std::string(id) + "' names no node in the packet");
    }
    NodeId& target = it->second;
    if (target.mResolving) {
      Fail(kXMPErr_BadRDF, e, "rdf:nodeID '" + std::string(id) + "' refers to itself");
    }
    const XmlElement& definition = mXml.Element(target.mElement);
    // Copies may nest; together they may not grow the tree beyond a multiple of the packet.
    mCopiedElements += 1 + definition.mChildCount;
    if (mCopiedElements > 4 * mXml.mElements.size() + 1024) {
      Fail(kXMPErr_BadXMP, e, "rdf:nodeID references copy more nodes than the packet holds");
    }
    target.mResolving = true;
    NodeElement(node, definition, lang);
    target.mResolving = false;
  }

  void AttributeField(XMPNode& node, FieldIndex& fields, const XmlAttribute& a, const XmlElement& e,
                      std::string_view lang) {
    if (KindOf(a) == Kind::kRdfType) {
      if (node.FindQualifier("rdf:type")) Fail(kXMPErr_BadXMP, e, "duplicate rdf:type");
      node.AddQualifier("rdf:type", std::string(a.mValue), kXMP_PropValueIsURI);
      return;
    }
    XMPNode* field = NewField(node, fields, a.mName, e);
    if (!field) return;
    SetLiteral(*field, a.mValue, KindOf(a) == Kind::kRdfValue ? std::string_view() : lang);
  }

  void AttributeQualifier(XMPNode& node, const XmlAttribute& a, const XmlElement& e) {
    // Attribute names of one element are unique (the XML parser checks), and the node gets
    // no other qualifiers before these but xml:lang.
    node.AddQualifier(std::string(Qualified(a.mName, e)), std::string(a.mValue),
                      KindOf(a) == Kind::kRdfType ? kXMP_PropValueIsURI : 0);
  }

  // The single element inside a property element: an array, a structure (rdf:Description)
  // or a typed node (a structure with an rdf:type qualifier). The language in scope passes
  // to the literal values inside.
  void NodeElement(XMPNode& node, const XmlElement& c, std::string_view lang) {
    Kind kind = KindOf(c);
    if (kind == Kind::kRdfBag || kind == Kind::kRdfSeq || kind == Kind::kRdfAlt) {
      if (c.mHasText) Fail(kXMPErr_BadRDF, c, "text directly inside an array");
      for (const auto& a : mXml.Attributes(c)) {
        if (IsPropertyAttribute(a, c)) {
          Fail(kXMPErr_BadRDF, c, "property attribute '" + Display(a.mName) + "' on an array");
        }
      }
      WarnIdentifiers(c);
      node.mOptions |= kXMP_PropValueIsArray;
      if (kind != Kind::kRdfBag) node.mOptions |= kXMP_PropArrayIsOrdered;
      if (kind == Kind::kRdfAlt) node.mOptions |= kXMP_PropArrayIsAlternate;
      std::string_view itemLang = LangOf(c, lang);
      for (std::uint32_t child : mXml.Children(c))
        PropertyElement(node, nullptr, mXml.Element(child), itemLang);
      if (kind == Kind::kRdfAlt) DetectAltText(node, c);
      return;
    }
    if (kind == Kind::kRdfDescription || kind == Kind::kOther) {
      if (c.mHasText) Fail(kXMPErr_BadRDF, c, "text directly inside a structure");
      WarnIdentifiers(c);
      node.mOptions |= kXMP_PropValueIsStruct;
      if (kind == Kind::kOther) {
        const XmlName& n = mXml.Name(c.mName);
        node.AddQualifier("rdf:type", std::string(n.mNamespace).append(n.mLocal),
                          kXMP_PropValueIsURI);
      }
      std::string_view fieldLang = LangOf(c, lang);
      FieldIndex fields(&mArena);
      for (const auto& a : mXml.Attributes(c)) {
        if (IsPropertyAttribute(a, c)) AttributeField(node, fields, a, c, fieldLang);
      }
      for (std::uint32_t child : mXml.Children(c))
        PropertyElement(node, &fields, mXml.Element(child), fieldLang);
      FoldValueForm(node, c);
      return;
    }
    Fail(kXMPErr_BadRDF, c, "expected rdf:Bag, rdf:Seq, rdf:Alt or rdf:Description");
  }

  // An alternative array whose items all carry xml:lang is an alt-text array; its x-default
  // item goes first. Languages compare without regard to case; of two items with one
  // language the first is kept.
  void DetectAltText(XMPNode& array, const XmlElement& where) {
    if (array.mChildren.empty()) return;
    for (const auto& item : array.mChildren) {
      if (item->Language().empty() || item->IsComposite()) return;
    }
    array.mOptions |= kAltTextForm;
    // Kept items are moved down in place: erasing each repeat on its own would cost a pass
    // over the rest of the array per repeat.
    std::unordered_set<std::string, TextHasher> seen;
    size_t kept = 0;
    for (size_t i = 0; i < array.mChildren.size(); ++i) {
      if (seen.insert(veltcore::string::ToLowerAscii(array.mChildren[i]->Language())).second) {
        array.mChildren[kept++] = std::move(array.mChildren[i]);
        continue;
      }
      Warn(where, "two items with language '" + std::string(array.mChildren[i]->Language()) +
                      "'; the first is kept");
    }
    array.mChildren.resize(kept);
    for (size_t i = 1; i < array.mChildren.size(); ++i) {
      if (!veltcore::string::EqualsIgnoreAsciiCase(array.mChildren[i]->Language(), "x-default")) {
        continue;
      }
      auto item = std::move(array.mChildren[i]);
      array.mChildren.erase(array.mChildren.begin() + static_cast<long>(i));
      array.mChildren.insert(array.mChildren.begin(), std::move(item));
      break;
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
    node.AdoptChildrenOf(*valueNode);
    if (valueNode->mQualifiers.empty()) return;
    std::unordered_set<std::string_view, TextHasher> names;
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
  int mDepth = 0;
  size_t mCopiedElements = 0;
  // The indexes below live only while the packet is read: they take their memory from one
  // arena released at once, instead of freeing many small blocks one by one at the end.
  std::pmr::monotonic_buffer_resource mArena;
  std::pmr::vector<Schema*> mSchemaOfName{&mArena};
  std::pmr::unordered_map<std::string_view, Schema, TextHasher> mSchemas{
      &mArena};  // by schema node name
  std::pmr::unordered_map<std::string_view, NodeId, TextHasher> mNodeIds{&mArena};
  // Registered prefixes by namespace.
  std::pmr::unordered_map<std::string_view, std::string_view, TextHasher> mPrefixOf{&mArena};
  // The namespace of the last name given a prefix, and that prefix; the last schema found.
  std::string_view mLastNamespace;
  std::string_view mLastPrefix;
  Schema* mLastSchema = nullptr;
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

bool IsPadding(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

std::string_view SkipPadding(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsPadding(text[at]))
    ++at;
  return text.substr(at);
}

// After the root element a packet holds only padding and its end processing instruction.
// Anything else (junk, a stray closing tag, a second end PI, an end PI cut short) is not
// read; the reader is told.
void CheckTrailing(std::string_view tail) {
  tail = SkipPadding(tail);
  if (tail.substr(0, 13) == "<?xpacket end") {
    size_t close = tail.find("?>");
    if (close != std::string_view::npos) tail = SkipPadding(tail.substr(close + 2));
  }
  if (tail.empty()) return;
  XMP_ReportWarning("XMP packet: " + std::to_string(tail.size()) +
                    " bytes after the end of the packet's root element were not read");
}

void CheckParseInput(std::string_view packet, XMP_OptionBits options) {
  if (packet.size() > kMaxPacketBytes) {
    throw XMP_Error(kXMPErr_BadXML, "packet of " + std::to_string(packet.size()) +
                                        " bytes is larger than the limit of " +
                                        std::to_string(kMaxPacketBytes));
  }
  if (options & ~kXMP_RequireXMPMeta) {
    throw XMP_Error(kXMPErr_BadOptions, "unknown parse options");
  }
}

}  // namespace

void ParsePacket(std::string_view packet, XMP_OptionBits options, XMPNode& root) {
  // The limits are checked on the bytes as given, before any conversion costs memory.
  CheckParseInput(packet, options);
  size_t bom = 0;
  TextEncoding encoding = DetectEncoding(packet, &bom);
  packet.remove_prefix(bom);
  packet = TrimTrailingNuls(packet, UnitSize(encoding));
  if (encoding == TextEncoding::kUTF8) {
    ParseUtf8Packet(packet, options, root);
  } else {
    ParseUtf8Packet(ToUTF8(packet, encoding), options, root);
  }
}

void ParseUtf8Packet(std::string_view packet, XMP_OptionBits options, XMPNode& root) {
  CheckParseInput(packet, options);
  // Each thread keeps the XML tree of its last small packet and parses the next one into it:
  // its arrays and first text block are reused rather than allocated again. The tree of a
  // large packet is freed, so that what a thread keeps stays small. Taken out while in use.
  constexpr size_t kKeepTreeBelow = 64 * 1024;  // bytes of packet
  thread_local std::unique_ptr<XmlTree> tSpareTree;
  std::unique_ptr<XmlTree> xml = std::move(tSpareTree);
  if (!xml) xml = std::make_unique<XmlTree>();
  xml->Parse(packet, kMaxElementDepth);
  if (xml->Empty()) throw XMP_Error(kXMPErr_BadXML, "the packet holds no XML element");
  CheckTrailing(xml->mTrailing);
  RdfReader(*xml, root).Run(options);
  if (packet.size() < kKeepTreeBelow) tSpareTree = std::move(xml);
}

}  // namespace xmpcore
