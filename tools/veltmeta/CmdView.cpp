// veltmeta view NAME FILE... [--json]: the panel of a view filled with the metadata of one or
// more files (several are merged: a property on which they disagree shows as multiple values).
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "MainJobValues.h"
#include "PanelBuilder.h"
#include "Session.h"
#include "veltmetadata/AggregateProvider.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/TypicalProvider.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace {

using veltmeta::PanelValue;

constexpr const char* kUsage = "usage: veltmeta view NAME FILE... [--json]";

struct Session {
  Session() { veltmetadata::LoadAllViewDefinitions(); }
  veltmeta::Session mLibrary;
};

// The XMP of one file, read once when the command opens it: the same open the library's
// FileProvider makes (same handler, no packet scanning), done here so that the format check
// and the reading share it. A view never writes back.
class OpenedFileProvider : public veltmetadata::TypicalProviderImpl {
 public:
  explicit OpenedFileProvider(SXMPMeta* meta)
      : TypicalProviderImpl(meta == nullptr ? nullptr : meta->GetInternalRef()) {}

 protected:
  void WriteChanges(const std::vector<veltmetadata::Path>&) override {}
};

// Opens `file` and reads its XMP into a provider; null (after a one-line message) when it is
// no media file with a known format. XMP that cannot be read leaves the provider empty, with
// a warning.
std::shared_ptr<veltmetadata::MetaDataProvider> OpenFile(const std::string& file) {
  constexpr XMP_OptionBits kReadFlags = kXMPFiles_OpenForRead | kXMPFiles_OptimizeFileLayout;
  SXMPFiles opened;
  bool known = false;
  try {
    known = opened.OpenFile(file, kXMP_UnknownFile, kReadFlags);
  } catch (const XMP_Error&) {
  }
  if (!known) {
    std::fprintf(stderr, "veltmeta view: '%s' is no media file with a known format\n",
                 file.c_str());
    return nullptr;
  }
  SXMPMeta meta;
  bool found = false;
  try {
    found = opened.GetXMP(&meta);
  } catch (const XMP_Error& e) {
    std::fprintf(stderr, "veltmeta view: warning: %s; shown without metadata\n", e.GetErrMsg());
  }
  return std::make_shared<OpenedFileProvider>(found ? &meta : nullptr);
}

// The metadata of the files: one file's own provider, or an aggregate of all of them.
std::shared_ptr<veltmetadata::MetaDataProvider> ProviderFor(
    const std::vector<std::shared_ptr<veltmetadata::MetaDataProvider>>& providers) {
  if (providers.size() == 1) return providers.front();
  auto aggregate = std::make_shared<veltmetadata::AggregateProvider>();
  for (std::size_t i = 0; i < providers.size(); ++i)
    aggregate->AddProvider(providers[i], i + 1 == providers.size());
  return aggregate;
}

int RunView(const std::vector<std::string>& args) {
  bool json = false;
  std::vector<std::string> rest;
  for (const auto& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (arg.starts_with("-")) {
      std::fprintf(stderr, "veltmeta view: unknown option '%s' (%s)\n", arg.c_str(), kUsage);
      return 2;
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.size() < 2) {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
  }
  const std::vector<std::string> files(rest.begin() + 1, rest.end());
  for (const auto& file : files) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
      std::fprintf(stderr, "veltmeta view: '%s' is not a readable file\n", file.c_str());
      return 1;
    }
  }
  Session session;
  const auto view = veltmetadata::GetViewDefinitionForName(rest[0]);
  if (!view) {
    std::fprintf(stderr, "veltmeta view: no view named '%s' (see veltmeta views)\n",
                 rest[0].c_str());
    return 2;  // a name the user mistyped: a usage error
  }
  std::vector<std::shared_ptr<veltmetadata::MetaDataProvider>> providers;
  for (const auto& file : files) {
    providers.push_back(OpenFile(file));
    if (!providers.back()) return 1;
  }
  const auto provider = ProviderFor(providers);
  veltmetadata::MetaDataReadAccess access(provider);
  auto lookup = [&access](const veltmetadata::Path& path) {
    return veltmeta::ReadPanelValue(*access, path, false);
  };
  veltmeta::PanelBuilder panel(
      json ? veltmeta::PanelBuilder::Format::kJson : veltmeta::PanelBuilder::Format::kText, lookup);
  veltmetadata::BuildView(view, panel);
  std::fputs(panel.Output().c_str(), stdout);
  return 0;
}

const veltmeta::CommandRegistrar kReg{{"view", "view NAME FILE... [--json]",
                                       "the panel of a view filled from one or more files",
                                       &RunView}};

}  // namespace
