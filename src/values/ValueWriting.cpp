// The SetValue overloads: write only what changes, check the read-back, and end the
// multiple-value state of a gathered object.

#include <cmath>

#include "registry/Assert.h"
#include "values/NumberWriting.h"
#include "values/TextForms.h"
#include "values/ValueSupport.h"
#include "veltmetadata/MetaDataOperations.h"

namespace veltmetadata {

using values::ReportInvalidData;

namespace {

// Runs a write: `body` returns whether it wrote; exceptions are reported and end the write
// with what was reached, which `written` records as it goes.
template <class Body>
bool GuardedWrite(__XMPMeta__* handle, const Path& path, Body&& body) {
  if (!handle) return false;
  bool written = false;
  try {
    SXMPMeta meta(handle);
    body(meta, written);
    if (written && meta.HasMultipleValues(path.mNamespace, path.mPathDescription)) {
      meta.ClearMultipleValues(path.mNamespace, path.mPathDescription);
    }
  } catch (const XMP_Error& error) {
    ReportInvalidData(kWritingXMPError, path, error.GetErrMsg());
  } catch (...) {
    ReportInvalidData(kWritingXMPError, path, "");
  }
  return written;
}

// The numeric write: `read(meta, value*)` is the typed getter, `write(meta, value)` the
// setter, `same(a, b)` decides whether the read-back matches.
template <class T, class Read, class Write, class Same>
bool WriteNumber(__XMPMeta__* handle, const Path& path, T value, Read read, Write write,
                 Same same) {
  return GuardedWrite(handle, path, [&](SXMPMeta& meta, bool& written) {
    // A property whose gathered values differ holds no value to compare with (and its empty
    // text would not convert), so it is written without reading it first.
    const bool multiple = meta.HasMultipleValues(path.mNamespace, path.mPathDescription);
    T current{};
    if (!multiple && read(meta, &current) && current == value) return;
    write(meta, value);
    written = true;
    T back{};
    if (!read(meta, &back) || !same(back, value)) ReportInvalidData(kWritingXMPError, path, "");
  });
}

template <class T, class Stored>
bool WriteExact(__XMPMeta__* handle, const Path& path, T value,
                bool (SXMPMeta::*getter)(const std::string&, const std::string&, Stored*,
                                         XMP_OptionBits*) const,
                void (SXMPMeta::*setter)(const std::string&, const std::string&, Stored,
                                         XMP_OptionBits)) {
  const std::string& ns = path.mNamespace;
  const std::string& name = path.mPathDescription;
  return WriteNumber(
      handle, path, value,
      [&](SXMPMeta& meta, T* out) {
        Stored stored{};
        if (!(meta.*getter)(ns, name, &stored, nullptr)) return false;
        *out = static_cast<T>(stored);
        return true;
      },
      [&](SXMPMeta& meta, T number) { (meta.*setter)(ns, name, static_cast<Stored>(number), 0); },
      [](T a, T b) { return a == b; });
}

std::string WithoutSpaces(std::string text) {
  std::erase(text, ' ');
  return text;
}

}  // namespace

bool SetDoubleValueWith(__XMPMeta__* inMeta, const Path& inPath, double inValue,
                        const DoubleWriter& writer) {
  const std::string& ns = inPath.mNamespace;
  const std::string& name = inPath.mPathDescription;
  return WriteNumber(
      inMeta, inPath, inValue,
      [&](SXMPMeta& meta, double* out) { return meta.GetProperty_Float(ns, name, out, nullptr); },
      [&](SXMPMeta& meta, double number) { writer(meta, ns, name, number); },
      [](double a, double b) { return std::fabs(a - b) < 0.0001; });
}

bool SetValue(__XMPMeta__* inMeta, const Path& inPath, int inValue) {
  return WriteExact<int, XMP_Int32>(inMeta, inPath, inValue, &SXMPMeta::GetProperty_Int,
                                    &SXMPMeta::SetProperty_Int);
}

bool SetValue(__XMPMeta__* inMeta, const Path& inPath, long long inValue) {
  return WriteExact<long long, XMP_Int64>(inMeta, inPath, inValue, &SXMPMeta::GetProperty_Int64,
                                          &SXMPMeta::SetProperty_Int64);
}

bool SetValue(__XMPMeta__* inMeta, const Path& inPath, bool inValue) {
  return WriteExact<bool, bool>(inMeta, inPath, inValue, &SXMPMeta::GetProperty_Bool,
                                &SXMPMeta::SetProperty_Bool);
}

bool SetValue(__XMPMeta__* inMeta, const Path& inPath, double inValue) {
  return SetDoubleValueWith(inMeta, inPath, inValue,
                            [](SXMPMeta& meta, const std::string& ns, const std::string& name,
                               double number) { meta.SetProperty_Float(ns, name, number); });
}

bool SetValue(__XMPMeta__* inMeta, const Path& inPath, const UTF8String& inValue) {
  const std::shared_ptr<EntryDefinition> def = PathEntryDefinition(inPath);
  if (!def) {
    VELT_CHECK(false, "definition");
    return false;
  }
  if (!inMeta) return false;
  const std::optional<values::TextForm> form =
      values::TextFormOf(*def, PrimitiveTypeOfPath(inPath));
  if (!form) return false;
  return GuardedWrite(inMeta, inPath, [&](SXMPMeta& meta, bool& written) {
    const bool multiple = meta.HasMultipleValues(inPath.mNamespace, inPath.mPathDescription);
    std::string current;
    const bool hasCurrent = !multiple && values::ReadText(meta, inPath, *form, current);
    const bool changes = multiple || (hasCurrent ? current != inValue : !inValue.empty());
    if (!changes) return;
    values::WriteText(meta, inPath, *form, inValue);
    written = true;
    std::string back;
    if (!values::ReadText(meta, inPath, *form, back) ||
        WithoutSpaces(back) != WithoutSpaces(values::ExpectedReadBack(*form, inValue))) {
      ReportInvalidData(kWritingXMPError, inPath, "");
    }
  });
}

}  // namespace veltmetadata
