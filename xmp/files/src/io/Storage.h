#pragma once

// The byte-I/O layer every file handler works on: a random-access file (bounded reads that
// never go past the end, in-place writes), a safe rewrite through a temporary file, and an
// in-memory variant with the same behaviour (for fuzzing and tests). Byte-order helpers are
// in io/Endian.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/FileSafety.h"

namespace xmpfiles {

using Bytes = std::vector<std::uint8_t>;

// Error kinds raised by the file layer; SXMPFiles turns them into XMP_Error with these ids.
enum class ErrorKind : int {
  kBadFormat = 1,    // the file's structure is broken (truncated, lying sizes, loops)
  kIO = 2,           // the operating system refused a read, write, rename...
  kUnsupported = 3,  // the operation is not possible for this file (e.g. read-only format)
  kBadParam = 4,     // a caller's mistake
};

// The one exception type of the file layer. The message is concrete, e.g.
// "PNG chunk 'iTXt' claims 912 bytes, 40 remain".
class FileError : public std::runtime_error {
 public:
  FileError(ErrorKind kind, const std::string& message)
      : std::runtime_error(message), mKind(kind) {}
  ErrorKind Kind() const { return mKind; }

 private:
  ErrorKind mKind;
};

[[noreturn]] void ThrowFormat(const std::string& message);
[[noreturn]] void ThrowIO(const std::string& message);

// Failure injection for tests: the hook is called at named points of writing ("in-place",
// "temp-create", "temp-write", "temp-flush", "rename"); returning true makes that step fail
// as an I/O error would. Process-wide; pass null to disable.
void SetFailureHook(std::function<bool(std::string_view point)> hook);
// Throws an I/O FileError when the failure hook asks for a failure at `point`.
void CheckFailurePoint(std::string_view point);

// One step of writing as the fault seam sees it: `point` is "write", "truncate", "reserve",
// "sync" (an fsync of the file or its folder), or one of the rewrite points above;
// `size` is the number of bytes a write step writes (0 for the others).
struct WriteStep {
  std::string_view mPoint;
  std::uint64_t mOffset = 0;
  std::uint64_t mSize = 0;
};
// Fault injection at every write step, for tests and the kill-point matrix: the hook
// returns nullopt to let the step run, or the number of bytes the step gets done before it
// fails as a full disk would (0: it fails before writing anything). A hook may also end the
// process, which simulates a kill at that step. Process-wide; pass null to disable.
using WriteFaultHook = std::function<std::optional<std::uint64_t>(const WriteStep&)>;
void SetWriteFaultHook(WriteFaultHook hook);
// Asks the fault hook about `step`: nullopt to go on, else how many bytes to write first.
std::optional<std::uint64_t> CheckWriteStep(const WriteStep& step);

class Storage;

// An open POSIX file descriptor, closed when its owner is destroyed or moved onto.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : mFd(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(FileDescriptor&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      mFd = std::exchange(other.mFd, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return mFd; }
  bool IsOpen() const { return mFd >= 0; }
  // Closes the descriptor now (a no-op when none is open); errors of close are ignored, as
  // the data was made durable (or not) by the writes and fsyncs before.
  void Close();

 private:
  int mFd = -1;
};

// A new content for a Storage, written front to back and swapped in by Commit(). Until
// Commit() succeeds the original content is untouched; destroying an uncommitted rewrite
// discards it.
class Rewrite {
 public:
  virtual ~Rewrite() = default;
  virtual void Append(const void* data, std::size_t size) = 0;
  void Append(std::string_view bytes) { Append(bytes.data(), bytes.size()); }
  void Append(const Bytes& bytes) { Append(bytes.data(), bytes.size()); }
  // Copies `length` bytes of the original content from `offset` (checked against its size).
  void AppendFrom(Storage& original, std::uint64_t offset, std::uint64_t length);
  // Number of bytes appended so far (the offset of the next byte in the new content).
  virtual std::uint64_t Position() const = 0;
  // Flushes and replaces the original atomically. Throws FileError on failure, leaving the
  // original as it was.
  virtual void Commit() = 0;
};

