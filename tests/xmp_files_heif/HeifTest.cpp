// HEIC, HEIF and AVIF: round trips checked by ExifTool (the XMP) and the formats' own decoders
// (the pixels), the media kept byte for byte, XMP written by ExifTool and the encoders read,
// interrupted updates rolled back, and damaged files.

#include <gtest/gtest.h>

#include <map>

#include "AvTestSupport.h"
#include "FaultMatrix.h"
#include "TestSupport.h"
#include "formats/iso/IsoBoxes.h"
#include "formats/iso/heif/HeifItems.h"
#include "formats/iso/heif/HeifXmp.h"
#include "io/Endian.h"
#include "xmp/SXMPFiles.h"

namespace {

using namespace xmpfiles;
namespace fs = std::filesystem;

using avtest::Quote;

const avtest::Codec kHeif = AVTEST_CODEC(heif);

// ImageMagick's signature of the pixels the format's own decoder makes of the file.
std::string Decoded(const fs::path& file) {
  const bool avif = file.extension().string().starts_with(".avif");
  const fs::path png = file.parent_path() / "decoded.png";
  int status = 0;
  velttest::RunCommand(std::string(avif ? "avifdec " : "heif-convert ") + Quote(file) + " " +
                           Quote(png) + " >/dev/null 2>&1",
                       &status);
  if (status != 0) return "decoder failed";
  return velttest::RunCommand("identify -format %# " + Quote(png));
}

// The bytes of every item but the XMP ones, by id, as the live 'meta' box locates them: what
// an update must keep byte for byte, wherever the 'meta' box went.
std::string ItemBytes(const fs::path& file) {
  DiskStorage storage(file.string(), false);
  for (const iso::Box& box : iso::ListBoxes(storage, 0, storage.Size()).mBoxes) {
    if (box.mType != heif::kMeta) continue;
    const Bytes meta = storage.Read(box.DataOffset(), box.DataSize());
    std::map<std::uint32_t, std::string> idat, xmp;
    heif::ItemLocations locs;
    for (const iso::Box& child : iso::ListBoxes(meta.data() + 4, meta.size() - 4).mBoxes) {
      const auto payload =
          std::span<const std::uint8_t>(meta).subspan(child.DataOffset() + 4, child.DataSize());
      if (child.mType == heif::kIloc) locs = heif::ParseItemLocations(payload);
      if (child.mType == heif::kIdat) idat[0] = std::string(AsChars(payload));
      if (child.mType == heif::kIinf) {
        for (const heif::ItemInfo& info : heif::ParseItemInfos(payload))
          if (info.mContentType == heif::kXmpContentType) xmp[info.mId] = "";
      }
    }
    std::string items;
    for (const heif::ItemLocation& item : locs.mItems) {
      if (xmp.count(item.mId)) continue;
      items += "item " + std::to_string(item.mId) + ":";
      for (const heif::Extent& e : item.mExtents) {
        const std::uint64_t at = item.mBaseOffset + e.mOffset;
        items += item.mMethod == heif::Construction::kIdat
                     ? idat[0].substr(at, e.mLength)
                     : storage.ReadString(at, static_cast<std::size_t>(e.mLength));
      }
    }
    return items;
  }
  return "";
}

class HeifTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VELT_REQUIRE_COMMANDS("exiftool", "heif-convert", "avifdec", "identify");
  }
  velttest::TempDir mDir;
};

TEST_F(HeifTest, EverySampleTakesNewGrownAndShrunkPackets) {
  avtest::Handler handler{
      kHeif, ItemBytes,
      [](const fs::path& file, int stage, std::uint64_t sizeBefore, std::uint64_t written) {
        // Nothing but the packet, a 'meta' box and a few headers is written.
        EXPECT_LT(written, 2 * avtest::StagePacket(1).size() + 4096) << "stage " << stage;
        if (stage == 2) {
          EXPECT_EQ(fs::file_size(file), sizeBefore) << "not in place";
        }
      }};
  avtest::RunStages(
      mDir.Path(), {"heif/plain.heic", "heif/thumb.heic", "heif/plain.avif", "heif/sequence.avifs"},
      handler, Decoded);
}

