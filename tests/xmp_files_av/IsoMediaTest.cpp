// ISO base media and QuickTime: round trips checked by ExifTool (the XMP) and ffmpeg (the
// media samples, found through the chunk offsets), placement without media copies, chunk
// offsets after a rewrite, and damaged files.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "TestSupport.h"
#include "formats/iso/IsoBoxes.h"
#include "formats/iso/IsoMedia.h"
#include "io/Endian.h"

namespace {

using namespace xmpfiles;
using avtest::MakePacket;

// The top-level box types of a file, e.g. "ftyp moov free mdat uuid".
std::string TopLevel(const std::filesystem::path& file) {
  DiskStorage storage(file.string(), false);
  std::string types;
  for (const iso::Box& box : iso::ListBoxes(storage, 0, storage.Size()).mBoxes) {
    types += (types.empty() ? "" : " ") + iso::TypeName(box.mType);
  }
  return types;
}

std::uint64_t OffsetOf(const std::filesystem::path& file, std::uint32_t type) {
  DiskStorage storage(file.string(), false);
  for (const iso::Box& box : iso::ListBoxes(storage, 0, storage.Size()).mBoxes) {
    if (box.mType == type) return box.mOffset;
  }
  return 0;
}

const avtest::Codec kIso = AVTEST_CODEC(iso);

void Write(const std::filesystem::path& file, const std::string& packet,
           iso::WriteOptions options = {}) {
  avtest::WithStorage(file, [&](Storage& s) { iso::WriteXmp(s, PacketText(packet), options); });
}

class IsoMediaTest : public ::testing::Test {
 protected:
  void SetUp() override { VELT_REQUIRE_COMMANDS("exiftool", "ffmpeg"); }
  velttest::TempDir mDir;
};

TEST_F(IsoMediaTest, EverySampleTakesNewGrownAndShrunkPackets) {
  avtest::Handler handler{
      kIso, avtest::IsoMediaBytes,
      [](const std::filesystem::path& file, int stage, std::uint64_t sizeBefore, std::uint64_t) {
        auto original = velttest::DataFile("xmp_files/iso/" + file.filename().string());
        EXPECT_EQ(OffsetOf(file, iso::kMdat), OffsetOf(original, iso::kMdat)) << "media moved";
        // The shrunk packet goes in place, padded.
        if (stage == 2) {
          EXPECT_EQ(std::filesystem::file_size(file), sizeBefore);
        }
        // ISO brands keep XMP in a top-level uuid box, QuickTime in moov/udta.
        bool quickTime = file.extension() == ".mov";
        EXPECT_EQ(TopLevel(file).find("uuid") != std::string::npos, !quickTime) << TopLevel(file);
      }};
  avtest::RunStages(mDir.Path(),
                    {"iso/moov_last.mp4", "iso/moov_first.mp4", "iso/audio.m4a", "iso/video.3gp",
                     "iso/movie.mov", "iso/movie_first.mov"},
                    handler);
}

TEST_F(IsoMediaTest, ReadsWhatExifToolWritesAndExifToolReadsOurUpdate) {
  for (const char* sample : {"iso/moov_last.mp4", "iso/movie.mov", "iso/movie_first.mov"})
    avtest::ExifToolThenUs(mDir.Path(), sample, kIso, avtest::IsoMediaBytes);
}

TEST_F(IsoMediaTest, GrowingPacketsAreAppendedWithoutCopyingMedia) {
  // moov before the media: the new uuid box, or the grown moov, goes to the end of the file
  // behind an empty free box (which hid it until the switch).
  auto mp4 = avtest::CopySample(mDir.Path(), "iso/moov_first.mp4");
  const std::string packet = MakePacket("Appended", 1000);
  std::uint64_t written =
      avtest::WithStorage(mp4, [&](Storage& s) { iso::WriteXmp(s, PacketText(packet)); });
  EXPECT_LT(written, packet.size() + 64);
  EXPECT_EQ(TopLevel(mp4), "ftyp moov free mdat free uuid");

  auto mov = avtest::CopySample(mDir.Path(), "iso/movie_first.mov");
  const std::string media = avtest::MediaHashes(mov);
  const std::uint64_t moovSize = OffsetOf(mov, FourCC("wide")) - OffsetOf(mov, iso::kMoov);
  written = avtest::WithStorage(mov, [&](Storage& s) { iso::WriteXmp(s, PacketText(packet)); });
  EXPECT_LT(written, moovSize + 2 * packet.size() + 64);
  EXPECT_EQ(TopLevel(mov), "ftyp free wide mdat free moov");
  EXPECT_EQ(avtest::MediaHashes(mov), media);
}

TEST_F(IsoMediaTest, RewriteMovesChunkOffsetsWithTheMedia) {
  for (const char* sample : {"iso/moov_first.mp4", "iso/movie_first.mov"}) {
    SCOPED_TRACE(sample);
    auto file = avtest::CopySample(mDir.Path(), sample);
    const std::string media = avtest::MediaHashes(file);
    const std::uint64_t mdat = OffsetOf(file, iso::kMdat);
    Write(file, MakePacket("Rewritten", 3000), {.mForceRewrite = true});
    EXPECT_GT(OffsetOf(file, iso::kMdat), mdat + 3000);
    EXPECT_EQ(avtest::MediaHashes(file), media);
    EXPECT_EQ(avtest::ExifToolRead({file}).at(0).title, "Rewritten");
  }
}

TEST_F(IsoMediaTest, SizeZeroAnd64BitBoxes) {
  // The last box (mdat) says "to the end of the file"; writing gives it its real size.
  auto file = avtest::CopySample(mDir.Path(), "iso/moov_first.mp4");
  const std::string media = avtest::MediaHashes(file);
  std::string bytes = velttest::ReadFile(file);
  std::size_t mdat = OffsetOf(file, iso::kMdat);
  bytes.replace(mdat, 4, std::string(4, '\0'));
  velttest::WriteFile(file, bytes);
  EXPECT_EQ(kIso.Read(file), "");
  Write(file, MakePacket("After size zero"));
  EXPECT_EQ(avtest::MediaHashes(file), media);
  EXPECT_EQ(TopLevel(file), "ftyp moov free mdat free uuid");

  // A 64-bit mdat header over the 8-byte free box before it: the media stays in place.
  auto large = avtest::CopySample(mDir.Path(), "iso/moov_last.mp4");
  bytes = velttest::ReadFile(large);
  std::size_t free = OffsetOf(large, iso::kFree);
  std::uint64_t mdatSize = GetU32BE(reinterpret_cast<const std::uint8_t*>(bytes.data()) + free + 8);
  Bytes header;
  AppendU32(header, 1, Endian::kBig);
  AppendBytes(header, std::string_view("mdat"));
  AppendU64(header, mdatSize + 8, Endian::kBig);
  bytes.replace(free, 16, std::string(header.begin(), header.end()));
  velttest::WriteFile(large, bytes);
  ASSERT_EQ(TopLevel(large), "ftyp mdat moov");
  Write(large, MakePacket("Large size"));
  EXPECT_EQ(avtest::MediaHashes(large), media);
  auto views = avtest::ExifToolRead({file, large});
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[0].title, "After size zero");
  EXPECT_EQ(views[1].title, "Large size");
}

