#include "packages/PackagePaths.h"

#include <algorithm>
#include <system_error>

namespace veltmetadata::packages {

namespace fs = std::filesystem;

bool StaysInside(const fs::path& entry, const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_symlink(entry, ec)) return !ec;
  const fs::path target = fs::canonical(entry, ec);
  if (ec) return false;
  const fs::path root = fs::canonical(folder, ec);
  if (ec) return false;
  const auto [rootEnd, targetIt] =
      std::mismatch(root.begin(), root.end(), target.begin(), target.end());
  return rootEnd == root.end() && targetIt != target.end();
}

bool IsPlainFileName(const UTF16String& name) {
  return name.find(u'/') == UTF16String::npos && name.find(u'\\') == UTF16String::npos &&
         name != u"." && name != u"..";
}

}  // namespace veltmetadata::packages
