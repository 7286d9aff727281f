#pragma once

// SXMPIterator: visits the nodes of an XMP object in document order: a node, then its
// qualifiers, then its children (structure fields, array items). Schema nodes are visited
// with the namespace and an empty path. The iterator works on a snapshot taken when it is
// made, so changing the object meanwhile is safe (and not seen).

#include <memory>
#include <string>

#include "veltcore/Export.h"
#include "xmp/XMP_Const.h"

class SXMPMeta;

class VELT_EXPORT SXMPIterator {
 public:
  // Iterates the whole object (schemaNS and propName empty), one schema (propName empty:
  // the schema node, then its properties' subtrees) or one property's subtree (the property
  // first). A schema or property that does not exist gives an empty iteration.
  // Options (kXMP_Iter*):
  //   kXMP_IterJustChildren (0x100): only the direct children of the start (schema nodes for
  //     the whole object, top-level properties for a schema, fields / items / qualifiers for a
  //     property), not the start itself;
  //   kXMP_IterJustLeafNodes: only nodes without children (schema nodes never);
  //   kXMP_IterJustLeafName: the path is the last step only ("stEvt:action", "[2]",
  //     "?xml:lang");
  //   kXMP_IterOmitQualifiers: qualifiers and their subtrees are skipped.
  // A propName without schemaNS raises kXMPErr_BadParam, a bad path kXMPErr_BadXPath,
  // unknown option bits kXMPErr_BadOptions.
  SXMPIterator(const SXMPMeta& meta, const std::string& schemaNS, const std::string& propName,
               XMP_OptionBits options = 0);
  // Iterates the whole object.
  explicit SXMPIterator(const SXMPMeta& meta, XMP_OptionBits options = 0);
  ~SXMPIterator();
  SXMPIterator(SXMPIterator&&) noexcept;
  SXMPIterator& operator=(SXMPIterator&&) noexcept;
  SXMPIterator(const SXMPIterator&) = delete;
  SXMPIterator& operator=(const SXMPIterator&) = delete;

  // Moves to the next node; false when none is left. Each output may be null. The path is
  // the full XMP path ("xmpMM:History[1]/stEvt:action", "dc:title[1]/?xml:lang"), empty for
  // schema nodes; the value is empty for composites; options are the node's option bits
  // (kXMP_SchemaNode for schema nodes, kXMP_PropHasMultipleValues for marked properties).
  bool Next(std::string* schemaNS = nullptr, std::string* propPath = nullptr,
            std::string* propValue = nullptr, XMP_OptionBits* options = nullptr);

  // After Next: kXMP_IterSkipSubtree skips the qualifiers and children of the node just
  // returned; kXMP_IterSkipSiblings skips them and the node's remaining siblings. Calling it
  // with no current node raises kXMPErr_BadIterPosition, other options kXMPErr_BadParam.
  void Skip(XMP_OptionBits options);

 private:
  struct Impl;
  std::unique_ptr<Impl> mImpl;
};
