#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "veltcore/Debug.h"
#include "veltcore/Strings.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/DefinitionsParser.h"
#include "veltmetadata/Errors.h"
#include "veltmetadata/Lifecycle.h"

namespace velttest {

// Runs each test inside one Initialize/Terminate pair and tells the reports a test caused
// apart from those of start-up.
// One line naming what a definitions entry holds, its choices and qualifiers included, for
// comparing entries whole. A deprecated flag shows only when set.
inline std::string Describe(const veltmetadata::EntryDefinition& entry) {
  using veltcore::string::UTF16to8;
  std::ostringstream out;
  out << entry.mName;
  if (entry.mType) out << " type=" << *entry.mType;
  if (entry.mElementType) out << " of=" << *entry.mElementType;
  if (entry.mExtends) out << " extends=" << *entry.mExtends;
  if (entry.mMin) out << " min=" << *entry.mMin;
  if (entry.mMax) out << " max=" << *entry.mMax;
  if (entry.mDeprecated.value_or(false)) out << " deprecated";
  if (entry.mPattern) out << " pattern=" << *entry.mPattern;
  out << " label='" << UTF16to8(entry.mLabel) << "' description='" << UTF16to8(entry.mDescription)
      << "'";
  // The label and description as written, where they say more than the texts shown.
  if (!entry.mLabelZString.empty() && entry.mLabelZString != entry.mLabel)
    out << " z='" << UTF16to8(entry.mLabelZString) << "'";
  if (!entry.mDescriptionZString.empty() && entry.mDescriptionZString != entry.mDescription)
    out << " zd='" << UTF16to8(entry.mDescriptionZString) << "'";
  for (const auto& choice : entry.mChoices) {
    out << " [" << choice->mRawValue << "='" << UTF16to8(choice->mLabel) << "'";
    if (!choice->mLabelZString.empty() && choice->mLabelZString != choice->mLabel)
      out << " z='" << UTF16to8(choice->mLabelZString) << "'";
    out << "]";
  }
  for (const auto& qualifier : entry.mQualifiers)
    out << " {" << qualifier->mNamespace << " " << qualifier->mPrefix << ":" << Describe(*qualifier)
        << "}";
  return out.str();
}

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

  // Parses and registers a definitions file of the committed test data (tests/data/...).
  static void RegisterDataDefinitions(const std::string& relative) {
    veltmetadata::ParseBufferAndRegisterDefinitions(ReadFile(DataFile(relative)), relative, false);
  }

  // Silences (and records) the assertions that reports raise while nobody subscribes.
  veltcore::debug::AssertionCapture mAssertions;

 private:
  std::size_t mBaseline = 0;
};

}  // namespace velttest
