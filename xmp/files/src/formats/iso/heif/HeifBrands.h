#pragma once

// Recognising the HEIF family (HEIC, HEIF, AVIF and their image sequences) from the brands of
// the 'ftyp' box that starts every such file.

#include <cstdint>
#include <optional>
#include <span>

namespace xmpfiles::heif {

enum class Family { kHeif, kAvif };

// The family of a file from its first bytes: an 'ftyp' box whose major brand or one of whose
// compatible brands is a HEIF or AVIF brand (AVIF wins when both appear, as an AVIF file also
// lists the generic HEIF brands). nullopt for anything else, including a truncated 'ftyp'.
std::optional<Family> DetectFamily(std::span<const std::uint8_t> head);

}  // namespace xmpfiles::heif
