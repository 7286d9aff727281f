#include "XMPSerializer.h"

#include <set>
#include <string_view>

#include "XMPNamespaces.h"
#include "XMPUnicode.h"
#include "veltcore/Strings.h"

namespace xmpcore {
namespace {

constexpr std::string_view kPacketHeader =
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>";
constexpr std::string_view kToolkitName = "veltmetadata XMP Core " VELT_VERSION;
constexpr std::string_view kRdfNS = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// Appends `text` escaped for element content (attribute = false) or a double-quoted
// attribute value. Characters that XML 1.0 cannot carry are replaced: control characters by
// spaces, bytes that are not well-formed UTF-8 and U+FFFE / U+FFFF by U+FFFD. CR (and in
// attributes also tab and LF) are written as character references so they survive
// end-of-line and attribute-value normalization.
// Where escaped text goes: an attribute value also escapes the double quote around it.
enum class Escape { kText, kAttribute };

void AppendEscaped(std::string& out, std::string_view text, Escape where) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    const char* replacement = nullptr;
    switch (c) {
      case '&':
        replacement = "&amp;";
        break;
      case '<':
        replacement = "&lt;";
        break;
      case '>':
        replacement = "&gt;";
        break;
      case '"':
        if (where == Escape::kAttribute) replacement = "&quot;";
        break;
      case '\r':
        replacement = "&#xD;";
        break;
      case '\n':
        if (where == Escape::kAttribute) replacement = "&#xA;";
        break;
      case '\t':
        if (where == Escape::kAttribute) replacement = "&#x9;";
        break;
      default:
        if (c < 0x20) {
          replacement = " ";
        } else if (c >= 0x80) {
          char32_t cp = 0;
          size_t len = veltcore::string::DecodeUTF8At(text, i, cp);
          if (len != 0 && cp != 0xFFFE && cp != 0xFFFF) {
            i += len - 1;
            continue;
          }
          out.append(text, start, i - start);
          out += "\xEF\xBF\xBD";
          i += len == 0 ? 0 : len - 1;
          start = i + 1;
          continue;
        }
        break;
    }
    if (replacement) {
      out.append(text, start, i - start);
      out += replacement;
      start = i + 1;
    }
  }
  out.append(text, start, text.size() - start);
}

class Writer {
 public:
  Writer(const SerializeOptions& options, std::string& out) : mOptions(options), mOut(out) {
    bool noFormat = (options.mOptions & kXMP_OmitAllFormatting) != 0;
    mNewline = noFormat ? "" : options.mNewline.empty() ? "\n" : options.mNewline;
    mIndent = noFormat ? "" : options.mIndent.empty() ? "  " : options.mIndent;
    mCompact = (options.mOptions & kXMP_UseCompactFormat) != 0;
    mCanonical = (options.mOptions & kXMP_UseCanonicalFormat) != 0;
  }

  void Body(const XMPNode& root) {
    int level = 0;
    bool xmpmeta = !(mOptions.mOptions & kXMP_OmitXMPMetaElement);
    if (xmpmeta) {
      Line(level++);
      mOut += "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"";
      mOut += kToolkitName;
      mOut += "\">";
      mOut += mNewline;
    }
    Line(level++);
    mOut += "<rdf:RDF xmlns:rdf=\"";
    mOut += kRdfNS;
    mOut += "\">";
    mOut += mNewline;
    bool any = false;
    for (const auto& schema : root.mChildren) {
      if (schema->mChildren.empty() || schema->mName == kXMP_NS_Transient) continue;
      Description(root, *schema, level);
      any = true;
    }
    if (!any) {
      Line(level);
      mOut += "<rdf:Description rdf:about=\"";
      AppendEscaped(mOut, root.mName, Escape::kAttribute);
      mOut += "\"/>";
      mOut += mNewline;
    }
    Line(--level);
    mOut += "</rdf:RDF>";
    mOut += mNewline;
    if (xmpmeta) {
      Line(--level);
      mOut += "</x:xmpmeta>";
    }
  }

 private:
  void Line(int level) {
    for (int i = 0; i < mOptions.mBaseIndent + level; ++i)
      mOut += mIndent;
  }

  void NewLine() { mOut += mNewline; }

