#pragma once

// AggregateProvider: several providers merged into one metadata object. With one provider
// the aggregate shares that provider's very object; with more it holds a merged object in
// which a property whose value differs between the providers reads as holding multiple
// values. An edit made through the aggregate reaches every provider that can write all the
// changed paths: agreed and edited values are copied into each, values that still differ
// stay as each provider has them, and an emptied value is deleted from each.
//
// Used from one thread at a time, like every provider; see ProxyProvider.h for the
// lifetime of the listeners it registers on its providers.

#include <memory>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/ProxyProvider.h"

namespace veltmetadata {

class VELT_EXPORT AggregateProvider : public ProxyProviderImpl {
 public:
  // No providers; no metadata until a provider is added with refresh or a reset.
  AggregateProvider();
  // ResetProviders(providers).
  explicit AggregateProvider(const ProviderRange& providers);
  ~AggregateProvider() override;

  // Appends a provider to the merge order and recomputes when `refresh` is true. Null, or a
  // provider that contains this aggregate (assertion): ignored.
  void AddProvider(const std::shared_ptr<MetaDataProvider>& provider, bool refresh);
  // Replaces every provider by those of the range and recomputes once.
  void ResetProviders(const ProviderRange& providers);
  // Drops every provider; the metadata becomes null.
  void ResetProviders();

  // True when some provider, asked in order, answers true; false without providers.
  bool QueryPathStatus(const Path& path, PathStatus status) const override;
  // Clears `outProperties`, then lists each distinct node path of the schema found in the
  // providers' data once, as a text property named by the path after its prefix.
  void GetAllPathsForDynamicSchema(
      const UTF8String& namespaceURI,
      std::vector<std::shared_ptr<PropertyDefinition>>& outProperties) override;

 protected:
  // Adopts the library's dynamic schemas, and those found in `metaData`, as this
  // provider's dynamic schemas.
  void GetAllDynamicSchemas(__XMPMeta__* metaData);
  // Distributes the edits to the providers and commits each.
  void WriteChanges(const std::vector<Path>& changes) override;
  // Recomputes the merged metadata and notifies.
  void OnProxyMetaDataChange(__XMPMeta__* changedMetaData) override;

  ProviderList mProviders;
};

}  // namespace veltmetadata
