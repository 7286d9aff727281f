#pragma once

// The interface of one file-format handler. A handler is a stateless object that knows one
// format (or a family of variants): it recognises the format from the first bytes of a file,
// finds the XMP packet in it, and writes a new packet back without touching anything else.
//
// Writing a handler:
//   1. Derive from FileHandler; implement Format, Flags, Name, Extensions, CheckFormat, Read
//      and (unless read-only) Write. Work only through the Storage you are given: its reads
//      are bounded and throw FileError past the end; check every size field against
//      Storage::Remaining before trusting it, and never allocate more than the file holds.
//   2. Report broken structures with ThrowFormat("box 'moov' claims 912 bytes, 40 remain").
//      Return std::nullopt from Read when the file simply holds no XMP. Return the packet's
//      bytes as stored: SXMPFiles decodes them (UTF-16/32, padding) for every handler, and
//      treats a block holding no packet as unreadable XMP that an update must not replace.
//      Report recoveries (a duplicate packet ignored) with XMP_ReportWarning.
//   3. Write in place (Storage::WriteAt) only when PacketText::FitTo gives a packet of
//      exactly the old packet's length; otherwise build the new file with
//      Storage::StartRewrite (copying untouched ranges with Rewrite::AppendFrom) and Commit
//      it, or, for containers of boxes or chunks, place a new unit with PlaceUnit
//      (io/FreeSpace.h), supplying only how free units are written.
//   4. Add a factory function `std::unique_ptr<FileHandler> MakeXxxHandler()` and list it in
//      HandlerRegistry.cpp.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/Storage.h"
#include "xmp/SXMPFiles.h"

namespace xmpfiles {

// Four-character format code, big-endian in an integer: FourCC("JPEG") == 0x4A504547.
constexpr std::uint32_t FourCC(const char (&s)[5]) {
  return XMP_FourCC(s);
}
std::string FourCCString(std::uint32_t code);

// Format codes: the toolkit's public kXMP_...File constants under the handler layer's names.
inline constexpr std::uint32_t kFormatUnknown = kXMP_UnknownFile;
inline constexpr std::uint32_t kFormatJPEG = kXMP_JPEGFile;
inline constexpr std::uint32_t kFormatTIFF = kXMP_TIFFFile;
inline constexpr std::uint32_t kFormatPNG = kXMP_PNGFile;
inline constexpr std::uint32_t kFormatGIF = kXMP_GIFFile;
inline constexpr std::uint32_t kFormatXMP = kXMP_StandaloneXMPFile;
inline constexpr std::uint32_t kFormatDNG = kXMP_DNGFile;
inline constexpr std::uint32_t kFormatCameraRaw = kXMP_CameraRawFile;
inline constexpr std::uint32_t kFormatMPEG4 = kXMP_MPEG4File;
inline constexpr std::uint32_t kFormatMOV = kXMP_MOVFile;
inline constexpr std::uint32_t kFormatWAV = kXMP_WAVFile;
inline constexpr std::uint32_t kFormatAVI = kXMP_AVIFile;
inline constexpr std::uint32_t kFormatMP3 = kXMP_MP3File;
inline constexpr std::uint32_t kFormatPDF = kXMP_PDFFile;
inline constexpr std::uint32_t kFormatPSD = kXMP_PhotoshopFile;
inline constexpr std::uint32_t kFormatHEIF = kXMP_HEIFFile;
inline constexpr std::uint32_t kFormatAVIF = kXMP_AVIFFile;
inline constexpr std::uint32_t kFormatWebP = kXMP_WebPFile;
inline constexpr std::uint32_t kFormatAIFF = kXMP_AIFFFile;
inline constexpr std::uint32_t kFormatEPS = kXMP_EPSFile;
inline constexpr std::uint32_t kFormatSVG = kXMP_SVGFile;
inline constexpr std::uint32_t kFormatHTML = kXMP_HTMLFile;

// Handler flags: the toolkit's public kXMPFiles_... handler flags.
// Adds XMP to a file that has none; without it the handler is read-only.
inline constexpr std::uint32_t kHandlerCanInjectXMP = kXMPFiles_CanInjectXMP;
// Grows the packet beyond its old size.
inline constexpr std::uint32_t kHandlerCanExpand = kXMPFiles_CanExpand;
// Rewrites the whole file when the packet cannot be placed otherwise.
inline constexpr std::uint32_t kHandlerCanRewrite = kXMPFiles_CanRewrite;
inline constexpr std::uint32_t kHandlerPrefersInPlace = kXMPFiles_PrefersInPlace;
inline constexpr std::uint32_t kHandlerAllowsOnlyXMP = kXMPFiles_AllowsOnlyXMP;
inline constexpr std::uint32_t kHandlerReturnsRawPacket = kXMPFiles_ReturnsRawPacket;
inline constexpr std::uint32_t kHandlerAllowsSafeUpdate = kXMPFiles_AllowsSafeUpdate;
// The packet scanner: its packets are read-only.
inline constexpr std::uint32_t kHandlerNeedsReadOnlyPacket = kXMPFiles_NeedsReadOnlyPacket;
inline constexpr std::uint32_t kHandlerUsesSidecarXMP = kXMPFiles_UsesSidecarXMP;
// Flags of a complete read-write handler.
inline constexpr std::uint32_t kHandlerReadWrite =
    kHandlerCanInjectXMP | kHandlerCanExpand | kHandlerCanRewrite | kHandlerPrefersInPlace |
    kHandlerAllowsOnlyXMP | kHandlerReturnsRawPacket | kHandlerAllowsSafeUpdate;

// Where the packet sits in the file.
struct PacketInfo {
  std::int64_t mOffset = -1;  // byte offset of the packet in the file; -1 when not contiguous
  std::int32_t mLength = 0;   // bytes, padding included
  std::int32_t mPadSize = 0;  // whitespace padding bytes before the trailer
  bool mWritable = false;     // the packet's trailer says end="w"
};

// What Read finds.
struct FoundPacket {
  std::string mPacket;  // the (standard) packet, UTF-8, as stored
  PacketInfo mInfo;
  std::string mExtended;  // JPEG extended XMP (a whole serialised XMP), "" when none
  // Why part of the XMP was left out of the reading (pieces that do not assemble), "" when
  // none: the rest is read with a warning, but an update, which would lose that part, is
  // refused like one of unreadable XMP.
  std::string mUnreadablePart;
};

// A packet to write. FitTo resizes its whitespace padding (before "<?xpacket end=") so that
// the packet has an exact length: the way an in-place update keeps the file layout.
class PacketText {
 public:
  explicit PacketText(std::string packet) : mText(std::move(packet)) {}
  const std::string& Text() const { return mText; }
  // The packet with padding adjusted to exactly `size` bytes: whitespace before the xpacket
  // trailer, or after the packet when it has no trailer. nullopt when the packet without
  // padding is longer than `size`.
  std::optional<std::string> FitTo(std::size_t size) const;
  // The packet with all padding removed (for formats where space is precious).
  std::string Compact() const;

