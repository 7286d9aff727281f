#include "io/Storage.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

#include "io/FileSafety.h"

namespace xmpfiles {

namespace {

std::mutex sHookMutex;
std::function<bool(std::string_view)> sFailureHook;
WriteFaultHook sWriteFaultHook;

// Stale temporary files older than this are removed by a later update of the same file.
constexpr std::chrono::minutes kStaleTemporaryAge{10};
// In-place writes up to this size are undone when they fail halfway.
constexpr std::size_t kMaxSavedBytes = 64u << 20;
// Reads smaller than this go through DiskStorage's block of this size (a page).
constexpr std::size_t kReadBlock = 4096;
// ReadString reads through a stack buffer of this size.
constexpr std::size_t kStringChunk = 64u << 10;

std::string Errno(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

// Writes all bytes or throws; asks the fault seam first, which may cut the write short.
void WriteAll(int fd, std::uint64_t offset, const void* data, std::size_t size,
              const std::string& path, std::string_view point = "write") {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::optional<std::uint64_t> fault = CheckWriteStep({point, offset, size});
  if (fault) {
    std::size_t done = static_cast<std::size_t>(std::min<std::uint64_t>(*fault, size));
    if (done > 0) WriteAll(fd, offset, data, done, path, "");
    errno = ENOSPC;
    ThrowIO(Errno("cannot write", path) + " (injected)");
  }
  while (size > 0) {
    ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowIO(Errno("cannot write", path));
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
}

}  // namespace

void ThrowFormat(const std::string& message) {
  throw FileError(ErrorKind::kBadFormat, message);
}
void ThrowIO(const std::string& message) {
  throw FileError(ErrorKind::kIO, message);
}

void SetFailureHook(std::function<bool(std::string_view)> hook) {
  std::lock_guard lock(sHookMutex);
  sFailureHook = std::move(hook);
}

void SetWriteFaultHook(WriteFaultHook hook) {
  std::lock_guard lock(sHookMutex);
  sWriteFaultHook = std::move(hook);
}

std::optional<std::uint64_t> CheckWriteStep(const WriteStep& step) {
  if (step.mPoint.empty()) return std::nullopt;
  WriteFaultHook hook;
  {
    std::lock_guard lock(sHookMutex);
    hook = sWriteFaultHook;
  }
  return hook ? hook(step) : std::nullopt;
}

void CheckFailurePoint(std::string_view point) {
  if (CheckWriteStep({point, 0, 0})) ThrowIO("injected failure at '" + std::string(point) + "'");
  std::function<bool(std::string_view)> hook;
  {
    std::lock_guard lock(sHookMutex);
    hook = sFailureHook;
  }
  if (hook && hook(point)) ThrowIO("injected failure at '" + std::string(point) + "'");
}

void FileDescriptor::Close() {
  if (mFd >= 0) ::close(std::exchange(mFd, -1));
}

// ---- Storage ----

void Storage::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (size == 0) return;
  if (size > Remaining(offset)) {
    ThrowFormat("read of " + std::to_string(size) + " bytes at offset " + std::to_string(offset) +
                " goes past the end of the file (" + std::to_string(Size()) + " bytes)");
  }
  std::size_t got = DoRead(offset, buffer, size);
  if (got != size) ThrowIO("short read at offset " + std::to_string(offset));
}

Bytes Storage::Read(std::uint64_t offset, std::size_t size) {
  // Checked before allocating so that a lying size field never causes a huge allocation.
  if (size > Remaining(offset)) {
    ThrowFormat("read of " + std::to_string(size) + " bytes at offset " + std::to_string(offset) +
                " goes past the end of the file (" + std::to_string(Size()) + " bytes)");
  }
  Bytes out(size);
  ReadAt(offset, out.data(), size);
  return out;
}

std::string Storage::ReadString(std::uint64_t offset, std::size_t size) {
  if (size > Remaining(offset)) {
    ThrowFormat("read of " + std::to_string(size) + " bytes at offset " + std::to_string(offset) +
                " goes past the end of the file (" + std::to_string(Size()) + " bytes)");
  }
  // Read through a chunk on the stack and appended: the string is never zero-filled first,
  // and a read of up to a chunk (any JPEG segment) is one read and one copy.
  std::string out;
  out.reserve(size);
  std::uint8_t chunk[kStringChunk];
  while (out.size() < size) {
    const std::size_t n = std::min(size - out.size(), sizeof chunk);
    ReadAt(offset + out.size(), chunk, n);
    out.append(reinterpret_cast<const char*>(chunk), n);
  }
  return out;
}

std::size_t Storage::ReadSome(std::uint64_t offset, void* buffer, std::size_t size) {
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, Remaining(offset)));
  if (n == 0) return 0;
  return DoRead(offset, buffer, n);
}

