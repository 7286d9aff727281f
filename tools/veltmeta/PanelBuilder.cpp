#include "PanelBuilder.h"

#include <algorithm>
#include <vector>

#include "Json.h"
#include "TextConversion.h"
#include "veltmetadata/Registry.h"

namespace veltmeta {

using veltmetadata::Path;
using veltmetadata::ViewItem;

struct PanelBuilder::Node {
  std::string mLabel;
  std::string mName;    // prefix:path of the property shown, when there is one
  std::string mWidget;  // "section", "separator", "formatter", ...
  std::string mDisplay;
  std::string mJson;         // the typed value, when the lookup gave one
  bool mShowsValue = false;  // a property or formatter line (not a heading or separator)
  bool mMultiple = false;
  bool mVisible = true;
  std::vector<Node> mChildren;
};

namespace {

constexpr const char* kMultipleValues = "<multiple values>";

// "dc:title", "Iptc4xmpCore:CreatorContactInfo/Iptc4xmpCore:CiAdrCity".
std::string QualifiedPath(const Path& path) {
  if (path.empty()) return std::string();
  const auto schema = veltmetadata::NamespaceDefinition(path.mNamespace);
  return (schema ? schema->mPrefix : path.mNamespace) + ":" + path.mPathDescription;
}

// The label of the choice whose raw value is `value`: the item's own choices first, then
// those of the property's definition.
std::string ChoiceLabel(const ViewItem& item, const std::string& value) {
  for (const auto& choice : item.mChoices) {
    if (choice && choice->mRawValue == value) return ToUTF8(choice->mLabel);
  }
  if (item.mPath.empty()) return value;
  if (const auto definition = veltmetadata::PathEntryDefinition(item.mPath)) {
    for (const auto& choice : definition->mChoices) {
      if (choice && choice->mRawValue == value && !choice->mLabel.empty())
        return ToUTF8(choice->mLabel);
    }
  }
  return value;
}

std::string Parameter(const ViewItem& item, const std::string& name) {
  const auto it = item.mParameters.find(name);
  return it == item.mParameters.end() ? std::string() : it->second;
}

// Whether `path` is the one a "_path" parameter group names.
bool NamedBy(const Path& path, const std::string& uri, const std::string& name,
             const std::string& field) {
  if (path.mNamespace != uri) return false;
  if (field.empty()) return path.mPathDescription == name;
  const std::string& d = path.mPathDescription;
  return d.starts_with(name + "/") && d.ends_with(":" + field);
}

std::string FillFormat(const std::string& format, const std::vector<std::string>& parts) {
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '@' && i + 1 < format.size() && format[i + 1] >= '0' && format[i + 1] <= '9') {
      const std::size_t index = static_cast<std::size_t>(format[i + 1] - '0');
      out += index < parts.size() ? parts[index] : std::string();
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

// Columns a UTF-8 text takes (one per character).
std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (const unsigned char c : text)
    columns += (c & 0xC0) != 0x80 ? 1 : 0;
  return columns;
}

// `text` broken at spaces into lines of at most `width` columns (a longer word stands alone);
// each line after the first starts with `indent`.
std::string Wrap(const std::string& text, std::size_t width, const std::string& indent) {
  const std::size_t room = width > indent.size() + 10 ? width - indent.size() : 10;
  std::string out;
  std::string line;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && Columns(line) + 1 + Columns(word) > room) {
      out += line + "\n" + indent;
      line = word;
    } else {
      line += (line.empty() ? "" : " ") + word;
    }
    start = end + 1;
  }
  return out + line;
}

}  // namespace

std::string Localized(const std::string& text) {
  // An item's label is the localiser's text for what it holds.
  ViewItem item;
  item.mLabel = text;
  return ToUTF8(item.GetLabel());
}

PanelBuilder::PanelBuilder(Format format, PanelValueLookup lookup)
    : mFormat(format), mLookup(std::move(lookup)) {}

PanelBuilder::~PanelBuilder() = default;

