#pragma once

// SXMPFiles: XMP in media files. Opens a file, detects its format from its content (the
// extension is only a hint), reads its XMP packet and writes a new one back without touching
// the media data. One object handles one open file at a time; objects are independent and
// may be used on different threads.
//
// Every failure raises XMP_Error (kXMPErr_NoFile, kXMPErr_FilePermission,
// kXMPErr_BadFileFormat, kXMPErr_WriteError, ...) with a message naming the file and the
// problem.

#include <memory>
#include <string>
#include <vector>

#include "veltcore/Export.h"
#include "xmp/SXMPMeta.h"
#include "xmp/XMP_Const.h"

// Format codes of the file handlers beyond those of XMP_Const.h.
inline constexpr XMP_FileFormat kXMP_StandaloneXMPFile = XMP_FourCC("XMP ");  // ".xmp" sidecar
inline constexpr XMP_FileFormat kXMP_DNGFile = XMP_FourCC("DNG ");            // read-only
inline constexpr XMP_FileFormat kXMP_CameraRawFile = XMP_FourCC("CRAW");      // read-only
inline constexpr XMP_FileFormat kXMP_EPSFile = XMP_FourCC("EPS ");   // packet scanning, read-only
inline constexpr XMP_FileFormat kXMP_HTMLFile = XMP_FourCC("HTML");  // packet scanning, read-only

// Open flag: an update may replace XMP that cannot be read (a packet in a broken encoding or
// that does not parse, or a block that claims to hold XMP but holds none). Without it PutXMP
// refuses to replace such XMP, so that what we could not read is never lost silently.
inline constexpr XMP_OptionBits kXMPFiles_OpenReplaceUnreadableXMP = 0x00100000;

// Handler flags (GetFileInfo, GetFormatInfo).
inline constexpr XMP_OptionBits kXMPFiles_CanInjectXMP = 0x00000001;
inline constexpr XMP_OptionBits kXMPFiles_CanExpand = 0x00000002;
inline constexpr XMP_OptionBits kXMPFiles_CanRewrite = 0x00000004;
inline constexpr XMP_OptionBits kXMPFiles_PrefersInPlace = 0x00000008;
inline constexpr XMP_OptionBits kXMPFiles_AllowsOnlyXMP = 0x00000020;
inline constexpr XMP_OptionBits kXMPFiles_ReturnsRawPacket = 0x00000040;
inline constexpr XMP_OptionBits kXMPFiles_AllowsSafeUpdate = 0x00000200;
inline constexpr XMP_OptionBits kXMPFiles_NeedsReadOnlyPacket = 0x00000400;
inline constexpr XMP_OptionBits kXMPFiles_UsesSidecarXMP = 0x00000800;

// Where a packet sits in its file (GetXMP).
struct XMP_PacketInfo {
  XMP_Int64 offset = -1;   // byte offset in the file; -1 when not stored in one piece
  XMP_Int32 length = 0;    // bytes, padding included
  XMP_Int32 padSize = 0;   // whitespace padding before the trailer
  bool writeable = false;  // the trailer says end="w"
};

class VELT_EXPORT SXMPFiles {
 public:
  // ---- Process-wide ------------------------------------------------------------------------

  // Starts the file handlers; reference counted. `options` must be 0; the plug-in folder may
  // be null or empty (no plug-ins are loaded: every handler is built in). Returns true.
  static bool Initialize(XMP_OptionBits options = 0, const char* pluginFolder = nullptr);
  // Ends one Initialize.
  static void Terminate();
  // Version record; `message` names the library and its version.
  static void GetVersionInfo(XMP_VersionInfo* info);
  // True when a handler exists for `format`; its flags go to `handlerFlags` when given.
  static bool GetFormatInfo(XMP_FileFormat format, XMP_OptionBits* handlerFlags = nullptr);
  // The format detected from the file's content, kXMP_UnknownFile when no handler accepts it
  // or it cannot be read. Never throws.
  static XMP_FileFormat CheckFileFormat(const std::string& filePath);
  // Appends the files that make up the media file to `resources`: the file itself and, when
  // it exists, the ".xmp" sidecar of the same base name in the same folder. False (nothing
  // appended) when the file does not exist or no handler takes it. `format` names the
  // handler (kXMP_UnknownFile: detect); option bits are those of OpenFile.
  static bool GetAssociatedResources(const std::string& filePath,
                                     std::vector<std::string>* resources,
                                     XMP_FileFormat format = kXMP_UnknownFile,
                                     XMP_OptionBits options = 0);

