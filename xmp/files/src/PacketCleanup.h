#pragma once

// Lenient preparation of a stored packet for parsing: real files carry packets with junk
// after them, without their xpacket wrapper, with padding of the wrong character, or in
// UTF-16 or UTF-32 of either byte order.

#include <optional>
#include <string>
#include <string_view>

namespace xmpfiles {

// The packet proper: from "<?xpacket begin" (or, without a wrapper, from "<x:xmpmeta" or
// "<rdf:RDF") to the end of the trailer (or of the closing tag), with whatever stands
// between the closing tag and the trailer replaced by spaces. "" when `raw` holds nothing
// that looks like XMP. `raw` is UTF-8 (see ToUtf8Packet).
std::string CleanPacket(std::string_view raw);
// CleanPacket(raw) without a copy: the packet proper as a part of `raw`, when cleaning would
// change none of its bytes (the usual case); nullopt when CleanPacket has to make a new text
// (junk to blank, a trailer to add, no packet at all).
std::optional<std::string_view> CleanPacketView(std::string_view raw);

// The stored packet bytes as UTF-8. The encoding is found from a byte-order mark or, without
// one, from the zero bytes around the first '<'. Text after the packet's trailer (or, without
// one, after its closing tag) is dropped, and so is NUL padding of any length, including a
// padding that cut the last code unit of a little-endian packet short. UTF-8 input is returned
// unchanged. Throws XMP_Error (kXMPErr_BadUnicode) naming the encoding and the byte offset when
// the packet proper is not valid text in its encoding.
std::string ToUtf8Packet(std::string_view raw);
// True when ToUtf8Packet(raw) would return `raw` unchanged (the packet is UTF-8 already).
bool IsUtf8Packet(std::string_view raw);

// True when `raw` holds nothing but white space and NUL bytes (a block reserved for XMP that
// was never filled).
bool IsBlankBlock(std::string_view raw);

}  // namespace xmpfiles
