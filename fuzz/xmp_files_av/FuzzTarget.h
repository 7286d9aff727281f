#pragma once

// The body every audio/video handler fuzz target shares: read the packet of the input, then
// write a new one into a copy. Broken input may only raise FileError; a failed write must
// leave the bytes as they were, and a successful one must read back.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FileHandler.h"
#include "PacketCleanup.h"
#include "io/Storage.h"
#include "xmp/XMP_Const.h"

namespace avfuzz {

inline const std::string& Packet() {
  static const std::string packet =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
      "rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" dc:format=\"fuzzed\"/>"
      "</rdf:RDF></x:xmpmeta>" +
      std::string(300, ' ') + "<?xpacket end=\"w\"?>";
  return packet;
}

template <typename Read, typename Write>
int Run(const std::uint8_t* data, std::size_t size, Read read, Write write) {
  xmpfiles::MemoryStorage storage(data, size);
  try {
    auto found = read(storage);
    // Decoded as SXMPFiles does before parsing; broken text may only raise XMP_Error.
    if (found) (void)xmpfiles::CleanPacket(xmpfiles::ToUtf8Packet(found->mPacket));
  } catch (const xmpfiles::FileError&) {
  } catch (const XMP_Error&) {
  }
  const xmpfiles::Bytes original = storage.Data();
  try {
    write(storage, xmpfiles::PacketText(Packet()));
  } catch (const xmpfiles::FileError&) {
    if (storage.Data() != original) std::abort();  // a failed write changed the file
    return 0;
  }
  auto found = read(storage);  // must not throw after our own write
  if (!found || found->mPacket.find("fuzzed") == std::string::npos) std::abort();
  return 0;
}

}  // namespace avfuzz
