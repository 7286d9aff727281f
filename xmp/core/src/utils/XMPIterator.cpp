// SXMPIterator: a snapshot of the visited nodes in document order, with the positions that
// skipping a subtree or the remaining siblings jumps to. Built and read without recursion.

#include "xmp/SXMPIterator.h"

#include <unordered_map>
#include <vector>

#include "TreeHelpers.h"
#include "XMPMetaObject.h"
#include "XMPPath.h"

using xmpcore::Missing;
using xmpcore::XMPNode;

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// One visited node. The path is not stored: it is composed from the leaves of the node and
// its ancestors when asked for, so a deep tree costs memory in proportion to its nodes.
struct Step {
  size_t mParent = kNone;  // the step of the parent node; kNone at the top of the snapshot
  size_t mNamespace = 0;   // index into Impl::mNamespaces
  std::string mLeaf;       // "stEvt:action", "[2]", "?xml:lang"; empty for schema nodes
  bool mSlash = false;     // a '/' joins the parent's path and the leaf
  bool mIsStart = false;   // the start property of the iteration: its path is the base path
  bool mVisible = true;
  std::string mValue;
  XMP_OptionBits mOptions = 0;
  size_t mSubtreeEnd = 0;  // first entry after this node's qualifiers and children
};

// How a step's leaf joins its parent's path: "a/b" for fields and qualifiers, "a[1]" for
// items (and nothing for schemas).
enum class Join { kDirect, kSlash };
// Whether Build records the whole subtree or only the direct qualifiers and children.
enum class Reach { kChildren, kSubtree };

constexpr XMP_OptionBits kKnownOptions = kXMP_IterJustChildren | kXMP_IterJustLeafNodes |
                                         kXMP_IterJustLeafName | kXMP_IterOmitQualifiers;

// The last step of a composed path: "stEvt:action", "[2]", "?xml:lang".
std::string LastStep(const std::string& path) {
  size_t cut = path.find_last_of("/[");
  if (cut == std::string::npos) return path;
  return path.substr(path[cut] == '/' ? cut + 1 : cut);
}

}  // namespace

struct SXMPIterator::Impl {
  std::vector<Step> mSteps;
  std::vector<std::string> mNamespaces;
  std::unordered_map<std::string, size_t> mNamespaceIndex;  // position in mNamespaces
  std::string mBasePath;  // the path of the start property (empty for the object or a schema)
  XMP_OptionBits mOptions = 0;
  size_t mNext = 0;
  long mCurrent = -1;  // the entry Next returned last

  size_t NamespaceIndex(const std::string& ns) {
    auto [it, added] = mNamespaceIndex.try_emplace(ns, mNamespaces.size());
    if (added) mNamespaces.push_back(ns);
    return it->second;
  }

  // Records one node; its subtree end is set by Build.
  size_t Add(const XMPNode& node, size_t parent, size_t ns, std::string leaf, Join join) {
    Step step;
    step.mParent = parent;
    step.mNamespace = ns;
    step.mLeaf = std::move(leaf);
    step.mSlash = join == Join::kSlash;
    step.mValue = node.mValue;
    step.mOptions = node.mOptions;
    step.mVisible =
        !(mOptions & kXMP_IterJustLeafNodes) || (!node.IsSchema() && node.mChildren.empty());
    mSteps.push_back(std::move(step));
    return mSteps.size() - 1;
  }

  // Records the qualifiers and children of `node` (whose entry is `self`, kNone when the node
  // itself is not visited) and, with Reach::kSubtree, their subtrees in document order. Works
  // with an explicit stack: the depth of the tree does not reach the call stack.
  void Build(const XMPNode& node, size_t self, size_t ns, Reach reach) {
    struct Frame {
      const XMPNode* mNode;
      size_t mStep;
      size_t mNamespace;
      size_t mNextQualifier = 0;
      size_t mNextChild = 0;
    };
    const bool qualifiers = !(mOptions & kXMP_IterOmitQualifiers);
    std::vector<Frame> stack{{&node, self, ns}};
    while (!stack.empty()) {
      Frame& top = stack.back();
      const XMPNode& parent = *top.mNode;
      const XMPNode* child = nullptr;
      size_t added = kNone;
      if (qualifiers && top.mNextQualifier < parent.mQualifiers.size()) {
        child = parent.mQualifiers[top.mNextQualifier++].get();
        added = Add(*child, top.mStep, top.mNamespace, "?" + child->mName, Join::kSlash);
      } else if (top.mNextChild < parent.mChildren.size()) {
        size_t position = top.mNextChild++;
        child = parent.mChildren[position].get();
        if (child->IsSchema()) {
          added = Add(*child, top.mStep, NamespaceIndex(child->mName), "", Join::kDirect);
        } else if (parent.IsArray()) {
          std::string index = "[";
          index.append(std::to_string(position + 1)).append("]");
          added = Add(*child, top.mStep, top.mNamespace, std::move(index), Join::kDirect);
        } else {
          added =
              Add(*child, top.mStep, top.mNamespace, child->mName,
                  !parent.IsSchema() && parent.mParent != nullptr ? Join::kSlash : Join::kDirect);
        }
      } else {
        if (top.mStep != kNone) mSteps[top.mStep].mSubtreeEnd = mSteps.size();
        stack.pop_back();
        continue;
      }
      if (reach == Reach::kSubtree) {
        stack.push_back({child, added, mSteps[added].mNamespace});
      } else {
        mSteps[added].mSubtreeEnd = mSteps.size();
      }
    }
  }

