#pragma once

// View definitions files: XML documents in kViewsNamespace describing panels.
//
//   <views xmlns="<kViewsNamespace>">
//     <view name="camera" label="$$$/..." pruneEmptyProperties="true" xmlns:exif="...">
//       <section label="...">
//         <property name="exif:FNumber" />
//         <property name="exif:Flash/exif:Fired" widget="checkbox" />
//         <separator />
//         <formatter required_path="exif:GPSLatitude" format="@0, @1">
//           <property name="exif:GPSLatitude" /> <property name="exif:GPSLongitude" />
//         </formatter>
//       </section>
//       <property name="dc:format" widget="dropdown">
//         <param name="hint" value="..." /> <choice value="image/jpeg" label="JPEG" />
//       </property>
//     </view>
//   </views>
//
// `property`, `section`, `separator`, `note` and `formatter` are items (widget names "",
// "section", "separator", "note", "formatter"); `item` is a generic one whose widget comes
// from its `widget` attribute. Item attributes other than name, widget, label, labelRef,
// description and descriptionRef become widget parameters; one ending in "_path" names a
// property and adds "<attr>_uri", "<attr>_name" and (for a structure field) "<attr>_field".
// Properties are named "prefix:Name" or "prefix:Struct/prefix:Field" with prefixes declared
// in scope. Elements of other namespaces are ignored.
//
// The XML layer refuses a DOCTYPE, entity declarations and excessive nesting: such a file
// is reported as invalid XML and yields the views completed before the refusal.

#include <memory>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/GenericPanels.h"
#include "veltmetadata/Registry.h"
#include "veltmetadata/Views.h"

namespace veltmetadata {

// Parses a document held in memory; `sourceName` names it in reports. Returns the views
// completed, in document order, also after a failure; adds none to the view list.
VELT_EXPORT std::vector<ViewDefinitionPtr> ParseViewDefinitionsFromBuffer(
    const UTF8String& buffer, const UTF8String& sourceName);
// Parses the file at `path` (UTF-8), which is also the source name.
VELT_EXPORT std::vector<ViewDefinitionPtr> ParseViewDefinitionsFromDocument(const UTF8String& path);

// Writes one view for the schemas of a converted legacy panel to `path` (replacing the file
// only once the new one is complete): a section per labelled schema, its properties with the
// labels, descriptions, dropdowns and hints that differ from the registered (or reference)
// definitions. Creates the folder when missing; returns whether the folder exists. A failed
// write is not detected.
VELT_EXPORT bool WriteViewDefinitionsFileFromSchema(
    const std::vector<std::shared_ptr<SchemaDefinition>>& schemas,
    const std::vector<std::shared_ptr<SchemaDefinition>>& referenceSchemas,
    const GenericPanelManifestParser::ManifestInfo& manifest, const UTF8String& path);

}  // namespace veltmetadata