TEST_F(IsoMediaTest, FailedWritesLeaveTheFileAsItWas) {
  // The first in-place write of an append, and every step of a rewrite.
  auto file = avtest::CopySample(mDir.Path(), "iso/moov_first.mp4");
  avtest::ExpectFailuresChangeNothing(file, {"in-place"}, [&] { Write(file, MakePacket("N")); });
  avtest::ExpectFailuresChangeNothing(
      file, {"temp-create", "temp-write", "temp-flush", "rename"},
      [&] { Write(file, MakePacket("N"), {.mForceRewrite = true}); });
}

TEST(IsoMediaDamage, DamagedFilesGiveErrorsNeverCrashesAndFailedWritesChangeNothing) {
  velttest::TempDir dir;
  auto file = avtest::CopySample(dir.Path(), "iso/movie_first.mov");
  Write(file, MakePacket("Damaged", 10));
  EXPECT_GT(avtest::CheckDamagedCopies(velttest::ReadFile(file), kIso), 0);
  for (const std::string& bytes :
       {std::string(), std::string("\0\0\0\x08moov", 8),
        std::string("\0\0\0\x01moov\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 16)}) {
    MemoryStorage storage(Bytes(bytes.begin(), bytes.end()));
    try {
      EXPECT_FALSE(iso::ReadXmp(storage));
    } catch (const FileError& e) {
      EXPECT_FALSE(std::string(e.what()).empty());
    }
  }
}

TEST(IsoMediaDamage, SecondCopiesAreRetiredAndOpenEndedChildrenAreSized) {
  auto box = [](const std::string& type, const std::string& payload, bool toEnd = false) {
    std::uint32_t size = toEnd ? 0 : static_cast<std::uint32_t>(8 + payload.size());
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
      out[static_cast<std::size_t>(i)] = static_cast<char>(size >> (24 - 8 * i));
    return out + type + payload;
  };
  const std::string ftyp = box("ftyp", std::string("qt  \0\0\0\0qt  ", 12));
  // Two moov boxes, as an interrupted update may leave: the first is read, and a write
  // retires the second.
  std::string twoMoovs = ftyp + box("moov", box("udta", box("XMP_", MakePacket("first")))) +
                         box("mdat", "media") + box("moov", box("udta", box("XMP_", "second")));
  MemoryStorage ambiguous(Bytes(twoMoovs.begin(), twoMoovs.end()));
  EXPECT_NE(iso::ReadXmp(ambiguous)->mPacket.find(">first<"), std::string::npos);
  iso::WriteXmp(ambiguous, PacketText(MakePacket("x")));
  std::string after(ambiguous.Data().begin(), ambiguous.Data().end());
  EXPECT_EQ(after.find("moov"), after.rfind("moov"));
  EXPECT_EQ(after.find("second"), std::string::npos);
  EXPECT_NE(iso::ReadXmp(ambiguous)->mPacket.find(">x<"), std::string::npos);

  // A udta item that runs "to the end" of udta must not swallow the XMP_ box added after it.
  std::string movie =
      ftyp + box("mdat", "media") + box("moov", box("udta", box("meta", "items", true)));
  MemoryStorage storage(Bytes(movie.begin(), movie.end()));
  iso::WriteXmp(storage, PacketText(MakePacket("After open-ended item")));
  auto found = iso::ReadXmp(storage);
  ASSERT_TRUE(found);
  EXPECT_NE(found->mPacket.find("After open-ended item"), std::string::npos);
}

// Two XMP 'uuid' boxes in an MP4 (ExifTool's copy plus one a tool appended): the first is
// read with a warning, a write leaves one box, and ExifTool reads the new title once.
TEST_F(IsoMediaTest, SecondXmpUuidBoxIsDroppedByAWrite) {
  auto file = avtest::CopySample(mDir.Path(), "iso/moov_first.mp4");
  avtest::ExifToolSetTitle(file, "First");
  std::string bytes = velttest::ReadFile(file);
  const std::size_t at = bytes.find("uuid\xBE\x7A\xCF\xCB") - 4;
  ASSERT_LT(at, bytes.size());
  const std::size_t size = GetU32BE(reinterpret_cast<const std::uint8_t*>(&bytes[at]));
  std::string second = bytes.substr(at, size);
  second.replace(second.find(">First<"), 7, ">Other<");
  velttest::WriteFile(file, bytes + second);
  const std::string media = avtest::IsoMediaBytes(file);
  auto warnings =
      avtest::Warnings([&] { EXPECT_NE(kIso.Read(file).find(">First<"), std::string::npos); });
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("2 top-level XMP 'uuid' boxes"), std::string::npos);

  Write(file, MakePacket("Once"));
  const std::string types = TopLevel(file);
  EXPECT_EQ(types.find("uuid"), types.rfind("uuid")) << types;
  EXPECT_EQ(velttest::ReadFile(file).find(">Other<"), std::string::npos);
  EXPECT_TRUE(avtest::IsoMediaBytes(file) == media);
  EXPECT_EQ(avtest::ExifToolTitles(file), "Once\n");
}

// A movie whose chunk offset tables (stco and co64) point into mdat, in memory.
TEST(IsoChunkOffsets, BothTableKindsFollowTheMedia) {
  auto box = [](const char* type, const Bytes& payload) {
    Bytes out;
    iso::AppendBoxHeader(out, FourCC(reinterpret_cast<const char(&)[5]>(*type)),
                         8 + payload.size());
    AppendBytes(out, payload);
    return out;
  };
  auto table = [](bool wide, std::uint64_t a, std::uint64_t b) {
    Bytes p = {0, 0, 0, 0};
    AppendU32(p, 2, Endian::kBig);
    for (std::uint64_t v : {a, b}) {
      if (wide)
        AppendU64(p, v, Endian::kBig);
      else
        AppendU32(p, static_cast<std::uint32_t>(v), Endian::kBig);
    }
    return p;
  };
  auto trak = [&](bool wide, std::uint64_t a, std::uint64_t b) {
    return box(
        "trak",
        box("mdia", box("minf", box("stbl", box(wide ? "co64" : "stco", table(wide, a, b))))));
  };
  Bytes ftyp = box("ftyp", {'i', 's', 'o', 'm', 0, 0, 0, 0});
  Bytes traks = trak(false, 0, 0);
  AppendBytes(traks, trak(true, 0, 0));
  const std::size_t moovSize = 8 + traks.size();
  const std::uint64_t media = ftyp.size() + moovSize + 8;  // first payload byte of mdat
  traks = trak(false, media, media + 5);
  AppendBytes(traks, trak(true, media + 2, media + 9));
  Bytes file = ftyp;
  AppendBytes(file, box("moov", traks));
  AppendBytes(file, box("mdat", Bytes(10, 0xAB)));
  MemoryStorage storage(file);
  iso::WriteXmp(storage, PacketText(MakePacket("t")), {.mForceRewrite = true});

  const Bytes& out = storage.Data();
  iso::BoxList top = iso::ListBoxes(out.data(), out.size());
  ASSERT_EQ(top.mBoxes.size(), 4u);  // ftyp moov uuid mdat
  const std::uint64_t shift = top.mBoxes[3].DataOffset() - media;
  EXPECT_EQ(shift, top.mBoxes[2].mSize);
  std::string moov(out.begin() + static_cast<std::ptrdiff_t>(top.mBoxes[1].mOffset),
                   out.begin() + static_cast<std::ptrdiff_t>(top.mBoxes[1].End()));
  const auto* p = reinterpret_cast<const std::uint8_t*>(moov.data());
  std::size_t stco = moov.find("stco") + 12, co64 = moov.find("co64") + 12;
  EXPECT_EQ(GetU32BE(p + stco), media + shift);
  EXPECT_EQ(GetU32BE(p + stco + 4), media + 5 + shift);
  EXPECT_EQ(GetU64(p + co64, Endian::kBig), media + 2 + shift);
  EXPECT_EQ(GetU64(p + co64 + 8, Endian::kBig), media + 9 + shift);

  // An entry count that overruns its table is refused before anything is written.
  Bytes lying = file;
  std::size_t count = std::string(lying.begin(), lying.end()).find("stco") + 8;
  PutU32(&lying[count], 0x40000000, Endian::kBig);
  MemoryStorage bad(lying);
  EXPECT_THROW(iso::WriteXmp(bad, PacketText(MakePacket("t")), {.mForceRewrite = true}), FileError);
  EXPECT_TRUE(bad.Data() == lying);
}

}  // namespace
