// SXMPMeta's localized text: alt-text arrays of items qualified by xml:lang, with the
// "x-default" item kept first and in step with the language it was derived from.

#include "XMPMetaObject.h"
#include "XMPPath.h"
#include "XMPUnicode.h"
#include "veltcore/Strings.h"
#include "xmp/SXMPMeta.h"

using veltcore::string::EqualsIgnoreAsciiCase;
using veltcore::string::ToLowerAscii;
using xmpcore::Missing;
using xmpcore::XMPNode;

namespace {

constexpr XMP_OptionBits kAltTextForm = kXMP_PropValueIsArray | kXMP_PropArrayIsOrdered |
                                        kXMP_PropArrayIsAlternate | kXMP_PropArrayIsAltText;
constexpr std::string_view kDefaultLang = "x-default";

XMPNode* ItemOf(const XMPNode& array, std::string_view lang) {
  for (const auto& item : array.mChildren) {
    if (EqualsIgnoreAsciiCase(item->Language(), lang)) return item.get();
  }
  return nullptr;
}

// Checks that `node` can be used as an alt-text array and marks it so. An array whose items
// all carry xml:lang (e.g. written by software that forgot rdf:Alt) is accepted.
void RequireAltText(XMPNode& node, const std::string& path) {
  if (node.IsAltText()) return;
  bool usable = false;
  if (node.IsArray()) {
    usable = true;
    for (const auto& item : node.mChildren) {
      if (item->Language().empty() || item->IsComposite()) usable = false;
    }
  } else if (!node.IsComposite() && node.mValue.empty() && node.mChildren.empty()) {
    usable = true;
  }
  if (!usable) {
    throw XMP_Error(kXMPErr_BadXPath, "'" + path + "' is not an alt-text array");
  }
  node.mOptions |= kAltTextForm;
}

void MoveDefaultFirst(XMPNode& array) {
  for (size_t i = 1; i < array.mChildren.size(); ++i) {
    if (EqualsIgnoreAsciiCase(array.mChildren[i]->Language(), kDefaultLang)) {
      auto item = std::move(array.mChildren[i]);
      array.mChildren.erase(array.mChildren.begin() + static_cast<long>(i));
      array.mChildren.insert(array.mChildren.begin(), std::move(item));
      return;
    }
  }
}

XMPNode* AddLangItem(XMPNode& array, std::string_view lang, const std::string& value) {
  bool isDefault = EqualsIgnoreAsciiCase(lang, kDefaultLang);
  XMPNode* item =
      array.InsertChild(isDefault ? 0 : array.mChildren.size(), kXMP_ArrayItemName, value);
  item->AddQualifier("xml:lang", isDefault ? std::string(kDefaultLang) : std::string(lang));
  return item;
}

}  // namespace

bool SXMPMeta::GetLocalizedText(const std::string& ns, const std::string& altTextPath,
                                const std::string& genericLang, const std::string& specificLang,
                                std::string* actualLang, std::string* value,
                                XMP_OptionBits* options) const {
  if (specificLang.empty()) throw XMP_Error(kXMPErr_BadParam, "empty specific language");
  const XMPNode* node = xmpcore::FindNode(mHandle->mTree, ns, altTextPath, Missing::kNull);
  if (!node) return false;
  const XMPNode* chosen = nullptr;
  if (!node->IsComposite()) {
    // A plain text where an alt-text array belongs: read it as the default language.
    chosen = node;
  } else {
    if (!node->IsArray()) {
      throw XMP_Error(kXMPErr_BadXPath, "'" + altTextPath + "' is not an alt-text array");
    }
    if (node->mChildren.empty()) return false;
    chosen = ItemOf(*node, specificLang);
    if (!chosen && !genericLang.empty()) {
      for (const auto& item : node->mChildren) {
        std::string lang = ToLowerAscii(item->Language());
        std::string generic = ToLowerAscii(genericLang);
        if (lang == generic || lang.compare(0, generic.size() + 1, generic + "-") == 0) {
          chosen = item.get();
          break;
        }
      }
    }
    if (!chosen) chosen = ItemOf(*node, kDefaultLang);
    if (!chosen) chosen = node->mChildren.front().get();
    if (chosen->IsComposite()) {
      throw XMP_Error(kXMPErr_BadXPath, "item of '" + altTextPath + "' is not a text");
    }
  }
  if (actualLang) {
    std::string_view lang = chosen->Language();
    *actualLang = lang.empty() ? std::string(kDefaultLang) : std::string(lang);
  }
  if (value) *value = chosen->mValue;
  if (options) *options = chosen->mOptions;
  return true;
}

