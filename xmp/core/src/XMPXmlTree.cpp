#include "XMPXmlTree.h"

#include <expat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "HashIndex.h"
#include "XMPXmlScope.h"
#include "xmp/XMP_Const.h"

namespace xmpcore {
namespace {

constexpr size_t kBlock = 16 * 1024;  // the text store's shared blocks
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

struct Context {
  XmlTree* mTree = nullptr;
  NamespaceScope mScope;
  XML_Parser mParser = nullptr;
  int mMaxDepth = 0;
  std::string mError;                        // set by a handler that stops the parser
  size_t mRootEnd = std::string_view::npos;  // bytes fed up to the end of the root element
  size_t mInputEnd = 0;                      // bytes that will have been fed at the end

  // The offset in the parsed text of a byte index of the stream fed to expat.
  size_t InputOffset(XML_Index fed) const {
    auto at = static_cast<size_t>(fed);
    return at >= mSkipAt ? at + mSkipped : at;
  }
  size_t mSkipAt = 0;   // where the bytes not given to expat were cut out
  size_t mSkipped = 0;  // and how many

  explicit Context(XmlTree& tree) : mTree(&tree), mScope(tree.mText) {}

  // The name id of a name as written ("p:local") where the reader is; kNoElement after
  // stopping the parser when the name cannot be resolved. `last` is the written name this
  // call site resolved last: runs of one name (the items of a long array) skip the hash.
  std::uint32_t Resolve(const char* raw, bool attribute, std::uint32_t& last) {
    const std::string_view written(raw);
    std::vector<XmlTree::WrittenName>& names = mTree->mWrittenNames;
    if (last != kNoElement && names[last].mEpoch == mScope.Epoch() &&
        names[last].mText == written) {
      return names[last].mId;
    }
    const size_t hash = HashText(written);
    std::uint32_t entry = mTree->mWrittenIndex.Find(hash, [&](std::uint32_t i) {
      return names[i].mAttribute == attribute && names[i].mText == written;
    });
    if (entry == HashIndex::kNone) {
      entry = static_cast<std::uint32_t>(names.size());
      names.push_back({mTree->mText.Store(written), attribute, 0, kNoElement});
      mTree->mWrittenIndex.Insert(hash, entry);
    }
    XmlTree::WrittenName& name = names[entry];
    if (name.mId == kNoElement || name.mEpoch != mScope.Epoch()) {
      const std::uint32_t id = ResolveInScope(name.mText, attribute, name.mId);
      if (id == kNoElement) return kNoElement;
      name.mId = id;
      name.mEpoch = mScope.Epoch();
    }
    last = entry;
    return name.mId;
  }
  std::uint32_t mLastElement = kNoElement;
  std::uint32_t mLastAttribute = kNoElement;

  // Resolves a written name (its stored copy) through the bindings in scope, as Namespaces in
  // XML says: an unprefixed element is in the default namespace, an unprefixed attribute in
  // none. `earlier` is the name it resolved to before the bindings last changed: when its
  // prefix still means the same namespace, that name is kept.
  std::uint32_t ResolveInScope(std::string_view written, bool attribute, std::uint32_t earlier) {
    std::string_view prefix;
    std::string_view local = written;
    if (const size_t colon = written.find(':'); colon != std::string_view::npos) {
      prefix = written.substr(0, colon);
      local = written.substr(colon + 1);
      if (prefix.empty() || local.empty() || local.find(':') != std::string_view::npos) {
        Stop("'" + std::string(written) + "' is not a valid qualified name");
        return kNoElement;
      }
      if (prefix == "xmlns") {
        Stop("'" + std::string(written) + "' uses the reserved prefix 'xmlns'");
        return kNoElement;
      }
    }
    std::string_view ns;
    if (!prefix.empty() || !attribute) {
      const std::optional<std::string_view> bound = LookupPrefix(prefix);
      if (!bound) {
        Stop("the prefix '" + std::string(prefix) + "' of '" + std::string(written) +
             "' is not declared");
        return kNoElement;
      }
      ns = *bound;
    }
    if (earlier != kNoElement && mTree->mNames[earlier].mNamespace == ns) return earlier;
    XmlName name;
    name.mNamespace = ns;
    name.mLocal = local;
    name.mPrefix = prefix;
    name.mKind = KindOf(name);
    mTree->mNames.push_back(name);
    return static_cast<std::uint32_t>(mTree->mNames.size() - 1);
  }

