#pragma once

// The typed JSON form of a property's value, for `veltmeta --json`.

#include <string>

#include "veltmetadata/Path.h"

struct __XMPMeta__;

namespace veltmeta {

// The value at `path` as JSON, typed by its definition: integers and reals as numbers
// written exactly as stored (text that is no JSON number stays a string), booleans as
// true/false, bags and seqs as arrays, alt-text as {language: text}, structures as objects
// of their fields (keys prefix:name). "" when there is no value or the metadata is null.
std::string TypedJsonValue(__XMPMeta__* meta, const veltmetadata::Path& path);

}  // namespace veltmeta
