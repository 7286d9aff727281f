// The view model and the view list: adding, looking up, walking and labels.
#include <gtest/gtest.h>

#include "LibraryFixture.h"
#include "veltcore/Localizer.h"
#include "veltmetadata/Registry.h"
#include "veltmetadata/Views.h"

namespace {

using namespace veltmetadata;

class ViewList : public velttest::LibraryFixture {};

// Records what BuildView hands over.
struct RecordingBuilder : ViewBuilderInterface {
  std::vector<std::string> mCalls;
  ViewInfo mInfo;
  void StartView(const ViewInfo& info) override {
    mInfo = info;
    mCalls.push_back("start");
  }
  void EndView(const ViewDefinition& view) override { mCalls.push_back("end " + view.mName); }
  void BuildItem(const ViewItemPtr& item) override {
    mCalls.push_back(item ? "item " + item->mWidgetName : "null");
  }
};

ViewDefinitionPtr MakeView(const std::string& name, const std::string& label) {
  auto view = std::make_shared<ViewDefinition>();
  view->mName = name;
  view->mLabel = label;
  return view;
}

TEST_F(ViewList, AddLookUpAndDuplicates) {
  EXPECT_FALSE(AddViewDefinition(nullptr));
  EXPECT_TRUE(NewErrors().empty());
  EXPECT_TRUE(AddViewDefinition(MakeView("panel", "first")));
  EXPECT_FALSE(AddViewDefinition(MakeView("panel", "second"), u"/x/second.xml"));
  EXPECT_TRUE(AddViewDefinition(MakeView("Panel", "other case")));
  EXPECT_TRUE(AddViewDefinition(MakeView("", "no name")));

  ASSERT_EQ(NewErrors().size(), 1u);
  EXPECT_EQ(NewErrors()[0].mKind, kViewDefinitionRegistrationError);
  // Registration messages keep their quote markers.
  EXPECT_EQ(NewErrors()[0].mMessage,
            "Error registering view definition: View definition for #{quot}panel#{quot} already "
            "exists.");
  EXPECT_EQ(NewErrors()[0].mFile, "/x/second.xml");
  EXPECT_EQ(GetViewDefinitionForName("panel")->mLabel, "first");
  EXPECT_EQ(GetViewDefinitionForName("Panel")->mLabel, "other case");
  EXPECT_EQ(GetViewDefinitionForName("PANEL"), nullptr);
  EXPECT_EQ(CommonViewDefinitions().size(), 3u);

  // The list is gone after the final Terminate and the next start begins empty.
  Terminate();
  Initialize();
  EXPECT_TRUE(CommonViewDefinitions().empty());
}

TEST_F(ViewList, BuildViewPassesTopLevelItemsNullsIncluded) {
  auto view = MakeView("walk", "Walk");
  view->mPruneEmptyProperties = true;
  auto section = std::make_shared<ViewItem>(UTF8String("section"));
  section->AddItem(nullptr);
  section->AddItem(std::make_shared<ViewItem>(UTF8String("inner")));
  view->AddItem(section);
  view->AddItem(nullptr);
  view->AddItem(std::make_shared<ViewItem>(UTF8String("separator")));

  RecordingBuilder builder;
  BuildView(view, builder);
  BuildView(nullptr, builder);
  EXPECT_EQ(builder.mCalls, (std::vector<std::string>{"start", "item section", "null",
                                                      "item separator", "end walk"}));
  EXPECT_EQ(builder.mInfo.mItemCount, 3u);
  EXPECT_TRUE(builder.mInfo.mPruneEmptyProperties);
  EXPECT_EQ(builder.mInfo.mLabel, "Walk");
  EXPECT_EQ(section->mChildItems.size(), 2u);
}

TEST_F(ViewList, LabelsFallBackToTheDefinition) {
  const Path title = PathForSchemaNameAndPropertyName(
      UTF8String(StandardSchemaNamespace(kStandardSchema_dc)), UTF8String("title"));
  ASSERT_FALSE(title.empty());
  const auto definition = PathEntryDefinition(title);
  ASSERT_TRUE(definition);

  ViewItem fromDefinition{title};
  EXPECT_EQ(fromDefinition.GetLabel(), definition->mLabel);
  EXPECT_EQ(fromDefinition.GetDescription(), definition->mDescription);
  EXPECT_EQ(fromDefinition.GetPath().mPathDescription, "title");

  ViewItem own{title};
  own.mLabel = "$$$/test/views/unknownKey=Headline Text";
  own.mDescription = "plain words";
  EXPECT_EQ(own.GetLabel(), u"Headline Text");
  EXPECT_EQ(own.GetDescription(), u"plain words");

  veltcore::config::Localizer::Get().LoadDictionaryText("$$$/test/views/unknownKey=Überschrift\n");
  EXPECT_EQ(own.GetLabel(), u"Überschrift");
  veltcore::config::Localizer::Get().Clear();

  ViewItem nothing{QualifiedName{"http://example.com/", "x"}};
  EXPECT_TRUE(nothing.GetLabel().empty());
  EXPECT_TRUE(nothing.GetDescription().empty());
}

}  // namespace
