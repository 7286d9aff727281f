// Packets as real files hold them: what is read with a warning, what is refused, and the
// language rules of RDF/XML.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"

namespace {

const char* kExNS = "http://example.com/lenient/";

std::string Body(const std::string& body, const std::string& descriptionAttributes = "") {
  return "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
         "<rdf:Description rdf:about='' xmlns:lt='" +
         std::string(kExNS) + "' xmlns:dc='http://purl.org/dc/elements/1.1/' " +
         descriptionAttributes + ">" + body + "</rdf:Description>";
}

std::string Packet(const std::string& body, const std::string& attributes = "") {
  return "<x:xmpmeta xmlns:x='adobe:ns:meta/'>" + Body(body, attributes) + "</rdf:RDF></x:xmpmeta>";
}

struct Parsed {
  SXMPMeta meta;
  std::vector<std::string> warnings;
  std::string Get(const std::string& path, const char* ns = kExNS) const {
    std::string value;
    return meta.GetProperty(ns, path, &value, nullptr) ? value : "<missing>";
  }
};

Parsed Parse(const std::string& packet) {
  SXMPMeta::RegisterNamespace(kExNS, "lt");
  Parsed out;
  out.warnings = coretest::Warnings([&] { out.meta.ParseFromBuffer(packet); });
  return out;
}

std::string Errors(const std::string& packet) {
  return coretest::ErrorText([&] { Parse(packet); });
}

TEST(XMPLenient, PacketWrapperAndBytesAfterThePacket) {
  const std::string xmp = Packet("<lt:a>1</lt:a>");
  const std::string header = "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n";
  struct Case {
    std::string packet;
    bool warns;
  } cases[] = {
      {header + xmp + "\n   \n<?xpacket end='w'?>" + std::string(9, '\0'), false},
      {"<?xpacket begin='\x1A' id='W5M0MpCehiHzreSzNTczkc9d'?>" + xmp + "<?xpacket end='r'?>",
       false},
      {"<?xml version='1.0'?><?xpacket begin='\xFE\x01'?>\n" + xmp, false},
      {header + xmp + "<?xpacket end='w'?>" + std::string(40, '\0') + "junk\xFF\x01", true},
      {header + xmp + "</x:xmpmeta></rdf:RDF>", true},
      {header + xmp + "<?xpacket end='w'?><?xpacket end='w'?>", true},
      {header + xmp + "<?xpacket end='w", true},
      {Body("<lt:a>1</lt:a>") + "</rdf:RDF>garbage", true},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.packet);
    EXPECT_EQ(p.Get("lt:a"), "1") << c.packet;
    EXPECT_EQ(p.warnings.size(), c.warns ? 1u : 0u) << c.packet;
  }
  // What precedes the packet is still XML: a broken document stays an error.
  EXPECT_NE(Errors(header + "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF>"), "accepted");
}

TEST(XMPLenient, MetaWrapperUnderAnotherPrefixWithThePrefixRebound) {
  // As a widespread photo tool writes it: the wrapper's prefix is bound to the meta
  // namespace, then re-bound to XMP basic inside, with lower-case property names.
  Parsed p = Parse(
      "<xmp:xmpmeta xmlns:xmp='adobe:ns:meta/' xmp:xmptk='Photo tool'>"
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/'>"
      "<xmp:creatortool>Photo tool 10</xmp:creatortool><xmp:Rating>3</xmp:Rating>"
      "</rdf:Description></rdf:RDF></xmp:xmpmeta>");
  EXPECT_EQ(p.Get("xmp:creatortool", kXMP_NS_XMP), "Photo tool 10");
  EXPECT_EQ(p.Get("xmp:Rating", kXMP_NS_XMP), "3");
  EXPECT_FALSE(p.meta.DoesPropertyExist(kXMP_NS_Meta, "x:xmptk"));
  EXPECT_TRUE(p.warnings.empty());
}

TEST(XMPLenient, RepeatedPropertiesAndIdentifiersAreReadWithWarnings) {
  Parsed p =
      Parse(Packet("<lt:a>first</lt:a><lt:b>b</lt:b><lt:a>second</lt:a>"
                   "<lt:c rdf:ID='stmt1'>c</lt:c>"
                   "<lt:d rdf:bagID='bag1'><rdf:Bag rdf:ID='x'><rdf:li>d1</rdf:li></rdf:Bag></lt:d>"
                   "<lt:e><rdf:Description rdf:nodeID='n1' lt:f='f'/></lt:e>",
                   "lt:g='g' lt:g2='g2' rdf:aboutEach='#all'"));
  EXPECT_EQ(p.Get("lt:a"), "first");
  EXPECT_EQ(p.Get("lt:c"), "c");
  EXPECT_EQ(p.Get("lt:d[1]"), "d1");
  EXPECT_EQ(p.Get("lt:e/lt:f"), "f");
  EXPECT_EQ(p.Get("lt:g"), "g");
  ASSERT_EQ(p.warnings.size(), 6u);
  std::string all;
  for (const auto& w : p.warnings)
    all += w + "\n";
  for (const char* expected : {"'lt:a' is repeated", "rdf:ID='stmt1'", "rdf:bagID='bag1'",
                               "rdf:ID='x'", "rdf:nodeID='n1'", "rdf:aboutEach='#all'"}) {
    EXPECT_NE(all.find(expected), std::string::npos) << expected << " in\n" << all;
  }
}

