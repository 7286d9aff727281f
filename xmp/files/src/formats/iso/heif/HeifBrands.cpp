#include "formats/iso/heif/HeifBrands.h"

#include "FileHandler.h"
#include "io/Endian.h"

namespace xmpfiles::heif {

namespace {

constexpr std::uint32_t kAvifBrands[] = {FourCC("avif"), FourCC("avis"), FourCC("avio")};
// HEVC-coded images and sequences, and the codec-neutral image and sequence brands.
constexpr std::uint32_t kHeifBrands[] = {
    FourCC("heic"), FourCC("heix"), FourCC("heim"), FourCC("heis"), FourCC("hevc"), FourCC("hevx"),
    FourCC("hevm"), FourCC("hevs"), FourCC("mif1"), FourCC("mif2"), FourCC("msf1")};
// ftyp header (8) + major brand (4) + minor version (4).
constexpr std::size_t kFtypFixed = 16;
// A larger 'ftyp' is not a real one.
constexpr std::uint32_t kMaxFtypSize = 1024;

template <std::size_t N>
bool Contains(const std::uint32_t (&list)[N], std::uint32_t brand) {
  for (std::uint32_t b : list) {
    if (b == brand) return true;
  }
  return false;
}

}  // namespace

std::optional<Family> DetectFamily(std::span<const std::uint8_t> head) {
  if (head.size() < kFtypFixed || GetU32BE(head.data() + 4) != FourCC("ftyp")) return std::nullopt;
  const std::uint32_t size = GetU32BE(head.data());
  if (size < kFtypFixed || size > kMaxFtypSize || size % 4 != 0) return std::nullopt;
  // Brands past the bytes we were given are not looked at.
  const std::size_t end = std::min<std::size_t>(size, head.size());
  bool heif = false;
  auto look = [&](std::uint32_t brand) {
    if (Contains(kAvifBrands, brand)) return true;
    heif = heif || Contains(kHeifBrands, brand);
    return false;
  };
  if (look(GetU32BE(head.data() + 8))) return Family::kAvif;
  for (std::size_t at = kFtypFixed; at + 4 <= end; at += 4) {
    if (look(GetU32BE(head.data() + at))) return Family::kAvif;
  }
  if (heif) return Family::kHeif;
  return std::nullopt;
}

}  // namespace xmpfiles::heif
