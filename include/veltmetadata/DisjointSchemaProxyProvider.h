#pragma once

// DisjointSchemaProxyProvider: routes whole schemas between providers. A base provider
// supplies the metadata as a whole; for chosen schemas a provider of their own supplies that
// schema's properties and receives the edits made in it. Edits in other namespaces go to
// the base provider, which never writes the schemas owned by schema providers. Without a
// base provider, edits outside the registered schemas are dropped.
//
// Used from one thread at a time, like every provider; see ProxyProvider.h for the
// lifetime of the listeners it registers on its providers.

#include <map>
#include <memory>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/ProxyProvider.h"

namespace veltmetadata {

class VELT_EXPORT DisjointSchemaProxyProvider : public ProxyProviderImpl {
 public:
  // No providers, no metadata.
  DisjointSchemaProxyProvider();
  ~DisjointSchemaProxyProvider() override;

  // Sets the base provider and recomputes; null clears it without recomputing. A base
  // provider that is replaced is no longer listened to.
  void RegisterBaseProvider(const std::shared_ptr<MetaDataProvider>& provider);
  // Makes `provider` the owner of `schema` (identity of the record) and recomputes; a
  // second registration for the same record replaces the provider. Either one null: ignored.
  void RegisterProvider(const std::shared_ptr<SchemaDefinition>& schema,
                        const std::shared_ptr<MetaDataProvider>& provider);
  // Drops every provider and recomputes (the metadata becomes null).
  void ClearProviders();

  // The answer of the provider owning the path's schema, else of the base provider, else
  // the default answer.
  bool QueryPathStatus(const Path& path, PathStatus status) const override;

 protected:
  // Schema-owned edits go to their owners, the rest to the base provider.
  void WriteChanges(const std::vector<Path>& changes) override;
  // Merges the schema providers' metadata into the base provider's own object.
  void OnProxyMetaDataChange(__XMPMeta__* changedMetaData) override;

  std::map<std::shared_ptr<SchemaDefinition>, std::shared_ptr<MetaDataProvider>> mSchemaProviders;
  std::shared_ptr<MetaDataProvider> mBaseProvider;
};

}  // namespace veltmetadata
