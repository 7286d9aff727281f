#include "PacketCleanup.h"

#include <algorithm>
#include <array>

namespace xmpfiles {

namespace {

constexpr std::array<std::string_view, 3> kOpenTags = {"<x:xmpmeta", "<x:xapmeta", "<rdf:RDF"};
constexpr std::array<std::string_view, 3> kCloseTags = {"</x:xmpmeta>", "</x:xapmeta>",
                                                        "</rdf:RDF>"};

// End of the last closing tag in `s` (npos when none).
std::size_t LastCloseEnd(std::string_view s) {
  std::size_t best = std::string_view::npos;
  for (std::string_view tag : kCloseTags) {
    std::size_t at = s.rfind(tag);
    if (at != std::string_view::npos) {
      std::size_t end = at + tag.size();
      if (best == std::string_view::npos || end > best) best = end;
      break;  // the outermost element comes first in kCloseTags
    }
  }
  return best;
}

}  // namespace

std::string CleanPacket(std::string_view raw) {
  std::size_t start = raw.find("<?xpacket begin");
  if (start == std::string_view::npos) {
    for (std::string_view tag : kOpenTags) {
      start = std::min(start, raw.find(tag));
    }
  }
  if (start == std::string_view::npos) return {};
  std::string_view s = raw.substr(start);
  std::size_t closeEnd = LastCloseEnd(s);
  std::size_t trailer = s.find("<?xpacket end", closeEnd == std::string_view::npos ? 0 : closeEnd);
  std::size_t trailerEnd = trailer == std::string_view::npos ? trailer : s.find("?>", trailer);
  if (trailerEnd != std::string_view::npos) {
    std::string out(s.substr(0, trailerEnd + 2));
    if (closeEnd != std::string_view::npos) {
      for (std::size_t i = closeEnd; i < trailer; ++i) {
        char c = out[i];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') out[i] = ' ';
      }
    }
    return out;
  }
  if (closeEnd == std::string_view::npos) return {};
  // No (complete) trailer: the packet ends with its closing tag; a dangling wrapper start
  // is dropped so that the text is well-formed.
  std::string out(s.substr(0, closeEnd));
  if (out.starts_with("<?xpacket begin")) {
    std::size_t pi = out.find("?>");
    std::string body = pi == std::string::npos ? out : out.substr(pi + 2);
    return std::string(out.substr(0, pi + 2)) + body + "<?xpacket end=\"w\"?>";
  }
  return out;
}

}  // namespace xmpfiles