  // The first entry after the remaining siblings of `index`: the end of its parent's subtree.
  size_t SiblingsEnd(size_t index) const {
    size_t parent = mSteps[index].mParent;
    return parent == kNone ? mSteps.size() : mSteps[parent].mSubtreeEnd;
  }

  // Composes the path of entry `index` into `path`, whose buffer is reused from call to call.
  void PathOf(size_t index, std::string& path) {
    mChain.clear();
    for (size_t i = index; i != kNone; i = mSteps[i].mParent)
      mChain.push_back(i);
    path = mBasePath;
    for (auto it = mChain.rbegin(); it != mChain.rend(); ++it) {
      const Step& step = mSteps[*it];
      if (step.mOptions & kXMP_SchemaNode) {
        path.clear();
      } else if (step.mIsStart) {
        path = mBasePath;
      } else {
        if (step.mSlash) path += '/';
        path += step.mLeaf;
      }
    }
  }
  std::vector<size_t> mChain;  // PathOf's walk up the tree, kept for its capacity
};

SXMPIterator::SXMPIterator(const SXMPMeta& meta, XMP_OptionBits options)
    : SXMPIterator(meta, "", "", options) {}

SXMPIterator::SXMPIterator(const SXMPMeta& meta, const std::string& schemaNS,
                           const std::string& propName, XMP_OptionBits options)
    : mImpl(std::make_unique<Impl>()) {
  if (options & ~kKnownOptions) {
    throw XMP_Error(kXMPErr_BadOptions,
                    "unknown iteration options " + xmpcore::utils::Hex(options & ~kKnownOptions));
  }
  if (schemaNS.empty() && !propName.empty()) {
    throw XMP_Error(kXMPErr_BadParam,
                    "property '" + propName + "' is given without its schema namespace");
  }
  mImpl->mOptions = options;
  bool onlyChildren = (options & kXMP_IterJustChildren) != 0;
  XMPNode& root = xmpcore::Tree(meta);
  const XMPNode* start = &root;
  if (!propName.empty()) {
    start = xmpcore::FindNode(root, schemaNS, propName, Missing::kNull);
    if (start != nullptr) mImpl->mBasePath = xmpcore::PathOfNode(*start);
  } else if (!schemaNS.empty()) {
    start = root.FindChild(schemaNS);
  }
  if (start == nullptr) return;
  size_t ns = schemaNS.empty() ? 0 : mImpl->NamespaceIndex(schemaNS);
  if (start == &root || onlyChildren) {
    // The start itself is not visited.
    mImpl->Build(*start, kNone, ns, onlyChildren ? Reach::kChildren : Reach::kSubtree);
    return;
  }
  size_t index = mImpl->Add(*start, kNone, ns, LastStep(mImpl->mBasePath), Join::kDirect);
  mImpl->mSteps[index].mIsStart = true;
  mImpl->Build(*start, index, ns, Reach::kSubtree);
}

SXMPIterator::~SXMPIterator() = default;
SXMPIterator::SXMPIterator(SXMPIterator&&) noexcept = default;
SXMPIterator& SXMPIterator::operator=(SXMPIterator&&) noexcept = default;

bool SXMPIterator::Next(std::string* schemaNS, std::string* propPath, std::string* propValue,
                        XMP_OptionBits* options) {
  if (!mImpl) return false;  // moved from
  Impl& impl = *mImpl;
  while (impl.mNext < impl.mSteps.size() && !impl.mSteps[impl.mNext].mVisible)
    ++impl.mNext;
  if (impl.mNext >= impl.mSteps.size()) {
    impl.mCurrent = -1;
    return false;
  }
  impl.mCurrent = static_cast<long>(impl.mNext++);
  const Step& step = impl.mSteps[static_cast<size_t>(impl.mCurrent)];
  if (schemaNS)
    *schemaNS = step.mNamespace < impl.mNamespaces.size() ? impl.mNamespaces[step.mNamespace]
                                                          : std::string();
  if (propPath) {
    if (impl.mOptions & kXMP_IterJustLeafName) {
      *propPath = step.mLeaf;
    } else {
      impl.PathOf(static_cast<size_t>(impl.mCurrent), *propPath);
    }
  }
  if (propValue) *propValue = step.mValue;
  if (options) *options = step.mOptions;
  return true;
}

void SXMPIterator::Skip(XMP_OptionBits options) {
  if (!mImpl || mImpl->mCurrent < 0) {
    throw XMP_Error(kXMPErr_BadIterPosition, "Skip is called with no current node");
  }
  Impl& impl = *mImpl;
  const Step& step = impl.mSteps[static_cast<size_t>(impl.mCurrent)];
  if (options == kXMP_IterSkipSubtree) {
    impl.mNext = step.mSubtreeEnd;
  } else if (options == kXMP_IterSkipSiblings) {
    impl.mNext = impl.SiblingsEnd(static_cast<size_t>(impl.mCurrent));
  } else {
    throw XMP_Error(kXMPErr_BadParam,
                    "Skip takes kXMP_IterSkipSubtree or kXMP_IterSkipSiblings, not " +
                        xmpcore::utils::Hex(options));
  }
}
