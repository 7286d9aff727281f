#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velttest {

// A fresh, empty folder under the test run's temporary root, removed when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return mPath; }
  std::filesystem::path operator/(const std::string& name) const { return mPath / name; }

 private:
  std::filesystem::path mPath;
};

// The temporary root of this test run (also $VELTCORE_PREFS_DIR's parent).
const std::filesystem::path& TestRoot();
// Reads or writes a whole file as bytes; ReadFile gives "" when the file cannot be read,
// WriteFile creates the missing folders of `path` and throws when it cannot write.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Every entry under `folder` with its bytes (a folder with ""), for checking that nothing
// there changed.
std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder);
// A file of the committed test data (tests/data/...).
std::filesystem::path DataFile(const std::string& relative);
// True when the command is on PATH (e.g. "exiftool").
bool HaveCommand(const std::string& name);
// The commands of `names` that are not on PATH, space-separated ("" when all are there).
std::string MissingCommands(std::initializer_list<const char*> names);
// True when the environment says CI=true: a test whose oracle is missing must then fail, so
// that a green run means every test ran.
bool InContinuousIntegration();
// For a test that checks against an oracle only when it is there: true when `name` is on
// PATH; otherwise false, and a test failure is recorded when CI=true.
bool OracleAvailable(const char* name);
// Runs a shell command; returns its standard output and sets `status` to its exit status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// The veltmeta tool of this build, and one run of it: `args` are shell words, `prefix` goes
// before the command (environment assignments, or a command such as setpriv).
const std::string& VeltmetaPath();
struct ToolRun {
  int mStatus = -1;
  std::string mOut;
  std::string mErr;
};
ToolRun RunVeltmeta(const std::string& args, const std::string& prefix = "");
// Checks JSON documents in one Python run: each pair is a document and Python statements
// about `d`, the document parsed, run after `prelude`. Returns what failed, or "" when every
// document parsed and every check held.
std::string CheckJson(const std::vector<std::pair<std::string, std::string>>& documents,
                      const std::string& prelude = "");

}  // namespace velttest

// Skips the current test when a command it needs as an oracle (exiftool, ffmpeg...) is
// missing, or fails it when CI=true. Use in a test body or a fixture's SetUp.
#define VELT_REQUIRE_COMMANDS(...)                                              \
  do {                                                                          \
    const std::string veltMissing = ::velttest::MissingCommands({__VA_ARGS__}); \
    if (!veltMissing.empty()) {                                                 \
      if (::velttest::InContinuousIntegration()) {                              \
        GTEST_FAIL() << "oracle missing with CI=true: " << veltMissing;         \
      }                                                                         \
      GTEST_SKIP() << "needs " << veltMissing;                                  \
    }                                                                           \
  } while (0)
