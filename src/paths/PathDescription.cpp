#include "veltmetadata/Path.h"

#include <algorithm>

#include "registry/Assert.h"
#include "veltmetadata/DynamicSchemas.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPUtils.h"
#include "xmp/XMP_Const.h"

namespace veltmetadata {

namespace {

// Byte-wise comparison with the bytes taken as unsigned, whatever the sign of char.
int CompareBytes(const UTF8String& a, const UTF8String& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// A property made on demand for an entry of a dynamic schema: text, labelled by its name.
std::shared_ptr<EntryDefinition> DynamicProperty(const UTF8String& entryName) {
  const UTF16String label = veltcore::string::UTF8to16(entryName);
  return CreateNewProperty(kPrimitiveType_Text, entryName, label, label, UTF16String(),
                           UTF16String());
}

}  // namespace

bool operator<(const Path& a, const Path& b) {
  const int byNamespace = CompareBytes(a.mNamespace, b.mNamespace);
  if (byNamespace != 0) return byNamespace < 0;
  return CompareBytes(a.mPathDescription, b.mPathDescription) < 0;
}

Path CreatePathFromSchemaProperty(const std::shared_ptr<SchemaDefinition>& inSchemaDefinition,
                                  const std::shared_ptr<PropertyDefinition>& inPropertyDefinition) {
  if (!inSchemaDefinition || !inPropertyDefinition) {
    VELT_CHECK(false, "inSchemaDefinition && inPropertyDefinition");
    return Path();
  }
  return Path{inPropertyDefinition->mInternal, inSchemaDefinition->mNamespace,
              inPropertyDefinition->mName, inPropertyDefinition->mName,
              inSchemaDefinition->mNamespace};
}

Path CreatePathFromStructureField(const Path& inPath,
                                  const std::shared_ptr<FieldDefinition>& inField) {
  const auto definition = inField ? PathEntryDefinition(inPath) : nullptr;
  if (!inField || !definition || !definition->mType) {
    VELT_CHECK(false, "inField && definition && definition->mType");
    return Path();
  }
  std::string fieldPath;
  try {
    fieldPath = SXMPUtils::ComposeStructFieldPath(inPath.mNamespace, inPath.mPathDescription,
                                                  inField->mNamespace, inField->mName);
  } catch (const XMP_Error&) {
    // A field the toolkit cannot address (unregistered namespace, bad name) has no Path.
    return Path();
  }
  return Path{inPath.mInternal, inPath.mNamespace, std::move(fieldPath), inField->mName,
              *definition->mType};
}

Path CreatePathFromArrayedStructureField(const Path& inPath,
                                         const std::shared_ptr<FieldDefinition>& inField) {
  const auto definition = inField ? PathEntryDefinition(inPath) : nullptr;
  if (!inField || !definition || !definition->mElementType) {
    VELT_CHECK(false, "inField && definition && definition->mElementType");
    return Path();
  }
  std::string fieldPath = SXMPUtils::ComposeStructFieldPath(
      inPath.mNamespace, inPath.mPathDescription, inField->mNamespace, inField->mName);
  return Path{inPath.mInternal, inPath.mNamespace, std::move(fieldPath), inField->mName,
              *definition->mElementType};
}

Path CreatePathFromQualifier(const Path& inPath,
                             const std::shared_ptr<QualifierDefinition>& inQualifier) {
  const auto definition = inQualifier ? PathEntryDefinition(inPath) : nullptr;
  if (!inQualifier || !definition || !definition->mType) {
    VELT_CHECK(false, "inQualifier && definition && definition->mType");
    return Path();
  }
  const UTF8String& qualifierNamespace =
      inQualifier->mNamespace.empty() ? inPath.mNamespace : inQualifier->mNamespace;
  std::string qualifierPath = SXMPUtils::ComposeQualifierPath(
      inPath.mNamespace, inPath.mPathDescription, qualifierNamespace, inQualifier->mName);
  return Path{inPath.mInternal, inPath.mNamespace, std::move(qualifierPath), inQualifier->mName,
              *definition->mType};
}

Path CreatePathFromElementType(const Path& inPath,
                               const std::shared_ptr<EntryDefinition>& inDefinition,
                               const std::shared_ptr<TypeDefinition>& inType) {
  if (!inDefinition || !inType) {
    VELT_CHECK(false, "inDefinition && inType");
    return Path();
  }
  return Path{inPath.mInternal, inPath.mNamespace, inPath.mPathDescription, inType->mName,
              inDefinition->mElementType.value_or(UTF8String())};
}

Path CreatePathFromArrayItem(const Path& inPath, int index) {
  const auto definition = PathEntryDefinition(inPath);
  const auto elementType = definition ? ElementTypeIdOf(*definition) : std::nullopt;
  if (!elementType) {
    VELT_CHECK(false, "elementType");
    return Path();
  }
  std::string itemPath =
      SXMPUtils::ComposeArrayItemPath(inPath.mNamespace, inPath.mPathDescription, index);
  UTF8String parentId;
  if (const auto type = TypeEntryDefinition(inPath)) {
    if (type->mExtends) {
      parentId = PrimitiveTypeAsPrimitiveTypeId(*type->mExtends);
    } else if (type->mType) {
      parentId = *type->mType;
    }
  }
  return Path{inPath.mInternal, inPath.mNamespace, std::move(itemPath), *elementType,
              std::move(parentId)};
}

std::shared_ptr<EntryDefinition> PathEntryDefinition(const Path& inPath) {
  // A top-level property resolves through its schema, a field through its containing type,
  // array items and elements through their element type id; the first hit wins.
  if (const auto schema = NamespaceDefinition(inPath.mParentId)) {
    if (schema->mDynamic) return DynamicProperty(inPath.mEntryName);
    if (auto property = PropertyNameDefinition(schema, inPath.mEntryName)) return property;
  }
  if (const auto type = TypeIdDefinition(inPath.mParentId)) {
    if (auto field = FieldNameDefinition(type, inPath.mEntryName)) return field;
  }
  return TypeIdDefinition(inPath.mEntryName);
}

std::optional<PrimitiveType> PrimitiveTypeOfPath(const Path& inPath) {
  const auto definition = PathEntryDefinition(inPath);
  if (!definition) {
    VELT_CHECK(false, "definition");
    return std::nullopt;
  }
  if (definition->mType) {
    if (const auto primitive = PrimitiveTypeIdAsPrimitiveType(*definition->mType)) return primitive;
    const auto typeDefinition = TypeIdDefinition(*definition->mType);
    if (!typeDefinition) {
      VELT_CHECK(false, "typeDefinition");
      return std::nullopt;
    }
    return typeDefinition->mExtends;
  }
  if (definition->mExtends) return definition->mExtends;
  VELT_CHECK(false, "false");
  return std::nullopt;
}

std::shared_ptr<TypeDefinition> TypeEntryDefinition(const Path& inPath) {
  const auto definition = PathEntryDefinition(inPath);
  if (!definition) {
    VELT_CHECK(false, "definition");
    return nullptr;
  }
  const auto primitive = PrimitiveTypeOfPath(inPath);
  const bool internalArray = inPath.mInternal && primitive &&
                             (*primitive == kPrimitiveType_Bag || *primitive == kPrimitiveType_Seq);
  if (internalArray) {
    // An internal array is described by its element type.
    const auto elementType = ElementTypeIdOf(*definition);
    if (!elementType) {
      VELT_CHECK(false, "elementType");
      return nullptr;
    }
    return TypeIdDefinition(*elementType);
  }
  return definition->mType ? TypeIdDefinition(*definition->mType) : nullptr;
}

bool IsPathAnArray(const Path& inPath, bool includeExternal) {
  const auto primitive = PrimitiveTypeOfPath(inPath);
  return primitive && (*primitive == kPrimitiveType_Bag || *primitive == kPrimitiveType_Seq) &&
         (inPath.mInternal || includeExternal);
}

Path PathForSchemaNameAndPropertyName(const UTF8String& inSchemaNamespace,
                                      const UTF8String& inPropertyName) {
  const auto schema = NamespaceDefinition(inSchemaNamespace);
  if (!schema) return Path();
  return CreatePathFromSchemaProperty(schema, PropertyNameDefinition(schema, inPropertyName));
}

Path PathForSchemaNameAndPropertyName(const UTF16String& inSchemaNamespace,
                                      const UTF16String& inPropertyName) {
  return PathForSchemaNameAndPropertyName(veltcore::string::UTF16to8(inSchemaNamespace),
                                          veltcore::string::UTF16to8(inPropertyName));
}

}  // namespace veltmetadata
