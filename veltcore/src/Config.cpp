#include "veltcore/Config.h"

#include <mutex>

namespace veltcore::config {

namespace {
std::mutex sMutex;
UTF16String sClientName = u"veltmetadata";
}  // namespace

void CreateHeavyInitTask([[maybe_unused]] const std::string& name,
                         const std::function<void()>& task, const std::function<void()>& onDone,
                         const std::function<void()>& onError) {
  if (!task) return;
  try {
    task();
  } catch (...) {
    if (onError) onError();
    throw;
  }
  if (onDone) onDone();
}

UTF16String GetSuiteClientName() {
  std::lock_guard<std::mutex> lock(sMutex);
  return sClientName;
}

void SetSuiteClientName(const UTF16String& name) {
  std::lock_guard<std::mutex> lock(sMutex);
  sClientName = name;
}

}  // namespace veltcore::config
