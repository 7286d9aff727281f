#pragma once

// Constants and basic types of the XMP toolkit: option bits, error ids, file format codes,
// namespace URIs, the date-time record and the error type. Every option bit and error id of
// the toolkit is defined here, once.

#include <cstdint>
#include <exception>
#include <string>

#include "veltcore/Export.h"
#include "veltcore/Namespaces.h"

using XMP_Int8 = std::int8_t;
using XMP_Int32 = std::int32_t;
using XMP_Int64 = std::int64_t;
using XMP_Uns32 = std::uint32_t;
using XMP_Index = std::int32_t;        // 1-based array index; kXMP_ArrayLastItem for the last
using XMP_StringLen = std::uint32_t;   // length of a text in bytes
using XMP_OptionBits = std::uint32_t;  // a set of the option bits below
using XMP_FileFormat = std::uint32_t;  // a four-character format code, see kXMP_*File
using XMP_ErrorID = std::int32_t;

// Builds a four-character code, first character in the high byte ('JPEG' -> 0x4A504547).
constexpr XMP_Uns32 XMP_FourCC(const char (&code)[5]) {
  return (XMP_Uns32(std::uint8_t(code[0])) << 24) | (XMP_Uns32(std::uint8_t(code[1])) << 16) |
         (XMP_Uns32(std::uint8_t(code[2])) << 8) | XMP_Uns32(std::uint8_t(code[3]));
}

// The four characters of a code, first from the high byte (0x4A504547 -> "JPEG").
inline std::string XMP_FourCCString(XMP_Uns32 code) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i)
    text[static_cast<std::size_t>(i)] = static_cast<char>(code >> (24 - 8 * i));
  return text;
}

// ---------------------------------------------------------------------------------------------
// Array indices
inline constexpr XMP_Index kXMP_ArrayLastItem = -1;      // addresses the last item of an array
inline constexpr const char* kXMP_ArrayItemName = "[]";  // node name of array items

// ---------------------------------------------------------------------------------------------
// Property options: the form of a node. Returned by the getters, passed to the setters.
inline constexpr XMP_OptionBits kXMP_NoOptions = 0;
inline constexpr XMP_OptionBits kXMP_PropValueIsURI = 0x00000002;      // simple value is a URI
inline constexpr XMP_OptionBits kXMP_PropHasQualifiers = 0x00000010;   // node has qualifiers
inline constexpr XMP_OptionBits kXMP_PropIsQualifier = 0x00000020;     // node is a qualifier
inline constexpr XMP_OptionBits kXMP_PropHasLang = 0x00000040;         // has an xml:lang qualifier
inline constexpr XMP_OptionBits kXMP_PropHasType = 0x00000080;         // has an rdf:type qualifier
inline constexpr XMP_OptionBits kXMP_PropValueIsStruct = 0x00000100;   // structure
inline constexpr XMP_OptionBits kXMP_PropValueIsArray = 0x00000200;    // array (unordered: bag)
inline constexpr XMP_OptionBits kXMP_PropArrayIsOrdered = 0x00000400;  // ordered array (seq)
inline constexpr XMP_OptionBits kXMP_PropArrayIsAlternate = 0x00000800;  // alternative (alt)
inline constexpr XMP_OptionBits kXMP_PropArrayIsAltText = 0x00001000;    // alt of xml:lang texts
inline constexpr XMP_OptionBits kXMP_PropCompositeMask = 0x00001F00;     // struct or any array
inline constexpr XMP_OptionBits kXMP_PropArrayFormMask = 0x00001E00;     // any array form
// The property holds differing values in an object collected from several objects. Set by
// the collecting merge, queried by SXMPMeta::HasMultipleValues; never serialized.
inline constexpr XMP_OptionBits kXMP_PropHasMultipleValues = 0x00010000;
inline constexpr XMP_OptionBits kXMP_SchemaNode = 0x80000000;  // a top-level schema node
// Bits the caller may give to the setters to describe the value's form.
inline constexpr XMP_OptionBits kXMP_PropSetterMask = kXMP_PropValueIsURI | kXMP_PropCompositeMask;

// Array item placement for SetArrayItem.
inline constexpr XMP_OptionBits kXMP_InsertBeforeItem = 0x00004000;
inline constexpr XMP_OptionBits kXMP_InsertAfterItem = 0x00008000;

// ---------------------------------------------------------------------------------------------
// Parsing options (ParseFromBuffer).
inline constexpr XMP_OptionBits kXMP_RequireXMPMeta = 0x00000001;  // x:xmpmeta must be present

