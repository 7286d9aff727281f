#pragma once

// SXMPUtils: stateless helpers around SXMPMeta: composing XMP paths, converting values to and
// from their XMP texts (booleans, numbers, ISO 8601 dates), joining and splitting arrays as
// one text, templates, removing and copying subtrees, and the three merges between objects
// used when several sources are presented as one (collect, distribute, schema merge).
//
// Every failure raises XMP_Error with a message naming the offending text or path.

#include <string>
#include <vector>

#include "veltcore/Export.h"
#include "xmp/XMP_Const.h"

class SXMPMeta;

class VELT_EXPORT SXMPUtils {
 public:
  // ---- Path composition (kXMPErr_BadSchema / kXMPErr_BadXPath on bad input) ------------------

  // "prefix:Array[index]"; index is 1-based, kXMP_ArrayLastItem gives "[last()]". An index
  // of 0 or below -1 raises kXMPErr_BadIndex.
  static std::string ComposeArrayItemPath(const std::string& schemaNS, const std::string& arrayName,
                                          XMP_Index index);
  // "structName/fieldPrefix:fieldName".
  static std::string ComposeStructFieldPath(const std::string& schemaNS,
                                            const std::string& structName,
                                            const std::string& fieldNS,
                                            const std::string& fieldName);
  // "propName/?qualPrefix:qualName".
  static std::string ComposeQualifierPath(const std::string& schemaNS, const std::string& propName,
                                          const std::string& qualNS, const std::string& qualName);
  // "arrayName[?xml:lang="lang"]" (the language is normalized to lower case).
  static std::string ComposeLangSelector(const std::string& schemaNS, const std::string& arrayName,
                                         const std::string& lang);
  // "arrayName[fieldPrefix:fieldName="value"]": the item whose field has that value.
  static std::string ComposeFieldSelector(const std::string& schemaNS, const std::string& arrayName,
                                          const std::string& fieldNS, const std::string& fieldName,
                                          const std::string& fieldValue);

  // ---- Value conversions ---------------------------------------------------------------------

  // "True" or "False".
  static std::string ConvertFromBool(bool value);
  // Decimal text.
  static std::string ConvertFromInt(XMP_Int32 value);
  static std::string ConvertFromInt64(XMP_Int64 value);
  // The shortest decimal text that reads back as the same double ("0.1", "1e+300").
  // Infinity and NaN raise kXMPErr_BadParam.
  static std::string ConvertFromFloat(double value);
  // ISO 8601 with exactly the parts the record has (year; year-month; date; date with time to
  // the minute, with seconds when non-zero, with a fraction when non-zero; zone when present).
  // Fields out of range raise kXMPErr_BadParam.
  static std::string ConvertFromDate(const XMP_DateTime& value);

  // The reading conversions ignore white space around the text. A text that is not a value of
  // the type raises kXMPErr_BadValue.
  // Booleans: "True"/"False" in any case, also "t"/"f", "yes"/"no", "y"/"n", "on"/"off", "1"/"0".
  static bool ConvertToBool(const std::string& text);
  // Decimal with an optional sign, or hexadecimal with "0x"; out of range raises kXMPErr_BadValue.
  static XMP_Int32 ConvertToInt(const std::string& text);
  static XMP_Int64 ConvertToInt64(const std::string& text);
  // A decimal floating-point number (C locale; "1.5", "-2e3", "+.5").
  static double ConvertToFloat(const std::string& text);
  // Every partial form XMP allows: "YYYY", "YYYY-MM", "YYYY-MM-DD", "YYYY-MM-DDThh:mm",
  // "...:ss", "...:ss.s+" each with an optional zone "Z" / "+hh:mm" / "-hh:mm", a year of four
  // to six digits with a leading "-" for years before year 0, and a time alone "Thh:mm...". Missing
  // parts are 0 and the has* flags say which parts are present; "+00:00" keeps sign +1, "Z" has
  // sign 0.
  static XMP_DateTime ConvertToDate(const std::string& text);

  // ---- Dates and times -----------------------------------------------------------------------

  // Now, in this machine's local time with its zone offset and nanoseconds.
  static XMP_DateTime CurrentDateTime();
  // Moves a full date-time (year, month, day and time) with a zone into this machine's local
  // time zone (the offset in force at that instant). Values without a zone are taken to be
  // local time already and only gain the local offset; values without a full date and a time
  // are left unchanged.
  static void ConvertToLocalTime(XMP_DateTime* time);
  // Moves a full date-time with a zone to UTC ("Z"); a value without a zone is taken to be
  // local time. Values without a full date and a time are left unchanged.
  static void ConvertToUTCTime(XMP_DateTime* time);
  // Orders two date-times by instant when both have zones, otherwise field by field: <0, 0, >0.
  static int CompareDateTime(const XMP_DateTime& left, const XMP_DateTime& right);

  // ---- Arrays as one text --------------------------------------------------------------------

