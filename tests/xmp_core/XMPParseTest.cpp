// Parsing: every RDF form XMP allows, the encodings, and bad input.

#include <expat.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <thread>

#include "CoreTestSupport.h"
#include "XMPXmlTree.h"

namespace {

std::string Wrap(const std::string& body, const std::string& ns = "") {
  return "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
         "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
         "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
         "xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
         "xmlns:xmpMM='http://ns.adobe.com/xap/1.0/mm/' "
         "xmlns:stEvt='http://ns.adobe.com/xap/1.0/sType/ResourceEvent#' "
         "xmlns:exif='http://ns.adobe.com/exif/1.0/' " +
         ns + ">" + body + "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

constexpr auto Get = coretest::Value;

XMP_OptionBits Options(const SXMPMeta& meta, const char* ns, const std::string& path) {
  XMP_OptionBits options = 0;
  meta.GetProperty(ns, path, nullptr, &options);
  return options;
}

// Every element and attribute name of `xml` in document order, as "uri\x01local\x01prefix"
// (or "local" for no namespace), resolved by expat's own namespace processing; {"error"}
// when it refuses the document.
std::vector<std::string> ExpatNames(const std::string& xml) {
  std::vector<std::string> names;
  XML_Parser parser = XML_ParserCreateNS("UTF-8", '\x01');
  XML_SetReturnNSTriplet(parser, 1);
  XML_SetUserData(parser, &names);
  XML_SetStartElementHandler(parser, [](void* data, const char* name, const char** attributes) {
    auto& out = *static_cast<std::vector<std::string>*>(data);
    out.emplace_back(name);
    for (; *attributes; attributes += 2)
      out.emplace_back(*attributes);
  });
  const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) != 0;
  XML_ParserFree(parser);
  return ok ? names : std::vector<std::string>{"error"};
}

// The same, as the XML tree resolves them.
std::vector<std::string> TreeNames(const std::string& xml) {
  xmpcore::XmlTree tree;
  try {
    tree.Parse(xml, 100);
  } catch (const XMP_Error&) {
    return {"error"};
  }
  std::vector<std::string> names;
  auto add = [&](std::uint32_t id) {
    const xmpcore::XmlName& n = tree.Name(id);
    std::string name(n.mLocal);
    if (!n.mNamespace.empty()) name = std::string(n.mNamespace) + '\x01' + name;
    if (!n.mPrefix.empty()) name += '\x01' + std::string(n.mPrefix);
    names.push_back(name);
  };
  for (const xmpcore::XmlElement& e : tree.mElements) {
    add(e.mName);
    for (const xmpcore::XmlAttribute& a : tree.Attributes(e))
      add(a.mName);
  }
  return names;
}

// The XML tree resolves prefixes itself; expat's namespace processing is the oracle for
// scopes, default namespaces, re-bound prefixes and every declaration it refuses.
TEST(XMPParse, NamesResolveAsNamespacesInXmlSays) {
  const char* kCases[] = {
      "<a:r xmlns:a='u1'><a:p a:q='1' q='2'/></a:r>",
      "<r xmlns='u1'><p q='1'/><p xmlns=''/></r>",
      "<a:r xmlns:a='u1'><a:p xmlns:a='u2' a:q='1'/><a:p a:q='2'/><b:p xmlns:b='u1'/></a:r>",
      "<r xml:lang='en' xmlns:xml='http://www.w3.org/XML/1998/namespace'><p xml:space='x'/></r>",
      "<a:r xmlns:a='u1'><b:p xmlns:b='u2'/><b:p/></a:r>",    // b out of scope
      "<a:r/>",                                               // undeclared
      "<a:r xmlns:a=''/>",                                    // undeclaring
      "<r xmlns:xmlns='u1'/>",                                // reserved prefix
      "<r xmlns:xml='u1'/>",                                  // xml re-bound
      "<r xmlns:x='http://www.w3.org/XML/1998/namespace'/>",  // xml namespace
      "<r xmlns:x='http://www.w3.org/2000/xmlns/'/>",         // xmlns namespace
      "<a:b:r xmlns:a='u1'/>",                                // two colons
      "<r xmlns:a='u1' xmlns:b='u1' a:x='1' b:x='2'/>",       // one attribute twice
      "<r xmlns:a='u1' xmlns:b='u2' a:x='1' b:x='2' x='3'/>",
      "<xmlns:r/>",
  };
  for (const char* xml : kCases) {
    SCOPED_TRACE(xml);
    EXPECT_EQ(TreeNames(xml), ExpatNames(xml));
  }
}

TEST(XMPParse, SimpleStructuredAndArrayForms) {
  SXMPMeta meta;
  meta.ParseFromBuffer(
      Wrap("<xmp:CreatorTool>Tool &amp; Co</xmp:CreatorTool>"
           "<xmp:BaseURL rdf:resource='http://example.com/'/>"
           "<xmp:Label/>"
           "<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag></dc:subject>"
           "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li></rdf:Seq></dc:creator>"
           "<dc:title><rdf:Alt><rdf:li xml:lang='fr'>Bonjour</rdf:li>"
           "<rdf:li xml:lang='x-default'>Hello</rdf:li></rdf:Alt></dc:title>"
           "<dc:type><rdf:Bag/></dc:type>"
           "<exif:Flash rdf:parseType='Resource'><exif:Fired>True</exif:Fired></exif:Flash>"
           "<xmpMM:DerivedFrom><rdf:Description exif:A='1'><exif:B>2</exif:B></rdf:Description>"
           "</xmpMM:DerivedFrom>"
           "<xmpMM:History><rdf:Seq><rdf:li rdf:parseType='Resource'>"
           "<stEvt:action>saved</stEvt:action></rdf:li></rdf:Seq></xmpMM:History>"
           "<exif:Empty exif:X='x' exif:Y='y'/>"));
  EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:CreatorTool"), "Tool & Co");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:BaseURL"), "http://example.com/");
  EXPECT_TRUE(Options(meta, kXMP_NS_XMP, "xmp:BaseURL") & kXMP_PropValueIsURI);
  EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:Label"), "");
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:subject"), 2);
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:subject[2]"), "b");
  EXPECT_TRUE(Options(meta, kXMP_NS_DC, "dc:creator") & kXMP_PropArrayIsOrdered);
  XMP_OptionBits title = Options(meta, kXMP_NS_DC, "dc:title");
  EXPECT_TRUE(title & kXMP_PropArrayIsAltText);
  // x-default goes first.
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:title[1]"), "Hello");
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:title[?xml:lang=\"fr\"]"), "Bonjour");
  EXPECT_EQ(meta.CountArrayItems(kXMP_NS_DC, "dc:type"), 0);
  EXPECT_TRUE(Options(meta, kXMP_NS_DC, "dc:type") & kXMP_PropValueIsArray);
  EXPECT_EQ(Get(meta, kXMP_NS_EXIF, "exif:Flash/exif:Fired"), "True");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/exif:A"), "1");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/exif:B"), "2");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:action"), "saved");
  EXPECT_EQ(Get(meta, kXMP_NS_EXIF, "exif:Empty/exif:Y"), "y");
}

