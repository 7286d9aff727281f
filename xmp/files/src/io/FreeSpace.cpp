#include "io/FreeSpace.h"

#include <algorithm>
#include <string>

namespace xmpfiles {

namespace {

// The run of free units starting at spans[i]: its end and the index of its last unit.
std::pair<std::uint64_t, std::size_t> RunFrom(std::span<const Span> spans, std::size_t i) {
  std::size_t j = i;
  while (j + 1 < spans.size() && spans[j + 1].mFree && spans[j + 1].mOffset == spans[j].mEnd)
    ++j;
  return {spans[j].mEnd, j};
}

// The padding a unit of `size` bytes behind a holder header needs to fill [start, end)
// exactly (0 when a free unit can take the rest); nullopt when it does not fit.
std::optional<std::uint64_t> FitIn(std::uint64_t start, std::uint64_t end, std::uint64_t size,
                                   const ContainerFrame& frame) {
  const std::uint64_t need = frame.mFreeHeaderSize + size;
  if (end < start || end - start < need || end - start > frame.mMaxFreeUnit) return std::nullopt;
  const std::uint64_t left = end - start - need;
  return left == 0 || left >= frame.mFreeHeaderSize ? 0 : left;
}

Bytes Concat(Bytes a, std::span<const std::uint8_t> b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void Blank(WriteJournal& journal, const std::vector<ByteRange>& ranges) {
  bool any = false;
  for (const ByteRange& range : ranges) {
    if (range.mEnd <= range.mOffset) continue;
    journal.Write(range.mOffset,
                  std::string(static_cast<std::size_t>(range.mEnd - range.mOffset), ' '));
    any = true;
  }
  if (any) journal.Sync();
}

}  // namespace

std::optional<Placement> PlanPlacement(std::span<const Span> spans, std::optional<std::size_t> old,
                                       std::uint64_t size, std::uint64_t containerEnd,
                                       bool canAppend, const ContainerFrame& frame) {
  using Kind = Placement::Kind;
  const std::uint64_t header = frame.mFreeHeaderSize;
  if (old) {
    const Span& unit = spans[*old];
    const bool canSwallow = unit.mEnd - unit.mOffset + header <= frame.mMaxFreeUnit;
    std::size_t next = *old + 1;
    if (canSwallow && next < spans.size() && spans[next].mFree &&
        spans[next].mOffset == unit.mEnd) {
      std::uint64_t runEnd = RunFrom(spans, next).first;
      if (auto extra = FitIn(unit.mEnd, runEnd, size, frame)) {
        return Placement{Kind::kAfterOld, unit.mEnd, runEnd, *extra};
      }
    }
    if (*old > 0 && spans[*old - 1].mFree && spans[*old - 1].mEnd == unit.mOffset) {
      std::size_t first = *old - 1;
      while (first > 0 && spans[first - 1].mFree && spans[first - 1].mEnd == spans[first].mOffset)
        --first;
      const std::uint64_t start = spans[first].mOffset;
      if (unit.mOffset - start >= size + header && unit.mOffset - start <= frame.mMaxFreeUnit &&
          unit.mEnd - (start + size) <= frame.mMaxFreeUnit) {
        return Placement{Kind::kBeforeOld, start, unit.mOffset, 0};
      }
    }
    // The old unit ends the container, or does but for free space that one write can extend
    // (where no recorded container end would lag behind it): the new one goes right after.
    bool onlyFreeAfter = *old + 1 == spans.size() || !frame.mSetEnd;
    for (std::size_t i = *old + 1; i < spans.size(); ++i)
      onlyFreeAfter = onlyFreeAfter && spans[i].mFree;
    if (canSwallow && canAppend && onlyFreeAfter) {
      return Placement{Kind::kAfterOld, unit.mEnd, unit.mEnd + header + size, 0};
    }
  }
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (!spans[i].mFree) continue;
    auto [runEnd, last] = RunFrom(spans, i);
    if (auto extra = FitIn(spans[i].mOffset, runEnd, size, frame)) {
      return Placement{Kind::kInFree, spans[i].mOffset, runEnd, *extra};
    }
    i = last;
  }
  if (!canAppend) return std::nullopt;
  std::uint64_t at = spans.empty() ? containerEnd : std::max(containerEnd, spans.back().mEnd);
  return Placement{Kind::kAppend, at, at + header + size, 0};
}

bool PlaceUnit(WriteJournal& journal, const ContainerFrame& frame, const UnitUpdate& update) {
  using Kind = Placement::Kind;
  // Built before anything is written, so that a failure to build changes nothing.
  Bytes unit = update.mMake(0);
  const std::uint64_t natural = unit.size();
  auto plan = PlanPlacement(update.mSpans, update.mOld, natural, update.mContainerEnd,
                            update.mCanAppend, frame);
  if (!plan) return false;
  if (plan->mExtra > 0) {
    unit = update.mMake(plan->mExtra);
    if (unit.size() != natural + plan->mExtra) {
      throw FileError(ErrorKind::kBadParam, "the new unit cannot be padded to fill its space");
    }
  }
  if (plan->mEnd > frame.mMaxEnd) {
    throw FileError(ErrorKind::kUnsupported, "the container would grow to " +
                                                 std::to_string(plan->mEnd) + " bytes, past its " +
                                                 std::to_string(frame.mMaxEnd) + "-byte limit");
  }
  Storage& file = journal.File();
  const std::uint64_t header = frame.mFreeHeaderSize;
  const std::uint64_t n = unit.size();
  const std::uint64_t at = plan->mOffset;
  const std::span<const std::uint8_t> bytes(unit);

  if (plan->mKind == Kind::kBeforeOld) {
    const Span& old = update.mSpans[*update.mOld];
    // Hidden behind a free header over the whole run; a free unit after it reaches to the
    // old unit's end, so that writing the unit's own header makes it live and retires the
    // old one at once.
    journal.Write(at, frame.mFreeHeader(plan->mEnd - at));
    journal.Write(at + header,
                  Concat(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(header), bytes.end()),
                         frame.mFreeHeader(old.mEnd - (at + n))));
    journal.Sync();
    file.CheckIdentity();
    journal.Write(at, bytes.first(static_cast<std::size_t>(header)));
    journal.Sync();
    Blank(journal, update.mBlank);
    return true;
  }