  // The scope's Lookup, with the last prefix's answer kept while the bindings stay as they
  // are: the names of a packet mostly come prefix by prefix.
  std::optional<std::string_view> LookupPrefix(std::string_view prefix) {
    if (mPrefixEpoch != mScope.Epoch() || prefix != mPrefix) {
      mPrefix = prefix;
      mPrefixUri = mScope.Lookup(prefix);
      mPrefixEpoch = mScope.Epoch();
    }
    return mPrefixUri;
  }
  std::string_view mPrefix;
  std::optional<std::string_view> mPrefixUri;
  std::uint64_t mPrefixEpoch = static_cast<std::uint64_t>(-1);

  // False, after stopping the parser, when two attributes of one element written with
  // different prefixes name the same attribute (expat sees only that their spellings differ).
  bool DistinctAttributes(std::uint32_t begin, std::uint32_t count) {
    // Two attributes can only be one when their different prefixes name one namespace. Most
    // elements use a few prefixes, each for a namespace of its own: then nothing is sorted.
    constexpr size_t kFewPrefixes = 8;
    mPairs.clear();
    bool shared = false;
    for (std::uint32_t i = begin; i < begin + count && !shared; ++i) {
      const XmlName& n = mTree->mNames[mTree->mAttributes[i].mName];
      if (n.mNamespace.empty()) continue;
      auto seen = [&](const auto& p) { return p.first == n.mPrefix; };
      if (std::any_of(mPairs.begin(), mPairs.end(), seen)) continue;
      for (const auto& [prefix, ns] : mPairs)
        shared = shared || ns == n.mNamespace;
      mPairs.emplace_back(n.mPrefix, n.mNamespace);
      shared = shared || mPairs.size() > kFewPrefixes;
    }
    if (!shared) return true;
    mPairs.clear();
    for (std::uint32_t i = begin; i < begin + count; ++i) {
      const XmlName& n = mTree->mNames[mTree->mAttributes[i].mName];
      if (!n.mNamespace.empty()) mPairs.emplace_back(n.mNamespace, n.mLocal);
    }
    std::sort(mPairs.begin(), mPairs.end());
    auto same = std::adjacent_find(mPairs.begin(), mPairs.end());
    if (same == mPairs.end()) return true;
    Stop("the attribute '" + std::string(same->second) + "' of namespace '" +
         std::string(same->first) + "' is given twice");
    return false;
  }
  // (prefix, namespace), then (namespace, local) pairs; kept for its capacity.
  std::vector<std::pair<std::string_view, std::string_view>> mPairs;

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
  // The element's own declarations apply to its name and attributes.
  if (std::string problem = ctx->mScope.Open(attributes); !problem.empty()) {
    ctx->Stop(problem);
    return;
  }
  const std::uint32_t nameId = ctx->Resolve(name, false, ctx->mLastElement);
  if (nameId == kNoElement) return;
  const auto attributeBegin = static_cast<std::uint32_t>(tree.mAttributes.size());
  for (const XML_Char** a = attributes; *a; a += 2) {
    if (IsNamespaceDeclaration(a[0])) continue;
    const std::uint32_t id = ctx->Resolve(a[0], true, ctx->mLastAttribute);
    if (id == kNoElement) return;
    tree.mAttributes.push_back({id, tree.mText.Store(a[1])});
  }
  const auto attributeCount = static_cast<std::uint32_t>(tree.mAttributes.size()) - attributeBegin;
  if (attributeCount > 1 && !ctx->DistinctAttributes(attributeBegin, attributeCount)) return;

