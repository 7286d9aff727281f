#include "Session.h"

#include "veltmetadata/Lifecycle.h"
#include "xmp/SXMPMeta.h"

namespace veltmeta {

Session::Session(Scope scope) : mScope(scope) {
  if (mScope == Scope::kLibrary) {
    veltmetadata::Initialize();
  } else {
    mStarted = SXMPMeta::Initialize();
  }
}

Session::~Session() {
  if (mScope == Scope::kLibrary) {
    veltmetadata::Terminate();
  } else if (mStarted) {
    SXMPMeta::Terminate();
  }
}

}  // namespace veltmeta
