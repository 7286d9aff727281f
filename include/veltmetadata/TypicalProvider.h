#pragma once

// TypicalProviderImpl: a provider that holds one metadata handle of its own. The base of
// every concrete provider; subclasses install metadata through the protected resets.

#include "veltcore/Export.h"
#include "veltmetadata/MetaDataProvider.h"

namespace veltmetadata {

class VELT_EXPORT TypicalProviderImpl : public MetaDataProvider {
 public:
  // Releases the handle.
  ~TypicalProviderImpl() override;

 protected:
  // Holds a reference on `metaData` (may be null) and notifies (nobody listens yet).
  explicit TypicalProviderImpl(__XMPMeta__* metaData = nullptr);

  // The handle held, without adding a reference.
  __XMPMeta__* MetaDataAccess() const override;

  // Replaces the handle (the new one's reference is taken before the old one is released,
  // so passing the current handle is fine); notifies when `notify` is true.
  void ResetMetaData(__XMPMeta__* metaData, bool notify);
  // Replaces the handle by a new, empty metadata object.
  void ResetToEmptyMetaData(bool notify);

  __XMPMeta__* mMetaData;
};

}  // namespace veltmetadata
