#pragma once

// The namespace bindings in scope while an XML document is read: the XML tree resolves
// prefixed names itself (expat's own namespace processing costs a sixth of a small parse),
// and this is the part that knows which prefix means which namespace where.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HashIndex.h"

namespace xmpcore {

class XmlTextStore;

// True for the attributes that declare namespaces: "xmlns" and "xmlns:prefix".
bool IsNamespaceDeclaration(std::string_view attribute);

class NamespaceScope {
 public:
  explicit NamespaceScope(XmlTextStore& text) : mText(text) {}

  // Opens the scope of an element and binds the prefixes its xmlns attributes declare
  // (expat's name/value pairs, null-terminated). Returns "" or what makes a declaration
  // invalid: a prefix undeclared ("xmlns:p=''"), the reserved prefixes or namespaces misused.
  std::string Open(const char* const* attributes);
  // Closes the scope of the innermost open element, undoing its bindings.
  void Close();
  // The namespace a prefix is bound to where the reader is; "" (no namespace) for the default
  // prefix "" when no default namespace is declared; nullopt for an undeclared prefix.
  std::optional<std::string_view> Lookup(std::string_view prefix) const;
  // Changes whenever a binding is made or undone: a name resolved while it keeps one value
  // resolves the same way again.
  std::uint64_t Epoch() const { return mEpoch; }

 private:
  struct Binding {
    std::string_view mPrefix;
    std::string_view mUri;
    std::uint32_t mShadowed;  // the binding of the same prefix it hides, or HashIndex::kNone
  };
  std::uint32_t Innermost(std::string_view prefix, size_t hash) const;

  XmlTextStore& mText;                // holds the copies of prefixes and URIs
  std::vector<Binding> mBindings;     // in the order they were made
  std::vector<std::uint32_t> mMarks;  // the number of bindings when each open element began
  HashIndex mInnermost;               // the innermost binding of each bound prefix
  std::uint64_t mEpoch = 0;
};

}  // namespace xmpcore
