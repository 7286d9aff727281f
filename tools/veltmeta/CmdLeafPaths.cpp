// veltmeta leafpaths PREFIX [--json | --xml]: the leaves of one registered schema in walk
// order, with their Path fields, type and whether a panel can show them; --xml prints them
// as an included-leaf-paths document.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "Session.h"
#include "veltmetadata/Errors.h"
#include "veltmetadata/IncludedLeafPaths.h"
#include "veltmetadata/PathTraversal.h"
#include "veltmetadata/PropertyExclusion.h"
#include "veltmetadata/Registry.h"

namespace {

using veltmeta::JsonString;
using veltmetadata::Path;

constexpr const char* kUsage = "usage: veltmeta leafpaths PREFIX [--json | --xml]\n";

// Starts the library for the life of the command; reports of the error list go to stderr.
struct Session {
  Session() {
    mToStderr = std::make_shared<std::function<void(veltmetadata::UTF8String)>>(
        [](const veltmetadata::UTF8String& message) {
          std::fprintf(stderr, "veltmeta leafpaths: %s\n", message.c_str());
        });
    veltmetadata::NotifyOnError(mToStderr);
  }
  veltmeta::Session mLibrary;
  std::shared_ptr<std::function<void(veltmetadata::UTF8String)>> mToStderr;
};

// The leaf's type id, or "-" when its definition names none.
std::string TypeOf(const Path& leaf) {
  const auto definition = veltmetadata::PathEntryDefinition(leaf);
  return definition && definition->mType ? *definition->mType : "-";
}

void PrintJson(const Path& leaf, bool first) {
  std::printf(
      "%s\n  {\"namespace\": %s, \"path\": %s, \"entry\": %s, \"parent\": %s, \"internal\": %s, "
      "\"type\": %s, \"ui\": %s}",
      first ? "" : ",", JsonString(leaf.mNamespace).c_str(),
      JsonString(leaf.mPathDescription).c_str(), JsonString(leaf.mEntryName).c_str(),
      JsonString(leaf.mParentId).c_str(), leaf.mInternal ? "true" : "false",
      JsonString(TypeOf(leaf)).c_str(),
      veltmetadata::IsPropertyUISupported(leaf) ? "true" : "false");
}

int RunLeafPaths(const std::vector<std::string>& args) {
  bool json = false;
  bool xml = false;
  std::vector<std::string> rest;
  for (const auto& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "--xml") {
      xml = true;
    } else if (arg.starts_with("-")) {
      std::fprintf(stderr, "veltmeta leafpaths: unknown option '%s'\n", arg.c_str());
      return 2;
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.size() != 1 || (json && xml)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Session session;
  std::shared_ptr<veltmetadata::SchemaDefinition> schema;
  for (const auto& candidate : veltmetadata::AllSchemaDefinitions()) {
    if (candidate->mPrefix == rest[0]) schema = candidate;
  }
  if (!schema) {
    std::fprintf(stderr, "veltmeta leafpaths: no schema with prefix '%s' is registered\n",
                 rest[0].c_str());
    return 2;
  }
  std::vector<Path> leaves;
  veltmetadata::VisitDescendantLeafPaths(schema, [&](const Path& leaf) { leaves.push_back(leaf); });
  if (xml) {
    std::string document;
    veltmetadata::IncludedLeafPathsAsXMLString({leaves.begin(), leaves.end()}, document);
    std::fputs(document.c_str(), stdout);
    return 0;
  }
  if (json) std::printf("[");
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    if (json) {
      PrintJson(leaves[i], i == 0);
    } else {
      std::printf("%s:%s\t%s\n", schema->mPrefix.c_str(), leaves[i].mPathDescription.c_str(),
                  TypeOf(leaves[i]).c_str());
    }
  }
  if (json) std::printf("%s]\n", leaves.empty() ? "" : "\n");
  return 0;
}

const veltmeta::CommandRegistrar kLeafPaths{
    {"leafpaths", "leafpaths PREFIX [--json | --xml]",
     "the leaf properties and fields of one schema, in walk order", &RunLeafPaths}};

}  // namespace
