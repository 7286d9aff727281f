#include "veltmetadata/MetaDataOperations.h"

#include "ErrorList.h"
#include "registry/Assert.h"
#include "values/TextForms.h"
#include "values/ValueSupport.h"
#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/Registry.h"
#include "veltmetadata/ValueFormatting.h"
#include "xmp/SXMPUtils.h"

namespace veltmetadata {

using values::ReadProperty;
using values::ReportInvalidData;
using values::SetResult;

namespace values {

void ReportInvalidData(ErrorKind kind, const Path& path, const std::string& reason) {
  SendError(kind, ErrorDetail(kInvalidData, {path.mNamespace + path.mPathDescription}), reason);
}

}  // namespace values

namespace {

// Reads a number or boolean with one of the toolkit's typed getters.
template <class Stored, class Value, class Getter>
bool ReadTyped(__XMPMeta__* handle, const Path& path, Value& outValue, GetValueResult* result,
               Getter getter) {
  Stored stored{};
  const bool read = ReadProperty(handle, path, result, [&](const SXMPMeta& meta) {
    return (meta.*getter)(path.mNamespace, path.mPathDescription, &stored, nullptr);
  });
  if (read) outValue = static_cast<Value>(stored);
  return read;
}

bool TextMatchesBoolean(const UTF8String& text, bool value) {
  using veltcore::string::EqualsIgnoreAsciiCase;
  return value ? (text == "1" || EqualsIgnoreAsciiCase(text, "True"))
               : (text == "0" || EqualsIgnoreAsciiCase(text, "False"));
}

bool IsChoiceOf(const EntryDefinition& def, const UTF8String& text) {
  const std::vector<std::shared_ptr<ChoiceDefinition>>* choices = &def.mChoices;
  std::shared_ptr<TypeDefinition> type;
  if (choices->empty() && def.mType) {
    type = TypeIdDefinition(*def.mType);
    if (type) choices = &type->mChoices;
  }
  // A closed choice without any choices defined has nothing to check against.
  if (choices->empty()) return true;
  for (const auto& choice : *choices) {
    if (choice && choice->mRawValue == text) return true;
  }
  return false;
}

// Whether a display text fits the Path's primitive type; reading problems count as a misfit.
bool DisplayTextFitsType(__XMPMeta__* handle, const Path& path, const EntryDefinition& def,
                         std::optional<PrimitiveType> pt, const UTF8String& text) {
  if (!pt) return true;
  try {
    SXMPMeta meta(handle);
    switch (*pt) {
      case kPrimitiveType_Integer: {
        XMP_Int64 number = 0;
        meta.GetProperty_Int64(path.mNamespace, path.mPathDescription, &number);
        return SXMPUtils::ConvertFromInt64(number) == text;
      }
      case kPrimitiveType_Boolean: {
        bool flag = false;
        meta.GetProperty_Bool(path.mNamespace, path.mPathDescription, &flag);
        return TextMatchesBoolean(text, flag);
      }
      case kPrimitiveType_ClosedChoice:
        return IsChoiceOf(def, text);
      default:
        return true;
    }
  } catch (...) {
    return false;
  }
}

}  // namespace

bool GetValue(__XMPMeta__* inMeta, const Path& inPath, int& outValue, GetValueResult* outResult) {
  return ReadTyped<XMP_Int32>(inMeta, inPath, outValue, outResult, &SXMPMeta::GetProperty_Int);
}

bool GetValue(__XMPMeta__* inMeta, const Path& inPath, double& outValue,
              GetValueResult* outResult) {
  return ReadTyped<double>(inMeta, inPath, outValue, outResult, &SXMPMeta::GetProperty_Float);
}

bool GetValue(__XMPMeta__* inMeta, const Path& inPath, long long& outValue,
              GetValueResult* outResult) {
  return ReadTyped<XMP_Int64>(inMeta, inPath, outValue, outResult, &SXMPMeta::GetProperty_Int64);
}

bool GetValue(__XMPMeta__* inMeta, const Path& inPath, bool& outValue, GetValueResult* outResult) {
  return ReadTyped<bool>(inMeta, inPath, outValue, outResult, &SXMPMeta::GetProperty_Bool);
}

bool GetValue(__XMPMeta__* inMeta, const Path& inPath, Date& outValue, GetValueResult* outResult) {
  const std::shared_ptr<EntryDefinition> def = PathEntryDefinition(inPath);
  if (!def) {
    VELT_CHECK(false, "definition");
    return false;
  }
  if (!def->mType || *def->mType != "date") return false;
  Date date = outValue;
  const bool read = ReadProperty(inMeta, inPath, outResult, [&](const SXMPMeta& meta) {
    std::string text;
    if (!meta.GetProperty(inPath.mNamespace, inPath.mPathDescription, &text)) return false;
    if (text.empty()) return true;
    const XMP_DateTime stored = SXMPUtils::ConvertToDate(text);
    date = Date{};
    if (stored.hasDate) {
      date.mYear = stored.year;
      date.mMonth = stored.month;
      date.mDay = stored.day;
    }
    if (stored.hasTime) {
      date.mHour = stored.hour;
      date.mMinute = stored.minute;
      date.mSecond = stored.second;
    }
    return true;
  });
  if (read) outValue = date;
  return read;
}

bool GetValue(__XMPMeta__* inMeta, const Path& inPath, UTF8String& outValue,
              GetValueResult* outResult) {
  const std::shared_ptr<EntryDefinition> def = PathEntryDefinition(inPath);
  if (!def) {
    VELT_CHECK(false, "definition");
    SetResult(outResult, kGetValueResult_Error);
    return false;
  }
  const std::optional<PrimitiveType> pt = PrimitiveTypeOfPath(inPath);

  // A date that does not convert is reported and then shown as stored.
  UTF8String raw;
  bool read = false;
  for (const std::optional<values::TextForm> form :
       {values::TextFormOf(*def, pt), values::TextFormOf(pt)}) {
    if (!form) continue;
    read = ReadProperty(inMeta, inPath, outResult, [&](const SXMPMeta& meta) {
      return values::ReadText(meta, inPath, *form, raw);
    });
    if (read || *form != values::TextForm::kDate) break;
  }
  if (!read) {
    return inPath.mInternal && GetConstructedValue(inMeta, inPath, outValue, outResult);
  }

  UTF8String display;
  if (inPath.mInternal && !IsAllMetadataForcedWritable()) {
    display = FormatValue(inMeta, inPath, raw);
  }
  if (display.empty()) display = std::move(raw);
  if (!display.empty() && !DisplayTextFitsType(inMeta, inPath, *def, pt, display)) {
    ReportInvalidData(kReadingXMPError, inPath, "");
  }
  outValue = std::move(display);
  return true;
}

bool GetRawStringValue(__XMPMeta__* inMeta, const Path& inPath, UTF8String& outValue,
                       GetValueResult* outResult) {
  UTF8String text;
  const bool read = ReadProperty(inMeta, inPath, outResult, [&](const SXMPMeta& meta) {
    return meta.GetProperty(inPath.mNamespace, inPath.mPathDescription, &text);
  });
  if (read) outValue = std::move(text);
  return read;
}

bool HasValue(__XMPMeta__* inMeta, const Path& inPath) {
  if (!inMeta) return false;
  try {
    SXMPMeta meta(inMeta);
    return meta.DoesPropertyExist(inPath.mNamespace, inPath.mPathDescription);
  } catch (const XMP_Error& error) {
    ReportInvalidData(kReadingXMPError, inPath, error.GetErrMsg());
  } catch (...) {
    ReportInvalidData(kReadingXMPError, inPath, "");
  }
  return false;
}

}  // namespace veltmetadata