TEST_F(HeifTest, ReadsWhatOthersWriteAndTheyReadOurs) {
  for (const char* sample : {"heif/xmp-enc.heic", "heif/xmp-enc.avif"}) {
    EXPECT_NE(kHeif.Read(velttest::DataFile(std::string("xmp_files/") + sample))
                  .find("Written by the encoder"),
              std::string::npos)
        << sample;
  }
  for (const char* sample : {"heif/plain.heic", "heif/thumb.heic", "heif/plain.avif"})
    avtest::ExifToolThenUs(mDir.Path(), sample, kHeif, ItemBytes, Decoded);
  // XMP we add is tied to the primary image, where libheif looks for it.
  auto added = avtest::CopySample(mDir.Path(), "heif/thumb.heic");
  kHeif.Write(added, avtest::MakePacket("Added"));
  EXPECT_NE(velttest::RunCommand("heif-info " + Quote(added)).find("XMP:"), std::string::npos);
}

TEST_F(HeifTest, DetectedAndWrittenThroughThePublicApi) {
  const std::pair<const char*, XMP_FileFormat> cases[] = {{"heif/plain.heic", kXMP_HEIFFile},
                                                          {"heif/thumb.heic", kXMP_HEIFFile},
                                                          {"heif/plain.avif", kXMP_AVIFFile},
                                                          {"heif/sequence.avifs", kXMP_AVIFFile}};
  for (const auto& [sample, format] : cases) {
    SCOPED_TRACE(sample);
    auto file = avtest::CopySample(mDir.Path(), sample);
    ASSERT_TRUE(faulttest::UpdateWithFault(file, sample));
    EXPECT_EQ(SXMPFiles::CheckFileFormat(file.string()), format);
    EXPECT_EQ(faulttest::ReadTitle(file), sample);
  }
}

TEST_F(HeifTest, FailureAtAnyWriteStepLeavesTheFileAsItWas) {
  // Adding XMP (a new item and 'meta' box) and growing it past its space (a new 'mdat').
  for (const char* sample : {"heif/plain.heic", "heif/xmp-enc.avif"}) {
    SCOPED_TRACE(sample);
    using enum faulttest::Fault;
    EXPECT_GT(
        faulttest::ExpectEveryStepOldOrNew(mDir.Path(), avtest::CopySample(mDir.Path(), sample),
                                           faulttest::LongTitle("New"), {kFail, kLastByte, kKill}),
        3);
  }
}

Bytes BoxOf(std::uint32_t type, const Bytes& payload) {
  Bytes out;
  iso::AppendBoxHeader(out, type, 8 + payload.size());
  AppendBytes(out, payload);
  return out;
}