TEST(XMPLenient, NodeIdReferencesAreCopiedOrRefused) {
  // A top-level description of a blank node, and a nested one, each referred to twice.
  Parsed p = Parse(Body("<lt:a rdf:nodeID='top'/><lt:list><rdf:Seq><rdf:li rdf:nodeID='top'/>"
                        "<rdf:li rdf:nodeID='inner'/></rdf:Seq></lt:list>"
                        "<lt:b><rdf:Description rdf:nodeID='inner' lt:v='in'/></lt:b>") +
                   "<rdf:Description rdf:nodeID='top' xmlns:lt='" + kExNS +
                   "'><lt:v>t</lt:v></rdf:Description></rdf:RDF>");
  EXPECT_TRUE(p.warnings.empty());
  EXPECT_EQ(p.Get("lt:a/lt:v"), "t");
  EXPECT_EQ(p.Get("lt:list[1]/lt:v"), "t");
  EXPECT_EQ(p.Get("lt:list[2]/lt:v"), "in");
  EXPECT_EQ(p.Get("lt:b/lt:v"), "in");
  EXPECT_FALSE(p.meta.DoesPropertyExist(kExNS, "lt:v"));  // not a property of the document

  EXPECT_NE(Errors(Packet("<lt:a rdf:nodeID='nowhere'/>")).find("'nowhere' names no node"),
            std::string::npos);
  EXPECT_NE(Errors(Packet("<lt:a><rdf:Description rdf:nodeID='me'><lt:b rdf:nodeID='me'/>"
                          "</rdf:Description></lt:a>"))
                .find("refers to itself"),
            std::string::npos);
  // Copies of copies may not multiply the tree beyond the packet's size.
  std::string chain = "<lt:n0><rdf:Description rdf:nodeID='n0' lt:leaf='x'/></lt:n0>";
  for (int i = 1; i < 30; ++i) {
    std::string id = "n" + std::to_string(i), prev = "n" + std::to_string(i - 1);
    chain += "<lt:" + id + "><rdf:Description rdf:nodeID='" + id + "'><lt:l rdf:nodeID='" + prev +
             "'/><lt:r rdf:nodeID='" + prev + "'/></rdf:Description></lt:" + id + ">";
  }
  EXPECT_NE(Errors(Packet(chain)).find("copy more nodes"), std::string::npos);
}

TEST(XMPLenient, InvalidRdfFormsAreRefused) {
  const std::pair<const char*, const char*> forms[] = {
      {"<lt:a rdf:value='v' rdf:parseType='Resource'><lt:b>1</lt:b></lt:a>", "rdf:parseType"},
      {"<lt:a rdf:value='v'>text</lt:a>", "with text"},
      {"<lt:a rdf:value='v' rdf:resource='http://r/'/>", "with rdf:resource"},
      {"<lt:a rdf:parseType='Resource' rdf:resource='http://r/'/>", "with rdf:resource"},
      {"<lt:a><rdf:Bag lt:b='1'><rdf:li>x</rdf:li></rdf:Bag></lt:a>", "on an array"},
      {"<lt:a><rdf:Alt lt:b='1'/></lt:a>", "on an array"},
      {"<lt:a rdf:about='http://elsewhere/'>x</lt:a>", "rdf:about on a property"},
  };
  for (const auto& [form, fragment] : forms) {
    std::string why = Errors(Packet(form));
    EXPECT_NE(why.find(fragment), std::string::npos) << form << ": " << why;
    EXPECT_NE(why.find("at line 1"), std::string::npos) << why;
  }
  // Lines are counted in the text as given, wrapper included, whatever the line ends.
  std::string framed = "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\r\n" +
                       Packet("\n<lt:x>1</lt:x>\r<lt:y>2</lt:y>\r\n" + std::string(forms[0].first));
  std::string why = Errors(framed);
  EXPECT_NE(why.find("element 'lt:a' at line 5"), std::string::npos) << why;
  std::string second = "<x:xmpmeta xmlns:x='adobe:ns:meta/'>" + Body("<lt:a>1</lt:a>") +
                       "</rdf:RDF>" + Body("<lt:b>2</lt:b>") + "</rdf:RDF></x:xmpmeta>";
  EXPECT_NE(Errors(second).find("a second rdf:RDF"), std::string::npos);
}

