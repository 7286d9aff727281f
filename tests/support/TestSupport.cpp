#include "TestSupport.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velttest {

namespace {
std::atomic<int> sCounter{0};
}

TempDir::TempDir() {
  mPath = TestRoot() / ("t" + std::to_string(sCounter++));
  std::filesystem::remove_all(mPath);
  std::filesystem::create_directories(mPath);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(mPath, ec);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    entries[entry.path().string()] = entry.is_regular_file() ? ReadFile(entry.path()) : "";
  return entries;
}

std::filesystem::path DataFile(const std::string& relative) {
  return std::filesystem::path(VELT_TEST_DATA_DIR) / relative;
}

bool HaveCommand(const std::string& name) {
  int status = 0;
  RunCommand("command -v " + name + " >/dev/null 2>&1", &status);
  return status == 0;
}

std::string MissingCommands(std::initializer_list<const char*> names) {
  std::string missing;
  for (const char* name : names) {
    if (HaveCommand(name)) continue;
    if (!missing.empty()) missing += ' ';
    missing += name;
  }
  return missing;
}

bool InContinuousIntegration() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

bool OracleAvailable(const char* name) {
  if (HaveCommand(name)) return true;
  if (InContinuousIntegration()) ADD_FAILURE() << "oracle missing with CI=true: " << name;
  return false;
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return output;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.append(buffer, n);
  int rc = ::pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return output;
}

const std::string& VeltmetaPath() {
  static const std::string path = std::string(VELT_BINARY_DIR) + "/tools/veltmeta/veltmeta";
  return path;
}

ToolRun RunVeltmeta(const std::string& args, const std::string& prefix) {
  TempDir dir;
  ToolRun run;
  run.mOut = RunCommand(
      prefix + " '" + VeltmetaPath() + "' " + args + " 2>'" + (dir / "err").string() + "'",
      &run.mStatus);
  run.mErr = ReadFile(dir / "err");
  return run;
}

std::string CheckJson(const std::vector<std::pair<std::string, std::string>>& documents,
                      const std::string& prelude) {
  TempDir dir;
  std::string script = "import json\n" + prelude + "\n";
  for (std::size_t i = 0; i < documents.size(); ++i) {
    const auto file = dir / ("doc" + std::to_string(i) + ".json");
    WriteFile(file, documents[i].first);
    script += "try:\n  d = json.load(open('" + file.string() + "'))\n  " + documents[i].second +
              "\nexcept Exception as failure:\n  print('document " + std::to_string(i) +
              ":', repr(failure))\n";
  }
  WriteFile(dir / "check.py", script);
  return RunCommand("python3 '" + (dir / "check.py").string() + "' 2>&1");
}

}  // namespace velttest
