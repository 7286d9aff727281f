#include "veltmetadata/MetadataUtils.h"

#include <atomic>
#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstring>
#include <exception>
#include <map>
#include <optional>
#include <string>

#include "FormatCacheSeam.h"
#include "veltcore/Debug.h"
#include "veltcore/Files.h"
#include "veltcore/Threads.h"
#include "xmp/SXMPFiles.h"

namespace veltmetadata::utility {

namespace {

using boost::posix_time::ptime;
using veltcore::filesupport::FileStamp;
using veltcore::filesupport::FileUtils;

constexpr long kLockTimeoutMs = 60000;
// Detection opens the file read-only for its XMP alone, through the smart handlers with
// limited packet scanning.
constexpr XMP_OptionBits kDetectFlags =
    kXMPFiles_OpenForRead | kXMPFiles_OpenOnlyXMP | kXMPFiles_OpenUseSmartHandler |
    kXMPFiles_OpenLimitedScanning | kXMPFiles_OptimizeFileLayout;
static_assert(kDetectFlags == 0x4A5);
// The associated files are asked of the handler of the format already detected.
constexpr XMP_OptionBits kAssociatedFlags =
    kXMPFiles_ForceGivenHandler | kXMPFiles_OptimizeFileLayout;
static_assert(kAssociatedFlags == 0x408);

// A detected format and what the file looked like when it was detected. The entry is
// current only while all four match: the modification time alone comes from a coarse clock
// and misses a file rewritten or replaced within one tick.
struct CachedXMPFormat {
  unsigned int mFormat = kXMP_UnknownFile;
  ptime mModifiedTime;
  std::uint64_t mSize = 0;
  std::uint64_t mDevice = 0;
  std::uint64_t mInode = 0;
};

// Paths are equal only when every code unit is; the order among them serves the look-up
// alone, so it compares lengths first and then the bytes at once, not unit by unit.
struct PathOrder {
  bool operator()(const UTF16String& a, const UTF16String& b) const {
    if (a.size() != b.size()) return a.size() < b.size();
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) < 0;
  }
};

std::map<UTF16String, CachedXMPFormat, PathOrder> sXMPFormatCache;
veltcore::threads::RecursiveMutex sXMPFormatCacheMutex;
std::atomic<std::uint64_t> sDetections{0};

const ptime kEpoch(boost::gregorian::date(1970, 1, 1));

ptime ToPTime(std::int64_t hundredNs) {
  return kEpoch + boost::posix_time::microseconds(hundredNs / 10);
}

// The path in UTF-8, in a buffer of the calling thread that keeps its capacity: a cache hit
// converts the path without allocating. Empty when the path is not valid UTF-16.
const std::string& Utf8Path(const UTF16String& filePath) {
  thread_local std::string tBuffer;
  veltcore::string::UTF16to8(filePath, tBuffer);
  return tBuffer;
}

// The file's stamp, or nothing when it cannot be read. `utf8Path` empty: unreadable.
std::optional<FileStamp> ReadStamp(const std::string& utf8Path) {
  FileStamp stamp;
  if (FileUtils::GetFileStamp(utf8Path, stamp) != 0) return {};
  return stamp;
}

bool Matches(const CachedXMPFormat& entry, const FileStamp& stamp) {
  return entry.mModifiedTime == ToPTime(stamp.mModifiedTime) && entry.mSize == stamp.mSize &&
         entry.mDevice == stamp.mDevice && entry.mInode == stamp.mInode;
}

// Inserts unless the path has an entry; the first detection to finish wins.
void Record(const UTF16String& filePath, const CachedXMPFormat& entry) {
  veltcore::threads::RecursiveLock lock(
      sXMPFormatCacheMutex, "veltmetadata::utility::AddCachedXMPFormat", kLockTimeoutMs);
  if (lock.Locked()) sXMPFormatCache.emplace(filePath, entry);
}

unsigned int DoGetXMPFormat(const std::string& path) {
  XMP_FileFormat format = kXMP_UnknownFile;
  sDetections.fetch_add(1, std::memory_order_relaxed);
  try {
    SXMPFiles file(path, kXMP_UnknownFile, kDetectFlags);
    file.GetFileInfo(nullptr, nullptr, &format, nullptr);
  } catch (const XMP_Error&) {
    format = kXMP_UnknownFile;
  } catch (...) {
    veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, "DoGetXMPFormat", "false",
                                    "XMP Should not throw non-XMP Errors");
    format = kXMP_UnknownFile;
  }
  return format;
}

}  // namespace