  // The unit behind a holder header, with a free unit after it for the rest of the space.
  const std::uint64_t rest = plan->mEnd - (at + header + n);
  Bytes tail = Concat(unit, rest > 0 ? frame.mFreeHeader(rest) : Bytes{});
  const std::uint64_t fileSize = file.Size();
  if (plan->mEnd > fileSize) {
    journal.Reserve(plan->mEnd);
    // Everything new lies past the end: one write, zeros first for a missing pad byte.
    Bytes block(static_cast<std::size_t>(at - std::min(at, fileSize)), 0);
    block = Concat(Concat(std::move(block), frame.mFreeHeader(plan->mEnd - at)), tail);
    journal.Write(std::min(at, fileSize), block);
    journal.Sync();
    if (frame.mSetEnd) {
      frame.mSetEnd(journal, plan->mEnd);
      journal.Sync();
    }
  } else {
    journal.Write(at, frame.mFreeHeader(plan->mEnd - at));
    journal.Write(at + header, tail);
    journal.Sync();
  }
  file.CheckIdentity();
  if (plan->mKind == Kind::kAfterOld) {
    // The old unit becomes free space reaching over the holder header: the new unit is live
    // and the old one gone in one write.
    const Span& old = update.mSpans[*update.mOld];
    journal.Write(old.mOffset, frame.mFreeHeader(old.mEnd - old.mOffset + header));
    journal.Sync();
  } else {
    journal.Write(at, frame.mFreeHeader(header));
    journal.Sync();
    if (update.mOld) {
      const Span& old = update.mSpans[*update.mOld];
      journal.Write(old.mOffset, frame.mFreeHeader(old.mEnd - old.mOffset));
      journal.Sync();
    }
  }
  Blank(journal, update.mBlank);
  return true;
}

void RetireUnit(WriteJournal& journal, const ContainerFrame& frame, const Span& unit,
                const std::vector<ByteRange>& blank) {
  journal.Write(unit.mOffset, frame.mFreeHeader(unit.mEnd - unit.mOffset));
  journal.Sync();
  Blank(journal, blank);
}

}  // namespace xmpfiles
