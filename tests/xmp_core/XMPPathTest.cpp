// The path syntax: composing, parsing and resolving paths; bad paths raise kXMPErr_BadXPath.

#include <gtest/gtest.h>

#include "XMPMetaObject.h"
#include "XMPPath.h"
#include "xmp/SXMPMeta.h"

namespace {

TEST(XMPPath, ComposeAndResolveRoundTrip) {
  using namespace xmpcore;
  EXPECT_EQ(ComposeArrayItemPath(kXMP_NS_DC, "dc:creator", 2), "dc:creator[2]");
  EXPECT_EQ(ComposeArrayItemPath(kXMP_NS_DC, "dc:creator", kXMP_ArrayLastItem),
            "dc:creator[last()]");
  EXPECT_EQ(ComposeStructFieldPath(kXMP_NS_XMP_MM, "xmpMM:History[1]", kXMP_NS_XMP_ResourceEvent,
                                   "action"),
            "xmpMM:History[1]/stEvt:action");
  EXPECT_EQ(ComposeQualifierPath(kXMP_NS_DC, "dc:title[1]", kXMP_NS_XML, "lang"),
            "dc:title[1]/?xml:lang");
  EXPECT_EQ(ComposeLangSelector(kXMP_NS_DC, "dc:title", "en-US"), "dc:title[?xml:lang=\"en-US\"]");
  EXPECT_EQ(ComposeFieldSelector(kXMP_NS_XMP_MM, "xmpMM:History", kXMP_NS_XMP_ResourceEvent,
                                 "action", "say \"hi\""),
            "xmpMM:History[stEvt:action=\"say \"\"hi\"\"\"]");

  // A composed field selector with quotes finds its item; PathOfNode gives canonical paths.
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:action", "say \"hi\"");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[2]/stEvt:action", "other");
  std::string path = ComposeFieldSelector(kXMP_NS_XMP_MM, "xmpMM:History",
                                          kXMP_NS_XMP_ResourceEvent, "action", "say \"hi\"");
  std::string value;
  ASSERT_TRUE(meta.GetProperty(kXMP_NS_XMP_MM, path + "/stEvt:action", &value));
  EXPECT_EQ(value, "say \"hi\"");
  XMPNode* node =
      FindNode(Tree(meta), kXMP_NS_XMP_MM, "xmpMM:History[last()]/stEvt:action", Missing::kNull);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(PathOfNode(*node), "xmpMM:History[2]/stEvt:action");
  meta.SetProperty(kXMP_NS_DC, "dc:title[?xml:lang='de']", "Titel");
  node = FindNode(Tree(meta), kXMP_NS_DC, "dc:title[1]/@xml:lang", Missing::kNull);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(PathOfNode(*node), "dc:title[1]/?xml:lang");
}

TEST(XMPPath, TopLevelNameWithoutPrefixBelongsToTheSchema) {
  // Callers name top-level properties by local name ("creator") with the schema's namespace.
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP, "Rating", "3");
  std::string value;
  ASSERT_TRUE(meta.GetProperty(kXMP_NS_XMP, "xmp:Rating", &value));
  EXPECT_EQ(value, "3");
  meta.AppendArrayItem(kXMP_NS_DC, "creator", kXMP_PropArrayIsOrdered, "Ann");
  EXPECT_TRUE(meta.DoesPropertyExist(kXMP_NS_DC, "creator[1]"));
  EXPECT_EQ(xmpcore::ComposeArrayItemPath(kXMP_NS_DC, "creator", 1), "creator[1]");
  meta.SetProperty(kXMP_NS_Transient, "MultiFileCount", "2");
  EXPECT_TRUE(meta.DoesPropertyExist(kXMP_NS_Transient, "veltTransient:MultiFileCount"));
}

TEST(XMPPath, BadPathsAndArguments) {
  SXMPMeta meta;
  struct Case {
    const char* ns;
    const char* path;
    XMP_ErrorID id;
  };
  const Case cases[] = {
      {kXMP_NS_DC, "", kXMPErr_BadXPath},
      {kXMP_NS_DC, "title/creator", kXMPErr_BadXPath},  // only the top level may omit it
      {kXMP_NS_DC, "ti tle", kXMPErr_BadXPath},
      {kXMP_NS_DC, "xmp:title", kXMPErr_BadXPath},  // prefix of another schema
      {kXMP_NS_DC, "dc:title[", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:title[0]", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:title[x]", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:title[?xml:lang=en]", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:title[?xml:lang=\"en]", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:title/", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:title/nope:x", kXMPErr_BadXPath},  // unregistered prefix
      {kXMP_NS_DC, "dc:title//dc:x", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:ti tle", kXMPErr_BadXPath},
      {kXMP_NS_DC, "dc:title[99999999999]", kXMPErr_BadXPath},
      {"", "dc:title", kXMPErr_BadSchema},
      {"http://not.registered/", "x:y", kXMPErr_BadSchema},
  };
  for (const auto& c : cases) {
    for (int op = 0; op < 2; ++op) {
      try {
        if (op == 0) {
          meta.SetProperty(c.ns, c.path, "v");
        } else {
          meta.DoesPropertyExist(c.ns, c.path);
        }
        ADD_FAILURE() << "no error for '" << c.path << "'";
      } catch (const XMP_Error& e) {
        EXPECT_EQ(e.GetID(), c.id) << c.path << ": " << e.GetErrMsg();
      }
    }
  }
  EXPECT_THROW(xmpcore::ComposeArrayItemPath(kXMP_NS_DC, "dc:creator", 0), XMP_Error);
  EXPECT_THROW(xmpcore::ComposeArrayItemPath(kXMP_NS_DC, "dc:creator", -2), XMP_Error);
  EXPECT_THROW(xmpcore::ComposeStructFieldPath(kXMP_NS_DC, "dc:x", "http://unknown/", "f"),
               XMP_Error);
  EXPECT_THROW(xmpcore::ComposeStructFieldPath(kXMP_NS_DC, "dc:x", kXMP_NS_DC, "a:b"), XMP_Error);
  EXPECT_THROW(xmpcore::ComposeQualifierPath(kXMP_NS_DC, "bad path", kXMP_NS_DC, "q"), XMP_Error);
  // A failed creation leaves nothing half-made behind.
  meta.SetProperty(kXMP_NS_DC, "dc:format", "text");
  EXPECT_THROW(meta.SetProperty(kXMP_NS_DC, "dc:new/dc:a[3]", "v"), XMP_Error);
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_DC, "dc:new"));
  EXPECT_THROW(meta.SetProperty(kXMP_NS_XMP, "xmp:fresh[2]", "v"), XMP_Error);
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP, "xmp:fresh"));
  EXPECT_TRUE(meta.DoesPropertyExist(kXMP_NS_DC, "dc:format"));
}

}  // namespace
