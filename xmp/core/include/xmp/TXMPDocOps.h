#pragma once

// TXMPDocOps: keeps the document history of an XMP object. Bound to an object, it collects
// the parts of the document that changed (NoteChange) and, before the object is saved,
// records them (PrepareForSave): an xmpMM:History event "saved", a new xmpMM:InstanceID,
// xmpMM:DocumentID and xmpMM:OriginalDocumentID when missing, and xmp:MetadataDate.

#include <memory>
#include <string>
#include <vector>

#include "veltcore/Export.h"
#include "xmp/XMP_Const.h"

class SXMPMeta;

class VELT_EXPORT TXMPDocOps {
 public:
  // Not bound: NoteChange collects, PrepareForSave raises kXMPErr_BadObject.
  TXMPDocOps();
  // Binds to `meta` at once (as OpenXMP with an empty MIME type).
  explicit TXMPDocOps(SXMPMeta* meta);
  ~TXMPDocOps();
  TXMPDocOps(TXMPDocOps&&) noexcept;
  TXMPDocOps& operator=(TXMPDocOps&&) noexcept;
  TXMPDocOps(const TXMPDocOps&) = delete;
  TXMPDocOps& operator=(const TXMPDocOps&) = delete;

  // Binds to the object of an opened document (the object is shared, not copied) and forgets
  // the changes noted so far. `mimeType` (may be empty) becomes the default format of the
  // saves; `filePath` and `fileModTime` (may be null) describe the file; they are
  // accepted for callers that have them and not recorded. A null `meta` raises kXMPErr_BadParam;
  // options must be 0 (kXMPErr_BadOptions).
  void OpenXMP(SXMPMeta* meta, const std::string& mimeType, const std::string* filePath = nullptr,
               const XMP_DateTime* fileModTime = nullptr, XMP_OptionBits options = 0);

  // Notes that a part of the document changed, e.g. "/metadata", "/content",
  // "/metadata/dc/dc:title". "/" stands for the whole document. Repeated parts are noted
  // once; an empty part raises kXMPErr_BadParam.
  void NoteChange(const std::string& part);
  // The parts noted since binding or since the last PrepareForSave, in the order noted.
  const std::vector<std::string>& ChangedParts() const;
  // True when a change was noted.
  bool IsDirty() const;

  // When changes were noted: appends to xmpMM:History (an ordered array, created when
  // missing) an event with stEvt:action "saved", stEvt:instanceID (the new instance id),
  // stEvt:when, stEvt:softwareAgent (the client name of SXMPMeta::SetClientName; omitted
  // when empty) and stEvt:changed (the parts joined by ";", "/" when the whole document
  // changed); sets xmpMM:InstanceID to that new id ("xmp.iid:" and a random UUID); sets
  // xmpMM:DocumentID ("xmp.did:" and a UUID) and xmpMM:OriginalDocumentID (the document id)
  // when they are missing; sets xmp:MetadataDate; sets dc:format when a MIME type is given
  // (here or to OpenXMP). The time is `saveTime`, else now (local time with zone). The
  // noted changes are then forgotten. Returns false (and changes nothing) when
  // no change was noted. Unbound raises kXMPErr_BadObject; options must be 0; an existing
  // xmpMM:History that is not an array raises kXMPErr_BadXMP and the object is unchanged.
  bool PrepareForSave(const std::string& mimeType, const std::string* filePath = nullptr,
                      const XMP_DateTime* saveTime = nullptr, XMP_OptionBits options = 0);

  // A fresh identifier: `prefix` followed by a random (version 4) UUID in lower-case hex with
  // dashes ("xmp.iid:0f8e...").
  static std::string NewID(const std::string& prefix);

 private:
  struct Impl;
  std::unique_ptr<Impl> mImpl;
};
