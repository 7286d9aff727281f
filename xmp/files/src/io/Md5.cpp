#include "io/Md5.h"

#include <bit>
#include <cstring>

namespace xmpfiles {

namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int c) {
  return (x << c) | (x >> (32 - c));
}

// Reads one little-endian word; memcpy compiles to a single load on the usual targets.
std::uint32_t Word(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
  } else {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
  }
}

// The four round functions, written so that each needs few operations.
constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return z ^ (x & (y ^ z));
}
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return y ^ (z & (x ^ y));
}
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return x ^ y ^ z;
}
constexpr std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return y ^ (x | ~z);
}

template <std::uint32_t (*Fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t m, std::uint32_t k, int s) {
  a = b + Rotl(a + Fn(b, c, d) + m + k, s);
}

// Folds 64-byte blocks read straight from `p` into the state `h`; every step written out, so
// that the message words and shifts are constants.
void Blocks(std::uint32_t h[4], const std::uint8_t* p, std::size_t count) {
  for (; count > 0; --count, p += 64) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = Word(p + 4 * i);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];

    Step<F>(a, b, c, d, m[0], 0xd76aa478, 7);
    Step<F>(d, a, b, c, m[1], 0xe8c7b756, 12);
    Step<F>(c, d, a, b, m[2], 0x242070db, 17);
    Step<F>(b, c, d, a, m[3], 0xc1bdceee, 22);
    Step<F>(a, b, c, d, m[4], 0xf57c0faf, 7);
    Step<F>(d, a, b, c, m[5], 0x4787c62a, 12);
    Step<F>(c, d, a, b, m[6], 0xa8304613, 17);
    Step<F>(b, c, d, a, m[7], 0xfd469501, 22);
    Step<F>(a, b, c, d, m[8], 0x698098d8, 7);
    Step<F>(d, a, b, c, m[9], 0x8b44f7af, 12);
    Step<F>(c, d, a, b, m[10], 0xffff5bb1, 17);
    Step<F>(b, c, d, a, m[11], 0x895cd7be, 22);
    Step<F>(a, b, c, d, m[12], 0x6b901122, 7);
    Step<F>(d, a, b, c, m[13], 0xfd987193, 12);
    Step<F>(c, d, a, b, m[14], 0xa679438e, 17);
    Step<F>(b, c, d, a, m[15], 0x49b40821, 22);

    Step<G>(a, b, c, d, m[1], 0xf61e2562, 5);
    Step<G>(d, a, b, c, m[6], 0xc040b340, 9);
    Step<G>(c, d, a, b, m[11], 0x265e5a51, 14);
    Step<G>(b, c, d, a, m[0], 0xe9b6c7aa, 20);
    Step<G>(a, b, c, d, m[5], 0xd62f105d, 5);
    Step<G>(d, a, b, c, m[10], 0x02441453, 9);
    Step<G>(c, d, a, b, m[15], 0xd8a1e681, 14);
    Step<G>(b, c, d, a, m[4], 0xe7d3fbc8, 20);
    Step<G>(a, b, c, d, m[9], 0x21e1cde6, 5);
    Step<G>(d, a, b, c, m[14], 0xc33707d6, 9);
    Step<G>(c, d, a, b, m[3], 0xf4d50d87, 14);
    Step<G>(b, c, d, a, m[8], 0x455a14ed, 20);
    Step<G>(a, b, c, d, m[13], 0xa9e3e905, 5);
    Step<G>(d, a, b, c, m[2], 0xfcefa3f8, 9);
    Step<G>(c, d, a, b, m[7], 0x676f02d9, 14);
    Step<G>(b, c, d, a, m[12], 0x8d2a4c8a, 20);

    Step<H>(a, b, c, d, m[5], 0xfffa3942, 4);
    Step<H>(d, a, b, c, m[8], 0x8771f681, 11);
    Step<H>(c, d, a, b, m[11], 0x6d9d6122, 16);
    Step<H>(b, c, d, a, m[14], 0xfde5380c, 23);
    Step<H>(a, b, c, d, m[1], 0xa4beea44, 4);
    Step<H>(d, a, b, c, m[4], 0x4bdecfa9, 11);
    Step<H>(c, d, a, b, m[7], 0xf6bb4b60, 16);
    Step<H>(b, c, d, a, m[10], 0xbebfbc70, 23);
    Step<H>(a, b, c, d, m[13], 0x289b7ec6, 4);
    Step<H>(d, a, b, c, m[0], 0xeaa127fa, 11);
    Step<H>(c, d, a, b, m[3], 0xd4ef3085, 16);
    Step<H>(b, c, d, a, m[6], 0x04881d05, 23);
    Step<H>(a, b, c, d, m[9], 0xd9d4d039, 4);
    Step<H>(d, a, b, c, m[12], 0xe6db99e5, 11);
    Step<H>(c, d, a, b, m[15], 0x1fa27cf8, 16);
    Step<H>(b, c, d, a, m[2], 0xc4ac5665, 23);

    Step<I>(a, b, c, d, m[0], 0xf4292244, 6);
    Step<I>(d, a, b, c, m[7], 0x432aff97, 10);
    Step<I>(c, d, a, b, m[14], 0xab9423a7, 15);
    Step<I>(b, c, d, a, m[5], 0xfc93a039, 21);
    Step<I>(a, b, c, d, m[12], 0x655b59c3, 6);
    Step<I>(d, a, b, c, m[3], 0x8f0ccc92, 10);
    Step<I>(c, d, a, b, m[10], 0xffeff47d, 15);
    Step<I>(b, c, d, a, m[1], 0x85845dd1, 21);
    Step<I>(a, b, c, d, m[8], 0x6fa87e4f, 6);
    Step<I>(d, a, b, c, m[15], 0xfe2ce6e0, 10);
    Step<I>(c, d, a, b, m[6], 0xa3014314, 15);
    Step<I>(b, c, d, a, m[13], 0x4e0811a1, 21);
    Step<I>(a, b, c, d, m[4], 0xf7537e82, 6);
    Step<I>(d, a, b, c, m[11], 0xbd3af235, 10);
    Step<I>(c, d, a, b, m[2], 0x2ad7d2bb, 15);
    Step<I>(b, c, d, a, m[9], 0xeb86d391, 21);

    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
  }
}

}  // namespace

std::array<std::uint8_t, 16> Md5(std::string_view data) {
  std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  const std::size_t n = data.size();
  const std::size_t full = n / 64;
  Blocks(h, p, full);
  // Final block(s): remaining bytes, 0x80, zeros, bit length little-endian.
  std::uint8_t tail[128] = {};
  const std::size_t rest = n - 64 * full;
  if (rest > 0) std::memcpy(tail, p + 64 * full, rest);
  tail[rest] = 0x80;
  const std::size_t tailLen = rest + 1 + 8 <= 64 ? 64 : 128;
  const std::uint64_t bits = static_cast<std::uint64_t>(n) * 8;
  for (int i = 0; i < 8; ++i)
    tail[tailLen - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Blocks(h, tail, tailLen / 64);
  std::array<std::uint8_t, 16> out{};
  for (int i = 0; i < 16; ++i)
    out[i] = static_cast<std::uint8_t>(h[i / 4] >> (8 * (i % 4)));
  return out;
}

std::string Md5Hex(std::string_view data) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(32);
  for (std::uint8_t b : Md5(data)) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

}  // namespace xmpfiles