TEST(XMPParse, AttributesSeveralDescriptionsQualifiersAndLanguages) {
  std::string packet =
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>"
      "<x:xapmeta xmlns:x='adobe:ns:meta/'>"
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='uuid:1' xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
      "xmp:Rating='5' xmp:Nickname='n'/>"
      "<rdf:Description about='uuid:1' xml:lang='de' "
      "xmlns:dc='http://purl.org/dc/elements/1.1/' xmlns:q='http://example.com/q/' "
      "xmlns:my='http://example.com/my/'>"
      "<dc:source>Quelle</dc:source>"
      "<dc:coverage rdf:parseType='Resource'><rdf:value>val</rdf:value>"
      "<q:note>n1</q:note></dc:coverage>"
      "<dc:relation><rdf:Description><rdf:value rdf:resource='http://x/'/>"
      "<q:kind>k</q:kind></rdf:Description></dc:relation>"
      "<dc:format rdf:value='image/png' q:by='me'/>"
      "<my:typed><my:Point><my:x>1</my:x></my:Point></my:typed>"
      "<my:langs xml:lang='it' rdf:parseType='Resource'><my:f>x</my:f></my:langs>"
      "<my:qarr rdf:parseType='Resource'><rdf:value><rdf:Bag><rdf:li>1</rdf:li></rdf:Bag>"
      "</rdf:value><q:n>2</q:n></my:qarr>"
      "</rdf:Description></rdf:RDF></x:xapmeta><?xpacket end='w'?>";
  SXMPMeta meta;
  meta.ParseFromBuffer(packet);
  EXPECT_EQ(meta.GetObjectName(), "uuid:1");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:Rating"), "5");
  // xml:lang on rdf:Description applies to the literal values inside it.
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:source/?xml:lang"), "de");
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:coverage"), "val");
  EXPECT_FALSE(meta.DoesPropertyExist("http://example.com/q/", "q:note"));  // a qualifier
  std::string value;
  EXPECT_TRUE(meta.GetQualifier(kXMP_NS_DC, "dc:coverage", "http://example.com/q/", "note", &value,
                                nullptr));
  EXPECT_EQ(value, "n1");
  EXPECT_TRUE(Options(meta, kXMP_NS_DC, "dc:relation") & kXMP_PropValueIsURI);
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:relation/?q:kind"), "k");
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:format"), "image/png");
  EXPECT_EQ(Get(meta, kXMP_NS_DC, "dc:format/?q:by"), "me");
  EXPECT_EQ(Get(meta, "http://example.com/my/", "my:typed/?rdf:type"),
            "http://example.com/my/Point");
  EXPECT_EQ(Get(meta, "http://example.com/my/", "my:typed/my:x"), "1");
  // A property element's own xml:lang qualifies that property and, as in XML, is the language
  // of everything inside it.
  EXPECT_EQ(Get(meta, "http://example.com/my/", "my:langs/?xml:lang"), "it");
  EXPECT_EQ(Get(meta, "http://example.com/my/", "my:langs/my:f/?xml:lang"), "it");
  EXPECT_EQ(meta.CountArrayItems("http://example.com/my/", "my:qarr"), 1);
  EXPECT_EQ(Get(meta, "http://example.com/my/", "my:qarr/?q:n"), "2");
}

