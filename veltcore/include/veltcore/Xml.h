#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "veltcore/Strings.h"

namespace veltcore::xml {

// One attribute of an element, as seen by a namespace-aware parser.
struct Attribute {
  UTF8String mNamespaceURI;  // empty for an unprefixed attribute
  UTF8String mLocalName;
  UTF8String mQualifiedName;  // as written, with its prefix
  UTF8String mValue;
};
using AttributeList = std::vector<Attribute>;
// Attribute name (as written, with prefix) -> value.
using AttributeMap = std::map<UTF8String, UTF8String>;

// Receives the events of a parse, in document order. Every method has an empty default so a
// handler overrides only what it needs. Text is UTF-8.
class AbstractParseHandler {
 public:
  virtual ~AbstractParseHandler() = default;

  // Element start by its name as written; the default namespace-aware event calls this.
  virtual void StartElement([[maybe_unused]] const UTF8String& name,
                            [[maybe_unused]] const AttributeMap& attributes) {}
  // Element start with its namespace URI and local name. The default hands the element to
  // StartElement with its qualified name and the attributes keyed by qualified name.
  virtual void StartElementWithNamespace(const UTF8String& namespaceURI,
                                         const UTF8String& localName,
                                         const UTF8String& qualifiedName,
                                         const AttributeList& attributes);
  virtual void EndElement([[maybe_unused]] const UTF8String& name) {}
  // The default calls EndElement with the qualified name.
  virtual void EndElementWithNamespace(const UTF8String& namespaceURI, const UTF8String& localName,
                                       const UTF8String& qualifiedName);
  // Character data; one text run may arrive in several calls.
  virtual void Characters([[maybe_unused]] const UTF8String& text) {}
  // A namespace declaration comes into scope (before the element's start event) or goes out of
  // scope (after the element's end event). The default prefix is the empty string.
  virtual void StartPrefixMapping([[maybe_unused]] const UTF8String& prefix,
                                  [[maybe_unused]] const UTF8String& uri) {}
  virtual void EndPrefixMapping([[maybe_unused]] const UTF8String& prefix) {}
  // A processing instruction such as <?xpacket begin="" ...?>.
  virtual void ProcessingInstruction([[maybe_unused]] const UTF8String& target,
                                     [[maybe_unused]] const UTF8String& data) {}
};

// An XML parser bound to one handler. Parsers never load a DTD or an external entity: a
// document with a DOCTYPE or an entity declaration fails.
class Parser {
 public:
  virtual ~Parser() = default;
  // Parses a whole document from memory. Returns 0 on success, non-zero on failure
  // (ErrorMessage() then says why and where).
  virtual int Parse(std::string_view buffer) = 0;
  // Parses a whole file (path in UTF-8). A missing or unreadable file is a failure.
  virtual int ParseFile(const UTF8String& path) = 0;
  virtual bool HasNamespaceSupport() const = 0;
  // The reason of the last failure, e.g. "line 3, column 7: mismatched tag"; empty after success.
  virtual const UTF8String& ErrorMessage() const = 0;
  // Stops the running parse from inside a handler call; Parse then returns non-zero.
  virtual void Abort(const UTF8String& reason) = 0;
};
using ParserPtr = std::unique_ptr<Parser>;

// Whether a parser resolves namespaces (namespace-aware events with URIs and local names,
// prefix mappings) or reports every name as written.
enum class NamespaceSupport { kOff, kOn };

// Makes parsers. The default factory makes expat parsers.
class ParserFactory {
 public:
  virtual ~ParserFactory() = default;
  virtual ParserPtr CreateParser(AbstractParseHandler& handler,
                                 NamespaceSupport namespaces) const = 0;
};

// The namespace-aware parser of this layer, bound to `handler` (which must outlive it).
ParserPtr GetParser(AbstractParseHandler& handler);
// The process-wide default factory.
const ParserFactory& GetDefaultParserFactory();
// Whether the XML layer is usable (always true once the library is loaded).
bool Initialized();

namespace utils {
// Replaces & < > " ' by their predefined entities.
UTF8String EncodeReservedCharacters(std::string_view text);
UTF16String EncodeReservedCharacters(std::u16string_view text);
// Replaces the five predefined entities and numeric character references (&#38; &#x26;) by
// their characters; anything else, including malformed references, is kept as it stands.
UTF8String DecodeReservedCharacters(std::string_view text);
UTF16String DecodeReservedCharacters(std::u16string_view text);
}  // namespace utils

}  // namespace veltcore::xml
