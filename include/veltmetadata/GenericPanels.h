#pragma once

// Legacy generic panels: the panel manifest of an older panel package.
//
//   <panel xmlns="<kFileInfoNamespace>" name="..." label="..." description="..." type="generic"
//          version="..." propertyDescriptionFile="defs.xml" localizationFile="..." ... />
//
// The XML layer refuses a DOCTYPE, entity declarations and excessive nesting: such a
// manifest is reported as invalid XML.

#include "veltcore/Export.h"
#include "veltcore/Xml.h"
#include "veltmetadata/Definitions.h"

namespace veltmetadata {

// Reads the `panel` element of a panel manifest.
class VELT_EXPORT GenericPanelManifestParser : public veltcore::xml::AbstractParseHandler {
 public:
  // The attribute texts as read; an attribute that is missing or empty stays empty.
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

  void StartElementWithNamespace(const UTF8String& namespaceURI, const UTF8String& localName,
                                 const UTF8String& qualifiedName,
                                 const veltcore::xml::AttributeList& attributes) override;

  const ManifestInfo& Info() const { return mInfo; }

 private:
  ManifestInfo mInfo;
};

// Reads the panel manifest at `path` into `info` (filled whatever the outcome). False when
// the XML could not be parsed; that is reported with `path` as the file.
VELT_EXPORT bool ParseManifestFromDocument(const UTF8String& path,
                                           GenericPanelManifestParser::ManifestInfo& info);

}  // namespace veltmetadata
