#include "HashIndex.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <random>

namespace xmpcore {
namespace {

constexpr std::uint64_t Rotate(std::uint64_t x, int bits) {
  return (x << bits) | (x >> (64 - bits));
}

struct SipState {
  std::uint64_t v0, v1, v2, v3;
  void Round() {
    v0 += v1;
    v1 = Rotate(v1, 13) ^ v0;
    v0 = Rotate(v0, 32);
    v2 += v3;
    v3 = Rotate(v3, 16) ^ v2;
    v0 += v3;
    v3 = Rotate(v3, 21) ^ v0;
    v2 += v1;
    v1 = Rotate(v1, 17) ^ v2;
    v2 = Rotate(v2, 32);
  }
};

// SipHash-c-d: `kCompression` rounds per eight bytes, `kFinalization` at the end.
template <int kCompression, int kFinalization>
std::uint64_t Sip(std::string_view text, std::uint64_t k0, std::uint64_t k1) {
  SipState s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
             k1 ^ 0x7465646279746573ULL};
  auto absorb = [&s](std::uint64_t word) {
    s.v3 ^= word;
    for (int i = 0; i < kCompression; ++i)
      s.Round();
    s.v0 ^= word;
  };
  const char* p = text.data();
  const char* const whole = p + text.size() / 8 * 8;
  for (; p != whole; p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    absorb(word);
  }
  // The last 0-7 bytes, little-endian, under the length's low byte.
  std::uint64_t last = std::uint64_t{text.size() & 0xFF} << 56;
  for (size_t i = 0; i < text.size() % 8; ++i)
    last |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  absorb(last);
  s.v2 ^= 0xFF;
  for (int i = 0; i < kFinalization; ++i)
    s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

struct HashKey {
  std::uint64_t mK0 = 0x0706050403020100ULL;
  std::uint64_t mK1 = 0x0f0e0d0c0b0a0908ULL;
  HashKey() {
    try {
      std::random_device device;
      mK0 = (std::uint64_t{device()} << 32) ^ device();
      mK1 = (std::uint64_t{device()} << 32) ^ device();
    } catch (const std::exception&) {
      // No random source: the fixed key still hashes well, it is only predictable.
    }
  }
};

}  // namespace

std::uint64_t SipHash24(std::string_view text, std::uint64_t k0, std::uint64_t k1) {
  return Sip<2, 4>(text, k0, k1);
}

size_t HashText(std::string_view text) {
  static const HashKey sKey;
  return Sip<1, 3>(text, sKey.mK0, sKey.mK1);
}

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

void HashIndex::Reset() {
  std::fill(mSlots.begin(), mSlots.end(), Slot{});
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
