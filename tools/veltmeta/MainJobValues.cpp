#include "MainJobValues.h"

#include <memory>

#include "Json.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Registry.h"
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

}  // namespace

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