  // ---- One file ----------------------------------------------------------------------------

  SXMPFiles();
  // Opens as OpenFile; when that returns false raises XMP_Error (kXMPErr_NoFileHandler)
  // "OpenFile returned false".
  explicit SXMPFiles(const std::string& filePath, XMP_FileFormat format = kXMP_UnknownFile,
                     XMP_OptionBits openFlags = 0);
  explicit SXMPFiles(const char* filePath, XMP_FileFormat format = kXMP_UnknownFile,
                     XMP_OptionBits openFlags = 0);
  // Closes without writing when a file is still open.
  ~SXMPFiles();
  SXMPFiles(const SXMPFiles&) = delete;
  SXMPFiles& operator=(const SXMPFiles&) = delete;

  // Opens a file (kXMPFiles_OpenFor... flags). `format` kXMP_UnknownFile detects; another
  // format is tried first, or only with kXMPFiles_ForceGivenHandler or
  // kXMPFiles_OpenStrictly. Packet scanning serves files without a format handler only with
  // kXMPFiles_OpenUsePacketScanning (or kXMPFiles_OpenLimitedScanning, which scans the whole
  // file all the same) and without kXMPFiles_OpenUseSmartHandler; such files are read-only.
  // kXMPFiles_OpenOnlyXMP and kXMPFiles_OptimizeFileLayout are accepted and change nothing:
  // handlers read and write only the XMP, and an update never moves the media data. Returns
  // false when no handler takes the file; raises XMP_Error when the file is missing
  // (kXMPErr_NoFile), a folder or not readable (kXMPErr_FilePermission), or an object
  // already has a file open.
  bool OpenFile(const std::string& filePath, XMP_FileFormat format = kXMP_UnknownFile,
                XMP_OptionBits openFlags = 0);
  // Writes the XMP given to PutXMP when the file was opened for update, then closes. On a
  // write failure raises XMP_Error; the file is then as it was and the object closed.
  // kXMPFiles_UpdateSafely is accepted and changes nothing: every update is safe already (a
  // rewrite goes through a temporary file, an in-place write is undone on failure).
  void CloseFile(XMP_OptionBits closeFlags = 0);
  // False when no file is open; otherwise true and the requested items.
  bool GetFileInfo(std::string* filePath = nullptr, XMP_OptionBits* openFlags = nullptr,
                   XMP_FileFormat* format = nullptr, XMP_OptionBits* handlerFlags = nullptr) const;
  // Reads the file's XMP. `meta` is cleared first. True only when the file holds XMP; then
  // `meta` holds it parsed, `packet` the packet as stored (in its stored encoding) and `info`
  // its place. Packets in UTF-8, UTF-16 or UTF-32 of either byte order are read. A block
  // reserved for XMP that holds only padding is no XMP (with a warning). A packet that cannot
  // be decoded or does not parse, or a block that claims to hold XMP but holds no packet,
  // raises XMP_Error (kXMPErr_BadUnicode, kXMPErr_BadXML...); a broken file structure
  // raises kXMPErr_BadFileFormat. Recoveries (a duplicate packet ignored, a legacy chunk
  // read) are reported through XMP_ReportWarning, each prefixed with the file's path.
  bool GetXMP(SXMPMeta* meta = nullptr, std::string* packet = nullptr,
              XMP_PacketInfo* info = nullptr);
  // Sets the XMP to write at CloseFile. Raises XMP_Error: kXMPErr_BadParam when the file is
  // not open for update, kXMPErr_Unavailable when its handler cannot write, and the error
  // GetXMP would raise when the file's XMP cannot be read, unless the file was opened with
  // kXMPFiles_OpenReplaceUnreadableXMP: the file is then left as it was.
  void PutXMP(const SXMPMeta& meta);
  void PutXMP(const std::string& packet);
  // True when PutXMP would be accepted (reads the file's XMP to tell).
  bool CanPutXMP(const SXMPMeta& meta) const;
  bool CanPutXMP(const std::string& packet) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> mImpl;
};
