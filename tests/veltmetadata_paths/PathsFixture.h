#pragma once

// A library fixture with a small test schema whose entries cover every kind of node: no type,
// external arrays, named array and choice types, a structure, internal arrays of a simple
// type and of structures, and a dynamic schema.

#include <string>

#include "LibraryFixture.h"
#include "veltmetadata/DefinitionsParser.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/Path.h"
#include "veltmetadata/Registry.h"

namespace velttest {

inline constexpr const char* kPathsNs = "http://example.com/paths/test/";
inline constexpr const char* kPathsFieldNs = "http://example.com/paths/fields/";
inline constexpr const char* kPathsDynamicNs = "http://example.com/paths/dynamic/";

class PathsFixture : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    const std::string ns = kPathsNs;
    const std::string fieldNs = kPathsFieldNs;
    const std::string field = "<xmp_field namespace='" + fieldNs + "' prefix='uts' ";
    const std::string doc =
        std::string("<?xml version='1.0'?>\n<xmp_definitions xmlns:ui='") +
        veltmetadata::kFileInfoUINamespace + "'>" +
        "<xmp_type name='utest_bag' extends='bag' element_type='text'/>"
        "<xmp_type name='utest_choice' extends='openchoice' element_type='text'/>"
        "<xmp_type name='utest_closed' extends='closedchoice' element_type='integer'/>"
        "<xmp_type name='utest_struct'>" +
        field + "name='FieldNoType'/>" + field +
        "name='ChoiceFieldNoElementType' type='openchoice'/>" + field +
        "name='ChoiceFieldNoElementTypeOnType' type='utest_choice'/>"
        "</xmp_type>"
        "<xmp_schema namespace='" +
        ns +
        "' prefix='utest'>"
        "<xmp_property name='NoType'/>"
        "<xmp_property name='BagNoElementType' type='bag'/>"
        "<xmp_property name='SeqElementWithType' type='seq' element_type='integer'/>"
        "<xmp_property name='BagElementTypeOnType' type='utest_bag'/>"
        "<xmp_property name='ChoiceNoElementTypeOnType' type='utest_choice'/>"
        "<xmp_property name='StructNoElementType' type='utest_struct'/>"
        "</xmp_schema>"
        "<xmp_schema namespace='" +
        ns +
        "internal/' prefix='utesti'>"
        "<xmp_property category='internal' name='Tags' type='bag' element_type='text'/>"
        "<xmp_property category='internal' name='Events' type='seq' element_type='utest_struct'/>"
        "<xmp_property category='internal' name='Rating' type='utest_closed'/>"
        "<xmp_property category='internal' name='Dates' type='alt' element_type='date'/>"
        "</xmp_schema>"
        "<xmp_schema namespace='" +
        kPathsDynamicNs + "' prefix='utestd' dynamic='true'/></xmp_definitions>";
    veltmetadata::ParseBufferAndRegisterDefinitions(doc, "paths-test.xml", false);
    mSchema = veltmetadata::NamespaceDefinition(kPathsNs);
    mInternalSchema = veltmetadata::NamespaceDefinition(ns + "internal/");
    ASSERT_NE(mSchema, nullptr);
    ASSERT_NE(mInternalSchema, nullptr);
    ASSERT_EQ(mSchema->mProperties.size(), 6u);
  }

  veltmetadata::Path Property(const char* name) const {
    return veltmetadata::PathForSchemaNameAndPropertyName(kPathsNs, name);
  }
  veltmetadata::Path InternalProperty(const char* name) const {
    return veltmetadata::PathForSchemaNameAndPropertyName(mInternalSchema->mNamespace, name);
  }

  std::shared_ptr<veltmetadata::SchemaDefinition> mSchema;
  std::shared_ptr<veltmetadata::SchemaDefinition> mInternalSchema;
};

}  // namespace velttest
