// Item edits and counts of bag and seq properties, and templates.

#include "ErrorList.h"
#include "registry/Assert.h"
#include "values/ValueSupport.h"
#include "veltmetadata/MetaDataOperations.h"
#include "xmp/SXMPUtils.h"

namespace veltmetadata {

using values::ReportInvalidData;

namespace {

bool CheckedArray(const Path& path) {
  const bool isArray = IsPathAnArray(path, true);
  VELT_CHECK(isArray, "isArray");
  return isArray;
}

XMP_OptionBits TemplateFlags(TemplateImportOptions options) {
  switch (options) {
    case kTemplateImport_ReplaceAll:
      return kXMPTemplate_ReplaceExistingProperties | kXMPTemplate_ClearUnnamedProperties;
    case kTemplateImport_ReplaceExisting:
      return kXMPTemplate_ReplaceExistingProperties;
    case kTemplateImport_AddNew:
      return kXMPTemplate_AddNewProperties;
  }
  return 0;
}

}  // namespace

bool AddArrayItem(__XMPMeta__* inMeta, const Path& inPath, int index) {
  if (!CheckedArray(inPath) || !inMeta) return false;
  XMP_OptionBits itemOptions = 0;
  if (const std::shared_ptr<EntryDefinition> def = PathEntryDefinition(inPath)) {
    const std::shared_ptr<TypeDefinition> element = PropertyTypeOf(*def);
    if (element && IsStructType(*element)) itemOptions = kXMP_PropValueIsStruct;
  }
  try {
    SXMPMeta meta(inMeta);
    const std::string& ns = inPath.mNamespace;
    const std::string& name = inPath.mPathDescription;
    if (meta.CountArrayItems(ns, name) != 0) {
      const XMP_Index position = index == -1 ? kXMP_ArrayLastItem : index + 1;
      meta.SetArrayItem(ns, name, position, "", itemOptions | kXMP_InsertBeforeItem);
    } else {
      const bool ordered = PrimitiveTypeOfPath(inPath) == kPrimitiveType_Seq;
      meta.AppendArrayItem(ns, name, ordered ? kXMP_PropArrayIsOrdered : kXMP_PropValueIsArray,
                           "", itemOptions);
    }
    return true;
  } catch (const XMP_Error& error) {
    ReportInvalidData(kWritingXMPError, inPath, error.GetErrMsg());
  }
  return false;
}

bool DeleteArrayItem(__XMPMeta__* inMeta, const Path& inPath, int index) {
  if (!CheckedArray(inPath) || !inMeta) return false;
  try {
    SXMPMeta meta(inMeta);
    meta.DeleteArrayItem(inPath.mNamespace, inPath.mPathDescription, index + 1);
    if (meta.CountArrayItems(inPath.mNamespace, inPath.mPathDescription) == 0) {
      DeleteValue(inMeta, inPath);
    }
    return true;
  } catch (const XMP_Error& error) {
    ReportInvalidData(kWritingXMPError, inPath, error.GetErrMsg());
  }
  return false;
}

int CountArrayItems(__XMPMeta__* inMeta, const Path& inPath) {
  if (!inMeta || !IsPathAnArray(inPath, true)) return 0;
  try {
    SXMPMeta meta(inMeta);
    return meta.CountArrayItems(inPath.mNamespace, inPath.mPathDescription);
  } catch (const XMP_Error& error) {
    ReportInvalidData(kReadingXMPError, inPath, error.GetErrMsg());
  }
  return 0;
}

bool ApplyTemplate(__XMPMeta__* inMeta, __XMPMeta__* inTemplate, TemplateImportOptions inOptions) {
  if (!inMeta || !inTemplate) return false;
  try {
    SXMPMeta working(inMeta);
    const SXMPMeta templ(inTemplate);
    SXMPUtils::ApplyTemplate(&working, templ, TemplateFlags(inOptions));
    return true;
  } catch (const XMP_Error& error) {
    SendError(kWritingXMPError, ErrorDetail(values::kInvalidTemplate), error.GetErrMsg());
  }
  return false;
}

}  // namespace veltmetadata
