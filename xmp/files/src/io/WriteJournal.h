#pragma once

// The undo log of an update made by writing into a file in place: every write remembers the
// bytes it covers of the original content, so that a failure at any step (no space, a size
// limit, an I/O error) puts the file back byte for byte, at its original length.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "io/Storage.h"

namespace xmpfiles {

class WriteJournal {
 public:
  explicit WriteJournal(Storage& file);
  // Rolls the file back unless Complete() was called.
  ~WriteJournal();
  WriteJournal(const WriteJournal&) = delete;
  WriteJournal& operator=(const WriteJournal&) = delete;

  Storage& File() { return mFile; }
  // Writes `bytes` at `offset` (at most the current end: the file may grow). Throws FileError.
  void Write(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  void Write(std::uint64_t offset, std::string_view bytes);
  // Shortens the file to `size` bytes, remembering what is cut off.
  void Truncate(std::uint64_t size);
  // Makes sure the file can grow to `end` bytes (see Storage::Reserve).
  void Reserve(std::uint64_t end) { mFile.Reserve(end); }
  // Makes everything written so far durable.
  void Sync() { mFile.Flush(); }
  // The update is whole: nothing is undone any more.
  void Complete() { mComplete = true; }
  // Puts back the original bytes and length and flushes; never throws (a rollback that the
  // system refuses leaves what it could not undo).
  void Rollback() noexcept;

 private:
  void Save(std::uint64_t offset, std::uint64_t size);

  struct Saved {
    std::uint64_t mOffset;
    Bytes mBytes;
  };
  Storage& mFile;
  std::uint64_t mOriginalSize;
  std::vector<Saved> mSaved;
  bool mComplete = false;
};

}  // namespace xmpfiles
