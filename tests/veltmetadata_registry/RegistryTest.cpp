// Start and stop, registration, removal and the process-wide switches.
#include <gtest/gtest.h>

#include "ErrorList.h"
#include "LibraryFixture.h"
#include "registry/LifecycleHooks.h"
#include "veltmetadata/Registry.h"

namespace veltmetadata {
namespace {

using velttest::LibraryFixture;

std::shared_ptr<PropertyDefinition> Property(const char* name, const char* type = "text") {
  auto property = std::make_shared<PropertyDefinition>();
  property->mName = name;
  if (type) property->mType = type;
  return property;
}

std::shared_ptr<SchemaDefinition> Schema(const char* ns, const char* prefix,
                                         std::vector<std::shared_ptr<PropertyDefinition>> props) {
  auto schema = std::make_shared<SchemaDefinition>();
  schema->mNamespace = ns;
  schema->mPrefix = prefix;
  schema->mProperties = std::move(props);
  return schema;
}

constexpr const char* kTestNs = "http://example.com/registry/test/";

TEST(RegistryLifecycle, CountedInitializeKeepsTheRegistryUntilTheLastTerminate) {
  veltcore::debug::AssertionCapture capture;
  EXPECT_FALSE(IsInitialized());
  EXPECT_EQ(NamespaceDefinition("http://purl.org/dc/elements/1.1/"), nullptr);
  EXPECT_FALSE(RegisterSchemaDefinition(Schema(kTestNs, "rt", {}), "x", false));
  EXPECT_TRUE(capture.Contains("inSchemaDefinition && sInitializationCount >= 1"));
  EXPECT_TRUE(capture.Contains("sInitializationCount >= 1"));

  Initialize();
  Initialize();
  ASSERT_TRUE(RegisterSchemaDefinition(Schema(kTestNs, "rt", {Property("A")}), "x", false));
  Terminate();
  EXPECT_TRUE(IsInitialized());
  EXPECT_NE(NamespaceDefinition(kTestNs), nullptr);
  EXPECT_NE(TypeIdDefinition("date"), nullptr);
  Terminate();
  EXPECT_FALSE(IsInitialized());
  EXPECT_FALSE(HasErrors());

  // An unmatched Terminate is refused; the next start begins from scratch.
  Terminate();
  EXPECT_TRUE(capture.Contains("sInitializationCount > 0"));
  Initialize();
  EXPECT_EQ(NamespaceDefinition(kTestNs), nullptr);
  EXPECT_NE(TypeIdDefinition("date"), nullptr);
  Terminate();
}

using SchemaRegistration = LibraryFixture;

TEST_F(SchemaRegistration, DuplicateSchemaIsRefusedOrMergedPropertyByProperty) {
  auto first = Schema(kTestNs, "rt", {Property("A"), Property("B")});
  ASSERT_TRUE(RegisterSchemaDefinition(first, "one.xml", false));
  EXPECT_TRUE(IsSchemaDefinitionAlreadyRegistered(Schema(kTestNs, "other", {})));

  EXPECT_FALSE(RegisterSchemaDefinition(Schema(kTestNs, "rt", {Property("C")}), "two.xml", false));
  ASSERT_EQ(NewErrors().size(), 1u);
  EXPECT_EQ(NewErrors()[0].mMessage,
            "Error registering definition: schema definition for #{quot}"
            "http://example.com/registry/test/#{quot} already exists.");
  EXPECT_EQ(NewErrors()[0].mFile, "two.xml");
  EXPECT_EQ(NewErrors()[0].mKind, kDefinitionRegistrationError);
  EXPECT_EQ(first->mProperties.size(), 2u);

  auto added = Property("C", nullptr);
  EXPECT_FALSE(
      RegisterSchemaDefinition(Schema(kTestNs, "zz", {added, Property("A")}), "three.xml", true));
  EXPECT_EQ(NamespaceDefinition(kTestNs), first);
  ASSERT_EQ(first->mProperties.size(), 3u);
  EXPECT_EQ(first->mProperties[2], added);  // shared, not copied
  EXPECT_EQ(added->mType, "text");          // defaults applied with the registered prefix
  const auto messages = NewMessages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1],
            "Error registering definition: invalid type for XMP property #{quot}rt:C#{quot} is "
            "changed to default type 'text'.");
  EXPECT_EQ(messages[2],
            "Error registering definition: property definition for namespace #{quot}"
            "http://example.com/registry/test/A#{quot} already exists.");
}

