#include "RecentValues.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <list>

#include "TextConversion.h"
#include "veltmetadata/MRULists.h"

namespace veltmeta {

namespace {

// Holds an exclusive lock on "FileinfoMRU.xml.lock" beside the MRU file while it lives. The
// kernel drops the lock when the process ends, so a crashed run never blocks later ones.
class MRUFileLock {
 public:
  MRUFileLock() {
    const std::filesystem::path file(ToUTF8(veltmetadata::MRUFilePath()));
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
  error = "cannot save '" + ToUTF8(veltmetadata::MRUFilePath()) + "'";
  return false;
}

}  // namespace

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
    const std::u16string entry = ToUTF16(clean);
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
      values.push_back(ToUTF8(entry));
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