// ---------------------------------------------------------------------------------------------
// Serialization options (SerializeToBuffer).
inline constexpr XMP_OptionBits kXMP_OmitPacketWrapper = 0x00000010;   // no <?xpacket?> lines
inline constexpr XMP_OptionBits kXMP_ReadOnlyPacket = 0x00000020;      // end="r" trailer
inline constexpr XMP_OptionBits kXMP_UseCompactFormat = 0x00000040;    // simple values as attrs
inline constexpr XMP_OptionBits kXMP_UseCanonicalFormat = 0x00000080;  // elements only
inline constexpr XMP_OptionBits kXMP_ExactPacketLength = 0x00000200;   // padding = total length
inline constexpr XMP_OptionBits kXMP_OmitAllFormatting = 0x00000800;   // no newlines or indent
inline constexpr XMP_OptionBits kXMP_OmitXMPMetaElement = 0x00001000;  // bare rdf:RDF
// Output encoding (bits 0x7 of the serialization options); UTF-8 by default.
inline constexpr XMP_OptionBits kXMP_EncodingMask = 0x00000007;
inline constexpr XMP_OptionBits kXMP_EncodeUTF8 = 0x00000000;
inline constexpr XMP_OptionBits kXMP_EncodeUTF16Big = 0x00000002;
inline constexpr XMP_OptionBits kXMP_EncodeUTF16Little = 0x00000003;
inline constexpr XMP_OptionBits kXMP_EncodeUTF32Big = 0x00000004;
inline constexpr XMP_OptionBits kXMP_EncodeUTF32Little = 0x00000005;
// Padding used when the caller passes 0.
inline constexpr XMP_StringLen kXMP_DefaultPadding = 2048;

// ---------------------------------------------------------------------------------------------
// Iteration options (SXMPIterator).
inline constexpr XMP_OptionBits kXMP_IterClassMask = 0x000000FF;
inline constexpr XMP_OptionBits kXMP_IterProperties = 0x00000000;      // iterate the data tree
inline constexpr XMP_OptionBits kXMP_IterJustChildren = 0x00000100;    // one level only
inline constexpr XMP_OptionBits kXMP_IterJustLeafNodes = 0x00000200;   // only nodes with values
inline constexpr XMP_OptionBits kXMP_IterJustLeafName = 0x00000400;    // path = leaf name only
inline constexpr XMP_OptionBits kXMP_IterOmitQualifiers = 0x00001000;  // skip qualifiers
// SXMPIterator::Skip.
inline constexpr XMP_OptionBits kXMP_IterSkipSubtree = 0x00000001;
inline constexpr XMP_OptionBits kXMP_IterSkipSiblings = 0x00000002;

// ---------------------------------------------------------------------------------------------
// Utility options (SXMPUtils).
// CatenateArrayItems / SeparateArrayItems: allow commas as separators when separating.
inline constexpr XMP_OptionBits kXMPUtil_AllowCommas = 0x10000000;
// RemoveProperties: also remove properties of the toolkit's own internal namespaces.
inline constexpr XMP_OptionBits kXMPUtil_DoAllProperties = 0x00000001;
// Merges: replace existing values in the destination (with kXMPUtil_DoAllProperties,
// option 3 is the schema merge).
inline constexpr XMP_OptionBits kXMPUtil_ReplaceOldValues = 0x00000002;
// Merges: an empty source value deletes the destination property.
inline constexpr XMP_OptionBits kXMPUtil_DeleteEmptyValues = 0x00000004;

// ApplyTemplate flags.
inline constexpr XMP_OptionBits kXMPTemplate_IncludeInternalProperties = 0x00000001;
inline constexpr XMP_OptionBits kXMPTemplate_ReplaceExistingProperties = 0x00000002;
inline constexpr XMP_OptionBits kXMPTemplate_ReplaceWithDeleteEmpty = 0x00000004;
inline constexpr XMP_OptionBits kXMPTemplate_AddNewProperties = 0x00000008;
inline constexpr XMP_OptionBits kXMPTemplate_ClearUnnamedProperties = 0x00000010;

