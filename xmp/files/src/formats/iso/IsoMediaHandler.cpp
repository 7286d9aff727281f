// The handler of ISO base media files (MP4, M4V, M4A, 3GP) and QuickTime movies.

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "formats/iso/IsoMedia.h"

namespace xmpfiles {

namespace {

class IsoMediaHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatMPEG4; }
  // One handler serves both families; QuickTime movies are reported as such.
  std::uint32_t FormatOf(std::string_view extension) const override {
    return extension == "mov" || extension == "qt" ? kFormatMOV : kFormatMPEG4;
  }
  bool Serves(std::uint32_t format) const override {
    return format == kFormatMPEG4 || format == kFormatMOV;
  }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "ISO base media / QuickTime"; }
  std::vector<std::string_view> Extensions() const override {
    return {"mp4", "m4v", "m4a", "m4b", "3gp", "3g2", "mov", "qt"};
  }
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view /*extension*/,
                   std::uint64_t fileSize) const override {
    return iso::DetectFlavor(head, fileSize).has_value();
  }
  std::optional<FoundPacket> Read(Storage& file) const override { return iso::ReadXmp(file); }
  void Write(Storage& file, const PacketText& packet) const override {
    iso::WriteXmp(file, packet);
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeIsoMediaHandler() {
  return std::make_unique<IsoMediaHandler>();
}

}  // namespace xmpfiles
