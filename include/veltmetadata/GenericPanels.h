#pragma once

// Legacy generic panels: the panel manifest of an older panel package, and the conversion of
// panel folders into extension packages (see ExtensionPackages.h).
//
//   <panel xmlns="<kFileInfoNamespace>" name="..." label="..." description="..." type="generic"
//          version="..." propertyDescriptionFile="defs.xml" localizationFile="..." ... />
//
// The XML layer refuses a DOCTYPE, entity declarations and excessive nesting: such a
// manifest is reported as invalid XML.

#include "veltcore/Export.h"
#include "veltmetadata/Definitions.h"
#include "veltmetadata/Directories.h"

namespace veltmetadata {

// The legacy panel manifest reader. The handler that reads the XML is internal; the reader
// is driven through ParseManifestFromDocument, and only its record is public.
struct GenericPanelManifestParser {
  // The attribute texts of the manifest's `panel` element as read; an attribute that is
  // missing or empty stays empty.
  struct ManifestInfo {
    UTF16String name;
    UTF16String label;
    UTF16String description;
    UTF16String type;
    UTF16String version;
    UTF16String panelLibrary;
    UTF16String panelClass;
    UTF16String propertyDescriptionFile;
    UTF16String localizationFile;
    UTF16String modifyDate;
    UTF16String visible;
  };
};

// Reads the panel manifest at `path` into `info` (filled whatever the outcome). False when
// the XML could not be parsed; that is reported with `path` as the file.
VELT_EXPORT bool ParseManifestFromDocument(const UTF8String& path,
                                           GenericPanelManifestParser::ManifestInfo& info);

namespace utility {

// Converts the generic panels of both panels folders of `version` (the user's into the
// user's extension folder, the machine's into the machine's) and appends to `report` one
// entry per panel and per problem: "SUCCESS - ", "FAILURE - " or "INFO - " followed by a text
// ending in two line feeds.
VELT_EXPORT void LoadAndConvertGenericPanels(TaviVersion version, UTF16String& report);

// Converts every generic panel of `folder` (one sub-folder each) into a package folder of the
// same name in the extension folder `root`, appending to `report`. Reads only inside each
// panel's folder and writes only inside the new package folder: manifest values used as file
// names must be plain names, links leading out are not followed, and a package folder that
// exists (a link included) is left alone; each refusal is a FAILURE or INFO entry.
VELT_EXPORT void ConvertGenericPanelsFolder(TaviVersion version, const UTF16String& folder,
                                            const UTF16String& root, UTF16String& report);

}  // namespace utility

}  // namespace veltmetadata
