#include "io/WriteJournal.h"

#include <algorithm>

namespace xmpfiles {

WriteJournal::WriteJournal(Storage& file) : mFile(file), mOriginalSize(file.Size()) {}

WriteJournal::~WriteJournal() {
  if (!mComplete) Rollback();
}

void WriteJournal::Save(std::uint64_t offset, std::uint64_t size) {
  if (offset >= mOriginalSize || size == 0) return;
  std::uint64_t end = std::min(offset + size, mOriginalSize);
  // Read from the file as it is now: bytes written earlier in this update are saved again,
  // and undone in reverse order they come back to the original.
  std::uint64_t readable = std::min(end, mFile.Size());
  Bytes old =
      offset < readable ? mFile.Read(offset, static_cast<std::size_t>(readable - offset)) : Bytes{};
  mSaved.push_back({offset, std::move(old)});
}

void WriteJournal::Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  Save(offset, bytes.size());
  mFile.WriteAt(offset, bytes.data(), bytes.size());
}

void WriteJournal::Write(std::uint64_t offset, std::string_view bytes) {
  Write(offset, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void WriteJournal::Truncate(std::uint64_t size) {
  if (size >= mFile.Size()) return;
  Save(size, mFile.Size() - size);
  mFile.Truncate(size);
}

void WriteJournal::Rollback() noexcept {
  mComplete = true;
  try {
    for (auto it = mSaved.rbegin(); it != mSaved.rend(); ++it) {
      if (it->mOffset <= mFile.Size() && !it->mBytes.empty()) {
        mFile.WriteAt(it->mOffset, it->mBytes.data(), it->mBytes.size());
      }
    }
    if (mFile.Size() != mOriginalSize) mFile.Truncate(mOriginalSize);
    mFile.Flush();
  } catch (...) {
    // Nothing more can be done; the caller reports the failure that led here.
  }
}

}  // namespace xmpfiles
