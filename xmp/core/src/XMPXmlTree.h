#pragma once

// A compact XML document tree built with expat for the RDF parser: elements in one arena,
// names interned (namespace URI, local name, the document's prefix), attributes and text.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "HashIndex.h"

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

// The parts of a name point into the tree's text storage: a document with many distinct
// names costs one copy of each, not a few heap strings per name.
struct XmlName {
  std::string_view mNamespace;
  std::string_view mLocal;
  std::string_view mPrefix;  // as written in the document (may be empty)
  XmlNameKind mKind = XmlNameKind::kOther;
  std::string_view mQualified;  // "registeredPrefix:local", filled on first use as a property name
};

struct XmlAttribute {
  std::uint32_t mName;
  std::string_view mValue;  // points into the tree's text storage
};

inline constexpr std::uint32_t kNoElement = 0xFFFFFFFF;

struct XmlElement {
  std::uint32_t mName = 0;
  std::uint32_t mOffset = 0;  // of the start tag in the parsed text (see XmlTree::LineOf)
  std::uint32_t mFirstChild = kNoElement;
  std::uint32_t mLastChild = kNoElement;
  std::uint32_t mNextSibling = kNoElement;
  std::uint32_t mChildCount = 0;
  std::uint32_t mAttributeBegin = 0;  // index into the tree's attribute list
  std::uint32_t mAttributeCount = 0;
  // Character data directly inside, for elements without child elements (for the others
  // only mHasText is kept). Points into the tree's text storage.
  std::string_view mText;
  bool mHasText = false;  // the text has a non-white-space character
};

// The child elements of an element, for range-for loops.
class XmlChildren {
 public:
  class Iterator {
   public:
    Iterator(const std::vector<XmlElement>* elements, std::uint32_t index)
        : mElements(elements), mIndex(index) {}
    std::uint32_t operator*() const { return mIndex; }
    Iterator& operator++() {
      mIndex = (*mElements)[mIndex].mNextSibling;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return mIndex != other.mIndex; }

   private:
    const std::vector<XmlElement>* mElements;
    std::uint32_t mIndex;
  };
  XmlChildren(const std::vector<XmlElement>* elements, std::uint32_t first)
      : mElements(elements), mFirst(first) {}
  Iterator begin() const { return {mElements, mFirst}; }
  Iterator end() const { return {mElements, kNoElement}; }

 private:
  const std::vector<XmlElement>* mElements;
  std::uint32_t mFirst;
};

// Stable storage for attribute values and text. Values are packed into shared blocks that
// never move while other values live in them. A text that grows piece by piece (expat hands
// over character data one line or entity at a time) moves to a block of its own, which then
// grows geometrically and is replaced, not kept, when it moves again: appending n bytes in
// any number of pieces costs O(n) time and at most about 2n bytes.
class XmlTextStore {
 public:
  // Copies `text` and returns a view of the copy.
  std::string_view Store(std::string_view text);
  // Returns `current` (the view returned last by Store or Append) extended by `more`. The
  // text may move; earlier views of it are then invalid, all other views stay valid.
  // `finalBound`, when known, is the most the text can grow to: room beyond it is not taken.
  std::string_view Append(std::string_view current, std::string_view more,
                          size_t finalBound = static_cast<size_t>(-1));
  // Bytes held in blocks, for tests and benchmarks.
  size_t Capacity() const;
  // Forgets every text (earlier views become invalid) and keeps the first block for reuse.
  void Reset();

 private:
  struct FreeBlock {
    void operator()(char* p) const;
  };
  struct Block {
    std::unique_ptr<char, FreeBlock> mData;
    size_t mSize = 0;
  };
  char* Allocate(size_t size);
  void NewBlock(size_t size);
  std::vector<Block> mBlocks;
  char* mTop = nullptr;
  size_t mRoom = 0;
};

class XmlTree {
 public:
  // Parses UTF-8 XML up to the end of the root element, replacing what the tree held (a tree
  // may be reused: its storage is kept); the bytes after it are not read
  // (mTrailing shows them). An xpacket processing instruction before the root is skipped
  // unread. Raises XMP_Error kXMPErr_BadXML for malformed XML, a DOCTYPE, an entity
  // declaration or nesting deeper than `maxDepth`, with line and column. `utf8` must stay
  // alive while the tree is used.
  void Parse(std::string_view utf8, int maxDepth);
  // The line (from 1) where an element starts, for messages. Counted on demand: the parse
  // itself does not track lines.
  std::uint32_t LineOf(const XmlElement& e) const;

  const XmlElement& Element(std::uint32_t index) const { return mElements[index]; }
  XmlChildren Children(const XmlElement& e) const { return {&mElements, e.mFirstChild}; }
  std::span<const XmlAttribute> Attributes(const XmlElement& e) const {
    return {mAttributes.data() + e.mAttributeBegin, e.mAttributeCount};
  }
  XmlName& Name(std::uint32_t index) { return mNames[index]; }
  const XmlName& Name(std::uint32_t index) const { return mNames[index]; }
  std::uint32_t Root() const { return 0; }
  bool Empty() const { return mElements.empty(); }

  // Internal state used by the expat callbacks.
  std::vector<XmlElement> mElements;
  std::vector<XmlAttribute> mAttributes;
  std::vector<XmlName> mNames;
  XmlTextStore mText;
  std::vector<std::uint32_t> mStack;
  // Names as written ("p:local"), each with the name id it resolved to under the bindings
  // of one scope epoch: a name met again resolves without looking at its namespace.
  struct WrittenName {
    std::string_view mText;
    bool mAttribute;  // resolved as an attribute (an unprefixed one has no namespace)
    std::uint64_t mEpoch;
    std::uint32_t mId;
  };
  std::vector<WrittenName> mWrittenNames;
  HashIndex mWrittenIndex;
  std::string_view mTrailing;  // the bytes of the input after the root element
  std::string_view mInput;     // the parsed text
};

}  // namespace xmpcore
