// Fuzzes reading and writing XMP with the HEIF handler.

#include "FuzzTarget.h"
#include "formats/iso/heif/HeifXmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return avfuzz::Run(
      data, size, [](xmpfiles::Storage& s) { return xmpfiles::heif::ReadXmp(s); },
      [](xmpfiles::Storage& s, const xmpfiles::PacketText& p) { xmpfiles::heif::WriteXmp(s, p); });
}
