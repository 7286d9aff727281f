// Templates, removing properties and copying subtrees.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "xmp/SXMPUtils.h"

namespace {

constexpr auto Get = coretest::Value;

// A working object and a template that overlap in dc:format and in the xmpRights structure.
struct TemplateCase {
  SXMPMeta working;
  SXMPMeta templ;
  TemplateCase() {
    working.SetProperty(kXMP_NS_DC, "dc:format", "image/jpeg");
    working.SetProperty(kXMP_NS_XMP, "xmp:Label", "red");
    working.SetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef,
                           "documentID", "doc-1");
    working.SetProperty(kXMP_NS_Transient, "veltTransient:MultiFileCount", "2");
    templ.SetProperty(kXMP_NS_DC, "dc:format", "image/tiff");
    templ.SetProperty(kXMP_NS_XMP, "xmp:Rating", "5");
    templ.SetProperty(kXMP_NS_XMP, "xmp:Nickname", "");
    templ.SetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef, "instanceID",
                         "inst-9");
  }
};

TEST(ApplyTemplate, EachFlagDoesItsOwnPart) {
  {  // 0x02: replace existing only; structures are applied field by field.
    TemplateCase c;
    SXMPUtils::ApplyTemplate(&c.working, c.templ, kXMPTemplate_ReplaceExistingProperties);
    EXPECT_EQ(Get(c.working, kXMP_NS_DC, "dc:format"), "image/tiff");
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP, "xmp:Rating"), "<absent>");
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP, "xmp:Label"), "red");
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:documentID"), "doc-1");
  }
  {  // 0x08: add new only, also new fields of an existing structure.
    TemplateCase c;
    SXMPUtils::ApplyTemplate(&c.working, c.templ, kXMPTemplate_AddNewProperties);
    EXPECT_EQ(Get(c.working, kXMP_NS_DC, "dc:format"), "image/jpeg");
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP, "xmp:Rating"), "5");
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:instanceID"), "inst-9");
  }
  {  // 0x12 (replace all): unnamed properties go, the transient namespace stays.
    TemplateCase c;
    SXMPUtils::ApplyTemplate(
        &c.working, c.templ,
        kXMPTemplate_ReplaceExistingProperties | kXMPTemplate_ClearUnnamedProperties);
    EXPECT_EQ(Get(c.working, kXMP_NS_DC, "dc:format"), "image/tiff");
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP, "xmp:Label"), "<absent>");
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP, "xmp:Rating"), "<absent>");
    EXPECT_EQ(Get(c.working, kXMP_NS_Transient, "veltTransient:MultiFileCount"), "2");
  }
  {  // 0x04 with 0x02|0x08: an empty template value deletes and is never added.
    TemplateCase c;
    c.working.SetProperty(kXMP_NS_XMP, "xmp:Nickname", "nick");
    SXMPUtils::ApplyTemplate(&c.working, c.templ, 0x0E);
    EXPECT_EQ(Get(c.working, kXMP_NS_XMP, "xmp:Nickname"), "<absent>");
    c.working.DeleteProperty(kXMP_NS_XMP, "xmp:Nickname");
    SXMPUtils::ApplyTemplate(&c.working, c.templ, 0x0E);
    EXPECT_FALSE(c.working.DoesPropertyExist(kXMP_NS_XMP, "xmp:Nickname"));
    // Deleting the last property of a schema, then adding to that schema.
    SXMPMeta only, templ;
    only.SetProperty(kXMP_NS_DC, "dc:format", "x");
    templ.SetProperty(kXMP_NS_DC, "dc:format", "");
    templ.SetProperty(kXMP_NS_DC, "dc:source", "s");
    SXMPUtils::ApplyTemplate(&only, templ, 0x0E);
    EXPECT_FALSE(only.DoesPropertyExist(kXMP_NS_DC, "dc:format"));
    EXPECT_EQ(Get(only, kXMP_NS_DC, "dc:source"), "s");
  }
  {  // 0 changes nothing; unknown bits are refused.
    TemplateCase c;
    SXMPUtils::ApplyTemplate(&c.working, c.templ, 0);
    EXPECT_EQ(Get(c.working, kXMP_NS_DC, "dc:format"), "image/jpeg");
    EXPECT_THROW(SXMPUtils::ApplyTemplate(&c.working, c.templ, 0x100), XMP_Error);
  }
}

