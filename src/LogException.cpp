// The toolkit-error logging helper the library exports for its host: hosts that catch an
// XMP_Error log it through the core services layer's logger with the error id attached.
#include "veltcore/Debug.h"
#include "veltcore/Export.h"
#include "xmp/XMP_Const.h"

template VELT_EXPORT void veltcore::logging::LogException<XMP_Error>(
    const XMP_Error& error, const veltcore::utility::StringValue& context,
    veltcore::UTF8String* message);
