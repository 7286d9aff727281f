#include "formats/riff/aiff/Aiff.h"

namespace xmpfiles::aiff {

namespace {

constexpr std::uint32_t kAiffForms[] = {kFormAiff, kFormAifc};
constexpr riff::ChunkFormat kAiff{riff::kIffDialect, kAiffForms, FourCC("APPL"), FourCC("XMP "),
                                  "AIFF or AIFF-C"};

}  // namespace

std::optional<std::uint32_t> DetectForm(std::span<const std::uint8_t> head) {
  return riff::DetectForm(head, kAiff);
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  return riff::ReadXmp(file, kAiff);
}

void WriteXmp(Storage& file, const PacketText& packet) {
  riff::WriteXmp(file, kAiff, packet);
}

}  // namespace xmpfiles::aiff
