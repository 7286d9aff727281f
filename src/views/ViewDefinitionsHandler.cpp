#include "views/ViewDefinitionsHandler.h"

#include "ErrorList.h"
#include "Messages.h"
#include "ParserSupport.h"
#include "veltcore/Localizer.h"
#include "veltmetadata/Namespaces.h"

namespace veltmetadata {

namespace {

using veltcore::string::UTF16to8;
using veltcore::string::UTF8to16;
using veltcore::xml::Attribute;
using veltcore::xml::AttributeList;
using ParseState = ViewDefinitionsHandler::ParseState;
namespace msg = view_messages;

// The element names that stand for items, with the widget each one implies.
bool MapItemElement(const UTF8String& name, UTF8String& mapped, UTF8String& widget) {
  if (name == "property") {
    widget.clear();
  } else if (name == "section" || name == "separator" || name == "note" || name == "formatter") {
    widget = name;
  } else {
    mapped = name;
    widget.clear();
    return name == "item";
  }
  mapped = "item";
  return true;
}

UTF8String MappedName(const UTF8String& name) {
  UTF8String mapped, widget;
  MapItemElement(name, mapped, widget);
  return mapped;
}

bool IsValid(const Path& path) {
  return !path.mNamespace.empty() && !path.mPathDescription.empty();
}

// Splits at `separator`; every part is kept, empty ones included.
std::vector<UTF8String> Split(const UTF8String& text, char separator) {
  std::vector<UTF8String> parts;
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != UTF8String::npos;
       at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The path of a schema's top-level property; empty, without an assertion, when the schema or
// the property is not registered (a view file naming an unknown property is a content error).
// A dynamic schema has every property, so any name resolves there.
Path PropertyPath(const UTF8String& uri, const UTF8String& name) {
  const auto schema = NamespaceDefinition(uri);
  if (!schema) return Path();
  if (PropertyNameDefinition(schema, name)) return PathForSchemaNameAndPropertyName(uri, name);
  if (!schema->mDynamic) return Path();
  Path path;
  path.mNamespace = uri;
  path.mPathDescription = name;
  path.mEntryName = name;
  path.mParentId = uri;
  return path;
}

}  // namespace

ViewDefinitionsHandler::ViewDefinitionsHandler(std::shared_ptr<const UTF8String> sourceName)
    : mSourceName(sourceName ? std::move(sourceName) : std::make_shared<const UTF8String>()) {}

ViewDefinitionsHandler::~ViewDefinitionsHandler() = default;

void ViewDefinitionsHandler::Report(const char* zstring, const UTF8String& argument) const {
  // The markers of the localised template become quotes before the argument goes in, so
  // that text from the file is shown as written.
  const UTF8String text = veltcore::string::ReplaceZStringMarkers(
      veltcore::config::Localizer::Get().Localize(std::string_view(zstring)));
  SendError(kViewDefinitionParsingError, veltcore::string::ReplaceInString(text, {argument}),
            *mSourceName);
}

void ViewDefinitionsHandler::ReportInvalidXML() const {
  Report(msg::kInvalidXML);
}

ParseState ViewDefinitionsHandler::ItemState() const {
  return mParents.empty() ? ParseState::kInItem : ParseState::kInNestedItem;
}

void ViewDefinitionsHandler::StartPrefixMapping(const UTF8String& prefix, const UTF8String& uri) {
  mPrefixes[UTF8to16(prefix)] = UTF8to16(uri);
}

void ViewDefinitionsHandler::EndPrefixMapping(const UTF8String& prefix) {
  mPrefixes.erase(UTF8to16(prefix));
}

void ViewDefinitionsHandler::StartElementWithNamespace(const UTF8String& namespaceURI,
                                                       const UTF8String& localName,
                                                       const UTF8String&,
                                                       const AttributeList& attributes) {
  if (namespaceURI != kViewsNamespace) {
    if (localName == "views") {
      mState = ParseState::kSkipView;
      Report(msg::kMissingUINameSpace, kViewsNamespace);
    } else if (mState == ParseState::kStart) {
      mState = ParseState::kFailed;
      Report(msg::kNoViewsTag);
    }
    return;
  }
  switch (mState) {
    case ParseState::kStart:
      if (localName == "views") {
        mState = ParseState::kInViews;
      } else {
        mState = ParseState::kFailed;
        Report(msg::kNoViewsTag);
      }
      break;
    case ParseState::kInViews:
      StartInViews(localName, attributes);
      break;
    case ParseState::kInView:
      StartInView(localName, attributes);
      break;
    case ParseState::kInItem:
    case ParseState::kInNestedItem:
      StartInItem(localName, attributes);
      break;
    default:
      break;
  }
}

void ViewDefinitionsHandler::StartInViews(const UTF8String& name, const AttributeList& attributes) {
  if (name != "view") return;
  mCurrentView = std::make_shared<ViewDefinition>();
  for (const Attribute& attribute : attributes) {
    if (attribute.mValue.empty()) continue;
    const UTF8String& key = attribute.mLocalName;
    if (key == "name") {
      mCurrentView->mName = attribute.mValue;
    } else if (key == "label") {
      mCurrentView->mLabel = attribute.mValue;
    } else if (key == "description") {
      mCurrentView->mDescription = attribute.mValue;
    } else if (key == "pruneEmptyProperties") {
      mCurrentView->mPruneEmptyProperties = attribute.mValue == "true";
    }
  }
  if (mCurrentView->mName.empty()) {
    Report(msg::kViewHasNoName);
    mCurrentView.reset();
    mState = ParseState::kSkipView;
  } else {
    mState = ParseState::kInView;
  }
}

void ViewDefinitionsHandler::StartInView(const UTF8String& name, const AttributeList& attributes) {
  if (MappedName(name) != "item") return;
  ViewItemPtr item = NewItem(name, attributes);
  if (IsValid(item->mPath) || !item->mWidgetName.empty()) {
    mCurrentItem = std::move(item);
    mState = ParseState::kInItem;
  }
}

void ViewDefinitionsHandler::StartInItem(const UTF8String& name, const AttributeList& attributes) {
  const UTF8String mapped = MappedName(name);
  if (mapped == "param") {
    UTF8String key, value;
    for (const Attribute& attribute : attributes) {
      if (attribute.mLocalName == "name") key = attribute.mValue;
      if (attribute.mLocalName == "value") value = attribute.mValue;
    }
    mCurrentItem->mParameters[key] = value;
    mState = ParseState::kInParam;
  } else if (mapped == "choice") {
    auto choice = std::make_shared<ChoiceDefinition>();
    UTF8String label;
    for (const Attribute& attribute : attributes) {
      if (attribute.mLocalName == "value") choice->mRawValue = attribute.mValue;
      if (attribute.mLocalName == "label") label = attribute.mValue;
    }
    choice->mLabelZString = UTF8to16(label);
    choice->mLabel = UTF8to16(veltcore::config::Localizer::Get().Localize(std::string_view(label)));
    mCurrentItem->mChoices.push_back(std::move(choice));
    mState = ParseState::kInChoice;
  } else if (mapped == "item") {
    mParents.push_back(mCurrentItem);
    mCurrentItem = NewItem(name, attributes);
    mState = ParseState::kInNestedItem;
  }
}

ViewItemPtr ViewDefinitionsHandler::NewItem(const UTF8String& name,
                                            const AttributeList& attributes) {
  UTF8String mapped, widget;
  MapItemElement(name, mapped, widget);
  auto item = std::make_shared<ViewItem>(widget);
  mPropertyWithoutName = name == "property";
  for (const Attribute& attribute : attributes) {
    if (!attribute.mValue.empty()) ReadItemAttribute(*item, attribute);
  }
  if (mPropertyWithoutName) Report(msg::kPropertyWithoutName);
  return item;
}

void ViewDefinitionsHandler::ReadItemAttribute(ViewItem& item, const Attribute& attribute) {
  const UTF8String& key = attribute.mLocalName;
  const UTF8String& value = attribute.mValue;
  if (key == "name") {
    mPropertyWithoutName = false;
    item.mPath = ResolveReference(value);
    UTF8String uri, local;
    if (IsValid(item.mPath) && value.find('/') == UTF8String::npos &&
        ResolvePrefixedName(value, uri, local)) {
      item.mQualifiedName = QualifiedName{uri, local};
    }
  } else if (key == "widget") {
    item.mWidgetName = value;
  } else if (key == "label") {
    item.mLabel = value;
  } else if (key == "description") {
    item.mDescription = value;
  } else if (key == "labelRef" || key == "descriptionRef") {
    const Path path = ResolveReference(value);
    const auto definition = IsValid(path) ? PathEntryDefinition(path) : nullptr;
    if (!definition) return;
    const UTF16String& text =
        key == "labelRef" ? definition->mLabelZString : definition->mDescriptionZString;
    if (!text.empty()) (key == "labelRef" ? item.mLabel : item.mDescription) = UTF16to8(text);
  } else {
    item.mParameters[key] = value;
    if (!key.ends_with("_path")) return;
    const Path path = ResolveReference(value);
    if (!IsValid(path)) return;
    const UTF8String& description = path.mPathDescription;
    const std::size_t slash = description.find('/');
    item.mParameters[key + "_uri"] = path.mNamespace;
    item.mParameters[key + "_name"] = description.substr(0, slash);
    if (slash == UTF8String::npos) return;
    const std::size_t colon = description.find(':');
    item.mParameters[key + "_field"] =
        colon == UTF8String::npos ? UTF8String() : description.substr(colon + 1);
  }
}

bool ViewDefinitionsHandler::ResolvePrefixedName(const UTF8String& name, UTF8String& uri,
                                                 UTF8String& local) const {
  const std::vector<UTF8String> parts = Split(name, ':');
  if (parts.size() == 1) {
    Report(msg::kInvalidPrefixInXMPProperty, name);
    return false;
  }
  if (parts.size() != 2 || parts[0].empty() || parts[1].empty()) return false;
  const auto it = mPrefixes.find(UTF8to16(parts[0]));
  if (it == mPrefixes.end()) {
    Report(msg::kInvalidPrefixInXMPProperty, name);
    return false;
  }
  uri = UTF16to8(it->second);
  local = parts[1];
  return true;
}

Path ViewDefinitionsHandler::ResolveReference(const UTF8String& reference) const {
  const std::vector<UTF8String> parts = Split(reference, '/');
  UTF8String uri, local;
  if (parts.size() == 2 && !parts[0].empty() && !parts[1].empty()) {
    Path structure;
    if (ResolvePrefixedName(parts[0], uri, local)) structure = PropertyPath(uri, local);
    if (!IsValid(structure)) {
      Report(msg::kInvalidXMPPropertyInStruct, reference);
      return Path();
    }
    Path field;
    if (ResolvePrefixedName(parts[1], uri, local)) {
      const auto type = TypeEntryDefinition(structure);
      if (type) {
        for (const auto& candidate : type->mFields) {
          if (!candidate || candidate->mName != local || candidate->mNamespace != uri) continue;
          // A field of an internal array of structures stands for that field in every item;
          // its path resolves through the array's element type.
          field = IsPathAnArray(structure, false)
                      ? CreatePathFromArrayedStructureField(structure, candidate)
                      : CreatePathFromStructureField(structure, candidate);
          break;
        }
      }
    }
    if (!IsValid(field)) {
      Report(msg::kInvalidXMPPropertyInStructureField, reference);
      return Path();
    }
    return field;
  }
  Path path;
  if (ResolvePrefixedName(reference, uri, local)) path = PropertyPath(uri, local);
  if (!IsValid(path)) {
    Report(msg::kInvalidXMPProperty, reference);
    return Path();
  }
  return path;
}

void ViewDefinitionsHandler::EndElementWithNamespace(const UTF8String& namespaceURI,
                                                     const UTF8String& localName,
                                                     const UTF8String&) {
  if (namespaceURI != kViewsNamespace) return;
  const UTF8String name = MappedName(localName);
  switch (mState) {
    case ParseState::kInViews:
      if (name != "views") break;
      if (mViews.empty()) {
        mState = ParseState::kFailed;
        Report(msg::kNoViewTag);
      } else {
        mState = ParseState::kDone;
      }
      break;
    case ParseState::kInView:
      if (name != "view") break;
      mViews.push_back(std::move(mCurrentView));
      mState = ParseState::kInViews;
      break;
    case ParseState::kSkipView:
      if (name == "view") mState = ParseState::kInViews;
      break;
    case ParseState::kInItem:
      if (name != "item") break;
      mPropertyWithoutName = false;
      mCurrentView->AddItem(std::move(mCurrentItem));
      mState = ParseState::kInView;
      break;
    case ParseState::kInNestedItem: {
      if (name != "item") break;
      mPropertyWithoutName = false;
      ViewItemPtr parent = std::move(mParents.back());
      mParents.pop_back();
      parent->AddItem(std::move(mCurrentItem));
      mCurrentItem = std::move(parent);
      mState = ItemState();
      break;
    }
    case ParseState::kInParam:
      if (name == "param") mState = ItemState();
      break;
    case ParseState::kInChoice:
      if (name == "choice") mState = ItemState();
      break;
    default:
      break;
  }
}

std::vector<ViewDefinitionPtr> ParseViewDefinitionsFromBuffer(const UTF8String& buffer,
                                                              const UTF8String& sourceName) {
  ViewDefinitionsHandler handler(std::make_shared<const UTF8String>(sourceName));
  auto parser = GetParserWithNamespaceSupport(handler);
  if (parser->Parse(buffer) != 0) handler.ReportInvalidXML();
  return handler.Views();
}

std::vector<ViewDefinitionPtr> ParseViewDefinitionsFromDocument(const UTF8String& path) {
  ViewDefinitionsHandler handler(std::make_shared<const UTF8String>(path));
  auto parser = GetParserWithNamespaceSupport(handler);
  if (parser->ParseFile(path) != 0) handler.ReportInvalidXML();
  return handler.Views();
}

}  // namespace veltmetadata
