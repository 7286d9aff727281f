#pragma once

// A compact XML document tree built with expat for the RDF parser: elements in one arena,
// names interned (namespace URI, local name, the document's prefix), attributes and text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xmpcore {

// What the RDF parser needs to know about a name without comparing strings.
enum class XmlNameKind : std::uint8_t {
  kOther,
  kNoNamespace,  // an unqualified name
  kRdfRDF,
  kRdfDescription,
  kRdfLi,
  kRdfBag,
  kRdfSeq,
  kRdfAlt,
  kRdfValue,
  kRdfAbout,
  kRdfResource,
  kRdfParseType,
  kRdfID,
  kRdfNodeID,
  kRdfDatatype,
  kRdfType,
  kRdfOther,  // another name in the rdf namespace
  kXmlLang,
  kXmlOther,  // another name in the xml namespace
  kXmpMeta,   // x:xmpmeta or its older name x:xapmeta
};

struct XmlName {
  std::string mNamespace;
  std::string mLocal;
  std::string mPrefix;  // as written in the document (may be empty)
  XmlNameKind mKind = XmlNameKind::kOther;
  std::string mQualified;  // "registeredPrefix:local", filled on first use as a property name
};

struct XmlAttribute {
  std::uint32_t mName;
  std::string mValue;
};

struct XmlElement {
  std::uint32_t mName = 0;
  std::uint32_t mLine = 0;
  std::vector<XmlAttribute> mAttributes;
  std::vector<std::uint32_t> mChildren;  // element indices
  std::string mText;                     // character data directly inside
  bool mHasText = false;                 // the text has a non-white-space character
};

class XmlTree {
 public:
  // Parses UTF-8 XML. Raises XMP_Error kXMPErr_BadXML for malformed XML, a DOCTYPE, an entity
  // declaration or nesting deeper than `maxDepth`, with line and column.
  void Parse(std::string_view utf8, int maxDepth);

  const XmlElement& Element(std::uint32_t index) const { return mElements[index]; }
  XmlName& Name(std::uint32_t index) { return mNames[index]; }
  const XmlName& Name(std::uint32_t index) const { return mNames[index]; }
  std::uint32_t Root() const { return 0; }
  bool Empty() const { return mElements.empty(); }

  // Internal state used by the expat callbacks.
  std::vector<XmlElement> mElements;
  std::vector<XmlName> mNames;
  std::vector<std::uint32_t> mStack;
};

}  // namespace xmpcore
