// TXMPDocOps: change notes and the history bookkeeping done before an object is saved.

#include "xmp/TXMPDocOps.h"

#include <algorithm>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <optional>

#include "xmp/SXMPMeta.h"
#include "xmp/SXMPUtils.h"

namespace {

// The registered prefix (with ':') of a standard namespace.
std::string Prefix(const char* ns) {
  std::string prefix;
  if (!SXMPMeta::GetNamespacePrefix(ns, &prefix)) {
    throw XMP_Error(kXMPErr_BadSchema, std::string("namespace '") + ns + "' is not registered");
  }
  return prefix;
}

std::string JoinParts(const std::vector<std::string>& parts) {
  if (std::find(parts.begin(), parts.end(), "/") != parts.end()) return "/";
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined += ';';
    joined += part;
  }
  return joined;
}

}  // namespace

struct TXMPDocOps::Impl {
  std::optional<SXMPMeta> mMeta;
  std::string mMimeType;
  std::vector<std::string> mChanged;
};

TXMPDocOps::TXMPDocOps() : mImpl(std::make_unique<Impl>()) {}

TXMPDocOps::TXMPDocOps(SXMPMeta* meta) : TXMPDocOps() {
  OpenXMP(meta, "");
}

TXMPDocOps::~TXMPDocOps() = default;
TXMPDocOps::TXMPDocOps(TXMPDocOps&&) noexcept = default;
TXMPDocOps& TXMPDocOps::operator=(TXMPDocOps&&) noexcept = default;

void TXMPDocOps::OpenXMP(SXMPMeta* meta, const std::string& mimeType,
                         [[maybe_unused]] const std::string* filePath,
                         [[maybe_unused]] const XMP_DateTime* fileModTime, XMP_OptionBits options) {
  if (meta == nullptr) throw XMP_Error(kXMPErr_BadParam, "TXMPDocOps is bound to a null object");
  if (options != 0) throw XMP_Error(kXMPErr_BadOptions, "OpenXMP takes no options");
  if (!mImpl) mImpl = std::make_unique<Impl>();  // moved from: usable again once bound
  mImpl->mMeta.emplace(*meta);                   // shares the object
  mImpl->mMimeType = mimeType;
  mImpl->mChanged.clear();
}

void TXMPDocOps::NoteChange(const std::string& part) {
  if (part.empty()) throw XMP_Error(kXMPErr_BadParam, "an empty document part was noted");
  if (!mImpl) mImpl = std::make_unique<Impl>();
  auto& changed = mImpl->mChanged;
  if (std::find(changed.begin(), changed.end(), part) == changed.end()) changed.push_back(part);
}

const std::vector<std::string>& TXMPDocOps::ChangedParts() const {
  static const std::vector<std::string> kNone;
  return mImpl ? mImpl->mChanged : kNone;
}

bool TXMPDocOps::IsDirty() const {
  return mImpl && !mImpl->mChanged.empty();
}

std::string TXMPDocOps::NewID(const std::string& prefix) {
  boost::uuids::random_generator generate;
  return prefix + boost::uuids::to_string(generate());
}

bool TXMPDocOps::PrepareForSave(const std::string& mimeType,
                                [[maybe_unused]] const std::string* filePath,
                                const XMP_DateTime* saveTime, XMP_OptionBits options) {
  if (!mImpl || !mImpl->mMeta) {
    throw XMP_Error(kXMPErr_BadObject, "TXMPDocOps is not bound to an object");
  }
  if (options != 0) throw XMP_Error(kXMPErr_BadOptions, "PrepareForSave takes no options");
  if (mImpl->mChanged.empty()) return false;
  SXMPMeta& meta = *mImpl->mMeta;
  const std::string mm = Prefix(kXMP_NS_XMP_MM);
  const std::string when =
      SXMPUtils::ConvertFromDate(saveTime ? *saveTime : SXMPUtils::CurrentDateTime());
  const std::string instanceID = NewID("xmp.iid:");

  // Checked before the object changes, so that a failure leaves it as it was. A History
  // written as another array form by other software still takes the event in its own form;
  // a History that is no array at all is reported rather than overwritten.
  XMP_OptionBits historyForm = kXMP_PropValueIsArray | kXMP_PropArrayIsOrdered;
  XMP_OptionBits existing = 0;
  if (meta.GetProperty(kXMP_NS_XMP_MM, mm + "History", nullptr, &existing)) {
    if (!(existing & kXMP_PropValueIsArray)) {
      throw XMP_Error(kXMPErr_BadXMP, "xmpMM:History is not an array; no history event added");
    }
    historyForm = existing & kXMP_PropArrayFormMask;
  }
  meta.AppendArrayItem(kXMP_NS_XMP_MM, mm + "History", historyForm, "", kXMP_PropValueIsStruct);
  const std::string event =
      SXMPUtils::ComposeArrayItemPath(kXMP_NS_XMP_MM, mm + "History", kXMP_ArrayLastItem);
  auto field = [&](const char* name, const std::string& value) {
    meta.SetStructField(kXMP_NS_XMP_MM, event, kXMP_NS_XMP_ResourceEvent, name, value);
  };
  field("action", "saved");
  field("instanceID", instanceID);
  field("when", when);
  const std::string agent = SXMPMeta::GetClientName();
  if (!agent.empty()) field("softwareAgent", agent);
  field("changed", JoinParts(mImpl->mChanged));

  meta.SetProperty(kXMP_NS_XMP_MM, mm + "InstanceID", instanceID);
  std::string documentID;
  if (!meta.GetProperty(kXMP_NS_XMP_MM, mm + "DocumentID", &documentID) || documentID.empty()) {
    documentID = NewID("xmp.did:");
    meta.SetProperty(kXMP_NS_XMP_MM, mm + "DocumentID", documentID);
  }
  std::string original;
  if (!meta.GetProperty(kXMP_NS_XMP_MM, mm + "OriginalDocumentID", &original) || original.empty()) {
    meta.SetProperty(kXMP_NS_XMP_MM, mm + "OriginalDocumentID", documentID);
  }
  meta.SetProperty(kXMP_NS_XMP, Prefix(kXMP_NS_XMP) + "MetadataDate", when);
  const std::string& format = mimeType.empty() ? mImpl->mMimeType : mimeType;
  if (!format.empty()) meta.SetProperty(kXMP_NS_DC, Prefix(kXMP_NS_DC) + "format", format);
  mImpl->mChanged.clear();
  return true;
}
