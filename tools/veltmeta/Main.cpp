#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Command.h"
#include "MainJob.h"
#include "MainJobHelp.h"
#include "veltmetadata/Version.h"

namespace veltmeta {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
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
    PrintShortUsage(stderr);
    return 2;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string& first = args[0];
  if (first == "--version" || first == "-V") {
    std::printf("veltmeta %s\n", veltmetadata::VersionString());
    return 0;
  }
  if (first == "--help" || first == "-h" || (first == "help" && args.size() == 1)) {
    PrintOverview(stdout);
    return 0;
  }
  if (first == "help") {
    if (PrintCommandHelp(stdout, args[1])) return 0;
    std::fprintf(stderr, "veltmeta: no command '%s' (try veltmeta --help)\n", args[1].c_str());
    return 2;
  }
  for (const Command& c : Commands()) {
    if (c.mName != first) continue;
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
        (rest.size() == 1 && rest[0] == "-h")) {
      PrintCommandHelp(stdout, first);
      return 0;
    }
    return c.mRun(rest);
  }
  if (first.starts_with("-") && !IsMainJobOption(first)) {
    std::fprintf(stderr, "veltmeta: unknown option '%s' (try veltmeta --help)\n", first.c_str());
    return 2;
  }
  // No command: the arguments are files (and options) for the main job.
  return RunMainJob(args);
}

}  // namespace veltmeta

int main(int argc, char** argv) {
  return veltmeta::Main(argc, argv);
}
