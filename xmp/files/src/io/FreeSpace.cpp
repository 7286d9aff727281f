#include "io/FreeSpace.h"

#include <algorithm>
#include <string>

namespace xmpfiles {

namespace {

// The run of free units starting at spans[i]: its end and the index of its last unit.
std::pair<std::uint64_t, std::size_t> RunFrom(std::span<const Span> spans, std::size_t i) {
  std::size_t j = i;
  while (j + 1 < spans.size() && spans[j + 1].free && spans[j + 1].offset == spans[j].end)
    ++j;
  return {spans[j].end, j};
}

// The padding a unit of `size` bytes behind a holder header needs to fill [start, end)
// exactly (0 when a free unit can take the rest); nullopt when it does not fit.
std::optional<std::uint64_t> FitIn(std::uint64_t start, std::uint64_t end, std::uint64_t size,
                                   const ContainerFrame& frame) {
  const std::uint64_t need = frame.freeHeaderSize + size;
  if (end < start || end - start < need || end - start > frame.maxFreeUnit) return std::nullopt;
  const std::uint64_t left = end - start - need;
  return left == 0 || left >= frame.freeHeaderSize ? 0 : left;
}

Bytes Concat(Bytes a, std::span<const std::uint8_t> b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void Blank(WriteJournal& journal, const std::vector<ByteRange>& ranges) {
  bool any = false;
  for (const ByteRange& range : ranges) {
    if (range.end <= range.offset) continue;
    journal.Write(range.offset,
                  std::string(static_cast<std::size_t>(range.end - range.offset), ' '));
    any = true;
  }
  if (any) journal.Sync();
}

}  // namespace

std::optional<Placement> PlanPlacement(std::span<const Span> spans, std::optional<std::size_t> old,
                                       std::uint64_t size, std::uint64_t containerEnd,
                                       bool canAppend, const ContainerFrame& frame) {
  using Kind = Placement::Kind;
  const std::uint64_t header = frame.freeHeaderSize;
  if (old) {
    const Span& unit = spans[*old];
    const bool canSwallow = unit.end - unit.offset + header <= frame.maxFreeUnit;
    std::size_t next = *old + 1;
    if (canSwallow && next < spans.size() && spans[next].free && spans[next].offset == unit.end) {
      std::uint64_t runEnd = RunFrom(spans, next).first;
      if (auto extra = FitIn(unit.end, runEnd, size, frame)) {
        return Placement{Kind::kAfterOld, unit.end, runEnd, *extra};
      }
    }
    if (*old > 0 && spans[*old - 1].free && spans[*old - 1].end == unit.offset) {
      std::size_t first = *old - 1;
      while (first > 0 && spans[first - 1].free && spans[first - 1].end == spans[first].offset)
        --first;
      const std::uint64_t start = spans[first].offset;
      if (unit.offset - start >= size + header && unit.offset - start <= frame.maxFreeUnit &&
          unit.end - (start + size) <= frame.maxFreeUnit) {
        return Placement{Kind::kBeforeOld, start, unit.offset, 0};
      }
    }
    // The old unit ends the container, or does but for free space that one write can extend
    // (where no recorded container end would lag behind it): the new one goes right after.
    bool onlyFreeAfter = *old + 1 == spans.size() || !frame.setEnd;
    for (std::size_t i = *old + 1; i < spans.size(); ++i)
      onlyFreeAfter = onlyFreeAfter && spans[i].free;
    if (canSwallow && canAppend && onlyFreeAfter) {
      return Placement{Kind::kAfterOld, unit.end, unit.end + header + size, 0};
    }
  }
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (!spans[i].free) continue;
    auto [runEnd, last] = RunFrom(spans, i);
    if (auto extra = FitIn(spans[i].offset, runEnd, size, frame)) {
      return Placement{Kind::kInFree, spans[i].offset, runEnd, *extra};
    }
    i = last;
  }
  if (!canAppend) return std::nullopt;
  std::uint64_t at = spans.empty() ? containerEnd : std::max(containerEnd, spans.back().end);
  return Placement{Kind::kAppend, at, at + header + size, 0};
}

bool PlaceUnit(WriteJournal& journal, const ContainerFrame& frame, const UnitUpdate& update) {
  using Kind = Placement::Kind;
  // Built before anything is written, so that a failure to build changes nothing.
  Bytes unit = update.make(0);
  const std::uint64_t natural = unit.size();
  auto plan = PlanPlacement(update.spans, update.old, natural, update.containerEnd,
                            update.canAppend, frame);
  if (!plan) return false;
  if (plan->extra > 0) {
    unit = update.make(plan->extra);
    if (unit.size() != natural + plan->extra) {
      throw FileError(ErrorKind::kBadParam, "the new unit cannot be padded to fill its space");
    }
  }
  if (plan->end > frame.maxEnd) {
    throw FileError(ErrorKind::kUnsupported, "the container would grow to " +
                                                 std::to_string(plan->end) + " bytes, past its " +
                                                 std::to_string(frame.maxEnd) + "-byte limit");
  }
  Storage& file = journal.File();
  const std::uint64_t header = frame.freeHeaderSize;
  const std::uint64_t n = unit.size();
  const std::uint64_t at = plan->offset;
  const std::span<const std::uint8_t> bytes(unit);

  if (plan->kind == Kind::kBeforeOld) {
    const Span& old = update.spans[*update.old];
    // Hidden behind a free header over the whole run; a free unit after it reaches to the
    // old unit's end, so that writing the unit's own header makes it live and retires the
    // old one at once.
    journal.Write(at, frame.freeHeader(plan->end - at));
    journal.Write(at + header,
                  Concat(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(header), bytes.end()),
                         frame.freeHeader(old.end - (at + n))));
    journal.Sync();
    file.CheckIdentity();
    journal.Write(at, bytes.first(static_cast<std::size_t>(header)));
    journal.Sync();
    Blank(journal, update.blank);
    return true;
  }

