// Null defaults for handler factories whose folders are built separately. They are weak, so
// that the real factory wins wherever it is linked in; they live in their own library, linked
// after the layer, so that a static link still pulls the real factory from the layer's archive.

#include "HandlerRegistry.h"

namespace xmpfiles {

__attribute__((weak)) std::unique_ptr<FileHandler> MakeIsoMediaHandler() {
  return nullptr;
}
__attribute__((weak)) std::unique_ptr<FileHandler> MakeRiffHandler() {
  return nullptr;
}
__attribute__((weak)) std::unique_ptr<FileHandler> MakeMp3Handler() {
  return nullptr;
}

}  // namespace xmpfiles
