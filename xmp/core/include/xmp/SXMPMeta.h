#pragma once

// SXMPMeta: an XMP metadata object (a tree of schemas, properties, arrays, structures and
// qualifiers) with parsing, serialization and property access by XMP path, plus the
// process-wide parts of the toolkit: life cycle, namespace registry, diagnostics.
//
// Paths: a property is named by its schema namespace URI and a path such as "dc:title",
// "dc:creator[2]", "dc:title[?xml:lang=\"fr\"]", "xmpMM:History[last()]/stEvt:action" or
// "dc:subject/?xml:lang". The prefix of the first step must be the registered prefix of the
// schema namespace. A malformed path, or one that does not fit the data (an index into a
// structure), raises XMP_Error kXMPErr_BadXPath.
//
// Every failure raises XMP_Error; nothing else is thrown except std::bad_alloc.

#include <string>
#include <string_view>

#include "veltcore/Export.h"
#include "xmp/XMP_Const.h"

// The reference-counted object behind an SXMPMeta. Opaque to callers; hosts hold it through
// intrusive_ptr_add_ref / intrusive_ptr_release (compatible with boost::intrusive_ptr).
struct __XMPMeta__;

// Adds one reference to the object. A null pointer is ignored.
VELT_EXPORT void intrusive_ptr_add_ref(__XMPMeta__* meta);
// Releases one reference; the last one destroys the object. A null pointer is ignored.
VELT_EXPORT void intrusive_ptr_release(__XMPMeta__* meta);

// Called for failed internal consistency checks of the toolkit (context as registered).
using XMP_AssertNotifyProc = void (*)(void* context, const char* message);

class VELT_EXPORT SXMPMeta {
 public:
  // ---- Life cycle (process-wide) ------------------------------------------------------------

  // Starts the toolkit; reference counted, only the first call does work. Returns true.
  static bool Initialize();
  // Ends one Initialize; the last one clears the namespace registry back to the standard set.
  static void Terminate();
  // The toolkit's version record; `message` names the library and its version.
  static void GetVersionInfo(XMP_VersionInfo* info);
  // Registers the callback for internal consistency failures; null removes it.
  static void SetAssertNotify(XMP_AssertNotifyProc proc, void* context);
  // Reports an internal consistency failure to the registered callback (no-op when none).
  static void NotifyAssert(const char* message);
  // The host's name, used e.g. as software agent in document history events.
  static void SetClientName(const std::string& name);
  static std::string GetClientName();

  // ---- Namespace registry (process-wide, thread-safe) ---------------------------------------

  // Registers `uri` with `suggestedPrefix` (with or without the trailing ':'). Returns true
  // when the namespace ends up with that prefix (also when it already had it). When the
  // namespace is already registered with another prefix, it keeps that one; when the prefix
  // belongs to another namespace, a generated prefix ("prefix_1_") is assigned. Either way
  // the result is false and `registeredPrefix` (when given) receives the prefix with ':'.
  // An empty URI, a prefix that is not an XML name, or a reserved prefix (xml, xmlns, rdf)
  // for a namespace other than its own raises kXMPErr_BadParam; a URI that is not UTF-8
  // raises kXMPErr_BadUnicode.
  static bool RegisterNamespace(const std::string& uri, const std::string& suggestedPrefix,
                                std::string* registeredPrefix = nullptr);
  // The prefix of a registered namespace followed by ':'; false when not registered.
  static bool GetNamespacePrefix(const std::string& uri, std::string* prefix);
  // The namespace of a registered prefix (given with or without ':'); false when unknown.
  static bool GetNamespaceURI(const std::string& prefix, std::string* uri);
  // Removes a namespace that is not one of the pre-registered standard ones.
  static void DeleteNamespace(const std::string& uri);

  // ---- Objects ------------------------------------------------------------------------------

  // An empty object.
  SXMPMeta();
  // Wraps an existing object and adds a reference to it (null gives a new empty object).
  explicit SXMPMeta(__XMPMeta__* handle);
  // A new object parsed from a complete packet (as ParseFromBuffer).
  SXMPMeta(const char* buffer, XMP_StringLen length, XMP_OptionBits options = 0);
  // Copies share the same object (one more reference); use Clone for a deep copy.
  SXMPMeta(const SXMPMeta& other);
  SXMPMeta& operator=(const SXMPMeta& other);
  SXMPMeta(SXMPMeta&& other) noexcept;
  SXMPMeta& operator=(SXMPMeta&& other) noexcept;
  ~SXMPMeta();

  // The shared object, without adding a reference (wrap it or add one to keep it).
  __XMPMeta__* GetInternalRef() const { return mHandle; }
  // An independent deep copy.
  SXMPMeta Clone() const;
  // Removes every property and the object name.
  void Erase();
  // The rdf:about value (usually empty).
  std::string GetObjectName() const;
  void SetObjectName(const std::string& name);

  // ---- Parsing and serialization ------------------------------------------------------------