TEST(RemoveAndDuplicate, PropertiesSchemasAndSubtrees) {
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_DC, "dc:format", "image/jpeg");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "one");
  meta.SetStructField(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_ResourceRef, "documentID",
                      "doc-1");
  meta.SetProperty(kXMP_NS_Transient, "veltTransient:MultiFileCount", "2");

  // Copy into another object, under another root, and within the same object.
  SXMPMeta other;
  SXMPUtils::DuplicateSubtree(meta, &other, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom");
  EXPECT_EQ(Get(other, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:documentID"), "doc-1");
  SXMPUtils::DuplicateSubtree(meta, &meta, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_MM,
                              "xmpMM:ManagedFrom");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:ManagedFrom/stRef:documentID"), "doc-1");
  SXMPUtils::DuplicateSubtree(meta, &other, kXMP_NS_DC, "dc:subject", kXMP_NS_XMP, "");
  EXPECT_EQ(other.CountArrayItems(kXMP_NS_XMP, "xmp:subject"), 1);
  // A subtree copied into itself keeps its data.
  SXMPUtils::DuplicateSubtree(meta, &meta, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom", kXMP_NS_XMP_MM,
                              "xmpMM:DerivedFrom/stRef:alternatePaths");
  EXPECT_EQ(Get(meta, kXMP_NS_XMP_MM, "xmpMM:DerivedFrom/stRef:alternatePaths/stRef:documentID"),
            "doc-1");
  // A whole schema replaces same-named properties of the destination schema.
  other.SetProperty(kXMP_NS_DC, "dc:format", "old");
  SXMPUtils::DuplicateSubtree(meta, &other, kXMP_NS_DC, "");
  EXPECT_EQ(Get(other, kXMP_NS_DC, "dc:format"), "image/jpeg");
  SXMPUtils::DuplicateSubtree(meta, &other, kXMP_NS_DC, "", kXMP_NS_XMP_Rights, "");
  EXPECT_EQ(Get(other, kXMP_NS_XMP_Rights, "xmpRights:format"), "image/jpeg");
  EXPECT_EQ(other.CountArrayItems(kXMP_NS_XMP_Rights, "xmpRights:subject"), 1);
  EXPECT_THROW(SXMPUtils::DuplicateSubtree(meta, &other, kXMP_NS_DC, "dc:missing"), XMP_Error);
  EXPECT_THROW(SXMPUtils::DuplicateSubtree(meta, &other, kXMP_NS_DC, "dc:subject[", "", ""),
               XMP_Error);

  SXMPUtils::RemoveProperties(&meta, kXMP_NS_XMP_MM, "xmpMM:ManagedFrom/stRef:documentID");
  EXPECT_TRUE(meta.DoesPropertyExist(kXMP_NS_XMP_MM, "xmpMM:ManagedFrom"));
  SXMPUtils::RemoveProperties(&meta, kXMP_NS_DC, "dc:nothing");  // absent: no error
  SXMPUtils::RemoveProperties(&meta, kXMP_NS_DC);
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_DC, "dc:format"));
  EXPECT_TRUE(meta.DoesPropertyExist(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom"));
  SXMPUtils::RemoveProperties(&meta);
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP_MM, "xmpMM:DerivedFrom"));
  EXPECT_TRUE(meta.DoesPropertyExist(kXMP_NS_Transient, "veltTransient:MultiFileCount"));
  SXMPUtils::RemoveProperties(&meta, "", "", kXMPUtil_DoAllProperties);
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_Transient, "veltTransient:MultiFileCount"));
  EXPECT_THROW(SXMPUtils::RemoveProperties(&meta, "", "dc:format"), XMP_Error);
}

}  // namespace
