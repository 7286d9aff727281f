#include "veltmetadata/Views.h"

#include "ErrorList.h"
#include "registry/LifecycleHooks.h"
#include "veltcore/Localizer.h"
#include "views/ViewList.h"

namespace veltmetadata {

namespace {

using veltcore::string::UTF16to8;
using veltcore::string::UTF8to16;

constexpr const char* kDuplicateViewDefinition =
    "$$$/veltmetadata/ViewDefinitions/DuplicateViewDefinition=View definition for "
    "#{quot}@0#{quot} already exists.";

std::vector<ViewDefinitionPtr>& ViewList() {
  static std::vector<ViewDefinitionPtr> views;
  return views;
}

unsigned& LoadCounter() {
  static unsigned counter = 0;
  return counter;
}

UTF16String Localized(const UTF8String& text) {
  return UTF8to16(veltcore::config::Localizer::Get().Localize(std::string_view(text)));
}

// The view list and the load counter live until the final Terminate.
void StopViews() {
  ViewList().clear();
  LoadCounter() = 0;
}
const lifecycle::ParticipantRegistrar kViewsParticipant{
    {"views", 40, {}, &StopViews, lifecycle::kStopFormattersAndViews}};

}  // namespace

namespace views {

bool BeginViewLoad() {
  return ++LoadCounter() == 1;
}

}  // namespace views

ViewItem::ViewItem() = default;
ViewItem::ViewItem(Path path) : mPath(std::move(path)) {}
ViewItem::ViewItem(QualifiedName name) : mQualifiedName(std::move(name)) {}
ViewItem::ViewItem(UTF8String widgetName) : mWidgetName(std::move(widgetName)) {}
ViewItem::ViewItem(const ViewItem& other) = default;
ViewItem::ViewItem(ViewItem&& other) noexcept = default;
ViewItem& ViewItem::operator=(const ViewItem& other) = default;
ViewItem& ViewItem::operator=(ViewItem&& other) noexcept = default;
ViewItem::~ViewItem() = default;

void ViewItem::AddItem(ViewItemPtr item) {
  mChildItems.push_back(std::move(item));
}

UTF16String ViewItem::GetLabel() const {
  if (!mLabel.empty()) return Localized(mLabel);
  if (mPath.empty()) return UTF16String();
  const auto definition = PathEntryDefinition(mPath);
  return definition ? definition->mLabel : UTF16String();
}

UTF16String ViewItem::GetDescription() const {
  if (!mDescription.empty()) return Localized(mDescription);
  if (mPath.empty()) return UTF16String();
  const auto definition = PathEntryDefinition(mPath);
  return definition ? definition->mDescription : UTF16String();
}

Path ViewItem::GetPath() const {
  return mPath;
}

ViewDefinition::ViewDefinition() = default;
ViewDefinition::~ViewDefinition() = default;

void ViewDefinition::AddItem(ViewItemPtr item) {
  mItems.push_back(std::move(item));
}

ViewBuilderInterface::~ViewBuilderInterface() = default;

void BuildView(ViewDefinitionPtr view, ViewBuilderInterface& builder) {
  if (!view) return;
  const ViewInfo info{view->mName, view->mLabel, view->mDescription, view->mItems.size(),
                      view->mPruneEmptyProperties};
  builder.StartView(info);
  for (const auto& item : view->mItems)
    builder.BuildItem(item);
  builder.EndView(*view);
}

std::vector<ViewDefinitionPtr> CommonViewDefinitions() {
  return ViewList();
}

ViewDefinitionPtr GetViewDefinitionForName(const UTF8String& name) {
  for (const auto& view : ViewList()) {
    if (view && view->mName == name) return view;
  }
  return nullptr;
}

bool AddViewDefinition(ViewDefinitionPtr view, const UTF16String& sourceFile) {
  if (!view) return false;
  if (GetViewDefinitionForName(view->mName)) {
    SendError(kViewDefinitionRegistrationError,
              ErrorDetail(kDuplicateViewDefinition, {view->mName}), UTF16to8(sourceFile));
    return false;
  }
  ViewList().push_back(std::move(view));
  return true;
}

}  // namespace veltmetadata
