#pragma once

// What the panels show for a property: its display text as a media application shows it,
// and the typed JSON form of its value, for `veltmeta --json`.

#include <string>

#include "PanelBuilder.h"
#include "veltmetadata/Path.h"

struct __XMPMeta__;

namespace veltmeta {

// The value at `path` as JSON, typed by its definition: integers and reals as numbers
// written exactly as stored (text that is no JSON number stays a string), booleans as
// true/false, bags and seqs as arrays, alt-text as {language: text}, structures as objects
// of their fields (keys prefix:name). "" when there is no value or the metadata is null.
std::string TypedJsonValue(__XMPMeta__* meta, const veltmetadata::Path& path);

// What a panel shows for the property at `path` in `meta` (null: no value): the display
// read with dates in the user's locale, "<multiple values>" where merged files differ and,
// with `typed`, the JSON value. A field of an array of structures as views name it
// ("plus:Licensor/plus:LicensorName") is read in every item: the display joins the items'
// values with "; " and the JSON value is an array of them. Never raises an error for a value
// stored in the form its definition gives.
PanelValue ReadPanelValue(__XMPMeta__* meta, const veltmetadata::Path& path, bool typed);

}  // namespace veltmeta