  const auto index = static_cast<std::uint32_t>(tree.mElements.size());
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
  XmlElement& element = tree.mElements.emplace_back();
  element.mName = nameId;
  element.mOffset =
      static_cast<std::uint32_t>(ctx->InputOffset(XML_GetCurrentByteIndex(ctx->mParser)));
  element.mAttributeBegin = attributeBegin;
  element.mAttributeCount = attributeCount;
  tree.mStack.push_back(index);
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
  auto* ctx = static_cast<Context*>(data);
  // Expat still ends an empty element ("<a/>") whose start handler stopped the parser; that
  // element was never opened here.
  if (!ctx->mError.empty()) return;
  ctx->mScope.Close();
  ctx->mTree->mStack.pop_back();
  if (ctx->mTree->mStack.empty()) {
    // The document ends with its root element: what follows is not read, so that junk after
    // a packet does not make it unreadable.
    ctx->mRootEnd = static_cast<size_t>(XML_GetCurrentByteIndex(ctx->mParser) +
                                        XML_GetCurrentByteCount(ctx->mParser));
    XML_StopParser(ctx->mParser, XML_FALSE);
  }
}

void XMLCALL OnText(void* data, const XML_Char* text, int length) {
  auto* ctx = static_cast<Context*>(data);
  XmlTree& tree = *ctx->mTree;
  if (tree.mStack.empty()) return;
  XmlElement& element = tree.mElements[tree.mStack.back()];
  if (element.mChildCount == 0) {
    // XML only shortens text (entities, line ends): the text ends within the input left.
    auto at = static_cast<size_t>(XML_GetCurrentByteIndex(ctx->mParser));
    size_t bound = element.mText.size() + (ctx->mInputEnd > at ? ctx->mInputEnd - at : 0);
    element.mText = tree.mText.Append(element.mText, {text, static_cast<size_t>(length)}, bound);
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
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

// The salt of expat's hash tables: left unset, expat asks the system for one at every parse,
// a call that costs a tenth of parsing a typical packet. Derived from the process's hash key,
// it is as unpredictable as that key and drawn once.
unsigned long HashSalt() {
  static const auto sSalt = static_cast<unsigned long>(HashText("expat hash salt"));
  return sSalt;
}

// Each thread keeps the parser of its last small document and resets it for the next one, so
// that its buffers and tables are reused rather than allocated again (a fifth of the cost of
// a typical packet). A parser that served a large document is freed instead: what a thread
// keeps stays a few kilobytes. Taken out while in use, so a nested parse gets its own.
constexpr size_t kKeepParserBelow = 64 * 1024;  // bytes of input
thread_local ParserPtr tSpareParser;

ParserPtr TakeParser() {
  ParserPtr parser = std::move(tSpareParser);
  if (!parser || !XML_ParserReset(parser.get(), "UTF-8")) {
    parser.reset(XML_ParserCreate("UTF-8"));
  }
  if (parser && HashSalt() != 0) XML_SetHashSalt(parser.get(), HashSalt());
  return parser;
}

}  // namespace

void XmlTextStore::FreeBlock::operator()(char* p) const {
  std::free(p);
}

void XmlTextStore::NewBlock(size_t size) {
  auto* data = static_cast<char*>(std::malloc(size));
  if (!data) throw XMP_Error(kXMPErr_NoMemory, "no memory for " + std::to_string(size) + " bytes");
  mBlocks.push_back({std::unique_ptr<char, FreeBlock>(data), size});
  mTop = data;
  mRoom = size;
}

char* XmlTextStore::Allocate(size_t size) {
  if (size > mRoom) NewBlock(std::max(kBlock, size));
  char* at = mTop;
  mTop += size;
  mRoom -= size;
  return at;
}

void XmlTextStore::Reset() {
  if (mBlocks.size() > 1) mBlocks.resize(1);
  if (mBlocks.empty()) {
    mTop = nullptr;
    mRoom = 0;
  } else {
    mTop = mBlocks.front().mData.get();
    mRoom = mBlocks.front().mSize;
  }
}

size_t XmlTextStore::Capacity() const {
  size_t total = 0;
  for (const Block& block : mBlocks)
    total += block.mSize;
  return total;
}

std::string_view XmlTextStore::Store(std::string_view text) {
  if (text.empty()) return {};
  char* at = Allocate(text.size());
  std::memcpy(at, text.data(), text.size());
  return {at, text.size()};
}

std::string_view XmlTextStore::Append(std::string_view current, std::string_view more,
                                      size_t finalBound) {
  if (current.empty()) return Store(more);
  if (more.empty()) return current;
  const size_t size = current.size() + more.size();
  const bool atTop = current.data() + current.size() == mTop;
  if (atTop && more.size() <= mRoom) {
    std::memcpy(mTop, more.data(), more.size());
    mTop += more.size();
    mRoom -= more.size();
    return {current.data(), size};
  }
  const size_t capacity = std::max(size, std::min(size * 2, finalBound));
  if (atTop && !mBlocks.empty() && current.data() == mBlocks.back().mData.get()) {
    // The text owns the last block: grow that block (realloc may extend it in place).
    Block& block = mBlocks.back();
    auto* data = static_cast<char*>(std::realloc(block.mData.get(), capacity));
    if (!data) {
      throw XMP_Error(kXMPErr_NoMemory,
                      "no memory for a text of " + std::to_string(size) + " bytes");
    }
    (void)block.mData.release();
    block.mData.reset(data);
    block.mSize = capacity;
    std::memcpy(data + current.size(), more.data(), more.size());
    mTop = data + size;
    mRoom = capacity - size;
    return {data, size};
  }
  // Move the text to the start of a new block, so that it owns that block while it grows;
  // the bytes it leaves behind are no more than it has.
  NewBlock(std::max(kBlock, capacity));
  char* at = mTop;
  std::memcpy(at, current.data(), current.size());
  std::memcpy(at + current.size(), more.data(), more.size());
  mTop += size;
  mRoom -= size;
  return {at, size};
}

std::uint32_t XmlTree::LineOf(const XmlElement& e) const {
  // Line ends as XML counts them: "\r\n", "\n" and a lone "\r".
  std::string_view before = mInput.substr(0, std::min<size_t>(e.mOffset, mInput.size()));
  std::uint32_t line = 1;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == '\n' ||
        (before[i] == '\r' && (i + 1 >= mInput.size() || mInput[i + 1] != '\n'))) {
      ++line;
    }
  }
  return line;
}

namespace {

// How often `byte` occurs in `text`. Counted in 16 lanes of byte counters, a form compilers
// turn into vector instructions: std::count runs byte by byte, which costs as much as a good
// part of the parse on a large packet.
size_t CountByte(std::string_view text, char byte) {
  constexpr size_t kLanes = 16;
  constexpr size_t kRun = 255 * kLanes;  // a lane counts up to 255 before it is emptied
  size_t total = 0;
  while (!text.empty()) {
    const std::string_view run = text.substr(0, kRun);
    unsigned char lanes[kLanes] = {};
    const size_t whole = run.size() / kLanes * kLanes;
    for (size_t i = 0; i < whole; i += kLanes) {
      for (size_t k = 0; k < kLanes; ++k)
        lanes[k] = static_cast<unsigned char>(lanes[k] + (run[i + k] == byte));
    }
    for (size_t i = whole; i < run.size(); ++i)
      total += run[i] == byte;
    for (unsigned char lane : lanes)
      total += lane;
    text.remove_prefix(run.size());
  }
  return total;
}

bool StartsWith(std::string_view text, size_t at, std::string_view prefix) {
  return text.substr(at, prefix.size()) == prefix;
}

// The [begin, end) byte range of an xpacket processing instruction in the prolog of `text`
// (before the first element), or {npos, npos}. The wrapper is not XML content: its begin
// attribute may hold bytes XML does not allow (0x1A is common), so it is not given to expat.
std::pair<size_t, size_t> FindPacketHeader(std::string_view text) {
  constexpr auto npos = std::string_view::npos;
  size_t at = 0;
  while (at < text.size()) {
    char c = text[at];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++at;
      continue;
    }
    std::string_view close;
    if (StartsWith(text, at, "<?")) {
      close = "?>";
    } else if (StartsWith(text, at, "<!--")) {
      close = "-->";
    } else {
      break;
    }
    size_t end = text.find(close, at + 2);
    if (end == npos) break;
    end += close.size();
    if (StartsWith(text, at, "<?xpacket") && at + 9 < text.size() &&
        (text[at + 9] == ' ' || text[at + 9] == '?')) {
      return {at, end};
    }
    at = end;
  }
  return {npos, npos};
}

}  // namespace