 private:
  std::string mText;
};

// How a parse treats damage it could step over: a read tolerates it (the XMP before it is
// still found); a write refuses to edit a file whose structure it does not fully know.
enum class OnDamage { kTolerate, kRefuse };

// Detection looks at this many leading bytes (fewer when the file is shorter).
inline constexpr std::size_t kDetectBytes = 4096;

class FileHandler {
 public:
  virtual ~FileHandler() = default;

  virtual std::uint32_t Format() const = 0;
  // The format reported for an opened file; handlers covering several formats (the packet
  // scanner) answer from the extension.
  virtual std::uint32_t FormatOf([[maybe_unused]] std::string_view extension) const {
    return Format();
  }
  // Whether a caller naming `format` at open time means this handler.
  virtual bool Serves(std::uint32_t format) const { return format == Format(); }
  virtual std::uint32_t Flags() const = 0;
  virtual std::string_view Name() const = 0;
  // File name extensions, lower case without the dot; only a hint for detection order.
  virtual std::vector<std::string_view> Extensions() const = 0;
  // True when the file is of this handler's format. `head` holds the first bytes (up to
  // kDetectBytes), `extension` the lower-case extension without dot ("" when none).
  virtual bool CheckFormat(std::span<const std::uint8_t> head, std::string_view extension,
                           std::uint64_t fileSize) const = 0;
  // Finds the packet. nullopt when the file holds no XMP; FileError when its structure is
  // broken where the packet would be.
  virtual std::optional<FoundPacket> Read(Storage& file) const = 0;
  // Stores the packet, replacing any old one. Throws FileError (kUnsupported for read-only
  // formats, kBadFormat for files too broken to write safely, kIO for I/O failures). On any
  // failure the file is as it was, except for in-place writes interrupted by the OS.
  virtual void Write(Storage& file, const PacketText& packet) const = 0;
  bool IsReadOnly() const { return (Flags() & kHandlerCanInjectXMP) == 0; }
};

// Helpers shared by handlers.
// Finds "<?xpacket begin=" ... "<?xpacket end=...?>" in `data`; fills `info` (offset relative
// to `data`) and returns true when a complete packet is found.
bool LocatePacket(std::string_view data, PacketInfo& info);
// Describes a packet stored whole at `offset` of the file (padding, writability).
PacketInfo DescribePacket(std::string_view packet, std::int64_t offset);
// The packet stored whole in `length` bytes at `offset` of `file`, described. Throws
// FileError when those bytes are not in the file.
FoundPacket ReadStoredPacket(Storage& file, std::uint64_t offset, std::uint64_t length);
// When a file holds `count` XMP blocks (`blocks`, e.g. "XMP chunks") instead of one, warns
// that the first is read and that a write keeps only it.
void WarnSeveralPackets(std::string_view format, std::size_t count, std::string_view blocks);

}  // namespace xmpfiles
