#pragma once

// The tool's help texts: the short usage, the grouped overview and one command's help.

#include <cstdio>
#include <string>

namespace veltmeta {

// The short usage, main job first, for `veltmeta` without arguments.
void PrintShortUsage(std::FILE* out);
// Every command grouped by what it is for, with examples and the exit codes.
void PrintOverview(std::FILE* out);
// The help of one command (its usage, what it does, examples); false when there is no
// command of that name.
bool PrintCommandHelp(std::FILE* out, const std::string& name);

}  // namespace veltmeta
