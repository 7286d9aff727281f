#include "veltmetadata/DefinitionsWriter.h"

#include "veltcore/Files.h"
#include "veltcore/Xml.h"
#include "veltmetadata/DynamicSchemas.h"

namespace veltmetadata {

namespace {

using veltcore::string::UTF16to8;

// Builds the document text element by element; depth d is indented with d tabs.
class DocumentBuilder {
 public:
  explicit DocumentBuilder(UTF8String& out) : mOut(out) {}

  void Schema(const SchemaDefinition& schema, int depth) {
    Open("xmp_schema", depth);
    Attribute("namespace", schema.mNamespace);
    Attribute("prefix", schema.mPrefix);
    Labels(schema);
    mOut += ">\n";
    for (const auto& property : schema.mProperties) {
      if (property) Property(*property, depth + 1);
    }
    Close("xmp_schema", depth);
  }

  void Type(const TypeDefinition& type, int depth) {
    Open("xmp_type", depth);
    if (type.mFields.empty()) {
      Entry(type, "xmp_type", depth);
      return;
    }
    EntryAttributes(type, Choices::kDropped);
    mOut += ">\n";
    for (const auto& field : type.mFields) {
      if (field) Member(*field, "xmp_field", depth + 1);
    }
    Close("xmp_type", depth);
  }

 private:
  void Property(const PropertyDefinition& property, int depth) {
    Open("xmp_property", depth);
    Attribute("category", property.mInternal ? "internal" : "external");
    Entry(property, "xmp_property", depth);
  }

  template <class Record>
  void Member(const Record& record, const char* element, int depth) {
    Open(element, depth);
    Attribute("namespace", record.mNamespace);
    Attribute("prefix", record.mPrefix);
    Entry(record, element, depth);
  }

  void Choice(const ChoiceDefinition& choice, int depth) {
    Open("xmp_choice", depth);
    Attribute("raw_value", choice.mRawValue);
    Attribute("label", Preferred(choice.mLabelZString, choice.mLabel));
    mOut += " />\n";
  }

  // The entry attributes and the body: choices, then qualifiers.
  void Entry(const EntryDefinition& entry, const char* element, int depth) {
    const bool has_body = !entry.mChoices.empty() || !entry.mQualifiers.empty();
    EntryAttributes(entry, entry.mChoices.empty() ? Choices::kDropped : Choices::kWritten);
    if (!has_body) {
      mOut += " />\n";
      return;
    }
    mOut += ">\n";
    for (const auto& choice : entry.mChoices) {
      if (choice) Choice(*choice, depth + 1);
    }
    for (const auto& qualifier : entry.mQualifiers) {
      if (qualifier) Member(*qualifier, "xmp_qualifier", depth + 1);
    }
    Close(element, depth);
  }

  // Whether the entry's element is followed by a list of choices.
  enum class Choices { kWritten, kDropped };

  // A choice list needs an element type; "text" stands in when none is given.
  void EntryAttributes(const EntryDefinition& entry, Choices choices) {
    Attribute("name", entry.mName);
    if (entry.mType) Attribute("type", *entry.mType);
    if (entry.mExtends) Attribute("extends", PrimitiveTypeAsPrimitiveTypeId(*entry.mExtends));
    Labels(entry);
    if (entry.mElementType) {
      Attribute("element_type", *entry.mElementType);
    } else if (choices == Choices::kWritten) {
      Attribute("element_type", kTypeText);
    }
    if (entry.mPattern) Attribute("pattern", *entry.mPattern);
    if (entry.mMax) Attribute("max", Number(*entry.mMax));
    if (entry.mMin) Attribute("min", Number(*entry.mMin));
    if (entry.mDeprecated.value_or(false)) Attribute("deprecated", "true");
  }

  template <class Record>
  void Labels(const Record& record) {
    Attribute("label", Preferred(record.mLabelZString, record.mLabel));
    Attribute("description", Preferred(record.mDescriptionZString, record.mDescription));
  }

  static UTF8String Preferred(const UTF16String& zstring, const UTF16String& localized) {
    return UTF16to8(zstring.empty() ? localized : zstring);
  }

  static UTF8String Number(double value) {
    return UTF16to8(veltcore::string::NumberToString(value, 1, 2, 0, 31));
  }

  void Open(const char* element, int depth) {
    mOut.append(static_cast<std::size_t>(depth), '\t');
    mOut += '<';
    mOut += element;
  }

  void Close(const char* element, int depth) {
    mOut.append(static_cast<std::size_t>(depth), '\t');
    mOut += "</";
    mOut += element;
    mOut += ">\n";
  }

  void Attribute(const char* name, const UTF8String& value) {
    if (value.empty()) return;
    mOut += ' ';
    mOut += name;
    mOut += "=\"";
    mOut += veltcore::xml::utils::EncodeReservedCharacters(value);
    mOut += '"';
  }

  UTF8String& mOut;
};

void WriteText(const UTF8String& text, const veltcore::filesupport::File& file) {
  veltcore::filesupport::SafeSave save(file);
  if (save.IsValid() &&
      veltcore::filesupport::FileUtils::SimpleWriteStringToFile(save.TempFile(), text)) {
    save.Commit();
  }
}

}  // namespace

void WriteDefinitionsToBuffer(SchemaDefinitionRange schemas, TypeDefinitionRange types,
                              UTF8String& out) {
  out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
  if (schemas.first == schemas.second && types.first == types.second) return;
  out += "<xmp_definitions>\n";
  DocumentBuilder builder(out);
  for (auto it = schemas.first; it != schemas.second; ++it) {
    if (*it) builder.Schema(**it, 1);
  }
  for (auto it = types.first; it != types.second; ++it) {
    if (*it) builder.Type(**it, 1);
  }
  out += "</xmp_definitions>\n";
}

bool WriteSchemaFile(DefinitionsPair definitions, const veltcore::filesupport::File& file) {
  UTF8String text;
  WriteDefinitionsToBuffer({definitions.first.cbegin(), definitions.first.cend()},
                           {definitions.second.cbegin(), definitions.second.cend()}, text);
  if (!veltcore::filesupport::FileUtils::EnsureDirectoryExists(file.Parent())) return false;
  WriteText(text, file);
  return true;
}

void RewriteSchemaFile(std::shared_ptr<SchemaDefinition> schema) {
  const UTF16String path = filePathForSchema(schema);
  if (path.empty()) return;
  DefinitionsPair definitions{allSchemasFromSourceFile(path), allTypesFromSourceFile(path)};
  WriteSchemaFile(std::move(definitions), veltcore::filesupport::File(path));
}

}  // namespace veltmetadata
