#include "veltcore/Xml.h"

#include <expat.h>

#include <algorithm>

#include <fstream>
#include <sstream>

namespace veltcore::xml {

void AbstractParseHandler::StartElementWithNamespace(
    [[maybe_unused]] const UTF8String& namespaceURI, [[maybe_unused]] const UTF8String& localName,
    const UTF8String& qualifiedName, const AttributeList& attributes) {
  AttributeMap map;
  for (const Attribute& a : attributes)
    map[a.mQualifiedName] = a.mValue;
  StartElement(qualifiedName, map);
}

void AbstractParseHandler::EndElementWithNamespace([[maybe_unused]] const UTF8String& namespaceURI,
                                                   [[maybe_unused]] const UTF8String& localName,
                                                   const UTF8String& qualifiedName) {
  EndElement(qualifiedName);
}

namespace {

// Separates namespace URI, local name and prefix in the names expat reports. It is a
// character XML 1.0 does not allow, so it cannot occur in a real name or URI.
constexpr char kSeparator = '\x01';
// Deepest element nesting accepted; deeper documents are refused rather than risking the
// recursion of handlers built on top of this layer.
constexpr int kMaxDepth = 2000;

struct SplitName {
  UTF8String mURI, mLocal, mQualified;
};

SplitName Split(const char* raw) {
  SplitName n;
  std::string_view s(raw);
  const auto first = s.find(kSeparator);
  if (first == std::string_view::npos) {
    n.mLocal = n.mQualified = UTF8String(s);
    return n;
  }
  n.mURI = UTF8String(s.substr(0, first));
  std::string_view rest = s.substr(first + 1);
  const auto second = rest.find(kSeparator);
  n.mLocal = UTF8String(rest.substr(0, second));
  if (second == std::string_view::npos) {
    n.mQualified = n.mLocal;
  } else {
    n.mQualified = UTF8String(rest.substr(second + 1)) + ":" + n.mLocal;
  }
  return n;
}

class ExpatParser final : public Parser {
 public:
  ExpatParser(AbstractParseHandler& handler, bool namespaces)
      : mHandler(handler), mNamespaces(namespaces) {}

  int Parse(std::string_view buffer) override;
  int ParseFile(const UTF8String& path) override;
  bool HasNamespaceSupport() const override { return mNamespaces; }
  const UTF8String& ErrorMessage() const override { return mError; }
  void Abort(const UTF8String& reason) override {
    if (mAbortReason.empty()) mAbortReason = reason.empty() ? "parse aborted" : reason;
    if (mParser) XML_StopParser(mParser, XML_FALSE);
  }

 private:
  void FlushText() {
    if (mText.empty()) return;
    UTF8String text;
    text.swap(mText);
    mHandler.Characters(text);
  }
  static ExpatParser& Self(void* data) { return *static_cast<ExpatParser*>(data); }

  static void OnStart(void* data, const XML_Char* name, const XML_Char** atts);
  static void OnEnd(void* data, const XML_Char* name);
  static void OnText(void* data, const XML_Char* s, int len) {
    Self(data).mText.append(s, static_cast<std::size_t>(len));
  }
  static void OnStartNs(void* data, const XML_Char* prefix, const XML_Char* uri) {
    ExpatParser& self = Self(data);
    self.FlushText();
    self.mHandler.StartPrefixMapping(prefix ? prefix : "", uri ? uri : "");
  }
  static void OnEndNs(void* data, const XML_Char* prefix) {
    ExpatParser& self = Self(data);
    self.FlushText();
    self.mHandler.EndPrefixMapping(prefix ? prefix : "");
  }
  static void OnPI(void* data, const XML_Char* target, const XML_Char* pidata) {
    ExpatParser& self = Self(data);
    self.FlushText();
    self.mHandler.ProcessingInstruction(target, pidata ? pidata : "");
  }
  static void OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    Self(data).Abort("a DOCTYPE is not allowed");
  }
  static void OnEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                           const XML_Char*, const XML_Char*, const XML_Char*) {
    Self(data).Abort("entity declarations are not allowed");
  }

