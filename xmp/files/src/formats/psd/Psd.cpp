#include "formats/psd/Psd.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "io/Endian.h"
#include "io/WriteJournal.h"

namespace xmpfiles::psd {

namespace {

constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kVersionSize = 2;
constexpr std::size_t kReservedSize = 6;
// Channels (2), height (4), width (4), depth (2), colour mode (2): not needed here.
constexpr std::size_t kImageFieldsSize = 14;
static_assert(kSignatureSize + kVersionSize + kReservedSize + kImageFieldsSize == kHeaderSize);

// Section lengths are 32-bit, except the layer and mask section's in PSB files.
constexpr std::size_t kLengthSize = 4;
constexpr std::size_t kPsbLayerLengthSize = 8;

// Resource block: signature, id, name length byte, up to 255 name bytes and a pad, size.
constexpr std::size_t kResourceIdSize = 2;
constexpr std::size_t kResourceMaxHeader = kSignatureSize + kResourceIdSize + 256 + kLengthSize;
constexpr std::uint32_t kResourceSignature = FourCC("8BIM");
// Photoshop's signature, and those of older applications (ImageReady, PhotoDeluxe...).
constexpr std::array<std::uint32_t, 5> kResourceSignatures = {
    kResourceSignature, FourCC("MeSa"), FourCC("AgHg"), FourCC("PHUT"), FourCC("DCSR")};

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// A signature as text when it is printable, else in hex.
std::string SignatureText(std::uint32_t signature) {
  std::string text = FourCCString(signature);
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return Hex(signature, 8);
  }
  return "'" + text + "'";
}

struct Header {
  std::uint32_t mSignature = 0;
  std::uint16_t mVersion = 0;
};

Header ReadHeader(std::span<const std::uint8_t> bytes) {
  BufReader r(bytes, Endian::kBig, "PSD header");
  Header h;
  h.mSignature = r.U32();
  h.mVersion = r.U16();
  r.Skip(kReservedSize + kImageFieldsSize);
  return h;
}

// The length field of width `fieldSize` at `offset`, or nullopt when the file ends in it.
std::optional<std::uint64_t> LengthAt(Storage& file, std::uint64_t offset, std::size_t fieldSize) {
  std::array<std::uint8_t, 8> bytes{};
  if (file.ReadSome(offset, bytes.data(), fieldSize) != fieldSize) return std::nullopt;
  BufReader r({bytes.data(), fieldSize}, Endian::kBig, "PSD section length");
  return fieldSize == kPsbLayerLengthSize ? r.U64() : r.U32();
}

// Why the section at `offset` is broken, "" when its length fits the file; `length` gets it.
std::string CheckSection(Storage& file, std::uint64_t offset, std::size_t fieldSize,
                         const std::string& name, std::uint64_t* length) {
  const auto value = LengthAt(file, offset, fieldSize);
  const std::string what = "PSD " + name + " section at offset " + std::to_string(offset);
  if (!value) return what + " is cut off before its length";
  const std::uint64_t remain = file.Remaining(offset + fieldSize);
  if (*value > remain) {
    return what + " claims " + std::to_string(*value) + " bytes, " + std::to_string(remain) +
           " remain";
  }
  *length = *value;
  return {};
}

std::uint64_t SectionLength(Storage& file, std::uint64_t offset, const std::string& name) {
  std::uint64_t length = 0;
  const std::string damage = CheckSection(file, offset, kLengthSize, name, &length);
  if (!damage.empty()) ThrowFormat(damage);
  return length;
}

// The resource block at `pos`, which must end by `end` (the section's end); `id` gets its
// id. A last block whose pad byte is missing ends at `end`.
Resource ReadResource(Storage& file, std::uint64_t pos, std::uint64_t end, std::uint16_t* id) {
  const std::string what = "PSD image resource at offset " + std::to_string(pos);
  Bytes head(static_cast<std::size_t>(std::min<std::uint64_t>(kResourceMaxHeader, end - pos)));
  file.ReadAt(pos, head.data(), head.size());
  BufReader r(head, Endian::kBig, what);
  const std::uint32_t signature = r.U32();
  if (std::find(kResourceSignatures.begin(), kResourceSignatures.end(), signature) ==
      kResourceSignatures.end()) {
    ThrowFormat(what + " has the signature " + SignatureText(signature) + ", not '8BIM'");
  }
  *id = r.U16();
  // The name's length byte and characters, padded to an even length.
  const std::uint8_t nameLength = r.U8();
  r.Skip(nameLength + (nameLength % 2 == 0 ? 1u : 0u));
  const std::uint32_t size = r.U32();
  Resource res;
  res.mOffset = pos;
  res.mDataOffset = pos + r.Pos();
  res.mDataSize = size;
  const std::uint64_t remain = end - res.mDataOffset;
  if (size > remain) {
    ThrowFormat("PSD image resource " + Hex(*id, 4) + " at offset " + std::to_string(pos) +
                " claims " + std::to_string(size) + " bytes, " + std::to_string(remain) +
                " remain in the section");
  }
  res.mEnd = std::min(end, res.mDataOffset + size + (size & 1));
  return res;
}

Bytes MakeXmpResource(std::string_view packet) {
  Bytes block;
  AppendU32(block, kResourceSignature, Endian::kBig);
  AppendU16(block, kXmpResourceId, Endian::kBig);
  AppendU16(block, 0, Endian::kBig);  // empty name, padded
  AppendU32(block, static_cast<std::uint32_t>(packet.size()), Endian::kBig);
  AppendBytes(block, packet);
  if (packet.size() % 2 != 0) AppendU8(block, 0);
  return block;
}

// Rewrites the file with `packet` in one XMP resource where the first old one was (at the
// end of the section when there was none) and without the other old ones; every other byte
// is copied as it is.
void Rewrite(Storage& file, const Layout& layout, std::string_view packet) {
  const std::uint64_t sectionStart = layout.mResourcesOffset + kLengthSize;
  std::uint64_t removed = 0;
  for (const Resource& x : layout.mXmp)
    removed += x.mEnd - x.mOffset;
  // A last block missing its pad gets it when it is kept and no longer last.
  const bool padKept = layout.mLastUnpadded &&
                       (layout.mXmp.empty() || layout.mXmp.back().mEnd != layout.mResourcesEnd);
  if (packet.size() > std::numeric_limits<std::uint32_t>::max() - kResourceMaxHeader) {
    throw FileError(ErrorKind::kBadParam, "XMP packet of " + std::to_string(packet.size()) +
                                              " bytes is too large for a PSD image resource");
  }
  const Bytes block = MakeXmpResource(packet);
  const std::uint64_t length =
      layout.mResourcesEnd - sectionStart - removed + block.size() + (padKept ? 1 : 0);
  if (length > std::numeric_limits<std::uint32_t>::max()) {
    throw FileError(ErrorKind::kBadParam, "PSD image resources section would grow to " +
                                              std::to_string(length) +
                                              " bytes, past its 32-bit length");
  }
  auto out = file.StartRewrite();
  out->AppendFrom(file, 0, layout.mResourcesOffset);
  Bytes field;
  AppendU32(field, static_cast<std::uint32_t>(length), Endian::kBig);
  out->Append(field);
  std::uint64_t pos = sectionStart;
  for (const Resource& x : layout.mXmp) {
    out->AppendFrom(file, pos, x.mOffset - pos);
    if (&x == &layout.mXmp.front()) out->Append(block);
    pos = x.mEnd;
  }
  out->AppendFrom(file, pos, layout.mResourcesEnd - pos);
  if (padKept) out->Append(Bytes{0});
  if (layout.mXmp.empty()) out->Append(block);
  // The layer and mask information and the image data, untouched.
  out->AppendFrom(file, layout.mResourcesEnd, file.Size() - layout.mResourcesEnd);
  out->Commit();
}

}  // namespace

