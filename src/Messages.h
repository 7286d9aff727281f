#pragma once

// The catalogue of the texts the library reports, as ZStrings ("$$$/veltmetadata/<area>/<key>="
// followed by the default text; "@0".."@2" stand for arguments), one namespace per reporter.

namespace veltmetadata {

// The registry and the definition loaders.
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

// The definitions parser.
namespace messages {
inline constexpr const char* kInvalidXML =
    "$$$/veltmetadata/DefinitionsParser/InvalidXML=invalid XML.";
inline constexpr const char* kInvalidPropertyTag =
    "$$$/veltmetadata/DefinitionsParser/InvalidPropertyTag=invalid property tag #{quot}@0#{quot}.";
inline constexpr const char* kInvalidFieldTag =
    "$$$/veltmetadata/DefinitionsParser/InvalidFieldTag=invalid field tag #{quot}@0#{quot}.";
inline constexpr const char* kInvalidChoiceTag =
    "$$$/veltmetadata/DefinitionsParser/InvalidChoiceTag=invalid choice tag.";
inline constexpr const char* kInvalidQualifierTag =
    "$$$/veltmetadata/DefinitionsParser/InvalidQualifierTag=invalid qualifier tag.";
inline constexpr const char* kInvalidDefinitionsTag =
    "$$$/veltmetadata/DefinitionsParser/InvalidDefinitionsTag=invalid definitions tag "
    "#{quot}@0#{quot}.";
inline constexpr const char* kInvalidExtendType =
    "$$$/veltmetadata/ParseEntryDefinition/InvalidExtendType=Entry must extend valid primitive "
    "type";
}  // namespace messages

// The view definitions parser.
namespace view_messages {
inline constexpr const char* kInvalidXML = "$$$/veltmetadata/view_parser/InvalidXML=invalid XML.";
inline constexpr const char* kNoViewsTag =
    "$$$/veltmetadata/view_parser/NoViewsTag=outermost Tag has to be <views/>.";
inline constexpr const char* kMissingUINameSpace =
    "$$$/veltmetadata/view_parser/MissingUINameSpace=missing namespace #{quot}@0#{quot}, views "
    "in the file will be skipped.";
inline constexpr const char* kViewHasNoName =
    "$$$/veltmetadata/view_parser/ViewHasNoName=<view> tag needs a name attribute.";
inline constexpr const char* kNoViewTag =
    "$$$/veltmetadata/view_parser/NoViewTag=the view definition file has no <view> tag.";
inline constexpr const char* kPropertyWithoutName =
    "$$$/veltmetadata/view_parser/PropertyWithoutName=found XMP property without a 'name' "
    "attribute.";
inline constexpr const char* kInvalidPrefixInXMPProperty =
    "$$$/veltmetadata/view_parser/InvalidPrefixInXMPProperty=invalid prefix in XMP property "
    "#{quot}@0#{quot}.";
inline constexpr const char* kInvalidXMPProperty =
    "$$$/veltmetadata/view_parser/InvalidXMPProperty=invalid XMP property #{quot}@0#{quot}.";
inline constexpr const char* kInvalidXMPPropertyInStruct =
    "$$$/veltmetadata/view_parser/InvalidXMPPropertyInStruct=invalid Structure in XMP property "
    "#{quot}@0#{quot}.";
inline constexpr const char* kInvalidXMPPropertyInStructureField =
    "$$$/veltmetadata/view_parser/InvalidXMPPropertyInStructureField=invalid Structure Field in "
    "XMP property #{quot}@0#{quot}.";
}  // namespace view_messages

}  // namespace veltmetadata
