#include "definitions/DefinitionsParser.h"

#include "ErrorList.h"
#include "Messages.h"
#include "ParserSupport.h"
#include "veltcore/Localizer.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/TypeChecks.h"

namespace veltmetadata {

namespace {

using veltcore::xml::AttributeList;
using veltcore::xml::AttributeMap;

// Parser messages show real quotes: the markers of the localised text are replaced before
// the arguments go in, so an element name holding "#{quot}" is shown as written.
void ReportParsing(const char* zstring, const std::vector<UTF8String>& args,
                   const UTF8String& file) {
  const UTF8String text = veltcore::string::ReplaceZStringMarkers(
      veltcore::config::Localizer::Get().Localize(std::string_view(zstring)));
  SendError(kDefinitionParsingError, veltcore::string::ReplaceInString(text, args), file);
}

// Attribute values pass through the entity decoder once more, so that references the XML
// parser left in place ("&amp;lt;" becomes "&lt;") are decoded as well. Most values hold
// no reference at all and are taken as they are.
UTF8String Decoded8(const UTF8String& value) {
  if (value.find('&') == UTF8String::npos) return value;
  return veltcore::xml::utils::DecodeReservedCharacters(std::string_view(value));
}

// Plain attributes by name; a missing attribute reads as empty.
class Attributes {
 public:
  explicit Attributes(const AttributeMap& map) : mMap(map) {}

  UTF8String Text(const char* name) const {
    const auto it = mMap.find(name);
    return it == mMap.end() ? UTF8String() : Decoded8(it->second);
  }
  std::optional<UTF8String> Optional(const char* name) const {
    UTF8String value = Text(name);
    if (value.empty()) return std::nullopt;
    return value;
  }

