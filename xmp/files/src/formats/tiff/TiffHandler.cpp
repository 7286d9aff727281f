// TIFF (both byte orders): the XMP packet is the value of tag 700 in the first IFD. The same
// reader serves TIFF-based camera raw files and DNG, which are read-only: their makers' tools
// expect their private layouts untouched.
//
// Some writers put tag 700 in a later IFD of the chain or in a SubIFD (tag 330). Reading
// looks there too: the first IFD's packet wins when several exist, else the first found in
// breadth-first order (the chain before the SubIFDs of each IFD); each such choice is a
// warning. Writing puts the packet in the first IFD and removes tag 700 from the others, so
// that one copy remains.
//
// Writing never moves existing data: a packet that fits the old value's space is written in
// place; otherwise the new packet (and, when the first IFD had no tag 700, a copy of that IFD
// with the new entry) is added at the end of the file and the few bytes pointing to it are
// changed, all through a rewrite into a temporary file.

#include <algorithm>
#include <array>
#include <set>

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "io/Endian.h"
#include "xmp/XMP_Warnings.h"

namespace xmpfiles {

namespace {

constexpr std::uint16_t kTagXMP = 700;
constexpr std::uint16_t kTypeByte = 1;  // what readers expect for XMP
constexpr std::uint16_t kTagSubIfds = 330;
// Most IFDs visited when looking for XMP outside the first IFD; a chain that loops or fans out
// without end stops here.
constexpr std::size_t kMaxIfds = 64;

// Bytes per value of the TIFF field types 1..12 (0 for unknown types).
std::uint32_t TypeSize(std::uint16_t type) {
  static constexpr std::array<std::uint32_t, 13> kSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < kSizes.size() ? kSizes[type] : 0;
}

struct TiffIfd {
  Endian mEndian = Endian::kBig;
  std::uint64_t mIfdOffset = 0;
  std::uint16_t mCount = 0;
  Bytes mEntries;  // 12 * mCount bytes
  std::uint32_t mNext = 0;
  // Tag 700, when present.
  std::optional<std::size_t> mXmpIndex;
  std::uint64_t mXmpValueOffset = 0;
  std::uint32_t mXmpLength = 0;
};

// Which magic numbers count: plain TIFF's 42, or also those of raw variants.
enum class Magic { kTiff, kTiffOrRaw };

bool IsTiffMagic(std::span<const std::uint8_t> head, Magic accepted) {
  if (head.size() < 8) return false;
  Endian e;
  if (head[0] == 'I' && head[1] == 'I') {
    e = Endian::kLittle;
  } else if (head[0] == 'M' && head[1] == 'M') {
    e = Endian::kBig;
  } else {
    return false;
  }
  std::uint16_t magic = GetU16(&head[2], e);
  if (magic == 42) return true;
  // Raw variants with their own magic: Panasonic RW2 (0x55), Olympus ORF ("RO", "RS").
  return accepted == Magic::kTiffOrRaw && (magic == 0x55 || magic == 0x4F52 || magic == 0x5352);
}

// The IFD at `offset`; throws FileError when it does not fit the file.
TiffIfd ReadIfd(Storage& file, Endian endian, std::uint64_t offset) {
  TiffIfd ifd;
  ifd.mEndian = endian;
  ifd.mIfdOffset = offset;
  if (ifd.mIfdOffset < 8 || file.Remaining(ifd.mIfdOffset) < 2) {
    ThrowFormat("TIFF IFD offset " + std::to_string(ifd.mIfdOffset) + " is outside the file (" +
                std::to_string(file.Size()) + " bytes)");
  }
  Bytes count = file.Read(ifd.mIfdOffset, 2);
  ifd.mCount = GetU16(count.data(), ifd.mEndian);
  const std::uint64_t need = 12ull * ifd.mCount + 4;
  const std::uint64_t remain = file.Remaining(ifd.mIfdOffset + 2);
  if (need > remain) {
    ThrowFormat("TIFF IFD at offset " + std::to_string(ifd.mIfdOffset) + " claims " +
                std::to_string(ifd.mCount) + " entries (" + std::to_string(need) + " bytes), " +
                std::to_string(remain) + " remain");
  }
  ifd.mEntries = file.Read(ifd.mIfdOffset + 2, 12ull * ifd.mCount);
  Bytes next = file.Read(ifd.mIfdOffset + 2 + 12ull * ifd.mCount, 4);
  ifd.mNext = GetU32(next.data(), ifd.mEndian);
  for (std::size_t i = 0; i < ifd.mCount; ++i) {
    const std::uint8_t* e = &ifd.mEntries[12 * i];
    if (GetU16(e, ifd.mEndian) != kTagXMP) continue;
    std::uint16_t type = GetU16(e + 2, ifd.mEndian);
    std::uint32_t count32 = GetU32(e + 4, ifd.mEndian);
    // Writers use BYTE or UNDEFINED; anything else of byte size is read the same way.
    std::uint64_t bytes = std::uint64_t{count32} * std::max<std::uint32_t>(TypeSize(type), 1);
    std::uint64_t valueAt =
        bytes <= 4 ? ifd.mIfdOffset + 2 + 12 * i + 8 : GetU32(e + 8, ifd.mEndian);
    if (bytes > file.Remaining(valueAt)) {
      ThrowFormat("TIFF tag 700 claims " + std::to_string(bytes) + " bytes at offset " +
                  std::to_string(valueAt) + ", " + std::to_string(file.Remaining(valueAt)) +
                  " remain");
    }
    ifd.mXmpIndex = i;
    ifd.mXmpValueOffset = valueAt;
    ifd.mXmpLength = static_cast<std::uint32_t>(bytes);
    break;
  }
  return ifd;
}

TiffIfd ReadFirstIfd(Storage& file) {
  Bytes header = file.Read(0, 8);
  const Endian endian = header[0] == 'I' ? Endian::kLittle : Endian::kBig;
  const std::uint64_t offset = GetU32(&header[4], endian);
  if (offset < 8 || file.Remaining(offset) < 2) {
    ThrowFormat("TIFF first IFD offset " + std::to_string(offset) + " is outside the file (" +
                std::to_string(file.Size()) + " bytes)");
  }
  return ReadIfd(file, endian, offset);
}

// The offsets of the IFDs `ifd` leads to: the next one of the chain, then its SubIFDs.
std::vector<std::uint64_t> LinkedIfds(Storage& file, const TiffIfd& ifd) {
  std::vector<std::uint64_t> out;
  if (ifd.mNext != 0) out.push_back(ifd.mNext);
  for (std::size_t i = 0; i < ifd.mCount; ++i) {
    const std::uint8_t* e = &ifd.mEntries[12 * i];
    const std::uint16_t type = GetU16(e + 2, ifd.mEndian);
    if (GetU16(e, ifd.mEndian) != kTagSubIfds || (type != 4 && type != 13)) continue;
    const std::uint32_t count = std::min<std::uint32_t>(GetU32(e + 4, ifd.mEndian), kMaxIfds);
    const std::uint64_t at =
        count <= 1 ? ifd.mIfdOffset + 2 + 12 * i + 8 : GetU32(e + 8, ifd.mEndian);
    if (4ull * count > file.Remaining(at)) continue;
    Bytes values = file.Read(at, 4u * count);
    for (std::uint32_t k = 0; k < count; ++k)
      out.push_back(GetU32(&values[4 * k], ifd.mEndian));
  }
  return out;
}

// The IFDs other than the first that hold tag 700, breadth-first from the first IFD. Damaged
// IFDs are skipped: they are not where a reader expects XMP.
std::vector<TiffIfd> OtherXmpIfds(Storage& file, const TiffIfd& first) {
  std::vector<TiffIfd> out;
  std::set<std::uint64_t> seen = {first.mIfdOffset};
  std::vector<std::uint64_t> queue = LinkedIfds(file, first);
  for (std::size_t i = 0; i < queue.size() && seen.size() < kMaxIfds; ++i) {
    if (!seen.insert(queue[i]).second) continue;
    try {
      TiffIfd ifd = ReadIfd(file, first.mEndian, queue[i]);
      for (std::uint64_t next : LinkedIfds(file, ifd))
        queue.push_back(next);
      if (ifd.mXmpIndex) out.push_back(std::move(ifd));
    } catch (const FileError&) {
    }
  }
  return out;
}

struct Patch {
  std::uint64_t mOffset;
  Bytes mBytes;
};

// Copies the whole file into `out`, replacing the patched ranges (sorted, not overlapping).
void CopyWithPatches(Storage& file, Rewrite& out, std::vector<Patch> patches) {
  std::sort(patches.begin(), patches.end(),
            [](const Patch& a, const Patch& b) { return a.mOffset < b.mOffset; });
  std::uint64_t pos = 0;
  for (const Patch& p : patches) {
    if (p.mOffset < pos) {
      ThrowFormat("TIFF structures overlap at offset " + std::to_string(p.mOffset) +
                  "; not rewriting the file");
    }
    out.AppendFrom(file, pos, p.mOffset - pos);
    out.Append(p.mBytes);
    pos = p.mOffset + p.mBytes.size();
  }
  out.AppendFrom(file, pos, file.Size() - pos);
}

Bytes MakeEntry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value,
                Endian e) {
  Bytes b;
  AppendU16(b, tag, e);
  AppendU16(b, type, e);
  AppendU32(b, count, e);
  AppendU32(b, value, e);
  return b;
}

// The bytes of `ifd` without its tag 700 entry, of the same length: the entries after it
// move up, the next-IFD offset follows them, and 12 zero bytes end the old range.
Patch WithoutXmp(const TiffIfd& ifd) {
  Bytes b;
  AppendU16(b, static_cast<std::uint16_t>(ifd.mCount - 1), ifd.mEndian);
  for (std::size_t i = 0; i < ifd.mCount; ++i) {
    if (i != *ifd.mXmpIndex) b.insert(b.end(), &ifd.mEntries[12 * i], &ifd.mEntries[12 * i] + 12);
  }
  AppendU32(b, ifd.mNext, ifd.mEndian);
  b.resize(b.size() + 12, 0);
  return {ifd.mIfdOffset, std::move(b)};
}

// The end of an IFD's entries and next-IFD offset.
std::uint64_t IfdEnd(const TiffIfd& ifd) {
  return ifd.mIfdOffset + 2 + 12ull * ifd.mCount + 4;
}

// Spaces over the old packet of `ifd`, which the rewritten file no longer points to: left as
// it was, a packet scanner would find the stale XMP. Nothing when the value sits in the entry
// itself, or overlaps the header, its IFD or a range already patched (a damaged file sharing
// bytes between structures: those bytes stay as they are).
void BlankOldPacket(const TiffIfd& ifd, std::vector<Patch>& patches) {
  if (!ifd.mXmpIndex || ifd.mXmpLength <= 4) return;
  const std::uint64_t begin = ifd.mXmpValueOffset, end = begin + ifd.mXmpLength;
  auto overlaps = [&](std::uint64_t b, std::uint64_t e) { return begin < e && b < end; };
  if (overlaps(0, 8) || overlaps(ifd.mIfdOffset, IfdEnd(ifd))) return;
  for (const Patch& p : patches) {
    if (overlaps(p.mOffset, p.mOffset + p.mBytes.size())) return;
  }
  patches.push_back({begin, Bytes(ifd.mXmpLength, ' ')});
}

class TiffHandler : public FileHandler {
 public:
  enum class Variant { kTiff, kDng, kRaw };
  explicit TiffHandler(Variant v) : mVariant(v) {}

