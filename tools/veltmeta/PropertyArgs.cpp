// Property arguments, leaf expansion, file checks and the providers of `get` and `set`.

#include "PropertyArgs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "TextConversion.h"
#include "veltmetadata/DynamicSchemas.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace veltmeta {

using veltmetadata::Path;

namespace {

std::mutex sAssertionMutex;
std::vector<veltmetadata::AssertionReport> sAssertions;

// UTF-8 to UTF-16 (file names and labels; the tool sees only the library's exported API).
// Bytes that are not UTF-8 pass as single units, so no name is lost.
std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    bool valid = i + static_cast<std::size_t>(extra) < text.size() + (extra == 0 ? 1 : 0);
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid) {
      out.push_back(lead);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

// The registered namespace of "prefix" (without colon), or "".
std::string NamespaceOfPrefix(const std::string& prefix) {
  std::string ns;
  if (prefix.empty() || !SXMPMeta::GetNamespaceURI(prefix, &ns)) return {};
  return ns;
}

// The structure type describing the node at `path`, or null.
std::shared_ptr<veltmetadata::TypeDefinition> StructTypeOf(const Path& path) {
  auto def = veltmetadata::PathEntryDefinition(path);
  if (!def || !def->mType) return nullptr;
  auto type = veltmetadata::TypeIdDefinition(*def->mType);
  return type && !type->mFields.empty() ? type : nullptr;
}

// The structure type of the items of the array at `path`, or null.
std::shared_ptr<veltmetadata::TypeDefinition> ItemStructTypeOf(const Path& path) {
  if (!veltmetadata::IsPathAnArray(path, true)) return nullptr;
  auto def = veltmetadata::PathEntryDefinition(path);
  auto element = def ? veltmetadata::ElementTypeIdOf(*def) : std::nullopt;
  if (!element) return nullptr;
  auto type = veltmetadata::TypeIdDefinition(*element);
  return type && !type->mFields.empty() ? type : nullptr;
}

// The registered property whose "prefix:Name" is nearest to `head`, when one is near enough
// to be a slip (a letter or two, a wrong case, the name under another prefix); else "".
std::string ClosestProperty(const std::string& head) {
  const std::size_t allowed = std::max<std::size_t>(2, head.size() / 4);
  std::string best;
  std::size_t bestDistance = allowed + 1;
  for (const auto& schema : veltmetadata::AllSchemaDefinitions()) {
    if (!schema) continue;
    for (const auto& property : schema->mProperties) {
      if (!property) continue;
      const std::string name = schema->mPrefix + ":" + property->mName;
      // The right name under another schema's prefix is a near miss too.
      const std::size_t colon = head.find(':');
      const std::size_t distance = std::min(
          EditDistance(head, name),
          colon == std::string::npos ? name.size()
                                     : EditDistance(head.substr(colon + 1), property->mName) + 1);
      if (distance < bestDistance) {
        best = name;
        bestDistance = distance;
      }
    }
  }
  return best;
}

// " (did you mean 'dc:title'?)" for a near miss, else "".
std::string DidYouMean(const std::string& head) {
  const std::string closest = ClosestProperty(head);
  return closest.empty() ? "" : " (did you mean " + Quoted(closest) + "?)";
}

std::string ParseHead(const std::string& head, Path* path) {
  const std::size_t colon = head.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == head.size()) {
    return Quoted(head) + " is not PREFIX:NAME";
  }
  const std::string prefix = head.substr(0, colon);
  const std::string name = head.substr(colon + 1);
  const std::string ns = NamespaceOfPrefix(prefix);
  auto schema = ns.empty() ? nullptr : veltmetadata::NamespaceDefinition(ns);
  if (!schema) return "unknown prefix " + Quoted(prefix) + DidYouMean(head);
  auto property = veltmetadata::PropertyNameDefinition(schema, name);
  if (!property && schema->mDynamic) {
    const auto label = Utf16(name);
    property = veltmetadata::CreateNewProperty(veltmetadata::kPrimitiveType_Text, name, label,
                                               label, {}, {});
  }
  if (!property) {
    const std::string hint = DidYouMean(head);
    return "unknown property " + Quoted(head) +
           (hint.empty() ? " (not defined in its schema)" : hint);
  }
  *path = veltmetadata::CreatePathFromSchemaProperty(schema, property);
  return path->empty() ? "cannot address " + Quoted(head) : "";
}

