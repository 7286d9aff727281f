#pragma once

// MD5 digest (RFC 1321); used for the GUID of JPEG extended XMP, which is the MD5 of the
// extended packet written as 32 upper-case hex digits.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace xmpfiles {

std::array<std::uint8_t, 16> Md5(std::string_view data);
// The digest as 32 upper-case hexadecimal digits.
std::string Md5Hex(std::string_view data);

}  // namespace xmpfiles
