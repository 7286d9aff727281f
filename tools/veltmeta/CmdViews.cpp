// veltmeta views [--json]: the views the library knows after loading the built-in views and
// the extension packages, with their labels, item counts and pruning.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "PanelBuilder.h"
#include "Session.h"
#include "veltmetadata/ExtensionPackages.h"

namespace {

using veltmeta::JsonString;

// Takes a view's summary as BuildView hands it over; items are not needed.
struct SummaryBuilder : veltmetadata::ViewBuilderInterface {
  veltmetadata::ViewInfo mInfo;
  void StartView(const veltmetadata::ViewInfo& info) override { mInfo = info; }
  void EndView(const veltmetadata::ViewDefinition&) override {}
  void BuildItem(const veltmetadata::ViewItemPtr&) override {}
};

int RunViews(const std::vector<std::string>& args) {
  bool json = false;
  for (const auto& arg : args) {
    if (arg != "--json") {
      std::fprintf(stderr,
                   "veltmeta views: unknown argument '%s' (usage: veltmeta views [--json])\n",
                   arg.c_str());
      return 2;
    }
    json = true;
  }
  veltmeta::Session session;
  veltmetadata::LoadAllViewDefinitions();
  const auto views = veltmetadata::CommonViewDefinitions();
  if (json) std::printf("[");
  for (std::size_t i = 0; i < views.size(); ++i) {
    SummaryBuilder summary;
    veltmetadata::BuildView(views[i], summary);
    const veltmetadata::ViewInfo& info = summary.mInfo;
    const std::string label = veltmeta::Localized(info.mLabel);
    if (json) {
      std::printf(
          "%s\n  {\"name\": %s, \"label\": %s, \"description\": %s, \"items\": %zu, "
          "\"pruneEmptyProperties\": %s}",
          i ? "," : "", JsonString(info.mName).c_str(), JsonString(label).c_str(),
          JsonString(veltmeta::Localized(info.mDescription)).c_str(), info.mItemCount,
          info.mPruneEmptyProperties ? "true" : "false");
    } else {
      std::printf("%-16s %-24s %3zu items%s\n", info.mName.c_str(), label.c_str(), info.mItemCount,
                  info.mPruneEmptyProperties ? "  [hides empty properties]" : "");
    }
  }
  if (json) std::printf("%s]\n", views.empty() ? "" : "\n");
  return 0;
}

const veltmeta::CommandRegistrar kReg{{"views", "views [--json]",
                                       "the panels of the built-in views and extension packages",
                                       &RunViews}};

}  // namespace