 private:
  const AttributeMap& mMap;
};

// The unqualified attributes of a namespaced start tag, as a map by name.
AttributeMap PlainAttributes(const AttributeList& attributes) {
  AttributeMap map;
  for (const auto& attribute : attributes) {
    if (attribute.mNamespaceURI.empty()) map.emplace(attribute.mLocalName, attribute.mValue);
  }
  return map;
}

// A label or description as written and as localised, both in UTF-16. Localising the UTF-8
// text and converting once costs far less than localising UTF-16 text.
struct LabelTexts {
  UTF16String mZString;
  UTF16String mLocalized;
};

LabelTexts Localized(const UTF8String& zstring) {
  LabelTexts texts;
  texts.mZString = veltcore::string::UTF8to16(zstring);
  const UTF8String localized =
      veltcore::config::Localizer::Get().Localize(std::string_view(zstring));
  texts.mLocalized = localized == zstring ? texts.mZString : veltcore::string::UTF8to16(localized);
  return texts;
}

template <class Record>
void ReadLabels(Record& record, const Attributes& attributes, const UTF16String& fallback) {
  LabelTexts label = Localized(attributes.Text("label"));
  LabelTexts description = Localized(attributes.Text("description"));
  record.mLabelZString = std::move(label.mZString);
  record.mDescriptionZString = std::move(description.mZString);
  record.mLabel = std::move(label.mLocalized);
  record.mDescription = std::move(description.mLocalized);
  if (record.mLabel.empty()) record.mLabel = fallback;
}

// The attributes shared by properties, types, fields and qualifiers.
void ReadEntry(EntryDefinition& entry, const Attributes& attributes) {
  entry.mType = attributes.Optional("type");
  if (auto name = attributes.Optional("name")) entry.mName = *name;
  if (auto extends = attributes.Optional("extends")) {
    entry.mExtends = PrimitiveTypeIdAsPrimitiveType(*extends);
    if (!entry.mExtends) ReportParsing(messages::kInvalidExtendType, {}, UTF8String());
  }
  entry.mElementType = attributes.Optional("element_type");
  entry.mPattern = attributes.Optional("pattern");
  if (auto max = attributes.Optional("max")) {
    entry.mMax = veltcore::string::StringToNumber(*max, veltcore::string::kParseAllowBlanks);
  }
  if (auto min = attributes.Optional("min")) {
    entry.mMin = veltcore::string::StringToNumber(*min, veltcore::string::kParseAllowBlanks);
  }
  if (auto deprecated = attributes.Optional("deprecated")) {
    entry.mDeprecated = (*deprecated == "true");
  }
  ReadLabels(entry, attributes, veltcore::string::UTF8to16(entry.mName));
}

template <class T, class Record, class Owner>
std::shared_ptr<std::vector<std::shared_ptr<T>>> ListOf(
    const std::shared_ptr<Record>& owner, std::vector<std::shared_ptr<T>> Owner::*list) {
  // Shares ownership of the record that holds the list.
  return std::shared_ptr<std::vector<std::shared_ptr<T>>>(owner, &((*owner).*list));
}

}  // namespace

DefinitionsParser::DefinitionsParser(const UTF8String& sourceName, DefinitionsPair& result)
    : mResult(result), mSourceName(sourceName) {}

DefinitionsParser::DefinitionsParser(DefinitionsParser&& other)
    : DefinitionsParser(static_cast<const DefinitionsParser&>(other)) {}

DefinitionsParser::~DefinitionsParser() = default;

void DefinitionsParser::StartElementWithNamespace(const UTF8String& namespaceURI,
                                                  const UTF8String& localName,
                                                  const UTF8String& qualifiedName,
                                                  const AttributeList& attributes) {
  if (namespaceURI == kFileInfoUINamespace) {
    if (localName == "separator") MarkSeparator(attributes);
    return;
  }
  if (namespaceURI.empty() && localName == "xmp_property") {
    StartProperty(attributes);
    return;
  }
  AbstractParseHandler::StartElementWithNamespace(namespaceURI, localName, qualifiedName,
                                                  attributes);
}

void DefinitionsParser::StartElement(const UTF8String& name, const AttributeMap& attributes) {
  if (name == "xmp_schema") {
    StartSchema(attributes);
  } else if (name == "xmp_field") {
    StartField(attributes);
  } else if (name == "xmp_type") {
    StartType(attributes);
  } else if (name == "xmp_choice") {
    StartChoice(attributes);
  } else if (name == "xmp_qualifier") {
    StartQualifier(attributes);
  } else if (name != "xmp_definitions") {
    ReportParsing(messages::kInvalidDefinitionsTag, {name}, mSourceName);
  }
}

void DefinitionsParser::MarkSeparator(const AttributeList& attributes) {
  if (!mPropertyList) {
    ReportParsing(messages::kInvalidPropertyTag,
                  {Attributes(PlainAttributes(attributes)).Text("name")}, mSourceName);
    return;
  }
  if (mPropertyList->empty() || !mPropertyList->back()) return;
  auto& hints = mPropertyList->back()->mUIHints;
  if (!hints) hints.emplace();
  hints->mSeparator = true;
}

void DefinitionsParser::StartProperty(const AttributeList& list) {
  const AttributeMap map = PlainAttributes(list);
  const Attributes attributes(map);
  if (!mPropertyList) {
    ReportParsing(messages::kInvalidPropertyTag, {attributes.Text("name")}, mSourceName);
    return;
  }
  auto property = std::make_shared<PropertyDefinition>();
  property->mInternal = attributes.Text("category") == "internal";
  ReadEntry(*property, attributes);
  for (const auto& attribute : list) {
    if (attribute.mNamespaceURI == kFileInfoUINamespace && attribute.mLocalName == "multiLine" &&
        Decoded8(attribute.mValue) == "true") {
      property->mUIHints = PropertyUIHints{false, true};
    }
  }
  mChoiceList = ListOf(property, &EntryDefinition::mChoices);
  mQualifierList = ListOf(property, &EntryDefinition::mQualifiers);
  mPropertyList->push_back(std::move(property));
}

void DefinitionsParser::StartSchema(const AttributeMap& map) {
  const Attributes attributes(map);
  auto schema = std::make_shared<SchemaDefinition>();
  schema->mNamespace = attributes.Text("namespace");
  schema->mPrefix = attributes.Text("prefix");
  ReadLabels(*schema, attributes, veltcore::string::UTF8to16(schema->mPrefix));
  schema->mDynamic = attributes.Text("dynamic") == "true";
  mPropertyList = ListOf(schema, &SchemaDefinition::mProperties);
  mResult.first.push_back(std::move(schema));
}

void DefinitionsParser::StartField(const AttributeMap& map) {
  const Attributes attributes(map);
  if (!mFieldList) {
    ReportParsing(messages::kInvalidFieldTag, {attributes.Text("name")}, mSourceName);
    return;
  }
  auto field = std::make_shared<FieldDefinition>();
  field->mNamespace = attributes.Text("namespace");
  field->mPrefix = attributes.Text("prefix");
  ReadEntry(*field, attributes);
  mChoiceList = ListOf(field, &EntryDefinition::mChoices);
  mQualifierList = ListOf(field, &EntryDefinition::mQualifiers);
  mFieldList->push_back(std::move(field));
}

void DefinitionsParser::StartType(const AttributeMap& map) {
  auto type = std::make_shared<TypeDefinition>();
  ReadEntry(*type, Attributes(map));
  mFieldList = ListOf(type, &TypeDefinition::mFields);
  mChoiceList = ListOf(type, &EntryDefinition::mChoices);
  mQualifierList = ListOf(type, &EntryDefinition::mQualifiers);
  mResult.second.push_back(std::move(type));
}

void DefinitionsParser::StartChoice(const AttributeMap& map) {
  if (!mChoiceList) {
    ReportParsing(messages::kInvalidChoiceTag, {}, mSourceName);
    return;
  }
  const Attributes attributes(map);
  auto choice = std::make_shared<ChoiceDefinition>();
  choice->mRawValue = attributes.Text("raw_value");
  LabelTexts label = Localized(attributes.Text("label"));
  choice->mLabelZString = std::move(label.mZString);
  choice->mLabel = veltcore::xml::utils::DecodeReservedCharacters(label.mLocalized);
  if (choice->mLabel.empty()) choice->mLabel = veltcore::string::UTF8to16(choice->mRawValue);
  mChoiceList->push_back(std::move(choice));
}

void DefinitionsParser::StartQualifier(const AttributeMap& map) {
  if (!mQualifierList) {
    ReportParsing(messages::kInvalidQualifierTag, {}, mSourceName);
    return;
  }
  const Attributes attributes(map);
  auto qualifier = std::make_shared<QualifierDefinition>();
  qualifier->mNamespace = attributes.Text("namespace");
  qualifier->mPrefix = attributes.Text("prefix");
  ReadEntry(*qualifier, attributes);
  // Qualifiers do not nest: the owner's qualifier list stays current.
  mChoiceList = ListOf(qualifier, &EntryDefinition::mChoices);
  mQualifierList->push_back(std::move(qualifier));
}

namespace {

// Parses with a fresh handler; true when the XML was well-formed.
template <class ParseFn>
bool RunParse(const UTF8String& sourceName, DefinitionsPair& result, ParseFn parse) {
  auto handler = std::make_shared<DefinitionsParser>(sourceName, result);
  auto parser = GetParserWithNamespaceSupport(*handler);
  if (parse(*parser) == 0) return true;
  ReportParsing(messages::kInvalidXML, {}, sourceName);
  return false;
}

DefinitionsPair Register(DefinitionsPair definitions, const UTF8String& sourceName, bool merge) {
  if (RegisterTypeDefinitions(definitions.second, sourceName)) {
    CheckFieldTypes(definitions.second, sourceName);
  } else {
    definitions.second.clear();
  }
  bool schemasRegistered = true;
  if (!merge) {
    schemasRegistered = RegisterSchemaDefinitions(definitions.first, sourceName);
    if (!schemasRegistered) definitions.first.clear();
  } else {
    std::erase_if(definitions.first, [&](const std::shared_ptr<SchemaDefinition>& schema) {
      return !RegisterSchemaDefinition(schema, sourceName, true);
    });
  }
  if (schemasRegistered) CheckPropertyTypes(definitions.first, sourceName);
  return definitions;
}

}  // namespace

DefinitionsPair ParseBufferForDefinitions(const UTF8String& buffer, const UTF8String& sourceName) {
  DefinitionsPair result;
  RunParse(sourceName, result, [&](veltcore::xml::Parser& parser) { return parser.Parse(buffer); });
  return result;
}

DefinitionsPair ParseDocumentForDefinitions(const UTF8String& path) {
  DefinitionsPair result;
  ParseDocumentForDefinitions(path, result);
  return result;
}

bool ParseDocumentForDefinitions(const UTF8String& path, DefinitionsPair& result) {
  return RunParse(path, result,
                  [&](veltcore::xml::Parser& parser) { return parser.ParseFile(path); });
}

DefinitionsPair ParseBufferAndRegisterDefinitions(const UTF8String& buffer,
                                                  const UTF8String& sourceName, bool merge) {
  return Register(ParseBufferForDefinitions(buffer, sourceName), sourceName, merge);
}

DefinitionsPair ParseDocumentAndRegisterDefinitions(const UTF8String& path, bool merge) {
  return Register(ParseDocumentForDefinitions(path), path, merge);
}

}  // namespace veltmetadata