  // Starts an attribute of a start tag on its own line (or after a space when unformatted).
  void AttributeBreak(int level) {
    if (mNewline.empty()) {
      mOut += ' ';
      return;
    }
    NewLine();
    Line(level);
  }

  // Every namespace prefix used in a subtree (names of nodes and qualifiers).
  void CollectPrefixes(const XMPNode& node, std::set<std::string_view>& prefixes) {
    for (const auto& child : node.mChildren) {
      if (child->mName != kXMP_ArrayItemName) AddPrefix(child->mName, prefixes);
      CollectPrefixes(*child, prefixes);
    }
    for (const auto& q : node.mQualifiers) {
      AddPrefix(q->mName, prefixes);
      CollectPrefixes(*q, prefixes);
    }
  }

  static void AddPrefix(std::string_view name, std::set<std::string_view>& prefixes) {
    size_t colon = name.find(':');
    if (colon != std::string_view::npos) prefixes.insert(name.substr(0, colon));
  }

  void Description(const XMPNode& root, const XMPNode& schema, int level) {
    Line(level);
    mOut += "<rdf:Description rdf:about=\"";
    AppendEscaped(mOut, root.mName, Escape::kAttribute);
    mOut += '"';
    std::set<std::string_view> prefixes;
    CollectPrefixes(schema, prefixes);
    prefixes.erase("xml");
    prefixes.erase("rdf");
    for (std::string_view prefix : prefixes) {
      std::string uri;
      if (!GetNamespaceURI(prefix, &uri)) {
        throw XMP_Error(kXMPErr_BadSerialize,
                        "prefix '" + std::string(prefix) + ":' is no longer registered");
      }
      AttributeBreak(level + 2);
      mOut += "xmlns:";
      mOut += prefix;
      mOut += "=\"";
      AppendEscaped(mOut, uri, Escape::kAttribute);
      mOut += '"';
    }
    bool hasElements = false;
    if (mCompact) {
      for (const auto& prop : schema.mChildren) {
        if (IsAttributeForm(*prop)) {
          AttributeBreak(level + 2);
          Attribute(prop->mName, prop->mValue);
        } else {
          hasElements = true;
        }
      }
    } else {
      hasElements = true;
    }
    if (!hasElements) {
      mOut += "/>";
      NewLine();
      return;
    }
    mOut += '>';
    NewLine();
    for (const auto& prop : schema.mChildren) {
      if (mCompact && IsAttributeForm(*prop)) continue;
      Property(*prop, prop->mName, level + 1, {});
    }
    Line(level);
    mOut += "</rdf:Description>";
    NewLine();
  }

  static bool IsAttributeForm(const XMPNode& node) {
    return !node.IsComposite() && node.mQualifiers.empty() &&
           !(node.mOptions & kXMP_PropValueIsURI);
  }

  void Attribute(std::string_view name, std::string_view value) {
    mOut += name;
    mOut += "=\"";
    AppendEscaped(mOut, value, Escape::kAttribute);
    mOut += '"';
  }

  // Writes the xml:lang attribute of an element for a node with language `lang` inside the
  // language scope `scope`, and returns the scope inside the element. A node without a
  // language inside a scope gets xml:lang="", so that it does not inherit one when read.
  std::string_view LangAttribute(std::string_view lang, std::string_view scope) {
    if (lang.empty() && scope.empty()) return {};
    mOut += ' ';
    Attribute("xml:lang", lang);
    return lang;
  }

  // Writes `node` as a property element named `tag` (a property, field, qualifier, rdf:li or
  // rdf:value), inside the language scope `scope`.
  void Property(const XMPNode& node, std::string_view tag, int level, std::string_view scope) {
    Line(level);
    mOut += '<';
    mOut += tag;
    // Qualifiers other than xml:lang need the rdf:value form.
    const auto& qualifiers = node.mQualifiers;
    std::string_view lang = node.Language();
    bool onlyLang = qualifiers.empty() || (qualifiers.size() == 1 && !lang.empty());
    if (!onlyLang) {
      std::string_view inner = LangAttribute({}, scope);
      mOut += " rdf:parseType=\"Resource\">";
      NewLine();
      ValueElement(node, level + 1, inner);
      for (const auto& q : qualifiers) {
        if (q->mName != "xml:lang") Property(*q, q->mName, level + 1, inner);
      }
      CloseTag(tag, level);
      return;
    }
    Content(node, tag, level, LangAttribute(lang, scope));
  }

