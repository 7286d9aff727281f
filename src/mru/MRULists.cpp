#include "veltmetadata/MRULists.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cstdint>
#include <exception>
#include <optional>
#include <sstream>
#include <string>

#include "mru/MRUFileCheck.h"
#include "veltcore/Files.h"
#include "veltmetadata/Namespaces.h"

namespace veltmetadata {

namespace {

namespace pt = boost::property_tree;
using veltcore::filesupport::Dir;
using veltcore::filesupport::File;
using veltcore::filesupport::FileUtils;

constexpr const char* kMRUFolder = "Orvane/XMP/File Info/";
constexpr const char* kMRUFileName = "FileinfoMRU.xml";

// The lists of the process. Outlives Terminate; guarded by nobody (see the header).
MRUListMap sMRULists;

Dir MRUFolder() {
  return Dir::GlobalPrefDir().SubDir(kMRUFolder);
}

File MRUFile() {
  return MRUFolder().GetFile(kMRUFileName);
}

// Raised when a list entry or key is not UTF-8; it ends the load like a reader error.
struct NotUTF8 : std::exception {};

UTF16String ToUTF16(const std::string& text) {
  UTF16String out;
  if (veltcore::string::UTF8to16(text, out) != veltcore::string::kConversionOK) throw NotUTF8();
  return out;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// The entry as written to the file: UTF-8 without carriage returns. An unpaired surrogate,
// which has no UTF-8 form, becomes U+FFFD so that the rest of the entry is kept.
std::string ToFileText(const UTF16String& entry) {
  UTF16String clean;
  clean.reserve(entry.size());
  for (std::size_t i = 0; i < entry.size(); ++i) {
    const char16_t c = entry[i];
    if (c == u'\r') continue;
    if (IsHighSurrogate(c) && i + 1 < entry.size() && IsLowSurrogate(entry[i + 1])) {
      clean.push_back(c);
      clean.push_back(entry[++i]);
    } else {
      clean.push_back(IsHighSurrogate(c) || IsLowSurrogate(c) ? u'\uFFFD' : c);
    }
  }
  return veltcore::string::UTF16to8(clean);
}

// Reads the whole file: its length, then one block. Nothing when it cannot be read or is
// too large to be an MRU file (it is then not read at all).
std::optional<std::string> ReadMRUBytes(const File& file) {
  veltcore::filesupport::IPlatformByteStream in(file);
  const std::int64_t length = in.Length();
  if (length < 0 || static_cast<std::uint64_t>(length) > mru::kMaxMRUFileBytes) return {};
  std::string bytes(static_cast<std::size_t>(length), '\0');
  bytes.resize(in.Read(bytes.data(), bytes.size()));
  return bytes;
}

// Merges the lists of a parsed document into sMRULists, in document order, until the first
// problem (which throws).
void MergeDocument(const pt::ptree& document) {
  const pt::ptree& lists = document.get_child("xfi:fileinfo").get_child("xfi:mruLists");
  for (const auto& [name, list] : lists) {
    if (name != "xfi:mruList") continue;
    const std::string key = list.get<std::string>("<xmlattr>.key");
    if (!veltcore::string::IsValidUTF8(key)) throw NotUTF8();
    std::list<UTF16String> entries;
    for (const auto& [childName, item] : list)
      if (childName == "item") entries.push_back(ToUTF16(item.data()));
    sMRULists.emplace(key, std::move(entries));
  }
}

}  // namespace

void LoadMRUFile() {
  FileUtils::EnsureDirectoryExists(MRUFolder());
  const File file = MRUFile();
  if (!file.Exists()) return;
  const std::optional<std::string> bytes = ReadMRUBytes(file);
  if (!bytes || !mru::IsSafeMRUDocument(*bytes)) return;
  try {
    std::istringstream in(*bytes);
    pt::ptree document;
    pt::read_xml(in, document);
    MergeDocument(document);
  } catch (...) {
    // A corrupt or foreign file: what was merged so far stays, the rest is ignored.
  }
}

bool SerializeMRUList() {
  try {
    pt::ptree document;
    pt::ptree& root = document.add("xfi:fileinfo", "");
    root.put("<xmlattr>.xmlns:xfi", kFileInfoNamespace);
    pt::ptree& lists = root.add("xfi:mruLists", "");
    for (const auto& [key, entries] : sMRULists) {
      pt::ptree& list = lists.add("xfi:mruList", "");
      list.put("<xmlattr>.key", key);
      for (const UTF16String& entry : entries)
        list.add("item", ToFileText(entry));
    }
    std::ostringstream text;
    pt::write_xml(text, document, pt::xml_writer_make_settings<std::string>(' ', 0, "utf-8"));

    veltcore::filesupport::SafeSave save(MRUFile());
    if (!save.IsValid()) return false;
    if (!FileUtils::SimpleWriteStringToFile(save.TempFile(), text.str())) return false;
    return save.Commit();
  } catch (...) {
    return false;
  }
}

void UpdateMRULists(UTF8String key, std::list<UTF16String> entries) {
  sMRULists.insert_or_assign(std::move(key), std::move(entries));
}

MRUListMap GetMRULists() {
  return sMRULists;
}

void ClearMRUList() {
  sMRULists.clear();
}

bool RemoveMRUFile() {
  FileUtils::EnsureDirectoryExists(MRUFolder());
  const File file = MRUFile();
  if (!file.Exists()) return true;
  return FileUtils::RemoveFile(file);
}

UTF16String MRUFilePath() {
  return MRUFile().FullPath();
}

}  // namespace veltmetadata