  AbstractParseHandler& mHandler;
  bool mNamespaces;
  XML_Parser mParser = nullptr;
  UTF8String mText;
  UTF8String mError;
  UTF8String mAbortReason;
  int mDepth = 0;
};

void ExpatParser::OnStart(void* data, const XML_Char* name, const XML_Char** atts) {
  ExpatParser& self = Self(data);
  self.FlushText();
  if (++self.mDepth > kMaxDepth) {
    self.Abort("elements nested deeper than " + std::to_string(kMaxDepth));
    return;
  }
  if (!self.mNamespaces) {
    AttributeMap map;
    for (int i = 0; atts[i]; i += 2)
      map[atts[i]] = atts[i + 1];
    self.mHandler.StartElement(name, map);
    return;
  }
  const SplitName element = Split(name);
  AttributeList attributes;
  for (int i = 0; atts[i]; i += 2) {
    SplitName a = Split(atts[i]);
    attributes.push_back(
        Attribute{std::move(a.mURI), std::move(a.mLocal), std::move(a.mQualified), atts[i + 1]});
  }
  self.mHandler.StartElementWithNamespace(element.mURI, element.mLocal, element.mQualified,
                                          attributes);
}

void ExpatParser::OnEnd(void* data, const XML_Char* name) {
  ExpatParser& self = Self(data);
  self.FlushText();
  --self.mDepth;
  if (!self.mNamespaces) {
    self.mHandler.EndElement(name);
    return;
  }
  const SplitName element = Split(name);
  self.mHandler.EndElementWithNamespace(element.mURI, element.mLocal, element.mQualified);
}

int ExpatParser::Parse(std::string_view buffer) {
  mError.clear();
  mAbortReason.clear();
  mText.clear();
  mDepth = 0;
  const char separator[2] = {kSeparator, 0};
  mParser = mNamespaces ? XML_ParserCreateNS(nullptr, separator[0]) : XML_ParserCreate(nullptr);
  if (!mParser) {
    mError = "out of memory";
    return 1;
  }
  if (mNamespaces) XML_SetReturnNSTriplet(mParser, 1);
  XML_SetUserData(mParser, this);
  XML_SetElementHandler(mParser, &OnStart, &OnEnd);
  XML_SetCharacterDataHandler(mParser, &OnText);
  XML_SetProcessingInstructionHandler(mParser, &OnPI);
  XML_SetStartDoctypeDeclHandler(mParser, &OnDoctype);
  XML_SetEntityDeclHandler(mParser, &OnEntityDecl);
  XML_SetParamEntityParsing(mParser, XML_PARAM_ENTITY_PARSING_NEVER);
  if (mNamespaces) XML_SetNamespaceDeclHandler(mParser, &OnStartNs, &OnEndNs);

  // Feed in bounded pieces: expat takes an int length.
  constexpr std::size_t kChunk = 1 << 30;
  XML_Status status = XML_STATUS_OK;
  std::size_t offset = 0;
  do {
    const std::size_t n = std::min(kChunk, buffer.size() - offset);
    const bool last = offset + n == buffer.size();
    status = XML_Parse(mParser, buffer.data() + offset, static_cast<int>(n), last);
    offset += n;
  } while (status == XML_STATUS_OK && offset < buffer.size());
  if (status == XML_STATUS_OK) FlushText();

  int rc = 0;
  if (status != XML_STATUS_OK || !mAbortReason.empty()) {
    std::ostringstream msg;
    msg << "line " << XML_GetCurrentLineNumber(mParser) << ", column "
        << XML_GetCurrentColumnNumber(mParser) << ": "
        << (mAbortReason.empty() ? XML_ErrorString(XML_GetErrorCode(mParser)) : mAbortReason);
    mError = msg.str();
    rc = mAbortReason.empty() ? static_cast<int>(XML_GetErrorCode(mParser)) : -1;
    if (rc == 0) rc = -1;
  }
  XML_ParserFree(mParser);
  mParser = nullptr;
  mText.clear();
  return rc;
}