// A random-access file. Reads past the end throw a FileError instead of returning short data.
class Storage {
 public:
  virtual ~Storage() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; throws FileError when they are not all there.
  void ReadAt(std::uint64_t offset, void* buffer, std::size_t size);
  Bytes Read(std::uint64_t offset, std::size_t size);
  std::string ReadString(std::uint64_t offset, std::size_t size);
  // Reads up to `size` bytes at `offset`; returns the number read (0 at or past the end).
  std::size_t ReadSome(std::uint64_t offset, void* buffer, std::size_t size);
  // Bytes left after `offset` (0 when offset is at or past the end): the checked way to
  // compare a size field against the file ("claims N, M remain").
  std::uint64_t Remaining(std::uint64_t offset) const;

  // Writes at `offset` (which may be the end, extending the file). Throws on failure.
  virtual void WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  virtual void Truncate(std::uint64_t size) = 0;
  // Makes the content and the file's name durable (fsync of the file and of its folder).
  virtual void Flush() = 0;
  // Makes sure the file can grow to `end` bytes without running out of space, where the
  // file system can promise it; the size does not change. Throws FileError (kIO) when the
  // space is not there.
  virtual void Reserve(std::uint64_t end) { (void)end; }
  // Starts a safe rewrite of the whole content.
  virtual std::unique_ptr<Rewrite> StartRewrite() = 0;
  virtual bool Writable() const = 0;
  // Throws FileError (kIO) when the path no longer names the file that was opened (it was
  // removed or replaced): checked before the write that makes an update visible.
  virtual void CheckIdentity() const {}

  // Counters for benchmarks: bytes actually read from and written to this storage.
  std::uint64_t BytesRead() const { return mBytesRead; }
  std::uint64_t BytesWritten() const { return mBytesWritten; }

 protected:
  virtual std::size_t DoRead(std::uint64_t offset, void* buffer, std::size_t size) = 0;
  std::uint64_t mBytesRead = 0;
  std::uint64_t mBytesWritten = 0;
};

// A file on disk (POSIX). The constructor follows symbolic links, takes a shared lock for
// reading or an exclusive one for updating (held until destruction; see FileSafety.h), and
// for an update removes our stale temporary files beside it. Throws FileError (kIO) for a
// missing file, a folder or a file without permission.
class DiskStorage : public Storage {
 public:
  DiskStorage(const std::string& path, bool writable);
  ~DiskStorage() override;
  DiskStorage(const DiskStorage&) = delete;
  DiskStorage& operator=(const DiskStorage&) = delete;

  std::uint64_t Size() const override { return mSize; }
  void WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  void Truncate(std::uint64_t size) override;
  void Flush() override;
  void Reserve(std::uint64_t end) override;
  std::unique_ptr<Rewrite> StartRewrite() override;
  bool Writable() const override { return mWritable; }
  void CheckIdentity() const override;
  // The path of the file: as given for reading, with symbolic links resolved for updating.
  const std::string& Path() const { return mPath; }

 protected:
  std::size_t DoRead(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  friend class DiskRewrite;
  // Takes `fd` as this storage's open file (size and identity), from its status `st` when
  // the caller has it.
  void Adopt(FileDescriptor fd);
  void Adopt(FileDescriptor fd, const struct stat& st);
  // Reads from the file itself, bypassing the block below.
  std::size_t ReadFile(std::uint64_t offset, void* buffer, std::size_t size);
  // Drops the block after the file's content changed.
  void ForgetBlock() { mBlockSize = 0; }

  std::string mPath;
  FileDescriptor mFd;
  bool mWritable = false;
  std::uint64_t mSize = 0;
  FileIdentity mIdentity;
  // The last block read for small reads: handlers walk headers a few bytes at a time, and
  // one read of a page serves all those within it instead of a system call each.
  std::unique_ptr<std::uint8_t[]> mBlock;
  std::uint64_t mBlockOffset = 0;
  std::size_t mBlockSize = 0;  // valid bytes in mBlock
};

// A file held in memory; writes and rewrites change the vector.
class MemoryStorage : public Storage {
 public:
  explicit MemoryStorage(Bytes content = {}, bool writable = true)
      : mData(std::move(content)), mWritable(writable) {}
  MemoryStorage(const std::uint8_t* data, std::size_t size, bool writable = true)
      : mData(data, data + size), mWritable(writable) {}

  std::uint64_t Size() const override { return mData.size(); }
  void WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  void Truncate(std::uint64_t size) override;
  void Flush() override {}
  std::unique_ptr<Rewrite> StartRewrite() override;
  bool Writable() const override { return mWritable; }
  const Bytes& Data() const { return mData; }

 protected:
  std::size_t DoRead(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  friend class MemoryRewrite;
  Bytes mData;
  bool mWritable;
};

}  // namespace xmpfiles
