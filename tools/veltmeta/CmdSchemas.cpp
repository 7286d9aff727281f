// veltmeta schemas [--json] and veltmeta schema PREFIX [--json]: the registered schemas, and
// the properties of one schema with their types, choices, qualifiers and flags.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "Session.h"
#include "veltmetadata/Registry.h"

namespace {

using veltmetadata::PropertyDefinition;
using veltmetadata::SchemaDefinition;

using veltmeta::JsonString;

const char* Bool(bool value) {
  return value ? "true" : "false";
}

// Splits "--json" from the other arguments; false on an unknown option.
bool ParseArgs(const char* command, const std::vector<std::string>& args, bool& json,
               std::vector<std::string>& rest) {
  for (const auto& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (arg.starts_with("-")) {
      std::fprintf(stderr, "veltmeta %s: unknown option '%s'\n", command, arg.c_str());
      return false;
    } else {
      rest.push_back(arg);
    }
  }
  return true;
}

int RunSchemas(const std::vector<std::string>& args) {
  bool json = false;
  std::vector<std::string> rest;
  if (!ParseArgs("schemas", args, json, rest) || !rest.empty()) {
    std::fprintf(stderr, "usage: veltmeta schemas [--json]\n");
    return 2;
  }
  veltmeta::Session session;
  const auto schemas = veltmetadata::AllSchemaDefinitions();
  if (json) std::printf("[");
  bool first = true;
  for (const auto& schema : schemas) {
    if (json) {
      std::printf(
          "%s\n  {\"namespace\": %s, \"prefix\": %s, \"properties\": %zu, "
          "\"custom\": %s, \"dynamic\": %s}",
          first ? "" : ",", JsonString(schema->mNamespace).c_str(),
          JsonString(schema->mPrefix).c_str(), schema->mProperties.size(), Bool(schema->mCustom),
          Bool(schema->mDynamic));
    } else {
      std::printf("%-16s %4zu  %s%s%s\n", schema->mPrefix.c_str(), schema->mProperties.size(),
                  schema->mNamespace.c_str(), schema->mCustom ? "  [custom]" : "",
                  schema->mDynamic ? "  [dynamic]" : "");
    }
    first = false;
  }
  if (json) std::printf("%s]\n", schemas.empty() ? "" : "\n");
  return 0;
}

std::vector<std::string> Flags(const PropertyDefinition& property) {
  std::vector<std::string> flags;
  if (property.mInternal) flags.push_back("internal");
  if (property.mDeprecated.value_or(false)) flags.push_back("deprecated");
  if (property.mUIHints && property.mUIHints->mMultiLine) flags.push_back("multiLine");
  if (property.mUIHints && property.mUIHints->mSeparator) flags.push_back("separator");
  return flags;
}

void PrintPropertyJson(const PropertyDefinition& property, bool first) {
  auto list = [](const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
      out += (i ? ", " : "") + JsonString(items[i]);
    return out + "]";
  };
  std::vector<std::string> choices, qualifiers;
  for (const auto& choice : property.mChoices)
    choices.push_back(choice->mRawValue);
  for (const auto& qualifier : property.mQualifiers)
    qualifiers.push_back(qualifier->mName);
  std::printf(
      "%s\n  {\"name\": %s, \"type\": %s, \"element_type\": %s, \"choices\": %s, "
      "\"qualifiers\": %s, \"flags\": %s}",
      first ? "" : ",", JsonString(property.mName).c_str(),
      property.mType ? JsonString(*property.mType).c_str() : "null",
      property.mElementType ? JsonString(*property.mElementType).c_str() : "null",
      list(choices).c_str(), list(qualifiers).c_str(), list(Flags(property)).c_str());
}

void PrintPropertyText(const PropertyDefinition& property) {
  std::string line = property.mName + "  " + property.mType.value_or("?");
  if (property.mElementType) line += " of " + *property.mElementType;
  if (!property.mChoices.empty()) {
    line += "  choices:";
    for (const auto& choice : property.mChoices)
      line += " " + choice->mRawValue;
  }
  if (!property.mQualifiers.empty()) {
    line += "  qualifiers:";
    for (const auto& qualifier : property.mQualifiers)
      line += " " + qualifier->mName;
  }
  for (const auto& flag : Flags(property))
    line += "  [" + flag + "]";
  std::printf("%s\n", line.c_str());
}

int RunSchema(const std::vector<std::string>& args) {
  bool json = false;
  std::vector<std::string> rest;
  if (!ParseArgs("schema", args, json, rest) || rest.size() != 1) {
    std::fprintf(stderr, "usage: veltmeta schema PREFIX [--json]\n");
    return 2;
  }
  veltmeta::Session session;
  std::shared_ptr<SchemaDefinition> found;
  for (const auto& schema : veltmetadata::AllSchemaDefinitions()) {
    if (schema->mPrefix == rest[0]) found = schema;
  }
  if (!found) {
    std::fprintf(
        stderr,
        "veltmeta schema: no schema with prefix '%s' is registered (see veltmeta schemas)\n",
        rest[0].c_str());
    return 2;  // a prefix the user mistyped: a usage error
  }
  if (!json) std::printf("%s  %s\n", found->mPrefix.c_str(), found->mNamespace.c_str());
  if (json) std::printf("[");
  bool first = true;
  for (const auto& property : found->mProperties) {
    if (json) {
      PrintPropertyJson(*property, first);
    } else {
      PrintPropertyText(*property);
    }
    first = false;
  }
  if (json) std::printf("%s]\n", found->mProperties.empty() ? "" : "\n");
  return 0;
}

const veltmeta::CommandRegistrar kSchemas{{"schemas", "schemas [--json]",
                                           "every registered schema with its property count",
                                           &RunSchemas}};
const veltmeta::CommandRegistrar kSchema{
    {"schema", "schema PREFIX [--json]", "the properties of one registered schema", &RunSchema}};

}  // namespace
