#include "XMPXmlTree.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "xmp/XMP_Const.h"

namespace xmpcore {
namespace {

constexpr char kSeparator = '\x01';
constexpr std::string_view kRdfNS = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kXmlNS = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kMetaNS = "adobe:ns:meta/";

XmlNameKind KindOf(const XmlName& name) {
  if (name.mNamespace.empty()) return XmlNameKind::kNoNamespace;
  if (name.mNamespace == kRdfNS) {
    static const std::unordered_map<std::string_view, XmlNameKind> kRdf = {
        {"RDF", XmlNameKind::kRdfRDF},
        {"Description", XmlNameKind::kRdfDescription},
        {"li", XmlNameKind::kRdfLi},
        {"Bag", XmlNameKind::kRdfBag},
        {"Seq", XmlNameKind::kRdfSeq},
        {"Alt", XmlNameKind::kRdfAlt},
        {"value", XmlNameKind::kRdfValue},
        {"about", XmlNameKind::kRdfAbout},
        {"resource", XmlNameKind::kRdfResource},
        {"parseType", XmlNameKind::kRdfParseType},
        {"ID", XmlNameKind::kRdfID},
        {"nodeID", XmlNameKind::kRdfNodeID},
        {"datatype", XmlNameKind::kRdfDatatype},
        {"type", XmlNameKind::kRdfType},
    };
    auto it = kRdf.find(name.mLocal);
    return it == kRdf.end() ? XmlNameKind::kRdfOther : it->second;
  }
  if (name.mNamespace == kXmlNS) {
    return name.mLocal == "lang" ? XmlNameKind::kXmlLang : XmlNameKind::kXmlOther;
  }
  if (name.mNamespace == kMetaNS && (name.mLocal == "xmpmeta" || name.mLocal == "xapmeta")) {
    return XmlNameKind::kXmpMeta;
  }
  return XmlNameKind::kOther;
}

// Heterogeneous lookup, so that interning a name allocates only for new names.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct Context {
  XmlTree* mTree;
  XML_Parser mParser;
  int mMaxDepth;
  std::string mError;  // set by a handler that stops the parser
  std::unordered_map<std::string, std::uint32_t, NameHash, std::equal_to<>> mNameIds;

  std::uint32_t Intern(const char* raw) {
    std::string_view key(raw);
    if (auto found = mNameIds.find(key); found != mNameIds.end()) return found->second;
    auto it = mNameIds.emplace(std::string(key), 0).first;
    XmlName name;
    std::string_view text(raw);
    size_t first = text.find(kSeparator);
    if (first == std::string_view::npos) {
      name.mLocal = std::string(text);
    } else {
      name.mNamespace = std::string(text.substr(0, first));
      std::string_view rest = text.substr(first + 1);
      size_t second = rest.find(kSeparator);
      name.mLocal = std::string(rest.substr(0, second));
      if (second != std::string_view::npos) name.mPrefix = std::string(rest.substr(second + 1));
    }
    name.mKind = KindOf(name);
    it->second = static_cast<std::uint32_t>(mTree->mNames.size());
    mTree->mNames.push_back(std::move(name));
    return it->second;
  }

  void Stop(std::string message) {
    if (mError.empty()) mError = std::move(message);
    XML_StopParser(mParser, XML_FALSE);
  }
};

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto* ctx = static_cast<Context*>(data);
  XmlTree& tree = *ctx->mTree;
  if (static_cast<int>(tree.mStack.size()) >= ctx->mMaxDepth) {
    ctx->Stop("elements nested deeper than " + std::to_string(ctx->mMaxDepth) + " levels");
    return;
  }
  auto index = static_cast<std::uint32_t>(tree.mElements.size());
  if (!tree.mStack.empty()) {
    XmlElement& parent = tree.mElements[tree.mStack.back()];
    if (parent.mLastChild == kNoElement) {
      parent.mFirstChild = index;
    } else {
      tree.mElements[parent.mLastChild].mNextSibling = index;
    }
    parent.mLastChild = index;
    ++parent.mChildCount;
  }
  tree.mElements.emplace_back();
  XmlElement& element = tree.mElements.back();
  element.mName = ctx->Intern(name);
  element.mLine = static_cast<std::uint32_t>(XML_GetCurrentLineNumber(ctx->mParser));
  element.mAttributeBegin = static_cast<std::uint32_t>(tree.mAttributes.size());
  for (const XML_Char** a = attributes; *a; a += 2) {
    tree.mAttributes.push_back({ctx->Intern(a[0]), tree.mText.Store(a[1])});
  }
  element.mAttributeCount =
      static_cast<std::uint32_t>(tree.mAttributes.size()) - element.mAttributeBegin;
  tree.mStack.push_back(index);
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
  auto* ctx = static_cast<Context*>(data);
  ctx->mTree->mStack.pop_back();
}

