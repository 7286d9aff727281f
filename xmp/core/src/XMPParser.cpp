#include "XMPParser.h"

namespace xmpcore {

void ParsePacket(std::string_view packet, XMP_OptionBits options, XMPNode& root) {
  throw XMP_Error(kXMPErr_Unimplemented, "parser not yet available");
}

}  // namespace xmpcore
