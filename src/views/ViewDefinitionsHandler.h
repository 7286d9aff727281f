#pragma once

// The parse handler behind the view definitions entry points of
// veltmetadata/ViewDefinitionsFile.h. Internal: it is driven by the library's XML parser,
// which hosts cannot reach.

#include <map>
#include <memory>
#include <vector>

#include "veltcore/Xml.h"
#include "veltmetadata/ViewDefinitionsFile.h"

namespace veltmetadata {

// The parse handler of view definitions files. Problems go to the error list (view-definition
// parsing kind, the source name as file); nothing is thrown.
class ViewDefinitionsHandler : public veltcore::xml::AbstractParseHandler {
 public:
  enum class ParseState {
    kStart,         // nothing read yet; expects views
    kInViews,       // expects view
    kInView,        // inside a named view; expects items
    kSkipView,      // a view without name, or a views root outside its namespace
    kInItem,        // inside a top-level item
    kInNestedItem,  // inside an item nested in another item
    kInParam,
    kInChoice,
    kDone,    // after </views>
    kFailed,  // after a structural error
  };

  explicit ViewDefinitionsHandler(std::shared_ptr<const UTF8String> sourceName);
  ~ViewDefinitionsHandler() override;

  void StartElementWithNamespace(const UTF8String& namespaceURI, const UTF8String& localName,
                                 const UTF8String& qualifiedName,
                                 const veltcore::xml::AttributeList& attributes) override;
  void EndElementWithNamespace(const UTF8String& namespaceURI, const UTF8String& localName,
                               const UTF8String& qualifiedName) override;
  void StartPrefixMapping(const UTF8String& prefix, const UTF8String& uri) override;
  void EndPrefixMapping(const UTF8String& prefix) override;

  ParseState State() const { return mState; }
  // The views completed so far, in document order.
  const std::vector<ViewDefinitionPtr>& Views() const { return mViews; }
  // Reports a document the XML parser refused.
  void ReportInvalidXML() const;

 private:
  void StartInViews(const UTF8String& name, const veltcore::xml::AttributeList& attributes);
  void StartInView(const UTF8String& name, const veltcore::xml::AttributeList& attributes);
  void StartInItem(const UTF8String& name, const veltcore::xml::AttributeList& attributes);
  ViewItemPtr NewItem(const UTF8String& name, const veltcore::xml::AttributeList& attributes);
  void ReadItemAttribute(ViewItem& item, const veltcore::xml::Attribute& attribute);
  Path ResolveReference(const UTF8String& reference) const;
  bool ResolvePrefixedName(const UTF8String& name, UTF8String& uri, UTF8String& local) const;
  void Report(const char* zstring, const UTF8String& argument = UTF8String()) const;
  ParseState ItemState() const;

  ParseState mState = ParseState::kStart;
  std::vector<ViewDefinitionPtr> mViews;
  std::vector<ViewItemPtr> mParents;
  ViewDefinitionPtr mCurrentView;
  ViewItemPtr mCurrentItem;
  std::map<UTF16String, UTF16String> mPrefixes;
  bool mPropertyWithoutName = false;
  std::shared_ptr<const UTF8String> mSourceName;
};

}  // namespace veltmetadata