  std::uint32_t Format() const override {
    switch (mVariant) {
      case Variant::kDng:
        return kFormatDNG;
      case Variant::kRaw:
        return kFormatCameraRaw;
      default:
        return kFormatTIFF;
    }
  }
  std::uint32_t Flags() const override {
    return mVariant == Variant::kTiff ? kHandlerReadWrite
                                      : kHandlerAllowsOnlyXMP | kHandlerReturnsRawPacket;
  }
  std::string_view Name() const override {
    return mVariant == Variant::kTiff ? "TIFF" : mVariant == Variant::kDng ? "DNG" : "camera raw";
  }
  std::vector<std::string_view> Extensions() const override {
    switch (mVariant) {
      case Variant::kDng:
        return {"dng"};
      case Variant::kRaw:
        return {"cr2", "nef", "nrw", "arw", "srf", "sr2", "orf", "pef", "rw2",
                "dcr", "kdc", "3fr", "erf", "mef", "mos", "srw", "raw", "iiq"};
      default:
        return {"tif", "tiff"};
    }
  }

  // The three variants share the bytes; the extension decides between them.
  bool CheckFormat(std::span<const std::uint8_t> head, std::string_view extension,
                   std::uint64_t) const override {
    auto exts = Extensions();
    bool mine = std::find(exts.begin(), exts.end(), extension) != exts.end();
    if (mVariant != Variant::kTiff) return mine && IsTiffMagic(head, Magic::kTiffOrRaw);
    return IsTiffMagic(head, Magic::kTiff);
  }

