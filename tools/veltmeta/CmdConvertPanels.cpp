// veltmeta convert-panels [--panels 4.0|3.0|2.0] [FOLDER]: turns legacy generic panels into
// extension packages (FOLDER into the user's extension folder, else both standard panels
// folders into their extension folders) and prints the report; exit 1 on any failure.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Command.h"
#include "PanelBuilder.h"
#include "Session.h"
#include "TextConversion.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/GenericPanels.h"

namespace {

constexpr const char* kUsage = "usage: veltmeta convert-panels [--panels 4.0|3.0|2.0] [FOLDER]";

int RunConvertPanels(const std::vector<std::string>& args) {
  veltmetadata::TaviVersion version = veltmetadata::kTaviPanels40;
  std::string folder;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--panels" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      if (v == "4.0") {
        version = veltmetadata::kTaviPanels40;
      } else if (v == "3.0") {
        version = veltmetadata::kTaviPanels30;
      } else if (v == "2.0") {
        version = veltmetadata::kTaviPanels20;
      } else {
        std::fprintf(stderr, "veltmeta convert-panels: unknown panels version '%s' (%s)\n",
                     v.c_str(), kUsage);
        return 2;
      }
    } else if (args[i].starts_with("-") || !folder.empty()) {
      std::fprintf(stderr, "veltmeta convert-panels: unexpected argument '%s' (%s)\n",
                   args[i].c_str(), kUsage);
      return 2;
    } else {
      folder = args[i];
    }
  }
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "veltmeta convert-panels: '%s' is not a folder\n", folder.c_str());
    return 1;
  }
  std::u16string report;
  {
    veltmeta::Session session;
    if (folder.empty()) {
      veltmetadata::utility::LoadAndConvertGenericPanels(version, report);
    } else {
      veltmetadata::utility::ConvertGenericPanelsFolder(
          version, veltmeta::ToUTF16(std::filesystem::absolute(folder).string()),
          veltmeta::ToUTF16(veltmetadata::CustomExtensionsUserDirectory()), report);
    }
  }
  std::fputs(veltmeta::ToUTF8(report).c_str(), stdout);
  return report.find(u"FAILURE - ") == std::u16string::npos ? 0 : 1;
}

const veltmeta::CommandRegistrar kReg{
    {"convert-panels", "convert-panels [--panels 4.0|3.0|2.0] [FOLDER]",
     "turn legacy generic panels into extension packages", &RunConvertPanels}};

}  // namespace