  // Replaces the object's contents by the packet in `buffer` (the whole buffer is one
  // packet; UTF-8, UTF-16 or UTF-32, with or without byte-order mark). Unknown namespaces
  // are registered with the packet's prefix (or a generated one). Malformed XML or RDF, a
  // DOCTYPE, entity declarations, nesting deeper than 512 levels or more than 256 MB raise
  // XMP_Error (kXMPErr_BadXML, kXMPErr_BadRDF, kXMPErr_BadXMP, kXMPErr_BadUnicode); the
  // object is then left unchanged.
  void ParseFromBuffer(const char* buffer, XMP_StringLen length, XMP_OptionBits options = 0);
  void ParseFromBuffer(std::string_view packet, XMP_OptionBits options = 0);

  // Writes the object as a packet into `out` (kXMP_* serialization options). `padding` 0
  // means kXMP_DefaultPadding bytes of whitespace before the trailer; with
  // kXMP_ExactPacketLength it is the exact total length (kXMPErr_BadSerialize if too small).
  // `newline` "" means "\n", `indent` "" means two spaces; `baseIndent` indents every line
  // that many more levels. Characters that XML 1.0 cannot carry (controls other than tab,
  // LF, CR) are written as spaces; markup characters are escaped. On failure `out` is empty.
  void SerializeToBuffer(std::string* out, XMP_OptionBits options = 0, XMP_StringLen padding = 0,
                         const std::string& newline = "", const std::string& indent = "",
                         XMP_Index baseIndent = 0) const;

  // ---- Properties ---------------------------------------------------------------------------

  // Reads a property: true and the value (empty for composites) and options when it exists,
  // false when it does not. A bad path raises kXMPErr_BadXPath.
  bool GetProperty(const std::string& ns, const std::string& path, std::string* value,
                   XMP_OptionBits* options = nullptr) const;
  // Creates or replaces a property. With kXMP_PropValueIsStruct or an array form in
  // `options` (and an empty value) it creates an empty composite; a composite that exists
  // keeps its children and only changes form when compatible. Setting a value on a composite
  // raises kXMPErr_BadXPath. Missing parents (structures, arrays) are created.
  void SetProperty(const std::string& ns, const std::string& path, const std::string& value,
                   XMP_OptionBits options = 0);
  // Removes a property with its subtree (nothing happens when it does not exist). An empty
  // schema left behind is removed too.
  void DeleteProperty(const std::string& ns, const std::string& path);
  bool DoesPropertyExist(const std::string& ns, const std::string& path) const;

  // Typed reads: false when absent. The text is converted as by SXMPUtils::ConvertToBool,
  // ConvertToInt, ConvertToInt64, ConvertToFloat and ConvertToDate ("True"/"False" in any
  // case, also "1"/"0", "yes"/"no", ...); a text that is not such a value, or a composite
  // property, raises kXMPErr_BadValue.
  bool GetProperty_Bool(const std::string& ns, const std::string& path, bool* value,
                        XMP_OptionBits* options = nullptr) const;
  bool GetProperty_Int(const std::string& ns, const std::string& path, XMP_Int32* value,
                       XMP_OptionBits* options = nullptr) const;
  bool GetProperty_Int64(const std::string& ns, const std::string& path, XMP_Int64* value,
                         XMP_OptionBits* options = nullptr) const;
  bool GetProperty_Float(const std::string& ns, const std::string& path, double* value,
                         XMP_OptionBits* options = nullptr) const;
  bool GetProperty_Date(const std::string& ns, const std::string& path, XMP_DateTime* value,
                        XMP_OptionBits* options = nullptr) const;
  // Typed writes, converted as by SXMPUtils::ConvertFromBool ("True"/"False"), ConvertFromInt,
  // ConvertFromInt64, ConvertFromFloat (shortest text that reads back to the same double)
  // and ConvertFromDate (ISO 8601 with the parts the record has).
  void SetProperty_Bool(const std::string& ns, const std::string& path, bool value,
                        XMP_OptionBits options = 0);
  void SetProperty_Int(const std::string& ns, const std::string& path, XMP_Int32 value,
                       XMP_OptionBits options = 0);
  void SetProperty_Int64(const std::string& ns, const std::string& path, XMP_Int64 value,
                         XMP_OptionBits options = 0);
  void SetProperty_Float(const std::string& ns, const std::string& path, double value,
                         XMP_OptionBits options = 0);
  void SetProperty_Date(const std::string& ns, const std::string& path, const XMP_DateTime& value,
                        XMP_OptionBits options = 0);

  // ---- Arrays (index 1-based; kXMP_ArrayLastItem = -1 is the last item) ---------------------