bool SameTree(const Parsed& a, const Parsed& b) {
  return coretest::SameTree(a.meta, b.meta);
}

TEST(XMPLenient, LanguagesFollowXmlScopeAndCompareWithoutCase) {
  // The same language written on the property, on the array, on each item.
  Parsed onArray = Parse(Packet(
      "<lt:t><rdf:Alt xml:lang='fr'><rdf:li>un</rdf:li><rdf:li>deux</rdf:li></rdf:Alt></lt:t>"
      "<lt:s rdf:parseType='Resource'><lt:f xml:lang='de'>x</lt:f></lt:s>"));
  Parsed onItems = Parse(
      Packet("<lt:t><rdf:Alt><rdf:li xml:lang='fr'>un</rdf:li><rdf:li xml:lang='fr'>deux</rdf:li>"
             "</rdf:Alt></lt:t><lt:s><rdf:Description xml:lang='de'><lt:f>x</lt:f>"
             "</rdf:Description></lt:s>"));
  EXPECT_TRUE(SameTree(onArray, onItems));
  EXPECT_EQ(onArray.warnings.size(), 1u);  // two items in French: the first is kept
  EXPECT_EQ(onArray.meta.CountArrayItems(kExNS, "lt:t"), 1);
  EXPECT_EQ(onArray.Get("lt:t[1]"), "un");
  EXPECT_EQ(onArray.Get("lt:s/lt:f/?xml:lang"), "de");
  Parsed onElement =
      Parse(Packet("<lt:b xml:lang='it'><rdf:Bag><rdf:li>a</rdf:li></rdf:Bag></lt:b>"));
  EXPECT_EQ(onElement.Get("lt:b[1]/?xml:lang"), "it");

  // xml:lang="" ends the scope: no language, and the tree survives a round trip.
  Parsed empty =
      Parse(Packet("<lt:a xml:lang=''>plain</lt:a>"
                   "<lt:s rdf:parseType='Resource'><lt:f xml:lang=''>x</lt:f></lt:s>",
                   "xml:lang='en'"));
  EXPECT_EQ(empty.Get("lt:a/?xml:lang"), "<missing>");
  EXPECT_EQ(empty.Get("lt:s/lt:f/?xml:lang"), "<missing>");
  for (XMP_OptionBits form : {XMP_OptionBits(0), kXMP_UseCompactFormat, kXMP_UseCanonicalFormat}) {
    std::string written;
    for (const Parsed* p : {&empty, &onArray}) {
      p->meta.SerializeToBuffer(&written, form);
      EXPECT_TRUE(SameTree(*p, Parse(written))) << written;
    }
  }
  // A structure qualified with a language keeps fields without one apart when written.
  SXMPMeta built;
  built.SetStructField(kExNS, "lt:s", kExNS, "f", "no language");
  built.SetQualifier(kExNS, "lt:s", kXMP_NS_XML, "lang", "en");
  EXPECT_TRUE(coretest::SameTree(built, coretest::RoundTrip(built, kXMP_UseCompactFormat)));

  // Tags compare without case: "X-Default" is the default item and goes first.
  Parsed mixed =
      Parse(Packet("<dc:title><rdf:Alt><rdf:li xml:lang='en-US'>Hi</rdf:li>"
                   "<rdf:li xml:lang='X-Default'>Default</rdf:li>"
                   "<rdf:li xml:lang='EN-us'>again</rdf:li></rdf:Alt></dc:title>"));
  EXPECT_EQ(mixed.Get("dc:title[1]", kXMP_NS_DC), "Default");
  EXPECT_EQ(mixed.meta.CountArrayItems(kXMP_NS_DC, "dc:title"), 2);
  std::string lang, value;
  EXPECT_TRUE(
      mixed.meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", &lang, &value, nullptr));
  EXPECT_EQ(value, "Default");
}

TEST(XMPLenient, RdfTypeOnTheDescriptionIsAResource) {
  Parsed p = Parse(Packet("", "rdf:type='http://example.com/Kind'"));
  XMP_OptionBits options = 0;
  ASSERT_TRUE(p.meta.GetProperty(kXMP_NS_RDF, "rdf:type", nullptr, &options));
  EXPECT_TRUE(options & kXMP_PropValueIsURI);
  std::string written;
  p.meta.SerializeToBuffer(&written);
  EXPECT_NE(written.find("rdf:resource=\"http://example.com/Kind\""), std::string::npos);
  EXPECT_TRUE(SameTree(p, Parse(written)));
}

}  // namespace
