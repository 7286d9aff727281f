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

std::string Read(const fs::path& file) {
  DiskStorage storage(file.string(), false);
  auto found = webp::ReadXmp(storage);
  return found ? found->mPacket : "";
}

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
  const std::string q = "'" + file.string() + "'";
  return velttest::ReadFile(file).find("ANIM") != std::string::npos
             ? velttest::RunCommand("convert " + q + " -format '%#\\n' info:")
             : velttest::RunCommand("dwebp -quiet " + q + " -pam -o - | md5sum");
}

TEST(WebP, SamplesTakeNewGrownAndShrunkPacketsKeepingPixelsAndExifToolReadsThem) {
  VELT_REQUIRE_COMMANDS("exiftool", "dwebp", "webpinfo", "convert");
  velttest::TempDir dir;
  std::vector<fs::path> finals;
  for (const std::string& sample : kSamples) {
    SCOPED_TRACE(sample);
    const fs::path file = avtest::CopySample(dir.Path(), sample);
    const std::string pixels = Pixels(file);
    const std::string kept = Chunks(velttest::ReadFile(file)).second;
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(Read(file), "");
    for (int stage = 0; stage < 3; ++stage) {
      const std::uint64_t before = fs::file_size(file);
      const std::string packet = avtest::StagePacket(stage);
      avtest::WithStorage(file, [&](Storage& s) { webp::WriteXmp(s, PacketText(packet)); });
      const std::string bytes = velttest::ReadFile(file);
      EXPECT_NE(Read(file).find(packet.substr(packet.find("x-default"), 60)), std::string::npos);
      const auto [ids, after] = Chunks(bytes);
      EXPECT_TRUE(ids.starts_with("VP8X|") && ids.ends_with("XMP |")) << ids;
      EXPECT_TRUE(after == kept) << "bitstream chunks changed";
      EXPECT_EQ(bytes[20] & 0x04, 0x04) << "VP8X XMP flag";
      EXPECT_EQ(avtest::RiffSize(file) + 8, bytes.size());
      EXPECT_EQ(bytes.size() % 2, 0u);
      if (stage == 2) {
        EXPECT_EQ(bytes.size(), before) << "a shrunk packet is written in place";
      }
      int status = -1;
      EXPECT_EQ(velttest::RunCommand("webpinfo -quiet '" + file.string() + "' 2>&1", &status), "");
      EXPECT_EQ(status, 0);
      EXPECT_EQ(Pixels(file), pixels);
    }
    finals.push_back(file);
  }
  for (const auto& view : avtest::ExifToolRead(finals)) {
    EXPECT_EQ(view.title, "Short");
    EXPECT_EQ(view.warning, "-");
  }
}

