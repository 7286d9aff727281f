// View definitions files and both kinds of manifest of any content: parsing and walking what
// was read must never crash, hang or leak, whatever the document holds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "ErrorList.h"
#include "LibraryFuzzing.h"
#include "veltcore/Files.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/GenericPanels.h"
#include "veltmetadata/ViewDefinitionsFile.h"

namespace {

// Visits every item of a view, nested ones included, asking for its texts.
struct Walker : veltmetadata::ViewBuilderInterface {
  void StartView(const veltmetadata::ViewInfo&) override {}
  void EndView(const veltmetadata::ViewDefinition&) override {}
  void BuildItem(const veltmetadata::ViewItemPtr& item) override {
    if (!item) return;
    item->GetLabel();
    item->GetDescription();
    for (const auto& child : item->mChildItems)
      BuildItem(child);
  }
};

// Manifests are read from files: one per process, rewritten for each input.
std::string ManifestPath() {
  return (std::filesystem::temp_directory_path() /
          ("fuzz_views_manifest_" + std::to_string(::getpid()) + ".xml"))
      .string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velt_fuzz::StartLibraryOnce();
  static const std::string manifest = ManifestPath();
  const std::string buffer(reinterpret_cast<const char*>(data), size);

  // The length picks the reader, so that every seed is tried by all three as the fuzzer
  // grows and shrinks it.
  switch (size % 3) {
    case 0: {
      Walker walker;
      for (const auto& view : veltmetadata::ParseViewDefinitionsFromBuffer(buffer, "fuzz"))
        veltmetadata::BuildView(view, walker);
      break;
    }
    case 1: {
      veltcore::filesupport::FileUtils::SimpleWriteStringToFile(
          veltcore::filesupport::File(std::string_view(manifest)), buffer);
      veltmetadata::ExtensionManifestParser::ManifestInfo info;
      veltmetadata::ParseExtensionManifestFromDocument(manifest, info);
      break;
    }
    default: {
      veltcore::filesupport::FileUtils::SimpleWriteStringToFile(
          veltcore::filesupport::File(std::string_view(manifest)), buffer);
      veltmetadata::GenericPanelManifestParser::ManifestInfo info;
      veltmetadata::ParseManifestFromDocument(manifest, info);
      break;
    }
  }
  veltmetadata::ClearErrorList();
  return 0;
}
