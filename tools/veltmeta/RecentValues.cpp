#include "RecentValues.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <list>

#include "veltmetadata/MRULists.h"

namespace veltmeta {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Holds an exclusive lock on "FileinfoMRU.xml.lock" beside the MRU file while it lives. The
// kernel drops the lock when the process ends, so a crashed run never blocks later ones.
class MRUFileLock {
 public:
  MRUFileLock() {
    const std::filesystem::path file(Utf16ToUtf8(veltmetadata::MRUFilePath()));
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    const std::string lockPath = file.string() + ".lock";
    mFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (mFd < 0) {
      mError = "cannot open '" + lockPath + "': " + std::strerror(errno);
      return;
    }
    int rc;
    while ((rc = ::flock(mFd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) mError = "cannot lock '" + lockPath + "': " + std::strerror(errno);
  }
  ~MRUFileLock() {
    if (mFd >= 0) ::close(mFd);  // also releases the lock
  }
  MRUFileLock(const MRUFileLock&) = delete;
  MRUFileLock& operator=(const MRUFileLock&) = delete;
  // Empty when the lock is held.
  const std::string& Error() const { return mError; }

 private:
  int mFd = -1;
  std::string mError;
};

// The file's lists alone: what an earlier load left in memory must not win over the file.
veltmetadata::MRUListMap FreshLoad() {
  veltmetadata::ClearMRUList();
  veltmetadata::LoadMRUFile();
  return veltmetadata::GetMRULists();
}

bool Save(std::string& error) {
  if (veltmetadata::SerializeMRUList()) return true;
  error = "cannot save '" + Utf16ToUtf8(veltmetadata::MRUFilePath()) + "'";
  return false;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at `i` (advancing it); kReplacement for a bad one.
char32_t DecodeUtf8(const std::string& s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  const int extra = lead > 0xF4 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (extra < 0) return kReplacement;
  char32_t c = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k, ++i) {
    if (i >= s.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (byte(i) & 0x3F);
  }
  const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
  if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
  return c;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();)
    AppendUtf16(DecodeUtf8(text, i), out);
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(c, out);
  }
  return out;
}

bool RecordRecentValues(const std::vector<std::pair<std::string, std::string>>& values,
                        std::string& error) {
  MRUFileLock lock;
  if (!lock.Error().empty()) {
    error = lock.Error();
    return false;
  }
  veltmetadata::MRUListMap lists = FreshLoad();
  for (const auto& [key, value] : values) {
    if (value.size() > kMaxRecentValueBytes) continue;
    std::string clean = value;
    std::erase(clean, '\r');
    const std::u16string entry = Utf8ToUtf16(clean);
    std::list<std::u16string>& list = lists[key];
    list.remove(entry);
    list.push_front(entry);
    if (list.size() > kMaxRecentValues) list.resize(kMaxRecentValues);
    veltmetadata::UpdateMRULists(key, list);
  }
  return Save(error);
}

RecentLists LoadRecentValues() {
  RecentLists out;
  for (const auto& [key, list] : FreshLoad()) {
    std::vector<std::string>& values = out[key];
    for (const std::u16string& entry : list)
      values.push_back(Utf16ToUtf8(entry));
  }
  return out;
}

bool ClearRecentValues(const std::vector<std::string>& keys, std::string& error) {
  MRUFileLock lock;
  if (!lock.Error().empty()) {
    error = lock.Error();
    return false;
  }
  veltmetadata::MRUListMap lists = FreshLoad();
  veltmetadata::ClearMRUList();
  if (!keys.empty()) {
    for (auto& [key, list] : lists)
      if (std::find(keys.begin(), keys.end(), key) == keys.end())
        veltmetadata::UpdateMRULists(key, std::move(list));
  }
  return Save(error);
}

}  // namespace veltmeta