  // The rdf:value element of a qualified node: the value, with the node's xml:lang.
  void ValueElement(const XMPNode& node, int level, std::string_view scope) {
    Line(level);
    mOut += "<rdf:value";
    Content(node, "rdf:value", level, LangAttribute(node.Language(), scope));
  }

  // Writes the rest of an opened property element: the value or composite content and the
  // closing tag. `scope` is the language in scope inside the element.
  void Content(const XMPNode& node, std::string_view tag, int level, std::string_view scope) {
    if (node.IsArray()) {
      mOut += '>';
      NewLine();
      Line(level + 1);
      mOut += '<';
      mOut += ArrayTag(node);
      if (node.mChildren.empty()) {
        mOut += "/>";
        NewLine();
      } else {
        mOut += '>';
        NewLine();
        for (const auto& item : node.mChildren)
          Property(*item, "rdf:li", level + 2, scope);
        Line(level + 1);
        mOut += "</";
        mOut += ArrayTag(node);
        mOut += '>';
        NewLine();
      }
      CloseTag(tag, level);
    } else if (node.IsStruct()) {
      // Fields written as attributes would take the language in scope.
      if (mCompact && scope.empty() && !node.mChildren.empty() && AllAttributeForm(node)) {
        for (const auto& field : node.mChildren) {
          mOut += ' ';
          Attribute(field->mName, field->mValue);
        }
        mOut += "/>";
        NewLine();
        return;
      }
      if (mCanonical) {
        mOut += '>';
        NewLine();
        Line(level + 1);
        if (node.mChildren.empty()) {
          mOut += "<rdf:Description/>";
          NewLine();
        } else {
          mOut += "<rdf:Description>";
          NewLine();
          for (const auto& field : node.mChildren)
            Property(*field, field->mName, level + 2, scope);
          Line(level + 1);
          mOut += "</rdf:Description>";
          NewLine();
        }
        CloseTag(tag, level);
        return;
      }
      mOut += " rdf:parseType=\"Resource\"";
      if (node.mChildren.empty()) {
        mOut += "/>";
        NewLine();
        return;
      }
      mOut += '>';
      NewLine();
      for (const auto& field : node.mChildren)
        Property(*field, field->mName, level + 1, scope);
      CloseTag(tag, level);
    } else if (node.mOptions & kXMP_PropValueIsURI) {
      mOut += ' ';
      Attribute("rdf:resource", node.mValue);
      mOut += "/>";
      NewLine();
    } else {
      mOut += '>';
      AppendEscaped(mOut, node.mValue, Escape::kText);
      mOut += "</";
      mOut += tag;
      mOut += '>';
      NewLine();
    }
  }

  static bool AllAttributeForm(const XMPNode& node) {
    for (const auto& field : node.mChildren) {
      if (!IsAttributeForm(*field)) return false;
    }
    return true;
  }

  static std::string_view ArrayTag(const XMPNode& node) {
    if (node.mOptions & kXMP_PropArrayIsAlternate) return "rdf:Alt";
    if (node.mOptions & kXMP_PropArrayIsOrdered) return "rdf:Seq";
    return "rdf:Bag";
  }

  void CloseTag(std::string_view tag, int level) {
    Line(level);
    mOut += "</";
    mOut += tag;
    mOut += '>';
    NewLine();
  }

  const SerializeOptions& mOptions;
  std::string& mOut;
  std::string mNewline;
  std::string mIndent;
  bool mCompact = false;
  bool mCanonical = false;
};

TextEncoding OutputEncoding(XMP_OptionBits options) {
  switch (options & kXMP_EncodingMask) {
    case kXMP_EncodeUTF8:
      return TextEncoding::kUTF8;
    case kXMP_EncodeUTF16Big:
      return TextEncoding::kUTF16BE;
    case kXMP_EncodeUTF16Little:
      return TextEncoding::kUTF16LE;
    case kXMP_EncodeUTF32Big:
      return TextEncoding::kUTF32BE;
    case kXMP_EncodeUTF32Little:
      return TextEncoding::kUTF32LE;
    default:
      throw XMP_Error(kXMPErr_BadOptions, "unknown output encoding");
  }
}

