// Reading and writing the manifests of extension packages and legacy panels.
#include "veltmetadata/ExtensionPackages.h"

#include "ErrorList.h"
#include "ParserSupport.h"
#include "veltcore/Files.h"
#include "veltmetadata/Namespaces.h"
#include "views/SafeWrite.h"

namespace veltmetadata {

namespace {

using veltcore::string::UTF16to8;
using veltcore::string::UTF8to16;

constexpr const char* kExtensionInvalidXML =
    "$$$/veltmetadata/ExtensionManifestParser/InvalidXML=invalid XML.";
constexpr const char* kPanelInvalidXML =
    "$$$/veltmetadata/GenericPanelManifestParser/InvalidXML=invalid XML.";

void Attribute(UTF8String& out, const char* name, const UTF16String& value) {
  if (value.empty()) return;
  out += ' ';
  out += name;
  out += "=\"";
  out += veltcore::xml::utils::EncodeReservedCharacters(std::string_view(UTF16to8(value)));
  out += '"';
}

}  // namespace

void ExtensionManifestParser::StartElementWithNamespace(
    const UTF8String& namespaceURI, const UTF8String& localName, const UTF8String&,
    const veltcore::xml::AttributeList& attributes) {
  if (namespaceURI != kExtensionNamespace || localName != "extension") return;
  for (const auto& attribute : attributes) {
    if (attribute.mValue.empty()) continue;
    const UTF8String& key = attribute.mLocalName;
    if (key == "name") mInfo.name = UTF8to16(attribute.mValue);
    if (key == "version") mInfo.version = UTF8to16(attribute.mValue);
    if (key == "locFilePrefix") mInfo.locFilePrefix = UTF8to16(attribute.mValue);
  }
}

bool ParseExtensionManifestFromDocument(const UTF8String& path,
                                        ExtensionManifestParser::ManifestInfo& info) {
  ExtensionManifestParser handler;
  auto parser = GetParserWithNamespaceSupport(handler);
  const bool ok = parser->ParseFile(path) == 0;
  info = handler.Info();
  if (!ok) SendError(kExtensionManifestParsingError, ErrorDetail(kExtensionInvalidXML), path);
  return ok;
}

bool WriteExtensionManifest(const GenericPanelManifestParser::ManifestInfo& manifest,
                            const UTF16String& path) {
  UTF8String out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<extension";
  Attribute(out, "xmlns", UTF8to16(kExtensionNamespace));
  Attribute(out, "name", manifest.name);
  Attribute(out, "version", manifest.version);
  Attribute(out, "locFilePrefix", manifest.localizationFile);
  out += ">\n</extension>\n";
  const veltcore::filesupport::File file(path);
  if (!veltcore::filesupport::FileUtils::EnsureDirectoryExists(file.Parent())) return false;
  views::SafeWrite(file, out);
  return true;
}

void GenericPanelManifestParser::StartElementWithNamespace(
    const UTF8String& namespaceURI, const UTF8String& localName, const UTF8String&,
    const veltcore::xml::AttributeList& attributes) {
  if (namespaceURI != kFileInfoNamespace || localName != "panel") return;
  const std::pair<const char*, UTF16String ManifestInfo::*> fields[] = {
      {"name", &ManifestInfo::name},
      {"label", &ManifestInfo::label},
      {"description", &ManifestInfo::description},
      {"type", &ManifestInfo::type},
      {"version", &ManifestInfo::version},
      {"panelLibrary", &ManifestInfo::panelLibrary},
      {"panelClass", &ManifestInfo::panelClass},
      {"propertyDescriptionFile", &ManifestInfo::propertyDescriptionFile},
      {"localizationFile", &ManifestInfo::localizationFile},
      {"modifyDate", &ManifestInfo::modifyDate},
      {"visible", &ManifestInfo::visible}};
  for (const auto& attribute : attributes) {
    if (attribute.mValue.empty()) continue;
    for (const auto& [name, member] : fields) {
      if (attribute.mLocalName == name) mInfo.*member = UTF8to16(attribute.mValue);
    }
  }
}

bool ParseManifestFromDocument(const UTF8String& path,
                               GenericPanelManifestParser::ManifestInfo& info) {
  GenericPanelManifestParser handler;
  auto parser = veltcore::xml::GetParser(handler);
  const bool ok = parser->ParseFile(path) == 0;
  info = handler.Info();
  if (!ok) SendError(kPanelManifestParsingError, ErrorDetail(kPanelInvalidXML), path);
  return ok;
}

}  // namespace veltmetadata
