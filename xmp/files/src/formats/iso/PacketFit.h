#pragma once

// Fitting a packet into a fixed amount of space, shared by the audio/video handlers.

#include <optional>
#include <string>

#include "FileHandler.h"

namespace xmpfiles {

// The packet padded (or with padding trimmed) to exactly `size` bytes. A packet without an
// xpacket trailer gets whitespace after it, which XML allows after the root element.
// nullopt when the packet cannot be made that short.
inline std::optional<std::string> FitPacket(const PacketText& packet, std::size_t size) {
  if (auto fitted = packet.FitTo(size)) return fitted;
  const std::string& text = packet.Text();
  if (text.find("<?xpacket end=") != std::string::npos || text.size() > size) return std::nullopt;
  return text + std::string(size - text.size(), ' ');
}

}  // namespace xmpfiles