void SXMPMeta::SetLocalizedText(const std::string& ns, const std::string& altTextPath,
                                const std::string& genericLang, const std::string& specificLang,
                                const std::string& value, XMP_OptionBits options) {
  if (specificLang.empty()) throw XMP_Error(kXMPErr_BadParam, "empty specific language");
  if (options & kXMP_PropCompositeMask) {
    throw XMP_Error(kXMPErr_BadOptions, "localized texts are simple values");
  }
  xmpcore::RequireUTF8(value, "localized text of '" + altTextPath + "'");
  xmpcore::RequireUTF8(specificLang, "language");
  XMPNode* array = xmpcore::FindNode(mHandle->mTree, ns, altTextPath, Missing::kNull);
  if (array) {
    xmpcore::RequireRoomForChild(*array);
  } else {
    xmpcore::RequireDepth(xmpcore::ExpandXPath(ns, altTextPath).size());  // the new item
  }
  if (array && !array->IsComposite() && !array->mValue.empty()) {
    // A plain text where an alt-text array belongs: it becomes the default item.
    std::string old = std::move(array->mValue);
    array->mValue.clear();
    array->mOptions = (array->mOptions & ~kXMP_PropValueIsURI) | kAltTextForm;
    AddLangItem(*array, kDefaultLang, old);
  }
  if (!array)
    array = xmpcore::FindNode(mHandle->mTree, ns, altTextPath, Missing::kCreate, kAltTextForm);
  RequireAltText(*array, altTextPath);
  array->mOptions &= ~kXMP_PropHasMultipleValues;
  MoveDefaultFirst(*array);

  XMPNode* defaultItem = ItemOf(*array, kDefaultLang);
  if (EqualsIgnoreAsciiCase(specificLang, kDefaultLang)) {
    if (!defaultItem) {
      AddLangItem(*array, kDefaultLang, value);
      return;
    }
    // With exactly one other language that held the same text, that language follows.
    if (array->mChildren.size() == 2) {
      XMPNode* other = array->mChildren[1].get();
      if (other->mValue == defaultItem->mValue) other->mValue = value;
    }
    defaultItem->mValue = value;
    return;
  }
  XMPNode* item = ItemOf(*array, specificLang);
  if (item) {
    if (defaultItem && defaultItem != item && defaultItem->mValue == item->mValue) {
      defaultItem->mValue = value;
    }
    item->mValue = value;
  } else {
    AddLangItem(*array, specificLang, value);
  }
  if (!defaultItem) AddLangItem(*array, kDefaultLang, value);
  (void)genericLang;
}

void SXMPMeta::DeleteLocalizedText(const std::string& ns, const std::string& altTextPath,
                                   const std::string& genericLang,
                                   const std::string& specificLang) {
  (void)genericLang;
  if (specificLang.empty()) throw XMP_Error(kXMPErr_BadParam, "empty specific language");
  XMPNode* array = xmpcore::FindNode(mHandle->mTree, ns, altTextPath, Missing::kNull);
  if (!array || !array->IsArray()) return;
  XMPNode* item = ItemOf(*array, specificLang);
  if (!item) return;
  if (EqualsIgnoreAsciiCase(specificLang, kDefaultLang)) {
    for (const auto& other : array->mChildren) {
      if (other.get() != item && other->mValue == item->mValue) {
        array->RemoveChild(other.get());
        break;
      }
    }
  }
  array->RemoveChild(item);
  if (array->mChildren.empty()) xmpcore::DeleteNode(array);
}