void PanelBuilder::StartView(const veltmetadata::ViewInfo& info) {
  mPrune = info.mPruneEmptyProperties || mOptions.mPruneAlways;
  mHeld.clear();
  mValueColumn = 0;
  mFirstJsonItem = true;
  mAnyShown = false;
  mPendingSeparator = false;
  const std::string label = info.mLabel.empty() ? info.mName : Localized(info.mLabel);
  if (mFormat == Format::kText) {
    mOutput = label + "\n" + std::string(label.size(), '=') + "\n";
  } else {
    mOutput = "{\"name\": " + JsonString(info.mName) + ", \"label\": " + JsonString(label) +
              ", \"pruneEmptyProperties\": " + (mPrune ? "true" : "false") + ", \"items\": [";
  }
}

void PanelBuilder::EndView(const veltmetadata::ViewDefinition&) {
  if (mFormat == Format::kText && mOptions.mAlignLabels) WriteAligned();
  if (mFormat == Format::kJson) mOutput += mFirstJsonItem ? "]}\n" : "\n]}\n";
}

void PanelBuilder::BuildItem(const veltmetadata::ViewItemPtr& item) {
  if (!item) return;
  const Node node = Render(*item);
  if (!node.mVisible) return;
  // A separator shows only between two shown items, once.
  if (node.mWidget == "separator") {
    mPendingSeparator = mAnyShown;
    return;
  }
  if (mPendingSeparator) {
    mPendingSeparator = false;
    Node separator;
    separator.mWidget = "separator";
    Emit(separator);
  }
  mAnyShown = true;
  Emit(node);
}

void PanelBuilder::Emit(const Node& node) {
  if (mFormat == Format::kText && mOptions.mAlignLabels) {
    mHeld.push_back(node);
  } else if (mFormat == Format::kText) {
    WriteText(node, 0);
  } else {
    mOutput += mFirstJsonItem ? "\n" : ",\n";
    mFirstJsonItem = false;
    WriteJson(node, 1);
  }
}

PanelBuilder::Node PanelBuilder::Render(const ViewItem& item) const {
  if (item.mWidgetName == "formatter") return RenderFormatter(item);
  Node node;
  node.mWidget = item.mWidgetName;
  bool pendingSeparator = false;
  for (const auto& child : item.mChildItems) {
    if (!child) continue;
    Node rendered = Render(*child);
    if (!rendered.mVisible) continue;
    if (rendered.mWidget == "separator") {
      pendingSeparator = !node.mChildren.empty();
      continue;
    }
    if (pendingSeparator) {
      Node separator;
      separator.mWidget = "separator";
      node.mChildren.push_back(std::move(separator));
      pendingSeparator = false;
    }
    node.mChildren.push_back(std::move(rendered));
  }
  if (item.mWidgetName == "separator") return node;
  if (item.mPath.empty()) {
    // A heading (section, note, group): hidden when pruning leaves it empty.
    node.mVisible = !mPrune || !node.mChildren.empty() || item.mWidgetName == "note";
  } else {
    node.mShowsValue = true;
    const PanelValue value = mLookup ? mLookup(item.mPath) : PanelValue();
    node.mMultiple = value.mState == PanelValue::kMultiple;
    if (node.mMultiple) node.mDisplay = kMultipleValues;
    if (value.mState == PanelValue::kValue) {
      node.mDisplay = ChoiceLabel(item, value.mDisplay);
      node.mJson = value.mJson;
    }
    node.mVisible = !mPrune || value.mState != PanelValue::kNone;
  }
  // Most items of a view have no value in a given file: only a shown one is labelled.
  if (node.mVisible) {
    node.mLabel = ToUTF8(item.GetLabel());
    node.mName = QualifiedPath(item.mPath);
  }
  return node;
}

