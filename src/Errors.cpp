#include "ErrorList.h"

#include <mutex>

#include "veltcore/Debug.h"
#include "veltcore/Localizer.h"

namespace veltmetadata {

namespace {

using Listener = std::shared_ptr<std::function<void(UTF8String)>>;

std::mutex sErrorMutex;  // guards sErrorList only
std::vector<ErrorInfo> sErrorList;
// Exists only while the library is initialised; not guarded (see NotifyOnError).
std::unique_ptr<std::vector<Listener>> sErrorListeners;

// The wrapper message of each kind, "@0" standing for the detail; kind 6 has none.
const char* WrapperOf(ErrorKind kind) {
  switch (kind) {
    case kDefinitionParsingError:
      return "$$$/veltmetadata/DefinitionParsingError=Error parsing definitions file: @0";
    case kDefinitionRegistrationError:
      return "$$$/veltmetadata/DefinitionRegistrationError=Error registering definition: @0";
    case kReadingXMPError:
      return "$$$/veltmetadata/ErrorReadingXMP=Error reading XMP data: @0";
    case kWritingXMPError:
      return "$$$/veltmetadata/ErrorWritingXMP=Error writing XMP data: @0";
    case kViewDefinitionParsingError:
      return "$$$/veltmetadata/ViewDefinitionParsingError=Error parsing view definitions file: "
             "@0";
    case kViewDefinitionRegistrationError:
      return "$$$/veltmetadata/ViewDefinitionRegistrationError=Error registering view "
             "definition: @0";
    case kExtensionManifestParsingError:
      return "$$$/veltmetadata/ExtensionManifestParsingError=Error parsing manifest file: @0";
    case kExtensionPackageRegistrationError:
      return "$$$/veltmetadata/ExtensionPackageRegistrationError=Error registering extension "
             "package: @0";
    case kPanelManifestParsingError:
    default:
      return "@0";
  }
}

}  // namespace

UTF8String ErrorDetail(const char* zstring, const std::vector<UTF8String>& args) {
  const UTF8String text = veltcore::config::Localizer::Get().Localize(std::string_view(zstring));
  return veltcore::string::ReplaceInString(text, args);
}

void SendError(ErrorKind kind, const UTF8String& detail, const UTF8String& file) {
  const UTF8String wrapper =
      veltcore::config::Localizer::Get().Localize(std::string_view(WrapperOf(kind)));
  // Only "@0" is filled: a detail that itself contains "@1" stays as it is.
  UTF8String message;
  message.reserve(wrapper.size() + detail.size());
  for (std::size_t i = 0; i < wrapper.size(); ++i) {
    if (wrapper[i] == '@' && i + 1 < wrapper.size() && wrapper[i + 1] == '0') {
      message += detail;
      ++i;
    } else {
      message.push_back(wrapper[i]);
    }
  }
  {
    std::lock_guard<std::mutex> lock(sErrorMutex);
    sErrorList.push_back(ErrorInfo{kind, message, file});
  }
  if (sErrorListeners && !sErrorListeners->empty()) {
    // Subscribers may subscribe others while being called: iterate over a snapshot.
    const std::vector<Listener> listeners = *sErrorListeners;
    for (const Listener& listener : listeners) {
      if (listener && *listener) (*listener)(message);
    }
    return;
  }
  veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, "false",
                                  file.empty() ? message : message + "\n" + file);
}

std::vector<ErrorInfo> GetErrorInfos() {
  std::lock_guard<std::mutex> lock(sErrorMutex);
  return sErrorList;
}

bool HasErrors() {
  std::lock_guard<std::mutex> lock(sErrorMutex);
  return !sErrorList.empty();
}

void NotifyOnError(const std::shared_ptr<std::function<void(UTF8String)>>& callback) {
  if (!sErrorListeners) {
    VELT_ASSERT_MSG(sErrorListeners, "NotifyOnError called before Initialize");
    return;
  }
  sErrorListeners->push_back(callback);
}

void CreateErrorListeners() {
  if (!sErrorListeners) sErrorListeners = std::make_unique<std::vector<Listener>>();
}

void DropErrorListeners() {
  sErrorListeners.reset();
}

void PurgeEmptyErrorListeners() {
  if (!sErrorListeners) return;
  std::erase_if(*sErrorListeners, [](const Listener& l) { return !l || !*l; });
}

void ClearErrorList() {
  std::lock_guard<std::mutex> lock(sErrorMutex);
  sErrorList.clear();
}

bool ErrorListenersExist() {
  return static_cast<bool>(sErrorListeners);
}

}  // namespace veltmetadata
