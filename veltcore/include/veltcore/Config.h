#pragma once

#include <functional>
#include <string>

#include "veltcore/Strings.h"

namespace veltcore::config {

// Runs a named start-up task. This layer creates no threads: the task runs at once, on the
// calling thread; `onDone` follows when it returns normally, `onError` when it throws (the
// exception is then rethrown to the caller). Empty functions are skipped. `name` identifies the
// task to a host's scheduler; with no scheduler here it is not used.
void CreateHeavyInitTask(const std::string& name, const std::function<void()>& task,
                         const std::function<void()>& onDone = {},
                         const std::function<void()>& onError = {});

// The host application's name, as given to SetSuiteClientName; defaults to "veltmetadata".
UTF16String GetSuiteClientName();
void SetSuiteClientName(const UTF16String& name);

}  // namespace veltcore::config
