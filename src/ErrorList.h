#pragma once

// Internal side of the error collection: the one reporting entry point and the catalogue of
// the registry's and loaders' messages.

#include "veltmetadata/Errors.h"

namespace veltmetadata {

// Reports one problem: wraps `detail` in the localised message of `kind`, appends the report
// to the error list and calls the subscribers. Before anyone has subscribed (always the case
// during initialisation) the report is collected and an assertion is raised instead.
void SendError(ErrorKind kind, const UTF8String& detail, const UTF8String& file);

// Localises a catalogue ZString and fills its "@0".."@2" arguments: the detail of a report.
UTF8String ErrorDetail(const char* zstring, const std::vector<UTF8String>& args = {});

// Life cycle of the subscriber list, driven by Initialize and Terminate.
void CreateErrorListeners();      // first Initialize: an empty list exists from now on
void DropErrorListeners();        // final Terminate: the list and its subscribers are gone
void PurgeEmptyErrorListeners();  // a Terminate that does not end the library
void ClearErrorList();            // final Terminate: forget every report
bool ErrorListenersExist();

// The message catalogue of the registry and the definition loaders.
namespace errors {
inline constexpr const char* kDuplicateSchemaDefinition =
    "$$$/veltmetadata/ErrorInSchemaRegistration/duplicateSchemaDefinition=schema definition "
    "for #{quot}@0#{quot} already exists.";
inline constexpr const char* kDuplicatePropertyDefinition =
    "$$$/veltmetadata/ErrorInSchemaRegistration/duplicatePropertyDefinition=property "
    "definition for namespace #{quot}@0@1#{quot} already exists.";
inline constexpr const char* kNamespaceRegistration =
    "$$$/veltmetadata/ErrorInNamespaceRegistration=namespace #{quot}@0#{quot} couldn't be "
    "registered with prefix #{quot}@1#{quot}.";
inline constexpr const char* kDuplicateTypeDefinition =
    "$$$/veltmetadata/ErrorInTypeRegistration/duplicateTypeDefinition=type definition for "
    "#{quot}@0#{quot} already exists.";
inline constexpr const char* kInvalidType =
    "$$$/veltmetadata/ErrorInTypeRegistration/invalidType=invalid Type #{quot}@0#{quot}.";
inline constexpr const char* kInvalidElementTypeInTypeChangedToDefault =
    "$$$/veltmetadata/ErrorInArrayOrChoice/InvalidElementTypeInTypeChangedToDefault=invalid "
    "element type for type #{quot}@0#{quot} is changed to default type 'text'.";
inline constexpr const char* kInvalidTypeChangedToDefault =
    "$$$/veltmetadata/ErrorInProperty/InvalidTypeChangedToDefault=invalid type for XMP "
    "property #{quot}@0:@1#{quot} is changed to default type 'text'.";
inline constexpr const char* kInvalidElementTypeChangedToDefault =
    "$$$/veltmetadata/ErrorInArrayOrChoice/InvalidElementTypeChangedToDefault=invalid element "
    "type for XMP property #{quot}@0:@1#{quot} is changed to default type 'text'.";
inline constexpr const char* kInvalidElementType =
    "$$$/veltmetadata/ErrorInArrayOrChoice/InvalidElementType=XMP property "
    "#{quot}@0:@1#{quot} has an invalid element type #{quot}@2#{quot}.";
inline constexpr const char* kInvalidElementTypeInType =
    "$$$/veltmetadata/ErrorInArrayOrChoice/InvalidElementTypeInType=XMP type #{quot}@0#{quot} "
    "has an invalid element type #{quot}@1#{quot}.";
inline constexpr const char* kFieldInvalidType =
    "$$$/veltmetadata/ErrorInField/InvalidType=XMP property #{quot}@0:@1#{quot} has an "
    "invalid type #{quot}@2#{quot}.";
inline constexpr const char* kMissingManifest =
    "$$$/veltmetadata/ErrorInManifestParser/MissingManifest=manifest file is missing from "
    "extension package.";
inline constexpr const char* kMissingLocDir =
    "$$$/veltmetadata/ErrorInManifestParser/MissingLocDir=localization directory is missing "
    "from extension package.";
inline constexpr const char* kMissingSchemaAndView =
    "$$$/veltmetadata/ErrorInManifestParser/MissingSchemaAndView=neither schema nor view file "
    "is present in extension package.";
}  // namespace errors

}  // namespace veltmetadata
