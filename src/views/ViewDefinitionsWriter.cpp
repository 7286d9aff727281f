// Writing a view definitions file for the schemas of a converted legacy panel.
#include "veltmetadata/ViewDefinitionsFile.h"

#include <map>

#include "veltcore/Files.h"
#include "veltcore/Xml.h"
#include "veltmetadata/Namespaces.h"
#include "views/SafeWrite.h"

namespace veltmetadata {

namespace {

using veltcore::string::UTF16to8;

class ViewText {
 public:
  explicit ViewText(UTF8String& out) : mOut(out) {}

  void Indent(int depth) { mOut.append(static_cast<std::size_t>(depth), '\t'); }
  void Attribute(const UTF8String& name, const UTF8String& value) {
    if (value.empty()) return;
    mOut += ' ';
    mOut += name;
    mOut += "=\"";
    mOut += veltcore::xml::utils::EncodeReservedCharacters(std::string_view(value));
    mOut += '"';
  }
  void Text(const char* text) { mOut += text; }

  void Separator(int depth) {
    Indent(depth);
    mOut += "<separator/>\n";
  }

  void Property(const SchemaDefinition& schema, const PropertyDefinition& property, int depth,
                const std::vector<std::shared_ptr<SchemaDefinition>>& referenceSchemas) {
    const bool separator = property.mUIHints && property.mUIHints->mSeparator;
    if (property.mName.empty() && property.mUIHints) {
      if (separator) Separator(depth);
      return;
    }
    const Differences differences = Compare(schema, property, referenceSchemas);
    Indent(depth);
    mOut += "<property";
    Attribute("name", schema.mPrefix + ":" + property.mName);
    if (differences.mReadOnly) Attribute("readOnly", "true");
    if (differences.mLabel) Attribute("label", UTF16to8(property.mLabelZString));
    if (differences.mDescription) Attribute("description", UTF16to8(property.mDescriptionZString));
    if (differences.mDropdown) {
      Attribute("widget", "dropdown");
      if (property.mType == "openchoice") Attribute("openChoice", "true");
    }
    if (property.mUIHints && property.mUIHints->mMultiLine) Attribute("multiLines", "3");
    if (differences.mDropdown && !property.mChoices.empty()) {
      mOut += ">\n";
      for (const auto& choice : property.mChoices) {
        if (!choice) continue;
        Indent(depth + 1);
        mOut += "<choice";
        Attribute("label", UTF16to8(choice->mLabelZString));
        Attribute("value", choice->mRawValue);
        mOut += " />\n";
      }
      Indent(depth);
      mOut += "</property>\n";
    } else {
      mOut += " />\n";
    }
    if (separator) Separator(depth);
  }

 private:
  struct Differences {
    bool mLabel = false;
    bool mDescription = false;
    bool mDropdown = false;
    bool mReadOnly = false;
  };

  // What the view must say about a property beyond its name: the texts and widget in which it
  // differs from the registered definition, or, for a namespace nobody registered, from the
  // reference definitions.
  static Differences Compare(const SchemaDefinition& schema, const PropertyDefinition& property,
                             const std::vector<std::shared_ptr<SchemaDefinition>>& references) {
    Differences d;
    if (const auto registered = NamespaceDefinition(schema.mNamespace)) {
      const auto known = PropertyNameDefinition(registered, property.mName);
      if (!known) return d;
      d.mLabel = property.mLabelZString != known->mLabelZString;
      d.mDescription = property.mDescriptionZString != known->mDescriptionZString;
      d.mDropdown = property.mType != known->mType && property.mElementType &&
                    property.mElementType == known->mType &&
                    (property.mType == "openchoice" || property.mType == "closedchoice");
      return d;
    }
    for (const auto& reference : references) {
      if (!reference) continue;
      for (const auto& other : reference->mProperties) {
        if (!other || other->mName != property.mName) continue;
        const bool label = other->mLabelZString != property.mLabelZString;
        const bool description = other->mDescriptionZString != property.mDescriptionZString;
        if (other->mInternal == property.mInternal && !label && !description) continue;
        d.mLabel = label;
        d.mDescription = description;
        d.mReadOnly = property.mInternal && !other->mInternal;
        return d;
      }
    }
    return d;
  }

  UTF8String& mOut;
};

UTF8String ViewDocument(const std::vector<std::shared_ptr<SchemaDefinition>>& schemas,
                        const std::vector<std::shared_ptr<SchemaDefinition>>& referenceSchemas,
                        const GenericPanelManifestParser::ManifestInfo& manifest) {
  UTF8String out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
  if (schemas.empty()) return out;
  ViewText text(out);
  text.Text("<views");
  text.Attribute("xmlns", kViewsNamespace);
  text.Text(">\n\t<view");
  std::map<UTF8String, UTF8String> prefixes;
  for (const auto& schema : schemas) {
    if (schema) prefixes.emplace(schema->mPrefix, schema->mNamespace);
  }
  for (const auto& [prefix, uri] : prefixes)
    text.Attribute("xmlns:" + prefix, uri);
  text.Attribute("name", UTF16to8(manifest.name));
  text.Attribute("label", UTF16to8(manifest.label));
  text.Attribute("description", UTF16to8(manifest.description));
  text.Text(">\n");
  for (const auto& schema : schemas) {
    if (!schema) continue;
    const bool section = !schema->mLabelZString.empty();
    if (section) {
      text.Text("\t\t<section");
      text.Attribute("label", UTF16to8(schema->mLabelZString));
      text.Text(">\n");
    }
    for (const auto& property : schema->mProperties) {
      if (property) text.Property(*schema, *property, section ? 3 : 2, referenceSchemas);
    }
    if (section) text.Text("\t\t</section>\n");
  }
  text.Text("\t</view>\n</views>\n");
  return out;
}

}  // namespace

bool WriteViewDefinitionsFileFromSchema(
    const std::vector<std::shared_ptr<SchemaDefinition>>& schemas,
    const std::vector<std::shared_ptr<SchemaDefinition>>& referenceSchemas,
    const GenericPanelManifestParser::ManifestInfo& manifest, const UTF8String& path) {
  const UTF8String text = ViewDocument(schemas, referenceSchemas, manifest);
  const veltcore::filesupport::File file(std::string_view{path});
  if (!veltcore::filesupport::FileUtils::EnsureDirectoryExists(file.Parent())) return false;
  views::SafeWrite(file, text);
  return true;
}

}  // namespace veltmetadata