  // Reads one item; false when the array or the item does not exist.
  bool GetArrayItem(const std::string& ns, const std::string& arrayPath, XMP_Index index,
                    std::string* value, XMP_OptionBits* options = nullptr) const;
  // Replaces item `index`, or with kXMP_InsertBeforeItem / kXMP_InsertAfterItem inserts a new
  // item before/after it. Index count+1 appends. Out of range raises kXMPErr_BadIndex; a
  // missing array raises kXMPErr_BadXPath.
  void SetArrayItem(const std::string& ns, const std::string& arrayPath, XMP_Index index,
                    const std::string& value, XMP_OptionBits options = 0);
  // Appends an item, creating the array with `arrayOptions` (an array form) when missing; an
  // existing array keeps its form. A property that exists and is not an array (and not an
  // empty simple value) raises kXMPErr_BadXPath.
  void AppendArrayItem(const std::string& ns, const std::string& arrayPath,
                       XMP_OptionBits arrayOptions, const std::string& value,
                       XMP_OptionBits itemOptions = 0);
  // Removes one item (nothing happens when it does not exist).
  void DeleteArrayItem(const std::string& ns, const std::string& arrayPath, XMP_Index index);
  bool DoesArrayItemExist(const std::string& ns, const std::string& arrayPath,
                          XMP_Index index) const;
  // Number of items; 0 when the array does not exist; kXMPErr_BadXPath when it is no array.
  XMP_Index CountArrayItems(const std::string& ns, const std::string& arrayPath) const;

  // ---- Structure fields ---------------------------------------------------------------------

  bool GetStructField(const std::string& ns, const std::string& structPath,
                      const std::string& fieldNS, const std::string& fieldName, std::string* value,
                      XMP_OptionBits* options = nullptr) const;
  // Sets a field, creating the structure when missing.
  void SetStructField(const std::string& ns, const std::string& structPath,
                      const std::string& fieldNS, const std::string& fieldName,
                      const std::string& value, XMP_OptionBits options = 0);
  void DeleteStructField(const std::string& ns, const std::string& structPath,
                         const std::string& fieldNS, const std::string& fieldName);
  bool DoesStructFieldExist(const std::string& ns, const std::string& structPath,
                            const std::string& fieldNS, const std::string& fieldName) const;

  // ---- Qualifiers ---------------------------------------------------------------------------

  bool GetQualifier(const std::string& ns, const std::string& propPath, const std::string& qualNS,
                    const std::string& qualName, std::string* value,
                    XMP_OptionBits* options = nullptr) const;
  // Sets a qualifier of an existing property (kXMPErr_BadXPath when the property is missing).
  void SetQualifier(const std::string& ns, const std::string& propPath, const std::string& qualNS,
                    const std::string& qualName, const std::string& value,
                    XMP_OptionBits options = 0);
  void DeleteQualifier(const std::string& ns, const std::string& propPath,
                       const std::string& qualNS, const std::string& qualName);
  bool DoesQualifierExist(const std::string& ns, const std::string& propPath,
                          const std::string& qualNS, const std::string& qualName) const;

  // ---- Localized text (alt-text arrays of xml:lang items) -----------------------------------

  // Picks an item of the alt-text array, comparing languages case-insensitively: the item
  // of `specificLang`; else, when `genericLang` is given, the first item whose language is
  // genericLang or starts with genericLang + "-"; else the "x-default" item; else the first
  // item. Returns false when the array is missing or empty. `actualLang` receives the chosen
  // item's language. A property that is not an alt-text array raises kXMPErr_BadXPath.
  bool GetLocalizedText(const std::string& ns, const std::string& altTextPath,
                        const std::string& genericLang, const std::string& specificLang,
                        std::string* actualLang, std::string* value,
                        XMP_OptionBits* options = nullptr) const;
  // Sets the item for `specificLang`, creating the array when missing, and keeps "x-default"
  // first and in step: setting "x-default" also updates the item whose value equaled the old
  // x-default value (when it was the only other item); setting another language when there is
  // no x-default item, or when the x-default item equaled that language's old value, sets
  // x-default too. An empty specificLang raises kXMPErr_BadParam.
  void SetLocalizedText(const std::string& ns, const std::string& altTextPath,
                        const std::string& genericLang, const std::string& specificLang,
                        const std::string& value, XMP_OptionBits options = 0);
  // Removes the item for `specificLang`; removing x-default also removes a non-default item
  // with the same value.
  void DeleteLocalizedText(const std::string& ns, const std::string& altTextPath,
                           const std::string& genericLang, const std::string& specificLang);

  // ---- Multiple values of collected objects -------------------------------------------------

  // The collecting merge (SXMPUtils::CollectProperties) marks the nodes whose values differ
  // between the collected objects: a top-level property, or, inside structures that every
  // object has, only the differing or partly present fields. A marked node keeps no value or
  // children of its own.
  // True when the node at `path` or one of its ancestors is marked (a node below a marked one
  // is part of a differing whole).
  bool HasMultipleValues(const std::string& ns, const std::string& path) const;
  // Clears the mark of the node at `path` itself (its ancestors keep theirs). Writing a
  // value with the setters clears it too. Never creates a node.
  void ClearMultipleValues(const std::string& ns, const std::string& path);

 private:
  __XMPMeta__* mHandle;  // holds one reference
};
