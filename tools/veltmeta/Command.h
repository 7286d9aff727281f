#pragma once

#include <string>
#include <vector>

namespace veltmeta {

// One subcommand of the tool: `veltmeta NAME ARGS...`.
struct Command {
  std::string mName;
  std::string mUsage;    // e.g. "packet [--normalize] FILE"
  std::string mSummary;  // one line for --help
  // Runs with the arguments after the command name; returns the exit status.
  int (*mRun)(const std::vector<std::string>& args);
};

// Registers a command at start-up: `static veltmeta::CommandRegistrar reg{{...}};`
struct CommandRegistrar {
  explicit CommandRegistrar(Command command);
};

// Every registered command, sorted by name.
const std::vector<Command>& Commands();

}  // namespace veltmeta
