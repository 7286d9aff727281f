#include "veltmetadata/Directories.h"

#include "veltcore/Files.h"

namespace veltmetadata {

namespace {

using veltcore::filesupport::Dir;

constexpr const char* kCustomDefinitions = "Orvane/XMP/Custom File Info Panels/4.0/custom";
constexpr const char* kExtensions = "Orvane/XMP/Metadata Extensions";

Dir SystemRoot() {
  return veltcore::filesupport::DirHelper::SystemDir(44);
}
Dir UserRoot() {
  return Dir::GlobalPrefDir();
}

const char* PanelsFolder(TaviVersion version) {
  switch (version) {
    case kTaviPanels40:
      return "Orvane/XMP/Custom File Info Panels/4.0/panels";
    case kTaviPanels30:
      return "Orvane/XMP/Custom File Info Panels/3.0/panels";
    default:
      return "Orvane/XMP/Custom File Info Panels/2.0/panels";
  }
}

UTF8String CreatedPath(const Dir& folder) {
  folder.EnsureExists();
  return folder.FullPathUTF8();
}

}  // namespace

UTF16String CustomDefinitionsGlobalDirectory() {
  return SystemRoot().SubDir(kCustomDefinitions).FullPath();
}

UTF16String CustomDefinitionsUserDirectory() {
  return UserRoot().SubDir(kCustomDefinitions).FullPath();
}

UTF8String CustomExtensionsGlobalDirectory() {
  return CreatedPath(SystemRoot().SubDir(kExtensions));
}

UTF8String CustomExtensionsUserDirectory() {
  return CreatedPath(UserRoot().SubDir(kExtensions));
}

UTF16String PanelsDefinitionsGlobalDirectory(TaviVersion version) {
  return SystemRoot().SubDir(PanelsFolder(version)).FullPath();
}

UTF16String PanelsDefinitionsUserDirectory(TaviVersion version) {
  return UserRoot().SubDir(PanelsFolder(version)).FullPath();
}

}  // namespace veltmetadata
