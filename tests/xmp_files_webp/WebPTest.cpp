// WebP: every sample kind takes new, grown and shrunk packets with its bitstream chunks and
// pixels kept (dwebp, ImageMagick) and a file webpinfo accepts; ExifTool reads what we write
// and we read what it writes; detection; damaged files and failed writes.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "FaultInjection.h"
#include "TestSupport.h"
#include "formats/riff/webp/WebP.h"
#include "xmp/SXMPFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace xmpfiles;

const std::vector<std::string> kSamples = {"webp/lossy.webp", "webp/lossless.webp",
                                           "webp/alpha.webp", "webp/animated.webp"};

const avtest::Codec kWebP = AVTEST_CODEC(webp);

// Chunk ids, and the ids and payloads of every chunk but VP8X and 'XMP ' (what a metadata
// edit must keep), by a plain scan.
std::pair<std::string, std::string> Chunks(const std::string& bytes) {
  std::string ids, kept;
  auto le32 = [&](std::size_t i) {
    return std::uint32_t(std::uint8_t(bytes[i])) | std::uint32_t(std::uint8_t(bytes[i + 1])) << 8 |
           std::uint32_t(std::uint8_t(bytes[i + 2])) << 16 |
           std::uint32_t(std::uint8_t(bytes[i + 3])) << 24;
  };
  for (std::size_t pos = 12; pos + 8 <= bytes.size(); pos += 8 + ((le32(pos + 4) + 1) & ~1u)) {
    const std::string id = bytes.substr(pos, 4);
    ids += id + "|";
    if (id != "VP8X" && id != "XMP ") kept += id + bytes.substr(pos + 8, le32(pos + 4));
  }
  return {ids, kept};
}

// The decoded pixels' hash: dwebp for stills, ImageMagick's per-frame signature for animations.
std::string Pixels(const fs::path& file) {
  const std::string q = avtest::Quote(file);
  return velttest::ReadFile(file).find("ANIM") != std::string::npos
             ? velttest::RunCommand("convert " + q + " -format '%#\\n' info:")
             : velttest::RunCommand("dwebp -quiet " + q + " -pam -o - | md5sum");
}

// Every stage leaves a file webpinfo accepts, the VP8X flag saying there is XMP.
void CheckWebP(const fs::path& file, int stage, std::uint64_t sizeBefore, std::uint64_t) {
  const std::string bytes = velttest::ReadFile(file);
  const std::string ids = Chunks(bytes).first;
  EXPECT_TRUE(ids.starts_with("VP8X|") && ids.ends_with("XMP |")) << ids;
  EXPECT_EQ(bytes[20] & 0x04, 0x04) << "VP8X XMP flag";
  EXPECT_EQ(avtest::RiffSize(file) + 8, bytes.size());
  EXPECT_EQ(bytes.size() % 2, 0u);
  if (stage == 2) {
    EXPECT_EQ(bytes.size(), sizeBefore) << "a shrunk packet is written in place";
  }
  int status = -1;
  EXPECT_EQ(velttest::RunCommand("webpinfo -quiet " + avtest::Quote(file) + " 2>&1", &status), "");
  EXPECT_EQ(status, 0);
}

TEST(WebP, SamplesTakeNewGrownAndShrunkPacketsKeepingPixelsAndExifToolReadsThem) {
  VELT_REQUIRE_COMMANDS("exiftool", "dwebp", "webpinfo", "convert");
  velttest::TempDir dir;
  avtest::Handler handler{
      kWebP, [](const fs::path& file) { return Chunks(velttest::ReadFile(file)).second; },
      CheckWebP};
  avtest::RunStages(dir.Path(), kSamples, handler, Pixels);
}

// A file whose 'XMP ' chunk the VP8X flags do not announce (as some tools leave it): an
// in-place update sets the flag, and webpinfo and ExifTool accept the result.
TEST(WebP, InPlaceUpdateSetsAMissingXmpFlag) {
  VELT_REQUIRE_COMMANDS("exiftool", "webpinfo");
  velttest::TempDir dir;
  const fs::path file = avtest::CopySample(dir.Path(), "webp/lossless.webp");
  kWebP.Write(file, avtest::MakePacket("Unflagged", 500));
  std::string bytes = velttest::ReadFile(file);
  ASSERT_EQ(bytes.compare(12, 4, "VP8X"), 0);
  bytes[20] = static_cast<char>(bytes[20] & ~0x04);
  velttest::WriteFile(file, bytes);
  EXPECT_NE(kWebP.Read(file).find(">Unflagged<"), std::string::npos);
  kWebP.Write(file, avtest::MakePacket("Flagged", 100));
  EXPECT_EQ(fs::file_size(file), bytes.size()) << "not in place";
  CheckWebP(file, 2, bytes.size(), 0);
  EXPECT_EQ(avtest::ExifToolRead({file}).at(0).title, "Flagged");
}

