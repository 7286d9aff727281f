// A provider holding one metadata handle of its own.

#include "veltmetadata/TypicalProvider.h"

namespace veltmetadata {

TypicalProviderImpl::TypicalProviderImpl(__XMPMeta__* metaData) : mMetaData(metaData) {
  if (mMetaData != nullptr) intrusive_ptr_add_ref(mMetaData);
  MetaDataChanged();
}

TypicalProviderImpl::~TypicalProviderImpl() {
  if (mMetaData != nullptr) intrusive_ptr_release(mMetaData);
}

__XMPMeta__* TypicalProviderImpl::MetaDataAccess() const {
  return mMetaData;
}

void TypicalProviderImpl::ResetMetaData(__XMPMeta__* metaData, bool notify) {
  if (metaData != nullptr) intrusive_ptr_add_ref(metaData);
  if (mMetaData != nullptr) intrusive_ptr_release(mMetaData);
  mMetaData = metaData;
  if (notify) MetaDataChanged();
}

void TypicalProviderImpl::ResetToEmptyMetaData(bool notify) {
  SXMPMeta empty;
  ResetMetaData(empty.GetInternalRef(), notify);
}

}  // namespace veltmetadata
