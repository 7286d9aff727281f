#pragma once

// Lenient preparation of a stored packet for parsing: real files carry packets with junk
// after them, without their xpacket wrapper, or with padding of the wrong character.

#include <string>
#include <string_view>

namespace xmpfiles {

// The packet proper: from "<?xpacket begin" (or, without a wrapper, from "<x:xmpmeta" or
// "<rdf:RDF") to the end of the trailer (or of the closing tag), with whatever stands
// between the closing tag and the trailer replaced by spaces. "" when `raw` holds nothing
// that looks like XMP.
std::string CleanPacket(std::string_view raw);

}  // namespace xmpfiles
