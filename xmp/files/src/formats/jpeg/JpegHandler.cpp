// JPEG: the XMP packet lives in an APP1 segment marked "http://ns.adobe.com/xap/1.0/\0".
// A packet too large for one segment is split: the standard segment keeps a small packet that
// names the GUID of the rest (xmpNote:HasExtendedXMP), and the rest (a whole serialised XMP
// without packet wrapper) is spread over APP1 segments marked
// "http://ns.adobe.com/xmp/extension/\0", each carrying the GUID (the MD5 of the whole extended
// part), the full length and the offset of its piece.

#include <algorithm>
#include <map>

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "PacketCleanup.h"
#include "formats/jpeg/JpegLayout.h"
#include "io/Endian.h"
#include "io/Md5.h"
#include "veltcore/Strings.h"
#include "xmp/XMP_Const.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles {

namespace {

constexpr std::string_view kStdSig{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kExtSig{"http://ns.adobe.com/xmp/extension/\0", 35};
// After the signature, each extended part names its packet's GUID (32 hex digits), the
// packet's full length and the part's offset in it.
constexpr std::size_t kGuidSize = 32;
constexpr std::size_t kExtPartHeader = kGuidSize + 4 + 4;
constexpr std::size_t kExtHeader = kExtSig.size() + kExtPartHeader;
// A marker segment holds at most 65533 payload bytes (its length field counts itself).
constexpr std::size_t kMaxPayload = 65533;
constexpr std::size_t kMaxStdPacket = kMaxPayload - kStdSig.size() - 2;
constexpr std::size_t kMaxExtChunk = kMaxPayload - kExtHeader;

struct ExtPart {
  std::uint32_t mFullLength;
  std::uint32_t mOffset;
  std::uint64_t mDataOffset;  // in the file
  std::size_t mDataLength;
};

bool StartsWith(Storage& file, const JpegSegment& s, std::string_view sig) {
  char head[64];
  if (s.mMarker != 0xE1 || s.mPayloadLength < sig.size() || sig.size() > sizeof head) return false;
  file.ReadAt(s.mPayloadOffset, head, sig.size());
  return std::string_view(head, sig.size()) == sig;
}

// The GUID named by xmpNote:HasExtendedXMP in the standard packet, as attribute or element.
std::string ExtendedGuid(std::string_view packet) {
  constexpr std::string_view kName = "HasExtendedXMP";
  std::size_t at = packet.find(kName);
  while (at != std::string_view::npos) {
    std::size_t p = at + kName.size();
    while (p < packet.size() && (packet[p] == ' ' || packet[p] == '=' || packet[p] == '"' ||
                                 packet[p] == '\'' || packet[p] == '>')) {
      ++p;
    }
    std::string_view guid = packet.substr(p, kGuidSize);
    if (guid.size() == kGuidSize && std::all_of(guid.begin(), guid.end(), [](char c) {
          return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        })) {
      return std::string(guid);
    }
    at = packet.find(kName, at + kName.size());
  }
  return {};
}

// Joins the pieces of the extended part named `guid`; "" when pieces are missing, overlap
// inconsistently or disagree on the full length. The GUID names the pieces; its digest is not
// recomputed (it costs as much as parsing the part): a part whose bytes were changed without
// a new GUID is read as it stands, as any other format's packet without a checksum is.
std::string AssembleExtended(Storage& file,
                             const std::vector<std::pair<std::string, ExtPart>>& parts,
                             const std::string& guid) {
  std::vector<ExtPart> mine;
  std::uint64_t available = 0;
  for (const auto& [g, p] : parts) {
    if (veltcore::string::EqualsIgnoreAsciiCase(g, guid)) {
      mine.push_back(p);
      available += p.mDataLength;
    }
  }
  if (mine.empty()) return {};
  const std::uint32_t full = mine.front().mFullLength;
  // The pieces must agree on the full length, and together hold at least that many bytes:
  // this bounds the allocation by what the file really contains.
  if (full == 0 || available < full) return {};
  std::sort(mine.begin(), mine.end(),
            [](const ExtPart& a, const ExtPart& b) { return a.mOffset < b.mOffset; });
  std::string out(full, '\0');
  std::uint64_t covered = 0;
  for (const ExtPart& p : mine) {
    if (p.mFullLength != full) return {};
    if (std::uint64_t{p.mOffset} + p.mDataLength > full) return {};
    if (p.mOffset > covered) return {};  // a gap
    file.ReadAt(p.mDataOffset, out.data() + p.mOffset, p.mDataLength);
    covered = std::max<std::uint64_t>(covered, std::uint64_t{p.mOffset} + p.mDataLength);
  }
  if (covered != full) return {};
  return out;
}

Bytes MakeSegment(std::string_view sig, std::string_view header, std::string_view data) {
  std::size_t length = 2 + sig.size() + header.size() + data.size();
  Bytes seg;
  seg.reserve(length + 2);
  seg.push_back(0xFF);
  seg.push_back(0xE1);
  AppendU16(seg, static_cast<std::uint16_t>(length), Endian::kBig);
  AppendBytes(seg, sig);
  AppendBytes(seg, header);
  AppendBytes(seg, data);
  return seg;
}

// The serialised XMP of a packet without its xpacket wrapper: from "<x:xmpmeta" (or
// "<rdf:RDF") to the end of its closing tag.
std::string_view Unwrapped(std::string_view packet) {
  for (auto [open, close] :
       {std::pair<std::string_view, std::string_view>{"<x:xmpmeta", "</x:xmpmeta>"},
        {"<rdf:RDF", "</rdf:RDF>"}}) {
    std::size_t b = packet.find(open);
    std::size_t e = packet.rfind(close);
    if (b != std::string_view::npos && e != std::string_view::npos && e > b) {
      return packet.substr(b, e + close.size() - b);
    }
  }
  return packet;
}

// The segments that hold `packet`: one standard segment, or a standard segment naming the
// GUID plus extended segments when the packet is too large.
std::vector<Bytes> MakeXmpSegments(const PacketText& packet) {
  std::vector<Bytes> out;
  if (packet.Text().size() <= kMaxStdPacket) {
    out.push_back(MakeSegment(kStdSig, {}, packet.Text()));
    return out;
  }
  std::string compact = packet.Compact();
  if (compact.size() <= kMaxStdPacket) {
    out.push_back(MakeSegment(kStdSig, {}, compact));
    return out;
  }
  std::string extended(Unwrapped(compact));
  std::string guid = Md5Hex(extended);
  std::string standard =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
      " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
      "  <rdf:Description rdf:about=\"\" xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\"\n"
      "   xmpNote:HasExtendedXMP=\"" +
      guid +
      "\"/>\n"
      " </rdf:RDF>\n"
      "</x:xmpmeta>\n";
  standard += std::string(1024, ' ') + "\n<?xpacket end=\"w\"?>";
  out.push_back(MakeSegment(kStdSig, {}, standard));
  for (std::size_t off = 0; off < extended.size(); off += kMaxExtChunk) {
    std::string header = guid;
    Bytes nums;
    AppendU32(nums, static_cast<std::uint32_t>(extended.size()), Endian::kBig);
    AppendU32(nums, static_cast<std::uint32_t>(off), Endian::kBig);
    header.append(nums.begin(), nums.end());
    out.push_back(
        MakeSegment(kExtSig, header, std::string_view(extended).substr(off, kMaxExtChunk)));
  }
  return out;
}

class JpegHandler : public FileHandler {
 public:
  std::uint32_t Format() const override { return kFormatJPEG; }
  std::uint32_t Flags() const override { return kHandlerReadWrite; }
  std::string_view Name() const override { return "JPEG"; }
  std::vector<std::string_view> Extensions() const override {
    return {"jpg", "jpeg", "jpe", "jfif"};
  }

  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view,
                   std::uint64_t) const override {
    return head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
  }

  // The first standard segment is the file's XMP; later ones are reported and dropped by
  // the next write, which leaves one. Extended pieces of the GUID the standard packet names
  // complete it; pieces that are present but do not assemble are left out of the reading
  // and block an update (it would lose them), while pieces of other GUIDs are stale.
  std::optional<FoundPacket> Read(Storage& file) const override {
    JpegLayout layout = ParseJpeg(file, /*strict=*/false);
    std::optional<FoundPacket> found;
    std::vector<std::pair<std::string, ExtPart>> parts;
    int copies = 0;
    for (const JpegSegment& s : layout.mSegments) {
      if (StartsWith(file, s, kStdSig)) {
        if (copies++ > 0) continue;
        FoundPacket f;
        std::uint64_t at = s.mPayloadOffset + kStdSig.size();
        f.mPacket = file.ReadString(at, s.mPayloadLength - kStdSig.size());
        f.mInfo = DescribePacket(f.mPacket, static_cast<std::int64_t>(at));
        found = std::move(f);
      } else if (s.mPayloadLength >= kExtHeader && StartsWith(file, s, kExtSig)) {
        Bytes h = file.Read(s.mPayloadOffset + kExtSig.size(), kExtPartHeader);
        BufReader in(h, Endian::kBig, "JPEG extended XMP header");
        std::string guid(in.TakeString(kGuidSize));
        ExtPart p;
        p.mFullLength = in.U32();
        p.mOffset = in.U32();
        p.mDataOffset = s.mPayloadOffset + kExtHeader;
        p.mDataLength = s.mPayloadLength - kExtHeader;
        parts.emplace_back(std::move(guid), p);
      }
    }
    if (copies > 1) {
      XMP_ReportWarning("JPEG holds " + std::to_string(copies) +
                        " standard XMP segments; the first is read, a write keeps only it");
    }
    if (!found || parts.empty()) return found;
    std::string guid;
    try {
      guid = ExtendedGuid(ToUtf8Packet(found->mPacket));
    } catch (const XMP_Error&) {
      // The standard packet is unreadable itself, which reading it will report.
    }
    if (guid.empty()) {
      XMP_ReportWarning(
          "JPEG holds extended XMP segments that no standard packet names; "
          "they are ignored, and a write drops them");
      return found;
    }
    found->mExtended = AssembleExtended(file, parts, guid);
    if (found->mExtended.empty()) {
      bool named = std::any_of(parts.begin(), parts.end(), [&](const auto& p) {
        return veltcore::string::EqualsIgnoreAsciiCase(p.first, guid);
      });
      if (named) {
        found->mUnreadablePart = "the extended XMP named " + guid + " is incomplete";
      } else {
        XMP_ReportWarning("the extended XMP named " + guid +
                          " is missing; the standard packet is read alone");
      }
    }
    return found;
  }

  void Write(Storage& file, const PacketText& packet) const override {
    JpegLayout layout = ParseJpeg(file, /*strict=*/true);
    std::optional<std::size_t> oldStd;
    std::vector<bool> drop(layout.mSegments.size(), false);
    int copies = 0;
    bool hadExtended = false;
    for (std::size_t i = 0; i < layout.mSegments.size(); ++i) {
      const JpegSegment& s = layout.mSegments[i];
      if (StartsWith(file, s, kStdSig)) {
        if (!oldStd) oldStd = i;
        ++copies;
        drop[i] = true;
      } else if (StartsWith(file, s, kExtSig)) {
        hadExtended = true;
        drop[i] = true;
      }
    }
    // In place: a single old segment whose packet space the new packet fits exactly.
    if (copies == 1 && !hadExtended && packet.Text().size() <= kMaxStdPacket) {
      const JpegSegment& s = layout.mSegments[*oldStd];
      if (auto fitted = packet.FitTo(s.mPayloadLength - kStdSig.size())) {
        file.WriteAt(s.mPayloadOffset + kStdSig.size(), fitted->data(), fitted->size());
        file.Flush();
        return;
      }
    }
    // Rewrite: the new XMP goes where the old standard segment was, else after the leading
    // APP0/APP1 segments (JFIF, Exif), which readers expect first. Bytes between segments
    // (fill) are copied as they are.
    std::size_t insertAt = 0;
    if (oldStd) {
      insertAt = *oldStd;
    } else {
      while (insertAt < layout.mSegments.size() && (layout.mSegments[insertAt].mMarker == 0xE0 ||
                                                    layout.mSegments[insertAt].mMarker == 0xE1)) {
        ++insertAt;
      }
    }
    std::vector<Bytes> segments = MakeXmpSegments(packet);
    auto out = file.StartRewrite();
    std::uint64_t copied = 0;  // everything before this offset is in `out` or dropped
    for (std::size_t i = 0; i <= layout.mSegments.size(); ++i) {
      // Past the last header segment, the new XMP goes before the image data (or EOI), never
      // after it, where no reader looks.
      const std::uint64_t next = i == layout.mSegments.size()
                                     ? std::min<std::uint64_t>(layout.mScanOffset, file.Size())
                                     : layout.mSegments[i].mOffset;
      if (i == insertAt) {
        // After SOI and the fill before this segment.
        out->AppendFrom(file, copied, next - copied);
        copied = next;
        for (const Bytes& seg : segments)
          out->Append(seg);
      }
      if (i == layout.mSegments.size()) break;
      const JpegSegment& s = layout.mSegments[i];
      if (drop[i]) {
        // The segment goes with the fill bytes before its marker: left behind, they would run
        // into whatever follows (0xFF fill before a NUL is no marker, and readers stop there).
        const std::uint64_t start = std::max(copied, s.mFillOffset);
        out->AppendFrom(file, copied, start - copied);
        copied = s.mOffset + s.mTotalLength;
      }
    }
    out->AppendFrom(file, copied, file.Size() - copied);
    out->Commit();
  }
};

}  // namespace

std::unique_ptr<FileHandler> MakeJpegHandler() {
  return std::make_unique<JpegHandler>();
}

}  // namespace xmpfiles
