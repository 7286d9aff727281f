#include "io/FileSafety.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "io/Storage.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles {

namespace {

// Attempts at opening a path that keeps being replaced while we wait for its lock.
constexpr int kMaxLockAttempts = 1000;
// Length of the random part mkstemp puts after our prefix.
constexpr std::size_t kTemporarySuffix = 6;

// The files this program holds locks on, with the number of holders: a conflicting lock of
// our own would make us wait for ourselves.
std::mutex sLocksMutex;
std::map<std::pair<dev_t, ino_t>, int> sLocks;

bool HeldHere(const FileIdentity& identity) {
  std::lock_guard lock(sLocksMutex);
  return sLocks.count({identity.mDevice, identity.mInode}) > 0;
}

std::string Errno(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

std::string FolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// Reads the extended attribute names of `fd`, "\0"-separated; empty when there are none or
// the file system has none.
std::vector<char> AttributeNames(int fd) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0) return {};
    std::vector<char> names(static_cast<std::size_t>(size));
    ssize_t got = ::flistxattr(fd, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      return names;
    }
    if (errno != ERANGE) return {};
  }
  return {};
}

bool CopyAttribute(int from, int to, const char* name) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    ssize_t size = ::fgetxattr(from, name, nullptr, 0);
    if (size < 0) return false;
    std::vector<char> value(static_cast<std::size_t>(size));
    ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
    if (got < 0 && errno == ERANGE) continue;
    if (got < 0) return false;
    return ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0) == 0;
  }
  return false;
}

}  // namespace

FileIdentity IdentityOf(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) ThrowIO(Errno("cannot inspect", path));
  return {st.st_dev, st.st_ino};
}

LockedFile OpenLocked(const std::string& path, bool writable) {
  for (int attempt = 0; attempt < kMaxLockAttempts; ++attempt) {
    int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) ThrowIO(Errno("cannot open", path));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      ThrowIO("'" + path + "' is not a regular file");
    }
    const int mode = writable ? LOCK_EX : LOCK_SH;
    int rc = ::flock(fd, mode | LOCK_NB);
    if (rc != 0 && errno == EWOULDBLOCK && HeldHere({st.st_dev, st.st_ino})) {
      ::close(fd);
      ThrowIO("'" + path + "' is already open " + (writable ? "" : "for update ") +
              "in this program; close it first");
    }
    while (rc != 0 && (errno == EWOULDBLOCK || errno == EINTR))
      rc = ::flock(fd, mode);
    if (rc != 0 && errno != ENOLCK && errno != EOPNOTSUPP) {
      std::string message = Errno("cannot lock", path);
      ::close(fd);
      ThrowIO(message);
    }
    // The update we waited for may have renamed a new file over the path: lock that one.
    // The same file's size is the one it has now that the lock is held.
    struct stat now {};
    if (::stat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
      NoteLock({st.st_dev, st.st_ino});
      return {fd, {st.st_dev, st.st_ino}, static_cast<std::uint64_t>(now.st_size)};
    }
    ::close(fd);
  }
  ThrowIO("'" + path + "' keeps being replaced by other programs; not opening it");
}

void NoteLock(const FileIdentity& identity) {
  std::lock_guard lock(sLocksMutex);
  ++sLocks[{identity.mDevice, identity.mInode}];
}

void ReleaseLock(const FileIdentity& identity) {
  std::lock_guard lock(sLocksMutex);
  auto it = sLocks.find({identity.mDevice, identity.mInode});
  if (it != sLocks.end() && --it->second == 0) sLocks.erase(it);
}

void CheckStillNames(const std::string& path, const FileIdentity& identity) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    ThrowIO("'" + path + "' was removed during the update; not writing it (" +
            std::strerror(errno) + ")");
  }
  if (FileIdentity{st.st_dev, st.st_ino} != identity) {
    ThrowIO("'" + path +
            "' was replaced by another file during the update; leaving both files as they are");
  }
}

void CopyFileAttributes(int from, int to, const std::string& path) {
  struct stat st {};
  if (::fstat(from, &st) != 0) {
    XMP_ReportWarning("cannot read the owner and mode of '" + path + "': " + std::strerror(errno));
    return;
  }
  struct stat mine {};
  if (::fstat(to, &mine) == 0 && (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) &&
      ::fchown(to, st.st_uid, st.st_gid) != 0) {
    // Without the right to give files away, keep the group if we may, and say so.
    (void)::fchown(to, static_cast<uid_t>(-1), st.st_gid);
    XMP_ReportWarning("'" + path + "' is now owned by user " + std::to_string(mine.st_uid) +
                      " instead of " + std::to_string(st.st_uid) + ": the owner cannot be kept (" +
                      std::strerror(errno) + ")");
  }
  // After chown, which may clear the set-id bits.
  if (::fchmod(to, st.st_mode & 07777) != 0) {
    XMP_ReportWarning("cannot keep the mode of '" + path + "': " + std::strerror(errno));
  }
  std::vector<char> names = AttributeNames(from);
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    std::size_t length = std::strlen(name);
    if (length > 0 && !CopyAttribute(from, to, name)) {
      XMP_ReportWarning("cannot keep the extended attribute '" + std::string(name) + "' of '" +
                        path + "': " + std::strerror(errno));
    }
    at += length + 1;
  }
}

std::string TemporaryPrefix(const std::string& path) {
  std::string prefix = ".";
  prefix.append(std::filesystem::path(path).filename().string()).append(".velt-");
  return prefix;
}

void RemoveStaleTemporaries(const std::string& path, std::chrono::seconds age) {
  const std::string folder = FolderOf(path);
  const std::string prefix = TemporaryPrefix(path);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const std::time_t cutoff = std::time(nullptr) - static_cast<std::time_t>(age.count());
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name(entry->d_name);
    if (name.size() != prefix.size() + kTemporarySuffix ||
        name.substr(0, prefix.size()) != prefix) {
      continue;
    }
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_mtime > cutoff) continue;
    (void)::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

void SyncFolder(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // a folder we may not open cannot be synced; the data itself is
  int rc = ::fsync(fd);
  int error = errno;
  ::close(fd);
  // Some file systems do not sync folders (EINVAL); anything else is a real failure.
  if (rc != 0 && error != EINVAL && error != EROFS) {
    errno = error;
    ThrowIO(Errno("cannot flush the folder of", path));
  }
}

}  // namespace xmpfiles