// ---------------------------------------------------------------------------------------------
// File handler open flags (SXMPFiles::OpenFile, constructor).
inline constexpr XMP_OptionBits kXMPFiles_OpenForRead = 0x00000001;
inline constexpr XMP_OptionBits kXMPFiles_OpenForUpdate = 0x00000002;
inline constexpr XMP_OptionBits kXMPFiles_OpenOnlyXMP = 0x00000004;        // other metadata ignored
inline constexpr XMP_OptionBits kXMPFiles_ForceGivenHandler = 0x00000008;  // trust the format
inline constexpr XMP_OptionBits kXMPFiles_OpenStrictly = 0x00000010;       // fail on any doubt
// Only a format-aware handler may open the file; no fall-back to packet scanning.
inline constexpr XMP_OptionBits kXMPFiles_OpenUseSmartHandler = 0x00000020;
// Find the XMP by scanning the bytes for a packet, without a format-aware handler.
inline constexpr XMP_OptionBits kXMPFiles_OpenUsePacketScanning = 0x00000040;
// When packet scanning, scan only the start and end of large files.
inline constexpr XMP_OptionBits kXMPFiles_OpenLimitedScanning = 0x00000080;
// Accepted with both opens (hosts pass it by habit); it never makes an update rewrite or move
// the media data: an edit writes only the metadata's own bytes, whatever the layout.
inline constexpr XMP_OptionBits kXMPFiles_OptimizeFileLayout = 0x00000400;
// Close flags.
inline constexpr XMP_OptionBits kXMPFiles_UpdateSafely = 0x00000001;  // via a temporary file

// ---------------------------------------------------------------------------------------------
// File format codes.
inline constexpr XMP_FileFormat kXMP_UnknownFile = 0x20202020;  // four spaces
inline constexpr XMP_FileFormat kXMP_PDFFile = XMP_FourCC("PDF ");
inline constexpr XMP_FileFormat kXMP_PostScriptFile = XMP_FourCC("PS  ");
inline constexpr XMP_FileFormat kXMP_JPEGFile = XMP_FourCC("JPEG");
inline constexpr XMP_FileFormat kXMP_JPEG2KFile = XMP_FourCC("JPX ");
inline constexpr XMP_FileFormat kXMP_TIFFFile = XMP_FourCC("TIFF");
inline constexpr XMP_FileFormat kXMP_GIFFile = XMP_FourCC("GIF ");
inline constexpr XMP_FileFormat kXMP_PNGFile = XMP_FourCC("PNG ");
inline constexpr XMP_FileFormat kXMP_WebPFile = XMP_FourCC("WEBP");
inline constexpr XMP_FileFormat kXMP_HEIFFile = XMP_FourCC("HEIF");  // HEIC and HEIF
inline constexpr XMP_FileFormat kXMP_AVIFFile = XMP_FourCC("AVIF");
inline constexpr XMP_FileFormat kXMP_SVGFile = XMP_FourCC("SVG ");
inline constexpr XMP_FileFormat kXMP_PhotoshopFile = XMP_FourCC("PSD ");
inline constexpr XMP_FileFormat kXMP_MP3File = XMP_FourCC("MP3 ");
inline constexpr XMP_FileFormat kXMP_WAVFile = XMP_FourCC("WAV ");
inline constexpr XMP_FileFormat kXMP_AIFFFile = XMP_FourCC("AIFF");  // AIFF and AIFF-C
inline constexpr XMP_FileFormat kXMP_AVIFile = XMP_FourCC("AVI ");
inline constexpr XMP_FileFormat kXMP_MPEG4File = XMP_FourCC("MPG4");
inline constexpr XMP_FileFormat kXMP_MOVFile = XMP_FourCC("MOV ");
inline constexpr XMP_FileFormat kXMP_XMLFile = XMP_FourCC("XML ");
inline constexpr XMP_FileFormat kXMP_TextFile = XMP_FourCC("TEXT");

// ---------------------------------------------------------------------------------------------
// Error ids carried by XMP_Error.
enum : XMP_ErrorID {
  kXMPErr_Unknown = 0,
  kXMPErr_TBD = 1,
  kXMPErr_Unavailable = 2,
  kXMPErr_BadObject = 3,  // a null or released object
  kXMPErr_BadParam = 4,   // an argument is wrong (empty name, unknown option, ...)
  kXMPErr_BadValue = 5,   // a value cannot be converted (not a number, not a date)
  kXMPErr_AssertFailure = 6,
  kXMPErr_EnforceFailure = 7,
  kXMPErr_Unimplemented = 8,
  kXMPErr_InternalFailure = 9,
  kXMPErr_Deprecated = 10,
  kXMPErr_ExternalFailure = 11,
  kXMPErr_UserAbort = 12,
  kXMPErr_StdException = 13,
  kXMPErr_UnknownException = 14,
  kXMPErr_NoMemory = 15,
  kXMPErr_NotInitialized = 16,  // Initialize was not called

