#pragma once

// An open-addressed hash index of small integer ids, for tables that may grow to many
// thousands of names (namespaces, element names, fields of one structure). The caller keeps
// the keys in its own storage, by id; a slot holds 32 bits of the key's hash and the id, so a
// probe reads eight bytes and compares a key only when the hash bits agree. Node-based hash
// maps chase a pointer per probe, which at tens of thousands of entries is a cache miss each.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace xmpcore {

// SipHash-2-4 of `text` under the key (k0, k1), the form with published reference outputs:
// HashText uses the same construction with fewer rounds.
std::uint64_t SipHash24(std::string_view text, std::uint64_t k0, std::uint64_t k1);

// The hash used with HashIndex for text keys: SipHash-1-3 under a key drawn at random once
// per process. Names come from the files being read; with a fixed hash function a crafted
// packet of colliding names would turn each lookup into a search of all of them.
size_t HashText(std::string_view text);

// HashText for the standard unordered containers keyed by text.
struct TextHasher {
  size_t operator()(std::string_view text) const { return HashText(text); }
};

class HashIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;

  // The first id stored under `hash` for which `matches(id)` is true, or kNone.
  template <class Matches>
  std::uint32_t Find(size_t hash, Matches&& matches) const {
    if (mSlots.empty()) return kNone;
    const auto bits = static_cast<std::uint32_t>(hash);
    for (size_t at = bits & Mask(); mSlots[at].mId != kNone; at = (at + 1) & Mask()) {
      if (mSlots[at].mHash == bits && matches(mSlots[at].mId)) return mSlots[at].mId;
    }
    return kNone;
  }

  // Adds `id` under `hash`. The caller has made sure the key is not in the index yet.
  void Insert(size_t hash, std::uint32_t id);
  // Removes `id` stored under `hash` (nothing when it is not there).
  void Erase(size_t hash, std::uint32_t id);
  // Stores `to` in place of `from` under `hash` (for a caller that moved a key to a new id).
  void Renumber(size_t hash, std::uint32_t from, std::uint32_t to);
  // Removes every id and frees the slots.
  void Clear();
  // Removes every id and keeps the slots for reuse.
  void Reset();
  size_t Size() const { return mCount; }

 private:
  struct Slot {
    std::uint32_t mHash = 0;
    std::uint32_t mId = kNone;
  };
  size_t Mask() const { return mSlots.size() - 1; }
  // The slot holding `id` under `hash`, or the table's size.
  size_t SlotOf(size_t hash, std::uint32_t id) const;
  void Grow();

  std::vector<Slot> mSlots;  // a power of two in size, at most half full
  size_t mCount = 0;
};

}  // namespace xmpcore
