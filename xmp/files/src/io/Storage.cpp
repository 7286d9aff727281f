#include "io/Storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace xmpfiles {

namespace {

std::mutex sHookMutex;
std::function<bool(std::string_view)> sFailureHook;

std::string Errno(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

// Writes all bytes or throws.
void WriteAll(int fd, std::uint64_t offset, const void* data, std::size_t size,
              const std::string& path) {
  const auto* p = static_cast<const std::uint8_t*>(data);
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

void CheckFailurePoint(std::string_view point) {
  std::function<bool(std::string_view)> hook;
  {
    std::lock_guard lock(sHookMutex);
    hook = sFailureHook;
  }
  if (hook && hook(point)) ThrowIO("injected failure at '" + std::string(point) + "'");
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
  std::string out(size, '\0');
  ReadAt(offset, out.data(), size);
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

DiskStorage::DiskStorage(const std::string& path, bool writable)
    : mPath(path), mWritable(writable) {
  Reopen();
}

DiskStorage::~DiskStorage() {
  if (mFd >= 0) ::close(mFd);
}

void DiskStorage::Reopen() {
  if (mFd >= 0) ::close(mFd);
  mFd = -1;
  int fd = ::open(mPath.c_str(), (mWritable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) ThrowIO(Errno("cannot open", mPath));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    ThrowIO("'" + mPath + "' is not a regular file");
  }
  mFd = fd;
  mSize = static_cast<std::uint64_t>(st.st_size);
}

std::size_t DiskStorage::DoRead(std::uint64_t offset, void* buffer, std::size_t size) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::size_t total = 0;
  while (total < size) {
    ssize_t n = ::pread(mFd, p + total, size - total, static_cast<off_t>(offset + total));
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
  WriteAll(mFd, offset, data, size, mPath);
  mBytesWritten += size;
  mSize = std::max<std::uint64_t>(mSize, offset + size);
}

void DiskStorage::Truncate(std::uint64_t size) {
  if (!mWritable) ThrowIO("'" + mPath + "' is open read-only");
  if (::ftruncate(mFd, static_cast<off_t>(size)) != 0) ThrowIO(Errno("cannot truncate", mPath));
  mSize = size;
}

void DiskStorage::Flush() {
  if (mFd >= 0 && mWritable && ::fsync(mFd) != 0) ThrowIO(Errno("cannot flush", mPath));
}

// The new content goes to a temporary file beside the original (same folder, so the final
// rename is atomic and never crosses file systems), keeps the original's permissions, is
// flushed to disk, and only then renamed over the original.
class DiskRewrite : public Rewrite {
 public:
  explicit DiskRewrite(DiskStorage& owner) : mOwner(owner) {
    std::filesystem::path target(owner.mPath);
    std::string name = target.filename().string();
    std::filesystem::path folder = target.parent_path();
    std::string pattern = (folder / ("." + name + ".velt-XXXXXX")).string();
    CheckFailurePoint("temp-create");
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    mFd = ::mkstemp(buf.data());
    if (mFd < 0) ThrowIO(Errno("cannot create a temporary file beside", owner.mPath));
    mTempPath = buf.data();
    struct stat st {};
    if (::fstat(owner.mFd, &st) == 0) (void)::fchmod(mFd, st.st_mode & 07777);
  }
  ~DiskRewrite() override {
    if (mFd >= 0) ::close(mFd);
    if (!mCommitted && !mTempPath.empty()) ::unlink(mTempPath.c_str());
  }
  void Append(const void* data, std::size_t size) override {
    CheckFailurePoint("temp-write");
    WriteAll(mFd, mPos, data, size, mTempPath);
    mPos += size;
    mOwner.mBytesWritten += size;
  }
  std::uint64_t Position() const override { return mPos; }
  void Commit() override {
    CheckFailurePoint("temp-flush");
    if (::fsync(mFd) != 0) ThrowIO(Errno("cannot flush", mTempPath));
    CheckFailurePoint("rename");
    if (::rename(mTempPath.c_str(), mOwner.mPath.c_str()) != 0) {
      ThrowIO(Errno("cannot replace", mOwner.mPath));
    }
    mCommitted = true;
    // Make the rename itself durable.
    std::string folder = std::filesystem::path(mOwner.mPath).parent_path().string();
    int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
      (void)::fsync(dirFd);
      ::close(dirFd);
    }
    mOwner.Reopen();
  }

 private:
  DiskStorage& mOwner;
  int mFd = -1;
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
  if (offset + size > mData.size()) mData.resize(offset + size);
  if (size > 0) std::memcpy(mData.data() + offset, data, size);
  mBytesWritten += size;
}

void MemoryStorage::Truncate(std::uint64_t size) {
  if (!mWritable) ThrowIO("memory file is read-only");
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
