#pragma once

// VELT_EXPORT marks a declaration that libveltmetadata.so exports to its hosts: the public
// API of namespace veltmetadata and of the XMP toolkit. Everything else is hidden
// (-fvisibility=hidden), including this core services layer.
#define VELT_EXPORT __attribute__((visibility("default")))
