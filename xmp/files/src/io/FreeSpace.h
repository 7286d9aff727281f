#pragma once

// Placing a new top-level unit (an ISO box, a RIFF chunk) into a container file without
// moving any other unit, and the ordered update that makes it live so that every state on
// disk in between is a valid file holding the old unit or the new one:
//
//   1. space: the new unit is written inside a free unit (the "holder": a free box or JUNK
//      chunk covering it), beyond the old end of the file when it must grow (the space is
//      reserved first), and flushed;
//   2. switch: one small header write makes it live, and flushed;
//   3. retire: the old unit becomes free space (one header write), and flushed; then the
//      packet it held is blanked so that scanners do not find stale XMP.
//
// Where the new unit sits right after or right before the old one, the switch write also
// retires the old unit, so two live copies never exist. Elsewhere they exist between steps
// 2 and 3; readers take the first. Any failure rolls the file back (WriteJournal).
// Each format supplies only how its free units and its container end are written.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "io/Storage.h"
#include "io/WriteJournal.h"

namespace xmpfiles {

// One top-level unit of a container: [offset, end), free space or not.
struct Span {
  std::uint64_t mOffset = 0;
  std::uint64_t mEnd = 0;
  bool mFree = false;
};

// How a container format frames its units.
struct ContainerFrame {
  // Size of a free unit's header, which is also the smallest free unit.
  std::uint64_t mFreeHeaderSize = 8;
  // The largest free unit the header can describe.
  std::uint64_t mMaxFreeUnit = 0xFFFFFFFFull;
  // The header of a free unit of `total` bytes (header included, freeHeaderSize or more).
  std::function<Bytes(std::uint64_t total)> mFreeHeader;
  // The largest the container may grow to; past it the update fails (kUnsupported).
  std::uint64_t mMaxEnd = ~0ull;
  // Records a new container end where the format keeps one (RIFF's form size); null when
  // the end of the file is the container's end.
  std::function<void(WriteJournal&, std::uint64_t end)> mSetEnd;
};

// Where a new unit goes.
struct Placement {
  enum class Kind {
    kAfterOld,   // in the free space right after the old unit (or appended after it)
    kBeforeOld,  // in the free space right before the old unit
    kInFree,     // in a run of free units elsewhere
    kAppend,     // at the end of the container
  };
  Kind mKind = Kind::kAppend;
  std::uint64_t mOffset = 0;  // first byte of the space taken
  std::uint64_t mEnd = 0;     // end of the space taken
  std::uint64_t mExtra = 0;   // padding the new unit gets so that it fills the space exactly
};

// Chooses where a new unit of `size` bytes goes, replacing `spans[*old]` or added when
// `old` is empty, in this order: right after the old unit, right before it, in the first
// run of free units that holds it, at the end of the container (when `canAppend`). nullopt
// when only a rewrite of the whole file can place it.
std::optional<Placement> PlanPlacement(std::span<const Span> spans, std::optional<std::size_t> old,
                                       std::uint64_t size, std::uint64_t containerEnd,
                                       bool canAppend, const ContainerFrame& frame);

// A byte range of the file.
struct ByteRange {
  std::uint64_t mOffset = 0;
  std::uint64_t mEnd = 0;
};

// What one placement needs.
struct UnitUpdate {
  std::span<const Span> mSpans;
  std::optional<std::size_t> mOld;  // the unit being replaced
  std::uint64_t mContainerEnd = 0;
  bool mCanAppend = false;
  // The new unit, grown by `extra` bytes of padding (extra is 0 or what PlanPlacement asks).
  std::function<Bytes(std::uint64_t extra)> mMake;
  // Bytes of the old unit to blank once it is retired (its packet).
  std::vector<ByteRange> mBlank;
};

// Places the new unit by the ordered update above, through `journal`. Returns false, having
// written nothing, when only a rewrite can place it. Throws FileError on failure (the
// journal then rolls the file back).
bool PlaceUnit(WriteJournal& journal, const ContainerFrame& frame, const UnitUpdate& update);

// Retires a unit outside any placement (a second copy left by an interrupted update, a
// packet in a place the format no longer uses): a free header over it, then its packet
// blanked. Flushes.
void RetireUnit(WriteJournal& journal, const ContainerFrame& frame, const Span& unit,
                const std::vector<ByteRange>& blank);

}  // namespace xmpfiles