TEST_F(SchemaRegistration, NamespaceProblemsAreReportedButTheSchemaStays) {
  // "dc" belongs to Dublin Core already.
  auto clash = Schema("http://example.com/registry/clash/", "dc", {});
  EXPECT_TRUE(RegisterSchemaDefinition(clash, "c.xml", true));
  EXPECT_EQ(NamespaceDefinition("http://example.com/registry/clash/"), clash);
  auto no_namespace = Schema("", "nons", {});
  EXPECT_TRUE(RegisterSchemaDefinition(no_namespace, "c.xml", false));
  EXPECT_EQ(NamespaceDefinition(""), no_namespace);
  auto no_prefix = Schema("http://example.com/registry/noprefix/", "", {});
  EXPECT_TRUE(RegisterSchemaDefinition(no_prefix, "c.xml", false));
  const auto messages = NewMessages();
  ASSERT_EQ(messages.size(), 3u);
  const std::string head = "Error registering definition: namespace #{quot}";
  EXPECT_EQ(messages[0], head +
                             "http://example.com/registry/clash/#{quot} couldn't be registered "
                             "with prefix #{quot}dc#{quot}.");
  EXPECT_EQ(messages[1], head + "#{quot} couldn't be registered with prefix #{quot}nons#{quot}.");
  EXPECT_EQ(messages[2], head +
                             "http://example.com/registry/noprefix/#{quot} couldn't be "
                             "registered with prefix #{quot}#{quot}.");
}

TEST_F(SchemaRegistration, TypesGetDefaultsAndAreDroppedWhenAFieldNamespaceFails) {
  auto seq = std::make_shared<TypeDefinition>();
  seq->mName = "t";
  seq->mExtends = kPrimitiveType_Seq;
  ASSERT_TRUE(RegisterTypeDefinition(seq, "t.xml"));
  EXPECT_EQ(seq->mType, "t");
  EXPECT_EQ(seq->mElementType, "text");
  ASSERT_EQ(NewMessages().size(), 1u);
  EXPECT_EQ(NewMessages()[0],
            "Error registering definition: invalid element type for type #{quot}t#{quot} is "
            "changed to default type 'text'.");

  EXPECT_FALSE(RegisterTypeDefinition(seq, "again.xml"));
  EXPECT_EQ(NewMessages().back(),
            "Error registering definition: type definition for #{quot}t#{quot} already exists.");

  auto make_struct = [](const char* ns, const char* prefix) {
    auto type = std::make_shared<TypeDefinition>();
    type->mName = "point";
    auto field = std::make_shared<FieldDefinition>();
    field->mName = "x";
    field->mType = "integer";
    field->mNamespace = ns;
    field->mPrefix = prefix;
    type->mFields.push_back(field);
    return type;
  };
  const std::size_t before = NewMessages().size();
  EXPECT_FALSE(
      RegisterTypeDefinition(make_struct("http://example.com/registry/point/", "xmp"), "p.xml"));
  EXPECT_EQ(TypeIdDefinition("point"), nullptr);
  auto messages = NewMessages();
  ASSERT_EQ(messages.size(), before + 2);
  EXPECT_EQ(messages[before],
            "Error registering definition: namespace #{quot}http://example.com/registry/point/"
            "#{quot} couldn't be registered with prefix #{quot}xmp#{quot}.");
  EXPECT_EQ(messages[before + 1],
            "Error registering definition: invalid Type #{quot}point#{quot}.");
  // The toolkit keeps the namespace under a generated prefix, so the correction takes a new
  // namespace as well.
  auto corrected = make_struct("http://example.com/registry/point2/", "regpt");
  EXPECT_TRUE(RegisterTypeDefinition(corrected, "p.xml"));
  EXPECT_EQ(TypeIdDefinition("point"), corrected);
}

TEST_F(SchemaRegistration, RemovalGoesByKeyAndLookupsAreExact) {
  auto registered = Schema(kTestNs, "rt", {});
  ASSERT_TRUE(RegisterSchemaDefinition(registered, "x", false));
  EXPECT_EQ(NamespaceDefinition("HTTP://example.com/registry/test/"), nullptr);
  EXPECT_TRUE(RemoveSchemaDefinition(Schema(kTestNs, "other", {})));
  EXPECT_EQ(NamespaceDefinition(kTestNs), nullptr);
  EXPECT_FALSE(RemoveSchemaDefinition(registered));
  EXPECT_FALSE(IsSchemaDefinitionAlreadyRegistered(registered));
  // The namespace may be registered again afterwards.
  EXPECT_TRUE(RegisterSchemaDefinition(registered, "x", false));

  auto date = std::make_shared<TypeDefinition>();
  date->mName = "date";
  EXPECT_TRUE(RemoveTypeDefinition(date));
  EXPECT_EQ(TypeIdDefinition("date"), nullptr);
  EXPECT_FALSE(RemoveTypeDefinition(date));
  EXPECT_EQ(TypeIdDefinition("Text"), nullptr);
}

