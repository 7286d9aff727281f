#include "FolderLocks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>

namespace veltmeta {

FolderLocks::FolderLocks(const std::vector<std::string>& files) {
  std::set<std::string> folders;
  for (const std::string& file : files) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::weakly_canonical(file, error);
    if (error) target = std::filesystem::absolute(file, error);
    folders.insert(target.parent_path().string());
  }
  for (const std::string& folder : folders) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    int result;
    do {
      result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    mDescriptors.push_back(fd);
  }
}

FolderLocks::~FolderLocks() {
  for (const int fd : mDescriptors)
    ::close(fd);
}

}  // namespace veltmeta
