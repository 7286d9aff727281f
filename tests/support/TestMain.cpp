// main() of every test program: the folders of the core services layer point at a fresh
// temporary root so that no test reads or writes the user's real folders.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace velttest {
namespace {
std::filesystem::path sRoot;
}
const std::filesystem::path& TestRoot() {
  return sRoot;
}
}  // namespace velttest

int main(int argc, char** argv) {
  std::string pattern = (std::filesystem::temp_directory_path() / "velttest-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 3;
  velttest::sRoot = pattern;
  auto sub = [&](const char* name) {
    std::filesystem::path p = velttest::sRoot / name;
    std::filesystem::create_directories(p);
    return p.string();
  };
  ::setenv("VELTCORE_PREFS_DIR", sub("prefs").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", sub("xdg").c_str(), 1);
  ::setenv("VELTCORE_SYSTEM_DIR", sub("system").c_str(), 1);
  ::setenv("VELTCORE_PLUGINS_DIR", sub("plugins").c_str(), 1);
  ::setenv("VELTCORE_LANGUAGE", "en_US", 1);
  testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(velttest::sRoot, ec);
  return rc;
}
