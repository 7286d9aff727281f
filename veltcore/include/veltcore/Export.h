#pragma once

// VELT_EXPORT marks a declaration that libveltmetadata.so exports to its hosts: the public
// API of namespace veltmetadata and of the XMP toolkit, and the file and folder classes of
// this core services layer that the public API names (FileObjects.h). Everything else is
// hidden (-fvisibility=hidden), the rest of this layer included.
#define VELT_EXPORT __attribute__((visibility("default")))
