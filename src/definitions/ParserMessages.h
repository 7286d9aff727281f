#pragma once

// The texts the definitions parser reports (the registry's are in ErrorList.h).

namespace veltmetadata::messages {

// Definitions parser.
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

}  // namespace veltmetadata::messages
