#include "formats/mpeg/Id3.h"

#include <algorithm>
#include <cstring>

#include "io/Endian.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles::mpeg {

namespace {

constexpr std::size_t kTagHeaderSize = 10;  // "ID3", version, revision, flags, size
constexpr std::size_t kTagFooterSize = 10;
constexpr std::size_t kFrameHeaderSize = 10;    // id, size, flags
constexpr std::size_t kFrameHeaderSizeV22 = 6;  // id, size
constexpr std::uint8_t kTagUnsync = 0x80;
constexpr std::uint8_t kTagExtendedHeader = 0x40;
constexpr std::uint8_t kTagFooter = 0x10;
constexpr std::uint32_t kMaxTagBody = 0x0FFFFFFF;  // what 28 bits can say
constexpr std::string_view kOwner{"XMP\0", 4};

struct Frame {
  std::size_t mOffset = 0;      // in Tag::frames bytes
  std::size_t mHeaderSize = 0;  // kFrameHeaderSize, or kFrameHeaderSizeV22
  std::size_t mSize = 0;        // payload bytes
  std::string mId;
  std::uint16_t mFlags = 0;
  std::size_t End() const { return mOffset + mHeaderSize + mSize; }
};

struct Tag {
  std::uint8_t mMajor = 0;
  std::uint8_t mFlags = 0;
  std::uint64_t mTotalSize = 0;  // on disk: header, body and footer
  Bytes mBody;                   // the body with tag-level unsynchronisation undone (v2.3)
  bool mBodyIsVerbatim = true;   // the body's bytes are those on disk
  std::size_t mFramesBegin = 0;  // after the extended header
  std::vector<Frame> mFrames;
  std::string mDamage;  // why frame listing stopped early
};

// Undoes unsynchronisation: every 0xFF 0x00 becomes 0xFF.
Bytes Resync(std::span<const std::uint8_t> data) {
  Bytes out;
  out.reserve(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) {
    out.push_back(data[i]);
    if (data[i] == 0xFF && i + 1 < data.size() && data[i + 1] == 0x00) ++i;
  }
  return out;
}

bool IsFrameIdChar(std::uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Frame sizes: plain in 2.3; synchsafe in 2.4 (some writers put plain sizes there: those are
// taken as plain when the synchsafe reading is impossible).
std::size_t FrameSize(const std::uint8_t* p, std::uint8_t major) {
  if (major == 2) return std::size_t{p[0]} << 16 | std::size_t{p[1]} << 8 | p[2];
  if (major == 4) {
    if (auto safe = DecodeSynchsafe(p)) return *safe;
  }
  return GetU32BE(p);
}

void ListFrames(Tag& tag) {
  const std::size_t headerSize = tag.mMajor == 2 ? kFrameHeaderSizeV22 : kFrameHeaderSize;
  const std::size_t idSize = tag.mMajor == 2 ? 3 : 4;
  std::size_t pos = tag.mFramesBegin;
  while (pos < tag.mBody.size()) {
    const std::uint8_t* p = tag.mBody.data() + pos;
    std::size_t room = tag.mBody.size() - pos;
    if (p[0] == 0) break;  // padding
    if (room < headerSize) {
      tag.mDamage = "frame header at offset " + std::to_string(pos) + " of the ID3 tag is cut off";
      break;
    }
    Frame frame;
    frame.mOffset = pos;
    frame.mHeaderSize = headerSize;
    frame.mId.assign(reinterpret_cast<const char*>(p), idSize);
    if (!std::all_of(p, p + idSize, IsFrameIdChar)) {
      tag.mDamage = "bad frame id at offset " + std::to_string(pos) + " of the ID3 tag";
      break;
    }
    frame.mSize = FrameSize(p + idSize, tag.mMajor);
    if (tag.mMajor != 2) frame.mFlags = GetU16BE(p + 8);
    if (frame.mSize > room - headerSize) {
      tag.mDamage = "ID3 frame '" + frame.mId + "' claims " + std::to_string(frame.mSize) +
                    " bytes, " + std::to_string(room - headerSize) + " remain";
      break;
    }
    tag.mFrames.push_back(frame);
    pos = frame.End();
  }
}

// The tag at the start of the file, nullopt when there is none. kRefuse throws for damage
// that reading would step over.
std::optional<Tag> ReadTag(Storage& file, OnDamage onDamage) {
  const bool strict = onDamage == OnDamage::kRefuse;
  std::uint8_t header[kTagHeaderSize];
  if (file.ReadSome(0, header, kTagHeaderSize) != kTagHeaderSize) return std::nullopt;
  BufReader in({header, kTagHeaderSize}, Endian::kBig, "ID3 tag header");
  if (in.TakeString(3) != "ID3") return std::nullopt;
  Tag tag;
  tag.mMajor = in.U8();
  in.Skip(1);  // revision
  tag.mFlags = in.U8();
  if (tag.mMajor < 2 || tag.mMajor > 4) {
    ThrowFormat("ID3v2." + std::to_string(tag.mMajor) + " tag: unknown version");
  }
  auto bodySize = DecodeSynchsafe(in.Take(4).data());
  if (!bodySize) ThrowFormat("ID3 tag size is not a synchsafe integer");
  bool footer = tag.mMajor == 4 && (tag.mFlags & kTagFooter);
  tag.mTotalSize = kTagHeaderSize + std::uint64_t{*bodySize} + (footer ? kTagFooterSize : 0);
  std::uint64_t remain = file.Size() - kTagHeaderSize;
  std::uint64_t readable = *bodySize;
  if (*bodySize > remain) {
    std::string damage = "ID3 tag claims " + std::to_string(*bodySize) + " bytes, " +
                         std::to_string(remain) + " remain";
    if (strict) ThrowFormat(damage);
    readable = remain;
    tag.mDamage = damage;
  }
  if (strict && tag.mTotalSize > file.Size()) ThrowFormat("ID3 tag footer is cut off");
  tag.mBody = file.Read(kTagHeaderSize, static_cast<std::size_t>(readable));
  if (tag.mMajor < 4 && (tag.mFlags & kTagUnsync)) {
    tag.mBody = Resync(tag.mBody);
    tag.mBodyIsVerbatim = false;
  }
  if (tag.mMajor != 2 && (tag.mFlags & kTagExtendedHeader)) {
    if (tag.mBody.size() < 4) ThrowFormat("ID3 extended header is cut off");
    std::uint64_t extSize = tag.mMajor == 3 ? 4 + std::uint64_t{GetU32BE(tag.mBody.data())}
                                            : DecodeSynchsafe(tag.mBody.data()).value_or(0);
    if (extSize < 4 || extSize > tag.mBody.size()) {
      ThrowFormat("ID3 extended header claims " + std::to_string(extSize) + " bytes, " +
                  std::to_string(tag.mBody.size()) + " remain");
    }
    tag.mFramesBegin = static_cast<std::size_t>(extSize);
  }
  std::string sizeDamage = tag.mDamage;
  ListFrames(tag);
  if (strict && !tag.mDamage.empty()) ThrowFormat(tag.mDamage);
  if (tag.mDamage.empty()) tag.mDamage = sizeDamage;
  return tag;
}

bool IsXmpFrame(const Tag& tag, const Frame& frame) {
  if (frame.mId != "PRIV" || frame.mSize < kOwner.size()) return false;
  const std::uint8_t* data = tag.mBody.data() + frame.mOffset + frame.mHeaderSize;
  bool plain = tag.mMajor == 3 ? (frame.mFlags & 0x00E0) == 0 : (frame.mFlags & 0x004F) == 0;
  if (plain) return std::memcmp(data, kOwner.data(), kOwner.size()) == 0;
  return true;  // decoded and checked by FramePayload
}

// The frame's payload with frame-level encodings undone; nullopt for compressed or
// encrypted frames, which we do not decode.
std::optional<Bytes> FramePayload(const Tag& tag, const Frame& frame) {
  std::span<const std::uint8_t> data(tag.mBody.data() + frame.mOffset + frame.mHeaderSize,
                                     frame.mSize);
  if (tag.mMajor == 3) {
    if (frame.mFlags & 0x00C0) return std::nullopt;  // compressed, encrypted
    if (frame.mFlags & 0x0020) data = data.subspan(std::min<std::size_t>(1, data.size()));
    return Bytes(data.begin(), data.end());
  }
  if (frame.mFlags & 0x000C) return std::nullopt;  // compressed, encrypted
  if (frame.mFlags & 0x0040) data = data.subspan(std::min<std::size_t>(1, data.size()));  // group
  if (frame.mFlags & 0x0001) data = data.subspan(std::min<std::size_t>(4, data.size()));  // length
  if (frame.mFlags & 0x0002) return Resync(data);
  return Bytes(data.begin(), data.end());
}

std::optional<std::string> XmpOf(const Tag& tag, const Frame& frame) {
  if (!IsXmpFrame(tag, frame)) return std::nullopt;
  auto payload = FramePayload(tag, frame);
  if (!payload || payload->size() < kOwner.size() ||
      std::memcmp(payload->data(), kOwner.data(), kOwner.size()) != 0) {
    return std::nullopt;
  }
  std::string packet(payload->begin() + kOwner.size(), payload->end());
  while (!packet.empty() && packet.back() == '\0')
    packet.pop_back();
  return packet;
}

// Indexes of the frames holding XMP, in tag order.
std::vector<std::size_t> XmpFrames(const Tag& tag) {
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < tag.mFrames.size(); ++i) {
    if (XmpOf(tag, tag.mFrames[i])) found.push_back(i);
  }
  return found;
}

Bytes MakeXmpFrame(std::uint8_t major, const std::string& packet) {
  std::uint32_t size = static_cast<std::uint32_t>(kOwner.size() + packet.size());
  Bytes frame;
  frame.reserve(10 + std::size_t{size});
  AppendBytes(frame, std::string_view("PRIV"));
  std::uint8_t sizeBytes[4];
  if (major == 4) {
    EncodeSynchsafe(sizeBytes, size);
  } else {
    PutU32(sizeBytes, size, Endian::kBig);
  }
  frame.insert(frame.end(), sizeBytes, sizeBytes + 4);
  AppendU16(frame, 0, Endian::kBig);
  AppendBytes(frame, kOwner);
  AppendBytes(frame, packet);
  return frame;
}

// The frames of the tag with the first XMP frame replaced (or one added at the end) and
// every other XMP frame dropped, so that one copy remains.
Bytes RebuildFrames(const Tag& tag, const std::vector<std::size_t>& xmpFrames,
                    const std::string& packet) {
  Bytes frames;
  for (std::size_t i = 0; i < tag.mFrames.size(); ++i) {
    const Frame& f = tag.mFrames[i];
    if (!xmpFrames.empty() && i == xmpFrames.front()) {
      AppendBytes(frames, MakeXmpFrame(tag.mMajor, packet));
    } else if (std::find(xmpFrames.begin(), xmpFrames.end(), i) == xmpFrames.end()) {
      frames.insert(frames.end(), tag.mBody.begin() + static_cast<std::ptrdiff_t>(f.mOffset),
                    tag.mBody.begin() + static_cast<std::ptrdiff_t>(f.End()));
    }
  }
  if (xmpFrames.empty()) AppendBytes(frames, MakeXmpFrame(tag.mMajor, packet));
  return frames;
}

// Where a frame's payload starts in the file, when the tag body is stored verbatim.
std::uint64_t PayloadOffset(const Frame& frame) {
  return kTagHeaderSize + frame.mOffset + frame.mHeaderSize;
}

// Header, frames, padding to `bodySize`, and a footer when `flags` asks for one.
Bytes MakeTag(std::uint8_t major, std::uint8_t flags, const Bytes& frames, std::size_t bodySize) {
  Bytes tag = {'I', 'D', '3', major, 0, flags, 0, 0, 0, 0};
  constexpr std::size_t kSizeField = kTagHeaderSize - 4;
  EncodeSynchsafe(tag.data() + kSizeField, static_cast<std::uint32_t>(bodySize));
  tag.reserve(kTagHeaderSize + std::max(bodySize, frames.size()) + kTagHeaderSize);
  AppendBytes(tag, frames);
  tag.resize(kTagHeaderSize + bodySize, 0);
  if (major == 4 && (flags & kTagFooter)) {
    tag.insert(tag.end(), {'3', 'D', 'I', major, 0, flags});
    tag.insert(tag.end(), tag.begin() + kSizeField, tag.begin() + kTagHeaderSize);
  }
  return tag;
}

}  // namespace

std::optional<std::uint32_t> DecodeSynchsafe(const std::uint8_t* p) {
  if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return std::nullopt;
  return std::uint32_t{p[0]} << 21 | std::uint32_t{p[1]} << 14 | std::uint32_t{p[2]} << 7 | p[3];
}

void EncodeSynchsafe(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>((value >> (21 - 7 * i)) & 0x7F);
}

bool LooksLikeMp3(std::span<const std::uint8_t> head, std::string_view extension) {
  if (head.size() >= kTagHeaderSize && std::memcmp(head.data(), "ID3", 3) == 0) {
    return head[3] >= 2 && head[3] <= 4 && head[4] != 0xFF && DecodeSynchsafe(head.data() + 6);
  }
  if (extension != "mp3" || head.size() < 4) return false;
  // An MPEG audio frame header: sync, a layer, a bitrate and a sample rate that exist.
  bool sync = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
  bool layer = (head[1] & 0x06) != 0;
  bool bitrate = (head[2] >> 4) != 0xF;
  bool rate = ((head[2] >> 2) & 0x3) != 0x3;
  return sync && layer && bitrate && rate;
}

std::optional<FoundPacket> ReadXmp(Storage& file) {
  auto tag = ReadTag(file, OnDamage::kTolerate);
  if (!tag) return std::nullopt;
  const std::vector<std::size_t> xmpFrames = XmpFrames(*tag);
  if (xmpFrames.empty()) return std::nullopt;
  if (xmpFrames.size() > 1) {
    XMP_ReportWarning("the ID3 tag holds " + std::to_string(xmpFrames.size()) +
                      " XMP PRIV frames; the first is read, and a write keeps only that one");
  }
  const Frame& frame = tag->mFrames[xmpFrames.front()];
  FoundPacket found;
  found.mPacket = *XmpOf(*tag, frame);
  std::int64_t offset = -1;
  if (tag->mBodyIsVerbatim && (frame.mFlags & 0x00FF) == 0) {
    offset = static_cast<std::int64_t>(PayloadOffset(frame) + kOwner.size());
  }
  found.mInfo = DescribePacket(found.mPacket, offset);
  return found;
}

void WriteXmp(Storage& file, const PacketText& packet) {
  if (packet.Text().size() > kMaxPacketSize) {
    throw FileError(ErrorKind::kBadParam, "packet of " + std::to_string(packet.Text().size()) +
                                              " bytes is larger than an ID3 frame may be");
  }
  auto tag = ReadTag(file, OnDamage::kRefuse);
  if (tag && tag->mMajor == 2) {
    throw FileError(ErrorKind::kUnsupported, "ID3v2.2 tags have no place for XMP");
  }
  const std::vector<std::size_t> xmpFrames = tag ? XmpFrames(*tag) : std::vector<std::size_t>{};
  // The packet alone, in place, when the only XMP frame holds it verbatim and it fits.
  if (xmpFrames.size() == 1 && tag->mBodyIsVerbatim) {
    const Frame& frame = tag->mFrames[xmpFrames.front()];
    std::size_t space = frame.mSize - kOwner.size();
    auto fitted = packet.FitTo(space);
    if ((frame.mFlags & 0x00FF) == 0 && fitted && fitted->size() == space) {
      file.WriteAt(PayloadOffset(frame) + kOwner.size(), fitted->data(), space);
      return;
    }
  }
  std::uint8_t major = tag ? tag->mMajor : 3;
  // The rebuilt tag drops the extended header (its padding size and CRC would be stale) and
  // is written without tag-level unsynchronisation.
  std::uint8_t flags = tag ? static_cast<std::uint8_t>(tag->mFlags & ~kTagExtendedHeader) : 0;
  if (major == 3) flags = static_cast<std::uint8_t>(flags & ~kTagUnsync);
  Bytes frames =
      tag ? RebuildFrames(*tag, xmpFrames, packet.Text()) : MakeXmpFrame(major, packet.Text());
  bool footer = flags & kTagFooter;
  std::uint64_t oldBody =
      tag ? tag->mTotalSize - kTagHeaderSize - (footer ? kTagFooterSize : 0) : 0;
  if (tag && (footer ? frames.size() == oldBody : frames.size() <= oldBody)) {
    Bytes bytes = MakeTag(major, flags, frames, static_cast<std::size_t>(oldBody));
    file.WriteAt(0, bytes.data(), bytes.size());
    return;
  }
  std::size_t body = frames.size() + (footer ? 0 : kNewTagPadding);
  if (body > kMaxTagBody) {
    throw FileError(ErrorKind::kBadParam,
                    "ID3 tag of " + std::to_string(body) + " bytes is too large");
  }
  std::uint64_t audio = tag ? tag->mTotalSize : 0;
  auto rewrite = file.StartRewrite();
  rewrite->Append(MakeTag(major, flags, frames, body));
  rewrite->AppendFrom(file, audio, file.Size() - audio);
  rewrite->Commit();
}

}  // namespace xmpfiles::mpeg