  kXMPErr_BadSchema = 101,   // unknown or empty schema namespace
  kXMPErr_BadXPath = 102,    // malformed path, or a path that does not fit the data
  kXMPErr_BadOptions = 103,  // contradicting or unknown option bits
  kXMPErr_BadIndex = 104,    // array index out of range
  kXMPErr_BadIterPosition = 105,
  kXMPErr_BadParse = 106,
  kXMPErr_BadSerialize = 107,  // e.g. the exact packet length is too small
  kXMPErr_BadFileFormat = 108,
  kXMPErr_NoFileHandler = 109,
  kXMPErr_TooLargeForJPEG = 110,
  kXMPErr_NoFile = 111,  // the file does not exist
  kXMPErr_FilePermission = 112,
  kXMPErr_DiskSpace = 113,
  kXMPErr_ReadError = 114,
  kXMPErr_WriteError = 115,

  kXMPErr_BadXML = 201,  // not well-formed XML, DOCTYPE, entities, too deep or large
  kXMPErr_BadRDF = 202,  // well-formed XML that is not valid RDF for XMP
  kXMPErr_BadXMP = 203,  // valid RDF that breaks the XMP data model
  kXMPErr_EmptyIterator = 204,
  kXMPErr_BadUnicode = 205,  // invalid UTF-8/16/32
  kXMPErr_BadTIFF = 206,
  kXMPErr_BadJPEG = 207,
  kXMPErr_BadPSD = 208,
  kXMPErr_BadPSIR = 209,
  kXMPErr_BadIPTC = 210,
  kXMPErr_BadMPEG = 211,
  kXMPErr_BadBlockFormat = 212,  // a box, chunk or segment that does not fit its container
};

// Every failure of the toolkit: a numeric id (kXMPErr_*) and a message naming what was wrong.
class VELT_EXPORT XMP_Error : public std::exception {
 public:
  XMP_Error(XMP_ErrorID id, std::string message);
  ~XMP_Error() override;
  XMP_Error(const XMP_Error&) = default;
  XMP_Error& operator=(const XMP_Error&) = default;

  XMP_ErrorID GetID() const noexcept { return mID; }
  const char* GetErrMsg() const noexcept { return mMessage.c_str(); }
  const char* what() const noexcept override;

 private:
  XMP_ErrorID mID;
  std::string mMessage;
};

// ---------------------------------------------------------------------------------------------
// A date and time of ISO 8601 with the partial forms XMP allows. The has* flags say which
// parts are present; a part that is absent holds zeros.
inline constexpr XMP_Int8 kXMP_TimeWestOfUTC = -1;
inline constexpr XMP_Int8 kXMP_TimeIsUTC = 0;
inline constexpr XMP_Int8 kXMP_TimeEastOfUTC = +1;

struct XMP_DateTime {
  XMP_Int32 year = 0;                // may be negative or above 9999
  XMP_Int32 month = 0;               // 1..12, 0 when only the year is known
  XMP_Int32 day = 0;                 // 1..31, 0 when only year and month are known
  XMP_Int32 hour = 0;                // 0..23
  XMP_Int32 minute = 0;              // 0..59
  XMP_Int32 second = 0;              // 0..59
  XMP_Int32 nanoSecond = 0;          // 0..999999999
  bool hasDate = false;              // year (and possibly month and day) present
  bool hasTime = false;              // hour and minute (and possibly seconds) present
  bool hasTimeZone = false;          // a zone was given (Z or +hh:mm); only with a time
  XMP_Int8 tzSign = kXMP_TimeIsUTC;  // kXMP_TimeWestOfUTC, kXMP_TimeIsUTC, kXMP_TimeEastOfUTC
  XMP_Int32 tzHour = 0;
  XMP_Int32 tzMinute = 0;

  friend bool operator==(const XMP_DateTime&, const XMP_DateTime&) = default;
};

// The toolkit's version record (SXMPMeta::GetVersionInfo).
struct XMP_VersionInfo {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  std::uint8_t micro = 0;
  bool isDebug = false;
  XMP_Uns32 build = 0;
  XMP_OptionBits flags = 0;
  std::string message;  // e.g. "veltmetadata XMP Core 0.1.0"
};

