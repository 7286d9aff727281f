// Fuzzes reading and writing XMP with the AIFF handler.

#include "FuzzTarget.h"
#include "formats/riff/aiff/Aiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return avfuzz::Run(
      data, size, [](xmpfiles::Storage& s) { return xmpfiles::aiff::ReadXmp(s); },
      [](xmpfiles::Storage& s, const xmpfiles::PacketText& p) { xmpfiles::aiff::WriteXmp(s, p); });
}
