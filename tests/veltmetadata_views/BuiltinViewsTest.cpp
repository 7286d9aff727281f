// The built-in views load cleanly, every item names a defined property, and the image-editor
// and raw-settings properties that real files carry resolve and show in their panels.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "LibraryFixture.h"
#include "TestSupport.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/Registry.h"
#include "veltmetadata/Views.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace {

using namespace veltmetadata;

class BuiltinViews : public velttest::LibraryFixture {};

bool ShowsNoProperty(const ViewItem& item) {
  static const std::set<std::string> kContainers = {"section", "separator", "note", "formatter"};
  return kContainers.contains(item.mWidgetName);
}

void ForEachItem(const std::vector<ViewItemPtr>& items,
                 const std::function<void(const ViewItem&)>& visit) {
  for (const auto& item : items) {
    ASSERT_TRUE(item);
    visit(*item);
    ForEachItem(item->mChildItems, visit);
  }
}

TEST_F(BuiltinViews, LoadWithoutErrorsAndEveryItemResolves) {
  ASSERT_FALSE(HasErrors());
  LoadAllViewDefinitions();
  EXPECT_FALSE(HasErrors()) << (HasErrors() ? GetErrorInfos()[0].mMessage : "");
  std::set<std::string> names;
  for (const auto& view : CommonViewDefinitions()) {
    names.insert(view->mName);
    EXPECT_EQ(view->mLabel.rfind("$$$/veltmetadata/views/", 0), 0u) << view->mName;
    std::size_t properties = 0;
    ForEachItem(view->mItems, [&](const ViewItem& item) {
      if (ShowsNoProperty(item)) return;
      ++properties;
      EXPECT_FALSE(item.mPath.empty()) << view->mName << " " << item.mWidgetName;
      EXPECT_TRUE(PathEntryDefinition(item.mPath))
          << view->mName << " " << item.mPath.mPathDescription;
      EXPECT_FALSE(item.GetLabel().empty()) << view->mName << " " << item.mPath.mPathDescription;
    });
    EXPECT_GE(properties, 6u) << view->mName;
  }
  EXPECT_EQ(names, (std::set<std::string>{"audio", "basic", "camera", "dicom", "gps", "iptccore",
                                          "iptcextension", "lumara", "origin", "video", "zpx"}));
  for (const char* pruned : {"camera", "gps", "audio", "video", "dicom"})
    EXPECT_TRUE(GetViewDefinitionForName(pruned)->mPruneEmptyProperties) << pruned;
}

// Whether some item of the view shows the property at `path`.
bool PanelShows(const std::string& view, const Path& path) {
  bool found = false;
  ForEachItem(GetViewDefinitionForName(view)->mItems, [&](const ViewItem& item) {
    found = found || (item.mPath.mNamespace == path.mNamespace &&
                      item.mPath.mPathDescription == path.mPathDescription);
  });
  return found;
}

TEST_F(BuiltinViews, ExifToolWrittenEditorAndRawSettingsResolveAndShow) {
  VELT_REQUIRE_COMMANDS("exiftool");
  struct Written {
    StandardSchema mSchema;
    const char* mName;
    const char* mExifTool;  // ExifTool's tag name
    const char* mValue;
    const char* mPanel;  // a built-in view that shows it, or null
  };
  const Written written[] = {
      {kStandardSchema_lumara, "City", "City", "Porto", "origin"},
      {kStandardSchema_lumara, "Headline", "Headline", "Harbour at dawn", "iptccore"},
      {kStandardSchema_lumara, "Credit", "Credit", "Velt Press", "origin"},
      {kStandardSchema_lumara, "Instructions", "Instructions", "No crops", "origin"},
      {kStandardSchema_lumara, "Urgency", "Urgency", "3", "origin"},
      {kStandardSchema_lumara, "ICCProfile", "ICCProfileName", "sRGB IEC61966-2.1", "lumara"},
      {kStandardSchema_qmt, "Temperature", "ColorTemperature", "5200", nullptr},
      {kStandardSchema_qmt, "WhiteBalance", "WhiteBalance", "Custom", nullptr},
  };
  velttest::TempDir dir;
  const auto jpeg = dir / "written.jpg";
  std::filesystem::copy_file(VELT_SOURCE_DIR "/samples/sample.jpg", jpeg);
  std::string command = "exiftool -q -overwrite_original";
  for (const auto& w : written) {
    command += std::string(" '-XMP-") +
               (w.mSchema == kStandardSchema_lumara ? "photoshop" : "crs") + ":" + w.mExifTool +
               "=" + w.mValue + "'";
  }
  int status = 0;
  velttest::RunCommand(command + " '" + jpeg.string() + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << command;

  SXMPMeta meta;
  SXMPFiles file;
  ASSERT_TRUE(file.OpenFile(jpeg.string(), kXMP_UnknownFile, kXMPFiles_OpenForRead));
  ASSERT_TRUE(file.GetXMP(&meta));
  LoadAllViewDefinitions();
  for (const auto& w : written) {
    const Path path =
        PathForSchemaNameAndPropertyName(StandardSchemaNamespace(w.mSchema), UTF8String(w.mName));
    ASSERT_FALSE(path.empty()) << w.mName;
    const auto definition = PathEntryDefinition(path);
    ASSERT_TRUE(definition) << w.mName;
    EXPECT_EQ(definition->mName, w.mName);
    std::string value;
    EXPECT_TRUE(meta.GetProperty(path.mNamespace, path.mPathDescription, &value, nullptr))
        << w.mName;
    EXPECT_EQ(value, w.mValue);
    if (w.mPanel) {
      EXPECT_TRUE(PanelShows(w.mPanel, path)) << w.mName << " in " << w.mPanel;
    }
  }
}

}  // namespace
