#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "veltcore/Debug.h"
#include "veltmetadata/Errors.h"
#include "veltmetadata/Lifecycle.h"

namespace velttest {

// Runs each test inside one Initialize/Terminate pair and tells the reports a test caused
// apart from those of start-up.
class LibraryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    veltmetadata::Initialize();
    mBaseline = veltmetadata::GetErrorInfos().size();
  }
  void TearDown() override { veltmetadata::Terminate(); }

  // Reports collected since SetUp, in order.
  std::vector<veltmetadata::ErrorInfo> NewErrors() const {
    auto all = veltmetadata::GetErrorInfos();
    return {all.begin() + static_cast<std::ptrdiff_t>(mBaseline), all.end()};
  }
  std::vector<std::string> NewMessages() const {
    std::vector<std::string> messages;
    for (const auto& info : NewErrors())
      messages.push_back(info.mMessage);
    return messages;
  }

  // Silences (and records) the assertions that reports raise while nobody subscribes.
  veltcore::debug::AssertionCapture mAssertions;

 private:
  std::size_t mBaseline = 0;
};

}  // namespace velttest
