// Parses arbitrary bytes as a packet. Whatever parses must serialize (default, compact and
// canonical form) and parse back to an equal tree, and the path composed for each node must
// lead back to it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "XMPMetaObject.h"
#include "XMPPath.h"
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

// Every node must be found again through the path composed for it.
void CheckPaths(xmpcore::XMPNode& root, const xmpcore::XMPNode& schema,
                const xmpcore::XMPNode& node) {
  for (const auto* list : {&node.mChildren, &node.mQualifiers}) {
    for (const auto& child : *list) {
      std::string path = xmpcore::PathOfNode(*child);
      const xmpcore::XMPNode* found =
          xmpcore::FindNode(root, schema.mName, path, xmpcore::Missing::kNull);
      if (found != child.get()) {
        std::fprintf(stderr, "path '%s' does not lead back to its node\n", path.c_str());
        std::abort();
      }
      CheckPaths(root, schema, *child);
    }
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
  for (const auto& schema : xmpcore::Tree(meta).mChildren) {
    CheckPaths(xmpcore::Tree(meta), *schema, *schema);
  }
  CheckRoundTrip(meta, 0);
  CheckRoundTrip(meta, kXMP_UseCompactFormat | kXMP_OmitAllFormatting);
  CheckRoundTrip(meta, kXMP_UseCanonicalFormat | kXMP_OmitPacketWrapper);
  return 0;
}
