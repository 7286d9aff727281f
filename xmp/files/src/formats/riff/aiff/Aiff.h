#pragma once

// XMP in AIFF and AIFF-C audio files: an IFF 'FORM' of type 'AIFF' or 'AIFC' whose
// top-level 'APPL' (application-specific) chunk with the application signature 'XMP ' holds
// the packet after the signature. Other 'APPL' chunks belong to other applications and are
// left alone. A new XMP chunk goes at the end of the form, after the sound data, which
// never moves; the chunk-container rules of formats/riff/Riff.h apply.

#include <cstdint>
#include <optional>
#include <span>

#include "FileHandler.h"
#include "formats/riff/Riff.h"
#include "io/Storage.h"

namespace xmpfiles::aiff {

inline constexpr std::uint32_t kFormAiff = FourCC("AIFF");
inline constexpr std::uint32_t kFormAifc = FourCC("AIFC");

// The form type (AIFF or AIFC) when `head` starts an AIFF file.
std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head);

// The packet of the first XMP chunk (a warning when there are more), nullopt when there is
// none. Throws FileError (bad format) for a file that is not AIFF or too broken to read.
std::optional<FoundPacket> ReadXmp(Storage& file);

// Stores the packet, leaving one XMP chunk. Throws FileError: kBadFormat for a damaged form,
// kUnsupported when the form is followed by other data and has no room inside.
void WriteXmp(Storage& file, const PacketText& packet);

}  // namespace xmpfiles::aiff
