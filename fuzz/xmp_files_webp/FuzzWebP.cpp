// Fuzzes reading and writing XMP with the WebP handler.

#include "FuzzTarget.h"
#include "formats/riff/webp/WebP.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return avfuzz::Run(
      data, size, [](xmpfiles::Storage& s) { return xmpfiles::webp::ReadXmp(s); },
      [](xmpfiles::Storage& s, const xmpfiles::PacketText& p) { xmpfiles::webp::WriteXmp(s, p); });
}
