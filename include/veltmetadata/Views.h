#pragma once

// Views: descriptions of metadata panels. A view names the properties a panel shows, in
// order, with the widget, label, choices and parameters to show each with; the library does
// not draw panels, the host walks a view through its own builder. Views are kept in one
// process-wide list by unique name, filled by LoadAllViewDefinitions (ExtensionPackages.h)
// and emptied by the final Terminate.

#include <map>
#include <memory>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Path.h"

namespace veltmetadata {

class ViewDefinition;
class ViewItem;
using ViewDefinitionPtr = std::shared_ptr<ViewDefinition>;
using ViewItemPtr = std::shared_ptr<ViewItem>;

// One entry of a panel: a property, a section, a separator, a formatter and so on.
class VELT_EXPORT ViewItem {
 public:
  // Everything empty.
  ViewItem();
  // An item for the property at `path`; the rest empty.
  explicit ViewItem(Path path);
  // An item for the property named by namespace and local name; the rest empty.
  explicit ViewItem(QualifiedName name);
  // An item of the given widget ("section", "separator", ...); the rest empty.
  explicit ViewItem(UTF8String widgetName);
  ViewItem(const ViewItem& other);
  ViewItem(ViewItem&& other) noexcept;
  ViewItem& operator=(const ViewItem& other);
  ViewItem& operator=(ViewItem&& other) noexcept;
  ~ViewItem();

  // Appends a child item as given; a null pointer is appended too.
  void AddItem(ViewItemPtr item);
  // The localised label: mLabel when set, else the label of the definition at mPath, else
  // empty.
  UTF16String GetLabel() const;
  // The localised description, by the same rule as GetLabel.
  UTF16String GetDescription() const;
  // A copy of mPath.
  Path GetPath() const;

  // The property shown, by namespace URI and local name; empty when the item shows none.
  QualifiedName mQualifiedName;
  // The property's path in the definitions; empty when unknown.
  Path mPath;
  // The kind of item or widget ("section", "separator", "formatter", "dropdown", ...).
  UTF8String mWidgetName;
  // Label and description as written (ZString or plain text); empty means "from the
  // definition".
  UTF8String mLabel;
  UTF8String mDescription;
  // Nested items in document order (a section's items, a formatter's parts).
  std::vector<ViewItemPtr> mChildItems;
  // Widget parameters by name.
  std::map<UTF8String, UTF8String> mParameters;
  // Choices the item offers.
  std::vector<std::shared_ptr<ChoiceDefinition>> mChoices;
};

// One panel.
class VELT_EXPORT ViewDefinition {
 public:
  ViewDefinition();
  ~ViewDefinition();

  // Appends a top-level item as given; a null pointer is appended too.
  void AddItem(ViewItemPtr item);

  UTF8String mName;         // unique; the key of the view list
  UTF8String mLabel;        // as written: ZString or plain text
  UTF8String mDescription;  // as written
  std::vector<ViewItemPtr> mItems;
  bool mPruneEmptyProperties = false;  // the panel hides properties without a value
  bool mStaticPage = false;            // carried for the host only
};

// What a builder learns when a view starts.
struct VELT_EXPORT ViewInfo {
  UTF8String mName;
  UTF8String mLabel;
  UTF8String mDescription;
  std::size_t mItemCount = 0;  // top-level items, null entries counted
  bool mPruneEmptyProperties = false;
};

// Implemented by the host to render a view.
class VELT_EXPORT ViewBuilderInterface {
 public:
  virtual ~ViewBuilderInterface();
  virtual void StartView(const ViewInfo& info) = 0;
  virtual void EndView(const ViewDefinition& view) = 0;
  // Called for each top-level item (null entries included); the builder descends into
  // mChildItems itself.
  virtual void BuildItem(const ViewItemPtr& item) = 0;
};

// Walks a view: StartView, BuildItem for each top-level item in order, EndView. A null view
// does nothing.
VELT_EXPORT void BuildView(ViewDefinitionPtr view, ViewBuilderInterface& builder);

// A copy of the view list, in order of addition.
VELT_EXPORT std::vector<ViewDefinitionPtr> CommonViewDefinitions();

// The view whose name equals `name` byte for byte, or null.
VELT_EXPORT ViewDefinitionPtr GetViewDefinitionForName(const UTF8String& name);

// Adds a view to the list. A null view gives false silently; a name already listed is
// reported as a duplicate (with `sourceFile` as the file) and gives false, the first view of
// that name staying. An empty name is accepted. The list takes no lock: callers that add
// views while other threads read must serialise those calls themselves.
VELT_EXPORT bool AddViewDefinition(ViewDefinitionPtr view,
                                   const UTF16String& sourceFile = UTF16String());

}  // namespace veltmetadata
