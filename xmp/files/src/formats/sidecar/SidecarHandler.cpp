// Standalone XMP files (".xmp" sidecars): the whole file is the packet, in UTF-8, UTF-16 or
// UTF-32; a write stores it in UTF-8.

#include <algorithm>

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "PacketCleanup.h"
#include "xmp/XMP_Const.h"

namespace xmpfiles {

namespace {

// Sidecars larger than this are not XMP anyone wrote by hand or tool; refusing them keeps a
// mislabelled multi-gigabyte file from being read into memory.
constexpr std::uint64_t kMaxSidecar = 256u << 20;

std::string_view SkipBomAndSpace(std::string_view s) {
  if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  while (!s.empty() && (s[0] == ' ' || s[0] == '\t' || s[0] == '\n' || s[0] == '\r')) {
    s.remove_prefix(1);
  }
  return s;
}

class SidecarHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatXMP; }
  std::uint32_t Flags() const override { return kHandlerReadWrite & ~kHandlerPrefersInPlace; }
  std::string_view Name() const override { return "XMP sidecar"; }
  std::vector<std::string_view> Extensions() const override { return {"xmp"}; }

  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view extension,
                   std::uint64_t fileSize) const override {
    // A sidecar in UTF-16 or UTF-32 is recognised by its text.
    std::string text;
    try {
      text = ToUtf8Packet({reinterpret_cast<const char*>(head.data()), head.size()});
    } catch (const XMP_Error&) {
      // Text in a broken encoding: a sidecar by name, whose reading reports the damage.
      return extension == "xmp";
    }
    std::string_view s = SkipBomAndSpace(text);
    if (s.starts_with("<?xpacket begin=") || s.starts_with("<x:xmpmeta") ||
        s.starts_with("<x:xapmeta")) {
      return true;
    }
    if (s.starts_with("<?xml") || s.starts_with("<rdf:RDF")) {
      return s.find("<x:xmpmeta") != std::string_view::npos ||
             (extension == "xmp" && s.find("<rdf:RDF") != std::string_view::npos);
    }
    // An empty .xmp file is a sidecar waiting for its first packet.
    return fileSize == 0 && extension == "xmp";
  }

  std::optional<FoundPacket> Read(Storage& file) const override {
    if (file.Size() == 0) return std::nullopt;
    if (file.Size() > kMaxSidecar) {
      ThrowFormat("XMP file of " + std::to_string(file.Size()) + " bytes is larger than " +
                  std::to_string(kMaxSidecar) + " bytes");
    }
    FoundPacket found;
    found.mPacket = file.ReadString(0, static_cast<std::size_t>(file.Size()));
    PacketInfo wrapped;
    if (LocatePacket(found.mPacket, wrapped)) {
      found.mInfo = wrapped;
    } else {
      found.mInfo = DescribePacket(found.mPacket, 0);
    }
    return found;
  }

  void Write(Storage& file, const PacketText& packet) const override {
    // A sidecar is small: always rewrite it whole through a temporary file.
    auto rewrite = file.StartRewrite();
    rewrite->Append(packet.Text());
    rewrite->Commit();
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeSidecarHandler() {
  return std::make_unique<SidecarHandler>();
}

}  // namespace xmpfiles
