#pragma once

// The object behind SXMPMeta handles: a reference count and the data tree. Internal to the
// toolkit; the utilities, the iterator and the file handlers reach the tree through Tree().

#include <atomic>
#include <string_view>

#include "XMPNode.h"
#include "xmp/SXMPMeta.h"

struct __XMPMeta__ {
  std::atomic<int> mRefCount{0};
  // The root: mName holds the object name (rdf:about), mChildren the schema nodes.
  xmpcore::XMPNode mTree;
};

namespace xmpcore {

// The data tree of an object.
inline XMPNode& Tree(const SXMPMeta& meta) {
  return meta.GetInternalRef()->mTree;
}

// SXMPMeta::ParseFromBuffer for a packet the file layer has already decoded and trimmed
// (UTF-8, see ParseUtf8Packet), so that it is not prepared a second time. Raises the same
// errors; `meta` is unchanged then.
void ParseDecodedPacket(SXMPMeta& meta, std::string_view packet);

}  // namespace xmpcore
