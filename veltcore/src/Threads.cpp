#include "veltcore/Threads.h"

#include <chrono>
#include <string>

#include "veltcore/Debug.h"

namespace veltcore::threads {

bool RecursiveMutex::Lock(const char* name, long timeoutMs) {
  if (mMutex.try_lock_for(std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs))) return true;
  debug::DoSimpleAssert(__FILE__, __LINE__, __func__, "lock timed out",
                        std::string("lock '") + (name ? name : "") + "' not obtained within " +
                            std::to_string(timeoutMs) + " ms");
  return false;
}

void RecursiveMutex::Unlock() {
  mMutex.unlock();
}

}  // namespace veltcore::threads
