#pragma once

// The RDF/XML serializer: writes a data tree as an XMP packet.

#include <string>

#include "XMPNode.h"

namespace xmpcore {

struct SerializeOptions {
  XMP_OptionBits mOptions = 0;  // kXMP_* serialization options
  XMP_StringLen mPadding = 0;   // 0: kXMP_DefaultPadding; with kXMP_ExactPacketLength: length
  std::string mNewline;         // "" means "\n"
  std::string mIndent;          // "" means two spaces
  XMP_Index mBaseIndent = 0;
};

// Writes `root` as a packet into `out` (replacing its contents). Raises XMP_Error
// kXMPErr_BadOptions for contradicting options and kXMPErr_BadSerialize when an exact packet
// length is too small.
void SerializePacket(const XMPNode& root, const SerializeOptions& options, std::string& out);

}  // namespace xmpcore