TEST(WebP, ExifToolPacketsAreReadAndReplacedAndDetectionGoesByContent) {
  VELT_REQUIRE_COMMANDS("exiftool", "webpinfo");
  ASSERT_TRUE(SXMPMeta::Initialize() && SXMPFiles::Initialize());
  velttest::TempDir dir;
  for (const std::string sample : {"lossy.webp", "animated.webp"}) {
    // Named .wav: detection must go by content, and the RIFF audio handler not claim it.
    const fs::path file = dir.Path() / (std::string(sample) + ".wav");
    fs::copy_file(velttest::DataFile("xmp_files/webp/" + std::string(sample)), file);
    avtest::ExifToolSetTitle(file, "By ExifTool");
    EXPECT_EQ(SXMPFiles::CheckFileFormat(file.string()), kXMP_WebPFile);
    EXPECT_EQ(faulttest::ReadTitle(file), "By ExifTool");
    ASSERT_TRUE(faulttest::UpdateWithFault(file, std::string(sample) + " by us"));
    EXPECT_EQ(avtest::ExifToolRead({file}).at(0).title, std::string(sample) + " by us");
    int status = -1;
    velttest::RunCommand("webpinfo -quiet " + avtest::Quote(file), &status);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(SXMPFiles::CheckFileFormat(avtest::CopySample(dir.Path(), "riff/tone.wav").string()),
            kXMP_WAVFile);
}

// A WebP file of the given chunks, its RIFF size right.
std::string Form(const std::string& chunks) {
  std::string size;
  for (int i = 0; i < 4; ++i)
    size.push_back(static_cast<char>((chunks.size() + 4) >> (8 * i)));
  return "RIFF" + size + "WEBP" + chunks;
}

// `bytes` with a packet titled `title` written in memory, or the write's error message.
std::string WriteInMemory(const std::string& bytes, const std::string& title) {
  MemoryStorage storage(Bytes(bytes.begin(), bytes.end()));
  try {
    webp::WriteXmp(storage, PacketText(avtest::MakePacket(title, 1)));
    return std::string(storage.Data().begin(), storage.Data().end());
  } catch (const FileError& e) {
    EXPECT_TRUE(storage.Data() == Bytes(bytes.begin(), bytes.end())) << "failed write changed it";
    return e.what();
  }
}

TEST(WebP, DamagedFilesGiveClearErrorsAndFailedWritesChangeNothing) {
  const std::string lossy = velttest::ReadFile(velttest::DataFile("xmp_files/webp/lossy.webp"));
  std::string broken = lossy;
  broken[23] = 0;  // the VP8 start code
  EXPECT_EQ(WriteInMemory(broken, "x"), "'VP8 ' chunk at offset 12 lacks the VP8 start code");
  EXPECT_EQ(WriteInMemory(Form("ICCP" + std::string(4, '\0') + lossy.substr(12)), "x"),
            "WebP file starts with the 'ICCP' chunk at offset 12, not VP8X, VP8 or VP8L");
  EXPECT_EQ(WriteInMemory(lossy.substr(0, 100), "x"), "RIFF claims 110 bytes, 92 remain");
  // An unknown last chunk lacking its pad byte stays after the new chunk, padded.
  const std::string tail =
      WriteInMemory(Form(lossy.substr(12) + std::string("UNKN\1\0\0\0u", 9)), "Tail");
  EXPECT_EQ(Chunks(tail).first, "VP8X|VP8 |XMP |UNKN|");
  EXPECT_TRUE(tail.ends_with(std::string("u\0", 2)) && tail == Form(tail.substr(12)));
  // Two 'XMP ' chunks: the first is read, a write keeps only one.
  const std::string one = WriteInMemory(lossy, "One");
  std::string twice = one + one.substr(one.find("XMP "));
  twice = Form(twice.replace(twice.rfind(">One<"), 5, ">Two<").substr(12));
  MemoryStorage both(Bytes(twice.begin(), twice.end()));
  EXPECT_NE(webp::ReadXmp(both)->mPacket.find(">One<"), std::string::npos);
  const std::string after = WriteInMemory(twice, "Three");
  EXPECT_EQ(Chunks(after).first, "VP8X|VP8 |XMP |");
  EXPECT_EQ(after.find(">Two<"), std::string::npos);

  EXPECT_GT(avtest::CheckDamagedCopies(one, kWebP), 0);
}

}  // namespace