TEST_F(SchemaRegistration, ContainerRegistrationStopsAtTheFirstRefusal) {
  auto a = Schema("http://example.com/registry/a/", "rga", {});
  auto dup = Schema("http://purl.org/dc/elements/1.1/", "dc", {});
  auto c = Schema("http://example.com/registry/c/", "rgc", {});
  EXPECT_FALSE(RegisterSchemaDefinitions(std::vector{a, dup, c}, "list.xml"));
  EXPECT_EQ(NamespaceDefinition("http://example.com/registry/a/"), a);
  EXPECT_EQ(NamespaceDefinition("http://example.com/registry/c/"), nullptr);
}

// Parts with state of their own start once the definitions are there and stop at their
// step of the last Terminate, once per full start and stop. Each records what it sees of the
// subscriber lists (step 1), the error list (step 3) and the registry (step 5).
std::vector<std::string> sParticipantLog;
std::string Seen(const char* who) {
  return std::string(who) + (ErrorListenersExist() ? " listeners" : "") +
         (HasErrors() ? " errors" : "") + (AllTypeDefinitions().empty() ? "" : " types");
}
const lifecycle::ParticipantRegistrar kLate{{"test late", 90,
                                             [] { sParticipantLog.push_back("start late"); },
                                             [] { sParticipantLog.push_back(Seen("stop late")); }}};
const lifecycle::ParticipantRegistrar kEarly{
    {"test early", 10,
     [] {
       sParticipantLog.push_back(TypeIdDefinition("date") ? "start early, types loaded"
                                                          : "start early, no types");
     },
     [] {
       sParticipantLog.push_back(TypeIdDefinition("date") ? "stop early, lookups answer"
                                                          : Seen("stop early"));
     }}};
const lifecycle::ParticipantRegistrar kPackages{
    {"test packages",
     50,
     {},
     [] { sParticipantLog.push_back(Seen("packages")); },
     lifecycle::kStopExtensionPackages}};

TEST(RegistryLifecycle, ParticipantsStartAfterLoadingAndStopAtTheirTerminateStep) {
  veltcore::debug::AssertionCapture capture;
  sParticipantLog.clear();
  Initialize();
  Initialize();
  SendError(kDefinitionParsingError, "kept until step 3", "x.xml");
  Terminate();
  Terminate();
  EXPECT_EQ(sParticipantLog, (std::vector<std::string>{"start early, types loaded", "start late",
                                                       "packages errors types", "stop late types",
                                                       "stop early types"}));
  EXPECT_TRUE(AllTypeDefinitions().empty());
  // A stop step outside the two known ones is refused loudly and runs with the views.
  const lifecycle::ParticipantRegistrar odd{{"odd", 1, {}, {}, 7}};
  EXPECT_TRUE(capture.Contains(
      "mStopStep == kStopExtensionPackages || mStopStep == kStopFormattersAndViews"));
}

TEST(RegistrySwitches, WritingListenersAndForcedWritable) {
  veltcore::debug::AssertionCapture capture;
  Initialize();
  int calls = 0;
  auto listener = std::make_shared<std::function<void()>>([&] { ++calls; });
  NotifyWhenXMPWritingChanged(listener);
  NotifyWhenXMPWritingChanged(nullptr);
  NotifyWhenXMPWritingChanged(std::make_shared<std::function<void()>>());
  DisableXMPWriting(true);
  DisableXMPWriting(true);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(IsXMPWritingDisabled());
  DisableXMPWriting(false);
  EXPECT_EQ(calls, 2);
  *listener = nullptr;  // unsubscribes
  DisableXMPWriting(true);
  EXPECT_EQ(calls, 2);
  DisableXMPWriting(false);

  ForcedAllMetadataWritable(true);
  Terminate();
  EXPECT_TRUE(IsAllMetadataForcedWritable());
  Initialize();
  EXPECT_TRUE(IsAllMetadataForcedWritable());
  ForcedAllMetadataWritable(false);
  EXPECT_FALSE(IsAllMetadataForcedWritable());
  EXPECT_FALSE(GetXMPCoreVersion().empty());
  EXPECT_FALSE(GetXMPFilesVersion().empty());
  Terminate();
}

}  // namespace
}  // namespace veltmetadata
