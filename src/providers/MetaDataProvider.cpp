// The provider base: listeners, dynamic schemas, and the commit that records document
// history before the provider writes.

#include "veltmetadata/MetaDataProvider.h"

#include <boost/intrusive_ptr.hpp>

#include "ProviderAssert.h"
#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPMeta.h"
#include "xmp/TXMPDocOps.h"

namespace veltmetadata {

namespace {

// The document part a changed path stands for: "/metadata/PREFIX/PATH", or "/metadata"
// when the path's namespace is not registered.
std::string PartName(const Path& path) {
  std::string part = "/metadata";
  if (auto schema = NamespaceDefinition(path.mNamespace)) {
    part += "/" + schema->mPrefix + "/" + path.mPathDescription;
  }
  return part;
}

}  // namespace

MetaDataProvider::MetaDataProvider() : mWritingChanges(false) {}

MetaDataProvider::~MetaDataProvider() = default;

bool MetaDataProvider::QueryPathStatus(const Path& /*path*/, PathStatus status) const {
  if (status == kPathStatus_Writable) return !IsXMPWritingDisabled();
  return true;
}

bool MetaDataProvider::WritesOwnChangeList() {
  return false;
}

void MetaDataProvider::GetAllPathsForDynamicSchema(
    const UTF8String& /*namespaceURI*/,
    std::vector<std::shared_ptr<PropertyDefinition>>& /*outProperties*/) {}

std::string MetaDataProvider::DebugSerializedXMP() const {
  return {};
}

std::string MetaDataProvider::DebugDescription(bool /*verbose*/, int /*indent*/) const {
  return {};
}

void MetaDataProvider::DoWriteChanges(const std::vector<Path>& changes) {
  __XMPMeta__* meta = MetaDataAccess();
  if (meta == nullptr || changes.empty() || mWritingChanges) return;
  if (!WritesOwnChangeList()) {
    SXMPMeta wrapper(meta);
    TXMPDocOps docOps;
    docOps.OpenXMP(&wrapper, "", nullptr, nullptr, 0);
    for (const Path& path : changes)
      docOps.NoteChange(PartName(path));
    docOps.PrepareForSave("", nullptr, nullptr, 0);
  }
  mWritingChanges = true;
  WriteChanges(changes);
  mWritingChanges = false;
}

void MetaDataProvider::NotifyWhenMetaDataChanged(const MetaDataChangedListener& listener) {
  mChangeListeners.push_back(listener);
}

void MetaDataProvider::RemoveMetaDataChangedNotification(const MetaDataChangedListener& listener) {
  for (auto it = mChangeListeners.begin(); it != mChangeListeners.end(); ++it) {
    if (it->get() == listener.get()) {
      mChangeListeners.erase(it);
      return;
    }
  }
}

void MetaDataProvider::MetaDataChanged() {
  if (mWritingChanges) return;
  // A listener may drop the last reference to this provider: from here on only the
  // snapshot and the handle are used, never a member, and the handle is held so that the
  // later listeners still get a live object.
  const boost::intrusive_ptr<__XMPMeta__> held(MetaDataAccess());
  __XMPMeta__* meta = held.get();
  const std::vector<MetaDataChangedListener> snapshot(mChangeListeners.begin(),
                                                      mChangeListeners.end());
  for (const MetaDataChangedListener& listener : snapshot) {
    if (!listener || !*listener) continue;
    MetaDataChangedFunction call = *listener;  // the stored one may be emptied meanwhile
    call(meta);
  }
}

void MetaDataProvider::AddDynamicSchemaDefinition(std::shared_ptr<SchemaDefinition> inSchema) {
  if (!inSchema) {
    VELT_PROVIDER_ASSERT("veltmetadata::MetaDataProvider::AddDynamicSchemaDefinition", "inSchema",
                         "");
    return;
  }
  if (!DoesDynamicNamespaceExist(inSchema->mNamespace)) {
    mDynamicSchemaDefinitions.push_back(inSchema);
    mDynamicNamespaces.insert(inSchema->mNamespace);
  }
  if (!NamespaceDefinition(inSchema->mNamespace)) RegisterSchemaDefinition(inSchema, "", false);
}

MetaDataProvider::SchemaRange MetaDataProvider::DynamicSchemaDefinitions() const {
  return {mDynamicSchemaDefinitions.cbegin(), mDynamicSchemaDefinitions.cend()};
}

bool MetaDataProvider::DoesDynamicNamespaceExist(const UTF8String& namespaceURI) const {
  return mDynamicNamespaces.count(namespaceURI) != 0;
}

}  // namespace veltmetadata
