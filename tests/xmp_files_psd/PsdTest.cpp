// PSD and PSB: our packets read back by ExifTool and ExifTool's by us, the layer and image
// data and the pixels kept, failures at every write step rolled back, damage refused.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "FaultInjection.h"
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

Bytes AsBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

TEST(PsdInterop, NewGrownAndShrunkPacketsKeepLayersAndPixelsAndReadInExifTool) {
  VELT_REQUIRE_COMMANDS("exiftool", "convert");
  velttest::TempDir dir;
  std::vector<fs::path> files;
  std::vector<std::string> titles;
  for (const std::string sample : {"rgb.psd", "layers.psd", "gray16.psb"}) {
    SCOPED_TRACE(sample);
    const fs::path file = avtest::CopySample(dir.Path(), "psd/" + sample);
    const std::string pixels = velttest::Pixels(file);
    const std::string original = velttest::ReadFile(file);
    files.push_back(file.string() + ".orig");
    titles.push_back("-");
    fs::copy_file(file, files.back());
    for (int stage = 0; stage < 3; ++stage) {
      const std::string packet = avtest::StagePacket(stage);
      avtest::WithStorage(file, [&](Storage& s) { psd::WriteXmp(s, PacketText(packet)); });
      const std::string bytes = velttest::ReadFile(file);
      const std::size_t title = packet.find("x-default\">") + 11;
      titles.push_back(packet.substr(title, packet.find('<', title) - title));
      EXPECT_NE(Read(AsBytes(bytes)).find(titles.back()), std::string::npos);
      EXPECT_TRUE(LayerAndImageData(bytes) == LayerAndImageData(original));
      EXPECT_EQ(velttest::Pixels(file), pixels);
      files.push_back(file.string() + "." + std::to_string(stage));
      fs::copy_file(file, files.back());
    }
    EXPECT_EQ(fs::file_size(files.back()), fs::file_size(files[files.size() - 2])) << "in place";
  }
  auto views = avtest::ExifToolRead(files);
  ASSERT_EQ(views.size(), files.size());
  for (std::size_t i = 0; i < views.size(); ++i) {
    EXPECT_EQ(views[i].title, titles[i]) << files[i];
    EXPECT_EQ(views[i].warning, views[i - i % 4].warning) << files[i];
  }
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
  const std::string bytes =
      velttest::ReadFile(faulttest::PrepareSample(dir.Path(), "psd/gray16.psb", "Old"));
  const fs::path file = dir / "f" / "t.psb";
  for (const std::string& title : {std::string("Short"), faulttest::LongTitle("Long")}) {
    fs::create_directories(file.parent_path());
    velttest::WriteFile(file, bytes);
    const int steps = faulttest::CountSteps(file, title);
    for (int step = 0; step < steps; ++step) {
      using enum faulttest::Fault;
      for (auto fault : {kFail, kFirstByte, kLastByte, kKill}) {
        SCOPED_TRACE(title.substr(0, 5) + " step " + std::to_string(step) + " " +
                     faulttest::FaultName(fault));
        fs::remove_all(file.parent_path());  // with what a killed update left
        fs::create_directories(file.parent_path());
        velttest::WriteFile(file, bytes);
        EXPECT_FALSE(faulttest::UpdateWithFault(file, title, step, fault));
        const std::string read = faulttest::ReadTitle(file);
        // The last step is the final flush, after the new content is in place.
        if (fault == kKill || step + 1 == steps) {
          EXPECT_TRUE(read == "Old" || read == title) << read.substr(0, 80);
        } else {
          EXPECT_TRUE(velttest::ReadFile(file) == bytes) << "not rolled back";
          EXPECT_EQ(velttest::CountFiles(file.parent_path()), 1u);
        }
      }
    }
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
  int reads = 0;
  avtest::ForEachDamagedCopy(twice, [&](const Bytes& bytes) {
    MemoryStorage storage(bytes);
    try {
      reads += Read(bytes).find("First") != std::string::npos;
      psd::WriteXmp(storage, PacketText(MakePacket("New", 3001)));
      EXPECT_NE(Read(storage.Data()).find(">New<"), std::string::npos);
    } catch (const FileError& e) {
      EXPECT_EQ(e.Kind(), ErrorKind::kBadFormat);
      EXPECT_TRUE(storage.Data() == bytes) << "a failed write changed the file";
    }
  });
  EXPECT_GT(reads, 100);
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
