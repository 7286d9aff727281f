#pragma once

// What keeps an update of a file on disk safe beyond the bytes themselves: one writer at a
// time (advisory flock), the path still naming the file that was opened, the rewritten
// file keeping owner, mode and extended attributes, our own stale temporary files cleaned
// up, and folders made durable.
//
// The lock is advisory: programs that do not take it (most other tools) are not kept out.

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace xmpfiles {

// Which file an open descriptor refers to.
struct FileIdentity {
  dev_t mDevice = 0;
  ino_t mInode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the open file `fd`. Throws FileError (kIO) when fstat fails.
FileIdentity IdentityOf(int fd, const std::string& path);

// A file opened and locked by OpenLocked: its descriptor, which file it is, and its size
// once the lock was held.
struct LockedFile {
  int mFd = -1;
  FileIdentity mIdentity;
  std::uint64_t mSize = 0;
};

// Opens `path` (following symbolic links) and takes a shared (read) or exclusive (update)
// flock on it, waiting while another program's update holds it. When the path was replaced
// while we waited (an update renamed a new file over it), opens the new file instead, so
// that the lock always covers the file the path names. Returns the descriptor with the
// file's identity and size; the caller calls ReleaseLock when it closes it. Throws FileError
// (kIO) when the file cannot be opened or is not a regular file, and at once, instead of
// waiting forever, when this program itself holds a conflicting lock on the file.
LockedFile OpenLocked(const std::string& path, bool writable);
// Records that this program holds a lock on `identity` (OpenLocked does it), or no longer.
void NoteLock(const FileIdentity& identity);
void ReleaseLock(const FileIdentity& identity);

// Throws FileError (kIO) unless `path` still names the file `identity`: it was removed,
// or another file was moved onto it, since it was opened.
void CheckStillNames(const std::string& path, const FileIdentity& identity);

// Gives `to` the owner, group, mode and extended attributes (ACLs included) of `from`.
// What cannot be copied (the owner when not running as root, a protected attribute) is
// reported through XMP_ReportWarning naming `path`; the copy goes on.
void CopyFileAttributes(int from, int to, const std::string& path);

// The prefix of our temporary files beside `path`: ".NAME.velt-" (six characters follow).
std::string TemporaryPrefix(const std::string& path);

// Removes our temporary files beside `path` (".NAME.velt-XXXXXX", regular, owned by this
// user) not modified for `age`: left by an update that was killed. Errors are ignored.
void RemoveStaleTemporaries(const std::string& path, std::chrono::seconds age);

// Makes the entries of the folder holding `path` durable (fsync of the folder).
void SyncFolder(const std::string& path);

}  // namespace xmpfiles
