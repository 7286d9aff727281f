#include "MainJobHelp.h"

#include <algorithm>
#include <map>
#include <vector>

#include "Command.h"
#include "MainJob.h"
#include "veltmetadata/Version.h"

namespace veltmeta {

namespace {

struct Group {
  const char* mTitle;
  std::vector<std::string> mCommands;
};

const std::vector<Group>& Groups() {
  static const std::vector<Group> kGroups = {
      {"Show and edit metadata", {"show", "get", "set", "recent"}},
      {"Views and schemas", {"views", "view", "schemas", "schema", "leafpaths", "errors"}},
      {"Low level", {"dump", "packet"}},
  };
  return kGroups;
}

// Longer explanations and examples, by command.
const std::map<std::string, std::string>& Details() {
  static const std::map<std::string, std::string> kDetails = {
      {"show",
       "Shows the metadata panels of media files: a header (files, format, associated files),\n"
       "then the views basic, camera, gps, iptccore, iptcextension, origin, video, audio, dicom,\n"
       "lumara, zpx and those of installed packages. Only sections and properties with values\n"
       "are shown. Several files are merged into one set of panels; \"<multiple values>\" marks\n"
       "a property the files disagree on.\n"
       "  --each     one set of panels per file\n"
       "  --json     JSON: views, sections, properties with name, label, display and typed value\n"
       "  --verbose  also print the library's notes on stderr\n"
       "examples:\n"
       "  veltmeta samples/photo.jpg\n"
       "  veltmeta samples/photo.jpg samples/clip.mp4\n"
       "  veltmeta --each --json *.jpg\n"
       "  veltmeta show view        (a file named like a command)\n"},
      {"get",
       "examples:\n  veltmeta get samples/photo.jpg dc:title exif:FNumber\n"
       "  veltmeta get --json a.jpg b.jpg dc:creator\n"},
      {"set",
       "Writes typed values; an empty VALUE deletes the property. A closed choice takes its\n"
       "value or the label a panel shows (stored as the value), a boolean True/False or\n"
       "Yes/No. Each value is recorded in the recently used values (--no-recent skips that).\n"
       "examples:\n  veltmeta set photo.jpg dc:title='Harbour at dusk' xmp:Rating=4\n"
       "  veltmeta set photo.jpg zpx:Status='In Review' photoshop:HasAlpha=No\n"},
      {"recent", "examples:\n  veltmeta recent dc:title\n  veltmeta recent --clear\n"},
      {"view", "examples:\n  veltmeta view camera samples/photo.jpg\n"},
      {"views", "examples:\n  veltmeta views --json\n"},
      {"schema", "examples:\n  veltmeta schema dc\n"},
      {"leafpaths", "examples:\n  veltmeta leafpaths exif --json\n"},
      {"dump", "examples:\n  veltmeta dump samples/clip.mp4\n"},
      {"packet", "examples:\n  veltmeta packet --normalize packet.xmp\n"},
  };
  return kDetails;
}

const Command* Find(const std::string& name) {
  for (const Command& command : Commands()) {
    if (command.mName == name) return &command;
  }
  return nullptr;
}

void PrintCommandLine(std::FILE* out, const Command& command) {
  std::fprintf(out, "  veltmeta %s\n      %s\n", command.mUsage.c_str(), command.mSummary.c_str());
}

}  // namespace

void PrintShortUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: %s\n"
               "       veltmeta COMMAND [ARGS...]   (get, set, recent, view, views, ...)\n"
               "       veltmeta --help | --version | help COMMAND\n",
               kMainJobUsage);
}

void PrintOverview(std::FILE* out) {
  std::fprintf(out,
               "veltmeta %s: the metadata panels of media files, and typed XMP editing\n\n"
               "usage: %s\n       veltmeta COMMAND [ARGS...]\n",
               veltmetadata::VersionString(), kMainJobUsage);
  std::vector<std::string> listed;
  for (const Group& group : Groups()) {
    std::fprintf(out, "\n%s:\n", group.mTitle);
    for (const std::string& name : group.mCommands) {
      if (const Command* command = Find(name)) {
        PrintCommandLine(out, *command);
        listed.push_back(name);
      }
    }
  }
  bool otherTitle = false;
  for (const Command& command : Commands()) {
    if (std::find(listed.begin(), listed.end(), command.mName) != listed.end()) continue;
    if (!otherTitle) std::fprintf(out, "\nOther:\n");
    otherTitle = true;
    PrintCommandLine(out, command);
  }
  std::fprintf(out,
               "\nexamples:\n"
               "  veltmeta samples/photo.jpg                     the panels of one file\n"
               "  veltmeta a.jpg b.jpg                           merged: <multiple values> where "
               "they differ\n"
               "  veltmeta --each --json *.jpg                   one JSON object per file\n"
               "  veltmeta set a.jpg dc:title='Harbour at dusk'  write a typed value\n"
               "\nexit codes: 0 success; 1 a file could not be read or written (named on stderr);\n"
               "            2 usage error, nothing done\n"
               "'veltmeta help COMMAND' or 'veltmeta COMMAND --help' explains one command.\n");
}

bool PrintCommandHelp(std::FILE* out, const std::string& name) {
  const Command* command = Find(name);
  if (command == nullptr) return false;
  std::fprintf(out, "usage: veltmeta %s\n%s\n", command->mUsage.c_str(), command->mSummary.c_str());
  if (const auto it = Details().find(name); it != Details().end())
    std::fprintf(out, "\n%s", it->second.c_str());
  return true;
}

}  // namespace veltmeta
