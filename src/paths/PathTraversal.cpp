#include "veltmetadata/PathTraversal.h"

#include <deque>

#include "registry/Assert.h"

namespace veltmetadata {

namespace {

// Ranges over these are empty children; the one-element list stands for an internal array's
// element (its record is ignored by the transform).
const FieldDefinitionList kNoFields;
const FieldDefinitionList kElementPlaceholder(1);

FieldPathRange EmptyFieldRange() {
  return {FieldPathIterator(kNoFields.begin(), {}), FieldPathIterator(kNoFields.end(), {})};
}

FieldPathRange FieldRange(const FieldDefinitionList& list,
                          std::function<Path(const std::shared_ptr<FieldDefinition>&)> build) {
  return {FieldPathIterator(list.begin(), build), FieldPathIterator(list.end(), build)};
}

bool IsInternalArray(const Path& inPath) {
  if (!inPath.mInternal) return false;
  const auto primitive = PrimitiveTypeOfPath(inPath);
  return primitive && (*primitive == kPrimitiveType_Bag || *primitive == kPrimitiveType_Seq);
}

// The holder of a PathIterator for an iterator type with ++, --, * and ==.
template <class Iterator>
class IteratorHolder final : public PathIterator::Holder {
 public:
  explicit IteratorHolder(Iterator it) : mIterator(std::move(it)) {}
  std::unique_ptr<Holder> Clone() const override {
    return std::make_unique<IteratorHolder>(mIterator);
  }
  Path Dereference() const override { return *mIterator; }
  void Increment() override { ++mIterator; }
  void Decrement() override { --mIterator; }
  bool Equal(const Holder& other) const override {
    const auto* same = dynamic_cast<const IteratorHolder*>(&other);
    return same && same->mIterator == mIterator;
  }

 private:
  Iterator mIterator;
};

// The depth-first walk below a root. Each frame is one child range (current, end); the
// current Path is the current position of the top frame, or the empty Path when that frame
// is exhausted. The bottom frame is never popped, so a finished walk keeps one exhausted
// frame and compares equal to the end iterator (whose stack is empty).
class PathHierarchyIterator {
 public:
  using Frame = std::pair<PathIterator, PathIterator>;

  PathHierarchyIterator() = default;
  explicit PathHierarchyIterator(Frame bottom) { mIterationStack.push_back(std::move(bottom)); }

  Path operator*() const {
    if (mIterationStack.empty() || Exhausted(mIterationStack.back())) return Path();
    return *mIterationStack.back().first;
  }

  PathHierarchyIterator& operator++() {
    if (mIterationStack.empty()) {
      VELT_CHECK(false, "!mIterationStack.empty()");
      return *this;
    }
    if (Exhausted(mIterationStack.back())) return *this;
    const FieldPathRange children = ChildPaths(*mIterationStack.back().first);
    if (children.first != children.second) {
      mIterationStack.emplace_back(PathIterator(children.first), PathIterator(children.second));
      return *this;
    }
    ++mIterationStack.back().first;
    while (Exhausted(mIterationStack.back()) && mIterationStack.size() > 1) {
      mIterationStack.pop_back();
      ++mIterationStack.back().first;
    }
    return *this;
  }

  // The walk only goes forwards.
  PathHierarchyIterator& operator--() {
    VELT_CHECK(false, "false");
    return *this;
  }

  bool operator==(const PathHierarchyIterator& other) const {
    const Path mine = **this;
    const Path theirs = *other;
    return mine.mNamespace == theirs.mNamespace && mine.mPathDescription == theirs.mPathDescription;
  }

 private:
  static bool Exhausted(const Frame& frame) { return frame.first == frame.second; }

