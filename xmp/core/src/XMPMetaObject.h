#pragma once

// The object behind SXMPMeta handles: a reference count and the data tree. Internal to the
// toolkit; the utilities, the iterator and the file handlers reach the tree through Tree().

#include <atomic>

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

}  // namespace xmpcore
