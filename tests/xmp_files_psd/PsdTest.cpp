// PSD and PSB: our packets read back by ExifTool and ExifTool's by us, the layer and image
// data and the pixels kept, failures at every write step rolled back, damage refused.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "FaultMatrix.h"
#include "FilesTestSupport.h"
#include "TestSupport.h"
#include "formats/psd/Psd.h"
#include "xmp/SXMPFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace xmpfiles;
using avtest::MakePacket;

std::uint32_t Be32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// Offset of the image resources section's length field, after the header and colour data.
std::size_t ResourcesAt(const std::string& bytes) {
  return 30 + Be32(bytes, 26);
}

// The layer and mask information and the image data: all after the resources section.
std::string LayerAndImageData(const std::string& bytes) {
  return bytes.substr(ResourcesAt(bytes) + 4 + Be32(bytes, ResourcesAt(bytes)));
}

// A resource block: signature, id, Pascal name and data, each padded to even unless `pad`.
std::string Block(std::uint16_t id, const std::string& name, const std::string& data,
                  bool pad = true) {
  std::string b = "8BIM";
  b += {static_cast<char>(id >> 8), static_cast<char>(id), static_cast<char>(name.size())};
  b += name + (name.size() % 2 == 0 ? std::string(1, '\0') : "");
  for (int shift = 24; shift >= 0; shift -= 8)
    b += static_cast<char>(data.size() >> shift);
  return b + data + (pad && data.size() % 2 != 0 ? std::string(1, '\0') : "");
}

// `bytes` with `block` first (or last) in the image resources section.
std::string WithResource(std::string bytes, const std::string& block, bool last = false) {
  const std::size_t at = ResourcesAt(bytes);
  const std::uint32_t length = Be32(bytes, at);
  for (std::size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<char>((length + block.size()) >> (24 - 8 * i));
  return bytes.insert(at + 4 + (last ? length : 0), block);
}

std::string Read(const Bytes& bytes) {
  MemoryStorage storage(bytes);
  auto found = psd::ReadXmp(storage);
  return found ? found->mPacket : "";
}

const avtest::Codec kPsd = AVTEST_CODEC(psd);

Bytes AsBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

TEST(PsdInterop, NewGrownAndShrunkPacketsKeepLayersAndPixelsAndReadInExifTool) {
  VELT_REQUIRE_COMMANDS("exiftool", "convert");
  velttest::TempDir dir;
  avtest::Handler handler{
      kPsd, [](const fs::path& file) { return LayerAndImageData(velttest::ReadFile(file)); },
      [](const fs::path& file, int stage, std::uint64_t sizeBefore, std::uint64_t) {
        if (stage == 2) {
          EXPECT_EQ(fs::file_size(file), sizeBefore) << "in place";
        }
      }};
  avtest::RunStages(dir.Path(), {"psd/rgb.psd", "psd/layers.psd", "psd/gray16.psb"}, handler,
                    velttest::Pixels);
}

// ExifTool adds XMP and an IPTC resource; we find the file from its content (any name), read
// and grow the XMP; ExifTool then reads both, the IPTC resource copied through.
TEST(PsdInterop, ReadsWhatExifToolWritesAndKeepsItsOtherResources) {
  VELT_REQUIRE_COMMANDS("exiftool");
  velttest::TempDir dir;
  const fs::path file = dir / "from-exiftool.bin";
  fs::copy_file(velttest::DataFile("xmp_files/psd/layers.psd"), file);
  const std::string quoted = " '" + file.string() + "'";
  velttest::RunCommand("exiftool -q -overwrite_original -XMP-dc:Title=Tool -IPTC:Keywords=kept" +
                       quoted);
  EXPECT_EQ(faulttest::ReadTitle(file), "Tool");
  XMP_FileFormat format = 0;
  SXMPFiles(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForRead)
      .GetFileInfo(nullptr, nullptr, &format);
  EXPECT_EQ(format, kXMP_PhotoshopFile);
  const std::string title = faulttest::LongTitle("Grown");
  ASSERT_TRUE(faulttest::UpdateWithFault(file, title));
  EXPECT_EQ(velttest::RunCommand("exiftool -q -q -s3 -f -Keywords -Warning" + quoted), "kept\n-\n");
  EXPECT_EQ(avtest::ExifToolRead({file}).at(0).title, title);
}

// Every write step of an in-place update and of a rewrite, failed, cut short by a full disk
// or killed: the file is as it was (killed: it holds the old or the new title).
TEST(PsdFaults, EveryWriteStepFailedOrKilledLeavesOldOrNew) {
  velttest::TempDir dir;
  const fs::path original = faulttest::PrepareSample(dir.Path(), "psd/gray16.psb", "Old");
  using enum faulttest::Fault;
  for (const std::string& title : {std::string("Short"), faulttest::LongTitle("Long")}) {
    SCOPED_TRACE(title.substr(0, 5));
    EXPECT_GT(faulttest::ExpectEveryStepOldOrNew(dir.Path(), original, title,
                                                 {kFail, kFirstByte, kLastByte, kKill}),
              1);
  }
}

// Truncations and hostile lengths everywhere: an error or a read, never a crash; a failed
// write changes nothing. Odd and even names and data are walked right; a lying length is
// named; of two XMP resources the first is read and a write keeps one; a last resource
// without its pad byte is read, and padded when the XMP goes after it.
TEST(PsdDamage, DamagedFilesGiveErrorsAndFailedWritesChangeNothing) {
  const std::string plain = velttest::ReadFile(velttest::DataFile("xmp_files/psd/rgb.psd"));
  const std::string others = Block(0x03F3, "abc", "12345") + Block(0x0428, "", "1234");
  const std::string xmp = Block(psd::kXmpResourceId, "", MakePacket("First", 1));
  std::string twice = WithResource(WithResource(plain, xmp + others), xmp, true);
  twice.replace(twice.rfind("First"), 5, "Other");
  EXPECT_GT(avtest::CheckDamagedCopies(twice, kPsd, ErrorKind::kBadFormat), 100);
  MemoryStorage kept(AsBytes(twice));
  psd::WriteXmp(kept, PacketText(MakePacket("New", 3000)));
  const std::string rewritten(kept.Data().begin(), kept.Data().end());
  EXPECT_NE(rewritten.find(others), std::string::npos);
  EXPECT_EQ(rewritten.find("Other"), std::string::npos);

  std::string lying = WithResource(plain, others);
  lying[ResourcesAt(lying) + 4 + 10] = '\x7F';  // the first resource's length
  EXPECT_THROW(
      try { Read(AsBytes(lying)); } catch (const FileError& e) {
        EXPECT_STREQ(e.what(),
                     "PSD image resource 0x03F3 at offset 34 claims 2130706437 bytes, 50 remain "
                     "in the section");
        throw;
      },
      FileError);

  MemoryStorage last(AsBytes(WithResource(plain, Block(0x0428, "", "odd", false), true)));
  EXPECT_EQ(Read(last.Data()), "");
  psd::WriteXmp(last, PacketText(MakePacket("After", 0)));
  const std::string after(last.Data().begin(), last.Data().end());
  EXPECT_NE(after.find(Block(0x0428, "", "odd") + "8BIM\x04\x24"), std::string::npos);
  EXPECT_NE(Read(last.Data()).find(">After<"), std::string::npos);
}

}  // namespace