// A minimal HEIF whose XMP item (id 2) lies in 'idat' in two extents, located by an 'iloc' of
// `version` with `size`-byte fields; item 1, a stand-in image, is 16 bytes in 'mdat'.
Bytes IdatHeif(const std::string& packet, std::uint8_t version, std::uint8_t size) {
  heif::ItemLocations locs{version, size, size, size, 0, {}};
  const std::uint64_t half = packet.size() / 2;
  locs.mItems = {
      {1, heif::Construction::kFile, 0, 0, {{0, 0, 16}}},
      {2, heif::Construction::kIdat, 0, 0, {{0, 0, half}, {0, half, packet.size() - half}}}};
  Bytes iinf = {1, 0, 0, 0, 0, 0, 0, 0};  // version 1, no entries
  iinf = heif::AddXmpItemInfo(iinf, 2);
  auto meta = [&] {
    Bytes payload = {0, 0, 0, 0};
    AppendBytes(payload, BoxOf(FourCC("hdlr"), {0, 0, 0, 0, 0, 0, 0, 0, 'p', 'i', 'c', 't', 0,
                                                0, 0, 0, 0, 0, 0, 0, 0, 0,   0,   0,   0}));
    AppendBytes(payload, BoxOf(heif::kPitm, {0, 0, 0, 0, 0, 1}));
    AppendBytes(payload, BoxOf(heif::kIinf, iinf));
    AppendBytes(payload, *heif::SerializeItemLocations(locs));
    AppendBytes(payload, BoxOf(heif::kIdat, Bytes(packet.begin(), packet.end())));
    return BoxOf(heif::kMeta, payload);
  };
  Bytes file =
      BoxOf(iso::kFtyp, {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'});
  locs.mItems[0].mExtents[0].mOffset = file.size() + meta().size() + 8;
  AppendBytes(file, meta());
  AppendBytes(file, BoxOf(iso::kMdat, Bytes(16, 0xA5)));
  return file;
}

TEST_F(HeifTest, ItemsInIdatWithSeveralExtentsAndWideFields) {
  for (auto [version, size] : {std::pair<std::uint8_t, std::uint8_t>{1, 4}, {2, 8}}) {
    SCOPED_TRACE("iloc version " + std::to_string(version));
    const fs::path file = mDir / ("idat" + std::to_string(version) + ".heic");
    const Bytes bytes = IdatHeif(avtest::MakePacket("In idat", 300), version, size);
    velttest::WriteFile(file, std::string(AsChars(bytes)));
    EXPECT_EQ(kHeif.Read(file), avtest::MakePacket("In idat", 300));
    const std::string items = ItemBytes(file);
    // Shorter: in place, across both extents. Longer: a new 'mdat'.
    kHeif.Write(file, avtest::MakePacket("Still in idat"));
    EXPECT_EQ(fs::file_size(file), bytes.size());
    EXPECT_NE(kHeif.Read(file).find("Still in idat"), std::string::npos);
    kHeif.Write(file, avtest::MakePacket(std::string(2000, 'y')));
    EXPECT_NE(kHeif.Read(file).find(std::string(2000, 'y')), std::string::npos);
    EXPECT_EQ(ItemBytes(file), items);
    EXPECT_EQ(avtest::ExifToolRead({file})[0].title, std::string(2000, 'y'));
  }
}

// The sample with its XMP item's 'iloc' entry changed by `edit` (same size).
Bytes WithLocation(const std::string& bytes,
                   const std::function<void(heif::ItemLocations&)>& edit) {
  const std::size_t at = bytes.find("iloc") - 4;
  const std::size_t size = static_cast<unsigned char>(bytes[at + 3]);  // small box
  Bytes out(bytes.begin(), bytes.end());
  heif::ItemLocations locs =
      heif::ParseItemLocations(std::span<const std::uint8_t>(out).subspan(at + 8, size - 8));
  edit(locs);
  Bytes box = *heif::SerializeItemLocations(locs);
  std::copy(box.begin(), box.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
  return out;
}

std::string ReadError(const Bytes& bytes) {
  MemoryStorage storage(bytes);
  try {
    heif::ReadXmp(storage);
  } catch (const FileError& e) {
    return e.what();
  }
  return "";
}

TEST(HeifBadInput, DamagedFilesGiveClearErrorsAndAreNotChanged) {
  const std::string sample = velttest::ReadFile(velttest::DataFile("xmp_files/heif/xmp-enc.heic"));
  // The XMP item is the last entry.
  using Edit = std::function<void(heif::ItemLocations&)>;
  const std::pair<Edit, const char*> lies[] = {
      {[](auto& l) { l.mItems.back().mExtents[0].mLength = 1u << 20; }, "claims 1048576 bytes"},
      {[](auto& l) { l.mItems.back().mExtents[0].mOffset = 1u << 30; }, "past the end of the file"},
      {[](auto& l) { l.mItems.back().mId = l.mItems.front().mId; }, "twice"}};
  for (const auto& [edit, message] : lies)
    EXPECT_NE(ReadError(WithLocation(sample, edit)).find(message), std::string::npos) << message;

  // An XMP item pointing at the 'meta' box itself: a write leaves those bytes alone.
  MemoryStorage overMeta(WithLocation(sample, [](heif::ItemLocations& l) {
    l.mItems.back().mBaseOffset = 0;
    l.mItems.back().mExtents[0] = {0, 28, 480};
  }));
  heif::WriteXmp(overMeta, PacketText(avtest::MakePacket("Placed elsewhere", 0)));  // fits
  auto placed = heif::ReadXmp(overMeta);
  ASSERT_TRUE(placed.has_value());
  EXPECT_NE(placed->mPacket.find("Placed elsewhere"), std::string::npos);

  avtest::CheckDamagedCopies(sample, kHeif);
}

}  // namespace