int ExpatParser::ParseFile(const UTF8String& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    mError = "cannot open file '" + path + "'";
    return -1;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    mError = "cannot read file '" + path + "'";
    return -1;
  }
  return Parse(bytes.str());
}

class DefaultFactory final : public ParserFactory {
 public:
  ParserPtr CreateParser(AbstractParseHandler& handler,
                         NamespaceSupport namespaces) const override {
    return std::make_unique<ExpatParser>(handler, namespaces == NamespaceSupport::kOn);
  }
};

template <class Text>
Text Encode(std::basic_string_view<typename Text::value_type> text) {
  Text out;
  out.reserve(text.size());
  for (auto c : text) {
    const char* entity = nullptr;
    switch (c) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\'':
        entity = "&apos;";
        break;
      default:
        out.push_back(c);
        continue;
    }
    for (const char* p = entity; *p; ++p)
      out.push_back(static_cast<typename Text::value_type>(*p));
  }
  return out;
}

// Decodes one reference starting at text[i] == '&'. Returns the code point and sets `length`
// to the reference's length, or returns 0 when it is no valid reference.
template <class View>
char32_t DecodeReference(View text, std::size_t i, std::size_t& length) {
  const std::size_t end = text.find(';', i);
  if (end == View::npos || end - i > 12) return 0;
  length = end - i + 1;
  std::string name;
  for (std::size_t k = i + 1; k < end; ++k) {
    if (text[k] > 0x7F) return 0;
    name.push_back(static_cast<char>(text[k]));
  }
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name.size() < 2 || name[0] != '#') return 0;
  const bool hex = name[1] == 'x';
  const std::string digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) return 0;
  unsigned long value = 0;
  for (char d : digits) {
    int v;
    if (d >= '0' && d <= '9')
      v = d - '0';
    else if (hex && d >= 'a' && d <= 'f')
      v = d - 'a' + 10;
    else if (hex && d >= 'A' && d <= 'F')
      v = d - 'A' + 10;
    else
      return 0;
    value = value * (hex ? 16 : 10) + static_cast<unsigned long>(v);
    if (value > 0x10FFFF) return 0;
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return static_cast<char32_t>(value);
}

}  // namespace

ParserPtr GetParser(AbstractParseHandler& handler) {
  return GetDefaultParserFactory().CreateParser(handler, NamespaceSupport::kOn);
}

const ParserFactory& GetDefaultParserFactory() {
  static const DefaultFactory factory;
  return factory;
}

bool Initialized() {
  return true;
}

namespace utils {

UTF8String EncodeReservedCharacters(std::string_view text) {
  return Encode<UTF8String>(text);
}
UTF16String EncodeReservedCharacters(std::u16string_view text) {
  return Encode<UTF16String>(text);
}

UTF8String DecodeReservedCharacters(std::string_view text) {
  UTF8String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 0;
    const char32_t cp = text[i] == '&' ? DecodeReference(text, i, length) : 0;
    if (cp == 0) {
      out.push_back(text[i]);
      continue;
    }
    UTF8String encoded;
    string::UTF16to8(cp < 0x10000
                         ? UTF16String(1, static_cast<char16_t>(cp))
                         : UTF16String{static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                                       static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))},
                     encoded);
    out += encoded;
    i += length - 1;
  }
  return out;
}

UTF16String DecodeReservedCharacters(std::u16string_view text) {
  UTF16String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 0;
    const char32_t cp = text[i] == u'&' ? DecodeReference(text, i, length) : 0;
    if (cp == 0) {
      out.push_back(text[i]);
      continue;
    }
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    i += length - 1;
  }
  return out;
}

}  // namespace utils
}  // namespace veltcore::xml
