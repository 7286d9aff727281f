#pragma once

// Walking the definition tree in terms of Paths: the direct children of a schema or of a
// Path, a depth-first walk over all descendants, and the leaves among them (the nodes that
// hold values).
//
// A schema's children are its properties; a structure's children are its fields; an internal
// array of structures has one child per field of its element type and an internal array of a
// simple type has one child, its element. Everything else (external arrays included) is a
// leaf. Siblings come in definition order, each node before its descendants.
//
// Child ranges are lazy: a child Path is built only when its iterator is dereferenced, and
// stays valid while the definition records live (the registry shares them). No lock is
// taken; walks must not overlap registration or removal of definitions. A Path without a
// definition or a null schema raises a debug assertion and has no children. Toolkit errors
// (XMP_Error) met while building a child Path of an internal array pass out of the walk.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <boost/iterator/iterator_facade.hpp>
#include <boost/iterator/transform_iterator.hpp>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Path.h"

namespace veltmetadata {

using FieldDefinitionList = std::vector<std::shared_ptr<FieldDefinition>>;
using PropertyDefinitionList = std::vector<std::shared_ptr<PropertyDefinition>>;

// Iterators over the children of a Path (built from field records) and of a schema (built
// from property records). Dereferencing yields a Path by value.
using FieldPathIterator = boost::iterators::transform_iterator<
    std::function<Path(const std::shared_ptr<FieldDefinition>&)>,
    FieldDefinitionList::const_iterator, Path, Path>;
using PropertyPathIterator = boost::iterators::transform_iterator<
    std::function<Path(const std::shared_ptr<PropertyDefinition>&)>,
    PropertyDefinitionList::const_iterator, Path, Path>;
using FieldPathRange = std::pair<FieldPathIterator, FieldPathIterator>;
using PropertyPathRange = std::pair<PropertyPathIterator, PropertyPathIterator>;

// The children of the node at inPath; empty for a leaf. A Path without a definition raises
// the assertion "definition" and gives an empty range.
VELT_EXPORT FieldPathRange ChildPaths(const Path& inPath);
// The Paths of a schema's properties in definition order. A null schema raises the
// assertion "inSchemaDefinition" and gives an empty range.
VELT_EXPORT PropertyPathRange
ChildPaths(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition);

// Whether the node at inPath has no children (a Path without a definition counts as a leaf,
// after the assertion).
VELT_EXPORT bool IsLeafPath(const Path& inPath);

// A copyable, type-erased bidirectional iterator over Paths. It holds a raw Path pointer, an
// iterator of either child range or a depth-first walk, and forwards every operation to it.
// Iterators holding different kinds never compare equal. The depth-first walk cannot go
// backwards: decrementing it raises the assertion "false" and changes nothing. A
// default-constructed iterator equals only another default-constructed one.
class VELT_EXPORT PathIterator
    : public boost::iterators::iterator_facade<
          PathIterator, Path, boost::iterators::bidirectional_traversal_tag, Path> {
 public:
  // What a PathIterator holds; implemented next to each kind of iterator.
  class Holder {
   public:
    virtual ~Holder() = default;
    virtual std::unique_ptr<Holder> Clone() const = 0;
    virtual Path Dereference() const = 0;
    virtual void Increment() = 0;
    virtual void Decrement() = 0;
    // False when `other` holds another kind of iterator.
    virtual bool Equal(const Holder& other) const = 0;
  };

  PathIterator() = default;
  explicit PathIterator(const Path* path);
  explicit PathIterator(FieldPathIterator it);
  explicit PathIterator(PropertyPathIterator it);
  explicit PathIterator(std::unique_ptr<Holder> holder);
  PathIterator(const PathIterator& other);
  PathIterator(PathIterator&&) noexcept = default;
  PathIterator& operator=(const PathIterator& other);
  PathIterator& operator=(PathIterator&&) noexcept = default;
  ~PathIterator();

 private:
  friend class boost::iterators::iterator_core_access;
  Path dereference() const;
  void increment();
  void decrement();
  bool equal(const PathIterator& other) const;

  std::unique_ptr<Holder> mHolder;
};

using PathIteratorRange = std::pair<PathIterator, PathIterator>;

// Every descendant of a Path or a schema in walk order (pre-order, definition order among
// siblings); the root itself is not visited. The walk ends early at a descendant whose Path
// could not be built (empty namespace and path description).
VELT_EXPORT PathIteratorRange DescendantPaths(const Path& inRoot);
VELT_EXPORT PathIteratorRange
DescendantPaths(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition);

// Calls `callback` with each leaf below the root, in walk order. Nothing is called for a
// leaf root.
VELT_EXPORT void VisitDescendantLeafPaths(const Path& inRoot,
                                          const std::function<void(const Path&)>& callback);
VELT_EXPORT void VisitDescendantLeafPaths(
    const std::shared_ptr<SchemaDefinition>& inSchemaDefinition,
    const std::function<void(const Path&)>& callback);

// The number of leaves VisitDescendantLeafPaths reports for the schema (a full walk).
VELT_EXPORT unsigned long long CountDescendantLeafPaths(
    const std::shared_ptr<SchemaDefinition>& inSchemaDefinition);

}  // namespace veltmetadata