std::string ParseIndex(const std::string& text, std::size_t& pos, Path* path) {
  const std::size_t close = text.find(']', pos);
  const std::string digits =
      close == std::string::npos ? "" : text.substr(pos + 1, close - pos - 1);
  const std::string shown = text.substr(0, pos);
  if (digits.empty() || digits.size() > 6 ||
      digits.find_first_not_of("0123456789") != std::string::npos || std::stoi(digits) < 1) {
    return "bad item index in " + Quoted(text) + " (use [N] with N from 1)";
  }
  if (!veltmetadata::IsPathAnArray(*path, true)) {
    return Quoted(shown) + " is not a bag or seq; [N] does not apply";
  }
  *path = veltmetadata::CreatePathFromArrayItem(*path, std::stoi(digits));
  pos = close + 1;
  return path->empty() ? "cannot address the items of " + Quoted(shown) : "";
}

std::string ParseField(const std::string& text, std::size_t& pos, Path* path) {
  const std::size_t end = text.find_first_of("[/", pos + 1);
  const std::string step = text.substr(pos + 1, end == std::string::npos ? end : end - pos - 1);
  const std::string shown = text.substr(0, pos);
  auto type = StructTypeOf(*path);
  if (!type) return Quoted(shown) + " is not a structure; /PREFIX:FIELD does not apply";
  const std::size_t colon = step.find(':');
  const std::string ns = colon == std::string::npos ? "" : NamespaceOfPrefix(step.substr(0, colon));
  const std::string name = colon == std::string::npos ? step : step.substr(colon + 1);
  for (const auto& field : type->mFields) {
    if (field && field->mName == name && field->mNamespace == ns) {
      *path = veltmetadata::CreatePathFromStructureField(*path, field);
      pos = end == std::string::npos ? text.size() : end;
      return path->empty() ? "cannot address " + Quoted(text) : "";
    }
  }
  return Quoted(shown) + " has no field " + Quoted(step);
}

}  // namespace

ToolSession::Collector::Collector() {
  veltmetadata::SetAssertionHandler([](const veltmetadata::AssertionReport& report) {
    std::lock_guard lock(sAssertionMutex);
    sAssertions.push_back(report);
  });
}

ToolSession::Collector::~Collector() {
  veltmetadata::SetAssertionHandler(nullptr);
}

std::vector<veltmetadata::AssertionReport> ToolSession::TakeAssertions() {
  std::lock_guard lock(sAssertionMutex);
  std::vector<veltmetadata::AssertionReport> taken;
  taken.swap(sAssertions);
  return taken;
}

bool StartsWithKnownPrefix(const std::string& arg) {
  const std::size_t colon = arg.find(':');
  return colon != std::string::npos && !NamespaceOfPrefix(arg.substr(0, colon)).empty();
}

std::string ParseProperty(const std::string& text, Path* path) {
  const std::size_t headEnd = text.find_first_of("[/");
  std::string error = ParseHead(text.substr(0, headEnd), path);
  std::size_t pos = headEnd == std::string::npos ? text.size() : headEnd;
  while (error.empty() && pos < text.size()) {
    error = text[pos] == '[' ? ParseIndex(text, pos, path) : ParseField(text, pos, path);
  }
  return error;
}

std::string PropertyLabel(const Path& path) {
  auto schema = veltmetadata::NamespaceDefinition(path.mNamespace);
  std::string prefix;
  if (!SXMPMeta::GetNamespacePrefix(path.mNamespace, &prefix) && schema) {
    prefix = schema->mPrefix + ":";
  }
  return prefix + path.mPathDescription;
}