TEST(WebP, ExifToolPacketsAreReadAndReplacedAndDetectionGoesByContent) {
  VELT_REQUIRE_COMMANDS("exiftool", "webpinfo");
  ASSERT_TRUE(SXMPMeta::Initialize());
  ASSERT_TRUE(SXMPFiles::Initialize());
  velttest::TempDir dir;
  for (const std::string sample : {"lossy.webp", "animated.webp"}) {
    // Named .wav: detection must go by content, and the RIFF audio handler not claim it.
    const fs::path file = dir.Path() / (std::string(sample) + ".wav");
    fs::copy_file(velttest::DataFile("xmp_files/webp/" + std::string(sample)), file);
    velttest::RunCommand("exiftool -q -overwrite_original -XMP-dc:Title='By ExifTool' '" +
                         file.string() + "'");
    EXPECT_EQ(SXMPFiles::CheckFileFormat(file.string()), kXMP_WebPFile);
    {
      SXMPFiles xmpFile(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
      SXMPMeta meta;
      ASSERT_TRUE(xmpFile.GetXMP(&meta));
      std::string value;
      EXPECT_TRUE(meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", nullptr, &value));
      EXPECT_EQ(value, "By ExifTool");
      meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default",
                            std::string(sample) + " by us");
      xmpFile.PutXMP(meta);
      xmpFile.CloseFile();
    }
    EXPECT_EQ(avtest::ExifToolRead({file}).at(0).title, std::string(sample) + " by us");
    int status = -1;
    velttest::RunCommand("webpinfo -quiet '" + file.string() + "'", &status);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(SXMPFiles::CheckFileFormat(avtest::CopySample(dir.Path(), "riff/tone.wav").string()),
            kXMP_WAVFile);
  SXMPFiles::Terminate();
  SXMPMeta::Terminate();
}

// A WebP file of the given chunks, its RIFF size right.
std::string Form(const std::string& chunks) {
  std::string size;
  for (int i = 0; i < 4; ++i)
    size.push_back(static_cast<char>((chunks.size() + 4) >> (8 * i)));
  return "RIFF" + size + "WEBP" + chunks;
}

void ExpectWriteError(const std::string& bytes, const std::string& message) {
  MemoryStorage storage(Bytes(bytes.begin(), bytes.end()));
  try {
    webp::WriteXmp(storage, PacketText(avtest::MakePacket("x")));
    ADD_FAILURE() << "expected an error: " << message;
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
  }
  EXPECT_TRUE(storage.Data() == Bytes(bytes.begin(), bytes.end()));
}

TEST(WebP, DamagedFilesGiveClearErrorsAndFailedWritesChangeNothing) {
  velttest::TempDir dir;
  const std::string lossy = velttest::ReadFile(velttest::DataFile("xmp_files/webp/lossy.webp"));
  std::string broken = lossy;
  broken[23] = 0;  // the VP8 start code
  ExpectWriteError(broken, "lacks the VP8 start code");
  ExpectWriteError(Form("ICCP" + std::string(4, '\0') + lossy.substr(12)), "not VP8X, VP8 or VP8L");
  ExpectWriteError(lossy.substr(0, lossy.size() - 10), "claims");
  // An unknown last chunk lacking its pad byte stays after the new chunk, padded.
  const std::string unknown = Form(lossy.substr(12) + "UNKN" + std::string("\1\0\0\0", 4) + "u");
  MemoryStorage tail(Bytes(unknown.begin(), unknown.end()));
  webp::WriteXmp(tail, PacketText(avtest::MakePacket("Tail", 1)));
  const std::string tailed(tail.Data().begin(), tail.Data().end());
  EXPECT_EQ(Chunks(tailed).first, "VP8X|VP8 |XMP |UNKN|");
  EXPECT_TRUE(tailed.ends_with(std::string("u\0", 2)) && tailed == Form(tailed.substr(12)));
  // Two 'XMP ' chunks: the first is read, a write keeps only one.
  const fs::path file = avtest::CopySample(dir.Path(), "webp/alpha.webp");
  avtest::WithStorage(
      file, [](Storage& s) { webp::WriteXmp(s, PacketText(avtest::MakePacket("One", 1))); });
  std::string twice = velttest::ReadFile(file);
  twice += twice.substr(twice.find("XMP "));
  twice.replace(twice.rfind(">One<"), 5, ">Two<");
  twice = Form(twice.substr(12));
  MemoryStorage both(Bytes(twice.begin(), twice.end()));
  EXPECT_NE(webp::ReadXmp(both)->mPacket.find(">One<"), std::string::npos);
  webp::WriteXmp(both, PacketText(avtest::MakePacket("Three", 1)));
  const std::string after(both.Data().begin(), both.Data().end());
  EXPECT_EQ(after.find("XMP "), after.rfind("XMP "));
  EXPECT_EQ(after.find(">Two<"), std::string::npos);

  int reads = 0;
  avtest::ForEachDamagedCopy(velttest::ReadFile(file), [&](const Bytes& bytes) {
    MemoryStorage storage(bytes);
    try {
      if (webp::ReadXmp(storage)) ++reads;
    } catch (const FileError&) {
    }
    try {
      webp::WriteXmp(storage, PacketText(avtest::MakePacket("Replaced", 2001)));
      EXPECT_NE(webp::ReadXmp(storage)->mPacket.find("Replaced"), std::string::npos);
    } catch (const FileError&) {
      EXPECT_TRUE(storage.Data() == bytes) << "a failed write changed the file";
    }
  });
  EXPECT_GT(reads, 0);

  // A fault at every write step of an update leaves the file as it was; the last step is the
  // final flush, after the new file is in place.
  ASSERT_TRUE(SXMPMeta::Initialize());
  ASSERT_TRUE(SXMPFiles::Initialize());
  const std::string title = faulttest::LongTitle("New");
  const std::string original = velttest::ReadFile(file);
  velttest::WriteFile(dir.Path() / "count.webp", original);
  const int steps = faulttest::CountSteps(dir.Path() / "count.webp", title);
  ASSERT_GT(steps, 2);
  for (int step = 0; step < steps; ++step) {
    for (auto fault : {faulttest::Fault::kFail, faulttest::Fault::kLastByte}) {
      SCOPED_TRACE(std::to_string(step) + faulttest::FaultName(fault));
      const fs::path copy = dir.Path() / "fault.webp";
      velttest::WriteFile(copy, original);
      EXPECT_FALSE(faulttest::UpdateWithFault(copy, title, step, fault));
      EXPECT_TRUE(step + 1 == steps || velttest::ReadFile(copy) == original);
      EXPECT_EQ(faulttest::ReadTitle(copy), step + 1 < steps ? "One" : title);
    }
  }
  SXMPFiles::Terminate();
  SXMPMeta::Terminate();
}

}  // namespace
