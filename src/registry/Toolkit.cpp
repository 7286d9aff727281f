#include "registry/Toolkit.h"

#include "veltcore/Debug.h"
#include "xmp/SXMPMeta.h"
#include "xmp/XMP_Const.h"
#if __has_include("xmp/SXMPFiles.h")
#include "xmp/SXMPFiles.h"
#define VELT_HAVE_XMP_FILES 1
#else
#define VELT_HAVE_XMP_FILES 0
#endif

namespace veltmetadata::toolkit {

namespace {

// The toolkit's own consistency failures become assertions of the library.
void XMPAssert(void* /*context*/, const char* message) {
  veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, "false", message ? message : "");
}

UTF8String Without(const UTF8String& prefix, char suffix) {
  if (!prefix.empty() && prefix.back() == suffix) return prefix.substr(0, prefix.size() - 1);
  return prefix;
}

}  // namespace

bool RegisterNamespace(const UTF8String& namespaceURI, const UTF8String& prefix) {
  try {
    std::string registered;
    const bool accepted = SXMPMeta::RegisterNamespace(namespaceURI, prefix, &registered);
    return accepted && Without(registered, ':') == Without(prefix, ':');
  } catch (const XMP_Error&) {
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

void Initialize(const UTF8String& pluginsFolder, const UTF8String& clientName) {
  SXMPMeta::Initialize();
  SXMPMeta::SetAssertNotify(&XMPAssert, nullptr);
#if VELT_HAVE_XMP_FILES
  SXMPFiles::Initialize(0, pluginsFolder.c_str());
#endif
  SXMPMeta::SetClientName(clientName);
}

void Terminate() {
#if VELT_HAVE_XMP_FILES
  SXMPFiles::Terminate();
#endif
  SXMPMeta::SetAssertNotify(nullptr, nullptr);
  SXMPMeta::Terminate();
}

UTF8String CoreVersion() {
  XMP_VersionInfo info;
  SXMPMeta::GetVersionInfo(&info);
  return info.message;
}

UTF8String FilesVersion() {
#if VELT_HAVE_XMP_FILES
  XMP_VersionInfo info;
  SXMPFiles::GetVersionInfo(&info);
  return info.message;
#else
  return UTF8String();
#endif
}

}  // namespace veltmetadata::toolkit