void CheckOptions(XMP_OptionBits options) {
  constexpr XMP_OptionBits kKnown = kXMP_OmitPacketWrapper | kXMP_ReadOnlyPacket |
                                    kXMP_UseCompactFormat | kXMP_UseCanonicalFormat |
                                    kXMP_ExactPacketLength | kXMP_OmitAllFormatting |
                                    kXMP_OmitXMPMetaElement | kXMP_EncodingMask;
  if (options & ~kKnown) throw XMP_Error(kXMPErr_BadOptions, "unknown serialization options");
  if ((options & kXMP_OmitPacketWrapper) &&
      (options & (kXMP_ReadOnlyPacket | kXMP_ExactPacketLength))) {
    throw XMP_Error(kXMPErr_BadOptions,
                    "a packet without wrapper cannot be read-only or of exact length");
  }
  if ((options & kXMP_UseCompactFormat) && (options & kXMP_UseCanonicalFormat)) {
    throw XMP_Error(kXMPErr_BadOptions, "compact and canonical form exclude each other");
  }
}

}  // namespace

void SerializePacket(const XMPNode& root, const SerializeOptions& options, std::string& out) {
  CheckOptions(options.mOptions);
  // The writer recurses once per level: a tree deeper than any caller may build (made by
  // moving subtrees around) is refused rather than written into a packet no one can read.
  if (SubtreeHeight(root) > kMaxNodeDepth + 1) {
    throw XMP_Error(kXMPErr_BadSerialize,
                    "the tree is nested deeper than " + std::to_string(kMaxNodeDepth) + " levels");
  }
  TextEncoding encoding = OutputEncoding(options.mOptions);
  const bool wrapper = !(options.mOptions & kXMP_OmitPacketWrapper);
  std::string newline = (options.mOptions & kXMP_OmitAllFormatting) ? ""
                        : options.mNewline.empty()                  ? "\n"
                                                                    : options.mNewline;
  // UTF-8 output is built in place (reusing the caller's buffer); other encodings convert.
  const bool utf8 = encoding == TextEncoding::kUTF8;
  std::string converted;
  std::string& text = utf8 ? out : converted;
  text.clear();
  if (wrapper) {
    text += kPacketHeader;
    text += newline;
  }
  Writer(options, text).Body(root);
  if (!wrapper) {
    if (!utf8) out = FromUTF8(text, encoding);
    return;
  }
  text += newline;
  std::string trailer =
      (options.mOptions & kXMP_ReadOnlyPacket) ? "<?xpacket end=\"r\"?>" : "<?xpacket end=\"w\"?>";
  // Padding: lines of up to 100 spaces, so that the packet can grow in place.
  const size_t unit = UnitSize(encoding);
  size_t padding = options.mPadding == 0 ? kXMP_DefaultPadding : options.mPadding;
  if (options.mOptions & kXMP_ExactPacketLength) {
    size_t used = (utf8 ? text.size() : FromUTF8(text, encoding).size()) + trailer.size() * unit;
    if (options.mPadding < used) {
      throw XMP_Error(kXMPErr_BadSerialize, "packet needs " + std::to_string(used) +
                                                " bytes; exact length " +
                                                std::to_string(options.mPadding) + " is too small");
    }
    size_t remaining = options.mPadding - used;
    if (remaining % unit != 0) {
      throw XMP_Error(kXMPErr_BadSerialize, "exact length is not a whole number of characters");
    }
    padding = remaining / unit;
  }
  text.reserve(text.size() + padding + trailer.size());
  size_t lineBreak = newline.empty() ? 1 : newline.size();
  while (padding > 0) {
    size_t n = std::min<size_t>(padding, 100);
    if (padding > n && padding - n >= lineBreak && !newline.empty()) {
      text.append(n, ' ');
      text += newline;
      padding -= n + newline.size();
    } else {
      text.append(padding, ' ');
      padding = 0;
    }
  }
  text += trailer;
  if (!utf8) out = FromUTF8(text, encoding);
}

}  // namespace xmpcore
