#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

#include "veltcore/Strings.h"

namespace veltcore::debug {

// One raised assertion.
struct AssertionInfo {
  std::string mFile;
  int mLine = 0;
  std::string mFunction;
  std::string mCondition;
  std::string mMessage;
};

// Reports a failed assertion: to the innermost AssertionCapture when one is active on any
// thread, else to the installed sink, else to stderr. When `breakIntoDebugger` is true and a
// debugger is attached, raises SIGTRAP. Always returns so that the caller can go on.
void DoSimpleAssert(const char* file, int line, const char* function, const char* condition,
                    const std::string& message = std::string(), bool breakIntoDebugger = true);
// True when a tracer (debugger) is attached to this process (read from /proc/self/status).
bool IsDebuggerAttached();

// Replaces the default reporting (stderr) for the whole process; null restores it.
void SetAssertionSink(std::function<void(const AssertionInfo&)> sink);

// Collects every assertion raised while it lives (process-wide; captures nest, the innermost
// one receives). Used by tests: "after the assertion ..." checks read Count() and All().
class AssertionCapture {
 public:
  AssertionCapture();
  ~AssertionCapture();
  AssertionCapture(const AssertionCapture&) = delete;
  AssertionCapture& operator=(const AssertionCapture&) = delete;

  std::size_t Count() const;
  std::vector<AssertionInfo> All() const;
  // Whether an assertion with this exact condition text was raised.
  bool Contains(const std::string& condition) const;

 private:
  friend void DoSimpleAssert(const char*, int, const char*, const char*, const std::string&, bool);
  void Add(const AssertionInfo& info);
  mutable std::mutex mMutex;
  std::vector<AssertionInfo> mSeen;
  AssertionCapture* mOuter = nullptr;
};

// A process-wide string table for debug switches ("ForceMetadataWritable" -> "true"). It is
// independent of any library initialisation and outlives the library's Terminate.
class DebugDatabase {
 public:
  static DebugDatabase& Instance();
  // The value stored under `key`, or the empty string.
  std::string GetEntry(const std::string& key) const;
  bool HasEntry(const std::string& key) const;
  void SetEntry(const std::string& key, const std::string& value);
  void RemoveEntry(const std::string& key);

 private:
  mutable std::mutex mMutex;
  std::map<std::string, std::string> mEntries;
};

}  // namespace veltcore::debug

// VELT_ASSERT(cond) / VELT_ASSERT_MSG(cond, msg): a debug assertion that reports and goes on.
// The condition is evaluated in every build; the report names file, line and function.
#define VELT_ASSERT(cond)                                                                \
  do {                                                                                   \
    if (!(cond)) ::veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, #cond); \
  } while (false)
#define VELT_ASSERT_MSG(cond, msg)                                                            \
  do {                                                                                        \
    if (!(cond)) ::veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, #cond, msg); \
  } while (false)

namespace veltcore::utility {
// A string argument for logging contexts.
using StringValue = std::string;
}  // namespace veltcore::utility

namespace veltcore::logging {

// Logs an exception that is not a std::exception: its message, a context, the exception's
// type name and extra key/value details. Goes to the installed log sink, else stderr.
void LogCustomException(const std::string& message, const utility::StringValue& context,
                        const std::string& typeName,
                        const std::map<std::string, std::string>& details);
// Replaces the log output (tests); null restores stderr.
void SetLogSink(std::function<void(const std::string& line)> sink);

// Logs an exception of type E that has GetID() and GetErrMsg(); `message`, when given,
// receives the logged text.
template <class E>
void LogException(const E& error, const utility::StringValue& context, UTF8String* message) {
  const std::string text = error.GetErrMsg() ? error.GetErrMsg() : "";
  LogCustomException(text, context, typeid(E).name(),
                     {{"error_id", std::to_string(static_cast<long>(error.GetID()))}});
  if (message) *message = text;
}

}  // namespace veltcore::logging
