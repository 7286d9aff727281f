#pragma once

// Big- and little-endian integer access on byte buffers, and a bounds-checked cursor over a
// buffer for parsing structures that were read into memory.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "io/Storage.h"

namespace xmpfiles {

enum class Endian { kBig, kLittle };

inline std::uint16_t GetU16(const std::uint8_t* p, Endian e) {
  return e == Endian::kBig ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                           : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}
inline std::uint32_t GetU32(const std::uint8_t* p, Endian e) {
  return e == Endian::kBig ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                              std::uint32_t{p[2]} << 8 | p[3])
                           : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 |
                              std::uint32_t{p[1]} << 8 | p[0]);
}
inline std::uint64_t GetU64(const std::uint8_t* p, Endian e) {
  std::uint64_t hi = GetU32(e == Endian::kBig ? p : p + 4, e);
  std::uint64_t lo = GetU32(e == Endian::kBig ? p + 4 : p, e);
  return hi << 32 | lo;
}
inline std::uint16_t GetU16BE(const std::uint8_t* p) {
  return GetU16(p, Endian::kBig);
}
inline std::uint32_t GetU32BE(const std::uint8_t* p) {
  return GetU32(p, Endian::kBig);
}
inline std::uint16_t GetU16LE(const std::uint8_t* p) {
  return GetU16(p, Endian::kLittle);
}
inline std::uint32_t GetU32LE(const std::uint8_t* p) {
  return GetU32(p, Endian::kLittle);
}

inline void PutU16(std::uint8_t* p, std::uint16_t v, Endian e) {
  if (e == Endian::kBig) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
  } else {
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[0] = static_cast<std::uint8_t>(v);
  }
}
inline void PutU32(std::uint8_t* p, std::uint32_t v, Endian e) {
  for (int i = 0; i < 4; ++i) {
    int shift = e == Endian::kBig ? 24 - 8 * i : 8 * i;
    p[i] = static_cast<std::uint8_t>(v >> shift);
  }
}
inline void PutU64(std::uint8_t* p, std::uint64_t v, Endian e) {
  PutU32(e == Endian::kBig ? p : p + 4, static_cast<std::uint32_t>(v >> 32), e);
  PutU32(e == Endian::kBig ? p + 4 : p, static_cast<std::uint32_t>(v), e);
}

// Appending writers for building structures in a byte vector.
inline void AppendU8(Bytes& out, std::uint8_t v) {
  out.push_back(v);
}
inline void AppendU16(Bytes& out, std::uint16_t v, Endian e) {
  out.resize(out.size() + 2);
  PutU16(out.data() + out.size() - 2, v, e);
}
inline void AppendU32(Bytes& out, std::uint32_t v, Endian e) {
  out.resize(out.size() + 4);
  PutU32(out.data() + out.size() - 4, v, e);
}
inline void AppendU64(Bytes& out, std::uint64_t v, Endian e) {
  out.resize(out.size() + 8);
  PutU64(out.data() + out.size() - 8, v, e);
}
inline void AppendBytes(Bytes& out, std::string_view s) {
  out.insert(out.end(), s.begin(), s.end());
}
inline void AppendBytes(Bytes& out, std::span<const std::uint8_t> s) {
  out.insert(out.end(), s.begin(), s.end());
}

// A cursor over bytes in memory. Every read checks the remaining length first and throws a
// FileError (bad format) naming `what` when the data is too short.
class BufReader {
 public:
  BufReader(std::span<const std::uint8_t> data, Endian e, std::string what)
      : mData(data), mEndian(e), mWhat(std::move(what)) {}

  std::size_t Pos() const { return mPos; }
  std::size_t Remaining() const { return mData.size() - mPos; }
  void Seek(std::size_t pos) {
    if (pos > mData.size()) Fail(pos - mPos);
    mPos = pos;
  }
  void Skip(std::size_t n) { Need(n), mPos += n; }
  std::uint8_t U8() { return Need(1), mData[mPos++]; }
  std::uint16_t U16() { return Need(2), mPos += 2, GetU16(&mData[mPos - 2], mEndian); }
  std::uint32_t U32() { return Need(4), mPos += 4, GetU32(&mData[mPos - 4], mEndian); }
  std::uint64_t U64() { return Need(8), mPos += 8, GetU64(&mData[mPos - 8], mEndian); }
  std::span<const std::uint8_t> Take(std::size_t n) {
    Need(n);
    mPos += n;
    return mData.subspan(mPos - n, n);
  }
  std::string_view TakeString(std::size_t n) {
    auto s = Take(n);
    return {reinterpret_cast<const char*>(s.data()), s.size()};
  }

 private:
  void Need(std::size_t n) const {
    if (n > Remaining()) Fail(n);
  }
  [[noreturn]] void Fail(std::size_t n) const {
    ThrowFormat(mWhat + ": needs " + std::to_string(n) + " bytes at offset " +
                std::to_string(mPos) + ", " + std::to_string(Remaining()) + " remain");
  }

  std::span<const std::uint8_t> mData;
  std::size_t mPos = 0;
  Endian mEndian;
  std::string mWhat;
};

inline std::string_view AsChars(std::span<const std::uint8_t> s) {
  return {reinterpret_cast<const char*>(s.data()), s.size()};
}
inline std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace xmpfiles
