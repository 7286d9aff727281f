// The composite base: proxies, the listeners this composite registers on them, and the
// commit without history of its own.

#include "veltmetadata/ProxyProvider.h"

#include <boost/bind/bind.hpp>

#include "ProviderAssert.h"

namespace veltmetadata {

namespace {

// Takes a listener back from a proxy and empties it, so that a notification already
// running from a snapshot that holds it skips it.
void Detach(const std::shared_ptr<MetaDataProvider>& proxy,
            const MetaDataChangedListener& listener) {
  if (proxy) proxy->RemoveMetaDataChangedNotification(listener);
  if (listener) *listener = nullptr;
}

}  // namespace

ProxyProviderImpl::ProxyProviderImpl() : TypicalProviderImpl(nullptr) {}

ProxyProviderImpl::ProxyProviderImpl(const ProviderRange& providers)
    : TypicalProviderImpl(nullptr) {
  for (auto it = providers.first; it != providers.second; ++it)
    AddProxyProvider(*it);
}

ProxyProviderImpl::~ProxyProviderImpl() {
  ResetProxyProviders();
}

bool ProxyProviderImpl::WritesOwnChangeList() {
  for (const auto& proxy : mProxyProviders) {
    if (!proxy->WritesOwnChangeList()) return false;
  }
  return true;
}

void ProxyProviderImpl::DoWriteChanges(const std::vector<Path>& changes) {
  if (MetaDataAccess() == nullptr || changes.empty() || mWritingChanges) return;
  mWritingChanges = true;
  WriteChanges(changes);
  mWritingChanges = false;
}

bool ProxyProviderImpl::WouldContainItself(const MetaDataProvider* provider) const {
  if (provider == this) return true;
  const auto* composite = dynamic_cast<const ProxyProviderImpl*>(provider);
  if (composite == nullptr) return false;
  for (const auto& proxy : composite->mProxyProviders) {
    if (WouldContainItself(proxy.get())) return true;
  }
  return false;
}

bool ProxyProviderImpl::AddProxyProvider(const std::shared_ptr<MetaDataProvider>& provider) {
  if (!provider) return false;
  if (WouldContainItself(provider.get())) {
    VELT_PROVIDER_ASSERT("veltmetadata::ProxyProviderImpl::AddProxyProvider",
                         "!WouldContainItself(provider.get())",
                         "a composite provider cannot contain itself");
    return false;
  }
  mProxyProviders.push_back(provider);
  auto listener = std::make_shared<MetaDataChangedFunction>(
      boost::bind(&ProxyProviderImpl::OnProxyMetaDataChange, this, boost::placeholders::_1));
  mProxyListeners.push_back(listener);
  provider->NotifyWhenMetaDataChanged(listener);
  return true;
}

void ProxyProviderImpl::ResetProxyProviders() {
  // Detach from a moved-out copy: a proxy's removal may not call back into these lists.
  ProviderList proxies;
  std::vector<MetaDataChangedListener> listeners;
  proxies.swap(mProxyProviders);
  listeners.swap(mProxyListeners);
  for (std::size_t i = 0; i < proxies.size(); ++i)
    Detach(proxies[i], listeners[i]);
}

void ProxyProviderImpl::ResetProxyProviders(const ProviderRange& providers) {
  ResetProxyProviders();
  for (auto it = providers.first; it != providers.second; ++it)
    AddProxyProvider(*it);
}

void ProxyProviderImpl::RemoveProxyProvider(const std::shared_ptr<MetaDataProvider>& provider) {
  for (std::size_t i = mProxyProviders.size(); i-- > 0;) {
    if (mProxyProviders[i] != provider) continue;
    Detach(mProxyProviders[i], mProxyListeners[i]);
    mProxyProviders.erase(mProxyProviders.begin() + static_cast<std::ptrdiff_t>(i));
    mProxyListeners.erase(mProxyListeners.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace veltmetadata
