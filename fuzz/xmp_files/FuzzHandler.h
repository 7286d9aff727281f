#pragma once

// The body shared by the per-handler fuzz targets: the input is a whole file in memory. The
// handler must detect it or not, read it or fail with FileError, and, when it writes a new
// packet, read that packet back exactly. Anything else (another exception, a crash, a
// sanitizer report) is a finding.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FileHandler.h"
#include "PacketCleanup.h"
#include "io/Storage.h"
#include "xmp/XMP_Const.h"

namespace xmpfuzz {

// Decodes a packet as SXMPFiles does before parsing: any encoding, padding and junk. Broken
// text may only raise XMP_Error.
inline void DecodeFound(const std::optional<xmpfiles::FoundPacket>& found) {
  if (!found) return;
  try {
    const std::string text = xmpfiles::ToUtf8Packet(found->mPacket);
    const std::string clean = xmpfiles::CleanPacket(text);
    // The copy-free form, where it applies, is the same text.
    const std::optional<std::string_view> part = xmpfiles::CleanPacketView(text);
    if (part && *part != clean) std::abort();
  } catch (const XMP_Error&) {
  }
}

inline const char kPacket[] =
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
    "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
    "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Label=\"fuzz\"/></rdf:RDF></x:xmpmeta>\n"
    "                                                                                    \n"
    "<?xpacket end=\"w\"?>";

inline int FuzzOne(const xmpfiles::FileHandler& handler, const std::uint8_t* data,
                   std::size_t size) {
  using namespace xmpfiles;
  (void)handler.CheckFormat({data, size < kDetectBytes ? size : kDetectBytes}, "", size);
  MemoryStorage file(data, size);
  try {
    DecodeFound(handler.Read(file));
  } catch (const FileError&) {
  }
  if (handler.IsReadOnly()) return 0;
  try {
    handler.Write(file, PacketText(kPacket));
  } catch (const FileError&) {
    // A refused write leaves the bytes as they were.
    if (file.Data().size() != size || !std::equal(file.Data().begin(), file.Data().end(), data)) {
      std::abort();
    }
    return 0;
  }
  // What was written must read back.
  auto back = handler.Read(file);
  if (!back || back->mPacket.find("xmp:Label=\"fuzz\"") == std::string::npos) std::abort();
  return 0;
}

}  // namespace xmpfuzz
