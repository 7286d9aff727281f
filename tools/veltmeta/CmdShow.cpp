// veltmeta show FILE...: the main job under a command name, for files named like a command
// (`veltmeta show view` shows the file "view").
#include "Command.h"
#include "MainJob.h"

namespace {

int RunShow(const std::vector<std::string>& args) {
  return veltmeta::RunMainJob(args);
}

const veltmeta::CommandRegistrar kReg{
    {"show", "show [--each] [--json] [--verbose] FILE...",
     "the metadata panels of media files (what `veltmeta FILE...` does)", &RunShow}};

}  // namespace
