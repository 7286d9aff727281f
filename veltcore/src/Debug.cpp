#include "veltcore/Debug.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace veltcore::debug {

namespace {
std::mutex sMutex;  // guards the capture stack and the sinks
AssertionCapture* sInnermost = nullptr;
std::function<void(const AssertionInfo&)> sSink;
}  // namespace

void DoSimpleAssert(const char* file, int line, const char* function, const char* condition,
                    const std::string& message, bool breakIntoDebugger) {
  AssertionInfo info{file ? file : "", line, function ? function : "", condition ? condition : "",
                     message};
  {
    std::lock_guard<std::mutex> lock(sMutex);
    if (sInnermost) {
      sInnermost->Add(info);
      return;  // captured assertions never break: tests raise them on purpose
    }
    if (sSink) {
      sSink(info);
    } else {
      std::fprintf(stderr, "assertion failed: %s\n  in %s (%s:%d)%s%s\n", info.mCondition.c_str(),
                   info.mFunction.c_str(), info.mFile.c_str(), info.mLine,
                   info.mMessage.empty() ? "" : "\n  ", info.mMessage.c_str());
    }
  }
  if (breakIntoDebugger && IsDebuggerAttached()) std::raise(SIGTRAP);
}

bool IsDebuggerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) {
      std::istringstream value(line.substr(10));
      long pid = 0;
      value >> pid;
      return pid != 0;
    }
  }
  return false;
}

void SetAssertionSink(std::function<void(const AssertionInfo&)> sink) {
  std::lock_guard<std::mutex> lock(sMutex);
  sSink = std::move(sink);
}

AssertionCapture::AssertionCapture() {
  std::lock_guard<std::mutex> lock(sMutex);
  mOuter = sInnermost;
  sInnermost = this;
}

AssertionCapture::~AssertionCapture() {
  std::lock_guard<std::mutex> lock(sMutex);
  // Captures normally end in reverse order; unlink this one wherever it is.
  if (sInnermost == this) {
    sInnermost = mOuter;
    return;
  }
  for (AssertionCapture* c = sInnermost; c; c = c->mOuter) {
    if (c->mOuter == this) {
      c->mOuter = mOuter;
      return;
    }
  }
}

void AssertionCapture::Add(const AssertionInfo& info) {
  std::lock_guard<std::mutex> lock(mMutex);
  mSeen.push_back(info);
}

std::size_t AssertionCapture::Count() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mSeen.size();
}

std::vector<AssertionInfo> AssertionCapture::All() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mSeen;
}

bool AssertionCapture::Contains(const std::string& condition) const {
  std::lock_guard<std::mutex> lock(mMutex);
  for (const AssertionInfo& a : mSeen)
    if (a.mCondition == condition) return true;
  return false;
}

DebugDatabase& DebugDatabase::Instance() {
  static DebugDatabase database;
  return database;
}

std::string DebugDatabase::GetEntry(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mMutex);
  const auto it = mEntries.find(key);
  return it == mEntries.end() ? std::string() : it->second;
}

bool DebugDatabase::HasEntry(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mEntries.count(key) != 0;
}

void DebugDatabase::SetEntry(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(mMutex);
  mEntries[key] = value;
}

void DebugDatabase::RemoveEntry(const std::string& key) {
  std::lock_guard<std::mutex> lock(mMutex);
  mEntries.erase(key);
}

}  // namespace veltcore::debug

namespace veltcore::logging {

namespace {
std::mutex sLogMutex;
std::function<void(const std::string&)> sLogSink;
}  // namespace

void LogCustomException(const std::string& message, const utility::StringValue& context,
                        const std::string& typeName,
                        const std::map<std::string, std::string>& details) {
  std::ostringstream line;
  line << "exception " << typeName << " in " << context << ": " << message;
  for (const auto& [key, value] : details)
    line << " [" << key << "=" << value << "]";
  std::lock_guard<std::mutex> lock(sLogMutex);
  if (sLogSink)
    sLogSink(line.str());
  else
    std::fprintf(stderr, "%s\n", line.str().c_str());
}

void SetLogSink(std::function<void(const std::string& line)> sink) {
  std::lock_guard<std::mutex> lock(sLogMutex);
  sLogSink = std::move(sink);
}

}  // namespace veltcore::logging
