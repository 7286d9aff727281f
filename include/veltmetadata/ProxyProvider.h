#pragma once

// ProxyProviderImpl: the base of the composite providers, which present the metadata of
// other providers (their proxies) as one object. It keeps the proxies, listens to each one
// (a proxy's change makes the composite recompute through OnProxyMetaDataChange) and
// commits without history of its own: each proxy records its history when the composite
// hands the changes on.
//
// Listener lifetime: when the composite lets go of a proxy (reset, replacement) or is
// destroyed, it removes its listener from the proxy and empties it, so neither a proxy that
// outlives the composite nor a notification already under way calls into it again. A
// composite never becomes its own proxy, directly or through other composites: such an add
// is refused with an assertion (it would recurse without end).

#include <memory>
#include <utility>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/TypicalProvider.h"

namespace veltmetadata {

using ProviderList = std::vector<std::shared_ptr<MetaDataProvider>>;
using ProviderRange = std::pair<ProviderList::const_iterator, ProviderList::const_iterator>;

class VELT_EXPORT ProxyProviderImpl : public TypicalProviderImpl {
 public:
  // Removes and empties the listeners registered on the proxies.
  ~ProxyProviderImpl() override;

  // True when every proxy writes its own change list (true without proxies).
  bool WritesOwnChangeList() override;

 protected:
  ProxyProviderImpl();
  // AddProxyProvider for each element in order.
  explicit ProxyProviderImpl(const ProviderRange& providers);

  // Hands the changes to WriteChanges without recording history; nothing for a null
  // handle, an empty list or a nested commit.
  void DoWriteChanges(const std::vector<Path>& changes) override;

  // Recomputes the merged metadata; the argument (the changed proxy's handle) is unused by
  // the library's composites, which pass null themselves.
  virtual void OnProxyMetaDataChange(__XMPMeta__* changedMetaData) = 0;

  // Adds a proxy and listens to it. Null: ignored. A provider added twice is listened to
  // twice. This composite itself, or a composite containing it: assertion, ignored; the
  // result says whether the proxy was added.
  bool AddProxyProvider(const std::shared_ptr<MetaDataProvider>& provider);
  // Drops every proxy and its listener; does not recompute.
  void ResetProxyProviders();
  void ResetProxyProviders(const ProviderRange& providers);
  // Drops one proxy's registrations (every one of them) and their listeners; does not
  // recompute.
  void RemoveProxyProvider(const std::shared_ptr<MetaDataProvider>& provider);

  // True when `provider` is this composite or contains it through its proxies.
  bool WouldContainItself(const MetaDataProvider* provider) const;

  ProviderList mProxyProviders;
  std::vector<MetaDataChangedListener> mProxyListeners;  // parallel to mProxyProviders
};

}  // namespace veltmetadata
