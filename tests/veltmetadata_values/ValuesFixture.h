#pragma once

// A library fixture for the value operations: a test schema with the node kinds the built-in
// schemas lack (tests/data/veltmetadata/values_definitions.xml), packets parsed into metadata
// objects, and the display read as one call.

#include <string>

#include "LibraryFixture.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Path.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPMeta.h"

namespace velttest {

inline constexpr const char* kValuesNs = "http://example.com/values/test/";
inline constexpr const char* kValuesFieldNs = "http://example.com/values/fields/";

// A metadata object holding the RDF description body (properties with their prefixes;
// xmlns declarations for the common prefixes are added).
inline SXMPMeta Packet(const std::string& body) {
  const std::string packet =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
      "rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
      "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/' "
      "xmlns:exifEX='http://cipa.jp/exif/1.0/' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
      "xmlns:aux='http://ns.adobe.com/exif/1.0/aux/' xmlns:vtest='" +
      std::string(kValuesNs) + "' xmlns:vtf='" + kValuesFieldNs + "'>" + body +
      "</rdf:Description></rdf:RDF></x:xmpmeta>";
  return SXMPMeta(packet.data(), static_cast<XMP_StringLen>(packet.size()));
}

// The display read; "<none>" when nothing was read.
inline std::string Display(const SXMPMeta& meta, const veltmetadata::Path& path,
                           veltmetadata::GetValueResult* result = nullptr) {
  std::string text;
  if (!veltmetadata::GetValue(meta.GetInternalRef(), path, text, result)) return "<none>";
  return text;
}

class ValuesFixture : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    RegisterDataDefinitions("veltmetadata/values_definitions.xml");
    ASSERT_NE(veltmetadata::NamespaceDefinition(kValuesNs), nullptr);
  }

  static veltmetadata::Path Prop(const char* ns, const char* name) {
    return veltmetadata::PathForSchemaNameAndPropertyName(ns, name);
  }
  static veltmetadata::Path Field(const veltmetadata::Path& parent, const char* name) {
    const auto type = veltmetadata::TypeEntryDefinition(parent);
    return veltmetadata::CreatePathFromStructureField(
        parent, veltmetadata::FieldNameDefinition(type, name));
  }
};

}  // namespace velttest
