// Primitive types, the classification of type ids and records, and Date ordering.
#include <gtest/gtest.h>

#include "LibraryFixture.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {
namespace {

TEST(DefinitionPrimitiveTypes, IdsConvertBothWaysAndClassify) {
  EXPECT_EQ(PrimitiveTypeIdAsPrimitiveType("seq"), kPrimitiveType_Seq);
  EXPECT_EQ(PrimitiveTypeIdAsPrimitiveType("alt"), kPrimitiveType_Alt);
  for (const char* id : {"Seq", "", "struct", "date", "seq of integer", "Text"}) {
    EXPECT_FALSE(PrimitiveTypeIdAsPrimitiveType(id).has_value()) << id;
  }
  for (int v = 0; v <= 8; ++v) {
    const auto type = static_cast<PrimitiveType>(v);
    EXPECT_EQ(PrimitiveTypeIdAsPrimitiveType(PrimitiveTypeAsPrimitiveTypeId(type)), type);
    EXPECT_EQ(IsTypeSimpleScalar(type), v <= 3);
    EXPECT_EQ(PrimitiveTypeIsSimple(type), v <= 3);
    EXPECT_EQ(PrimitiveTypeIsChoice(type), v == 4 || v == 5);
    EXPECT_EQ(PrimitiveTypeIsArray(type), v >= 6);
    EXPECT_EQ(IsTypeContainer(type), v == 4 || v == 5 || v == 8);  // choices and alt
  }

  veltcore::debug::AssertionCapture capture;
  EXPECT_EQ(PrimitiveTypeAsPrimitiveTypeId(static_cast<PrimitiveType>(9)), "");
  EXPECT_EQ(PrimitiveTypeAsPrimitiveTypeId(static_cast<PrimitiveType>(-1)), "");
  EXPECT_EQ(capture.Count(), 2u);
}

TEST(DefinitionDate, OrdersFieldByFieldAsSignedNumbers) {
  Date a, b, negative, late_month, early_month_late_day;
  EXPECT_TRUE(a == b);
  a.mSecond = 1;
  b.mSecond = 2;
  EXPECT_TRUE(a < b && !(b < a) && !(a == b));
  negative.mYear = -1;
  negative.mMonth = 12;
  EXPECT_TRUE(negative < Date());
  late_month.mMonth = 2;
  early_month_late_day.mMonth = 1;
  early_month_late_day.mDay = 31;
  EXPECT_TRUE(early_month_late_day < late_month);
}

using DefinitionTypeResolution = velttest::LibraryFixture;

std::shared_ptr<TypeDefinition> NamedType(const char* name, PrimitiveType extends,
                                          const char* elementType) {
  auto type = std::make_shared<TypeDefinition>();
  type->mName = name;
  type->mExtends = extends;
  type->mElementType = elementType;
  return type;
}

TEST_F(DefinitionTypeResolution, SimpleTypesFollowChoicesToTheirElementType) {
  EXPECT_TRUE(IsSimpleType("text"));
  EXPECT_TRUE(IsSimpleType("closedchoice"));
  EXPECT_FALSE(IsSimpleType("bag"));
  EXPECT_FALSE(IsSimpleType(""));
  ASSERT_TRUE(RegisterTypeDefinition(
      NamedType("choice of int seqs", kPrimitiveType_OpenChoice, "seq of integer"), "test"));
  ASSERT_TRUE(RegisterTypeDefinition(
      NamedType("closed text choice", kPrimitiveType_ClosedChoice, "text"), "test"));
  EXPECT_FALSE(IsSimpleType("choice of int seqs"));
  EXPECT_TRUE(IsSimpleType("closed text choice"));
  EXPECT_TRUE(IsSimpleType(*TypeIdDefinition("closed text choice")));
  EXPECT_FALSE(IsSimpleType(*TypeIdDefinition("choice of int seqs")));
}

TEST_F(DefinitionTypeResolution, ElementTypesComeFromTheEntryOrItsRegisteredType) {
  for (const char* id : {"boolean", "date", "bag", ""}) {
    EXPECT_FALSE(ElementTypeIdOf(UTF8String(id)).has_value()) << id;
  }
  EXPECT_EQ(ElementTypeIdOf(UTF8String("openchoice of text")), "text");
  EXPECT_EQ(ElementTypeIdOf(UTF8String("seq of integer")), "integer");

  PropertyDefinition own;
  own.mType = "seq";
  own.mElementType = "integer";
  EXPECT_EQ(ElementTypeIdOf(own), "integer");
  EXPECT_EQ(PropertyTypeOf(own), TypeIdDefinition("integer"));

  ASSERT_TRUE(RegisterTypeDefinition(NamedType("bag of real", kPrimitiveType_Bag, "real"), "t"));
  PropertyDefinition inherited;
  inherited.mType = "bag of real";
  EXPECT_EQ(ElementTypeIdOf(inherited), "real");
  EXPECT_TRUE(IsArrayType("bag of real"));
  EXPECT_TRUE(IsArrayType(*TypeIdDefinition("bag of real")));

  // A scalar entry has no element type even when one is written on it.
  PropertyDefinition scalar;
  scalar.mType = "text";
  scalar.mElementType = "integer";
  EXPECT_FALSE(ElementTypeIdOf(scalar).has_value());
  EXPECT_EQ(PropertyTypeOf(scalar), TypeIdDefinition("text"));

  veltcore::debug::AssertionCapture capture;
  EXPECT_FALSE(PrimitiveTypeOf(PropertyDefinition()).has_value());
  EXPECT_TRUE(capture.Contains("inDefinition.mType"));
  EXPECT_EQ(PropertyTypeOf(PropertyDefinition()), nullptr);
}

TEST_F(DefinitionTypeResolution, StructuresAndScalarExtensionsAreToldApart) {
  const auto thumbnail = TypeIdDefinition("thumbnail");
  ASSERT_TRUE(thumbnail);
  EXPECT_TRUE(IsStructType(*thumbnail));
  EXPECT_FALSE(PrimitiveTypeOf(*thumbnail).has_value());
  EXPECT_EQ(PrimitiveTypeOf(*TypeIdDefinition("date")), kPrimitiveType_Text);
  EXPECT_TRUE(IsStructType("no such type"));
  EXPECT_TRUE(IsStructType("thumbnail"));
  EXPECT_FALSE(IsStructType("text"));
  EXPECT_FALSE(IsStructType("date"));

  EXPECT_FALSE(DoesElementConformToContainer("date"));
  EXPECT_TRUE(DoesElementConformToContainer("integer"));
  EXPECT_TRUE(DoesElementConformToContainer("propername"));
  EXPECT_TRUE(IsElementExtensionOfSimpleScalar("rating"));
  EXPECT_FALSE(IsElementSimpleScalar("rating"));

  veltcore::debug::AssertionCapture capture;
  EXPECT_FALSE(IsElementExtensionOfSimpleScalar("no such type"));
  EXPECT_TRUE(capture.Contains("definition"));
}

}  // namespace
}  // namespace veltmetadata
