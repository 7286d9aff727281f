// The handler of MP3 audio files (XMP in the ID3v2 tag).

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "formats/mpeg/Id3.h"

namespace xmpfiles {

namespace {

class Mp3Handler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatMP3; }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "MP3 (ID3v2)"; }
  std::vector<std::string_view> Extensions() const override { return {"mp3"}; }
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view extension,
                   std::uint64_t /*fileSize*/) const override {
    return mpeg::LooksLikeMp3(head, extension);
  }
  std::optional<FoundPacket> Read(Storage& file) const override { return mpeg::ReadXmp(file); }
  void Write(Storage& file, const PacketText& packet) const override {
    mpeg::WriteXmp(file, packet);
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeMp3Handler() {
  return std::make_unique<Mp3Handler>();
}

}  // namespace xmpfiles
