#include "veltcore/Resources.h"

#include <gtest/gtest.h>

const veltcore::resources::Module& VeltcoreTestResources();

using namespace veltcore;
using namespace veltcore::utility;

TEST(Resources, EmbeddedFilesAreFoundByTypeAndNameWithoutRegardToCase) {
  const ModuleHandle module = &VeltcoreTestResources();
  std::string bytes;
  ASSERT_TRUE(GetBinaryFromModule(module, u"XML", u"DC_DEFINITIONS", bytes));
  EXPECT_EQ(bytes, "<?xml version=\"1.0\"?>\n<x>dc</x>\n");
  // Files in sub-folders are embedded too; the extension's case does not matter.
  std::vector<char> raw;
  ASSERT_TRUE(GetBinaryFromModule(module, u"xml", u"basic_view", raw));
  EXPECT_EQ(std::string(raw.begin(), raw.end()), "<v/>");

  std::vector<UTF16String> names = GetResourceNames(module, u"xml");
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(GetResourceNames(module, u"txt"), std::vector<UTF16String>{u"notes"});

  EXPECT_FALSE(GetBinaryFromModule(module, u"xml", u"notes", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(GetBinaryFromModule(nullptr, u"xml", u"dc_definitions", bytes));
  EXPECT_TRUE(GetResourceNames(nullptr, u"xml").empty());
}
