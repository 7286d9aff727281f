// Child ranges, the depth-first walk, leaves, and which properties a panel may show.
#include <gtest/gtest.h>

#include <iterator>

#include "PathsFixture.h"
#include "veltmetadata/PathTraversal.h"
#include "veltmetadata/PropertyExclusion.h"

namespace veltmetadata {
namespace {

using PathTraversal = velttest::PathsFixture;

template <class Range>
std::vector<std::string> Descriptions(const Range& range) {
  std::vector<std::string> result;
  for (auto it = range.first; it != range.second; ++it)
    result.push_back((*it).mPathDescription);
  return result;
}

std::vector<std::string> Leaves(const std::shared_ptr<SchemaDefinition>& schema) {
  std::vector<std::string> result;
  VisitDescendantLeafPaths(schema, [&](const Path& p) { result.push_back(p.mPathDescription); });
  return result;
}

TEST_F(PathTraversal, ChildrenAndLeavesInWalkOrder) {
  veltcore::debug::AssertionCapture capture;
  const std::vector<std::string> properties = {"NoType",
                                               "BagNoElementType",
                                               "SeqElementWithType",
                                               "BagElementTypeOnType",
                                               "ChoiceNoElementTypeOnType",
                                               "StructNoElementType"};
  EXPECT_EQ(Descriptions(ChildPaths(mSchema)), properties);
  EXPECT_EQ(Descriptions(ChildPaths(Property("StructNoElementType"))),
            (std::vector<std::string>{"StructNoElementType/uts:FieldNoType",
                                      "StructNoElementType/uts:ChoiceFieldNoElementType",
                                      "StructNoElementType/uts:ChoiceFieldNoElementTypeOnType"}));
  std::vector<std::string> leaves(properties.begin(), properties.end() - 1);
  leaves.insert(leaves.end(), {"StructNoElementType/uts:FieldNoType",
                               "StructNoElementType/uts:ChoiceFieldNoElementType",
                               "StructNoElementType/uts:ChoiceFieldNoElementTypeOnType"});
  EXPECT_EQ(Leaves(mSchema), leaves);
  EXPECT_EQ(CountDescendantLeafPaths(mSchema), 8u);

  // Internal arrays: a simple one has its element as only child, one of structures the
  // fields of its element type; the walk shows parents before children.
  EXPECT_EQ(
      Descriptions(DescendantPaths(mInternalSchema)),
      (std::vector<std::string>{"Tags", "Tags", "Events", "Events/uts:FieldNoType",
                                "Events/uts:ChoiceFieldNoElementType",
                                "Events/uts:ChoiceFieldNoElementTypeOnType", "Rating", "Dates"}));
  EXPECT_EQ(CountDescendantLeafPaths(mInternalSchema), 6u);
  const auto element = *ChildPaths(InternalProperty("Tags")).first;
  EXPECT_EQ(element.mEntryName, "text");
  EXPECT_TRUE(IsLeafPath(element));

  int visits = 0;
  VisitDescendantLeafPaths(Property("NoType"), [&](const Path&) { ++visits; });
  EXPECT_EQ(visits, 0);
  EXPECT_EQ(capture.Count(), 0u);

  // The walk only goes forwards; the other kinds of held iterator go both ways.
  auto walk = DescendantPaths(mSchema).first;
  --walk;
  EXPECT_TRUE(capture.Contains("false"));
  EXPECT_EQ((*walk).mPathDescription, "NoType");
  const Path pair[2] = {Property("NoType"), Property("Missing")};
  PathIterator raw(&pair[1]);
  EXPECT_EQ((*--raw).mPathDescription, "NoType");
  EXPECT_NE(raw, PathIterator(ChildPaths(mSchema).first));

  EXPECT_TRUE(IsLeafPath(Path{false, "http://example.com/none/", "x", "x", "y"}));
  EXPECT_TRUE(capture.Contains("definition"));
  EXPECT_EQ(CountDescendantLeafPaths(nullptr), 0u);
  EXPECT_TRUE(capture.Contains("inSchemaDefinition"));
}

TEST_F(PathTraversal, EveryBuiltInLeafResolves) {
  veltcore::debug::AssertionCapture capture;
  unsigned long long total = 0;
  for (auto [it, end] = CommonSchemaDefinitions(); it != end; ++it) {
    VisitDescendantLeafPaths(*it, [&](const Path& leaf) {
      ++total;
      EXPECT_FALSE(leaf.empty());
      EXPECT_NE(PathEntryDefinition(leaf), nullptr) << leaf.mPathDescription;
    });
  }
  EXPECT_GT(total, 500u);
  EXPECT_EQ(capture.Count(), 0u);
}

TEST_F(PathTraversal, ExclusionAndPanelSupport) {
  veltcore::debug::AssertionCapture capture;
  const Path noType = Property("NoType");
  EXPECT_TRUE(IsPropertyUISupported(noType));
  Path sameKey = noType;
  sameKey.mEntryName = "other";
  ExcludePropertyForClient(noType, true);
  EXPECT_TRUE(IsPropertyExcludedByClient(sameKey));
  EXPECT_FALSE(IsPropertyUISupported(noType));
  ExcludePropertyForClient(sameKey, false);
  EXPECT_FALSE(IsPropertyExcludedByClient(noType));

  const Path toneCurve =
      PathForSchemaNameAndPropertyName(StandardSchemaNamespace(kStandardSchema_qmt), "ToneCurve");
  EXPECT_TRUE(IsPropertyExcludedInternally(toneCurve));
  EXPECT_FALSE(IsPropertyUISupported(toneCurve));
  EXPECT_FALSE(IsPropertyExcludedInternally(PathForSchemaNameAndPropertyName(
      StandardSchemaNamespace(kStandardSchema_qmt), "ToneCurveRed")));

  // Containers are supported when their element type can be shown as one value.
  EXPECT_FALSE(IsPropertyUISupported(InternalProperty("Dates")));
  EXPECT_TRUE(IsPropertyUISupported(InternalProperty("Rating")));
  EXPECT_TRUE(IsPropertyUISupported(Property("ChoiceNoElementTypeOnType")));
  EXPECT_TRUE(IsPropertyUISupported(Property("BagNoElementType")));
  EXPECT_EQ(capture.Count(), 0u);
}

}  // namespace
}  // namespace veltmetadata