TEST(XMPParse, UnknownNamespaceGetsPacketPrefixOrGeneratedOne) {
  SXMPMeta::RegisterNamespace("http://example.com/taken/", "tk");
  SXMPMeta meta;
  meta.ParseFromBuffer(
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description xmlns:fresh='http://example.com/fresh/' "
      "xmlns:tk='http://example.com/other/'"
      " fresh:a='1' tk:b='2'/></rdf:RDF>");
  std::string prefix;
  ASSERT_TRUE(SXMPMeta::GetNamespacePrefix("http://example.com/fresh/", &prefix));
  EXPECT_EQ(prefix, "fresh:");
  ASSERT_TRUE(SXMPMeta::GetNamespacePrefix("http://example.com/other/", &prefix));
  EXPECT_NE(prefix, "tk:");
  EXPECT_EQ(Get(meta, "http://example.com/other/", prefix + "b"), "2");
}

std::string Encode16(const std::string& ascii, bool big, bool bom) {
  std::string out;
  if (bom) out += big ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    if (big) out += '\0';
    out += c;
    if (!big) out += '\0';
  }
  return out;
}

std::string Encode32(const std::string& ascii, bool big, bool bom) {
  std::string out;
  if (bom) out += big ? std::string("\0\0\xFE\xFF", 4) : std::string("\xFF\xFE\0\0", 4);
  for (char c : ascii) {
    if (big) out += std::string(3, '\0');
    out += c;
    if (!big) out += std::string(3, '\0');
  }
  return out;
}

TEST(XMPParse, EncodingsWithAndWithoutByteOrderMark) {
  std::string packet = Wrap("<xmp:Label>enc</xmp:Label>");
  std::vector<std::string> forms = {packet, "\xEF\xBB\xBF" + packet};
  for (bool big : {true, false}) {
    for (bool bom : {true, false}) {
      forms.push_back(Encode16(packet, big, bom));
      forms.push_back(Encode32(packet, big, bom));
    }
  }
  forms.push_back(packet + std::string(16, '\0'));  // NUL padding after the packet
  for (size_t i = 0; i < forms.size(); ++i) {
    SXMPMeta meta;
    meta.ParseFromBuffer(forms[i]);
    EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:Label"), "enc") << "form " << i;
  }
  // Non-ASCII text through UTF-16 with a surrogate pair (U+1F600) and U+00E9.
  std::string utf16 = Encode16(Wrap("<xmp:Label>@@</xmp:Label>"), false, true);
  size_t at = utf16.find(std::string("@\0@\0", 4));
  utf16.replace(at, 4, std::string("\x3D\xD8\x00\xDE\xE9\x00", 6));
  SXMPMeta meta;
  meta.ParseFromBuffer(utf16);
  EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:Label"), "\xF0\x9F\x98\x80\xC3\xA9");
}

