// SXMPUtils: path composition, handed to the path syntax module.

#include "xmp/SXMPUtils.h"

#include "XMPPath.h"

std::string SXMPUtils::ComposeArrayItemPath(const std::string& schemaNS,
                                            const std::string& arrayName, XMP_Index index) {
  return xmpcore::ComposeArrayItemPath(schemaNS, arrayName, index);
}

std::string SXMPUtils::ComposeStructFieldPath(const std::string& schemaNS,
                                              const std::string& structName,
                                              const std::string& fieldNS,
                                              const std::string& fieldName) {
  return xmpcore::ComposeStructFieldPath(schemaNS, structName, fieldNS, fieldName);
}

std::string SXMPUtils::ComposeQualifierPath(const std::string& schemaNS,
                                            const std::string& propName, const std::string& qualNS,
                                            const std::string& qualName) {
  return xmpcore::ComposeQualifierPath(schemaNS, propName, qualNS, qualName);
}

std::string SXMPUtils::ComposeLangSelector(const std::string& schemaNS,
                                           const std::string& arrayName, const std::string& lang) {
  return xmpcore::ComposeLangSelector(schemaNS, arrayName, lang);
}

std::string SXMPUtils::ComposeFieldSelector(const std::string& schemaNS,
                                            const std::string& arrayName,
                                            const std::string& fieldNS,
                                            const std::string& fieldName,
                                            const std::string& fieldValue) {
  return xmpcore::ComposeFieldSelector(schemaNS, arrayName, fieldNS, fieldName, fieldValue);
}
