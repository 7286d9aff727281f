// Fuzz target: the Jpeg handler on arbitrary file bytes.

#include "FuzzHandler.h"
#include "HandlerRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto sHandler = xmpfiles::MakeJpegHandler();
  return xmpfuzz::FuzzOne(*sHandler, data, size);
}
