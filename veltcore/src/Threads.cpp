#include "veltcore/Threads.h"

#include <chrono>
#include <string>

#include "veltcore/Debug.h"

namespace veltcore::threads {

bool RecursiveMutex::Lock(const char* name, long timeoutMs) {
  // An uncontended lock costs one try. The wait uses a system-clock deadline, which maps to
  // pthread_mutex_timedlock; the steady-clock form maps to pthread_mutex_clocklock, which
  // ThreadSanitizer (clang 14) does not see, so it would report every lock as missing.
  if (mMutex.try_lock()) return true;
  const auto deadline =
      std::chrono::system_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  if (mMutex.try_lock_until(deadline)) return true;
  debug::DoSimpleAssert(__FILE__, __LINE__, __func__, "lock timed out",
                        std::string("lock '") + (name ? name : "") + "' not obtained within " +
                            std::to_string(timeoutMs) + " ms");
  return false;
}

void RecursiveMutex::Unlock() {
  mMutex.unlock();
}

}  // namespace veltcore::threads
