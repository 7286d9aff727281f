#include "values/TextForms.h"

#include "xmp/SXMPUtils.h"

namespace veltmetadata::values {

namespace {

constexpr const char* kItemSeparator = "; ";
constexpr const char* kItemQuote = "\"";
constexpr const char* kDefaultLanguage = "x-default";

}  // namespace

std::optional<TextForm> TextFormOf(std::optional<PrimitiveType> pt) {
  if (!pt) return std::nullopt;
  switch (*pt) {
    case kPrimitiveType_Bag:
      return TextForm::kItems;
    case kPrimitiveType_Seq:
      return TextForm::kOrderedItems;
    case kPrimitiveType_Alt:
      return TextForm::kLocalized;
    default:
      return TextForm::kPlain;
  }
}

std::optional<TextForm> TextFormOf(const EntryDefinition& def, std::optional<PrimitiveType> pt) {
  if (def.mType && *def.mType == "date") return TextForm::kDate;
  return TextFormOf(pt);
}

std::string NormalizedDate(const std::string& text) {
  if (text.empty()) return text;
  return SXMPUtils::ConvertFromDate(SXMPUtils::ConvertToDate(text));
}

bool ReadText(const SXMPMeta& meta, const Path& path, TextForm form, std::string& out) {
  const std::string& ns = path.mNamespace;
  const std::string& name = path.mPathDescription;
  switch (form) {
    case TextForm::kDate: {
      std::string stored;
      if (!meta.GetProperty(ns, name, &stored)) return false;
      out = NormalizedDate(stored);
      return true;
    }
    case TextForm::kItems:
    case TextForm::kOrderedItems: {
      if (!meta.DoesPropertyExist(ns, name)) return false;
      const XMP_OptionBits options =
          form == TextForm::kOrderedItems ? kXMP_PropArrayIsOrdered : kXMP_PropValueIsArray;
      SXMPUtils::CatenateArrayItems(meta, ns, name, kItemSeparator, kItemQuote, options, &out);
      return true;
    }
    case TextForm::kLocalized:
      return meta.GetLocalizedText(ns, name, "", kDefaultLanguage, nullptr, &out);
    case TextForm::kPlain:
      return meta.GetProperty(ns, name, &out);
  }
  return false;
}

void WriteText(SXMPMeta& meta, const Path& path, TextForm form, const std::string& text) {
  const std::string& ns = path.mNamespace;
  const std::string& name = path.mPathDescription;
  switch (form) {
    case TextForm::kDate:
      // An empty text clears the date; anything else must be a date.
      if (text.empty()) {
        meta.SetProperty(ns, name, text);
      } else {
        meta.SetProperty_Date(ns, name, SXMPUtils::ConvertToDate(text));
      }
      return;
    case TextForm::kItems:
    case TextForm::kOrderedItems: {
      const XMP_OptionBits options =
          form == TextForm::kOrderedItems ? kXMP_PropArrayIsOrdered : kXMP_PropValueIsArray;
      SXMPUtils::SeparateArrayItems(&meta, ns, name, options, text, kItemSeparator, kItemQuote);
      return;
    }
    case TextForm::kLocalized:
      meta.SetLocalizedText(ns, name, "", kDefaultLanguage, text);
      return;
    case TextForm::kPlain:
      meta.SetProperty(ns, name, text);
      return;
  }
}

std::string ExpectedReadBack(TextForm form, const std::string& text) {
  return form == TextForm::kDate ? NormalizedDate(text) : text;
}

}  // namespace veltmetadata::values
