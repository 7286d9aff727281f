#include "MainJobValues.h"

#include <memory>

#include "Json.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Path.h"
#include "veltmetadata/Registry.h"
#include "veltmetadata/ValueFormatting.h"
#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"

namespace veltmeta {

namespace {

using veltmetadata::EntryDefinition;
using veltmetadata::PrimitiveType;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether `text` is a number as JSON writes one: -?(0|[1-9]d*)(.d+)?([eE][+-]?d+)?
bool IsJsonNumber(const std::string& text) {
  std::size_t i = text.starts_with('-') ? 1 : 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && IsDigit(text[i]))
      ++i;
    return i - start;
  };
  const std::size_t start = i;
  const std::size_t whole = digits();
  if (whole == 0 || (whole > 1 && text[start] == '0')) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (digits() == 0) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

// The primitive type of a scalar entry (a named type resolved to what it extends).
std::optional<PrimitiveType> ScalarType(const EntryDefinition* entry) {
  if (entry == nullptr) return std::nullopt;
  if (entry->mExtends) return entry->mExtends;
  return veltmetadata::PrimitiveTypeOf(*entry);
}

std::string Scalar(const std::string& text, const EntryDefinition* entry) {
  const auto type = ScalarType(entry);
  if ((type == veltmetadata::kPrimitiveType_Integer || type == veltmetadata::kPrimitiveType_Real) &&
      IsJsonNumber(text)) {
    return text;
  }
  if (type == veltmetadata::kPrimitiveType_Boolean) {
    if (text == "True" || text == "true") return "true";
    if (text == "False" || text == "false") return "false";
  }
  return JsonString(text);
}

// The definition of the items of an array entry, or of the fields' type of a structure.
std::shared_ptr<veltmetadata::TypeDefinition> TypeOf(const std::optional<std::string>& id) {
  return id ? veltmetadata::TypeIdDefinition(*id) : nullptr;
}

std::string NodeJson(const SXMPMeta& meta, const std::string& ns, const std::string& path,
                     const EntryDefinition* entry, int depth);

std::string ArrayJson(const SXMPMeta& meta, const std::string& ns, const std::string& path,
                      XMP_OptionBits options, const EntryDefinition* entry, int depth) {
  const XMP_Index count = meta.CountArrayItems(ns, path);
  const auto elementType = entry ? TypeOf(veltmetadata::ElementTypeIdOf(*entry)) : nullptr;
  const EntryDefinition* element = elementType ? elementType.get() : nullptr;
  const bool altText = (options & kXMP_PropArrayIsAltText) != 0;
  std::string out = altText ? "{" : "[";
  for (XMP_Index i = 1; i <= count; ++i) {
    const std::string item = path + "[" + std::to_string(i) + "]";
    if (i > 1) out += ", ";
    if (altText) {
      std::string language;
      meta.GetQualifier(ns, item, kXMP_NS_XML, "lang", &language);
      out += JsonString(language) + ": ";
    }
    out += NodeJson(meta, ns, item, element, depth + 1);
  }
  return out + (altText ? "}" : "]");
}

std::string StructJson(const SXMPMeta& meta, const std::string& ns, const std::string& path,
                       const EntryDefinition* entry, int depth) {
  const auto type = entry ? TypeOf(entry->mType) : nullptr;
  SXMPIterator fields(meta, ns, path, kXMP_IterJustChildren | kXMP_IterOmitQualifiers);
  std::string fieldPath;
  std::string out = "{";
  bool first = true;
  while (fields.Next(nullptr, &fieldPath)) {
    const std::string name = fieldPath.substr(fieldPath.rfind('/') + 1);
    const std::string local = name.substr(name.find(':') + 1);
    const auto field =
        type && !type->mFields.empty() ? veltmetadata::FieldNameDefinition(type, local) : nullptr;
    out += (first ? "" : ", ") + JsonString(name) + ": " +
           NodeJson(meta, ns, fieldPath, field.get(), depth + 1);
    first = false;
  }
  return out + "}";
}

std::string NodeJson(const SXMPMeta& meta, const std::string& ns, const std::string& path,
                     const EntryDefinition* entry, int depth) {
  std::string value;
  XMP_OptionBits options = 0;
  if (depth > 32 || !meta.GetProperty(ns, path, &value, &options)) return "null";
  if (options & kXMP_PropValueIsArray) return ArrayJson(meta, ns, path, options, entry, depth);
  if (options & kXMP_PropValueIsStruct) return StructJson(meta, ns, path, entry, depth);
  return Scalar(value, entry);
}

bool IsDate(const veltmetadata::Path& path) {
  const auto entry = veltmetadata::PathEntryDefinition(path);
  return entry && entry->mType && *entry->mType == "date";
}

// The display text of a value as a panel shows it: dates in the user's locale (the library
// formats those of its internal properties itself), booleans as Yes and No.
std::string Shown(const veltmetadata::Path& path, const std::string& text) {
  if (!path.mInternal && IsDate(path)) return veltmetadata::FormatDate(text);
  if (veltmetadata::PrimitiveTypeOfPath(path) == veltmetadata::kPrimitiveType_Boolean) {
    if (text == "True" || text == "true") return Localized("$$$/veltmeta/value/yes=Yes");
    if (text == "False" || text == "false") return Localized("$$$/veltmeta/value/no=No");
  }
  return text;
}

// One display read.
PanelValue ReadOne(__XMPMeta__* meta, const veltmetadata::Path& path, bool typed) {
  PanelValue value;
  std::string text;
  veltmetadata::GetValueResult result = veltmetadata::kGetValueResult_NoValue;
  if (veltmetadata::GetValue(meta, path, text, &result)) {
    value.mState = PanelValue::kValue;
    value.mDisplay = Shown(path, text);
    if (typed) value.mJson = TypedJsonValue(meta, path);
  } else if (result == veltmetadata::kGetValueResult_MultipleValues) {
    value.mState = PanelValue::kMultiple;
  }
  return value;
}

// Where the first step of `path` ends when that step is a bag or seq of structures and the
// rest names a field of its items ("Licensor" in "Licensor/plus:LicensorName"); 0 otherwise.
std::size_t ArrayStepEnd(const veltmetadata::Path& path) {
  const std::string& description = path.mPathDescription;
  const std::size_t slash = description.find('/');
  if (slash == std::string::npos || description.find('[') < slash) return 0;
  const veltmetadata::Path array =
      veltmetadata::PathForSchemaNameAndPropertyName(path.mNamespace, description.substr(0, slash));
  if (array.empty() || !veltmetadata::IsPathAnArray(array, true)) return 0;
  return slash;
}

// The field in every item of the array, in item order; items without it are skipped.
PanelValue ReadEveryItem(__XMPMeta__* meta, const veltmetadata::Path& path, std::size_t stepEnd,
                         bool typed) {
  const std::string array = path.mPathDescription.substr(0, stepEnd);
  const std::string field = path.mPathDescription.substr(stepEnd);
  XMP_Index count = 0;
  try {
    const SXMPMeta wrapped(meta);
    XMP_OptionBits options = 0;
    if (wrapped.HasMultipleValues(path.mNamespace, array)) return {PanelValue::kMultiple, "", ""};
    if (!wrapped.GetProperty(path.mNamespace, array, nullptr, &options)) return {};
    // Stored as a single structure, not in the array its definition gives: read as it is.
    if ((options & kXMP_PropValueIsArray) == 0) return ReadOne(meta, path, typed);
    count = wrapped.CountArrayItems(path.mNamespace, array);
  } catch (const XMP_Error&) {
    return ReadOne(meta, path, typed);  // the library reports what is wrong with it
  }
  PanelValue value;
  std::string json;
  for (XMP_Index i = 1; i <= count; ++i) {
    veltmetadata::Path item = path;
    item.mPathDescription = array + "[" + std::to_string(i) + "]" + field;
    const PanelValue one = ReadOne(meta, item, typed);
    if (one.mState == PanelValue::kMultiple) return one;
    if (one.mState != PanelValue::kValue) continue;
    value.mDisplay += (value.mState == PanelValue::kValue ? "; " : "") + one.mDisplay;
    json += (json.empty() ? "" : ", ") + (one.mJson.empty() ? JsonString(one.mDisplay) : one.mJson);
    value.mState = PanelValue::kValue;
  }
  if (typed && value.mState == PanelValue::kValue) value.mJson = "[" + json + "]";
  return value;
}

}  // namespace

PanelValue ReadPanelValue(__XMPMeta__* meta, const veltmetadata::Path& path, bool typed) {
  if (meta == nullptr || path.empty()) return {};
  const std::size_t stepEnd = ArrayStepEnd(path);
  return stepEnd > 0 ? ReadEveryItem(meta, path, stepEnd, typed) : ReadOne(meta, path, typed);
}

std::string TypedJsonValue(__XMPMeta__* meta, const veltmetadata::Path& path) {
  if (meta == nullptr || path.empty()) return "";
  try {
    const SXMPMeta wrapped(meta);
    if (!wrapped.DoesPropertyExist(path.mNamespace, path.mPathDescription)) return "";
    const auto entry = veltmetadata::PathEntryDefinition(path);
    return NodeJson(wrapped, path.mNamespace, path.mPathDescription, entry.get(), 0);
  } catch (const XMP_Error&) {
    return "";  // stored in a form the path does not fit: the display text stands alone
  }
}

}  // namespace veltmeta