std::uint64_t Storage::Remaining(std::uint64_t offset) const {
  std::uint64_t size = Size();
  return offset >= size ? 0 : size - offset;
}

void Rewrite::AppendFrom(Storage& original, std::uint64_t offset, std::uint64_t length) {
  if (length > original.Remaining(offset)) {
    ThrowFormat("copy of " + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
                " goes past the end of the file");
  }
  std::vector<std::uint8_t> chunk(
      static_cast<std::size_t>(std::min<std::uint64_t>(length, 1 << 20)));
  while (length > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, chunk.size()));
    original.ReadAt(offset, chunk.data(), n);
    Append(chunk.data(), n);
    offset += n;
    length -= n;
  }
}

// ---- DiskStorage ----

DiskStorage::DiskStorage(const std::string& path, bool writable) : mWritable(writable) {
  // Symbolic links are followed: the update goes to the file they name, the link stays. A
  // read needs no resolved path (open follows links), which spares a system call per folder.
  mPath = path;
  if (writable) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    if (!ec) mPath = resolved.string();
  }
  Adopt(OpenLocked(mPath, writable));
  if (writable) RemoveStaleTemporaries(mPath, kStaleTemporaryAge);
}

DiskStorage::~DiskStorage() {
  if (!mFd.IsOpen()) return;
  mFd.Close();  // releases the file's lock
  ReleaseLock(mIdentity);
}

void DiskStorage::Adopt(FileDescriptor fd) {
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) ThrowIO(Errno("cannot inspect", mPath));
  mFd = std::move(fd);
  ForgetBlock();
  mSize = static_cast<std::uint64_t>(st.st_size);
  mIdentity = {st.st_dev, st.st_ino};
}

void DiskStorage::Adopt(const LockedFile& file) {
  mFd = FileDescriptor(file.mFd);
  ForgetBlock();
  mSize = file.mSize;
  mIdentity = file.mIdentity;
}

void DiskStorage::CheckIdentity() const {
  CheckStillNames(mPath, mIdentity);
}

std::size_t DiskStorage::DoRead(std::uint64_t offset, void* buffer, std::size_t size) {
  const bool inBlock =
      mBlockSize != 0 && offset >= mBlockOffset && offset + size <= mBlockOffset + mBlockSize;
  if (!inBlock && size >= kReadBlock) {
    std::size_t got = ReadFile(offset, buffer, size);
    if (offset % kReadBlock == 0 && got >= kReadBlock) {
      // Keep the first page too: format detection reads the head of the file this way
      // before the handler walks its headers.
      if (!mBlock) mBlock = std::make_unique_for_overwrite<std::uint8_t[]>(kReadBlock);
      std::memcpy(mBlock.get(), buffer, kReadBlock);
      mBlockOffset = offset;
      mBlockSize = kReadBlock;
    }
    return got;
  }
  if (!inBlock) {
    if (!mBlock) mBlock = std::make_unique_for_overwrite<std::uint8_t[]>(kReadBlock);
    mBlockSize = 0;
    mBlockOffset = offset - offset % kReadBlock;
    mBlockSize = ReadFile(mBlockOffset, mBlock.get(), kReadBlock);
  }
  const std::uint64_t end = mBlockOffset + mBlockSize;
  const std::size_t n =
      offset >= end ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(size, end - offset));
  if (n > 0) std::memcpy(buffer, mBlock.get() + (offset - mBlockOffset), n);
  // A read that straddles the block's end gets the rest from the file.
  if (n < size && offset + n < mSize) {
    return n + ReadFile(offset + n, static_cast<std::uint8_t*>(buffer) + n, size - n);
  }
  return n;
}

