// The included-leaf-paths document: exact bytes, round trips and the reading rules.
#include <gtest/gtest.h>

#include "PathsFixture.h"
#include "TestSupport.h"
#include "veltmetadata/IncludedLeafPaths.h"
#include "veltmetadata/PathTraversal.h"

namespace veltmetadata {
namespace {

using LeafPathDocument = velttest::PathsFixture;

std::string Entry(const std::string& internal, const std::string& ns, const std::string& desc,
                  const std::string& entry, const std::string& parent) {
  return "<metadata_path><internal>" + internal + "</internal>\n<namespace>" + ns +
         "</namespace>\n<description>" + desc + "</description>\n<entry_name>" + entry +
         "</entry_name>\n<parent_id>" + parent + "</parent_id>\n</metadata_path>\n";
}

std::string Document(const std::string& body) {
  return "<?xml version='1.0'?>\n<md.paths version='1.0'>\n" + body + "</md.paths>\n";
}

TEST_F(LeafPathDocument, WritesExactBytesAndReadsBackEveryLeaf) {
  UTF8String out = "stale";
  IncludedLeafPathsAsXMLString({}, out);
  EXPECT_EQ(out, Document(""));

  // A namespace with an ampersand is written encoded and comes back unchanged.
  auto schema = std::make_shared<SchemaDefinition>();
  schema->mNamespace = "http://example.com/a&b/";
  schema->mPrefix = "amp";
  auto property = std::make_shared<PropertyDefinition>();
  property->mName = "P";
  property->mType = "text";
  schema->mProperties.push_back(property);
  ASSERT_TRUE(RegisterSchemaDefinition(schema, "test", false));
  const Path ampersand = CreatePathFromSchemaProperty(schema, property);
  PathAsXMLFragment(out, ampersand);
  EXPECT_EQ(out,
            Entry("false", "http://example.com/a&amp;b/", "P", "P", "http://example.com/a&amp;b/"));

  PathSet leaves = {ampersand};
  for (const auto& root : {mSchema, mInternalSchema})
    VisitDescendantLeafPaths(root, [&](const Path& p) { leaves.insert(p); });
  ASSERT_EQ(leaves.size(), 15u);
  IncludedLeafPathsAsXMLString(leaves, out);
  PathSet read;
  ASSERT_TRUE(ReadIncludedLeafPathsAsXMLString(read, out));
  ASSERT_EQ(read.size(), leaves.size());
  for (auto a = read.begin(), b = leaves.begin(); a != read.end(); ++a, ++b)
    EXPECT_EQ(Fields(*a), Fields(*b));

  // The same through a file.
  const auto file = velttest::TestRoot() / "leaves.xml";
  velttest::WriteFile(file, out);
  PathSet fromFile;
  ASSERT_TRUE(ReadIncludedLeafPathsAsXMLFile(fromFile, file.u16string()));
  EXPECT_EQ(fromFile.size(), leaves.size());
}

TEST_F(LeafPathDocument, KeepsOnlyResolvableLeavesAndTheFirstOfEqualPaths) {
  const std::string ns = velttest::kPathsNs;
  const std::string doc = Document(
      Entry(" true", ns, "NoType", "NoType", ns) + Entry("true", ns, "NoType", "NoType", ns) +
      Entry("false", ns, "StructNoElementType", "StructNoElementType", ns) +
      Entry("false", ns, "StructNoElementType/uts:FieldNoType", "FieldNoType", "utest_struct") +
      Entry("false", ns, "Gone", "Gone", ns) + "<metadata_path><namespace>" + ns +
      "</namespace></metadata_path>\n<other a='1'/>");
  PathSet read;
  ASSERT_TRUE(ReadIncludedLeafPathsAsXMLString(read, doc));
  ASSERT_EQ(read.size(), 2u);
  // " true" is not "true"; the first copy stays.
  EXPECT_EQ(Fields(*read.begin()), "NoType|NoType|" + ns);
  EXPECT_EQ(Fields(*std::next(read.begin())),
            "StructNoElementType/uts:FieldNoType|FieldNoType|utest_struct");
}

TEST_F(LeafPathDocument, BadDocumentsLeaveTheSetUntouched) {
  const std::string ns = velttest::kPathsNs;
  const std::string good = Document(Entry("false", ns, "NoType", "NoType", ns));
  PathSet kept;
  ASSERT_TRUE(ReadIncludedLeafPathsAsXMLString(kept, good));
  const PathSet before = kept;

  const std::string entry = Entry("false", ns, "NoType", "NoType", ns);
  const std::vector<std::string> bad = {
      good.substr(0, good.size() / 2),
      "",
      "<?xml version='1.0'?>\n<!DOCTYPE md.paths>\n<md.paths>" + entry + "</md.paths>",
      "<?xml version='1.0'?>\n<!DOCTYPE md.paths [<!ENTITY e 'NoType'>]>\n<md.paths>"
      "<metadata_path><description>&e;</description></metadata_path></md.paths>",
      "<md.paths><metadata_path><description>&undefined;</description></metadata_path>"
      "</md.paths>",
      Document(entry) + "<trailing/>",
      std::string(kMaxIncludedLeafPathsDocumentSize + 1, ' ') + good,
  };
  for (const auto& doc : bad) {
    PathSet paths = kept;
    EXPECT_FALSE(ReadIncludedLeafPathsAsXMLString(paths, doc)) << doc.substr(0, 80);
    EXPECT_EQ(paths.size(), before.size());
    EXPECT_EQ(paths.begin()->mPathDescription, "NoType");
  }
  EXPECT_FALSE(ReadIncludedLeafPathsAsXMLFile(kept, u"/nonexistent/leaves.xml"));
  EXPECT_EQ(kept.size(), 1u);
}

}  // namespace
}  // namespace veltmetadata
