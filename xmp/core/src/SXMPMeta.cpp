#include "xmp/SXMPMeta.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "XMPMetaObject.h"
#include "XMPNamespaces.h"
#include "XMPParser.h"
#include "XMPPath.h"
#include "XMPSerializer.h"
#include "XMPUnicode.h"
#include "veltcore/Strings.h"
#include "xmp/SXMPUtils.h"

using xmpcore::FindNode;
using xmpcore::Missing;
using xmpcore::XMPNode;

void intrusive_ptr_add_ref(__XMPMeta__* meta) {
  if (meta) meta->mRefCount.fetch_add(1, std::memory_order_relaxed);
}

void intrusive_ptr_release(__XMPMeta__* meta) {
  if (meta && meta->mRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete meta;
}

namespace {

__XMPMeta__* NewObject() {
  auto* meta = new __XMPMeta__;
  intrusive_ptr_add_ref(meta);
  return meta;
}

// Form bits a setter may pass, normalized: each array form implies the weaker ones.
XMP_OptionBits NormalizeForm(XMP_OptionBits options) {
  if (options & kXMP_PropArrayIsAltText) options |= kXMP_PropArrayIsAlternate;
  if (options & kXMP_PropArrayIsAlternate) options |= kXMP_PropArrayIsOrdered;
  if (options & kXMP_PropArrayIsOrdered) options |= kXMP_PropValueIsArray;
  if ((options & kXMP_PropValueIsStruct) && (options & kXMP_PropValueIsArray)) {
    throw XMP_Error(kXMPErr_BadOptions, "a property cannot be both a structure and an array");
  }
  if ((options & kXMP_PropValueIsURI) && (options & kXMP_PropCompositeMask)) {
    throw XMP_Error(kXMPErr_BadOptions, "a URI value cannot be a structure or an array");
  }
  return options & kXMP_PropSetterMask;
}

// Gives `node` the value and form requested by a setter.
void AssignValue(XMPNode& node, const std::string& value, XMP_OptionBits options) {
  if (!veltcore::string::IsValidUTF8(value)) {
    xmpcore::RequireUTF8(value, "value of '" + xmpcore::PathOfNode(node) + "'");
  }
  XMP_OptionBits form = NormalizeForm(options);
  bool composite = (form & kXMP_PropCompositeMask) != 0;
  if (composite && !value.empty()) {
    throw XMP_Error(kXMPErr_BadOptions, "a structure or array cannot have a value ('" +
                                            xmpcore::PathOfNode(node) + "')");
  }
  if (node.IsComposite() && !node.mChildren.empty()) {
    bool sameKind =
        composite && ((form & kXMP_PropValueIsStruct) == (node.mOptions & kXMP_PropValueIsStruct));
    if (!sameKind) {
      throw XMP_Error(kXMPErr_BadXPath, "'" + xmpcore::PathOfNode(node) +
                                            "' is a structure or array with content; it "
                                            "cannot be given a simple value or another form");
    }
    if (node.IsArray()) node.mOptions |= form;  // a bag may become a seq, a seq an alt
  } else {
    node.mOptions = (node.mOptions & ~(kXMP_PropSetterMask)) | form;
    node.mValue = value;
  }
  node.mOptions &= ~kXMP_PropHasMultipleValues;
}

std::atomic<int> sInitCount{0};
std::mutex sStateMutex;
XMP_AssertNotifyProc sAssertProc = nullptr;
void* sAssertContext = nullptr;
std::string sClientName;

}  // namespace

// ---- Life cycle ---------------------------------------------------------------------------

bool SXMPMeta::Initialize() {
  sInitCount.fetch_add(1);
  return true;
}

void SXMPMeta::Terminate() {
  int previous = sInitCount.load();
  while (previous > 0 && !sInitCount.compare_exchange_weak(previous, previous - 1)) {
  }
  if (previous == 1) {
    xmpcore::ResetNamespaces();
    std::lock_guard lock(sStateMutex);
    sAssertProc = nullptr;
    sAssertContext = nullptr;
  }
}

void SXMPMeta::GetVersionInfo(XMP_VersionInfo* info) {
  if (!info) return;
  info->major = VELT_VERSION_MAJOR;
  info->minor = VELT_VERSION_MINOR;
  info->micro = VELT_VERSION_PATCH;
  info->build = 1;
#ifdef NDEBUG
  info->isDebug = false;
#else
  info->isDebug = true;
#endif
  info->flags = 0;
  info->message = "veltmetadata XMP Core " VELT_VERSION;
}

void SXMPMeta::SetAssertNotify(XMP_AssertNotifyProc proc, void* context) {
  std::lock_guard lock(sStateMutex);
  sAssertProc = proc;
  sAssertContext = context;
}

void SXMPMeta::NotifyAssert(const char* message) {
  XMP_AssertNotifyProc proc;
  void* context;
  {
    std::lock_guard lock(sStateMutex);
    proc = sAssertProc;
    context = sAssertContext;
  }
  if (proc) proc(context, message ? message : "");
}

void SXMPMeta::SetClientName(const std::string& name) {
  std::lock_guard lock(sStateMutex);
  sClientName = name;
}

std::string SXMPMeta::GetClientName() {
  std::lock_guard lock(sStateMutex);
  return sClientName;
}

// ---- Namespaces ---------------------------------------------------------------------------

bool SXMPMeta::RegisterNamespace(const std::string& uri, const std::string& suggestedPrefix,
                                 std::string* registeredPrefix) {
  return xmpcore::RegisterNamespace(uri, suggestedPrefix, registeredPrefix);
}

bool SXMPMeta::GetNamespacePrefix(const std::string& uri, std::string* prefix) {
  return xmpcore::GetNamespacePrefix(uri, prefix);
}

bool SXMPMeta::GetNamespaceURI(const std::string& prefix, std::string* uri) {
  return xmpcore::GetNamespaceURI(prefix, uri);
}

void SXMPMeta::DeleteNamespace(const std::string& uri) {
  xmpcore::DeleteNamespace(uri);
}

// ---- Objects ------------------------------------------------------------------------------

SXMPMeta::SXMPMeta() : mHandle(NewObject()) {}

SXMPMeta::SXMPMeta(__XMPMeta__* handle) : mHandle(handle) {
  if (mHandle) {
    intrusive_ptr_add_ref(mHandle);
  } else {
    mHandle = NewObject();
  }
}

SXMPMeta::SXMPMeta(const char* buffer, XMP_StringLen length, XMP_OptionBits options)
    : mHandle(NewObject()) {
  try {
    ParseFromBuffer(buffer, length, options);
  } catch (...) {
    intrusive_ptr_release(mHandle);
    throw;
  }
}

SXMPMeta::SXMPMeta(const SXMPMeta& other) : mHandle(other.mHandle) {
  intrusive_ptr_add_ref(mHandle);
}

SXMPMeta& SXMPMeta::operator=(const SXMPMeta& other) {
  if (mHandle != other.mHandle) {
    intrusive_ptr_add_ref(other.mHandle);
    intrusive_ptr_release(mHandle);
    mHandle = other.mHandle;
  }
  return *this;
}

// A moved-from object gets a fresh empty object, so that it stays usable.
SXMPMeta::SXMPMeta(SXMPMeta&& other) noexcept : mHandle(other.mHandle) {
  other.mHandle = nullptr;
  try {
    other.mHandle = NewObject();
  } catch (...) {
  }
}

SXMPMeta& SXMPMeta::operator=(SXMPMeta&& other) noexcept {
  if (this != &other) std::swap(mHandle, other.mHandle);
  return *this;
}

SXMPMeta::~SXMPMeta() {
  intrusive_ptr_release(mHandle);
}

SXMPMeta SXMPMeta::Clone() const {
  SXMPMeta copy;
  XMPNode& tree = xmpcore::Tree(copy);
  tree.mName = mHandle->mTree.mName;
  tree.CopyContentsFrom(mHandle->mTree);
  return copy;
}

void SXMPMeta::Erase() {
  mHandle->mTree.ClearChildren();
  mHandle->mTree.mName.clear();
}

std::string SXMPMeta::GetObjectName() const {
  return mHandle->mTree.mName;
}

void SXMPMeta::SetObjectName(const std::string& name) {
  xmpcore::RequireUTF8(name, "object name");
  mHandle->mTree.mName = name;
}

// ---- Parsing and serialization ------------------------------------------------------------

void SXMPMeta::ParseFromBuffer(const char* buffer, XMP_StringLen length, XMP_OptionBits options) {
  if (!buffer && length != 0) throw XMP_Error(kXMPErr_BadParam, "null packet buffer");
  ParseFromBuffer(std::string_view(buffer ? buffer : "", length), options);
}

namespace {

// Replaces the tree of `meta` by `fresh`, a tree just parsed.
void TakeParsedTree(SXMPMeta& meta, XMPNode& fresh) {
  XMPNode& tree = xmpcore::Tree(meta);
  tree.mName = std::move(fresh.mName);
  tree.ClearChildren();
  tree.AdoptChildrenOf(fresh);
}

}  // namespace

void SXMPMeta::ParseFromBuffer(std::string_view packet, XMP_OptionBits options) {
  XMPNode fresh;
  xmpcore::ParsePacket(packet, options, fresh);
  TakeParsedTree(*this, fresh);
}

void xmpcore::ParseDecodedPacket(SXMPMeta& meta, std::string_view packet) {
  XMPNode fresh;
  xmpcore::ParseUtf8Packet(packet, 0, fresh);
  TakeParsedTree(meta, fresh);
}

void SXMPMeta::SerializeToBuffer(std::string* out, XMP_OptionBits options, XMP_StringLen padding,
                                 const std::string& newline, const std::string& indent,
                                 XMP_Index baseIndent) const {
  if (!out) throw XMP_Error(kXMPErr_BadParam, "null output string");
  xmpcore::SerializeOptions so{options, padding, newline, indent, baseIndent};
  try {
    xmpcore::SerializePacket(mHandle->mTree, so, *out);
  } catch (...) {
    out->clear();  // never hand back a partial packet
    throw;
  }
}

// ---- Properties ---------------------------------------------------------------------------

bool SXMPMeta::GetProperty(const std::string& ns, const std::string& path, std::string* value,
                           XMP_OptionBits* options) const {
  const XMPNode* node = FindNode(mHandle->mTree, ns, path, Missing::kNull);
  if (!node) return false;
  if (value) *value = node->mValue;
  if (options) *options = node->mOptions;
  return true;
}

void SXMPMeta::SetProperty(const std::string& ns, const std::string& path, const std::string& value,
                           XMP_OptionBits options) {
  // Reject bad options and text before anything is created.
  NormalizeForm(options);
  if (!veltcore::string::IsValidUTF8(value)) xmpcore::RequireUTF8(value, "value of '" + path + "'");
  XMPNode* node = FindNode(mHandle->mTree, ns, path, Missing::kCreate, options);
  AssignValue(*node, value, options);
}

void SXMPMeta::DeleteProperty(const std::string& ns, const std::string& path) {
  if (XMPNode* node = FindNode(mHandle->mTree, ns, path, Missing::kNull)) xmpcore::DeleteNode(node);
}

bool SXMPMeta::DoesPropertyExist(const std::string& ns, const std::string& path) const {
  return FindNode(mHandle->mTree, ns, path, Missing::kNull) != nullptr;
}

namespace {

// Reads a simple value for the typed getters.
const XMPNode* SimpleNode(const XMPNode& root, const std::string& ns, const std::string& path) {
  const XMPNode* node = FindNode(const_cast<XMPNode&>(root), ns, path, Missing::kNull);
  if (node && node->IsComposite()) {
    throw XMP_Error(kXMPErr_BadValue, "'" + path + "' is a structure or array, not a value");
  }
  return node;
}

template <typename T, typename Convert>
bool GetTyped(const XMPNode& root, const std::string& ns, const std::string& path, T* value,
              XMP_OptionBits* options, Convert convert) {
  const XMPNode* node = SimpleNode(root, ns, path);
  if (!node) return false;
  T converted = convert(node->mValue);
  if (value) *value = converted;
  if (options) *options = node->mOptions;
  return true;
}

}  // namespace

bool SXMPMeta::GetProperty_Bool(const std::string& ns, const std::string& path, bool* value,
                                XMP_OptionBits* options) const {
  return GetTyped(mHandle->mTree, ns, path, value, options, &SXMPUtils::ConvertToBool);
}

bool SXMPMeta::GetProperty_Int(const std::string& ns, const std::string& path, XMP_Int32* value,
                               XMP_OptionBits* options) const {
  return GetTyped(mHandle->mTree, ns, path, value, options, &SXMPUtils::ConvertToInt);
}

bool SXMPMeta::GetProperty_Int64(const std::string& ns, const std::string& path, XMP_Int64* value,
                                 XMP_OptionBits* options) const {
  return GetTyped(mHandle->mTree, ns, path, value, options, &SXMPUtils::ConvertToInt64);
}

bool SXMPMeta::GetProperty_Float(const std::string& ns, const std::string& path, double* value,
                                 XMP_OptionBits* options) const {
  return GetTyped(mHandle->mTree, ns, path, value, options, &SXMPUtils::ConvertToFloat);
}

bool SXMPMeta::GetProperty_Date(const std::string& ns, const std::string& path, XMP_DateTime* value,
                                XMP_OptionBits* options) const {
  return GetTyped(mHandle->mTree, ns, path, value, options, &SXMPUtils::ConvertToDate);
}

void SXMPMeta::SetProperty_Bool(const std::string& ns, const std::string& path, bool value,
                                XMP_OptionBits options) {
  SetProperty(ns, path, SXMPUtils::ConvertFromBool(value), options);
}

void SXMPMeta::SetProperty_Int(const std::string& ns, const std::string& path, XMP_Int32 value,
                               XMP_OptionBits options) {
  SetProperty(ns, path, SXMPUtils::ConvertFromInt(value), options);
}

void SXMPMeta::SetProperty_Int64(const std::string& ns, const std::string& path, XMP_Int64 value,
                                 XMP_OptionBits options) {
  SetProperty(ns, path, SXMPUtils::ConvertFromInt64(value), options);
}

void SXMPMeta::SetProperty_Float(const std::string& ns, const std::string& path, double value,
                                 XMP_OptionBits options) {
  SetProperty(ns, path, SXMPUtils::ConvertFromFloat(value), options);
}

void SXMPMeta::SetProperty_Date(const std::string& ns, const std::string& path,
                                const XMP_DateTime& value, XMP_OptionBits options) {
  SetProperty(ns, path, SXMPUtils::ConvertFromDate(value), options);
}

// ---- Arrays -------------------------------------------------------------------------------

bool SXMPMeta::GetArrayItem(const std::string& ns, const std::string& arrayPath, XMP_Index index,
                            std::string* value, XMP_OptionBits* options) const {
  return GetProperty(ns, xmpcore::ComposeArrayItemPath(ns, arrayPath, index), value, options);
}

void SXMPMeta::SetArrayItem(const std::string& ns, const std::string& arrayPath, XMP_Index index,
                            const std::string& value, XMP_OptionBits options) {
  XMPNode* array = FindNode(mHandle->mTree, ns, arrayPath, Missing::kNull);
  if (!array) {
    throw XMP_Error(kXMPErr_BadXPath, "array '" + arrayPath + "' does not exist");
  }
  if (!array->IsArray()) throw XMP_Error(kXMPErr_BadXPath, "'" + arrayPath + "' is not an array");
  xmpcore::RequireRoomForChild(*array);
  if ((options & kXMP_InsertBeforeItem) && (options & kXMP_InsertAfterItem)) {
    throw XMP_Error(kXMPErr_BadOptions, "insert before and after at once");
  }
  XMP_Index count = static_cast<XMP_Index>(array->mChildren.size());
  XMP_Index position = (index == kXMP_ArrayLastItem) ? std::max(count, 1) : index;
  if (position < 1 || position > count + 1) {
    throw XMP_Error(kXMPErr_BadIndex, "array index " + std::to_string(index) +
                                          " is out of range for '" + arrayPath + "' (" +
                                          std::to_string(count) + " items)");
  }
  XMP_OptionBits itemOptions = options & kXMP_PropSetterMask;
  NormalizeForm(itemOptions);
  XMPNode* item;
  if (options & kXMP_InsertBeforeItem) {
    item = array->InsertChild(static_cast<size_t>(position - 1), kXMP_ArrayItemName);
  } else if ((options & kXMP_InsertAfterItem) || position == count + 1) {
    item = array->InsertChild(static_cast<size_t>(std::min(position, count)), kXMP_ArrayItemName);
  } else {
    item = array->mChildren[static_cast<size_t>(position - 1)].get();
  }
  try {
    AssignValue(*item, value, itemOptions);
  } catch (...) {
    if (position == count + 1 || (options & (kXMP_InsertBeforeItem | kXMP_InsertAfterItem))) {
      array->RemoveChild(item);
    }
    throw;
  }
  array->mOptions &= ~kXMP_PropHasMultipleValues;
}

void SXMPMeta::AppendArrayItem(const std::string& ns, const std::string& arrayPath,
                               XMP_OptionBits arrayOptions, const std::string& value,
                               XMP_OptionBits itemOptions) {
  XMP_OptionBits arrayForm = NormalizeForm(arrayOptions & kXMP_PropSetterMask);
  XMP_OptionBits itemForm = NormalizeForm(itemOptions);
  if (!veltcore::string::IsValidUTF8(value))
    xmpcore::RequireUTF8(value, "item of '" + arrayPath + "'");
  if ((itemForm & kXMP_PropCompositeMask) && !value.empty()) {
    throw XMP_Error(kXMPErr_BadOptions, "a structure or array item cannot have a value");
  }
  XMPNode* array = FindNode(mHandle->mTree, ns, arrayPath, Missing::kNull);
  if (array) {
    xmpcore::RequireRoomForChild(*array);
  } else {
    xmpcore::RequireDepth(xmpcore::ExpandXPath(ns, arrayPath).size());  // the new item
  }
  if (!array) {
    if (!(arrayForm & kXMP_PropValueIsArray)) {
      throw XMP_Error(kXMPErr_BadOptions,
                      "array options for new array '" + arrayPath + "' name no array form");
    }
    array = FindNode(mHandle->mTree, ns, arrayPath, Missing::kCreate, arrayForm);
  }
  if (!array->IsArray()) {
    if (array->IsComposite() || !array->mValue.empty() || !array->mChildren.empty()) {
      throw XMP_Error(kXMPErr_BadXPath, "'" + arrayPath + "' exists and is not an array");
    }
    array->mOptions |= arrayForm ? arrayForm : kXMP_PropValueIsArray;
  }
  array->AddChild(kXMP_ArrayItemName, value, itemForm);
  array->mOptions &= ~kXMP_PropHasMultipleValues;
}

void SXMPMeta::DeleteArrayItem(const std::string& ns, const std::string& arrayPath,
                               XMP_Index index) {
  DeleteProperty(ns, xmpcore::ComposeArrayItemPath(ns, arrayPath, index));
}

bool SXMPMeta::DoesArrayItemExist(const std::string& ns, const std::string& arrayPath,
                                  XMP_Index index) const {
  return DoesPropertyExist(ns, xmpcore::ComposeArrayItemPath(ns, arrayPath, index));
}

XMP_Index SXMPMeta::CountArrayItems(const std::string& ns, const std::string& arrayPath) const {
  const XMPNode* array = FindNode(mHandle->mTree, ns, arrayPath, Missing::kNull);
  if (!array) return 0;
  if (!array->IsArray()) throw XMP_Error(kXMPErr_BadXPath, "'" + arrayPath + "' is not an array");
  return static_cast<XMP_Index>(array->mChildren.size());
}

// ---- Structure fields and qualifiers ------------------------------------------------------

bool SXMPMeta::GetStructField(const std::string& ns, const std::string& structPath,
                              const std::string& fieldNS, const std::string& fieldName,
                              std::string* value, XMP_OptionBits* options) const {
  return GetProperty(ns, xmpcore::ComposeStructFieldPath(ns, structPath, fieldNS, fieldName), value,
                     options);
}

void SXMPMeta::SetStructField(const std::string& ns, const std::string& structPath,
                              const std::string& fieldNS, const std::string& fieldName,
                              const std::string& value, XMP_OptionBits options) {
  SetProperty(ns, xmpcore::ComposeStructFieldPath(ns, structPath, fieldNS, fieldName), value,
              options);
}

void SXMPMeta::DeleteStructField(const std::string& ns, const std::string& structPath,
                                 const std::string& fieldNS, const std::string& fieldName) {
  DeleteProperty(ns, xmpcore::ComposeStructFieldPath(ns, structPath, fieldNS, fieldName));
}

bool SXMPMeta::DoesStructFieldExist(const std::string& ns, const std::string& structPath,
                                    const std::string& fieldNS,
                                    const std::string& fieldName) const {
  return DoesPropertyExist(ns, xmpcore::ComposeStructFieldPath(ns, structPath, fieldNS, fieldName));
}

bool SXMPMeta::GetQualifier(const std::string& ns, const std::string& propPath,
                            const std::string& qualNS, const std::string& qualName,
                            std::string* value, XMP_OptionBits* options) const {
  return GetProperty(ns, xmpcore::ComposeQualifierPath(ns, propPath, qualNS, qualName), value,
                     options);
}

void SXMPMeta::SetQualifier(const std::string& ns, const std::string& propPath,
                            const std::string& qualNS, const std::string& qualName,
                            const std::string& value, XMP_OptionBits options) {
  std::string path = xmpcore::ComposeQualifierPath(ns, propPath, qualNS, qualName);
  if (!DoesPropertyExist(ns, propPath)) {
    throw XMP_Error(kXMPErr_BadXPath, "cannot qualify '" + propPath + "': it does not exist");
  }
  if (options & kXMP_PropCompositeMask) {
    throw XMP_Error(kXMPErr_BadOptions, "qualifiers are simple values");
  }
  SetProperty(ns, path, value, options);
}

void SXMPMeta::DeleteQualifier(const std::string& ns, const std::string& propPath,
                               const std::string& qualNS, const std::string& qualName) {
  DeleteProperty(ns, xmpcore::ComposeQualifierPath(ns, propPath, qualNS, qualName));
}

bool SXMPMeta::DoesQualifierExist(const std::string& ns, const std::string& propPath,
                                  const std::string& qualNS, const std::string& qualName) const {
  return DoesPropertyExist(ns, xmpcore::ComposeQualifierPath(ns, propPath, qualNS, qualName));
}

// ---- Multiple values ----------------------------------------------------------------------

bool SXMPMeta::HasMultipleValues(const std::string& ns, const std::string& path) const {
  const xmpcore::XMPExpandedPath steps = xmpcore::ExpandXPath(ns, path);
  // A mark covers the node and everything below it: walk down from the top-level property
  // and answer true at the first marked node on the way.
  for (std::size_t length = 2; length <= steps.size(); ++length) {
    const xmpcore::XMPExpandedPath prefix(steps.begin(),
                                          steps.begin() + static_cast<std::ptrdiff_t>(length));
    const XMPNode* node = FindNode(mHandle->mTree, prefix, Missing::kNull);
    if (node == nullptr) return false;
    if (node->HasMultipleValues()) return true;
  }
  return false;
}

void SXMPMeta::ClearMultipleValues(const std::string& ns, const std::string& path) {
  if (XMPNode* node = FindNode(mHandle->mTree, ns, path, Missing::kNull)) {
    node->mOptions &= ~kXMP_PropHasMultipleValues;
  }
}
