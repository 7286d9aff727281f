// veltmeta errors [--json]: the problems found while the library started and loaded its
// views, which includes reading the custom definitions folders and the extension packages
// from their usual places.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "Session.h"
#include "veltmetadata/Errors.h"
#include "veltmetadata/ExtensionPackages.h"

namespace {

using veltmeta::JsonString;

int RunErrors(const std::vector<std::string>& args) {
  bool json = false;
  for (const auto& arg : args) {
    if (arg == "--json") {
      json = true;
    } else {
      std::fprintf(stderr, "veltmeta errors: unknown argument '%s'\n", arg.c_str());
      return 2;
    }
  }
  const auto errors = [] {
    veltmeta::Session session;
    veltmetadata::LoadAllViewDefinitions();
    return veltmetadata::GetErrorInfos();
  }();
  if (json) {
    std::printf("[");
    for (std::size_t i = 0; i < errors.size(); ++i) {
      std::printf("%s\n  {\"kind\": %d, \"message\": %s, \"file\": %s}", i ? "," : "",
                  static_cast<int>(errors[i].mKind), JsonString(errors[i].mMessage).c_str(),
                  JsonString(errors[i].mFile).c_str());
    }
    std::printf("%s]\n", errors.empty() ? "" : "\n");
    return 0;
  }
  for (const auto& info : errors) {
    std::printf("%s%s%s\n", info.mFile.c_str(), info.mFile.empty() ? "" : ": ",
                info.mMessage.c_str());
  }
  // A clean start prints nothing at all.
  if (!errors.empty())
    std::fprintf(stderr, "%zu error%s\n", errors.size(), errors.size() == 1 ? "" : "s");
  return 0;
}

const veltmeta::CommandRegistrar kReg{{"errors", "errors [--json]",
                                       "problems found in the definitions, views and packages",
                                       &RunErrors}};

}  // namespace
