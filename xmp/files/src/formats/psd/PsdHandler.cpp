// The handler of Photoshop documents, PSD and PSB.

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "formats/psd/Psd.h"

namespace xmpfiles {

namespace {

class PsdHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatPSD; }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "PSD"; }
  std::vector<std::string_view> Extensions() const override { return {"psd", "psb", "pdd"}; }
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view,
                   std::uint64_t) const override {
    return psd::IsPsd(head);
  }
  std::optional<FoundPacket> Read(Storage& file) const override { return psd::ReadXmp(file); }
  void Write(Storage& file, const PacketText& packet) const override {
    psd::WriteXmp(file, packet);
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakePsdHandler() {
  return std::make_unique<PsdHandler>();
}

}  // namespace xmpfiles
