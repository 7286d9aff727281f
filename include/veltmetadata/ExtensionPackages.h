#pragma once

// Extension packages: folders that add schemas, views and localised texts to the library.
// Each direct sub-folder of the machine's and the user's extension folder
// (CustomExtensionsGlobalDirectory, CustomExtensionsUserDirectory) is one package:
//
//   manifest.xml   required:
//                    <?xml version="1.0" encoding="UTF-8" ?>
//                    <extension xmlns="<kExtensionNamespace>" name="..." version="1.5"
//                               locFilePrefix="mypanel">
//                    </extension>
//   schema/*.xml   definitions files, merged into registered schemas of the same namespace
//   view/*.xml     view definitions files
//   loc/           dictionaries "<locFilePrefix>_<language>.dict" (or "<language>.dict")
//
// Of two packages with the same name the higher version is loaded (a version that is no
// number counts as 0); with equal versions the first one found, the machine's before the
// user's. A package is read only inside its own folder: `locFilePrefix` must be a plain file
// name (no "/" or "\", not "." or ".."), and links leading out of the package or out of the
// extension folder are not followed; each refusal is reported. The XML layer refuses a
// DOCTYPE, entity declarations and excessive nesting: such a manifest is reported as invalid
// XML and its package skipped.

#include "veltcore/Export.h"
#include "veltmetadata/GenericPanels.h"

namespace veltmetadata {

// The package manifest reader. The handler that reads the XML is internal; the reader is
// driven through ParseExtensionManifestFromDocument, and only its record is public.
struct ExtensionManifestParser {
  // The attribute texts of the manifest's `extension` element as read (the version as
  // text); missing or empty ones stay empty.
  struct ManifestInfo {
    UTF16String name;
    UTF16String version;
    UTF16String locFilePrefix;
  };
};

// Reads the manifest at `path` into `info` (filled whatever the outcome). False when the XML
// could not be parsed; that is reported with `path` as the file.
VELT_EXPORT bool ParseExtensionManifestFromDocument(const UTF8String& path,
                                                    ExtensionManifestParser::ManifestInfo& info);

// Writes the manifest of a package converted from a legacy panel to `path`: the panel's
// name, version and localization file as name, version and locFilePrefix. Creates the folder
// when missing and replaces the file only once the new one is complete. Returns whether the
// folder exists.
VELT_EXPORT bool WriteExtensionManifest(const GenericPanelManifestParser::ManifestInfo& manifest,
                                        const UTF16String& path);

// Loads the built-in views and every extension package (their dictionaries, schemas and
// views), adding each view to the view list. Only the first call after Initialize does work;
// the hosts calls it before it asks for views. Problems are collected in the error list.
VELT_EXPORT void LoadAllViewDefinitions();

}  // namespace veltmetadata
