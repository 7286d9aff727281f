#pragma once

// Keeping the chunk offsets of a movie right when a rewrite moves the media they point to.

#include <cstdint>
#include <vector>

#include "io/Storage.h"

namespace xmpfiles::iso {

// A byte range of the old file [oldBegin, oldEnd) that starts at newBegin in the new file.
struct Segment {
  std::uint64_t mOldBegin = 0;
  std::uint64_t mOldEnd = 0;
  std::uint64_t mNewBegin = 0;
};

// Rewrites, in the moov box `moov` (a whole box, header included), every entry of every
// stco and co64 table (moov/trak/mdia/minf/stbl) that points into one of `moves` so that it
// points to the same byte in the new file. Entries outside every segment are left alone.
// Throws FileError (kBadFormat) for a table whose entry count overruns its box, and
// (kUnsupported) when a 32-bit offset would pass 4 GB.
void MoveChunkOffsets(Bytes& moov, const std::vector<Segment>& moves);

}  // namespace xmpfiles::iso
