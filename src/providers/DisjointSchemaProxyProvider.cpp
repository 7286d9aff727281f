// Whole schemas routed to providers of their own under one base provider.

#include "veltmetadata/DisjointSchemaProxyProvider.h"

#include "ProviderAssert.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPMeta.h"
#include "xmp/SXMPUtils.h"

namespace veltmetadata {

namespace {

using SchemaEntry =
    std::pair<const std::shared_ptr<SchemaDefinition>, std::shared_ptr<MetaDataProvider>>;

// Merges the whole of a schema provider's metadata into `merged`, its values winning.
bool CollectDisjointXMP(SXMPMeta& merged, bool any, const SchemaEntry& entry) {
  MetaDataReadAccess access(entry.second);
  if (*access == nullptr) return any;
  try {
    SXMPUtils::MergeSchemas(SXMPMeta(*access), &merged,
                            kXMPUtil_DoAllProperties | kXMPUtil_ReplaceOldValues);
    return true;
  } catch (...) {
    VELT_PROVIDER_ASSERT("CollectDisjointXMP", "false",
                         providers::CurrentExceptionText("Error collecting disjoint XMP",
                                                         "Error collecting disjoint XMP",
                                                         "Unknown error collecting disjoint XMP"));
    return any;
  }
}

// Copies the changed paths of the entry's schema from `merged` into the schema provider,
// commits them there and takes them out of `remaining`. A path the merged object no longer
// has was deleted: it is removed from the provider and nothing is copied.
void DistributeDisjointXMP(const SXMPMeta& merged, const SchemaEntry& entry,
                           std::vector<Path>& remaining) {
  MetaDataUpdateAccess access(entry.second);
  if (*access == nullptr) return;
  SXMPMeta dest(*access);
  const UTF8String& ns = entry.first->mNamespace;
  for (auto it = remaining.begin(); it != remaining.end();) {
    if (it->mNamespace != ns) {
      ++it;
      continue;
    }
    try {
      SXMPUtils::RemoveProperties(&dest, it->mNamespace, it->mPathDescription, 0);
      if (merged.DoesPropertyExist(it->mNamespace, it->mPathDescription)) {
        SXMPUtils::DuplicateSubtree(merged, &dest, it->mNamespace, it->mPathDescription, "", "", 0);
      }
    } catch (...) {
      const std::string where = it->mNamespace + it->mPathDescription;
      VELT_PROVIDER_ASSERT("DistributeDisjointXMP", "false",
                           providers::CurrentExceptionText(
                               "Error distributing disjoint XMP (" + where + ") :",
                               "Error distributing disjoint XMP (" + where + ") :",
                               "Unknown distributing disjoint getting XMP (" + where + ")"));
    }
    access.AddChange(*it);
    it = remaining.erase(it);
  }
}

}  // namespace

DisjointSchemaProxyProvider::DisjointSchemaProxyProvider() = default;

DisjointSchemaProxyProvider::~DisjointSchemaProxyProvider() = default;

void DisjointSchemaProxyProvider::RegisterBaseProvider(
    const std::shared_ptr<MetaDataProvider>& provider) {
  if (provider && WouldContainItself(provider.get())) {
    VELT_PROVIDER_ASSERT("veltmetadata::DisjointSchemaProxyProvider::RegisterBaseProvider",
                         "!WouldContainItself(provider.get())",
                         "a composite provider cannot contain itself");
    return;
  }
  if (mBaseProvider && mBaseProvider != provider) RemoveProxyProvider(mBaseProvider);
  const bool again = provider && mBaseProvider == provider;
  mBaseProvider = provider;
  if (!provider) return;
  if (!again) AddProxyProvider(provider);
  OnProxyMetaDataChange(nullptr);
}

void DisjointSchemaProxyProvider::RegisterProvider(
    const std::shared_ptr<SchemaDefinition>& schema,
    const std::shared_ptr<MetaDataProvider>& provider) {
  if (!schema || !provider) return;
  if (WouldContainItself(provider.get())) {
    VELT_PROVIDER_ASSERT("veltmetadata::DisjointSchemaProxyProvider::RegisterProvider",
                         "!WouldContainItself(provider.get())",
                         "a composite provider cannot contain itself");
    return;
  }
  auto found = mSchemaProviders.find(schema);
  if (found != mSchemaProviders.end() && found->second != provider) {
    RemoveProxyProvider(found->second);
  }
  const bool again = found != mSchemaProviders.end() && found->second == provider;
  mSchemaProviders[schema] = provider;
  if (!again) AddProxyProvider(provider);
  OnProxyMetaDataChange(nullptr);
}

void DisjointSchemaProxyProvider::ClearProviders() {
  mBaseProvider.reset();
  mSchemaProviders.clear();
  ResetProxyProviders();
  OnProxyMetaDataChange(nullptr);
}

bool DisjointSchemaProxyProvider::QueryPathStatus(const Path& path, PathStatus status) const {
  if (auto schema = NamespaceDefinition(path.mNamespace)) {
    auto found = mSchemaProviders.find(schema);
    if (found != mSchemaProviders.end()) return found->second->QueryPathStatus(path, status);
  }
  if (mBaseProvider) return mBaseProvider->QueryPathStatus(path, status);
  return MetaDataProvider::QueryPathStatus(path, status);
}

void DisjointSchemaProxyProvider::OnProxyMetaDataChange(__XMPMeta__* /*changedMetaData*/) {
  SXMPMeta merged;
  bool baseHasMetaData = false;
  if (mBaseProvider) {
    MetaDataReadAccess access(mBaseProvider);
    if (*access != nullptr) {
      merged = SXMPMeta(*access);  // shared: the schema providers merge into the base's object
      baseHasMetaData = true;
    }
  }
  bool any = false;
  for (const auto& entry : mSchemaProviders)
    any = CollectDisjointXMP(merged, any, entry);
  ResetMetaData(any || baseHasMetaData ? merged.GetInternalRef() : nullptr, true);
}

void DisjointSchemaProxyProvider::WriteChanges(const std::vector<Path>& changes) {
  __XMPMeta__* metaData = MetaDataAccess();
  if (metaData == nullptr) {
    VELT_PROVIDER_ASSERT("veltmetadata::DisjointSchemaProxyProvider::WriteChanges", "metaData", "");
    return;
  }
  SXMPMeta merged(metaData);
  std::vector<Path> remaining = changes;
  const auto schemaProviders = mSchemaProviders;  // a commit may change the map
  for (const auto& entry : schemaProviders)
    DistributeDisjointXMP(merged, entry, remaining);
  const auto base = mBaseProvider;
  if (!base || remaining.empty()) return;
  // The base provider shares `merged`: take the schema providers' schemas out while it
  // writes, so that it never stores them, and merge them back afterwards.
  for (const auto& entry : schemaProviders) {
    try {
      SXMPUtils::RemoveProperties(&merged, entry.first->mNamespace, "", 0);
    } catch (const XMP_Error& error) {
      VELT_PROVIDER_ASSERT("veltmetadata::DisjointSchemaProxyProvider::WriteChanges", "false",
                           error.GetErrMsg());
    }
  }
  {
    MetaDataUpdateAccess access(base);
    for (const Path& path : remaining)
      access.AddChange(path);
  }
  bool any = false;
  for (const auto& entry : schemaProviders)
    any = CollectDisjointXMP(merged, any, entry);
}

}  // namespace veltmetadata
