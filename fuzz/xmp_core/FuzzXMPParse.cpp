// Parses arbitrary bytes as a packet; whatever parses must serialize (in the default and the
// compact form) and parse back to an equal tree.

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "XMPMetaObject.h"
#include "xmp/SXMPMeta.h"

namespace {

// The serializer leaves out the transient namespace; compare without it.
void DropTransient(xmpcore::XMPNode& root) {
  if (xmpcore::XMPNode* schema = root.FindChild(kXMP_NS_Transient)) root.RemoveChild(schema);
}

void CheckRoundTrip(const SXMPMeta& meta, XMP_OptionBits options) {
  std::string packet;
  meta.SerializeToBuffer(&packet, options);
  SXMPMeta back;
  try {
    back.ParseFromBuffer(packet);
  } catch (const XMP_Error& e) {
    std::fprintf(stderr, "re-parse failed (%s):\n%s\n", e.GetErrMsg(), packet.c_str());
    std::abort();
  }
  if (!xmpcore::NodesEqual(xmpcore::Tree(meta), xmpcore::Tree(back)) ||
      back.GetObjectName() != meta.GetObjectName()) {
    std::fprintf(stderr, "trees differ after round trip:\n%s\n", packet.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  SXMPMeta meta;
  try {
    meta.ParseFromBuffer(reinterpret_cast<const char*>(data), static_cast<XMP_StringLen>(size));
  } catch (const XMP_Error&) {
    return 0;
  }
  DropTransient(xmpcore::Tree(meta));
  CheckRoundTrip(meta, 0);
  CheckRoundTrip(meta, kXMP_UseCompactFormat | kXMP_OmitAllFormatting);
  CheckRoundTrip(meta, kXMP_UseCanonicalFormat | kXMP_OmitPacketWrapper);
  return 0;
}