void XmlTree::Parse(std::string_view utf8, int maxDepth) {
  mElements.clear();
  mAttributes.clear();
  mNames.clear();
  mText.Reset();
  mStack.clear();
  mWrittenNames.clear();
  mWrittenIndex.Reset();
  ParserPtr parser = TakeParser();
  if (!parser) throw XMP_Error(kXMPErr_NoMemory, "cannot create the XML parser");
  Context ctx(*this);
  ctx.mParser = parser.get();
  ctx.mMaxDepth = maxDepth;
  ctx.mInputEnd = utf8.size();
  XML_SetUserData(parser.get(), &ctx);
  XML_SetElementHandler(parser.get(), OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser.get(), OnText);
  XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
  XML_SetEntityDeclHandler(parser.get(), OnEntity);
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  // Every element starts with '<': reserving for all of them spares the copies (and the fresh
  // pages) of a growing array, which dominate the cost of packets with many small elements.
  const size_t tags = CountByte(utf8, '<');
  mElements.reserve(tags / 2 + 8);
  mInput = utf8;
  mNames.reserve(std::min<size_t>(tags / 2, 256) + 8);
  mTrailing = {};

  // Callers limit packets far below expat's int lengths.
  auto [headerBegin, headerEnd] = FindPacketHeader(utf8);
  size_t skipped = 0;
  XML_Status status = XML_STATUS_OK;
  if (headerBegin != std::string_view::npos) {
    status = XML_Parse(parser.get(), utf8.data(), static_cast<int>(headerBegin), XML_FALSE);
    skipped = headerEnd - headerBegin;
    ctx.mSkipAt = headerBegin;
    ctx.mSkipped = skipped;
  } else {
    headerBegin = headerEnd = 0;
  }
  ctx.mInputEnd = utf8.size() - skipped;
  // Fed in pieces, so that expat's own buffer stays small however large the packet is.
  constexpr size_t kPiece = 64 * 1024;
  std::string_view rest = utf8.substr(headerEnd);
  while (status == XML_STATUS_OK) {
    std::string_view piece = rest.substr(0, kPiece);
    rest.remove_prefix(piece.size());
    status = XML_Parse(parser.get(), piece.data(), static_cast<int>(piece.size()),
                       rest.empty() ? XML_TRUE : XML_FALSE);
    if (rest.empty()) break;
  }
  const bool complete = ctx.mError.empty() && ctx.mRootEnd != std::string_view::npos;
  if (complete) {
    size_t end = ctx.mRootEnd + (ctx.mRootEnd >= headerBegin ? skipped : 0);
    mTrailing = utf8.substr(std::min(end, utf8.size()));
    if (utf8.size() < kKeepParserBelow) tSpareParser = std::move(parser);
    return;
  }
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
