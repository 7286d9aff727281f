// The handler of WebP images.

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "formats/riff/webp/WebP.h"

namespace xmpfiles {

namespace {

class WebPHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatWebP; }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "WebP"; }
  std::vector<std::string_view> Extensions() const override { return {"webp"}; }
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view,
                   std::uint64_t) const override {
    return webp::Detect(head);
  }
  std::optional<FoundPacket> Read(Storage& file) const override { return webp::ReadXmp(file); }
  void Write(Storage& file, const PacketText& packet) const override {
    webp::WriteXmp(file, packet);
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeWebPHandler() {
  return std::make_unique<WebPHandler>();
}

}  // namespace xmpfiles
