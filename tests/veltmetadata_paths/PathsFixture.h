#pragma once

// A library fixture with a small test schema whose entries cover every kind of node
// (tests/data/veltmetadata/paths_definitions.xml).

#include <string>

#include "LibraryFixture.h"
#include "veltmetadata/Path.h"
#include "veltmetadata/Registry.h"

namespace velttest {

inline constexpr const char* kPathsNs = "http://example.com/paths/test/";
inline constexpr const char* kPathsDynamicNs = "http://example.com/paths/dynamic/";

class PathsFixture : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    RegisterDataDefinitions("veltmetadata/paths_definitions.xml");
    mSchema = veltmetadata::NamespaceDefinition(kPathsNs);
    mInternalSchema = veltmetadata::NamespaceDefinition(std::string(kPathsNs) + "internal/");
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

  // A Path's fields in one line: "[internal ]description|entry name|parent id".
  static std::string Fields(const veltmetadata::Path& path) {
    return (path.mInternal ? "internal " : "") + path.mPathDescription + "|" + path.mEntryName +
           "|" + path.mParentId;
  }

  std::shared_ptr<veltmetadata::SchemaDefinition> mSchema;
  std::shared_ptr<veltmetadata::SchemaDefinition> mInternalSchema;
};

}  // namespace velttest
