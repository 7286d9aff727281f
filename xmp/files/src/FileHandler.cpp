#include "FileHandler.h"

#include "xmp/XMP_Warnings.h"

namespace xmpfiles {

namespace {

constexpr std::string_view kPacketBegin = "<?xpacket begin=";
constexpr std::string_view kPacketEnd = "<?xpacket end=";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Start of the whitespace run that ends at `end`.
std::size_t PaddingStart(std::string_view text, std::size_t end) {
  while (end > 0 && IsSpace(text[end - 1]))
    --end;
  return end;
}

}  // namespace

std::string FourCCString(std::uint32_t code) {
  return XMP_FourCCString(code);
}

std::optional<std::string> PacketText::FitTo(std::size_t size) const {
  if (mText.size() == size) return mText;
  std::size_t trailer = mText.rfind(kPacketEnd);
  if (trailer == std::string::npos) {
    // No trailer to pad before: whitespace after the root element, which XML allows.
    if (mText.size() > size) return std::nullopt;
    return mText + std::string(size - mText.size(), ' ');
  }
  std::size_t contentEnd = PaddingStart(mText, trailer);
  std::size_t fixed = contentEnd + (mText.size() - trailer);
  if (fixed > size) return std::nullopt;
  std::size_t pad = size - fixed;
  std::string out;
  out.reserve(size);
  out.append(mText, 0, contentEnd);
  // Padding in lines of 100 characters, ending with a newline before the trailer.
  for (std::size_t i = 0; i < pad; ++i) {
    out.push_back((i % 100 == 99 || i + 1 == pad) ? '\n' : ' ');
  }
  out.append(mText, trailer, std::string::npos);
  return out;
}

std::string PacketText::Compact() const {
  std::size_t trailer = mText.rfind(kPacketEnd);
  if (trailer == std::string::npos) return mText;
  std::size_t contentEnd = PaddingStart(mText, trailer);
  return mText.substr(0, contentEnd) + "\n" + mText.substr(trailer);
}

bool LocatePacket(std::string_view data, PacketInfo& info) {
  std::size_t begin = data.find(kPacketBegin);
  if (begin == std::string_view::npos) return false;
  std::size_t end = data.find(kPacketEnd, begin);
  if (end == std::string_view::npos) return false;
  std::size_t close = data.find("?>", end);
  if (close == std::string_view::npos) return false;
  std::string_view packet = data.substr(begin, close + 2 - begin);
  info = DescribePacket(packet, static_cast<std::int64_t>(begin));
  return true;
}

PacketInfo DescribePacket(std::string_view packet, std::int64_t offset) {
  PacketInfo info;
  info.mOffset = offset;
  info.mLength = static_cast<std::int32_t>(packet.size());
  std::size_t trailer = packet.rfind(kPacketEnd);
  if (trailer != std::string_view::npos) {
    info.mPadSize = static_cast<std::int32_t>(trailer - PaddingStart(packet, trailer));
    std::size_t q = trailer + kPacketEnd.size();
    info.mWritable = q + 1 < packet.size() && packet[q + 1] == 'w';
  }
  return info;
}

FoundPacket ReadStoredPacket(Storage& file, std::uint64_t offset, std::uint64_t length) {
  FoundPacket found;
  found.mPacket = file.ReadString(offset, static_cast<std::size_t>(length));
  found.mInfo = DescribePacket(found.mPacket, static_cast<std::int64_t>(offset));
  return found;
}

void WarnSeveralPackets(std::string_view format, std::size_t count, std::string_view blocks) {
  if (count <= 1) return;
  XMP_ReportWarning(std::string(format) + " holds " + std::to_string(count) + " " +
                    std::string(blocks) + "; the first is read, a write keeps only it");
}

}  // namespace xmpfiles
