// Hands the core services' assertion reports to a host's handler.

#include "veltmetadata/Assertions.h"

#include "veltcore/Debug.h"

namespace veltmetadata {

void SetAssertionHandler(std::function<void(const AssertionReport&)> handler) {
  if (!handler) {
    veltcore::debug::SetAssertionSink(nullptr);
    return;
  }
  veltcore::debug::SetAssertionSink(
      [handler = std::move(handler)](const veltcore::debug::AssertionInfo& info) {
        handler(AssertionReport{info.mFunction, info.mCondition, info.mMessage});
      });
}

}  // namespace veltmetadata
