// veltmeta recent [PROPERTY...] [--json] [--clear]: the recently used values that
// `veltmeta set` recorded, per property, most recent first; or, with --clear, forgets them.
// Values of closed choices are shown with their labels (--json: a "labels" object from
// value to label beside the "values" array).
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "RecentValues.h"
#include "Session.h"
#include "TextConversion.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Registry.h"

namespace {

using veltmeta::JsonString;

constexpr const char* kUsage = "usage: veltmeta recent [PROPERTY...] [--json] [--clear]\n";

// The labels of a closed-choice property named "prefix:name", by stored value; empty for
// any other property.
std::vector<std::pair<std::string, std::string>> ClosedChoiceLabels(const std::string& key) {
  const std::size_t colon = key.find(':');
  if (colon == std::string::npos) return {};
  for (const auto& schema : veltmetadata::AllSchemaDefinitions()) {
    if (schema->mPrefix != key.substr(0, colon)) continue;
    for (const auto& property : schema->mProperties) {
      if (property->mName != key.substr(colon + 1) || !property->mType) continue;
      if (veltmetadata::PrimitiveTypeOf(*property->mType) !=
          veltmetadata::kPrimitiveType_ClosedChoice)
        return {};
      std::vector<std::pair<std::string, std::string>> labels;
      for (const auto& choice : property->mChoices)
        labels.emplace_back(choice->mRawValue, veltmeta::ToUTF8(choice->mLabel));
      return labels;
    }
  }
  return {};
}

std::string LabelOf(const std::vector<std::pair<std::string, std::string>>& labels,
                    const std::string& value) {
  for (const auto& [raw, label] : labels)
    if (raw == value) return label;
  return "";
}

void Print(const veltmeta::RecentLists& lists, bool json) {
  veltmeta::Session session;  // for the labels of closed choices
  if (json) std::printf("[");
  bool first = true;
  for (const auto& [key, values] : lists) {
    const auto labels = ClosedChoiceLabels(key);
    if (json) {
      // Values as strings; a closed choice adds the labels of the values it knows.
      std::string items, named;
      for (const std::string& value : values) {
        items += (items.empty() ? "" : ", ") + JsonString(value);
        const std::string label = LabelOf(labels, value);
        if (!label.empty())
          named += (named.empty() ? "" : ", ") + JsonString(value) + ": " + JsonString(label);
      }
      std::printf("%s\n  {\"property\": %s, \"values\": [%s]%s}", first ? "" : ",",
                  JsonString(key).c_str(), items.c_str(),
                  labels.empty() ? "" : (", \"labels\": {" + named + "}").c_str());
    } else {
      std::printf("%s%s\n", key.c_str(), values.empty() ? "  (none)" : "");
      for (const std::string& value : values) {
        const std::string label = LabelOf(labels, value);
        std::printf("  %s%s\n", value.c_str(), label.empty() ? "" : ("  (" + label + ")").c_str());
      }
    }
    first = false;
  }
  if (json) std::printf("%s]\n", lists.empty() ? "" : "\n");
}

int RunRecent(const std::vector<std::string>& args) {
  bool json = false;
  bool clear = false;
  std::vector<std::string> keys;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "--clear") {
      clear = true;
    } else if (arg == "--help" || arg == "-h") {
      std::printf("%s", kUsage);
      return 0;
    } else if (arg.starts_with("-")) {
      std::fprintf(stderr, "veltmeta recent: unknown option '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      keys.push_back(arg);
    }
  }
  if (clear && json) {
    std::fprintf(stderr, "veltmeta recent: --clear and --json do not go together\n%s", kUsage);
    return 2;
  }
  if (clear) {
    std::string error;
    if (!veltmeta::ClearRecentValues(keys, error)) {
      std::fprintf(stderr, "veltmeta recent: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  veltmeta::RecentLists lists = veltmeta::LoadRecentValues();
  if (!keys.empty()) {
    veltmeta::RecentLists chosen;
    for (const std::string& key : keys)
      chosen[key] = lists[key];
    lists = std::move(chosen);
  }
  Print(lists, json);
  return 0;
}

}  // namespace

static veltmeta::CommandRegistrar kReg{
    {"recent", "recent [PROPERTY...] [--json] [--clear]",
     "recently used values per property (as recorded by set), or forget them", &RunRecent}};
