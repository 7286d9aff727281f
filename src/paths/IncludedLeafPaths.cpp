#include "veltmetadata/IncludedLeafPaths.h"

#include <filesystem>
#include <system_error>

#include "veltcore/Xml.h"
#include "veltmetadata/PathTraversal.h"

namespace veltmetadata {

// The parse handler of included-leaf-paths documents; it adds each resolvable leaf Path to
// the set it was given (which must outlive it). Elements other than metadata_path and its
// five children are ignored, as are all attributes (the version is not examined). A
// metadata_path with missing children gives a Path with empty fields, which then does not
// resolve and is skipped.
class MetadataPrefsXMLHandler : public veltcore::xml::AbstractParseHandler {
 public:
  explicit MetadataPrefsXMLHandler(PathSet* outPaths);

  void StartElement(const UTF8String& name, const veltcore::xml::AttributeMap& attributes) override;
  void EndElement(const UTF8String& name) override;
  void Characters(const UTF8String& text) override;

 private:
  PathSet* mPaths;
  UTF16String mInternal;
  UTF16String mNamespace;
  UTF16String mDescription;
  UTF16String mEntryName;
  UTF16String mParentId;
  // Where character data goes now; null between elements.
  UTF16String* mTarget = nullptr;
};

namespace {

using veltcore::string::UTF16to8;
using veltcore::string::UTF8to16;
using veltcore::xml::utils::EncodeReservedCharacters;

void AppendElement(UTF8String& out, const char* name, const UTF8String& value) {
  out += '<';
  out += name;
  out += '>';
  out += EncodeReservedCharacters(std::string_view(value));
  out += "</";
  out += name;
  out += ">\n";
}

// Parses with a handler collecting into a temporary set, which replaces the caller's set
// only when the whole document parsed.
template <class Parse>
bool ReadInto(PathSet& outPaths, const Parse& parse) {
  try {
    PathSet collected;
    MetadataPrefsXMLHandler handler(&collected);
    const auto parser = veltcore::xml::GetParser(handler);
    if (!parser || parse(*parser) != 0) return false;
    outPaths.clear();
    outPaths.insert(collected.begin(), collected.end());
    return true;
  } catch (...) {
    // Toolkit and allocation errors while resolving Paths: the document counts as unread.
    return false;
  }
}

}  // namespace

void PathAsXMLFragment(UTF8String& out, const Path& inPath) {
  out.clear();
  out += "<metadata_path>";
  AppendElement(out, "internal", inPath.mInternal ? "true" : "false");
  AppendElement(out, "namespace", inPath.mNamespace);
  AppendElement(out, "description", inPath.mPathDescription);
  AppendElement(out, "entry_name", inPath.mEntryName);
  AppendElement(out, "parent_id", inPath.mParentId);
  out += "</metadata_path>\n";
}

void IncludedLeafPathsAsXMLString(const PathSet& inPaths, UTF8String& out) {
  out.clear();
  out += "<?xml version='1.0'?>\n";
  out += "<md.paths version='";
  out += "1.0";
  out += "'>\n";
  UTF8String fragment;
  for (const Path& path : inPaths) {
    PathAsXMLFragment(fragment, path);
    out += fragment;
  }
  out += "</md.paths>\n";
}

bool ReadIncludedLeafPathsAsXMLString(PathSet& outPaths, const UTF8String& inDocument) {
  if (inDocument.size() > kMaxIncludedLeafPathsDocumentSize) return false;
  return ReadInto(outPaths,
                  [&](veltcore::xml::Parser& parser) { return parser.Parse(inDocument); });
}

bool ReadIncludedLeafPathsAsXMLFile(PathSet& outPaths, const UTF16String& inFilePath) {
  const UTF8String path = UTF16to8(inFilePath);
  std::error_code error;
  const auto size = std::filesystem::file_size(std::filesystem::u8path(path), error);
  if (error || size > kMaxIncludedLeafPathsDocumentSize) return false;
  return ReadInto(outPaths, [&](veltcore::xml::Parser& parser) { return parser.ParseFile(path); });
}

MetadataPrefsXMLHandler::MetadataPrefsXMLHandler(PathSet* outPaths) : mPaths(outPaths) {}

void MetadataPrefsXMLHandler::StartElement(const UTF8String& name,
                                           const veltcore::xml::AttributeMap& /*attributes*/) {
  if (name == "metadata_path") {
    mInternal.clear();
    mNamespace.clear();
    mDescription.clear();
    mEntryName.clear();
    mParentId.clear();
  } else if (name == "internal") {
    mTarget = &mInternal;
  } else if (name == "namespace") {
    mTarget = &mNamespace;
  } else if (name == "description") {
    mTarget = &mDescription;
  } else if (name == "entry_name") {
    mTarget = &mEntryName;
  } else if (name == "parent_id") {
    mTarget = &mParentId;
  }
}

void MetadataPrefsXMLHandler::Characters(const UTF8String& text) {
  if (mTarget) *mTarget += UTF8to16(text);
}

void MetadataPrefsXMLHandler::EndElement(const UTF8String& name) {
  if (name != "metadata_path") {
    mTarget = nullptr;
    return;
  }
  Path path{mInternal == u"true", UTF16to8(mNamespace), UTF16to8(mDescription),
            UTF16to8(mEntryName), UTF16to8(mParentId)};
  // Paths whose definition is gone or that became containers are dropped silently; insert
  // keeps the first of two equal Paths.
  if (mPaths && PathEntryDefinition(path) && IsLeafPath(path)) mPaths->insert(std::move(path));
}

}  // namespace veltmetadata
