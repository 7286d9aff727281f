#include "formats/jpeg/JpegLayout.h"

#include <cstdio>

#include "io/Endian.h"

namespace xmpfiles {

namespace {

std::string Hex(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v);
  return buf;
}

bool IsStandalone(std::uint8_t m) {
  return m == 0x01 || (m >= 0xD0 && m <= 0xD7);
}

// Offset of the first non-zero byte at or after `pos` (the file size when none).
std::uint64_t SkipZeros(Storage& file, std::uint64_t pos) {
  std::uint8_t buf[512];
  while (true) {
    std::size_t got = file.ReadSome(pos, buf, sizeof buf);
    for (std::size_t i = 0; i < got; ++i) {
      if (buf[i] != 0) return pos + i;
    }
    if (got == 0) return pos;
    pos += got;
  }
}

}  // namespace

JpegLayout ParseJpeg(Storage& file, bool strict) {
  JpegLayout layout;
  const std::uint64_t size = file.Size();
  std::uint8_t soi[2] = {};
  if (file.ReadSome(0, soi, 2) != 2 || soi[0] != 0xFF || soi[1] != 0xD8) {
    ThrowFormat("JPEG file does not start with an SOI marker");
  }
  std::uint64_t pos = 2;
  auto fail = [&](const std::string& message) {
    if (strict) ThrowFormat(message);
  };
  while (true) {
    std::uint8_t b[4];
    if (file.ReadSome(pos, b, 2) != 2) {
      fail("JPEG file ends at offset " + std::to_string(pos) + " before its image data");
      layout.mScanOffset = size;
      return layout;
    }
    if (b[0] == 0x00) {
      // NUL fill between segments, which some cameras write: skipped here, copied through
      // by a rewrite with the bytes around the segments.
      pos = SkipZeros(file, pos);
      continue;
    }
    if (b[0] != 0xFF) {
      fail("JPEG: expected a marker at offset " + std::to_string(pos) + ", found " + Hex(b[0]));
      layout.mScanOffset = pos;
      return layout;
    }
    // Fill bytes: any number of 0xFF before the marker code.
    std::uint64_t markerAt = pos;
    while (b[1] == 0xFF) {
      ++pos;
      if (file.ReadSome(pos + 1, &b[1], 1) != 1) {
        fail("JPEG file ends inside fill bytes at offset " + std::to_string(pos));
        layout.mScanOffset = size;
        return layout;
      }
    }
    const std::uint8_t marker = b[1];
    if (marker == 0xDA || marker == 0xD9) {
      layout.mScanOffset = pos;
      return layout;
    }
    if (IsStandalone(marker) || marker == 0xD8) {
      pos += 2;
      continue;
    }
    if (file.ReadSome(pos + 2, b + 2, 2) != 2) {
      fail("JPEG segment " + Hex(marker) + " at offset " + std::to_string(pos) + " is truncated");
      layout.mScanOffset = size;
      return layout;
    }
    const std::uint16_t length = GetU16BE(b + 2);
    const std::uint64_t remain = file.Remaining(pos + 2);
    if (length < 2 || length > remain) {
      fail("JPEG segment " + Hex(marker) + " at offset " + std::to_string(pos) + " claims " +
           std::to_string(length) + " bytes, " + std::to_string(remain) + " remain");
      layout.mScanOffset = markerAt;
      return layout;
    }
    JpegSegment s;
    s.mFillOffset = markerAt;
    s.mOffset = pos;
    s.mMarker = marker;
    s.mTotalLength = 2u + length;
    s.mPayloadOffset = pos + 4;
    s.mPayloadLength = length - 2u;
    layout.mSegments.push_back(s);
    pos += s.mTotalLength;
  }
}

}  // namespace xmpfiles