  std::optional<FoundPacket> Read(Storage& file) const override {
    TiffIfd first = ReadFirstIfd(file);
    std::vector<TiffIfd> others = OtherXmpIfds(file, first);
    const TiffIfd* ifd = first.mXmpIndex ? &first : nullptr;
    if (ifd != nullptr && !others.empty()) {
      XMP_ReportWarning("TIFF holds XMP in " + std::to_string(others.size()) +
                        " IFD(s) besides the first; the first IFD's packet is read, a write "
                        "removes the others");
    } else if (!others.empty()) {
      ifd = &others[0];
      XMP_ReportWarning("TIFF XMP read from the IFD at offset " + std::to_string(ifd->mIfdOffset) +
                        " instead of the first IFD; a write moves it to the first IFD");
    }
    if (ifd == nullptr || ifd->mXmpLength == 0) return std::nullopt;
    FoundPacket found = ReadStoredPacket(file, ifd->mXmpValueOffset, ifd->mXmpLength);
    // Some writers end the value with a NUL.
    while (!found.mPacket.empty() && found.mPacket.back() == '\0')
      found.mPacket.pop_back();
    return found;
  }

  void Write(Storage& file, const PacketText& packet) const override {
    if (mVariant != Variant::kTiff) {
      throw FileError(ErrorKind::kUnsupported, std::string(Name()) + " files are read-only");
    }
    TiffIfd ifd = ReadFirstIfd(file);
    const Endian e = ifd.mEndian;
    std::vector<Patch> patches;
    const std::vector<TiffIfd> others = OtherXmpIfds(file, ifd);
    for (const TiffIfd& other : others)
      patches.push_back(WithoutXmp(other));
    // In place only when the old value is a range of its own: a damaged file may point it
    // at the header or at the IFD itself, which the packet must not overwrite.
    const std::uint64_t ifdEnd = IfdEnd(ifd);
    const bool separate =
        ifd.mXmpValueOffset >= 8 &&
        (ifd.mXmpValueOffset + ifd.mXmpLength <= ifd.mIfdOffset || ifd.mXmpValueOffset >= ifdEnd);
    if (ifd.mXmpIndex && ifd.mXmpLength > 4 && separate && patches.empty()) {
      if (auto fitted = packet.FitTo(ifd.mXmpLength)) {
        file.WriteAt(ifd.mXmpValueOffset, fitted->data(), fitted->size());
        file.Flush();
        return;
      }
    }
    const std::string& text = packet.Text();
    const std::uint64_t size = file.Size();
    const std::uint64_t packetAt = size + (size & 1);  // values start on a word boundary
    const std::uint64_t afterPacket = packetAt + text.size() + (text.size() & 1);
    const std::uint64_t newIfdBytes = ifd.mXmpIndex ? 0 : 2 + 12ull * (ifd.mCount + 1) + 4;
    if (afterPacket + newIfdBytes > 0xFFFFFFFFull) {
      ThrowFormat("TIFF file would grow past 4 GB, the limit of its 32-bit offsets");
    }
    Bytes tail;
    if (size & 1) tail.push_back(0);
    AppendBytes(tail, text);
    if (text.size() & 1) tail.push_back(0);
    Bytes entry = MakeEntry(kTagXMP, kTypeByte, static_cast<std::uint32_t>(text.size()),
                            static_cast<std::uint32_t>(packetAt), e);
    if (ifd.mXmpIndex) {
      patches.push_back({ifd.mIfdOffset + 2 + 12 * *ifd.mXmpIndex, entry});
    } else {
      // A copy of the first IFD with the new entry in tag order; the header points to it.
      Bytes newIfd;
      AppendU16(newIfd, static_cast<std::uint16_t>(ifd.mCount + 1), e);
      bool placed = false;
      for (std::size_t i = 0; i < ifd.mCount; ++i) {
        const std::uint8_t* old = &ifd.mEntries[12 * i];
        if (!placed && GetU16(old, e) > kTagXMP) {
          AppendBytes(newIfd, entry);
          placed = true;
        }
        newIfd.insert(newIfd.end(), old, old + 12);
      }
      if (!placed) AppendBytes(newIfd, entry);
      AppendU32(newIfd, ifd.mNext, e);
      AppendBytes(tail, newIfd);
      Bytes pointer;
      AppendU32(pointer, static_cast<std::uint32_t>(afterPacket), e);
      patches.push_back({4, pointer});
    }
    // The packet now lives at the end: no old copy is left for a scanner to find.
    BlankOldPacket(ifd, patches);
    for (const TiffIfd& other : others)
      BlankOldPacket(other, patches);
    auto out = file.StartRewrite();
    CopyWithPatches(file, *out, std::move(patches));
    out->Append(tail);
    out->Commit();
  }

 private:
  Variant mVariant;
};

}  // namespace

std::unique_ptr<FileHandler> MakeTiffHandler() {
  return std::make_unique<TiffHandler>(TiffHandler::Variant::kTiff);
}
std::unique_ptr<FileHandler> MakeDngHandler() {
  return std::make_unique<TiffHandler>(TiffHandler::Variant::kDng);
}
std::unique_ptr<FileHandler> MakeCameraRawHandler() {
  return std::make_unique<TiffHandler>(TiffHandler::Variant::kRaw);
}

}  // namespace xmpfiles