  std::deque<Frame> mIterationStack;
};

PathIteratorRange Walk(PathIterator begin, PathIterator end) {
  using Holder = IteratorHolder<PathHierarchyIterator>;
  PathHierarchyIterator walk({std::move(begin), std::move(end)});
  return {PathIterator(std::make_unique<Holder>(std::move(walk))),
          PathIterator(std::make_unique<Holder>(PathHierarchyIterator()))};
}

template <class Root>
unsigned long long VisitLeaves(const Root& root, const std::function<void(const Path&)>* callback) {
  unsigned long long count = 0;
  auto [it, end] = DescendantPaths(root);
  for (; it != end; ++it) {
    const Path path = *it;
    if (!IsLeafPath(path)) continue;
    ++count;
    if (callback) (*callback)(path);
  }
  return count;
}

}  // namespace

FieldPathRange ChildPaths(const Path& inPath) {
  const auto definition = PathEntryDefinition(inPath);
  if (!definition) {
    VELT_CHECK(false, "definition");
    return EmptyFieldRange();
  }
  const auto type = TypeEntryDefinition(inPath);
  if (!type) return EmptyFieldRange();
  const bool internalArray = IsInternalArray(inPath);
  if (!type->mFields.empty()) {
    if (internalArray) {
      return FieldRange(type->mFields, [inPath, type](const std::shared_ptr<FieldDefinition>& f) {
        return CreatePathFromArrayedStructureField(inPath, f);
      });
    }
    return FieldRange(type->mFields, [inPath, type](const std::shared_ptr<FieldDefinition>& f) {
      return CreatePathFromStructureField(inPath, f);
    });
  }
  if (!internalArray) return EmptyFieldRange();
  return FieldRange(kElementPlaceholder,
                    [inPath, definition, type](const std::shared_ptr<FieldDefinition>&) {
                      return CreatePathFromElementType(inPath, definition, type);
                    });
}

PropertyPathRange ChildPaths(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition) {
  static const PropertyDefinitionList kNoProperties;
  if (!inSchemaDefinition) {
    VELT_CHECK(false, "inSchemaDefinition");
    return {PropertyPathIterator(kNoProperties.begin(), {}),
            PropertyPathIterator(kNoProperties.end(), {})};
  }
  std::function<Path(const std::shared_ptr<PropertyDefinition>&)> build =
      [schema = inSchemaDefinition](const std::shared_ptr<PropertyDefinition>& property) {
        return CreatePathFromSchemaProperty(schema, property);
      };
  const auto& properties = inSchemaDefinition->mProperties;
  return {PropertyPathIterator(properties.begin(), build),
          PropertyPathIterator(properties.end(), build)};
}

bool IsLeafPath(const Path& inPath) {
  const FieldPathRange children = ChildPaths(inPath);
  return children.first == children.second;
}

PathIterator::PathIterator(const Path* path)
    : mHolder(std::make_unique<IteratorHolder<const Path*>>(path)) {}
PathIterator::PathIterator(FieldPathIterator it)
    : mHolder(std::make_unique<IteratorHolder<FieldPathIterator>>(std::move(it))) {}
PathIterator::PathIterator(PropertyPathIterator it)
    : mHolder(std::make_unique<IteratorHolder<PropertyPathIterator>>(std::move(it))) {}
PathIterator::PathIterator(std::unique_ptr<Holder> holder) : mHolder(std::move(holder)) {}
PathIterator::PathIterator(const PathIterator& other)
    : mHolder(other.mHolder ? other.mHolder->Clone() : nullptr) {}
PathIterator& PathIterator::operator=(const PathIterator& other) {
  if (this != &other) mHolder = other.mHolder ? other.mHolder->Clone() : nullptr;
  return *this;
}
PathIterator::~PathIterator() = default;

Path PathIterator::dereference() const {
  if (!mHolder) {
    VELT_CHECK(false, "mHolder");
    return Path();
  }
  return mHolder->Dereference();
}

void PathIterator::increment() {
  if (!mHolder) {
    VELT_CHECK(false, "mHolder");
    return;
  }
  mHolder->Increment();
}

void PathIterator::decrement() {
  if (!mHolder) {
    VELT_CHECK(false, "mHolder");
    return;
  }
  mHolder->Decrement();
}

bool PathIterator::equal(const PathIterator& other) const {
  if (!mHolder || !other.mHolder) return !mHolder && !other.mHolder;
  return mHolder->Equal(*other.mHolder);
}

PathIteratorRange DescendantPaths(const Path& inRoot) {
  const FieldPathRange children = ChildPaths(inRoot);
  return Walk(PathIterator(children.first), PathIterator(children.second));
}

PathIteratorRange DescendantPaths(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition) {
  const PropertyPathRange children = ChildPaths(inSchemaDefinition);
  return Walk(PathIterator(children.first), PathIterator(children.second));
}

void VisitDescendantLeafPaths(const Path& inRoot,
                              const std::function<void(const Path&)>& callback) {
  VisitLeaves(inRoot, &callback);
}

void VisitDescendantLeafPaths(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition,
                              const std::function<void(const Path&)>& callback) {
  VisitLeaves(inSchemaDefinition, &callback);
}

unsigned long long CountDescendantLeafPaths(
    const std::shared_ptr<SchemaDefinition>& inSchemaDefinition) {
  return VisitLeaves(inSchemaDefinition, nullptr);
}

}  // namespace veltmetadata
