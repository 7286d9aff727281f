#pragma once

// Serialises the read-modify-write of `veltmeta set` runs. The file handlers lock a file only
// from the open for update to its close, but `set` reads the metadata earlier, through a
// read-only open: two runs could both read the old state and the second write would drop the
// first one's change. Each run therefore holds an exclusive advisory lock on the folder of
// every file it edits for its whole run. Like the handlers' lock, other programs may not
// honour it.

#include <string>
#include <vector>

namespace veltmeta {

class FolderLocks {
 public:
  // Locks the folders of `files` (of their targets, for links), each once and in path order
  // so that runs over overlapping folders cannot deadlock; blocks until each is free. A folder
  // that cannot be opened is skipped: the write that follows reports the real problem.
  explicit FolderLocks(const std::vector<std::string>& files);
  ~FolderLocks();
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;

 private:
  std::vector<int> mDescriptors;
};

}  // namespace veltmeta
