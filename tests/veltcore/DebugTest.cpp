#include "veltcore/Debug.h"

#include <gtest/gtest.h>

#include <thread>

#include "veltcore/Config.h"
#include "veltcore/Threads.h"

using namespace veltcore;

namespace {
int Checked(int* p) {
  VELT_ASSERT(p != nullptr);
  return p ? *p : 0;
}

struct FakeError {
  int GetID() const { return 203; }
  const char* GetErrMsg() const { return "bad path"; }
};
}  // namespace

TEST(Debug, AssertionsAreCapturedAndTheCallerGoesOn) {
  debug::AssertionCapture outer;
  {
    debug::AssertionCapture inner;
    EXPECT_EQ(Checked(nullptr), 0);
    VELT_ASSERT_MSG(1 == 2, "numbers differ");
    ASSERT_EQ(inner.Count(), 2u);
    const auto all = inner.All();
    EXPECT_EQ(all[0].mCondition, "p != nullptr");
    EXPECT_EQ(all[0].mFunction, "Checked");
    EXPECT_NE(all[0].mFile.find("DebugTest.cpp"), std::string::npos);
    EXPECT_EQ(all[1].mMessage, "numbers differ");
    EXPECT_TRUE(inner.Contains("1 == 2"));
  }
  EXPECT_EQ(outer.Count(), 0u);
  VELT_ASSERT(false);
  EXPECT_EQ(outer.Count(), 1u);
  EXPECT_FALSE(debug::IsDebuggerAttached());
}

TEST(Debug, LoggedExceptionsCarryTheirIdAndContext) {
  std::string logged;
  logging::SetLogSink([&](const std::string& line) { logged = line; });
  std::string message;
  logging::LogException(FakeError{}, "reading", &message);
  logging::SetLogSink(nullptr);
  EXPECT_EQ(message, "bad path");
  EXPECT_NE(logged.find("error_id=203"), std::string::npos);
  EXPECT_NE(logged.find("reading"), std::string::npos);
}

TEST(Debug, HeavyInitTaskRunsAtOnce) {
  int runs = 0, done = 0, failed = 0;
  config::CreateHeavyInitTask(
      "t", [&] { ++runs; }, [&] { ++done; }, [&] { ++failed; });
  EXPECT_EQ(runs + done + failed, 2);
  EXPECT_THROW(config::CreateHeavyInitTask(
                   "t", [] { throw 1; }, {}, [&] { ++failed; }),
               int);
  EXPECT_EQ(failed, 1);
}

TEST(Threads, RecursiveMutexTimesOutInsteadOfDeadlocking) {
  threads::RecursiveMutex mutex;
  ASSERT_TRUE(mutex.Lock("cache", 100));
  ASSERT_TRUE(mutex.Lock("cache", 100));  // recursive
  debug::AssertionCapture capture;
  bool otherGotIt = true;
  std::thread other([&] { otherGotIt = mutex.Lock("cache", 50); });
  other.join();
  EXPECT_FALSE(otherGotIt);
  EXPECT_EQ(capture.Count(), 1u);
  EXPECT_NE(capture.All()[0].mMessage.find("cache"), std::string::npos);
  mutex.Unlock();
  mutex.Unlock();
  threads::RecursiveLock lock(mutex, "cache", 10);
  EXPECT_TRUE(lock.Locked());
}
