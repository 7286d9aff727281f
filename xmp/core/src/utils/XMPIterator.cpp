// SXMPIterator: a snapshot of the visited nodes in document order, with the positions that
// skipping a subtree or the remaining siblings jumps to.

#include "xmp/SXMPIterator.h"

#include <vector>

#include "TreeHelpers.h"
#include "XMPMetaObject.h"
#include "XMPPath.h"

using xmpcore::XMPNode;

namespace {

struct Step {
  std::string mNamespace;
  std::string mPath;
  std::string mLeafName;
  std::string mValue;
  XMP_OptionBits mOptions = 0;
  bool mVisible = true;
  size_t mSubtreeEnd = 0;   // first entry after this node's qualifiers and children
  size_t mSiblingsEnd = 0;  // first entry after this node's remaining siblings
};

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
  XMP_OptionBits mOptions = 0;
  size_t mNext = 0;
  long mCurrent = -1;  // the entry Next returned last

  // Records `node` and, with `recurse`, its subtree. Returns its entry.
  size_t Add(const XMPNode& node, const std::string& ns, std::string path, std::string leaf,
             bool recurse) {
    size_t index = mSteps.size();
    Step step;
    step.mNamespace = ns;
    step.mLeafName = std::move(leaf);
    step.mPath = std::move(path);
    step.mValue = node.mValue;
    step.mOptions = node.mOptions;
    step.mVisible =
        !(mOptions & kXMP_IterJustLeafNodes) || (!node.IsSchema() && node.mChildren.empty());
    mSteps.push_back(step);
    // The step's own copy of the path: mSteps grows (and moves) while the children are added.
    if (recurse) AddChildren(node, ns, step.mPath, true);
    mSteps[index].mSubtreeEnd = mSteps.size();
    return index;
  }

  // Records the qualifiers and children of `node`, whose path is `nodePath`.
  void AddChildren(const XMPNode& node, const std::string& ns, const std::string& nodePath,
                   bool recurse) {
    std::vector<size_t> added;
    if (!(mOptions & kXMP_IterOmitQualifiers)) {
      for (const auto& q : node.mQualifiers) {
        added.push_back(Add(*q, ns, nodePath + "/?" + q->mName, "?" + q->mName, recurse));
      }
    }
    for (size_t i = 0; i < node.mChildren.size(); ++i) {
      const XMPNode& child = *node.mChildren[i];
      if (child.IsSchema()) {
        added.push_back(Add(child, child.mName, "", "", recurse));
      } else if (node.IsSchema()) {
        added.push_back(Add(child, ns, child.mName, child.mName, recurse));
      } else if (node.IsArray()) {
        std::string leaf = "[" + std::to_string(i + 1) + "]";
        added.push_back(Add(child, ns, nodePath + leaf, leaf, recurse));
      } else {
        added.push_back(Add(child, ns, nodePath + "/" + child.mName, child.mName, recurse));
      }
    }
    for (size_t index : added)
      mSteps[index].mSiblingsEnd = mSteps.size();
  }
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
  std::string ns = schemaNS;
  std::string path;
  if (!propName.empty()) {
    start = xmpcore::FindNode(root, schemaNS, propName, false);
    if (start != nullptr) path = xmpcore::PathOfNode(*start);
  } else if (!schemaNS.empty()) {
    start = root.FindChild(schemaNS);
  }
  if (start == nullptr) return;
  if (start == &root || onlyChildren) {
    mImpl->AddChildren(*start, ns, path, !onlyChildren);  // the start itself is not visited
    return;
  }
  size_t index = mImpl->Add(*start, ns, path, LastStep(path), true);
  mImpl->mSteps[index].mSiblingsEnd = mImpl->mSteps.size();
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
  if (schemaNS) *schemaNS = step.mNamespace;
  if (propPath) *propPath = (impl.mOptions & kXMP_IterJustLeafName) ? step.mLeafName : step.mPath;
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
    impl.mNext = step.mSiblingsEnd;
  } else {
    throw XMP_Error(kXMPErr_BadParam,
                    "Skip takes kXMP_IterSkipSubtree or kXMP_IterSkipSiblings, not " +
                        xmpcore::utils::Hex(options));
  }
}
