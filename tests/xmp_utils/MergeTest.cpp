// The merges of several objects: collecting with multiple-value marks, distributing back,
// merging whole schemas.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "xmp/SXMPUtils.h"

namespace {

using coretest::Value;

const char kCount[] = "veltTransient:MultiFileCount";

// One file's metadata: a shared format, a per-file label, keywords, and a structure whose
// documentID is shared and instanceID differs.
SXMPMeta FileMeta(const std::string& label, const std::vector<std::string>& keywords,
                  const std::string& instance) {
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_DC, "dc:format", "image/jpeg");
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", label);
  for (const std::string& k : keywords) {
    meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, k);
  }
  meta.SetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef, "documentID",
                      "doc-1");
  meta.SetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef, "instanceID",
                      instance);
  return meta;
}

TEST(Collect, DifferingPropertiesAreMarkedAcrossThreeObjects) {
  SXMPMeta a = FileMeta("red", {"cat", "dog"}, "i-1");
  SXMPMeta b = FileMeta("red", {"dog", "cat"}, "i-2");  // same bag in another order
  SXMPMeta c = FileMeta("blue", {"cat", "dog"}, "i-1");
  c.SetProperty(kXMP_NS_XMP, "xmp:Rating", "3");    // only the third has it
  b.SetProperty(kXMP_NS_XMP, "xmp:Nickname", "n");  // only the second has it

  SXMPMeta merged;
  SXMPUtils::CollectProperties(a, &merged, 0);
  EXPECT_EQ(Value(merged, kXMP_NS_Transient, kCount), "1");
  EXPECT_FALSE(merged.HasMultipleValues(kXMP_NS_XMP, "xmp:Label"));

  SXMPUtils::CollectProperties(b, &merged, 0);
  SXMPUtils::CollectProperties(c, &merged, 0);
  EXPECT_EQ(Value(merged, kXMP_NS_Transient, kCount), "3");

  // Equal everywhere: kept with its value.
  EXPECT_FALSE(merged.HasMultipleValues(kXMP_NS_DC, "dc:format"));
  EXPECT_EQ(Value(merged, kXMP_NS_DC, "dc:format"), "image/jpeg");
  EXPECT_FALSE(merged.HasMultipleValues(kXMP_NS_DC, "dc:subject"));
  EXPECT_EQ(merged.CountArrayItems(kXMP_NS_DC, "dc:subject"), 2);
  // Differs in the third object only, or present in only some: marked, with no value.
  for (const char* path : {"xmp:Label", "xmp:Rating", "xmp:Nickname"}) {
    EXPECT_TRUE(merged.HasMultipleValues(kXMP_NS_XMP, path)) << path;
    EXPECT_EQ(Value(merged, kXMP_NS_XMP, path), "") << path;
  }
  // Structures are compared field by field.
  EXPECT_FALSE(merged.HasMultipleValues(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:documentID"));
  EXPECT_TRUE(merged.HasMultipleValues(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:instanceID"));

  // The mark is bookkeeping: it never reaches a packet.
  EXPECT_FALSE(coretest::RoundTrip(merged).HasMultipleValues(kXMP_NS_XMP, "xmp:Label"));

  // Clearing leaves the property present and empty.
  merged.ClearMultipleValues(kXMP_NS_XMP, "xmp:Label");
  EXPECT_FALSE(merged.HasMultipleValues(kXMP_NS_XMP, "xmp:Label"));
  EXPECT_TRUE(merged.DoesPropertyExist(kXMP_NS_XMP, "xmp:Label"));

  // Unordered arrays of structures compare regardless of order too, ordered ones do not.
  SXMPMeta x, y;
  for (SXMPMeta* m : {&x, &y}) {
    bool first = m == &x;
    for (const char* id : {first ? "p" : "q", first ? "q" : "p"}) {
      m->AppendArrayItem(kXMP_NS_XMP_MM, "xmpMM:Ingredients", kXMP_PropValueIsArray, "",
                         kXMP_PropValueIsStruct);
      m->SetProperty(kXMP_NS_XMP_MM, "xmpMM:Ingredients[last()]/stRef:documentID", id);
      m->AppendArrayItem(kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, id);
    }
  }
  SXMPMeta both;
  SXMPUtils::CollectProperties(x, &both, 0);
  SXMPUtils::CollectProperties(y, &both, 0);
  EXPECT_FALSE(both.HasMultipleValues(kXMP_NS_XMP_MM, "xmpMM:Ingredients"));
  EXPECT_TRUE(both.HasMultipleValues(kXMP_NS_DC, "dc:creator"));

  EXPECT_THROW(SXMPUtils::CollectProperties(a, &a, 0), XMP_Error);
  EXPECT_THROW(SXMPUtils::CollectProperties(a, nullptr, 0), XMP_Error);
}

TEST(Distribute, BringsOnlyAgreedOrEditedValuesBack) {
  SXMPMeta a = FileMeta("red", {"cat"}, "i-1");
  SXMPMeta b = FileMeta("blue", {"cat"}, "i-2");
  SXMPMeta merged;
  SXMPUtils::CollectProperties(a, &merged, 0);
  SXMPUtils::CollectProperties(b, &merged, 0);
  // An edit on the merged object: a new common value.
  merged.SetProperty(kXMP_NS_DC, "dc:format", "image/png");

  SXMPUtils::DistributeProperties(merged, &b, 0);
  EXPECT_EQ(Value(b, kXMP_NS_DC, "dc:format"), "image/png");
  // Multiple values never overwrite a file's own value.
  EXPECT_EQ(Value(b, kXMP_NS_XMP, "xmp:Label"), "blue");
  EXPECT_EQ(Value(b, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:instanceID"), "i-2");
  EXPECT_EQ(Value(b, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:documentID"), "doc-1");
  EXPECT_FALSE(b.DoesPropertyExist(kXMP_NS_Transient, kCount));

  // With kXMPUtil_DeleteEmptyValues an emptied value is removed from the destination.
  merged.SetProperty(kXMP_NS_DC, "dc:format", "");
  SXMPUtils::DistributeProperties(merged, &b, kXMPUtil_DeleteEmptyValues);
  EXPECT_FALSE(b.DoesPropertyExist(kXMP_NS_DC, "dc:format"));
}

TEST(MergeSchemas, SourceWinsWithOptionThree) {
  SXMPMeta base = FileMeta("red", {"cat"}, "i-1");
  SXMPMeta owner;
  owner.SetProperty(kXMP_NS_XMP, "xmp:Label", "green");
  owner.SetProperty(kXMP_NS_XMP, "xmp:Rating", "4");
  owner.SetProperty(kXMP_NS_Transient, "veltTransient:Note", "t");

  SXMPMeta keep = base.Clone();
  SXMPUtils::MergeSchemas(owner, &keep, 0);  // add only, transient skipped
  EXPECT_EQ(Value(keep, kXMP_NS_XMP, "xmp:Label"), "red");
  EXPECT_TRUE(keep.DoesPropertyExist(kXMP_NS_XMP, "xmp:Rating"));
  EXPECT_FALSE(keep.DoesPropertyExist(kXMP_NS_Transient, "veltTransient:Note"));

  SXMPUtils::MergeSchemas(owner, &base, kXMPUtil_DoAllProperties | kXMPUtil_ReplaceOldValues);
  EXPECT_EQ(Value(base, kXMP_NS_XMP, "xmp:Label"), "green");
  EXPECT_EQ(Value(base, kXMP_NS_DC, "dc:format"), "image/jpeg");
  EXPECT_TRUE(base.DoesPropertyExist(kXMP_NS_Transient, "veltTransient:Note"));
}

// A structure whose fields differ between objects: only the differing field is marked, an
// edit of it reaches every object with each one's other fields kept, and the marks answer
// for everything below them without being created by a query or a clear.
TEST(Distribute, FieldEditInADifferingStructureKeepsEachObjectsOtherFields) {
  const char* ns = kXMP_NS_XMP_MM;
  auto make = [&](const std::string& instance, const std::string& manager) {
    SXMPMeta meta = FileMeta("red", {"cat"}, instance);
    meta.SetStructField(ns, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef, "manager", manager);
    meta.SetStructField(ns, "xmpMM:ManagedFrom", kXMP_NS_XMP_ResourceRef, "renditionClass",
                        instance);
    return meta;
  };
  SXMPMeta a = make("i-1", "m-1"), b = make("i-2", "m-2");
  b.DeleteProperty(ns, "xmpMM:ManagedFrom");  // only the first has this structure
  SXMPMeta merged;
  SXMPUtils::CollectProperties(a, &merged, 0);
  SXMPUtils::CollectProperties(b, &merged, 0);
  const std::string field = "xmpMM:DerivedFrom/stRef:instanceID";
  EXPECT_FALSE(merged.HasMultipleValues(ns, "xmpMM:DerivedFrom"));
  EXPECT_TRUE(merged.HasMultipleValues(ns, field));
  EXPECT_TRUE(merged.HasMultipleValues(ns, "xmpMM:ManagedFrom"));
  EXPECT_TRUE(merged.HasMultipleValues(ns, "xmpMM:ManagedFrom/stRef:renditionClass"));
  EXPECT_FALSE(merged.DoesPropertyExist(ns, "xmpMM:ManagedFrom/stRef:renditionClass"));
  merged.ClearMultipleValues(ns, "xmpMM:ManagedFrom/stRef:renditionClass");
  EXPECT_FALSE(merged.DoesPropertyExist(ns, "xmpMM:ManagedFrom/stRef:renditionClass"));
  EXPECT_TRUE(merged.HasMultipleValues(ns, "xmpMM:ManagedFrom"));

  merged.SetProperty(ns, field, "i-new");  // the edit clears the field's own mark
  EXPECT_FALSE(merged.HasMultipleValues(ns, field));
  EXPECT_TRUE(merged.HasMultipleValues(ns, "xmpMM:DerivedFrom/stRef:manager"));
  merged.SetProperty(ns, "xmpMM:ManagedFrom/stRef:filePath", "shared");  // below a marked one
  for (SXMPMeta* meta : {&a, &b}) {
    SXMPUtils::DistributeProperties(merged, meta, 0);
    EXPECT_EQ(Value(*meta, ns, field), "i-new");
    EXPECT_EQ(Value(*meta, ns, "xmpMM:DerivedFrom/stRef:documentID"), "doc-1");
    EXPECT_EQ(Value(*meta, ns, "xmpMM:ManagedFrom/stRef:filePath"), "shared");
  }
  EXPECT_EQ(Value(a, ns, "xmpMM:DerivedFrom/stRef:manager"), "m-1");
  EXPECT_EQ(Value(b, ns, "xmpMM:DerivedFrom/stRef:manager"), "m-2");
  EXPECT_EQ(Value(a, ns, "xmpMM:ManagedFrom/stRef:renditionClass"), "i-1");
  EXPECT_FALSE(b.DoesPropertyExist(ns, "xmpMM:ManagedFrom/stRef:renditionClass"));
}

}  // namespace
