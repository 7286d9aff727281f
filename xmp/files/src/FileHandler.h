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

namespace xmpfiles {

// Four-character format code, big-endian in an integer: FourCC("JPEG") == 0x4A504547.
constexpr std::uint32_t FourCC(const char (&s)[5]) {
  return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16 |
         std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint32_t(std::uint8_t(s[3]));
}
std::string FourCCString(std::uint32_t code);

// Format codes (the same values as the toolkit's public kXMP_...File constants).
inline constexpr std::uint32_t kFormatUnknown = 0x20202020;
inline constexpr std::uint32_t kFormatJPEG = FourCC("JPEG");
inline constexpr std::uint32_t kFormatTIFF = FourCC("TIFF");
inline constexpr std::uint32_t kFormatPNG = FourCC("PNG ");
inline constexpr std::uint32_t kFormatGIF = FourCC("GIF ");
inline constexpr std::uint32_t kFormatXMP = FourCC("XMP ");
inline constexpr std::uint32_t kFormatDNG = FourCC("DNG ");
inline constexpr std::uint32_t kFormatCameraRaw = FourCC("CRAW");
inline constexpr std::uint32_t kFormatMPEG4 = FourCC("MPG4");
inline constexpr std::uint32_t kFormatMOV = FourCC("MOV ");
inline constexpr std::uint32_t kFormatWAV = FourCC("WAV ");
inline constexpr std::uint32_t kFormatAVI = FourCC("AVI ");
inline constexpr std::uint32_t kFormatMP3 = FourCC("MP3 ");
inline constexpr std::uint32_t kFormatPDF = FourCC("PDF ");
inline constexpr std::uint32_t kFormatPSD = FourCC("PSD ");
inline constexpr std::uint32_t kFormatHEIF = FourCC("HEIF");
inline constexpr std::uint32_t kFormatAVIF = FourCC("AVIF");
inline constexpr std::uint32_t kFormatWebP = FourCC("WEBP");
inline constexpr std::uint32_t kFormatAIFF = FourCC("AIFF");
inline constexpr std::uint32_t kFormatEPS = FourCC("EPS ");
inline constexpr std::uint32_t kFormatSVG = FourCC("SVG ");
inline constexpr std::uint32_t kFormatHTML = FourCC("HTML");

// Handler flags (the same bits as the toolkit's public kXMPFiles_... handler flags).
inline constexpr std::uint32_t kHandlerCanInjectXMP = 0x1;  // can add XMP to a file without
inline constexpr std::uint32_t kHandlerCanExpand = 0x2;     // can grow the packet
inline constexpr std::uint32_t kHandlerCanRewrite = 0x4;    // can rewrite the whole file
inline constexpr std::uint32_t kHandlerPrefersInPlace = 0x8;
inline constexpr std::uint32_t kHandlerAllowsOnlyXMP = 0x20;
inline constexpr std::uint32_t kHandlerReturnsRawPacket = 0x40;
inline constexpr std::uint32_t kHandlerAllowsSafeUpdate = 0x200;
inline constexpr std::uint32_t kHandlerNeedsReadOnlyPacket = 0x400;  // scanning: read-only
inline constexpr std::uint32_t kHandlerUsesSidecarXMP = 0x800;
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

// Detection looks at this many leading bytes (fewer when the file is shorter).
inline constexpr std::size_t kDetectBytes = 4096;

class FileHandler {
 public:
  virtual ~FileHandler() = default;

  virtual std::uint32_t Format() const = 0;
  // The format reported for an opened file; handlers covering several formats (the packet
  // scanner) answer from the extension.
  virtual std::uint32_t FormatOf(std::string_view extension) const { return Format(); }
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

}  // namespace xmpfiles
