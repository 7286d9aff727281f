#pragma once

// Namespace URIs of the library's own formats, all on the library's namespace host.

#include "veltcore/Namespaces.h"

namespace veltmetadata {

// Base of every namespace made for a dynamic schema; ends in "/".
inline constexpr const char kDynamicNamespaceBase[] = VELT_NAMESPACE_HOST "/velt/dynamic/";
// Root namespace of view definitions files.
inline constexpr const char kViewsNamespace[] = VELT_NAMESPACE_HOST "/metadata/ui/1.0/";
// Namespace of extension package manifests.
inline constexpr const char kExtensionNamespace[] = VELT_NAMESPACE_HOST "/metadata/extension/1.0/";
// Namespace of legacy panel files.
inline constexpr const char kFileInfoNamespace[] = VELT_NAMESPACE_HOST "/xmp/fileinfo/";
// Namespace of the panel hints in definitions files ("separator", "multiLine").
inline constexpr const char kFileInfoUINamespace[] = VELT_NAMESPACE_HOST "/xmp/fileinfo/ui/";
// Namespace of values that live only in memory and are never written to files.
inline constexpr const char kTransientNamespace[] = VELT_NAMESPACE_HOST "/xmp/transient/1.0/";
// Namespace of the aggregated display values (schema "orvane").
inline constexpr const char kAggregateNamespace[] = VELT_NAMESPACE_HOST "/xmp/aggregate/1.0/";
// Namespaces of the built-in DICOM and mobile content schemas.
inline constexpr const char kDicomNamespace[] = VELT_NAMESPACE_HOST "/DICOM/";
inline constexpr const char kSwfNamespace[] = VELT_NAMESPACE_HOST "/swf/1.0/";

}  // namespace veltmetadata
