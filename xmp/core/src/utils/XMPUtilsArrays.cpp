// SXMPUtils: arrays as one text (joining and splitting items with quoting).

#include "xmp/SXMPUtils.h"

#include "ArrayText.h"
#include "XMPMetaObject.h"
#include "XMPPath.h"

namespace {

xmpcore::utils::QuotePair CheckedQuotes(const std::string& separator, const std::string& quotes) {
  if (separator.empty()) throw XMP_Error(kXMPErr_BadParam, "the array item separator is empty");
  xmpcore::utils::QuotePair pair;
  if (!xmpcore::utils::ParseQuotes(quotes, pair)) {
    throw XMP_Error(kXMPErr_BadParam,
                    "quotes \"" + quotes + "\" are not one or two UTF-8 characters");
  }
  std::string_view core = xmpcore::utils::SeparatorCore(separator);
  if (core.find(pair.mOpen) != std::string_view::npos ||
      core.find(pair.mClose) != std::string_view::npos) {
    throw XMP_Error(kXMPErr_BadParam, "the separator \"" + separator + "\" contains a quote");
  }
  return pair;
}

// The array form requested by `options`, or 0 when it names none.
XMP_OptionBits RequestedForm(XMP_OptionBits options, const std::string& arrayName) {
  if (options & kXMP_PropArrayIsAltText) {
    throw XMP_Error(kXMPErr_BadOptions,
                    "cannot split a text into the alt-text array '" + arrayName + "'");
  }
  XMP_OptionBits form =
      options & (kXMP_PropValueIsArray | kXMP_PropArrayIsOrdered | kXMP_PropArrayIsAlternate);
  return form == 0 ? 0 : form | kXMP_PropValueIsArray;
}

}  // namespace

std::string SXMPUtils::CatenateItems(const std::vector<std::string>& items,
                                     const std::string& separator, const std::string& quotes) {
  return xmpcore::utils::JoinItems(items, separator, CheckedQuotes(separator, quotes));
}

std::vector<std::string> SXMPUtils::SeparateItems(const std::string& text,
                                                  const std::string& separator,
                                                  const std::string& quotes) {
  return xmpcore::utils::SplitItems(text, separator, CheckedQuotes(separator, quotes));
}

void SXMPUtils::CatenateArrayItems(const SXMPMeta& meta, const std::string& schemaNS,
                                   const std::string& arrayName, const std::string& separator,
                                   const std::string& quotes,
                                   [[maybe_unused]] XMP_OptionBits options, std::string* result) {
  if (result == nullptr) throw XMP_Error(kXMPErr_BadParam, "null result for CatenateArrayItems");
  xmpcore::utils::QuotePair pair = CheckedQuotes(separator, quotes);
  const xmpcore::XMPNode* array =
      xmpcore::FindNode(xmpcore::Tree(meta), schemaNS, arrayName, xmpcore::Missing::kNull);
  if (array == nullptr) {
    result->clear();
    return;
  }
  if (!array->IsArray()) {
    throw XMP_Error(kXMPErr_BadXPath, "'" + arrayName + "' is not an array");
  }
  std::vector<std::string> items;
  items.reserve(array->mChildren.size());
  for (const auto& item : array->mChildren) {
    if (item->IsComposite()) {
      throw XMP_Error(kXMPErr_BadXPath,
                      "array '" + arrayName + "' has an item that is not a simple value");
    }
    items.push_back(item->mValue);
  }
  *result = xmpcore::utils::JoinItems(items, separator, pair);
}

void SXMPUtils::SeparateArrayItems(SXMPMeta* meta, const std::string& schemaNS,
                                   const std::string& arrayName, XMP_OptionBits options,
                                   const std::string& text, const std::string& separator,
                                   const std::string& quotes) {
  if (meta == nullptr) throw XMP_Error(kXMPErr_BadParam, "null object for SeparateArrayItems");
  std::vector<std::string> items =
      xmpcore::utils::SplitItems(text, separator, CheckedQuotes(separator, quotes));
  XMP_OptionBits form = RequestedForm(options, arrayName);

  xmpcore::XMPNode& root = xmpcore::Tree(*meta);
  xmpcore::XMPNode* array = xmpcore::FindNode(root, schemaNS, arrayName, xmpcore::Missing::kNull);
  if (array != nullptr) {
    if (!array->IsArray()) {
      throw XMP_Error(kXMPErr_BadXPath, "'" + arrayName + "' is not an array");
    }
    if (array->IsAltText() && form == 0) {
      throw XMP_Error(kXMPErr_BadXPath,
                      "cannot split a text into the alt-text array '" + arrayName + "'");
    }
    if (form == 0) form = array->mOptions & kXMP_PropArrayFormMask;
  } else {
    if (form == 0) form = kXMP_PropValueIsArray;
    array = xmpcore::FindNode(root, schemaNS, arrayName, xmpcore::Missing::kCreate, form);
  }
  // A rewritten array holds exactly the new items and is no longer a collected conflict.
  array->mOptions = (array->mOptions &
                     ~(kXMP_PropCompositeMask | kXMP_PropHasMultipleValues | kXMP_PropValueIsURI)) |
                    form;
  array->mValue.clear();
  array->ClearChildren();
  for (std::string& item : items)
    array->AddChild(kXMP_ArrayItemName, std::move(item));
}
