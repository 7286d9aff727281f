// MP3: the XMP PRIV frame in ID3v2.3 and 2.4 tags, tags created for files without one,
// audio kept byte for byte, unsynchronised tags, ID3v2.2, damage and failures.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "TestSupport.h"
#include "formats/mpeg/Id3.h"

namespace {

using namespace xmpfiles;
using avtest::MakePacket;

const avtest::Codec kMp3 = AVTEST_CODEC(mpeg);

// The audio: everything after the ID3v2 tag (sizes decoded here, independently).
std::string Audio(const std::string& bytes) {
  if (bytes.compare(0, 3, "ID3") != 0) return bytes;
  std::size_t size = 0;
  for (int i = 6; i < 10; ++i)
    size = size << 7 | (static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]) & 0x7F);
  std::size_t footer = (bytes[3] == 4 && (bytes[5] & 0x10)) ? 10 : 0;
  return bytes.substr(std::min(bytes.size(), 10 + size + footer));
}

std::string Frame(const std::string& id, const std::string& data) {
  std::string size(4, '\0');
  for (int i = 0; i < 4; ++i)
    size[static_cast<std::size_t>(i)] = static_cast<char>(data.size() >> (24 - 8 * i));
  return id + size + std::string(2, '\0') + data;
}

std::string Tag(char major, char flags, const std::string& body) {
  std::string size(4, '\0');
  for (int i = 0; i < 4; ++i)
    size[static_cast<std::size_t>(i)] = static_cast<char>((body.size() >> (21 - 7 * i)) & 0x7F);
  return std::string("ID3") + major + '\0' + flags + size + body;
}

class Mp3Test : public ::testing::Test {
 protected:
  void SetUp() override { VELT_REQUIRE_COMMANDS("exiftool", "ffmpeg"); }
  velttest::TempDir mDir;
};

TEST_F(Mp3Test, EverySampleTakesNewGrownAndShrunkPackets) {
  avtest::Handler handler{
      kMp3, [](const std::filesystem::path& file) { return Audio(velttest::ReadFile(file)); },
      [](const std::filesystem::path& file, int stage, std::uint64_t sizeBefore,
         std::uint64_t written) {
        if (stage < 2) return;
        // The shrunk packet fits in place: only the old packet's space is written.
        EXPECT_EQ(std::filesystem::file_size(file), sizeBefore);
        EXPECT_EQ(written, avtest::StagePacket(1).size());
        if (file.filename() != "notag.mp3") {
          EXPECT_EQ(velttest::RunCommand("exiftool -s3 -ID3:Title " + avtest::Quote(file)),
                    "Tone\n");
        }
      }};
  avtest::RunStages(mDir.Path(), {"mpeg/v24.mp3", "mpeg/v23.mp3", "mpeg/notag.mp3"}, handler);
}

