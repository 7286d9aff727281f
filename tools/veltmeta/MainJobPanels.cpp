#include "MainJobPanels.h"

#include <algorithm>
#include <array>

#include "Json.h"
#include "MainJobValues.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"

namespace veltmeta {

namespace {

constexpr std::array<const char*, 11> kFixedOrder = {"basic",         "camera", "gps",   "iptccore",
                                                     "iptcextension", "origin", "video", "audio",
                                                     "dicom",         "lumara", "zpx"};

// Fills panels from one metadata handle: display reads, "<multiple values>" where merged
// files differ and, for JSON, the typed value.
PanelValueLookup LookupFor(__XMPMeta__* meta, bool typed) {
  return
      [meta, typed](const veltmetadata::Path& path) { return ReadPanelValue(meta, path, typed); };
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (const auto& part : parts)
    out += (out.empty() ? "" : separator) + part;
  return out;
}

std::string HeaderText(const std::vector<ShownFile>& files) {
  std::vector<std::string> names;
  std::vector<std::string> formats;
  std::vector<std::string> associated;
  std::vector<std::string> withoutXMP;
  for (const ShownFile& file : files) {
    names.push_back(file.mName);
    if (std::find(formats.begin(), formats.end(), file.mFormat) == formats.end())
      formats.push_back(file.mFormat);
    associated.insert(associated.end(), file.mAssociated.begin(), file.mAssociated.end());
    if (!file.mHasXMP) withoutXMP.push_back(file.mName);
  }
  std::string out =
      std::string(files.size() == 1 ? "File:    " : "Files:   ") + Joined(names, ", ") + "\n";
  out += "Format:  " + Joined(formats, ", ") + "\n";
  if (associated.size() > files.size())
    out += "Associated files: " + Joined(associated, ", ") + "\n";
  if (withoutXMP.size() == files.size()) {
    out += files.size() == 1 ? "This file has no XMP metadata.\n"
                             : "None of these files has XMP metadata.\n";
  } else if (!withoutXMP.empty()) {
    out += "No XMP metadata in: " + Joined(withoutXMP, ", ") + "\n";
  }
  return out;
}

}  // namespace

std::vector<veltmetadata::ViewDefinitionPtr> PanelOrder() {
  std::vector<veltmetadata::ViewDefinitionPtr> ordered;
  for (const char* name : kFixedOrder) {
    if (auto view = veltmetadata::GetViewDefinitionForName(name)) ordered.push_back(view);
  }
  for (const auto& view : veltmetadata::CommonViewDefinitions()) {
    if (view && std::find(ordered.begin(), ordered.end(), view) == ordered.end())
      ordered.push_back(view);
  }
  return ordered;
}

std::string PanelsText(const std::vector<ShownFile>& files,
                       const std::shared_ptr<veltmetadata::MetaDataProvider>& provider,
                       const std::vector<veltmetadata::ViewDefinitionPtr>& views,
                       const PanelOptions& options) {
  std::string out = HeaderText(files);
  veltmetadata::MetaDataReadAccess access(provider);
  if (*access == nullptr) return out;
  PanelBuilder panel(PanelBuilder::Format::kText, LookupFor(*access, false));
  panel.SetOptions(options);
  for (const auto& view : views) {
    veltmetadata::BuildView(view, panel);
    if (panel.AnyShown()) out += "\n" + panel.Output();
  }
  return out;
}

std::string PanelsJson(const std::vector<ShownFile>& files,
                       const std::shared_ptr<veltmetadata::MetaDataProvider>& provider,
                       const std::vector<veltmetadata::ViewDefinitionPtr>& views) {
  std::string out = "{\"files\": [";
  for (std::size_t i = 0; i < files.size(); ++i) {
    const ShownFile& file = files[i];
    std::vector<std::string> associated;
    for (const auto& name : file.mAssociated)
      associated.push_back(JsonString(name));
    out += std::string(i == 0 ? "" : ", ") + "{\"name\": " + JsonString(file.mName) +
           ", \"format\": " + JsonString(file.mFormat) + ", \"associatedFiles\": [" +
           Joined(associated, ", ") + "], \"xmp\": " + (file.mHasXMP ? "true" : "false") + "}";
  }
  out += "],\n\"views\": [";
  veltmetadata::MetaDataReadAccess access(provider);
  bool first = true;
  if (*access != nullptr) {
    PanelBuilder panel(PanelBuilder::Format::kJson, LookupFor(*access, true));
    PanelOptions options;
    options.mPruneAlways = true;
    panel.SetOptions(options);
    for (const auto& view : views) {
      veltmetadata::BuildView(view, panel);
      if (!panel.AnyShown()) continue;
      std::string text = panel.Output();
      while (!text.empty() && text.back() == '\n')
        text.pop_back();
      out += (first ? "\n" : ",\n") + text;
      first = false;
    }
  }
  return out + "]}";
}

}  // namespace veltmeta