bool IsPsd(std::span<const std::uint8_t> head) {
  if (head.size() < kHeaderSize) return false;
  const Header h = ReadHeader(head.first(kHeaderSize));
  return h.mSignature == kSignature && (h.mVersion == kVersionPsd || h.mVersion == kVersionPsb);
}

Layout Parse(Storage& file) {
  std::array<std::uint8_t, kHeaderSize> bytes{};
  const Header h = ReadHeader({bytes.data(), file.ReadSome(0, bytes.data(), bytes.size())});
  if (h.mSignature != kSignature) ThrowFormat("PSD file lacks its '8BPS' signature");
  if (h.mVersion != kVersionPsd && h.mVersion != kVersionPsb) {
    ThrowFormat("PSD version " + std::to_string(h.mVersion) + " is neither 1 (PSD) nor 2 (PSB)");
  }
  Layout layout;
  layout.mVersion = h.mVersion;
  std::uint64_t pos = kHeaderSize;
  pos += kLengthSize + SectionLength(file, pos, "colour mode data");
  layout.mResourcesOffset = pos;
  layout.mResourcesEnd = pos + kLengthSize + SectionLength(file, pos, "image resources");
  pos += kLengthSize;
  while (pos < layout.mResourcesEnd) {
    std::uint16_t id = 0;
    const Resource res = ReadResource(file, pos, layout.mResourcesEnd, &id);
    if (id == kXmpResourceId) layout.mXmp.push_back(res);
    layout.mLastUnpadded = res.mEnd < res.mDataOffset + res.mDataSize + (res.mDataSize & 1);
    pos = res.mEnd;
  }
  std::uint64_t layerLength = 0;
  layout.mLayerDamage =
      CheckSection(file, pos, h.mVersion == kVersionPsb ? kPsbLayerLengthSize : kLengthSize,
                   "layer and mask information", &layerLength);
  return layout;
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  const Layout layout = Parse(file);
  if (layout.mXmp.empty()) return std::nullopt;
  WarnSeveralPackets("PSD", layout.mXmp.size(), "XMP image resources");
  const Resource& x = layout.mXmp.front();
  return ReadStoredPacket(file, x.mDataOffset, x.mDataSize);
}

void WriteXmp(Storage& file, const PacketText& packet) {
  const Layout layout = Parse(file);
  if (!layout.mLayerDamage.empty()) ThrowFormat(layout.mLayerDamage + "; not writing");
  if (layout.mXmp.size() == 1) {
    const Resource& old = layout.mXmp.front();
    if (auto fitted = packet.FitTo(old.mDataSize)) {
      file.CheckIdentity();
      WriteJournal journal(file);
      journal.Write(old.mDataOffset, *fitted);
      journal.Sync();
      journal.Complete();
      return;
    }
  }
  Rewrite(file, layout, packet.Text());
}

}  // namespace xmpfiles::psd
