#pragma once

// Renders a view as a panel of text or as JSON, with the values a lookup supplies. Used with
// veltmetadata::BuildView:
//
//   veltmeta::PanelBuilder panel(veltmeta::PanelBuilder::Format::kText, lookup);
//   veltmetadata::BuildView(view, panel);
//   std::fputs(panel.Output().c_str(), stdout);
//
// Text: the view's label underlined, sections as headings with their items indented,
// "Label: value" lines, "<multiple values>" where merged files disagree, choices by their
// label, separators as blank lines. JSON: one object {"name", "label", "items": [...]} whose
// items carry "label", "name" (prefix:path), "widget" (when set), "display", "multiple" and,
// for sections and formatters, "items". A formatter shows its parts through its `format`
// parameter ("@0, @1"), else joined by ", ", and only when its required property has a
// value. When the view prunes empty properties, items without a value (and sections left
// empty) are not shown.

#include <functional>
#include <string>
#include <vector>

#include "veltmetadata/Views.h"

namespace veltmeta {

// What a panel shows for one property.
struct PanelValue {
  enum State { kNone, kValue, kMultiple };
  State mState = kNone;
  std::string mDisplay;  // the display text, for kValue
  std::string mJson;     // the typed value as JSON, for kValue; "" leaves "value" out
};

// How a panel is laid out beyond what its view says.
struct PanelOptions {
  bool mPruneAlways = false;   // hide properties without a value even when the view keeps them
  bool mAlignLabels = false;   // text: values of a view start in one column
  std::size_t mWrapWidth = 0;  // text: wrap values to this many columns (0: never)
};

// Supplies the value of the property at a path.
using PanelValueLookup = std::function<PanelValue(const veltmetadata::Path&)>;

class PanelBuilder : public veltmetadata::ViewBuilderInterface {
 public:
  enum class Format { kText, kJson };

  // Without a lookup every property shows as having no value.
  PanelBuilder(Format format, PanelValueLookup lookup);
  ~PanelBuilder() override;

  void StartView(const veltmetadata::ViewInfo& info) override;
  void EndView(const veltmetadata::ViewDefinition& view) override;
  void BuildItem(const veltmetadata::ViewItemPtr& item) override;

  void SetOptions(const PanelOptions& options) { mOptions = options; }
  // Whether the last view showed any item.
  bool AnyShown() const { return mAnyShown; }

  // The rendered panel; complete after EndView.
  const std::string& Output() const { return mOutput; }

 private:
  struct Node;
  Node Render(const veltmetadata::ViewItem& item) const;
  Node RenderFormatter(const veltmetadata::ViewItem& item) const;
  void Emit(const Node& node);
  void WriteText(const Node& node, int depth);
  void WriteJson(const Node& node, int depth);
  void WriteAligned();

  Format mFormat;
  PanelValueLookup mLookup;
  bool mPrune = false;
  bool mFirstJsonItem = true;
  bool mAnyShown = false;          // an item has been written
  bool mPendingSeparator = false;  // a separator waits for the next shown item
  std::string mOutput;
  PanelOptions mOptions;
  std::size_t mValueColumn = 0;  // text: where values start (0: right after the label)
  std::vector<Node> mHeld;       // text items waiting for EndView when labels are aligned
};

// The localised text of a label or description as written in a view (ZString or plain).
std::string Localized(const std::string& text);

}  // namespace veltmeta