TEST_F(Mp3Test, UnsynchronisedAndOldTags) {
  // An ID3v2.3 tag with tag-level unsynchronisation: FF E0 in a frame is stored FF 00 E0.
  const std::string text = std::string("\x01\xFF\xFE", 3) + "x\xFF\xE0";
  std::string frames =
      Frame("TXXX", text) + Frame("PRIV", std::string("XMP\0", 4) + MakePacket("Unsynced"));
  std::string body;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    body += frames[i];
    unsigned char next = i + 1 < frames.size() ? static_cast<unsigned char>(frames[i + 1]) : 0;
    if (static_cast<unsigned char>(frames[i]) == 0xFF && (next >= 0xE0 || next == 0)) body += '\0';
  }
  ASSERT_EQ(body.size(), frames.size() + 2);
  std::string audio = std::string("\xFF\xFB\x90\x00", 4) + std::string(400, 'A');
  auto file = mDir / "unsync.mp3";
  velttest::WriteFile(file, Tag(3, '\x80', body + std::string(64, '\0')) + audio);
  EXPECT_NE(kMp3.Read(file).find("Unsynced"), std::string::npos);
  kMp3.Write(file, MakePacket(std::string(500, 'R')));
  std::string bytes = velttest::ReadFile(file);
  EXPECT_EQ(bytes[5] & 0x80, 0) << "the rewritten tag is not unsynchronised";
  EXPECT_NE(bytes.find(Frame("TXXX", text)), std::string::npos) << "other frames decoded verbatim";
  EXPECT_TRUE(Audio(bytes) == audio);
  EXPECT_NE(kMp3.Read(file).find(std::string(500, 'R')), std::string::npos);
  EXPECT_EQ(avtest::ExifToolRead({file}).at(0).title, std::string(500, 'R'));

  // ID3v2.2 has no PRIV frame: no XMP to read, and writing is refused without a change.
  auto old = mDir / "v22.mp3";
  velttest::WriteFile(
      old, Tag(2, 0, std::string("TT2\0\0\x05\0Tone", 11) + std::string(20, '\0')) + audio);
  const std::string original = velttest::ReadFile(old);
  EXPECT_EQ(kMp3.Read(old), "");
  try {
    kMp3.Write(old, MakePacket("x"));
    ADD_FAILURE() << "expected an error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kUnsupported);
  }
  EXPECT_TRUE(velttest::ReadFile(old) == original);
}

// Two XMP PRIV frames (a tagger that appended instead of replacing): the first is read with a
// warning; a write, even one that would fit the first frame, leaves exactly one copy.
TEST_F(Mp3Test, DuplicateXmpFramesAreReadOnceAndWrittenAsOne) {
  const std::string owner("XMP\0", 4);
  const std::string title = Frame("TIT2", std::string("\0Tone", 5));
  const std::string audio = std::string("\xFF\xFB\x90\x00", 4) + std::string(400, 'A');
  auto file = mDir / "two-priv.mp3";
  velttest::WriteFile(file,
                      Tag(3, 0,
                          Frame("PRIV", owner + MakePacket("First")) + title +
                              Frame("PRIV", owner + MakePacket("Second")) + std::string(64, '\0')) +
                          audio);
  auto warnings =
      avtest::Warnings([&] { EXPECT_NE(kMp3.Read(file).find(">First<"), std::string::npos); });
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("2 XMP PRIV frames"), std::string::npos) << warnings[0];

  kMp3.Write(file, MakePacket("Fits"));
  const std::string bytes = velttest::ReadFile(file);
  EXPECT_EQ(bytes.find("PRIV"), bytes.rfind("PRIV"));
  EXPECT_EQ(bytes.find("Second"), std::string::npos);
  EXPECT_NE(bytes.find(title), std::string::npos);
  EXPECT_TRUE(Audio(bytes) == audio);
  EXPECT_EQ(avtest::ExifToolRead({file}).at(0).title, "Fits");
}

TEST_F(Mp3Test, FailedRewritesLeaveTheFileAsItWas) {
  auto file = avtest::CopySample(mDir.Path(), "mpeg/notag.mp3");
  avtest::ExpectFailuresChangeNothing(file, {"temp-create", "temp-write", "temp-flush", "rename"},
                                      [&] { kMp3.Write(file, MakePacket("Never")); });
  // Nothing is left behind in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mDir.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(Mp3Damage, DamagedFilesGiveErrorsNeverCrashesAndFailedWritesChangeNothing) {
  velttest::TempDir dir;
  auto file = avtest::CopySample(dir.Path(), "mpeg/v24.mp3");
  kMp3.Write(file, MakePacket("Damaged", 10));
  EXPECT_GT(avtest::CheckDamagedCopies(velttest::ReadFile(file), kMp3), 0);
  // Synchsafe sizes round-trip; a byte with its top bit set is not synchsafe.
  std::uint8_t b[4];
  mpeg::EncodeSynchsafe(b, 0x0FFFFFFF);
  EXPECT_EQ(mpeg::DecodeSynchsafe(b), 0x0FFFFFFFu);
  b[2] = 0x80;
  EXPECT_FALSE(mpeg::DecodeSynchsafe(b));
}

}  // namespace
