#pragma once

// Access objects: the only way to reach a provider's metadata handle.
//
//   {
//     veltmetadata::MetaDataUpdateAccess access(provider);
//     if (veltmetadata::SetValue(*access, path, "new title")) access.AddChange(path);
//   }  // the commit: the provider records the history and writes back
//
// An access holds one reference on the handle that was current when it was made, so the
// object stays valid even if the provider replaces its handle meanwhile. Used from one
// thread at a time, like the provider.

#include <memory>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/MetaDataProvider.h"
#include "veltmetadata/Path.h"

namespace veltmetadata {

class VELT_EXPORT MetaDataReadAccess {
 public:
  // Takes the provider's current handle (null for a null provider or one without metadata).
  explicit MetaDataReadAccess(const std::shared_ptr<MetaDataProvider>& provider);
  ~MetaDataReadAccess();
  MetaDataReadAccess(const MetaDataReadAccess&) = delete;
  MetaDataReadAccess& operator=(const MetaDataReadAccess&) = delete;

  // The handle; may be null.
  __XMPMeta__* operator*() const { return mMetaData; }

 protected:
  __XMPMeta__* mMetaData;
};

class VELT_EXPORT MetaDataUpdateAccess : public MetaDataReadAccess {
 public:
  // Keeps the provider alive until the commit.
  explicit MetaDataUpdateAccess(const std::shared_ptr<MetaDataProvider>& provider);
  // The commit: asks the provider to write the collected paths back (an empty list writes
  // nothing). Never throws: whatever the commit throws is discarded. There is no cancel.
  ~MetaDataUpdateAccess();

  // Reports a changed path; kept in call order, duplicates included.
  void AddChange(const Path& path);
  bool HasChanges() const { return !mChanges.empty(); }

 private:
  std::shared_ptr<MetaDataProvider> mProvider;
  std::vector<Path> mChanges;
};

}  // namespace veltmetadata
