// Fuzzes reading and writing XMP with the Riff handler.

#include "FuzzTarget.h"
#include "formats/riff/Riff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return avfuzz::Run(
      data, size, [](xmpfiles::Storage& s) { return xmpfiles::riff::ReadXmp(s); },
      [](xmpfiles::Storage& s, const xmpfiles::PacketText& p) { xmpfiles::riff::WriteXmp(s, p); });
}
