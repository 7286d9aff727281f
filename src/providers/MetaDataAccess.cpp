// Read and update access objects: a reference on the handle for their lifetime, and the
// commit when an update access ends.

#include "veltmetadata/MetaDataAccess.h"

namespace veltmetadata {

MetaDataReadAccess::MetaDataReadAccess(const std::shared_ptr<MetaDataProvider>& provider)
    : mMetaData(provider ? provider->MetaDataAccess() : nullptr) {
  if (mMetaData != nullptr) intrusive_ptr_add_ref(mMetaData);
}

MetaDataReadAccess::~MetaDataReadAccess() {
  if (mMetaData != nullptr) intrusive_ptr_release(mMetaData);
}

MetaDataUpdateAccess::MetaDataUpdateAccess(const std::shared_ptr<MetaDataProvider>& provider)
    : MetaDataReadAccess(provider), mProvider(provider) {}

MetaDataUpdateAccess::~MetaDataUpdateAccess() {
  if (mProvider) {
    try {
      mProvider->DoWriteChanges(mChanges);
    } catch (...) {
      // A commit has nobody to report to; the provider's own steps assert on failure.
    }
  }
  // Release in order: the change list, the provider, and (in the base) the handle.
  std::vector<Path>().swap(mChanges);
  mProvider.reset();
}

void MetaDataUpdateAccess::AddChange(const Path& path) {
  mChanges.push_back(path);
}

}  // namespace veltmetadata
