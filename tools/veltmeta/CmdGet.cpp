// veltmeta get [--raw] [--json] FILE... PROPERTY...: reads typed properties of one or more
// media files, merged through one aggregate provider: a property whose files disagree
// reads as <multiple values>. The properties start at the first argument with a known
// prefix; a property that is no leaf (a structure, an array of structures) expands to its
// leaves. Values are display reads (--raw: the stored text). A file without XMP simply has
// no properties.
//
// Usage errors, unknown prefixes and undefined properties exit with 2, files that cannot be
// opened with 1, each with one line on stderr and nothing on stdout.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "PropertyArgs.h"
#include "veltmetadata/Errors.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"

namespace {

using veltmetadata::GetValueResult;
using veltmetadata::Path;

struct Reading {
  std::string mLabel;
  Path mPath;
  GetValueResult mResult = veltmetadata::kGetValueResult_NoValue;
  std::string mValue;
};

const char* ResultName(GetValueResult result) {
  switch (result) {
    case veltmetadata::kGetValueResult_Success:
      return "success";
    case veltmetadata::kGetValueResult_MultipleValues:
      return "multiple";
    case veltmetadata::kGetValueResult_NoValue:
      return "none";
    default:
      return "error";
  }
}

void PrintText(const std::vector<Reading>& readings) {
  for (const Reading& r : readings) {
    const char* text = r.mResult == veltmetadata::kGetValueResult_Success ? r.mValue.c_str()
                       : r.mResult == veltmetadata::kGetValueResult_MultipleValues
                           ? "<multiple values>"
                       : r.mResult == veltmetadata::kGetValueResult_NoValue ? "<no value>"
                                                                            : "<unreadable value>";
    std::printf("%s: %s\n", r.mLabel.c_str(), text);
  }
}

void PrintJson(const std::vector<Reading>& readings) {
  std::printf("[");
  for (std::size_t i = 0; i < readings.size(); ++i) {
    const Reading& r = readings[i];
    std::printf("%s\n  {\"property\": %s, \"namespace\": %s, \"path\": %s, \"result\": \"%s\"",
                i == 0 ? "" : ",", veltmeta::JsonString(r.mLabel).c_str(),
                veltmeta::JsonString(r.mPath.mNamespace).c_str(),
                veltmeta::JsonString(r.mPath.mPathDescription).c_str(), ResultName(r.mResult));
    if (r.mResult == veltmetadata::kGetValueResult_Success) {
      std::printf(", \"value\": %s", veltmeta::JsonString(r.mValue).c_str());
    }
    std::printf("}");
  }
  std::printf("%s]\n", readings.empty() ? "" : "\n");
}

int Usage() {
  std::fprintf(stderr, "usage: veltmeta get [--raw] [--json] FILE... PROPERTY...\n");
  return 2;
}

int RunGet(const std::vector<std::string>& args) {
  bool raw = false;
  bool json = false;
  std::vector<std::string> rest;
  for (const std::string& arg : args) {
    if (arg == "--raw") {
      raw = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg.starts_with("--")) {
      std::fprintf(stderr, "veltmeta get: unknown option '%s'\n", arg.c_str());
      return 2;
    } else {
      rest.push_back(arg);
    }
  }
  veltmeta::ToolSession session;
  std::size_t first = 0;
  while (first < rest.size() && !veltmeta::StartsWithKnownPrefix(rest[first]))
    ++first;
  // An argument taken for a file that names none but reads as PREFIX:NAME is a property
  // under a prefix nobody registered: say so, with the nearest known property.
  for (std::size_t i = 1; i < first; ++i) {
    std::error_code ec;
    const std::size_t colon = rest[i].find(':');
    if (colon == std::string::npos || colon == 0 ||
        rest[i].find_first_of("/.") != std::string::npos || std::filesystem::exists(rest[i], ec))
      continue;
    Path ignored;
    std::fprintf(stderr, "veltmeta get: %s\n", veltmeta::ParseProperty(rest[i], &ignored).c_str());
    return 2;
  }
  if (first == 0 || first == rest.size()) return Usage();
  const std::vector<std::string> files(rest.begin(), rest.begin() + static_cast<long>(first));
  std::vector<std::pair<std::string, Path>> properties;
  for (std::size_t i = first; i < rest.size(); ++i) {
    Path path;
    if (std::string error = veltmeta::ParseProperty(rest[i], &path); !error.empty()) {
      std::fprintf(stderr, "veltmeta get: %s\n", error.c_str());
      return 2;
    }
    properties.emplace_back(rest[i], path);
  }
  for (const std::string& file : files) {
    if (std::string error = veltmeta::CheckMediaFile(file, false); !error.empty()) {
      std::fprintf(stderr, "veltmeta get: %s\n", error.c_str());
      return 1;
    }
  }
  const std::size_t errorsBefore = veltmetadata::GetErrorInfos().size();
  const veltmeta::ToolProviders providers = veltmeta::OpenProviders(files, false, session);
  for (const auto& provider : providers.mFiles) {
    if (!provider->ReadError().empty()) {
      std::fprintf(stderr, "veltmeta get: %s: its XMP cannot be read (%s)\n",
                   provider->File().c_str(), provider->ReadError().c_str());
      return 1;
    }
  }
  std::vector<Reading> readings;
  {
    veltmetadata::MetaDataReadAccess access(providers.mAggregate);
    for (const auto& [text, path] : properties) {
      const std::vector<Path> leaves = veltmeta::LeafPaths(*access, path);
      for (const Path& leaf : leaves) {
        Reading r;
        r.mLabel = leaves.size() == 1 && leaf.mPathDescription == path.mPathDescription
                       ? text
                       : veltmeta::PropertyLabel(leaf);
        r.mPath = leaf;
        if (raw) {
          veltmetadata::GetRawStringValue(*access, leaf, r.mValue, &r.mResult);
        } else {
          veltmetadata::GetValue(*access, leaf, r.mValue, &r.mResult);
        }
        readings.push_back(std::move(r));
      }
    }
  }
  if (json) {
    PrintJson(readings);
  } else {
    PrintText(readings);
  }
  const auto errors = veltmetadata::GetErrorInfos();
  for (std::size_t i = errorsBefore; i < errors.size(); ++i)
    std::fprintf(stderr, "veltmeta get: %s\n", errors[i].mMessage.c_str());
  return 0;
}

}  // namespace

static veltmeta::CommandRegistrar kReg{
    {"get", "get [--raw] [--json] FILE... PROPERTY...",
     "read typed XMP properties of media files (differing values: <multiple values>)", &RunGet}};
