// RIFF WAV and AVI: round trips read back by ExifTool, media chunks and RIFF sizes kept,
// growth without moving media, a form followed by more data, damage and failures.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "TestSupport.h"
#include "formats/riff/Riff.h"

namespace {

using namespace xmpfiles;
using avtest::MakePacket;

const avtest::Codec kRiff = AVTEST_CODEC(riff);

std::string Chunk(const std::string& id, const std::string& payload) {
  return avtest::FormChunk(id, payload, false);
}

class RiffTest : public ::testing::Test {
 protected:
  void SetUp() override { VELT_REQUIRE_COMMANDS("exiftool", "ffmpeg"); }
  velttest::TempDir mDir;
};

TEST_F(RiffTest, EverySampleTakesNewGrownAndShrunkPackets) {
  avtest::Handler handler{
      kRiff, avtest::RiffMediaBytes,
      [](const std::filesystem::path& file, int stage, std::uint64_t sizeBefore, std::uint64_t) {
        EXPECT_EQ(avtest::RiffSize(file) + 8, std::filesystem::file_size(file));
        EXPECT_EQ(std::filesystem::file_size(file) % 2, 0u) << "odd sizes are padded";
        if (stage == 2) {
          EXPECT_EQ(std::filesystem::file_size(file), sizeBefore);
        }
      }};
  avtest::RunStages(mDir.Path(), {"riff/odd.wav", "riff/tone.wav", "riff/video.avi"}, handler);
}

TEST_F(RiffTest, GrowthUsesJunkOrTheEndOfTheForm) {
  auto file = avtest::CopySample(mDir.Path(), "riff/tone.wav");
  kRiff.Write(file, MakePacket("One", 0));
  // A chunk after _PMX: the grown packet goes to the end behind an empty JUNK chunk (which
  // hid it until the switch), the old chunk becomes JUNK.
  avtest::AppendToForm(file, Chunk("LIST", "INFOISFT" + std::string("\x06\0\0\0", 4) + "tests\0"),
                       false);
  const std::string media = avtest::RiffMediaBytes(file);
  const std::string two(800, 'T');
  kRiff.Write(file, MakePacket(two, 500));
  EXPECT_EQ(avtest::RiffChunkIds(file), "fmt  data JUNK JUNK LIST JUNK _PMX");
  EXPECT_TRUE(avtest::RiffMediaBytes(file) == media);
  EXPECT_EQ(avtest::RiffSize(file) + 8, std::filesystem::file_size(file));
  EXPECT_NE(kRiff.Read(file).find(two), std::string::npos);
  EXPECT_EQ(velttest::ReadFile(file).find(">One<"), std::string::npos) << "stale packet left";

  // A form followed by more data (as the extension forms of a large AVI): no room inside is
  // a clear error that changes nothing; a JUNK chunk inside is used.
  auto avi = avtest::CopySample(mDir.Path(), "riff/video.avi");
  std::string tail = "RIFF" + std::string("\x0C\0\0\0", 4) + "AVIX" + Chunk("JUNK", "tail");
  velttest::WriteFile(avi, velttest::ReadFile(avi) + tail);
  const std::string original = velttest::ReadFile(avi);
  try {
    kRiff.Write(avi, MakePacket("No room", 5000));
    ADD_FAILURE() << "expected an error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kUnsupported);
    EXPECT_NE(std::string(e.what()).find("move media"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(velttest::ReadFile(avi) == original);

  avtest::AppendToForm(avi, Chunk("JUNK", std::string(4000, '\0')), false);
  velttest::WriteFile(avi, velttest::ReadFile(avi) + tail);
  const std::string aviMedia = avtest::RiffMediaBytes(avi);
  kRiff.Write(avi, MakePacket("In the junk", 3000));
  EXPECT_NE(kRiff.Read(avi).find("In the junk"), std::string::npos);
  EXPECT_TRUE(avtest::RiffMediaBytes(avi) == aviMedia);
  EXPECT_TRUE(velttest::ReadFile(avi).ends_with(tail));
  EXPECT_EQ(avtest::ExifToolRead({avi}).at(0).title, "In the junk");
}

TEST(RiffDamage, DamagedFilesGiveErrorsNeverCrashesAndFailedWritesChangeNothing) {
  velttest::TempDir dir;
  auto file = avtest::CopySample(dir.Path(), "riff/odd.wav");
  kRiff.Write(file, MakePacket("Damaged", 11));
  EXPECT_GT(avtest::CheckDamagedCopies(velttest::ReadFile(file), kRiff), 0);
  avtest::ExpectFailuresChangeNothing(file, {"in-place"},
                                      [&] { kRiff.Write(file, MakePacket("N")); });
  MemoryStorage empty;
  EXPECT_THROW(riff::ReadXmp(empty), FileError);
}

}  // namespace
