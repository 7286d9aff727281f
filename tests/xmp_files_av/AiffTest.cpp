// AIFF and AIFF-C: round trips read back by ExifTool (which shows the XMP chunk's bytes) and
// decoded by sox and ffmpeg, FORM size and padding, other applications' chunks kept, a
// packet written by ExifTool, duplicate XMP chunks (and RIFF's), damage and failures.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "FaultInjection.h"
#include "TestSupport.h"
#include "formats/riff/Riff.h"
#include "formats/riff/aiff/Aiff.h"
#include "xmp/SXMPFiles.h"

namespace {

using namespace xmpfiles;
using avtest::MakePacket;

const avtest::Codec kAiff = AVTEST_CODEC(aiff);

// ExifTool finds the 'APPL' chunk and gives its bytes; the packet after the 'XMP ' signature
// is then read by ExifTool as an XMP file. Warnings are those of the AIFF files, whose names
// must differ.
std::vector<avtest::ExifToolView> ExifToolReadAiff(
    const std::vector<std::filesystem::path>& files) {
  velttest::TempDir out;
  std::string command =
      "exiftool -q -q -b -W " + avtest::Quote(out / "%f.%e.appl") + " -AIFF:ApplicationData";
  for (const auto& f : files)
    command += " " + avtest::Quote(f);
  velttest::RunCommand(command);
  std::vector<std::filesystem::path> packets;
  for (const auto& f : files) {
    const auto appl = out / (f.filename().string() + ".appl");
    std::string data = std::filesystem::exists(appl) ? velttest::ReadFile(appl) : "";
    EXPECT_TRUE(data.empty() || data.starts_with("XMP ")) << f;
    packets.push_back(out / (f.filename().string() + ".xmp"));
    velttest::WriteFile(packets.back(),
                        data.empty() ? "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>" : data.substr(4));
  }
  auto views = avtest::ExifToolRead(packets);
  auto warnings = avtest::ExifToolRead(files);
  for (std::size_t i = 0; i < views.size() && i < warnings.size(); ++i)
    views[i].warning = warnings[i].warning;
  return views;
}

class AiffTest : public ::testing::Test {
 protected:
  void SetUp() override { VELT_REQUIRE_COMMANDS("exiftool", "ffmpeg", "sox"); }
  velttest::TempDir mDir;
};

TEST_F(AiffTest, EverySampleTakesNewGrownAndShrunkPacketsAndStillDecodes) {
  // Decoded by sox and by ffmpeg.
  auto decode = [](const std::filesystem::path& file) {
    const std::string sox = avtest::SoxHash(file);
    EXPECT_EQ(sox.find("d41d8cd98f00b204e9800998ecf8427e"), std::string::npos) << "no samples";
    return sox + avtest::MediaHashes(file);
  };
  avtest::Handler handler{
      kAiff, avtest::IffMediaBytes,
      [](const std::filesystem::path& file, int stage, std::uint64_t sizeBefore, std::uint64_t) {
        EXPECT_EQ(avtest::FormSize(file, true) + 8, std::filesystem::file_size(file));
        EXPECT_EQ(std::filesystem::file_size(file) % 2, 0u) << "odd sizes are padded";
        // A new chunk goes after the sound data (behind an empty filler chunk that hid it until
        // it was complete); growth turns the old one into filler.
        const std::string ids = avtest::IffChunkIds(file);
        EXPECT_TRUE(ids.ends_with("APPL:XMP ") && ids.find("SSND") < ids.find("APPL:XMP")) << ids;
        if (stage == 2) {
          EXPECT_EQ(std::filesystem::file_size(file), sizeBefore);
        }
      }};
  avtest::RunStages(mDir.Path(), {"aiff/sine16.aiff", "aiff/sine8-odd.aifc"}, handler, decode,
                    ExifToolReadAiff);
}

TEST_F(AiffTest, ReadsExifToolPacketsThroughSXMPFilesAndKeepsOtherApplications) {
  auto file = avtest::CopySample(mDir.Path(), "aiff/sine16.aiff");
  auto xmp = mDir.Path() / "by-exiftool.xmp";
  velttest::RunCommand("exiftool -q -o " + avtest::Quote(xmp) +
                       " -XMP-dc:Title='Written by ExifTool' -XMP-dc:Creator=Someone");
  const std::string other = avtest::FormChunk("APPL", "stocsome other data", true);
  avtest::AppendToForm(
      file, other + avtest::FormChunk("APPL", "XMP " + velttest::ReadFile(xmp), true), true);
  EXPECT_EQ(faulttest::ReadTitle(file), "Written by ExifTool");
  EXPECT_EQ(SXMPFiles::CheckFileFormat(file.string()), kXMP_AIFFFile);

  const std::string media = avtest::IffMediaBytes(file);
  ASSERT_NE(media.find("stocsome other data"), std::string::npos);
  ASSERT_TRUE(faulttest::UpdateWithFault(file, faulttest::LongTitle("grown")));
  EXPECT_EQ(faulttest::ReadTitle(file), faulttest::LongTitle("grown"));
  EXPECT_TRUE(avtest::IffMediaBytes(file) == media);
  auto views = ExifToolReadAiff({file});
  EXPECT_EQ(views.at(0).title, faulttest::LongTitle("grown"));
  EXPECT_EQ(views.at(0).warning, "-");
  EXPECT_NE(kAiff.Read(file).find("Someone"), std::string::npos) << "the other properties stay";
}

// Two XMP chunks in RIFF and AIFF alike: the first is read with a warning, and a write leaves
// one copy, the new packet, where the first was.
TEST_F(AiffTest, DuplicateXmpChunksReadTheFirstAndWriteOne) {
  for (bool aiff : {true, false}) {
    auto file = avtest::CopySample(mDir.Path(), aiff ? "aiff/sine8-odd.aifc" : "riff/tone.wav");
    const std::string id = aiff ? "APPL" : "_PMX";
    const std::string sig = aiff ? "XMP " : "";
    avtest::AppendToForm(file,
                         avtest::FormChunk(id, sig + MakePacket("First", 10), aiff) +
                             avtest::FormChunk("LIST", "INFO", aiff) +
                             avtest::FormChunk(id, sig + MakePacket("Second", 10), aiff),
                         aiff);
    const avtest::Codec codec = aiff ? kAiff : AVTEST_CODEC(riff);
    auto warnings =
        avtest::Warnings([&] { EXPECT_NE(codec.Read(file).find(">First<"), std::string::npos); });
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("2 XMP chunks"), std::string::npos) << warnings[0];

    codec.Write(file, MakePacket("Replaced", 3000));
    const std::string bytes = velttest::ReadFile(file);
    EXPECT_EQ(bytes.find(">Second<"), std::string::npos);
    EXPECT_EQ(bytes.find(">First<"), std::string::npos);
    const std::string ids = aiff ? avtest::IffChunkIds(file) : avtest::RiffChunkIds(file);
    const std::string xmpId = aiff ? "APPL:XMP " : "_PMX";
    EXPECT_EQ(ids.find(xmpId), ids.rfind(xmpId)) << ids;
    EXPECT_EQ(faulttest::ReadTitle(file), "Replaced");
  }
}

TEST(AiffDamage, DamagedFilesGiveErrorsNeverCrashesAndFailedWritesChangeNothing) {
  velttest::TempDir dir;
  auto file = avtest::CopySample(dir.Path(), "aiff/sine8-odd.aifc");
  kAiff.Write(file, MakePacket("Damaged", 11));
  EXPECT_GT(avtest::CheckDamagedCopies(velttest::ReadFile(file), kAiff), 0);

  // A form followed by other data, with no room inside: a clear error that changes nothing.
  std::string bytes = velttest::ReadFile(file) + "trailing data";
  MemoryStorage followed(Bytes(bytes.begin(), bytes.end()));
  try {
    aiff::WriteXmp(followed, PacketText(MakePacket(std::string(2000, 'N'), 10)));
    ADD_FAILURE() << "expected an error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kUnsupported);
    EXPECT_NE(std::string(e.what()).find("move media"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(followed.Data() == Bytes(bytes.begin(), bytes.end()));
  // A WAV is not an AIFF.
  MemoryStorage wav(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
  EXPECT_THROW(aiff::ReadXmp(wav), FileError);
}

}  // namespace
