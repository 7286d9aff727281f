// Fuzzes reading and writing XMP with the IsoMedia handler.

#include "FuzzTarget.h"
#include "formats/iso/IsoMedia.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return avfuzz::Run(
      data, size, [](xmpfiles::Storage& s) { return xmpfiles::iso::ReadXmp(s); },
      [](xmpfiles::Storage& s, const xmpfiles::PacketText& p) { xmpfiles::iso::WriteXmp(s, p); });
}