namespace internal {
std::uint64_t FormatDetectionCount() {
  return sDetections.load(std::memory_order_relaxed);
}

std::optional<FileStamp> StampOf(const UTF16String& filePath) {
  try {
    return ReadStamp(Utf8Path(filePath));
  } catch (...) {
    return {};  // out of memory while converting the path
  }
}

void RecordOpenedFormat(const UTF16String& filePath, const FileStamp& before, unsigned int format) {
  try {
    // As in GetXMPFormat: a current entry stands, a stale one gives way.
    const CachedXMPFormat entry{format, ToPTime(before.mModifiedTime), before.mSize, before.mDevice,
                                before.mInode};
    veltcore::threads::RecursiveLock lock(
        sXMPFormatCacheMutex, "veltmetadata::utility::AddCachedXMPFormat", kLockTimeoutMs);
    if (!lock.Locked()) return;
    const auto [found, inserted] = sXMPFormatCache.emplace(filePath, entry);
    if (!inserted && !Matches(found->second, before)) found->second = entry;
  } catch (...) {
    // Out of memory while copying the path: the next look-up detects.
  }
}
}  // namespace internal

unsigned int GetXMPFormat(const UTF16String& filePath) {
  try {
    // A hit costs the conversion into the thread's buffer, one stat and one look-up under
    // the lock; nothing is allocated and the key is not copied.
    const std::string& utf8Path = Utf8Path(filePath);
    const std::optional<FileStamp> stamp = ReadStamp(utf8Path);
    if (!stamp) return kXMP_UnknownFile;
    {
      veltcore::threads::RecursiveLock lock(sXMPFormatCacheMutex,
                                            "veltmetadata::utility::GetXMPFormat", kLockTimeoutMs);
      if (lock.Locked()) {
        const auto found = sXMPFormatCache.find(filePath);
        if (found != sXMPFormatCache.end()) {
          if (Matches(found->second, *stamp)) return found->second.mFormat;
          sXMPFormatCache.erase(found);
        }
      }
    }
    // A copy: detection must not depend on the thread's buffer staying untouched.
    const unsigned int format = DoGetXMPFormat(std::string(utf8Path));
    Record(filePath,
           {format, ToPTime(stamp->mModifiedTime), stamp->mSize, stamp->mDevice, stamp->mInode});
    return format;
  } catch (...) {
    return kXMP_UnknownFile;  // out of memory while copying the path
  }
}

void AddCachedXMPFormat(const UTF16String& filePath, unsigned int format,
                        const ptime& modifiedTime) {
  try {
    // The rest of the file's identity comes from its current state; a file that cannot be
    // read keeps zeros there, so the entry is never taken as current by GetXMPFormat.
    const std::optional<FileStamp> stamp = ReadStamp(Utf8Path(filePath));
    ptime time = modifiedTime;
    if (time.is_not_a_date_time()) {
      if (!stamp) return;
      time = ToPTime(stamp->mModifiedTime);
    }
    if (time.is_special()) return;
    const FileStamp identity = stamp.value_or(FileStamp{});
    Record(filePath, {format, time, identity.mSize, identity.mDevice, identity.mInode});
  } catch (...) {
    // Out of memory while copying the path: nothing is recorded.
  }
}

void EraseCachedXMPFormat(const UTF16String& filePath) {
  veltcore::threads::RecursiveLock lock(sXMPFormatCacheMutex, "", kLockTimeoutMs);
  if (lock.Locked()) sXMPFormatCache.erase(filePath);
}

bool GetAssociatedFiles(const UTF16String& filePath, std::vector<UTF16String>& outFiles) {
  bool answered = false;
  try {
    const unsigned int format = GetXMPFormat(filePath);
    std::vector<std::string> resources;
    answered = SXMPFiles::GetAssociatedResources(veltcore::string::UTF16to8(filePath), &resources,
                                                 format, kAssociatedFlags);
    if (answered) {
      for (const std::string& resource : resources)
        outFiles.push_back(veltcore::string::Std8ToUTF16String(resource));
    }
  } catch (const XMP_Error& e) {
    veltcore::debug::DoSimpleAssert(
        __FILE__, __LINE__, "veltmetadata::utility::GetAssociatedFiles", "false",
        std::string("Error locating associated files: ") + (e.GetErrMsg() ? e.GetErrMsg() : ""));
  } catch (const std::exception& e) {
    veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, "veltmetadata::utility::GetAssociatedFiles",
                                    "false",
                                    std::string("Error locating associated files: ") + e.what());
  } catch (...) {
    veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, "veltmetadata::utility::GetAssociatedFiles",
                                    "false", "Unknown error locating associated files!");
  }
  return answered;
}

}  // namespace veltmetadata::utility