  // Joins items with `separator`. Items that are empty, start or end with white space, or
  // contain a character of the separator (spaces around it aside) or a quote character are quoted;
  // closing quotes inside are doubled. `quotes` is one UTF-8 character (both ends) or two
  // (opening, closing). An empty separator or bad quotes raise kXMPErr_BadParam.
  static std::string CatenateItems(const std::vector<std::string>& items,
                                   const std::string& separator = "; ",
                                   const std::string& quotes = "\"");
  // Splits a text made by CatenateItems back into the same items. White space around unquoted
  // items is dropped, as are empty unquoted items ("a;;b" gives "a", "b"); an unterminated
  // quote takes the rest of the text. Never loses characters of quoted items.
  static std::vector<std::string> SeparateItems(const std::string& text,
                                                const std::string& separator = "; ",
                                                const std::string& quotes = "\"");

  // The values of the simple items of an array property joined as by CatenateItems; "" when
  // the array does not exist. `options` is accepted for symmetry with SeparateArrayItems (an
  // array form) and not otherwise used. A property that is not an array, or an array with a
  // composite item, raises kXMPErr_BadXPath.
  static void CatenateArrayItems(const SXMPMeta& meta, const std::string& schemaNS,
                                 const std::string& arrayName, const std::string& separator,
                                 const std::string& quotes, XMP_OptionBits options,
                                 std::string* result);
  // Replaces the items of an array property by the items split from `text` (SeparateItems).
  // The array form comes from `options` (kXMP_PropValueIsArray, kXMP_PropArrayIsOrdered,
  // kXMP_PropArrayIsAlternate) or, when it has none, from the existing array, else unordered.
  // An empty text leaves an empty array. A property that is not an array, or an alt-text
  // array, raises kXMPErr_BadXPath; the object is then unchanged.
  static void SeparateArrayItems(SXMPMeta* meta, const std::string& schemaNS,
                                 const std::string& arrayName, XMP_OptionBits options,
                                 const std::string& text, const std::string& separator = "; ",
                                 const std::string& quotes = "\"");

  // ---- Whole-object operations ---------------------------------------------------------------

  // Applies `templ` to `working` with the kXMPTemplate_* actions:
  //  - ClearUnnamedProperties (0x10): removes working properties the template does not have;
  //  - ReplaceExistingProperties (0x02): template values replace existing working properties
  //    (with ReplaceWithDeleteEmpty (0x04), an empty template value deletes the property);
  //  - AddNewProperties (0x08): template properties missing in working are added.
  // Arrays replace arrays whole; structures are applied field by field. Properties of the
  // toolkit's internal namespaces (the transient one) are left alone unless
  // IncludeInternalProperties (0x01) is given. Actions 0 change nothing.
  static void ApplyTemplate(SXMPMeta* working, const SXMPMeta& templ, XMP_OptionBits actions);

  // Removes one property (schemaNS and propName), one schema (propName empty) or, with both
  // empty, every property. Whole-schema and whole-object removal spare the internal
  // namespaces unless kXMPUtil_DoAllProperties is given. A propName without schemaNS raises
  // kXMPErr_BadParam.
  static void RemoveProperties(SXMPMeta* meta, const std::string& schemaNS = "",
                               const std::string& propName = "", XMP_OptionBits options = 0);

  // Copies the subtree at (sourceNS, sourceRoot) of `source` to (destNS, destRoot) of `dest`,
  // which may be the same object. Empty destNS/destRoot mean the source's. With an empty
  // sourceRoot the whole schema sourceNS is copied (into schema destNS). An existing
  // destination is replaced. A missing source raises kXMPErr_BadXPath; copying a subtree
  // into itself raises kXMPErr_BadParam.
  static void DuplicateSubtree(const SXMPMeta& source, SXMPMeta* dest, const std::string& sourceNS,
                               const std::string& sourceRoot, const std::string& destNS = "",
                               const std::string& destRoot = "", XMP_OptionBits options = 0);

  // ---- Merges between objects ----------------------------------------------------------------

  // Collect (options 0): merges `source` into `dest`, which gathers several objects. The first
  // object collected (dest has no kXMP_NS_Transient "MultiFileCount") is copied whole. From
  // the second on, a property whose data differs from the destination's, or that only one
  // side has, is marked as holding multiple values and keeps no value or children. Structures
  // that both sides have are compared field by field, recursively: only the differing or
  // partly present fields are marked and the agreeing ones keep their values (a structure
  // whose own qualifiers differ is marked whole). Arrays and simple values are compared whole.
  // "MultiFileCount" counts the objects collected.
  static void CollectProperties(const SXMPMeta& source, SXMPMeta* dest, XMP_OptionBits options);
  // Distribute (options 0): brings the collected `source` back into `dest`: every property
  // and every structure field that is not marked as holding multiple values replaces dest's;
  // dest keeps its own value wherever the source is marked, so an edit of one field of a
  // structure whose other fields differ reaches dest with dest's other fields kept. Fields
  // written below a marked structure since the collect are brought too. The transient
  // namespace is never copied. kXMPUtil_DeleteEmptyValues also deletes dest's property when
  // the source value is empty.
  static void DistributeProperties(const SXMPMeta& source, SXMPMeta* dest, XMP_OptionBits options);
  // Schema merge (options kXMPUtil_DoAllProperties | kXMPUtil_ReplaceOldValues = 3): copies
  // every top-level property of `source` into `dest`, replacing what is there. Without
  // kXMPUtil_ReplaceOldValues existing properties are kept; without kXMPUtil_DoAllProperties
  // the transient namespace is skipped.
  static void MergeSchemas(const SXMPMeta& source, SXMPMeta* dest, XMP_OptionBits options);
};
