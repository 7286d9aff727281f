#pragma once

// Helpers shared by the benchmark programs (each velt_bench target has this folder on its
// include path).

#include <cstddef>
#include <string>

namespace veltbench {

// A writable packet holding `title` as dc:title, with `padding` spaces before its trailer.
inline std::string TitlePacket(const std::string& title, std::size_t padding) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
         "rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title><rdf:Alt>"
         "<rdf:li xml:lang=\"x-default\">" +
         title + "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>" +
         std::string(padding, ' ') + "<?xpacket end=\"w\"?>";
}

}  // namespace veltbench
