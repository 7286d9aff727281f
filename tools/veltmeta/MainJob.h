#pragma once

// The main job of the tool: `veltmeta FILE...` shows the metadata panels of media files as a
// media application does, merged over several files or one set per file, as text or JSON.

#include <string>
#include <vector>

namespace veltmeta {

// The synopsis of the main job, for usage lines.
inline constexpr const char* kMainJobUsage = "veltmeta [--each] [--json] [--verbose] FILE...";

// Runs the main job with its arguments (options and files, in any order; "--" ends the
// options). Prints the panels on stdout and one line per problem on stderr. Returns 0 when
// every file was shown, 1 when a file could not be read (the others are still shown), 2 on
// a usage error (nothing done).
int RunMainJob(const std::vector<std::string>& args);

// Whether `arg` is one of the main job's options.
bool IsMainJobOption(const std::string& arg);

// `text` with the localiser's markers ("$$$/Key=Text", "#{quot}") replaced by their text,
// for messages passed on from the library.
std::string WithoutMarkers(const std::string& text);

// A file name as shown in messages and JSON: bytes that are not UTF-8 as \xHH.
std::string ShownName(const std::string& file);

}  // namespace veltmeta
