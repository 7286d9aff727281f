// Reading and writing the manifests of extension packages and legacy panels.
#include "veltmetadata/ExtensionPackages.h"

#include <span>
#include <utility>

#include "ErrorList.h"
#include "ParserSupport.h"
#include "veltcore/Files.h"
#include "veltcore/Xml.h"
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

// Reads the attributes of one element of a manifest into a record of UTF-16 texts: on each
// element with the given namespace URI and local name, every attribute with a non-empty value
// whose local name is in the field table goes to its field (a later one replaces an earlier
// one); other attributes and elements are ignored.
template <class Info>
class ManifestParser : public veltcore::xml::AbstractParseHandler {
 public:
  // An attribute's local name and the field it fills.
  using Field = std::pair<const char*, UTF16String Info::*>;

  ManifestParser(const char* namespaceURI, const char* element, std::span<const Field> fields)
      : mNamespace(namespaceURI), mElement(element), mFields(fields) {}

  void StartElementWithNamespace(const UTF8String& namespaceURI, const UTF8String& localName,
                                 const UTF8String&,
                                 const veltcore::xml::AttributeList& attributes) override {
    if (namespaceURI != mNamespace || localName != mElement) return;
    for (const auto& attribute : attributes) {
      if (attribute.mValue.empty()) continue;
      for (const auto& [name, member] : mFields) {
        if (attribute.mLocalName == name) mInfo.*member = UTF8to16(attribute.mValue);
      }
    }
  }

  const Info& GetInfo() const { return mInfo; }

 private:
  const char* mNamespace;
  const char* mElement;
  std::span<const Field> mFields;
  Info mInfo;
};

using ExtensionInfo = ExtensionManifestParser::ManifestInfo;
using PanelInfo = GenericPanelManifestParser::ManifestInfo;
using ExtensionHandler = ManifestParser<ExtensionInfo>;
using PanelHandler = ManifestParser<PanelInfo>;

constexpr ExtensionHandler::Field kExtensionFields[] = {
    {"name", &ExtensionInfo::name},
    {"version", &ExtensionInfo::version},
    {"locFilePrefix", &ExtensionInfo::locFilePrefix}};

constexpr PanelHandler::Field kPanelFields[] = {
    {"name", &PanelInfo::name},
    {"label", &PanelInfo::label},
    {"description", &PanelInfo::description},
    {"type", &PanelInfo::type},
    {"version", &PanelInfo::version},
    {"panelLibrary", &PanelInfo::panelLibrary},
    {"panelClass", &PanelInfo::panelClass},
    {"propertyDescriptionFile", &PanelInfo::propertyDescriptionFile},
    {"localizationFile", &PanelInfo::localizationFile},
    {"modifyDate", &PanelInfo::modifyDate},
    {"visible", &PanelInfo::visible}};

}  // namespace

bool ParseExtensionManifestFromDocument(const UTF8String& path,
                                        ExtensionManifestParser::ManifestInfo& info) {
  ExtensionHandler handler(kExtensionNamespace, "extension", kExtensionFields);
  auto parser = GetParserWithNamespaceSupport(handler);
  const bool ok = parser->ParseFile(path) == 0;
  info = handler.GetInfo();
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

bool ParseManifestFromDocument(const UTF8String& path,
                               GenericPanelManifestParser::ManifestInfo& info) {
  PanelHandler handler(kFileInfoNamespace, "panel", kPanelFields);
  auto parser = veltcore::xml::GetParser(handler);
  const bool ok = parser->ParseFile(path) == 0;
  info = handler.GetInfo();
  if (!ok) SendError(kPanelManifestParsingError, ErrorDetail(kPanelInvalidXML), path);
  return ok;
}

}  // namespace veltmetadata
