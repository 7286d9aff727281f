// Fuzzes reading and writing XMP with the Mp3 handler.

#include "FuzzTarget.h"
#include "formats/mpeg/Id3.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return avfuzz::Run(
      data, size, [](xmpfiles::Storage& s) { return xmpfiles::mpeg::ReadXmp(s); },
      [](xmpfiles::Storage& s, const xmpfiles::PacketText& p) { xmpfiles::mpeg::WriteXmp(s, p); });
}
