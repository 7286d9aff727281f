// Building Paths from definitions and resolving them back.
#include <gtest/gtest.h>

#include <set>

#include "PathsFixture.h"
#include "veltmetadata/Path.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {
namespace {

using PathBuilding = velttest::PathsFixture;

TEST_F(PathBuilding, PropertiesAndFieldsResolveToTheirRecords) {
  veltcore::debug::AssertionCapture capture;
  const Path property = Property("StructNoElementType");
  EXPECT_EQ(property.mNamespace, velttest::kPathsNs);
  EXPECT_EQ(Fields(property), "StructNoElementType|StructNoElementType|" + property.mNamespace);
  EXPECT_EQ(PathEntryDefinition(property), mSchema->mProperties[5]);
  const auto structType = TypeIdDefinition("utest_struct");
  EXPECT_EQ(TypeEntryDefinition(property), structType);

  const Path field = CreatePathFromStructureField(property, structType->mFields[0]);
  EXPECT_EQ(Fields(field), "StructNoElementType/uts:FieldNoType|FieldNoType|utest_struct");
  EXPECT_EQ(field.mNamespace, velttest::kPathsNs);
  EXPECT_EQ(PathEntryDefinition(field), structType->mFields[0]);
  EXPECT_EQ(PrimitiveTypeOfPath(CreatePathFromStructureField(property, structType->mFields[2])),
            kPrimitiveType_OpenChoice);

  // Identity is namespace and path description, compared as unsigned bytes.
  Path other = field;
  other.mEntryName = "x";
  other.mInternal = true;
  EXPECT_EQ(std::set<Path>({field, other}).size(), 1u);
  Path high = field;
  high.mPathDescription = "\xC3\xA9";
  EXPECT_TRUE(field < high);
  EXPECT_FALSE(high < field);
  EXPECT_TRUE(Path().empty());
  EXPECT_EQ(capture.Count(), 0u);
}

TEST_F(PathBuilding, PrimitiveTypesArraysAndTypeRecords) {
  veltcore::debug::AssertionCapture capture;
  const Path seq = Property("SeqElementWithType");
  EXPECT_FALSE(IsPathAnArray(seq, false));
  EXPECT_TRUE(IsPathAnArray(seq, true));
  EXPECT_EQ(TypeEntryDefinition(seq), TypeIdDefinition("seq"));  // external: the array type
  EXPECT_EQ(PrimitiveTypeOfPath(Property("BagElementTypeOnType")), kPrimitiveType_Bag);
  EXPECT_EQ(PrimitiveTypeOfPath(InternalProperty("Rating")), kPrimitiveType_ClosedChoice);
  EXPECT_FALSE(IsPathAnArray(InternalProperty("Dates"), true));

  // Internal arrays are described by their element type.
  const Path tags = InternalProperty("Tags");
  EXPECT_EQ(Fields(tags), "internal Tags|Tags|" + mInternalSchema->mNamespace);
  EXPECT_TRUE(IsPathAnArray(tags, false));
  EXPECT_EQ(TypeEntryDefinition(tags), TypeIdDefinition("text"));
  const Path events = InternalProperty("Events");
  const auto structType = TypeIdDefinition("utest_struct");
  EXPECT_EQ(TypeEntryDefinition(events), structType);

  const Path item = CreatePathFromArrayItem(events, 2);
  EXPECT_EQ(Fields(item), "internal Events[2]|utest_struct|utest_struct");
  EXPECT_EQ(PathEntryDefinition(item), structType);
  EXPECT_EQ(CreatePathFromArrayItem(tags, -1).mPathDescription, "Tags[last()]");
  const Path external = CreatePathFromArrayItem(seq, 1);
  EXPECT_EQ(Fields(external), "SeqElementWithType[1]|integer|seq");
  EXPECT_EQ(PrimitiveTypeOfPath(external), kPrimitiveType_Integer);

  const Path across = CreatePathFromArrayedStructureField(events, structType->mFields[1]);
  EXPECT_EQ(Fields(across),
            "internal Events/uts:ChoiceFieldNoElementType|ChoiceFieldNoElementType|utest_struct");
  EXPECT_EQ(PathEntryDefinition(across), structType->mFields[1]);

  const auto def = PathEntryDefinition(tags);
  const Path element = CreatePathFromElementType(tags, def, TypeIdDefinition("text"));
  EXPECT_EQ(Fields(element), "internal Tags|text|text");
  EXPECT_EQ(PrimitiveTypeOfPath(element), kPrimitiveType_Text);

  auto qualifier = std::make_shared<QualifierDefinition>();
  qualifier->mName = "FieldNoType";
  const Path qualified = CreatePathFromQualifier(Property("StructNoElementType"), qualifier);
  EXPECT_EQ(qualified.mPathDescription, "StructNoElementType/?utest:FieldNoType");
  EXPECT_EQ(PathEntryDefinition(qualified), structType->mFields[0]);
  EXPECT_EQ(capture.Count(), 0u);
}

TEST_F(PathBuilding, UnresolvablePathsAssertAndGiveNeutralValues) {
  veltcore::debug::AssertionCapture capture;
  EXPECT_TRUE(PathForSchemaNameAndPropertyName(u"http://example.com/none/", u"x").empty());
  EXPECT_EQ(capture.Count(), 0u);
  EXPECT_TRUE(PathForSchemaNameAndPropertyName(velttest::kPathsNs, "Missing").empty());
  EXPECT_TRUE(capture.Contains("inSchemaDefinition && inPropertyDefinition"));

  EXPECT_TRUE(CreatePathFromArrayItem(Property("StructNoElementType"), 1).empty());
  EXPECT_TRUE(capture.Contains("elementType"));
  EXPECT_FALSE(PrimitiveTypeOfPath(Path()).has_value());
  EXPECT_TRUE(capture.Contains("definition"));
  EXPECT_TRUE(CreatePathFromStructureField(Property("NoType"), nullptr).empty());
  EXPECT_TRUE(capture.Contains("inField && definition && definition->mType"));

  // A field in a namespace the toolkit does not know cannot be addressed.
  auto stray = std::make_shared<FieldDefinition>();
  stray->mNamespace = "http://example.com/unregistered/";
  stray->mName = "f";
  EXPECT_TRUE(CreatePathFromStructureField(Property("StructNoElementType"), stray).empty());

  // Any name under a dynamic schema resolves to a fresh text property.
  const Path dynamic{false, velttest::kPathsDynamicNs, "Anything", "Anything",
                     velttest::kPathsDynamicNs};
  const auto made = PathEntryDefinition(dynamic);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->mName, "Anything");
  EXPECT_EQ(made->mLabel, u"Anything");
  EXPECT_EQ(PrimitiveTypeOfPath(dynamic), kPrimitiveType_Text);
}

}  // namespace
}  // namespace veltmetadata
