// The handler of AIFF and AIFF-C audio files.

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "formats/riff/aiff/Aiff.h"

namespace xmpfiles {

namespace {

class AiffHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatAIFF; }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "AIFF (AIFF, AIFF-C)"; }
  std::vector<std::string_view> Extensions() const override { return {"aif", "aiff", "aifc"}; }
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view /*extension*/,
                   std::uint64_t /*fileSize*/) const override {
    return aiff::DetectForm(head).has_value();
  }
  std::optional<FoundPacket> Read(Storage& file) const override { return aiff::ReadXmp(file); }
  void Write(Storage& file, const PacketText& packet) const override {
    aiff::WriteXmp(file, packet);
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeAiffHandler() {
  return std::make_unique<AiffHandler>();
}

}  // namespace xmpfiles
