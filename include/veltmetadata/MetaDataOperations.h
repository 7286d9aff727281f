#pragma once

// Typed reads, writes, deletions and array edits of XMP metadata objects, addressed by Path.
//
// Every function takes the object's handle first (null is allowed and answered with false,
// 0 or "no value") and wraps it for the duration of the call, adding one reference. Bad data
// never crashes: toolkit failures are reported to the error list ("invalid data in "..."",
// kind kReadingXMPError for reads, tests and counts, kWritingXMPError for writes, deletions
// and array edits) and turned into a false result. A Path without a definition is a
// programming error: debug assertion, then false.
//
// An object that gathers several files (it carries the transient "MultiFileCount") reads a
// property whose files disagree as holding multiple values; its deletions are recorded in
// the transient "DeletedProperties" bag.
//
// No locks: the caller owns the handle and must not use it from two threads at once. The
// functions read the registry and must not overlap its loading or Terminate.

#include <memory>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Path.h"

struct __XMPMeta__;

namespace veltmetadata {

// What a read found. The pointee is set to kGetValueResult_NoValue at the start of a read and
// overwritten as the read proceeds.
enum GetValueResult : std::int32_t {
  kGetValueResult_Success = 0,         // a value was read
  kGetValueResult_MultipleValues = 1,  // the gathered files disagree; nothing was read
  kGetValueResult_NoValue = 2,         // null handle or absent property
  kGetValueResult_Error = 3,           // reading failed and was reported
};

// How ApplyTemplate merges the template into the object.
enum TemplateImportOptions : std::int32_t {
  kTemplateImport_ReplaceAll = 0,       // replace existing, remove what the template lacks
  kTemplateImport_ReplaceExisting = 1,  // replace existing properties only
  kTemplateImport_AddNew = 2,           // add properties the object lacks
};

// ---- Reads ---------------------------------------------------------------------------------
// Each returns true and fills `outValue` when a value was read; otherwise `outValue` keeps
// what the caller gave. `outResult` may be null. No exception passes, except from the host's
// formatter (RegisterValueFormatter) during a display read.

// The property as a number or boolean, converted by the toolkit's text rules (a boolean
// accepts "True"/"False" in any case, "1"/"0", "yes"/"no", ...). An unconvertible text is
// reported and gives kGetValueResult_Error.
VELT_EXPORT bool GetValue(__XMPMeta__* inMeta, const Path& inPath, int& outValue,
                          GetValueResult* outResult = nullptr);
VELT_EXPORT bool GetValue(__XMPMeta__* inMeta, const Path& inPath, double& outValue,
                          GetValueResult* outResult = nullptr);
VELT_EXPORT bool GetValue(__XMPMeta__* inMeta, const Path& inPath, long long& outValue,
                          GetValueResult* outResult = nullptr);
VELT_EXPORT bool GetValue(__XMPMeta__* inMeta, const Path& inPath, bool& outValue,
                          GetValueResult* outResult = nullptr);

// A property of type "date": year, month and day when the stored date has a date part (else
// 0), hour, minute and second when it has a time part (else 0). An empty stored text
// succeeds and leaves `outValue` unchanged. For any other type: false, result untouched.
VELT_EXPORT bool GetValue(__XMPMeta__* inMeta, const Path& inPath, Date& outValue,
                          GetValueResult* outResult = nullptr);

// The display read: bag and seq items joined by "; " (items holding the separator or quotes
// are quoted with '"'), the "x-default" text of an alt-text, dates normalised to ISO 8601,
// and internal properties formatted for display (FormatValue) or, when absent, constructed
// from other properties (GetConstructedValue). A stored text that does not fit the type
// (an integer "007", a boolean "yes", a value outside a closed choice) is returned as
// stored and reported. The host's formatter is called here and its exceptions pass.
VELT_EXPORT bool GetValue(__XMPMeta__* inMeta, const Path& inPath, UTF8String& outValue,
                          GetValueResult* outResult = nullptr);

// The stored text exactly as it is (empty for composites).
VELT_EXPORT bool GetRawStringValue(__XMPMeta__* inMeta, const Path& inPath, UTF8String& outValue,
                                   GetValueResult* outResult = nullptr);

// ---- Writes --------------------------------------------------------------------------------
// True when something was written. Nothing is written (false) when the property already holds
// the value and the gathered files agree. A written value that does not read back as written
// is reported and still counts as written. After a write, the property no longer holds
// multiple values. No exception passes: a toolkit failure is reported and the result reached
// so far is returned (so a stored value that cannot be read as the type ends the call
// without writing).

// The text form of the display read: a date text for "date" properties, "; "-joined items
// for bag and seq (the array is replaced by the items), the "x-default" item of an alt-text,
// else the stored text. "" on an absent property writes nothing. False when the Path has no
// definition or no primitive type.
VELT_EXPORT bool SetValue(__XMPMeta__* inMeta, const Path& inPath, const UTF8String& inValue);
VELT_EXPORT bool SetValue(__XMPMeta__* inMeta, const Path& inPath, int inValue);
// A double counts as unchanged only when exactly equal; a read-back within 0.0001 is fine.
VELT_EXPORT bool SetValue(__XMPMeta__* inMeta, const Path& inPath, double inValue);
VELT_EXPORT bool SetValue(__XMPMeta__* inMeta, const Path& inPath, long long inValue);
VELT_EXPORT bool SetValue(__XMPMeta__* inMeta, const Path& inPath, bool inValue);
// Not a string: a string literal would otherwise pick the bool overload.
inline bool SetValue(__XMPMeta__* inMeta, const Path& inPath, const char* inValue) {
  return SetValue(inMeta, inPath, UTF8String(inValue ? inValue : ""));
}

// ---- Tests and deletions -------------------------------------------------------------------

// Whether the property exists. No exception passes (reported, false).
VELT_EXPORT bool HasValue(__XMPMeta__* inMeta, const Path& inPath);

// Deletes the node. An array item is emptied but kept (item positions stay meaningful); a
// structure field is deleted and the structures around it that hold nothing any more are
// deleted too, bottom-up, never array items. A property whose gathered files disagree is
// cleared and recorded as deleted. True when something was deleted or marked. No exception
// passes.
VELT_EXPORT bool DeleteValue(__XMPMeta__* inMeta, const Path& inPath);

// In an object that gathers several files, records the Path in the transient
// "DeletedProperties" bag (fields "DelURI" and "DelPath" = prefix:path). Elsewhere nothing
// happens. No exception passes.
VELT_EXPORT void MarkMultiValueDeleted(__XMPMeta__* inMeta, const Path& inPath);

// ---- Arrays (bag and seq Paths, internal or not; anything else asserts "isArray") ----------

// Inserts an empty item (an empty structure for arrays of structures) before the item at the
// 0-based `index`; -1 inserts before the last item. An absent or empty array is created with
// the one new item. A toolkit error (an index out of range) is reported and gives false;
// other exceptions (std::bad_alloc) pass.
VELT_EXPORT bool AddArrayItem(__XMPMeta__* inMeta, const Path& inPath, int index);
// Deletes the item at the 0-based `index`; the array goes when its last item does. A toolkit
// error is reported and gives false; other exceptions pass.
VELT_EXPORT bool DeleteArrayItem(__XMPMeta__* inMeta, const Path& inPath, int index);
// Number of items; 0 for a null handle, an absent array or a Path that is no bag or seq
// (so 0 for an alt). A toolkit error is reported and gives 0; other exceptions pass.
VELT_EXPORT int CountArrayItems(__XMPMeta__* inMeta, const Path& inPath);

// Merges `inTemplate` into the object as the options say. False when either handle is null;
// a toolkit error is reported ("template cannot be applied.") and gives false; other
// exceptions pass.
VELT_EXPORT bool ApplyTemplate(__XMPMeta__* inMeta, __XMPMeta__* inTemplate,
                               TemplateImportOptions inOptions);

// ---- Values of providers -------------------------------------------------------------------

class MetaDataProvider;

// A node of a provider's metadata.
struct VELT_EXPORT Value {
  Path mPath;
  std::shared_ptr<MetaDataProvider> mProvider;
};

// Writes `inNumber` into the value's node as text with 17 significant digits (C format
// "%1.*lg"), which reads back as the same double, through an update access on its provider, and
// commits it as a change of mPath when something was written. Equal values, a null provider or one
// without metadata write nothing. No exception passes.
VELT_EXPORT void SetMinimalFloatValue(const Value& inValue, double inNumber);

}  // namespace veltmetadata
