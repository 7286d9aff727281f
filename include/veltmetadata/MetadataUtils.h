#pragma once

// The XMP file format of media files, detected once and cached while the file is unchanged,
// and the associated files (sidecars) of a media file. Every function may be called from any
// thread and none lets an exception escape.

#include <boost/date_time/posix_time/ptime.hpp>
#include <vector>

#include "veltcore/Export.h"
#include "veltcore/StringTypes.h"

namespace veltmetadata::utility {

using veltcore::UTF16String;

// The file's format as the XMP file handlers see it (a four-character code such as "JPEG"),
// or kXMP_UnknownFile (four spaces) when no handler takes it or it cannot be opened. Served
// from the cache while the file's modification time, size, device and inode are those seen
// when it was detected; otherwise the file is opened and the answer cached, unknown included.
// A file whose modification time cannot be read (a missing file) answers unknown and is not
// cached. Paths are cache keys exactly as given: no normalisation, case-sensitive.
VELT_EXPORT unsigned int GetXMPFormat(const UTF16String& filePath);

// Records `format` for the path unless an entry exists already (which is kept). A
// not-a-date-time `modifiedTime` means the file's current one; nothing is recorded when
// that cannot be read, or when the time is not-a-date-time or infinite.
VELT_EXPORT void AddCachedXMPFormat(const UTF16String& filePath, unsigned int format,
                                    const boost::posix_time::ptime& modifiedTime);

// Forgets the path's entry, if any.
VELT_EXPORT void EraseCachedXMPFormat(const UTF16String& filePath);

// Appends to `outFiles` (never cleared) the files that make up the media file: the file
// itself, then its ".xmp" sidecar when one exists. False, with nothing appended, when the
// file is missing or of no known format.
VELT_EXPORT bool GetAssociatedFiles(const UTF16String& filePath,
                                    std::vector<UTF16String>& outFiles);

}  // namespace veltmetadata::utility
