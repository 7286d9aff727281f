#pragma once

// The texts the view definitions parser reports.

namespace veltmetadata::view_messages {

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

}  // namespace veltmetadata::view_messages
