// The namespace registry: standard prefixes, registration rules, threads.

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "xmp/SXMPMeta.h"

namespace {

TEST(XMPNamespace, StandardPrefixesAndRegistrationRules) {
  const std::pair<const char*, const char*> standard[] = {
      {kXMP_NS_XML, "xml:"},
      {kXMP_NS_RDF, "rdf:"},
      {kXMP_NS_Meta, "x:"},
      {kXMP_NS_DC, "dc:"},
      {kXMP_NS_XMP, "xmp:"},
      {kXMP_NS_XMP_Rights, "xmpRights:"},
      {kXMP_NS_XMP_MM, "xmpMM:"},
      {kXMP_NS_XMP_BJ, "xmpBJ:"},
      {kXMP_NS_XMP_T_PG, "xmpTPg:"},
      {kXMP_NS_DM, "xmpDM:"},
      {kXMP_NS_PDF, "pdf:"},
      {kXMP_NS_TIFF, "tiff:"},
      {kXMP_NS_EXIF, "exif:"},
      {kXMP_NS_ExifEX, "exifEX:"},
      {kXMP_NS_EXIF_Aux, "aux:"},
      {kXMP_NS_IPTCCore, "Iptc4xmpCore:"},
      {kXMP_NS_IPTCExt, "Iptc4xmpExt:"},
      {kXMP_NS_PLUS, "plus:"},
      {kXMP_NS_XMP_ResourceEvent, "stEvt:"},
      {kXMP_NS_XMP_ResourceRef, "stRef:"},
      {kXMP_NS_XMP_Dimensions, "stDim:"},
      {kXMP_NS_XMP_G, "xmpG:"},
      {kXMP_NS_XMP_G_IMG, "xmpGImg:"},
      {kXMP_NS_XMP_IdentifierQual, "xmpidq:"},
  };

  for (const auto& [uri, prefix] : standard) {
    std::string got, back;
    EXPECT_TRUE(SXMPMeta::GetNamespacePrefix(uri, &got) && got == prefix) << uri << " " << got;
    EXPECT_TRUE(SXMPMeta::GetNamespaceURI(prefix, &back) && back == uri) << prefix << " " << back;
  }
  std::string registered;
  EXPECT_TRUE(SXMPMeta::RegisterNamespace("http://example.com/ns1/", "ns1", &registered));
  EXPECT_EQ(registered, "ns1:");
  EXPECT_TRUE(SXMPMeta::RegisterNamespace("http://example.com/ns1/", "ns1:", &registered));
  // A namespace keeps its first prefix.
  EXPECT_FALSE(SXMPMeta::RegisterNamespace("http://example.com/ns1/", "other", &registered));
  EXPECT_EQ(registered, "ns1:");
  // A taken prefix gives a generated one, which is again an XML name.
  EXPECT_FALSE(SXMPMeta::RegisterNamespace("http://example.com/dc2/", "dc", &registered));
  EXPECT_NE(registered, "dc:");
  std::string uri;
  ASSERT_TRUE(SXMPMeta::GetNamespaceURI(registered, &uri));
  EXPECT_EQ(uri, "http://example.com/dc2/");
  SXMPMeta meta;
  meta.SetProperty("http://example.com/dc2/", registered + "x", "ok");
  EXPECT_TRUE(meta.DoesPropertyExist("http://example.com/dc2/", registered + "x"));

  EXPECT_THROW(SXMPMeta::RegisterNamespace("", "p"), XMP_Error);
  EXPECT_THROW(SXMPMeta::RegisterNamespace("http://example.com/bad/", "1bad"), XMP_Error);
  EXPECT_THROW(SXMPMeta::RegisterNamespace("http://example.com/bad/", "a:b"), XMP_Error);
  EXPECT_FALSE(SXMPMeta::GetNamespacePrefix("http://example.com/bad/", nullptr));

  SXMPMeta::DeleteNamespace("http://example.com/ns1/");
  EXPECT_FALSE(SXMPMeta::GetNamespaceURI("ns1", nullptr));
  SXMPMeta::DeleteNamespace(kXMP_NS_DC);  // standard namespaces stay
  EXPECT_TRUE(SXMPMeta::GetNamespaceURI("dc", nullptr));
}

// Deleting namespaces from the middle of a large registry keeps every other one reachable
// by URI and by prefix, and a deleted one can be registered again.
TEST(XMPNamespace, DeletionsKeepTheRestReachable) {
  auto uri = [](int i) { return "http://example.com/del/" + std::to_string(i) + "/"; };
  std::vector<std::string> prefixes(3000);
  for (int i = 0; i < 3000; ++i)
    SXMPMeta::RegisterNamespace(uri(i), i % 2 ? "del" : "d" + std::to_string(i), &prefixes[i]);
  for (int i = 0; i < 3000; i += 3)
    SXMPMeta::DeleteNamespace(uri(i));
  for (int i = 0; i < 3000; ++i) {
    std::string prefix, back;
    EXPECT_EQ(SXMPMeta::GetNamespacePrefix(uri(i), &prefix), i % 3 != 0) << i;
    EXPECT_EQ(SXMPMeta::GetNamespaceURI(prefixes[i], &back), i % 3 != 0) << i;
    if (i % 3 != 0) {
      EXPECT_EQ(prefix, prefixes[i]);
      EXPECT_EQ(back, uri(i));
    }
  }
  std::string again;
  EXPECT_TRUE(SXMPMeta::RegisterNamespace(uri(0), "d0", &again));
  EXPECT_EQ(again, "d0:");
}

TEST(XMPNamespace, ConcurrentRegistrationGivesOnePrefixPerNamespace) {
  std::vector<std::thread> threads;
  std::vector<std::string> results(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &results] {
      for (int i = 0; i < 200; ++i) {
        std::string uri = "http://example.com/conc/" + std::to_string(i) + "/";
        SXMPMeta::RegisterNamespace(uri, "conc" + std::to_string(i % 7));
      }
      SXMPMeta::GetNamespacePrefix("http://example.com/conc/42/", &results[t]);
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (const auto& r : results)
    EXPECT_EQ(r, results[0]);
  std::set<std::string> prefixes;
  for (int i = 0; i < 200; ++i) {
    std::string prefix;
    ASSERT_TRUE(SXMPMeta::GetNamespacePrefix("http://example.com/conc/" + std::to_string(i) + "/",
                                             &prefix));
    EXPECT_TRUE(prefixes.insert(prefix).second) << prefix;
  }
}

}  // namespace
