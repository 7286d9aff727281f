#pragma once

#include <mutex>
#include <string>

namespace veltcore::threads {

// A recursive mutex whose Lock() gives up after a time-out instead of deadlocking.
class RecursiveMutex {
 public:
  // Waits up to `timeoutMs` milliseconds. On time-out raises an assertion naming `name` and
  // returns false (the mutex is then not held).
  bool Lock(const char* name, long timeoutMs);
  void Unlock();

 private:
  std::recursive_timed_mutex mMutex;
};

// Holds a RecursiveMutex for a scope; Locked() tells whether the lock was obtained.
class RecursiveLock {
 public:
  RecursiveLock(RecursiveMutex& mutex, const char* name, long timeoutMs)
      : mMutex(mutex), mLocked(mutex.Lock(name, timeoutMs)) {}
  ~RecursiveLock() {
    if (mLocked) mMutex.Unlock();
  }
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;
  bool Locked() const { return mLocked; }

 private:
  RecursiveMutex& mMutex;
  bool mLocked;
};

}  // namespace veltcore::threads
