#pragma once

// The root of the provider family. A provider owns or assembles one XMP metadata object on
// behalf of the host (a memory packet, a media file, several providers merged) and hands it
// out only through access objects (MetaDataAccess.h): a read access to look at it, an update
// access to edit it and, when the access ends, to write the edited paths back.
//
// A provider also keeps a list of change listeners, called whenever its metadata object is
// replaced (not when it is written back), and a set of dynamic schema definitions of its own.
//
// Nothing here locks. A provider, its listeners and its access objects are used from one
// thread at a time; listeners are called synchronously on the thread that caused the change.

#include <functional>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Path.h"
// The toolkit's metadata handle and its exported intrusive_ptr_add_ref / intrusive_ptr_release,
// so that boost::intrusive_ptr can hold the handles providers give out.
#include "xmp/SXMPMeta.h"

namespace veltmetadata {

// The questions QueryPathStatus answers.
enum PathStatus : std::int32_t {
  kPathStatus_Readable = 0,
  kPathStatus_Writable = 1,
};

// A change listener: called with the provider's new metadata handle (may be null).
using MetaDataChangedFunction = std::function<void(__XMPMeta__*)>;
using MetaDataChangedListener = std::shared_ptr<MetaDataChangedFunction>;

class MetaDataReadAccess;
class MetaDataUpdateAccess;

class VELT_EXPORT MetaDataProvider {
 public:
  using SchemaList = std::vector<std::shared_ptr<SchemaDefinition>>;
  using SchemaRange = std::pair<SchemaList::const_iterator, SchemaList::const_iterator>;

  MetaDataProvider();
  virtual ~MetaDataProvider();
  MetaDataProvider(const MetaDataProvider&) = delete;
  MetaDataProvider& operator=(const MetaDataProvider&) = delete;

  // Whether the node at `path` can be read (always, by default) or written (unless XMP
  // writing is disabled library-wide, by default).
  virtual bool QueryPathStatus(const Path& path, PathStatus status) const;
  // True when the provider writes changes without recording document history in the
  // metadata. False by default.
  virtual bool WritesOwnChangeList();
  // Appends a text property definition for each property the provider's data holds in the
  // dynamic schema `namespaceURI`. Does nothing by default.
  virtual void GetAllPathsForDynamicSchema(
      const UTF8String& namespaceURI,
      std::vector<std::shared_ptr<PropertyDefinition>>& outProperties);
  // Diagnostics for hosts; empty by default.
  virtual std::string DebugSerializedXMP() const;
  virtual std::string DebugDescription(bool verbose, int indent) const;

 protected:
  // The current metadata handle, or null; no reference is added.
  virtual __XMPMeta__* MetaDataAccess() const = 0;
  // Stores the metadata after the edits of `changes`. Must not throw.
  virtual void WriteChanges(const std::vector<Path>& changes) = 0;
  // The commit of an update access: records a "saved" history event naming the changed
  // parts in the metadata, then calls WriteChanges. Nothing happens for a null handle, an
  // empty change list, or while this provider is already writing.
  virtual void DoWriteChanges(const std::vector<Path>& changes);

 public:
  // Appends a listener; no check for null or duplicates (a listener added twice runs twice).
  void NotifyWhenMetaDataChanged(const MetaDataChangedListener& listener);
  // Removes the first registration of this very listener (by pointer); none: nothing.
  void RemoveMetaDataChangedNotification(const MetaDataChangedListener& listener);

  // Adds a dynamic schema to this provider (the first definition of a namespace wins) and
  // registers it library-wide when its namespace is not registered yet. A null schema is a
  // programming error: assertion "inSchema", nothing changes.
  void AddDynamicSchemaDefinition(std::shared_ptr<SchemaDefinition> inSchema);
  // This provider's dynamic schemas in the order added.
  SchemaRange DynamicSchemaDefinitions() const;
  // Whether a dynamic schema of this namespace (exact bytes) was added.
  bool DoesDynamicNamespaceExist(const UTF8String& namespaceURI) const;

 protected:
  // Tells every listener, in registration order, that the handle was replaced. Silent while
  // this provider writes changes. Works on a snapshot of the list, so listeners may add or
  // remove listeners (and drop providers); null and emptied entries are skipped. An exception
  // of a listener propagates and the remaining listeners are not called.
  void MetaDataChanged();

  // True only while DoWriteChanges runs WriteChanges.
  bool mWritingChanges;

 private:
  friend class MetaDataReadAccess;
  friend class MetaDataUpdateAccess;

  SchemaList mDynamicSchemaDefinitions;
  std::set<UTF8String> mDynamicNamespaces;
  std::list<MetaDataChangedListener> mChangeListeners;
};

}  // namespace veltmetadata