std::size_t DiskStorage::ReadFile(std::uint64_t offset, void* buffer, std::size_t size) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::size_t total = 0;
  while (total < size) {
    ssize_t n = ::pread(mFd.Get(), p + total, size - total, static_cast<off_t>(offset + total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIO(Errno("cannot read", mPath));
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
  }
  mBytesRead += total;
  return total;
}

void DiskStorage::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (!mWritable) ThrowIO("'" + mPath + "' is open read-only");
  if (offset > mSize) ThrowIO("write at offset " + std::to_string(offset) + " past the end");
  CheckFailurePoint("in-place");
  // What the write covers, to put back when it fails halfway (a full disk, an I/O error):
  // a failed write then leaves the file as it was.
  const std::uint64_t oldSize = mSize;
  Bytes covered;
  if (offset < oldSize && size <= kMaxSavedBytes) {
    covered =
        Read(offset, static_cast<std::size_t>(std::min<std::uint64_t>(size, oldSize - offset)));
  }
  // After the read above, which may have filled the block with the bytes being replaced.
  ForgetBlock();
  try {
    WriteAll(mFd.Get(), offset, data, size, mPath);
  } catch (const FileError&) {
    if (!covered.empty())
      (void)::pwrite(mFd.Get(), covered.data(), covered.size(), static_cast<off_t>(offset));
    (void)::ftruncate(mFd.Get(), static_cast<off_t>(oldSize));
    throw;
  }
  mBytesWritten += size;
  mSize = std::max<std::uint64_t>(mSize, offset + size);
}

void DiskStorage::Truncate(std::uint64_t size) {
  if (!mWritable) ThrowIO("'" + mPath + "' is open read-only");
  if (CheckWriteStep({"truncate", size, 0})) ThrowIO("cannot truncate '" + mPath + "' (injected)");
  ForgetBlock();
  if (::ftruncate(mFd.Get(), static_cast<off_t>(size)) != 0)
    ThrowIO(Errno("cannot truncate", mPath));
  mSize = size;
}

void DiskStorage::Flush() {
  if (!mFd.IsOpen() || !mWritable) return;
  if (CheckWriteStep({"sync", 0, 0})) ThrowIO("cannot flush '" + mPath + "' (injected)");
  if (::fsync(mFd.Get()) != 0) ThrowIO(Errno("cannot flush", mPath));
  SyncFolder(mPath);
}

void DiskStorage::Reserve(std::uint64_t end) {
  if (!mWritable || end <= mSize) return;
  if (CheckWriteStep({"reserve", mSize, end - mSize})) {
    errno = ENOSPC;
    ThrowIO(Errno("cannot make room in", mPath) + " (injected)");
  }
  int rc = ::fallocate(mFd.Get(), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(mSize),
                       static_cast<off_t>(end - mSize));
  // File systems without fallocate give no promise; the write itself will tell.
  if (rc != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
    ThrowIO(Errno("cannot make room for " + std::to_string(end - mSize) + " more bytes in", mPath));
  }
}

// The new content goes to a temporary file beside the original (same folder, so the final
// rename is atomic and never crosses file systems) with the original's owner, mode and
// extended attributes; it is flushed to disk and locked, the path is checked to still name
// the original, and only then is it renamed over the original. A file with several hard
// links keeps its inode instead: the new content is copied into it (see README).
class DiskRewrite : public Rewrite {
 public:
  explicit DiskRewrite(DiskStorage& owner) : mOwner(owner) {
    std::filesystem::path target(owner.mPath);
    std::string pattern = (target.parent_path() / TemporaryPrefix(owner.mPath)).string() + "XXXXXX";
    CheckFailurePoint("temp-create");
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    mFd = FileDescriptor(::mkstemp(buf.data()));
    if (!mFd.IsOpen()) ThrowIO(Errno("cannot create a temporary file beside", owner.mPath));
    mTempPath = buf.data();
    CopyFileAttributes(owner.mFd.Get(), mFd.Get(), owner.mPath);
  }
  ~DiskRewrite() override {
    mFd.Close();
    if (!mCommitted && !mTempPath.empty()) ::unlink(mTempPath.c_str());
  }
  void Append(const void* data, std::size_t size) override {
    CheckFailurePoint("temp-write");
    WriteAll(mFd.Get(), mPos, data, size, mTempPath);
    mPos += size;
    mOwner.mBytesWritten += size;
  }
  std::uint64_t Position() const override { return mPos; }
  void Commit() override {
    CheckFailurePoint("temp-flush");
    if (::fsync(mFd.Get()) != 0) ThrowIO(Errno("cannot flush", mTempPath));
    mOwner.CheckIdentity();
    struct stat st {};
    if (::fstat(mOwner.mFd.Get(), &st) == 0 && st.st_nlink > 1) return CopyIntoOriginal();
    // Locked before it gets the name, so that no other update slips in after the rename.
    (void)::flock(mFd.Get(), LOCK_EX);
    CheckFailurePoint("rename");
    if (::rename(mTempPath.c_str(), mOwner.mPath.c_str()) != 0) {
      ThrowIO(Errno("cannot replace", mOwner.mPath));
    }
    mCommitted = true;
    mOwner.mFd.Close();  // releases the lock of the replaced file
    ReleaseLock(mOwner.mIdentity);
    mOwner.Adopt(std::move(mFd));
    NoteLock(mOwner.mIdentity);
    SyncFolder(mOwner.mPath);
  }

