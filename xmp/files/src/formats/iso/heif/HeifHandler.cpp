// The handlers of the HEIF family: HEIC and HEIF images, AVIF images, and their image
// sequences. One class, one instance per format code, each accepting its own brands.

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "formats/iso/heif/HeifBrands.h"
#include "formats/iso/heif/HeifXmp.h"

namespace xmpfiles {

namespace {

class HeifHandler : public FileHandler {
 public:
  explicit HeifHandler(heif::Family family) : mFamily(family) {}
  std::uint32_t Format() const override {
    return mFamily == heif::Family::kAvif ? kFormatAVIF : kFormatHEIF;
  }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override {
    return mFamily == heif::Family::kAvif ? "AVIF" : "HEIF / HEIC";
  }
  std::vector<std::string_view> Extensions() const override {
    if (mFamily == heif::Family::kAvif) return {"avif", "avifs"};
    return {"heic", "heif", "heics", "heifs", "hif"};
  }
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view,
                   std::uint64_t) const override {
    return heif::DetectFamily(head) == mFamily;
  }
  std::optional<FoundPacket> Read(Storage& file) const override { return heif::ReadXmp(file); }
  void Write(Storage& file, const PacketText& packet) const override {
    heif::WriteXmp(file, packet);
  }

 private:
  heif::Family mFamily;
};

}  // namespace

std::unique_ptr<FileHandler> MakeHeifHandler() {
  return std::make_unique<HeifHandler>(heif::Family::kHeif);
}

std::unique_ptr<FileHandler> MakeAvifHandler() {
  return std::make_unique<HeifHandler>(heif::Family::kAvif);
}

}  // namespace xmpfiles
