// Fuzz target: the PSD handler on arbitrary file bytes.

#include "FuzzHandler.h"
#include "HandlerRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto sHandler = xmpfiles::MakePsdHandler();
  return xmpfuzz::FuzzOne(*sHandler, data, size);
}
