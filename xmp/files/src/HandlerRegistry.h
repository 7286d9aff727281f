#pragma once

// The list of file handlers and format detection over it.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "FileHandler.h"

namespace xmpfiles {

// Open flags the detection looks at (the values of the toolkit's kXMPFiles_Open... flags).
inline constexpr std::uint32_t kOpenForceGivenHandler = 0x8;
inline constexpr std::uint32_t kOpenUsePacketScanning = 0x40;  // scan files without a handler
inline constexpr std::uint32_t kOpenLimitedScanning = 0x80;    // the same (the scan is cheap)

// Every handler, the smart (format-specific) ones first, in detection order.
const std::vector<std::unique_ptr<FileHandler>>& Handlers();
// The smart handler registered for `format`, or null.
const FileHandler* FindHandler(std::uint32_t format);
// The packet-scanning handler (read-only, any file).
const FileHandler& ScanningHandler();

// Picks the handler for a file: with kOpenForceGivenHandler only the handler of `format`
// (null when it does not accept the file); otherwise the handler of `format` first (when
// given), then the handlers whose extensions match, then every other smart handler, then the
// packet scanner when the flags allow it. Null when nothing accepts the file.
const FileHandler* DetectHandler(Storage& file, std::string_view extension, std::uint32_t format,
                                 std::uint32_t openFlags);

// Lower-case extension of a path without the dot ("" when none).
std::string LowerExtension(std::string_view path);

// Factories of the handlers. Handlers living in other folders are declared here and listed in
// HandlerRegistry.cpp; defaults returning null (defaults/WeakHandlers.cpp) keep the build
// working until a folder provides its real factory.
std::unique_ptr<FileHandler> MakeJpegHandler();
std::unique_ptr<FileHandler> MakeTiffHandler();
std::unique_ptr<FileHandler> MakeDngHandler();
std::unique_ptr<FileHandler> MakeCameraRawHandler();
std::unique_ptr<FileHandler> MakePngHandler();
std::unique_ptr<FileHandler> MakeGifHandler();
std::unique_ptr<FileHandler> MakeSidecarHandler();
std::unique_ptr<FileHandler> MakeScanningHandler();
std::unique_ptr<FileHandler> MakeIsoMediaHandler();  // formats/iso: MP4, M4V, M4A, 3GP, MOV
std::unique_ptr<FileHandler> MakeRiffHandler();      // formats/riff: WAV, AVI
std::unique_ptr<FileHandler> MakeMp3Handler();       // formats/mpeg: MP3 (ID3v2)
std::unique_ptr<FileHandler> MakePsdHandler();       // formats/psd: PSD, PSB

}  // namespace xmpfiles
