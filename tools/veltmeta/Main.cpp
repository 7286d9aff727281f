#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Command.h"
#include "veltmetadata/Version.h"

namespace veltmeta {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "veltmeta %s: typed XMP metadata from the command line\n\n"
               "usage: veltmeta COMMAND [ARGS...]\n"
               "       veltmeta --version | --help\n\ncommands:\n",
               veltmetadata::VersionString());
  for (const Command& c : Commands())
    std::fprintf(out, "  %-34s %s\n", c.mUsage.c_str(), c.mSummary.c_str());
}
}  // namespace

CommandRegistrar::CommandRegistrar(Command command) {
  Registry().push_back(std::move(command));
}

const std::vector<Command>& Commands() {
  std::vector<Command>& commands = Registry();
  std::sort(commands.begin(), commands.end(),
            [](const Command& a, const Command& b) { return a.mName < b.mName; });
  return commands;
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return 2;
  }
  std::string first = argv[1];
  if (first == "--version" || first == "-V") {
    std::printf("veltmeta %s\n", veltmetadata::VersionString());
    return 0;
  }
  if (first == "--help" || first == "-h" || first == "help") {
    PrintHelp(stdout);
    return 0;
  }
  for (const Command& c : Commands()) {
    if (c.mName == first) return c.mRun(std::vector<std::string>(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "veltmeta: unknown command '%s' (try --help)\n", first.c_str());
  return 2;
}

}  // namespace veltmeta

int main(int argc, char** argv) {
  return veltmeta::Main(argc, argv);
}