  // The unit behind a holder header, with a free unit after it for the rest of the space.
  const std::uint64_t rest = plan->end - (at + header + n);
  Bytes tail = Concat(unit, rest > 0 ? frame.freeHeader(rest) : Bytes{});
  const std::uint64_t fileSize = file.Size();
  if (plan->end > fileSize) {
    journal.Reserve(plan->end);
    // Everything new lies past the end: one write, zeros first for a missing pad byte.
    Bytes block(static_cast<std::size_t>(at - std::min(at, fileSize)), 0);
    block = Concat(Concat(std::move(block), frame.freeHeader(plan->end - at)), tail);
    journal.Write(std::min(at, fileSize), block);
    journal.Sync();
    if (frame.setEnd) {
      frame.setEnd(journal, plan->end);
      journal.Sync();
    }
  } else {
    journal.Write(at, frame.freeHeader(plan->end - at));
    journal.Write(at + header, tail);
    journal.Sync();
  }
  file.CheckIdentity();
  if (plan->kind == Kind::kAfterOld) {
    // The old unit becomes free space reaching over the holder header: the new unit is live
    // and the old one gone in one write.
    const Span& old = update.spans[*update.old];
    journal.Write(old.offset, frame.freeHeader(old.end - old.offset + header));
    journal.Sync();
  } else {
    journal.Write(at, frame.freeHeader(header));
    journal.Sync();
    if (update.old) {
      const Span& old = update.spans[*update.old];
      journal.Write(old.offset, frame.freeHeader(old.end - old.offset));
      journal.Sync();
    }
  }
  Blank(journal, update.blank);
  return true;
}

void RetireUnit(WriteJournal& journal, const ContainerFrame& frame, const Span& unit,
                const std::vector<ByteRange>& blank) {
  journal.Write(unit.offset, frame.freeHeader(unit.end - unit.offset));
  journal.Sync();
  Blank(journal, blank);
}

}  // namespace xmpfiles
