#pragma once

// The fault matrix of the durability tests: every write step of one update, faulted.

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "FaultInjection.h"
#include "TestSupport.h"

namespace faulttest {

// For each write step of updating `original` to dc:title `title`, and each of `faults`: a
// fresh copy in its own folder under `dir` is updated with the fault at that step. A kill
// leaves the old or the new title; a failure at the last step (the final flush, after the
// update is in place) leaves the new title; any earlier failure leaves the bytes as they were.
// No failure leaves a temporary file. Killed copies are kept in `dir` and listed in `killed`
// when given. Returns the number of steps faulted.
inline int ExpectEveryStepOldOrNew(const std::filesystem::path& dir,
                                   const std::filesystem::path& original, const std::string& title,
                                   std::initializer_list<Fault> faults,
                                   std::vector<std::filesystem::path>* killed = nullptr) {
  namespace fs = std::filesystem;
  const std::string bytes = velttest::ReadFile(original);
  const std::string oldTitle = ReadTitle(original);
  const fs::path folder = dir / "step";
  const fs::path file = folder / original.filename();
  fs::create_directories(folder);
  velttest::WriteFile(file, bytes);
  const int steps = CountSteps(file, title);
  EXPECT_EQ(ReadTitle(file), title);
  for (int step = 0; step < steps; ++step) {
    for (Fault fault : faults) {
      SCOPED_TRACE("step " + std::to_string(step) + " " + FaultName(fault));
      fs::remove_all(folder);  // with what a killed update left
      fs::create_directories(folder);
      velttest::WriteFile(file, bytes);
      EXPECT_FALSE(UpdateWithFault(file, title, step, fault));
      const std::string read = ReadTitle(file);
      if (fault == Fault::kKill) {
        EXPECT_TRUE(read == oldTitle || read == title) << read.substr(0, 80);
        if (killed == nullptr) continue;
        killed->push_back(dir / ("k" + std::to_string(step) + original.extension().string()));
        fs::rename(file, killed->back());
        continue;
      }
      if (step + 1 == steps) {
        EXPECT_EQ(read, title);
      } else {
        EXPECT_TRUE(velttest::ReadFile(file) == bytes) << "not rolled back";
      }
      EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
          << "temporary file left";
    }
  }
  fs::remove_all(folder);
  return steps;
}

}  // namespace faulttest
