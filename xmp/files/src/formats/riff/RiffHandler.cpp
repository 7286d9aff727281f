// The handler of RIFF WAVE audio and AVI video files.

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "formats/riff/Riff.h"

namespace xmpfiles {

namespace {

class RiffHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatWAV; }
  // One handler serves both forms; AVI files are reported as such.
  std::uint32_t FormatOf(std::string_view extension) const override {
    return extension == "avi" ? kFormatAVI : kFormatWAV;
  }
  bool Serves(std::uint32_t format) const override {
    return format == kFormatWAV || format == kFormatAVI;
  }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "RIFF (WAV, AVI)"; }
  std::vector<std::string_view> Extensions() const override { return {"wav", "wave", "avi"}; }
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view /*extension*/,
                   std::uint64_t /*fileSize*/) const override {
    return riff::DetectForm(head).has_value();
  }
  std::optional<FoundPacket> Read(Storage& file) const override { return riff::ReadXmp(file); }
  void Write(Storage& file, const PacketText& packet) const override {
    riff::WriteXmp(file, packet);
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeRiffHandler() {
  return std::make_unique<RiffHandler>();
}

}  // namespace xmpfiles
