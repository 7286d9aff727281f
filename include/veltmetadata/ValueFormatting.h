#pragma once

// Display texts of internal properties: a host-replaceable formatter hook, fixed formatters
// for camera values (exposure time, aperture, distance), formatting by type (dates in the
// user's locale, rationals, GPS coordinates), aliases that read a property of another schema,
// and the aggregate schema's values built from several EXIF and TIFF values.
//
// The tables behind FormatValue and GetConstructedValue are filled when the library starts
// and emptied when it stops; between the two they are read-only, so reads may run on any
// number of threads. Nothing here locks: the hook is a plain process-wide value, so a host
// registers it once, before it uses the library from several threads.

#include <cstddef>

#include <boost/function.hpp>

#include "veltcore/Export.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Path.h"

struct __XMPMeta__;

namespace veltmetadata {

// A display formatter: the object, the Path and the stored text in, the display text out
// (empty: this formatter has nothing to say).
using ValueFormatter = boost::function<UTF8String(__XMPMeta__*, const Path&, UTF8String)>;

// Replaces the host's formatter, which FormatValue asks before anything else; an empty
// function removes it. The hook survives Terminate. Its exceptions pass to the caller of the
// read.
VELT_EXPORT void RegisterValueFormatter(const ValueFormatter& inFormatter);
// A copy of the registered formatter (empty when none).
VELT_EXPORT ValueFormatter RegisteredValueFormatter();

// The display text of an internal property's stored text: the host's formatter when it gives
// a non-empty text, else the fixed formatter of the Path, else formatting by the Path's type
// ("date", "rational", "gpscoordinate"). Empty when nothing applies (the stored text is then
// shown). A Path without a definition asserts and gives the empty text.
VELT_EXPORT UTF8String FormatValue(__XMPMeta__* inMeta, const Path& inPath,
                                   const UTF8String& inRawValue);

// The display value of an internal property that is not stored: an alias reads the property
// it stands for; the aggregate schema's ImageSize, ImageResolution, ShutterSpeed and
// PhotographicSensitivity are built from EXIF and TIFF values. False when neither applies or
// the values are missing; `outResult` tells why.
VELT_EXPORT bool GetConstructedValue(__XMPMeta__* inMeta, const Path& inPath,
                                     UTF8String& outValue, GetValueResult* outResult);

// A stored XMP date in the user's short date and time format (see veltcore/DateFormat.h),
// moved to local time. Texts that are no valid date, and dates before 1601, come back as
// they are.
VELT_EXPORT UTF8String FormatDate(const UTF8String& inValue);
// "num/den" as a decimal number with `inDecimals` decimals; empty when the text is no
// rational or the denominator is 0.
VELT_EXPORT UTF8String FormatRational(const UTF8String& inValue, std::size_t inDecimals);
// An XMP GPS coordinate ("37,48.6N", "122,25,30W") as degrees, minutes and seconds
// ("122° 25' 30" W"); all zero gives "0°"; empty text gives empty text.
VELT_EXPORT UTF8String FormatGPSCoordinate(const UTF8String& inValue);

}  // namespace veltmetadata
