// The byte-I/O layer and packet resizing that every handler relies on.

#include <gtest/gtest.h>

#include "FileHandler.h"
#include "TestSupport.h"
#include "io/Endian.h"
#include "io/Md5.h"
#include "io/Storage.h"

namespace velttest {
namespace {

using namespace xmpfiles;

// Reads are bounded by the file: past the end is an error, never short data or a huge
// allocation from a lying size.
TEST(FilesStorage, BoundedReadsOnDiskAndInMemory) {
  TempDir dir;
  WriteFile(dir / "f.bin", "0123456789");
  DiskStorage disk((dir / "f.bin").string(), false);
  MemoryStorage mem(Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
  for (Storage* s : {static_cast<Storage*>(&disk), static_cast<Storage*>(&mem)}) {
    EXPECT_EQ(s->Size(), 10u);
    EXPECT_EQ(s->ReadString(7, 3), "789");
    EXPECT_EQ(s->Remaining(4), 6u);
    EXPECT_EQ(s->Remaining(40), 0u);
    EXPECT_THROW(s->ReadString(8, 3), FileError);
    EXPECT_THROW(s->Read(0, std::size_t{1} << 40), FileError);  // no 1 TB allocation
    char buf[8];
    EXPECT_EQ(s->ReadSome(6, buf, 8), 4u);
    EXPECT_EQ(s->ReadSome(12, buf, 8), 0u);
  }
  EXPECT_THROW(DiskStorage((dir / "missing").string(), false), FileError);
  EXPECT_THROW(DiskStorage(dir.Path().string(), false), FileError);  // a folder
  EXPECT_THROW(disk.WriteAt(0, "x", 1), FileError);                  // read-only

  // Small reads are served from a page read ahead: across its edges and after the content
  // changes they still give the file's bytes.
  std::string pattern;
  for (int i = 0; i < 10000; ++i)
    pattern += static_cast<char>('a' + i % 23);
  WriteFile(dir / "big.bin", pattern);
  DiskStorage big((dir / "big.bin").string(), true);
  for (std::uint64_t at : {0, 4090, 4094, 8190, 9995}) {
    EXPECT_EQ(big.ReadString(at, 5), pattern.substr(at, 5)) << at;
    EXPECT_EQ(big.ReadString(at + 1, 3), pattern.substr(at + 1, 3)) << at;
  }
  EXPECT_EQ(big.ReadString(100, 6000), pattern.substr(100, 6000));
  EXPECT_EQ(big.ReadString(4096, 4096), pattern.substr(4096, 4096));  // a whole page kept
  EXPECT_EQ(big.ReadString(4100, 3), pattern.substr(4100, 3));
  big.WriteAt(4094, "XYZ", 3);
  big.WriteAt(200, "QQ", 2);  // inside the page the write itself reads to save
  EXPECT_EQ(big.ReadString(199, 4), pattern.substr(199, 1) + "QQ" + pattern.substr(202, 1));
  EXPECT_EQ(big.ReadString(4093, 5), pattern.substr(4093, 1) + "XYZ" + pattern.substr(4097, 1));
  big.Truncate(4095);
  EXPECT_EQ(big.ReadString(4090, 5), pattern.substr(4090, 4) + "X");
  EXPECT_THROW(big.ReadString(4094, 2), FileError);
}

// A committed rewrite replaces the content and keeps the permissions; an abandoned one
// leaves the original and no temporary file.
TEST(FilesStorage, RewriteCommitsOrLeavesOriginal) {
  TempDir dir;
  auto path = dir / "f.bin";
  WriteFile(path, "original");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  {
    DiskStorage disk(path.string(), true);
    auto rw = disk.StartRewrite();
    rw->Append("new ");
    rw->AppendFrom(disk, 0, 4);
  }
  EXPECT_EQ(ReadFile(path), "original");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  DiskStorage disk(path.string(), true);
  auto rw = disk.StartRewrite();
  rw->Append("new ");
  rw->AppendFrom(disk, 0, 4);
  EXPECT_THROW(rw->AppendFrom(disk, 6, 5), FileError);
  rw->Commit();
  EXPECT_EQ(ReadFile(path), "new orig");
  EXPECT_EQ(disk.ReadString(0, 8), "new orig");  // the storage follows the new content
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
}

TEST(FilesStorage, EndianAndCursor) {
  std::uint8_t b[8];
  PutU32(b, 0x01020304, Endian::kBig);
  EXPECT_EQ(GetU32LE(b), 0x04030201u);
  PutU64(b, 0x0102030405060708ull, Endian::kLittle);
  EXPECT_EQ(GetU64(b, Endian::kBig), 0x0807060504030201ull);
  BufReader r({b, 8}, Endian::kBig, "test block");
  r.Skip(6);
  EXPECT_EQ(r.U16(), 0x0201);
  try {
    r.U8();
    FAIL();
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "test block: needs 1 bytes at offset 8, 0 remain");
  }
}

// Known MD5 digests (RFC 1321 test suite), across the one- and two-block tails.
TEST(FilesStorage, Md5) {
  EXPECT_EQ(Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(
      Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
      "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(FilesStorage, PacketFitsByPadding) {
  const std::string packet =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta "
      "xmlns:x=\"adobe:ns:meta/\"/>\n      \n<?xpacket end=\"w\"?>";
  PacketText text(packet);
  for (std::size_t size :
       {packet.size() - 8, packet.size(), packet.size() + 1, packet.size() + 500}) {
    auto fitted = text.FitTo(size);
    ASSERT_TRUE(fitted) << size;
    EXPECT_EQ(fitted->size(), size);
    EXPECT_TRUE(fitted->ends_with("<?xpacket end=\"w\"?>"));
    EXPECT_EQ(fitted->substr(0, packet.find("/>") + 2), packet.substr(0, packet.find("/>") + 2));
  }
  EXPECT_FALSE(text.FitTo(packet.size() - 9));  // the content itself does not shrink
  // Without a trailer the padding goes after the packet; it still never shrinks.
  EXPECT_EQ(*PacketText("<x:xmpmeta/>").FitTo(14), "<x:xmpmeta/>  ");
  EXPECT_FALSE(PacketText("<x:xmpmeta/>").FitTo(11));
  PacketInfo info = DescribePacket(*text.FitTo(packet.size() + 100), 12);
  EXPECT_EQ(info.mOffset, 12);
  EXPECT_EQ(info.mPadSize, 108);
  EXPECT_TRUE(info.mWritable);
}

}  // namespace
}  // namespace velttest