namespace {

std::vector<Path> LeafPathsBelow(__XMPMeta__* meta, const Path& path, int depth) {
  // A structure type that contains itself would expand without end: stop at a depth no
  // real schema reaches and show the node itself.
  constexpr int kMaxDepth = 16;
  if (depth > kMaxDepth) return {path};
  std::vector<Path> leaves;
  if (auto itemType = ItemStructTypeOf(path)) {
    int count = 0;
    try {
      if (meta != nullptr)
        count = SXMPMeta(meta).CountArrayItems(path.mNamespace, path.mPathDescription);
    } catch (const XMP_Error&) {
      count = 0;  // stored as something else: shown as the property itself
    }
    if (count == 0) return {path};
    for (int i = 1; i <= count; ++i) {
      for (const Path& leaf :
           LeafPathsBelow(meta, veltmetadata::CreatePathFromArrayItem(path, i), depth + 1))
        leaves.push_back(leaf);
    }
    return leaves;
  }
  if (auto type = StructTypeOf(path)) {
    for (const auto& field : type->mFields) {
      const Path fieldPath = veltmetadata::CreatePathFromStructureField(path, field);
      if (fieldPath.empty()) continue;
      for (const Path& leaf : LeafPathsBelow(meta, fieldPath, depth + 1))
        leaves.push_back(leaf);
    }
    return leaves;
  }
  return {path};
}

}  // namespace

std::vector<Path> LeafPaths(__XMPMeta__* meta, const Path& path) {
  return LeafPathsBelow(meta, path, 0);
}

std::string CheckMediaFile(const std::string& file, bool forWrite) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return file + ": " + std::strerror(errno);
  if (!S_ISREG(info.st_mode)) return file + ": not a regular file";
  if (::access(file.c_str(), R_OK) != 0)
    return file + ": not readable (" + std::strerror(errno) + ")";
  if (forWrite && ::access(file.c_str(), W_OK) != 0) {
    return file + ": not writable (" + std::strerror(errno) + ")";
  }
  const std::string notMedia =
      std::string("not a media file veltmeta can ") + (forWrite ? "write: " : "read: ") + file;
  try {
    SXMPFiles probe;
    const XMP_OptionBits flags = forWrite ? kXMPFiles_OpenForUpdate : kXMPFiles_OpenForRead;
    if (!probe.OpenFile(file, kXMP_UnknownFile, flags)) return notMedia;
    const bool writable = !forWrite || probe.CanPutXMP(SXMPMeta());
    probe.CloseFile();  // nothing was put: nothing is written
    if (!writable) return notMedia;
  } catch (const XMP_Error& error) {
    return file + ": " + error.GetErrMsg();
  }
  return "";
}

ToolFileProvider::ToolFileProvider(const std::string& file, bool emptyWhenNoXMP,
                                   ToolSession& session)
    : FileProvider(Utf16(file)), mFile(file), mSession(session) {
  for (const auto& report : session.TakeAssertions()) {
    if (report.mFunction == "veltmetadata::FileProvider::ReloadFile" && mReadError.empty()) {
      mReadError = report.mMessage.empty() ? "unknown error" : report.mMessage;
    }
  }
  mHadXMP = MetaDataAccess() != nullptr;
  // A file whose XMP cannot be read is never given empty metadata: writing that back
  // would replace what is there.
  if (!mHadXMP && mReadError.empty() && emptyWhenNoXMP) ResetToEmptyMetaData(false);
}

void ToolFileProvider::WriteChanges(const std::vector<Path>& changes) {
  mSession.TakeAssertions();
  FileProvider::WriteChanges(changes);
  mWriteError.clear();
  for (const auto& report : mSession.TakeAssertions()) {
    if (mWriteError.empty()) {
      mWriteError = report.mMessage.empty() ? report.mCondition : report.mMessage;
    }
  }
}

ToolProviders OpenProviders(const std::vector<std::string>& files, bool emptyWhenNoXMP,
                            ToolSession& session) {
  ToolProviders providers;
  veltmetadata::ProviderList list;
  for (const std::string& file : files) {
    providers.mFiles.push_back(std::make_shared<ToolFileProvider>(file, emptyWhenNoXMP, session));
    list.push_back(providers.mFiles.back());
  }
  providers.mAggregate = std::make_shared<veltmetadata::AggregateProvider>(
      veltmetadata::ProviderRange{list.begin(), list.end()});
  return providers;
}

}  // namespace veltmeta
