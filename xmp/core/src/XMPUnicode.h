#pragma once

// Conversions between the Unicode encoding forms a packet may use.

#include <string>
#include <string_view>

namespace xmpcore {

enum class TextEncoding { kUTF8, kUTF16BE, kUTF16LE, kUTF32BE, kUTF32LE };

// Guesses the encoding of an XML packet from its byte-order mark or, without one, from the
// zero bytes around its first '<'. Sets `bomLength` to the length of the mark (0 if none).
TextEncoding DetectEncoding(std::string_view bytes, size_t* bomLength);

// Converts UTF-16/32 text (without mark) to UTF-8. Raises XMP_Error kXMPErr_BadUnicode for
// unpaired surrogates, code points above U+10FFFF or a length that is not a whole number of
// code units, naming the byte offset.
std::string ToUTF8(std::string_view bytes, TextEncoding encoding);

// Converts valid UTF-8 to another encoding form (kXMPErr_BadUnicode for invalid UTF-8).
std::string FromUTF8(std::string_view utf8, TextEncoding encoding);

// Raises XMP_Error kXMPErr_BadUnicode naming `what` and the byte offset when `text` is not
// well-formed UTF-8 (veltcore::string::IsValidUTF8 is the test without the error).
void RequireUTF8(std::string_view text, const std::string& what);

// Bytes per code unit of an encoding.
size_t UnitSize(TextEncoding encoding);

}  // namespace xmpcore
