#pragma once

#include <filesystem>
#include <string>

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
// Reads or writes a whole file as bytes; ReadFile gives "" when the file cannot be read.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// A file of the committed test data (tests/data/...).
std::filesystem::path DataFile(const std::string& relative);
// True when the command is on PATH (e.g. "exiftool").
bool HaveCommand(const std::string& name);
// Runs a shell command; returns its standard output and sets `status` to its exit status.
std::string RunCommand(const std::string& command, int* status = nullptr);

}  // namespace velttest
