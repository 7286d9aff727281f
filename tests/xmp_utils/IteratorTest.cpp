// Iteration: scopes, options and skipping, checked as the exact sequence of visited paths.

#include <gtest/gtest.h>

#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"

namespace {

using Paths = std::vector<std::string>;

SXMPMeta Sample() {
  SXMPMeta meta;
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Hello");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "cat");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "dog");
  meta.SetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef, "documentID",
                      "d");
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "red");
  return meta;
}

// Every step as "ns-prefix|path=value", schema steps as "<ns>".
Paths Walk(SXMPIterator& it) {
  Paths out;
  std::string ns, path, value;
  XMP_OptionBits options = 0;
  while (it.Next(&ns, &path, &value, &options)) {
    out.push_back((options & kXMP_SchemaNode) ? "<" + ns + ">" : path + "=" + value);
  }
  return out;
}

TEST(Iterator, ScopesAndOptionsGiveTheExpectedSequence) {
  SXMPMeta meta = Sample();
  const std::string dc = std::string("<") + kXMP_NS_DC + ">";
  const std::string mm = std::string("<") + kXMP_NS_XMP_MM + ">";
  const std::string xmp = std::string("<") + kXMP_NS_XMP + ">";

  SXMPIterator whole(meta);
  EXPECT_EQ(
      Walk(whole),
      (Paths{dc, "dc:title=", "dc:title[1]=Hello", "dc:title[1]/?xml:lang=x-default",
             "dc:subject=", "dc:subject[1]=cat", "dc:subject[2]=dog", mm,
             "xmpMM:DerivedFrom=", "xmpMM:DerivedFrom/stRef:documentID=d", xmp, "xmp:Label=red"}));

  SXMPIterator schemas(meta, kXMP_IterJustChildren);
  EXPECT_EQ(Walk(schemas), (Paths{dc, mm, xmp}));
  SXMPIterator topLevel(meta, kXMP_NS_DC, "", kXMP_IterJustChildren);
  EXPECT_EQ(Walk(topLevel), (Paths{"dc:title=", "dc:subject="}));
  SXMPIterator schema(meta, kXMP_NS_XMP, "", 0);
  EXPECT_EQ(Walk(schema), (Paths{xmp, "xmp:Label=red"}));

  SXMPIterator leaves(meta, kXMP_NS_DC, "", kXMP_IterJustLeafNodes | kXMP_IterOmitQualifiers);
  EXPECT_EQ(Walk(leaves), (Paths{"dc:title[1]=Hello", "dc:subject[1]=cat", "dc:subject[2]=dog"}));
  SXMPIterator names(meta, kXMP_NS_DC, "dc:title", kXMP_IterJustLeafNodes | kXMP_IterJustLeafName);
  EXPECT_EQ(Walk(names), (Paths{"[1]=Hello", "?xml:lang=x-default"}));
  SXMPIterator items(meta, kXMP_NS_DC, "dc:subject", kXMP_IterJustChildren);
  EXPECT_EQ(Walk(items), (Paths{"dc:subject[1]=cat", "dc:subject[2]=dog"}));
  SXMPIterator one(meta, kXMP_NS_DC, "dc:subject[2]", 0);
  EXPECT_EQ(Walk(one), (Paths{"dc:subject[2]=dog"}));

  // Missing scopes are empty; bad arguments are refused.
  SXMPIterator missing(meta, kXMP_NS_XMP_Rights, "", 0);
  EXPECT_TRUE(Walk(missing).empty());
  SXMPIterator missingProp(meta, kXMP_NS_DC, "dc:rights", 0);
  EXPECT_TRUE(Walk(missingProp).empty());
  EXPECT_THROW(SXMPIterator(meta, "", "dc:title", 0), XMP_Error);
  EXPECT_THROW(SXMPIterator(meta, kXMP_NS_DC, "dc:title[", 0), XMP_Error);
  EXPECT_THROW(SXMPIterator(meta, 0x4), XMP_Error);
}

TEST(Iterator, SkipSubtreeAndSiblings) {
  SXMPMeta meta = Sample();
  SXMPIterator it(meta, kXMP_NS_DC, "", 0);
  EXPECT_THROW(it.Skip(kXMP_IterSkipSubtree), XMP_Error);  // nothing returned yet
  std::string path;
  Paths seen;
  while (it.Next(nullptr, &path)) {
    seen.push_back(path);
    if (path == "dc:title") it.Skip(kXMP_IterSkipSubtree);
    if (path == "dc:subject[1]") it.Skip(kXMP_IterSkipSiblings);
  }
  EXPECT_EQ(seen, (Paths{"", "dc:title", "dc:subject", "dc:subject[1]"}));
  EXPECT_THROW(it.Skip(0x8), XMP_Error);
  // A moved-from iterator is empty, not a crash.
  SXMPIterator taken = std::move(it);
  EXPECT_FALSE(it.Next());
  EXPECT_THROW(it.Skip(kXMP_IterSkipSubtree), XMP_Error);

  // The iterator works on a snapshot: deleting during iteration is safe.
  SXMPIterator live(meta);
  int count = 0;
  while (live.Next()) {
    meta.DeleteProperty(kXMP_NS_DC, "dc:subject");
    ++count;
  }
  EXPECT_EQ(count, 12);
}

}  // namespace