void XMLCALL OnText(void* data, const XML_Char* text, int length) {
  auto* ctx = static_cast<Context*>(data);
  XmlTree& tree = *ctx->mTree;
  if (tree.mStack.empty()) return;
  XmlElement& element = tree.mElements[tree.mStack.back()];
  if (element.mChildCount == 0) {
    element.mText = tree.mText.Append(element.mText, {text, static_cast<size_t>(length)});
  }
  if (!element.mHasText) {
    for (int i = 0; i < length; ++i) {
      char c = text[i];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
        element.mHasText = true;
        break;
      }
    }
  }
}

void XMLCALL OnDoctype(void* data, const XML_Char* name, const XML_Char*, const XML_Char*, int) {
  static_cast<Context*>(data)->Stop(std::string("DOCTYPE declaration '") + name +
                                    "' is not allowed in XMP");
}

void XMLCALL OnEntity(void* data, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                      const XML_Char*, const XML_Char*, const XML_Char*) {
  static_cast<Context*>(data)->Stop(std::string("entity declaration '") + name +
                                    "' is not allowed in XMP");
}

struct ParserDeleter {
  void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

}  // namespace

char* XmlTextStore::Allocate(size_t size) {
  if (size > mRoom) {
    constexpr size_t kBlock = 64 * 1024;
    size_t blockSize = std::max(kBlock, size);
    mBlocks.push_back(std::make_unique<char[]>(blockSize));
    mTop = mBlocks.back().get();
    mRoom = blockSize;
  }
  char* at = mTop;
  mTop += size;
  mRoom -= size;
  return at;
}

std::string_view XmlTextStore::Store(std::string_view text) {
  if (text.empty()) return {};
  char* at = Allocate(text.size());
  std::memcpy(at, text.data(), text.size());
  return {at, text.size()};
}

std::string_view XmlTextStore::Append(std::string_view current, std::string_view more) {
  if (current.empty()) return Store(more);
  if (current.data() + current.size() == mTop && more.size() <= mRoom) {
    std::memcpy(mTop, more.data(), more.size());
    mTop += more.size();
    mRoom -= more.size();
    return {current.data(), current.size() + more.size()};
  }
  char* at = Allocate(current.size() + more.size());
  std::memcpy(at, current.data(), current.size());
  std::memcpy(at + current.size(), more.data(), more.size());
  return {at, current.size() + more.size()};
}

void XmlTree::Parse(std::string_view utf8, int maxDepth) {
  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreateNS("UTF-8", kSeparator));
  if (!parser) throw XMP_Error(kXMPErr_NoMemory, "cannot create the XML parser");
  Context ctx{this, parser.get(), maxDepth, {}, {}};
  XML_SetUserData(parser.get(), &ctx);
  XML_SetReturnNSTriplet(parser.get(), 1);
  XML_SetElementHandler(parser.get(), OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser.get(), OnText);
  XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
  XML_SetEntityDeclHandler(parser.get(), OnEntity);
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  mElements.reserve(utf8.size() / 64 + 8);

  // expat takes an int length: feed large inputs in pieces.
  constexpr size_t kChunk = size_t(1) << 30;
  XML_Status status = XML_STATUS_OK;
  size_t offset = 0;
  do {
    size_t n = std::min(kChunk, utf8.size() - offset);
    bool last = offset + n == utf8.size();
    status = XML_Parse(parser.get(), utf8.data() + offset, static_cast<int>(n), last);
    offset += n;
  } while (status == XML_STATUS_OK && offset < utf8.size());

  if (status != XML_STATUS_OK || !ctx.mError.empty()) {
    std::string what = !ctx.mError.empty()
                           ? ctx.mError
                           : std::string(XML_ErrorString(XML_GetErrorCode(parser.get())));
    throw XMP_Error(kXMPErr_BadXML,
                    "XML error at line " + std::to_string(XML_GetCurrentLineNumber(parser.get())) +
                        ", column " + std::to_string(XML_GetCurrentColumnNumber(parser.get())) +
                        ": " + what);
  }
}

}  // namespace xmpcore
