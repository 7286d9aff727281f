#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "ErrorList.h"
#include "veltcore/Debug.h"
#include "veltcore/Localizer.h"

using namespace veltmetadata;

namespace {
// Each test runs as if between the first Initialize and the final Terminate.
class Errors : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearErrorList();
    CreateErrorListeners();
  }
  void TearDown() override {
    DropErrorListeners();
    ClearErrorList();
  }
};
}  // namespace

TEST_F(Errors, MessagesAreWrappedLocalisedAndKeptInOrder) {
  EXPECT_FALSE(HasErrors());
  auto seen = std::make_shared<std::function<void(UTF8String)>>();
  std::vector<UTF8String> received;
  *seen = [&](UTF8String m) { received.push_back(m); };
  NotifyOnError(seen);

  SendError(kDefinitionRegistrationError,
            ErrorDetail(errors::kDuplicateTypeDefinition, {"colorant"}),
            "constructed_type_definitions");
  SendError(kDefinitionRegistrationError,
            ErrorDetail(errors::kInvalidTypeChangedToDefault, {"TestErrors9", "EmptyType"}),
            "f.xml");
  SendError(kPanelManifestParsingError, "just @0 the detail", "");
  SendError(kExtensionManifestParsingError, ErrorDetail(errors::kMissingManifest),
            "/p/manifest.xml");

  const std::vector<ErrorInfo> infos = GetErrorInfos();
  ASSERT_EQ(infos.size(), 4u);
  EXPECT_TRUE(HasErrors());
  EXPECT_EQ(infos[0].mKind, kDefinitionRegistrationError);
  EXPECT_EQ(
      infos[0].mMessage,
      "Error registering definition: type definition for #{quot}colorant#{quot} already exists.");
  EXPECT_EQ(infos[0].mFile, "constructed_type_definitions");
  EXPECT_EQ(infos[1].mMessage,
            "Error registering definition: invalid type for XMP property "
            "#{quot}TestErrors9:EmptyType#{quot} is changed to default type 'text'.");
  EXPECT_EQ(infos[2].mMessage, "just @0 the detail");
  EXPECT_EQ(infos[3].mMessage,
            "Error parsing manifest file: manifest file is missing from extension package.");
  // Subscribers get the full message and no file name.
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[3], infos[3].mMessage);

  // Emptying the shared function unsubscribes; a purge drops it.
  *seen = nullptr;
  SendError(kReadingXMPError, "x", "");
  EXPECT_EQ(received.size(), 4u);
  PurgeEmptyErrorListeners();
  EXPECT_EQ(GetErrorInfos().back().mMessage, "Error reading XMP data: x");
}

TEST_F(Errors, TranslatedWrappersAreUsed) {
  auto& loc = veltcore::config::Localizer::Get();
  ASSERT_TRUE(loc.LoadDictionaryText("$$$/veltmetadata/ErrorReadingXMP=Fehler beim Lesen: @0\n"));
  auto listener = std::make_shared<std::function<void(UTF8String)>>([](UTF8String) {});
  NotifyOnError(listener);
  SendError(kReadingXMPError, "kaputt", "");
  loc.Clear();
  EXPECT_EQ(GetErrorInfos().back().mMessage, "Fehler beim Lesen: kaputt");
}

TEST_F(Errors, WithoutSubscribersReportsAreCollectedAndAsserted) {
  veltcore::debug::AssertionCapture capture;
  SendError(kDefinitionParsingError, "invalid XML.", "dc_definitions");
  ASSERT_EQ(capture.Count(), 1u);
  EXPECT_EQ(capture.All()[0].mCondition, "false");
  EXPECT_EQ(capture.All()[0].mMessage,
            "Error parsing definitions file: invalid XML.\ndc_definitions");
  EXPECT_EQ(GetErrorInfos().size(), 1u);

  DropErrorListeners();  // not initialised: subscribing is a programming error
  NotifyOnError(std::make_shared<std::function<void(UTF8String)>>([](UTF8String) {}));
  EXPECT_EQ(capture.Count(), 2u);
  EXPECT_FALSE(ErrorListenersExist());
}

TEST_F(Errors, ReportsFromManyThreadsAreEachKeptOnce) {
  std::atomic<int> calls{0};
  NotifyOnError(std::make_shared<std::function<void(UTF8String)>>([&](UTF8String) { ++calls; }));
  constexpr int kThreads = 8, kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i)
        SendError(kReadingXMPError, std::to_string(t) + ":" + std::to_string(i), "");
    });
  }
  for (auto& th : threads)
    th.join();
  const auto infos = GetErrorInfos();
  ASSERT_EQ(infos.size(), static_cast<std::size_t>(kThreads * kEach));
  std::set<UTF8String> unique;
  for (const auto& i : infos)
    unique.insert(i.mMessage);
  EXPECT_EQ(unique.size(), infos.size());
  EXPECT_EQ(calls.load(), kThreads * kEach);
}
