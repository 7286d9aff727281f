#pragma once

// The namespace host of every namespace URI the library and its toolkit define themselves.
// URIs are this host followed by a path, e.g. kVeltNamespaceHost "/xmp/transient/1.0/".
#define VELT_NAMESPACE_HOST "http://ns.veltmetadata.org"

namespace veltcore {
inline constexpr const char* kVeltNamespaceHost = VELT_NAMESPACE_HOST;
}  // namespace veltcore
