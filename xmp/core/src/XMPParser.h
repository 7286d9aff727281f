#pragma once

// The RDF/XML parser: reads one complete XMP packet into a data tree.

#include <string_view>

#include "XMPNode.h"

namespace xmpcore {

// Parses `packet` (UTF-8, UTF-16 or UTF-32, with or without byte-order mark) into `root`,
// which must be empty; rdf:about goes to root.mName. Raises XMP_Error (kXMPErr_BadXML,
// kXMPErr_BadRDF, kXMPErr_BadXMP, kXMPErr_BadUnicode) with a message naming the problem and,
// for XML errors, the line and column. `options`: kXMP_RequireXMPMeta.
void ParsePacket(std::string_view packet, XMP_OptionBits options, XMPNode& root);

// The same for a packet already decoded: UTF-8 without byte-order mark or NUL padding, as the
// file layer prepares the packets it finds. Raises the same errors.
void ParseUtf8Packet(std::string_view packet, XMP_OptionBits options, XMPNode& root);

// Limits that protect against hostile input.
inline constexpr size_t kMaxPacketBytes = size_t(256) << 20;
inline constexpr int kMaxElementDepth = 512;

}  // namespace xmpcore
