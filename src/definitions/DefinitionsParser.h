#pragma once

// The parse handler behind the definitions entry points of veltmetadata/DefinitionsParser.h.
// Internal: it is driven by the library's XML parser, which hosts cannot reach.

#include <memory>
#include <vector>

#include "veltcore/Xml.h"
#include "veltmetadata/DefinitionsParser.h"

namespace veltmetadata {

// The parse handler of definitions documents. It attaches each element to the most recently
// opened container of the right kind, whatever the nesting of the end tags.
class DefinitionsParser : public veltcore::xml::AbstractParseHandler {
 public:
  // Appends what it reads to `result`, which must outlive the handler; `sourceName` names
  // the document in every report.
  DefinitionsParser(const UTF8String& sourceName, DefinitionsPair& result);
  // Both copy every member: a moved-from parser stays usable.
  DefinitionsParser(const DefinitionsParser& other) = default;
  DefinitionsParser(DefinitionsParser&& other);
  ~DefinitionsParser() override;

  void StartElement(const UTF8String& name, const veltcore::xml::AttributeMap& attributes) override;
  void StartElementWithNamespace(const UTF8String& namespaceURI, const UTF8String& localName,
                                 const UTF8String& qualifiedName,
                                 const veltcore::xml::AttributeList& attributes) override;

 private:
  template <class T>
  using ListPtr = std::shared_ptr<std::vector<std::shared_ptr<T>>>;

  void StartProperty(const veltcore::xml::AttributeList& attributes);
  void MarkSeparator(const veltcore::xml::AttributeList& attributes);
  void StartSchema(const veltcore::xml::AttributeMap& attributes);
  void StartField(const veltcore::xml::AttributeMap& attributes);
  void StartType(const veltcore::xml::AttributeMap& attributes);
  void StartChoice(const veltcore::xml::AttributeMap& attributes);
  void StartQualifier(const veltcore::xml::AttributeMap& attributes);

  DefinitionsPair& mResult;
  ListPtr<PropertyDefinition> mPropertyList;
  ListPtr<FieldDefinition> mFieldList;
  ListPtr<ChoiceDefinition> mChoiceList;
  ListPtr<QualifierDefinition> mQualifierList;
  UTF8String mSourceName;
};

}  // namespace veltmetadata