PanelBuilder::Node PanelBuilder::RenderFormatter(const ViewItem& item) const {
  Node node;
  node.mWidget = "formatter";
  node.mLabel = ToUTF8(item.GetLabel());
  node.mShowsValue = true;
  const std::string uri = Parameter(item, "required_path_uri");
  const std::string name = Parameter(item, "required_path_name");
  const std::string field = Parameter(item, "required_path_field");
  bool required = uri.empty();  // without a required property any part will do
  bool any = false;
  std::vector<std::string> parts;
  for (const auto& child : item.mChildItems) {
    const PanelValue value =
        child && mLookup && !child->mPath.empty() ? mLookup(child->mPath) : PanelValue();
    node.mMultiple = node.mMultiple || value.mState == PanelValue::kMultiple;
    const bool has = value.mState != PanelValue::kNone;
    any = any || has;
    if (child && !uri.empty() && has && NamedBy(child->mPath, uri, name, field)) required = true;
    parts.push_back(value.mState == PanelValue::kValue ? ChoiceLabel(*child, value.mDisplay)
                                                       : std::string());
  }
  if (!uri.empty() && !required && field.empty()) {
    // A required property that is not one of the parts.
    const Path path = veltmetadata::PathForSchemaNameAndPropertyName(uri, name);
    required = !path.empty() && mLookup && mLookup(path).mState != PanelValue::kNone;
  }
  const bool shown = required && any;
  if (shown) {
    if (node.mMultiple) {
      node.mDisplay = kMultipleValues;
    } else if (const std::string format = Parameter(item, "format"); !format.empty()) {
      node.mDisplay = FillFormat(format, parts);
    } else {
      for (const auto& part : parts) {
        if (part.empty()) continue;
        node.mDisplay += (node.mDisplay.empty() ? "" : ", ") + part;
      }
    }
  } else {
    node.mMultiple = false;
  }
  node.mVisible = !mPrune || shown;
  return node;
}

void PanelBuilder::WriteText(const Node& node, int depth) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  if (node.mWidget == "separator") {
    mOutput += "\n";
  } else if (node.mShowsValue) {
    std::string head = indent + node.mLabel + ":";
    const std::size_t columns = Columns(head);
    if (mValueColumn > columns) head += std::string(mValueColumn - columns, ' ');
    std::string display = node.mDisplay;
    if (mOptions.mWrapWidth > 0 && !display.empty()) {
      display = Wrap(display, mOptions.mWrapWidth, std::string(Columns(head) + 1, ' '));
    }
    mOutput += head + (display.empty() ? "" : " " + display) + "\n";
  } else {
    if (node.mWidget == "section" && !mOutput.ends_with("\n\n")) mOutput += "\n";
    mOutput += indent + node.mLabel + "\n";
  }
  for (const Node& child : node.mChildren)
    WriteText(child, depth + 1);
}

// Writes the held items with every value of the view starting in one column, after the
// widest "indent + label:".
void PanelBuilder::WriteAligned() {
  std::size_t widest = 0;
  std::vector<std::pair<const Node*, int>> stack;
  for (const Node& node : mHeld)
    stack.emplace_back(&node, 0);
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    if (node->mShowsValue)
      widest = std::max(widest, static_cast<std::size_t>(depth) * 2 + Columns(node->mLabel) + 1);
    for (const Node& child : node->mChildren)
      stack.emplace_back(&child, depth + 1);
  }
  mValueColumn = widest;
  for (const Node& node : mHeld)
    WriteText(node, 0);
  mHeld.clear();
  mValueColumn = 0;
}

void PanelBuilder::WriteJson(const Node& node, int depth) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  mOutput += indent + "{\"label\": " + JsonString(node.mLabel);
  if (!node.mName.empty()) mOutput += ", \"name\": " + JsonString(node.mName);
  if (!node.mWidget.empty()) mOutput += ", \"widget\": " + JsonString(node.mWidget);
  if (node.mShowsValue) {
    mOutput += ", \"display\": " + JsonString(node.mDisplay) +
               ", \"multiple\": " + (node.mMultiple ? "true" : "false");
    if (!node.mMultiple && !node.mJson.empty()) mOutput += ", \"value\": " + node.mJson;
  }
  if (!node.mChildren.empty()) {
    mOutput += ", \"items\": [\n";
    for (std::size_t i = 0; i < node.mChildren.size(); ++i) {
      WriteJson(node.mChildren[i], depth + 1);
      mOutput += i + 1 == node.mChildren.size() ? "\n" : ",\n";
    }
    mOutput += indent + "]";
  }
  mOutput += "}";
}

}  // namespace veltmeta
