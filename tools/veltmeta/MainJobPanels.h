#pragma once

// Renders the main job's output for one set of files read through one provider: a header
// (files, formats, associated files) and the panels of the views that have values.

#include <memory>
#include <string>
#include <vector>

#include "PanelBuilder.h"
#include "veltmetadata/MetaDataProvider.h"
#include "veltmetadata/Views.h"

namespace veltmeta {

// One file as the header names it.
struct ShownFile {
  std::string mName;                     // as shown (see ShownName)
  std::string mFormat;                   // the file format's code, e.g. "JPEG"
  std::vector<std::string> mAssociated;  // the files that make it up (the file, its sidecar)
  bool mHasXMP = false;
};

// The views in panel order: basic, camera, gps, iptccore, iptcextension, origin, video,
// audio, dicom, lumara, zpx (those that are loaded), then the others in list order.
std::vector<veltmetadata::ViewDefinitionPtr> PanelOrder();

// The header and panels of `files` as text. The provider holds their metadata (merged when
// there are several); views and sections without values are left out.
std::string PanelsText(const std::vector<ShownFile>& files,
                       const std::shared_ptr<veltmetadata::MetaDataProvider>& provider,
                       const std::vector<veltmetadata::ViewDefinitionPtr>& views,
                       const PanelOptions& options);

// The same as one JSON object: {"files": [{"name", "format", "associatedFiles", "xmp"}],
// "views": [view objects whose properties carry a typed "value"]}.
std::string PanelsJson(const std::vector<ShownFile>& files,
                       const std::shared_ptr<veltmetadata::MetaDataProvider>& provider,
                       const std::vector<veltmetadata::ViewDefinitionPtr>& views);

}  // namespace veltmeta