TEST(XMPParse, BadInputGivesClearErrorsAndLeavesObjectUnchanged) {
  struct Case {
    std::string packet;
    XMP_ErrorID id;
    std::string fragment;
  };
  std::string deep;
  for (int i = 0; i < 600; ++i)
    deep += "<a>";
  std::vector<Case> cases = {
      {"", kXMPErr_BadXML, "XML error"},
      {"not xml at all", kXMPErr_BadXML, "line 1"},
      {Wrap("<xmp:Label>x</xmp:Lab>"), kXMPErr_BadXML, "mismatched tag"},
      {"<!DOCTYPE x [<!ENTITY e 'boom'>]><x/>", kXMPErr_BadXML, "DOCTYPE"},
      {"<x>&undefined;</x>", kXMPErr_BadXML, "undefined entity"},
      {deep, kXMPErr_BadXML, "deeper than"},
      {"<html><body/></html>", kXMPErr_BadRDF, "no rdf:RDF"},
      {Wrap("<dc:subject><rdf:Bag><dc:x>1</dc:x></rdf:Bag></dc:subject>"), kXMPErr_BadRDF,
       "rdf:li"},
      {Wrap("<rdf:li>1</rdf:li>"), kXMPErr_BadRDF, "outside an array"},
      {Wrap("<dc:x>text<dc:y/></dc:x>"), kXMPErr_BadRDF, "mixed"},
      {Wrap("<dc:x><rdf:Bag/><rdf:Bag/></dc:x>"), kXMPErr_BadRDF, "expected one"},
      {Wrap("<dc:x rdf:parseType='Literal'>t</dc:x>"), kXMPErr_BadXMP, "Literal"},
      {"<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
       "<rdf:Description rdf:about='a'/><rdf:Description rdf:about='b'/></rdf:RDF>",
       kXMPErr_BadXMP, "rdf:about"},
      {Wrap("<bare>1</bare>"), kXMPErr_BadRDF, "no namespace"},
      {Wrap("<xmp:Label>\xFF\xFE</xmp:Label>"), kXMPErr_BadXML, "XML error"},
      {std::string("\xFF\xFE<\0x\0", 6) + std::string("\x00\xDC", 2), kXMPErr_BadUnicode,
       "surrogate"},
  };
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "keep");
  for (const auto& c : cases) {
    try {
      meta.ParseFromBuffer(c.packet);
      ADD_FAILURE() << "no error for: " << c.packet.substr(0, 80);
    } catch (const XMP_Error& e) {
      EXPECT_EQ(e.GetID(), c.id) << e.GetErrMsg();
      EXPECT_NE(std::string(e.GetErrMsg()).find(c.fragment), std::string::npos) << e.GetErrMsg();
    }
    EXPECT_EQ(Get(meta, kXMP_NS_XMP, "xmp:Label"), "keep");
  }
  // An absurd size is refused before any byte is read (zero pages, no memory used).
  const size_t huge = size_t(300) << 20;
  void* pages = mmap(nullptr, huge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  try {
    meta.ParseFromBuffer(static_cast<const char*>(pages), static_cast<XMP_StringLen>(huge));
    ADD_FAILURE() << "huge packet accepted";
  } catch (const XMP_Error& e) {
    EXPECT_EQ(e.GetID(), kXMPErr_BadXML);
    EXPECT_NE(std::string(e.GetErrMsg()).find("limit"), std::string::npos);
  }
  munmap(pages, huge);
  EXPECT_THROW(meta.ParseFromBuffer("<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/"
                                    "22-rdf-syntax-ns#'/>",
                                    kXMP_RequireXMPMeta),
               XMP_Error);
}

TEST(XMPParse, ConcurrentParsesRegisterTheirNamespacesOnce) {
  std::vector<std::thread> threads;
  std::vector<std::string> failures(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 100; ++i) {
        std::string uri = "http://example.com/parallel/" + std::to_string(i % 10) + "/";
        std::string packet =
            "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
            "<rdf:Description xmlns:par='" +
            uri + "' par:v='" + std::to_string(t) + "'/></rdf:RDF>";
        try {
          SXMPMeta meta;
          meta.ParseFromBuffer(packet);
          std::string prefix, value;
          SXMPMeta::GetNamespacePrefix(uri, &prefix);
          if (!meta.GetProperty(uri, prefix + "v", &value) || value != std::to_string(t)) {
            failures[t] = "wrong value for " + uri;
          }
        } catch (const XMP_Error& e) {
          failures[t] = e.GetErrMsg();
        }
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (const auto& failure : failures)
    EXPECT_EQ(failure, "");
}

}  // namespace
