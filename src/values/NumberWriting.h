#pragma once

// The write procedure of the numeric SetValue overloads with a caller-chosen writer, for
// writers that store a number in a form of their own (the provider's minimal float text).

#include <functional>
#include <string>

#include "veltmetadata/Path.h"

class SXMPMeta;
struct __XMPMeta__;

namespace veltmetadata {

// Stores `value` through `writer` (called with the object, the Path's namespace and path
// description) unless the property already holds exactly that double and the gathered files
// agree; then checks the read-back (within 0.0001) and ends a multiple-value state. True when
// the writer ran. Toolkit failures are reported (kWritingXMPError) and end the call with the
// result reached so far; no exception passes.
using DoubleWriter =
    std::function<void(SXMPMeta& meta, const std::string& ns, const std::string& path, double)>;
bool SetDoubleValueWith(__XMPMeta__* inMeta, const Path& inPath, double inValue,
                        const DoubleWriter& writer);

}  // namespace veltmetadata