 private:
  // Keeps the inode of a hard-linked file: the complete new content is copied over the old
  // and flushed; the temporary file is removed only then, so an interrupted copy leaves the
  // whole new content beside the file.
  void CopyIntoOriginal() {
    mOwner.Reserve(mPos);
    mOwner.ForgetBlock();
    Bytes chunk(1 << 20);
    for (std::uint64_t at = 0; at < mPos;) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), mPos - at));
      ssize_t got = ::pread(mFd.Get(), chunk.data(), n, static_cast<off_t>(at));
      if (got <= 0) ThrowIO(Errno("cannot read back", mTempPath));
      WriteAll(mOwner.mFd.Get(), at, chunk.data(), static_cast<std::size_t>(got), mOwner.mPath);
      at += static_cast<std::uint64_t>(got);
    }
    if (::ftruncate(mOwner.mFd.Get(), static_cast<off_t>(mPos)) != 0) {
      ThrowIO(Errno("cannot truncate", mOwner.mPath));
    }
    mOwner.mSize = mPos;
    mOwner.Flush();
  }

  DiskStorage& mOwner;
  FileDescriptor mFd;
  std::string mTempPath;
  std::uint64_t mPos = 0;
  bool mCommitted = false;
};

std::unique_ptr<Rewrite> DiskStorage::StartRewrite() {
  if (!mWritable) ThrowIO("'" + mPath + "' is open read-only");
  return std::make_unique<DiskRewrite>(*this);
}

// ---- MemoryStorage ----

std::size_t MemoryStorage::DoRead(std::uint64_t offset, void* buffer, std::size_t size) {
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, Remaining(offset)));
  if (n > 0) std::memcpy(buffer, mData.data() + offset, n);
  mBytesRead += n;
  return n;
}

void MemoryStorage::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (!mWritable) ThrowIO("memory file is read-only");
  if (offset > mData.size()) ThrowIO("write at offset " + std::to_string(offset) + " past the end");
  CheckFailurePoint("in-place");
  std::optional<std::uint64_t> fault = CheckWriteStep({"write", offset, size});
  std::size_t n = fault ? static_cast<std::size_t>(std::min<std::uint64_t>(*fault, size)) : size;
  if (offset + n > mData.size()) mData.resize(offset + n);
  if (n > 0) std::memcpy(mData.data() + offset, data, n);
  mBytesWritten += n;
  if (fault) ThrowIO("no space left for the memory file (injected)");
}

void MemoryStorage::Truncate(std::uint64_t size) {
  if (!mWritable) ThrowIO("memory file is read-only");
  if (CheckWriteStep({"truncate", size, 0})) ThrowIO("cannot truncate the memory file (injected)");
  mData.resize(size);
}

class MemoryRewrite : public Rewrite {
 public:
  explicit MemoryRewrite(MemoryStorage& owner) : mOwner(owner) { CheckFailurePoint("temp-create"); }
  void Append(const void* data, std::size_t size) override {
    CheckFailurePoint("temp-write");
    const auto* p = static_cast<const std::uint8_t*>(data);
    mNew.insert(mNew.end(), p, p + size);
    mOwner.mBytesWritten += size;
  }
  std::uint64_t Position() const override { return mNew.size(); }
  void Commit() override {
    CheckFailurePoint("temp-flush");
    CheckFailurePoint("rename");
    mOwner.mData = std::move(mNew);
    mNew.clear();
  }

 private:
  MemoryStorage& mOwner;
  Bytes mNew;
};

std::unique_ptr<Rewrite> MemoryStorage::StartRewrite() {
  if (!mWritable) ThrowIO("memory file is read-only");
  return std::make_unique<MemoryRewrite>(*this);
}

}  // namespace xmpfiles
