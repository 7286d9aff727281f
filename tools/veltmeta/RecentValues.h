#pragma once

// The tool's recently used values: one list per property, kept in the library's MRU file.
// Several veltmeta processes may update the file at once; each update loads, changes and
// saves it while holding a lock file beside it, so that no run loses another's values.

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace veltmeta {

// Longest list kept per property.
inline constexpr std::size_t kMaxRecentValues = 10;
// Longest value kept, in bytes: recent values are for entering again in a field, and whole
// files given as values would soon make the MRU file too large to load.
inline constexpr std::size_t kMaxRecentValueBytes = 4096;

// The lists by property key as written ("dc:title"), most recent first; values in UTF-8.
using RecentLists = std::map<std::string, std::vector<std::string>>;

// Puts each (key, value) at the front of its key's list, dropping an equal older entry and
// entries beyond kMaxRecentValues; later pairs end up in front of earlier ones. Values longer
// than kMaxRecentValueBytes are left out; carriage returns are dropped (the file cannot keep
// them). False, with `error` saying why, when the file could not be locked or saved; the file
// is then as it was.
bool RecordRecentValues(const std::vector<std::pair<std::string, std::string>>& values,
                        std::string& error);

// The lists in the MRU file (no lock needed to read: saves replace the file at once).
RecentLists LoadRecentValues();

// Empties the lists of `keys`, or every list when `keys` is empty, and saves the file.
// False, with `error` set, when the file could not be locked or saved.
bool ClearRecentValues(const std::vector<std::string>& keys, std::string& error);

}  // namespace veltmeta
