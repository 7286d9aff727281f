#include "veltcore/Xml.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace veltcore;
using namespace veltcore::xml;

namespace {

// Records every event as one line, in the order received.
class Recorder : public AbstractParseHandler {
 public:
  std::vector<std::string> mEvents;
  bool mUseNamespaces = true;

  void StartElementWithNamespace(const UTF8String& uri, const UTF8String& local,
                                 const UTF8String& qname, const AttributeList& atts) override {
    if (!mUseNamespaces)
      return AbstractParseHandler::StartElementWithNamespace(uri, local, qname, atts);
    std::string e = "start {" + uri + "}" + local + " " + qname;
    for (const Attribute& a : atts)
      e += " {" + a.mNamespaceURI + "}" + a.mLocalName + "=" + a.mValue;
    mEvents.push_back(e);
  }
  void EndElementWithNamespace(const UTF8String& uri, const UTF8String& local,
                               const UTF8String& qname) override {
    if (!mUseNamespaces) return AbstractParseHandler::EndElementWithNamespace(uri, local, qname);
    mEvents.push_back("end {" + uri + "}" + local);
  }
  void StartElement(const UTF8String& name, const AttributeMap& atts) override {
    std::string e = "plain-start " + name;
    for (const auto& [k, v] : atts)
      e += " " + k + "=" + v;
    mEvents.push_back(e);
  }
  void EndElement(const UTF8String& name) override { mEvents.push_back("plain-end " + name); }
  void Characters(const UTF8String& text) override { mEvents.push_back("text " + text); }
  void StartPrefixMapping(const UTF8String& prefix, const UTF8String& uri) override {
    mEvents.push_back("map " + prefix + "=" + uri);
  }
  void EndPrefixMapping(const UTF8String& prefix) override { mEvents.push_back("unmap " + prefix); }
  void ProcessingInstruction(const UTF8String& target, const UTF8String& data) override {
    mEvents.push_back("pi " + target + " " + data);
  }
};

}  // namespace

TEST(Xml, NamespaceEventsArriveInDocumentOrder) {
  Recorder r;
  ParserPtr parser = GetParser(r);
  ASSERT_TRUE(parser->HasNamespaceSupport());
  const char* doc =
      "<?xpacket begin='' id='x'?><a:root xmlns:a='urn:a' xmlns='urn:d' a:k='1' plain='2'>"
      "<child xml:lang='en'>t&amp;u</child></a:root>";
  ASSERT_EQ(parser->Parse(doc), 0) << parser->ErrorMessage();
  const std::vector<std::string> expected = {
      "pi xpacket begin='' id='x'",
      "map a=urn:a",
      "map =urn:d",
      "start {urn:a}root a:root {urn:a}k=1 {}plain=2",
      "start {urn:d}child child {http://www.w3.org/XML/1998/namespace}lang=en",
      "text t&u",
      "end {urn:d}child",
      "end {urn:a}root",
      "unmap a",
      "unmap ",
  };
  // Prefix mappings end in an order of expat's choosing; compare the rest exactly.
  ASSERT_EQ(r.mEvents.size(), expected.size());
  for (std::size_t i = 0; i + 2 < expected.size(); ++i)
    EXPECT_EQ(r.mEvents[i], expected[i]);
}

TEST(Xml, BaseHandlerForwardsToPlainElementsWithQualifiedNames) {
  Recorder r;
  r.mUseNamespaces = false;
  ASSERT_EQ(GetParser(r)->Parse("<p:x xmlns:p='urn:p' p:a='1' b='2'/>"), 0);
  EXPECT_EQ(r.mEvents[1], "plain-start p:x b=2 p:a=1");
  EXPECT_EQ(r.mEvents[2], "plain-end p:x");
}

TEST(Xml, RefusesDoctypeEntitiesAndBrokenDocuments) {
  const char* laughs =
      "<?xml version='1.0'?><!DOCTYPE l [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;'>]>"
      "<l>&b;</l>";
  const char* external = "<!DOCTYPE x SYSTEM 'file:///etc/passwd'><x/>";
  for (const char* doc : {laughs, external, "<a><b></a>", "", "<a>", "<a/><b/>", "\xFF\xFE<"}) {
    Recorder r;
    ParserPtr parser = GetParser(r);
    EXPECT_NE(parser->Parse(doc), 0) << doc;
    EXPECT_FALSE(parser->ErrorMessage().empty());
  }
  Recorder r;
  ParserPtr parser = GetParser(r);
  EXPECT_NE(parser->Parse(std::string(3000, '<') + "a"), 0);
  std::string deep;
  for (int i = 0; i < 5000; ++i)
    deep += "<a>";
  EXPECT_NE(parser->Parse(deep), 0);
  EXPECT_NE(parser->ParseFile("/nonexistent/file.xml"), 0);
  // The parser is reusable after a failure.
  EXPECT_EQ(parser->Parse("<ok/>"), 0);
}

TEST(Xml, HandlerCanAbort) {
  struct Aborter : AbstractParseHandler {
    Parser* mParser = nullptr;
    void StartElement(const UTF8String& name, const AttributeMap&) override {
      if (name == "stop") mParser->Abort("unexpected element 'stop'");
    }
  } h;
  ParserPtr parser = GetParser(h);
  h.mParser = parser.get();
  EXPECT_NE(parser->Parse("<a><stop/></a>"), 0);
  EXPECT_NE(parser->ErrorMessage().find("unexpected element 'stop'"), std::string::npos);
}

TEST(Xml, EncodeAndDecodeReservedCharacters) {
  EXPECT_EQ(utils::EncodeReservedCharacters("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(utils::DecodeReservedCharacters("a&lt;b&gt;&amp;&quot;c&apos;&#38;&#x20AC;"),
            "a<b>&\"c'&\xE2\x82\xAC");
  // Malformed references stay as they are.
  EXPECT_EQ(utils::DecodeReservedCharacters("&bogus; &#xD800; &#; & &#1114112;"),
            "&bogus; &#xD800; &#; & &#1114112;");
  EXPECT_EQ(utils::DecodeReservedCharacters(utils::EncodeReservedCharacters("<&>")), "<&>");
  EXPECT_EQ(utils::EncodeReservedCharacters(u"<"), u"&lt;");
  EXPECT_EQ(utils::DecodeReservedCharacters(u"&#x1F600;"), (UTF16String{0xD83D, 0xDE00}));
}