// ---------------------------------------------------------------------------------------------
// Namespace URIs. The registry pre-registers each with the prefix named in its constant.
inline constexpr const char kXMP_NS_XML[] = "http://www.w3.org/XML/1998/namespace";
inline constexpr const char kXMP_NS_RDF[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
inline constexpr const char kXMP_NS_Meta[] = "adobe:ns:meta/";  // x:xmpmeta
inline constexpr const char kXMP_NS_DC[] = "http://purl.org/dc/elements/1.1/";
inline constexpr const char kXMP_NS_XMP[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr const char kXMP_NS_XMP_Rights[] = "http://ns.adobe.com/xap/1.0/rights/";
inline constexpr const char kXMP_NS_XMP_MM[] = "http://ns.adobe.com/xap/1.0/mm/";
inline constexpr const char kXMP_NS_XMP_BJ[] = "http://ns.adobe.com/xap/1.0/bj/";
inline constexpr const char kXMP_NS_XMP_T[] = "http://ns.adobe.com/xap/1.0/t/";
inline constexpr const char kXMP_NS_XMP_T_PG[] = "http://ns.adobe.com/xap/1.0/t/pg/";
inline constexpr const char kXMP_NS_XMP_G[] = "http://ns.adobe.com/xap/1.0/g/";
inline constexpr const char kXMP_NS_XMP_G_IMG[] = "http://ns.adobe.com/xap/1.0/g/img/";
inline constexpr const char kXMP_NS_DM[] = "http://ns.adobe.com/xmp/1.0/DynamicMedia/";
inline constexpr const char kXMP_NS_XMP_Note[] = "http://ns.adobe.com/xmp/note/";
inline constexpr const char kXMP_NS_XMP_IdentifierQual[] =
    "http://ns.adobe.com/xmp/Identifier/qual/1.0/";
inline constexpr const char kXMP_NS_PDF[] = "http://ns.adobe.com/pdf/1.3/";
inline constexpr const char kXMP_NS_PDFX[] = "http://ns.adobe.com/pdfx/1.3/";
inline constexpr const char kXMP_NS_Photoshop[] = "http://ns.adobe.com/photoshop/1.0/";
inline constexpr const char kXMP_NS_CameraRaw[] = "http://ns.adobe.com/camera-raw-settings/1.0/";
inline constexpr const char kXMP_NS_TIFF[] = "http://ns.adobe.com/tiff/1.0/";
inline constexpr const char kXMP_NS_EXIF[] = "http://ns.adobe.com/exif/1.0/";
inline constexpr const char kXMP_NS_EXIF_Aux[] = "http://ns.adobe.com/exif/1.0/aux/";
inline constexpr const char kXMP_NS_ExifEX[] = "http://cipa.jp/exif/1.0/";
inline constexpr const char kXMP_NS_IPTCCore[] = "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/";
inline constexpr const char kXMP_NS_IPTCExt[] = "http://iptc.org/std/Iptc4xmpExt/2008-02-29/";
inline constexpr const char kXMP_NS_PLUS[] = "http://ns.useplus.org/ldf/xmp/1.0/";
inline constexpr const char kXMP_NS_CC[] = "http://creativecommons.org/ns#";
inline constexpr const char kXMP_NS_MWG_RS[] =
    "http://www.metadataworkinggroup.com/schemas/regions/";
inline constexpr const char kXMP_NS_MWG_KW[] =
    "http://www.metadataworkinggroup.com/schemas/keywords/";
inline constexpr const char kXMP_NS_MWG_Coll[] =
    "http://www.metadataworkinggroup.com/schemas/collections/";
// Structure type namespaces (st*).
inline constexpr const char kXMP_NS_XMP_Dimensions[] =
    "http://ns.adobe.com/xap/1.0/sType/Dimensions#";  // stDim
inline constexpr const char kXMP_NS_XMP_ResourceEvent[] =
    "http://ns.adobe.com/xap/1.0/sType/ResourceEvent#";  // stEvt
inline constexpr const char kXMP_NS_XMP_ResourceRef[] =
    "http://ns.adobe.com/xap/1.0/sType/ResourceRef#";  // stRef
inline constexpr const char kXMP_NS_XMP_ST_Version[] =
    "http://ns.adobe.com/xap/1.0/sType/Version#";  // stVer
inline constexpr const char kXMP_NS_XMP_ST_Job[] = "http://ns.adobe.com/xap/1.0/sType/Job#";
inline constexpr const char kXMP_NS_XMP_Font[] = "http://ns.adobe.com/xap/1.0/sType/Font#";
inline constexpr const char kXMP_NS_XMP_ManifestItem[] =
    "http://ns.adobe.com/xap/1.0/sType/ManifestItem#";  // stMfs
inline constexpr const char kXMP_NS_XMP_Area[] = "http://ns.adobe.com/xmp/sType/Area#";
inline constexpr const char kXMP_NS_XMP_Image[] = "http://ns.adobe.com/xap/1.0/g/img/";
// The toolkit's own namespace for bookkeeping properties that are not part of a file's
// metadata (e.g. "MultiFileCount" of a collected object). Never written to files.
inline constexpr const char kXMP_NS_Transient[] = VELT_NAMESPACE_HOST "/xmp/transient/1.0/";
