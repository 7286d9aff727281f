#include "HashIndex.h"

namespace xmpcore {

void HashIndex::Insert(size_t hash, std::uint32_t id) {
  if (2 * (mCount + 1) > mSlots.size()) Grow();
  const auto bits = static_cast<std::uint32_t>(hash);
  size_t at = bits & Mask();
  while (mSlots[at].mId != kNone)
    at = (at + 1) & Mask();
  mSlots[at] = {bits, id};
  ++mCount;
}

size_t HashIndex::SlotOf(size_t hash, std::uint32_t id) const {
  if (mSlots.empty()) return 0;
  const auto bits = static_cast<std::uint32_t>(hash);
  for (size_t at = bits & Mask(); mSlots[at].mId != kNone; at = (at + 1) & Mask()) {
    if (mSlots[at].mId == id) return at;
  }
  return mSlots.size();
}

void HashIndex::Erase(size_t hash, std::uint32_t id) {
  size_t hole = SlotOf(hash, id);
  if (hole >= mSlots.size()) return;
  mSlots[hole] = {};
  --mCount;
  // Linear probing without tombstones: each later slot of the run whose home position does
  // not lie between the hole and itself moves back into the hole, so that every id stays
  // reachable from its home without a gap on the way.
  for (size_t at = (hole + 1) & Mask(); mSlots[at].mId != kNone; at = (at + 1) & Mask()) {
    const size_t home = mSlots[at].mHash & Mask();
    if (((at - home) & Mask()) >= ((at - hole) & Mask())) {
      mSlots[hole] = mSlots[at];
      mSlots[at] = {};
      hole = at;
    }
  }
}

void HashIndex::Renumber(size_t hash, std::uint32_t from, std::uint32_t to) {
  size_t at = SlotOf(hash, from);
  if (at < mSlots.size()) mSlots[at].mId = to;
}

void HashIndex::Clear() {
  mSlots = {};
  mCount = 0;
}

// Doubles the table, placing each id by its kept hash bits (no key is hashed again).
void HashIndex::Grow() {
  std::vector<Slot> old(mSlots.empty() ? 16 : mSlots.size() * 2);
  old.swap(mSlots);
  for (const Slot& slot : old) {
    if (slot.mId == kNone) continue;
    size_t at = slot.mHash & Mask();
    while (mSlots[at].mId != kNone)
      at = (at + 1) & Mask();
    mSlots[at] = slot;
  }
}

}  // namespace xmpcore
