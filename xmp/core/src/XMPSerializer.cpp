#include "XMPSerializer.h"

namespace xmpcore {

void SerializePacket(const XMPNode& root, const SerializeOptions& options, std::string& out) {
  throw XMP_Error(kXMPErr_Unimplemented, "serializer not yet available");
}

}  // namespace xmpcore
