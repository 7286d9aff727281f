#include "mru/MRUFileCheck.h"

namespace veltmetadata::mru {

namespace {

// Skips to just past `terminator`; npos when it never comes.
std::size_t SkipPast(std::string_view bytes, std::size_t from, std::string_view terminator) {
  const std::size_t at = bytes.find(terminator, from);
  return at == std::string_view::npos ? at : at + terminator.size();
}

// The end of the tag opened at `from` (just past its '>'), following quoted attribute values
// in which '>' may appear; npos when the tag never closes.
std::size_t TagEnd(std::string_view bytes, std::size_t from) {
  char quote = 0;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool IsSafeMRUDocument(std::string_view bytes) {
  if (bytes.size() > kMaxMRUFileBytes) return false;
  int depth = 0;
  std::size_t i = 0;
  while ((i = bytes.find('<', i)) != std::string_view::npos) {
    const std::string_view rest = bytes.substr(i);
    std::size_t next = std::string_view::npos;
    if (rest.starts_with("<!--")) {
      next = SkipPast(bytes, i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      next = SkipPast(bytes, i + 9, "]]>");
    } else if (rest.starts_with("<!")) {
      return false;  // DOCTYPE and any other declaration
    } else if (rest.starts_with("<?")) {
      next = SkipPast(bytes, i + 2, "?>");
    } else if (rest.starts_with("</")) {
      next = TagEnd(bytes, i + 2);
      --depth;
    } else {
      next = TagEnd(bytes, i + 1);
      if (next != std::string_view::npos && bytes[next - 2] != '/' && ++depth > kMaxMRUNesting)
        return false;
    }
    if (next == std::string_view::npos) return false;
    i = next;
  }
  return true;
}

}  // namespace veltmetadata::mru
