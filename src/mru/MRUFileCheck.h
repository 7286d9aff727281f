#pragma once

// Checks made on the MRU file's bytes before they reach the XML reader. The property-tree
// reader recurses once per element level and keeps the whole document in memory, so a file
// that is very large or very deeply nested could exhaust the stack or memory; such files,
// and files with a document type declaration (which this format never has), are refused.

#include <cstddef>
#include <string_view>

namespace veltmetadata::mru {

// Largest MRU file that is read at all.
inline constexpr std::size_t kMaxMRUFileBytes = 4 * 1024 * 1024;
// Deepest element nesting accepted; the format itself needs four levels.
inline constexpr int kMaxMRUNesting = 16;

// True when the bytes may be handed to the XML reader: no larger than kMaxMRUFileBytes, no
// DOCTYPE or other markup declaration, and elements nested no deeper than kMaxMRUNesting.
// Malformed markup that the scan cannot follow is refused too.
bool IsSafeMRUDocument(std::string_view bytes);

}  // namespace veltmetadata::mru
