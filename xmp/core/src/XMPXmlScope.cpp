#include "XMPXmlScope.h"

#include "XMPXmlTree.h"
#include "xmp/XMP_Const.h"

namespace xmpcore {
namespace {

constexpr std::string_view kXmlNS = kXMP_NS_XML;
constexpr std::string_view kXmlnsNS = "http://www.w3.org/2000/xmlns/";

// What is wrong with binding `prefix` ("" for the default namespace) to `uri`, or "".
std::string CheckDeclaration(std::string_view prefix, std::string_view uri) {
  auto what = [&] {
    return prefix.empty() ? std::string("the default namespace")
                          : "the prefix '" + std::string(prefix) + "'";
  };
  if (prefix == "xmlns") return "the prefix 'xmlns' cannot be declared";
  if (prefix == "xml" && uri != kXmlNS) {
    return "the prefix 'xml' cannot be bound to '" + std::string(uri) + "'";
  }
  if (prefix != "xml" && uri == kXmlNS) return what() + " cannot be bound to the XML namespace";
  if (uri == kXmlnsNS) return what() + " cannot be bound to the xmlns namespace";
  if (!prefix.empty() && uri.empty()) return what() + " is declared with an empty namespace";
  return {};
}

}  // namespace

bool IsNamespaceDeclaration(std::string_view attribute) {
  return attribute.starts_with("xmlns") && (attribute.size() == 5 || attribute[5] == ':');
}

std::uint32_t NamespaceScope::Innermost(std::string_view prefix, size_t hash) const {
  return mInnermost.Find(hash, [&](std::uint32_t i) { return mBindings[i].mPrefix == prefix; });
}

std::string NamespaceScope::Open(const char* const* attributes) {
  mMarks.push_back(static_cast<std::uint32_t>(mBindings.size()));
  for (const char* const* a = attributes; *a; a += 2) {
    const std::string_view name(a[0]);
    if (!IsNamespaceDeclaration(name)) continue;
    if (name.size() == 6) return "'xmlns:' declares no prefix";
    const std::string_view prefix = name.size() == 5 ? std::string_view() : name.substr(6);
    const std::string_view uri(a[1]);
    if (std::string problem = CheckDeclaration(prefix, uri); !problem.empty()) return problem;
    const size_t hash = HashText(prefix);
    const auto index = static_cast<std::uint32_t>(mBindings.size());
    const std::uint32_t shadowed = Innermost(prefix, hash);
    mBindings.push_back({mText.Store(prefix), mText.Store(uri), shadowed});
    if (shadowed == HashIndex::kNone) {
      mInnermost.Insert(hash, index);
    } else {
      mInnermost.Renumber(hash, shadowed, index);
    }
    ++mEpoch;
  }
  return {};
}

void NamespaceScope::Close() {
  if (mMarks.empty()) return;
  const std::uint32_t mark = mMarks.back();
  mMarks.pop_back();
  while (mBindings.size() > mark) {
    const auto index = static_cast<std::uint32_t>(mBindings.size() - 1);
    const Binding& binding = mBindings.back();
    const size_t hash = HashText(binding.mPrefix);
    if (binding.mShadowed == HashIndex::kNone) {
      mInnermost.Erase(hash, index);
    } else {
      mInnermost.Renumber(hash, index, binding.mShadowed);
    }
    mBindings.pop_back();
    ++mEpoch;
  }
}

std::optional<std::string_view> NamespaceScope::Lookup(std::string_view prefix) const {
  if (prefix == "xml") return kXmlNS;
  const std::uint32_t index = Innermost(prefix, HashText(prefix));
  if (index != HashIndex::kNone) return mBindings[index].mUri;
  if (prefix.empty()) return std::string_view();
  return std::nullopt;
}

}  // namespace xmpcore
