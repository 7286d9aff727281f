#pragma once

// The marker segments of a JPEG file up to its first scan.

#include <cstdint>
#include <vector>

#include "io/Storage.h"

namespace xmpfiles {

struct JpegSegment {
  std::uint64_t mFillOffset = 0;     // of the 0xFF fill bytes before the marker, if any
  std::uint64_t mOffset = 0;         // of the 0xFF marker byte
  std::uint8_t mMarker = 0;          // 0xE1 for APP1...
  std::uint64_t mTotalLength = 0;    // marker, length field and payload
  std::uint64_t mPayloadOffset = 0;  // after the length field
  std::size_t mPayloadLength = 0;
};

struct JpegLayout {
  std::vector<JpegSegment> mSegments;  // the segments between SOI and the first SOS (or EOI)
  std::uint64_t mScanOffset = 0;       // offset of SOS/EOI; the rest of the file is image data
};

// Lists the segments. Runs of 0x00 or 0xFF fill between segments are skipped (a rewrite
// copies the bytes between segments as they are). Not strict (reading): a broken segment ends the
// list, and what was found before it is kept. Strict (writing): any inconsistency throws FileError
// (bad format), so that a file is never rewritten from a misunderstood structure.
JpegLayout ParseJpeg(Storage& file, bool strict);

}  // namespace xmpfiles
