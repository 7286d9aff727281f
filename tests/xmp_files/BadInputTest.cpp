// Broken files: a clear XMP_Error or "no XMP", never a crash, a hang or a lost byte.

#include <unistd.h>

#include "FilesTestSupport.h"
#include "PacketCleanup.h"
#include "io/Endian.h"

namespace velttest {
namespace {

class BadInput : public FilesTest {};

SXMPMeta TitleMeta(const std::string& title) {
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", title);
  return meta;
}

std::string ErrorOf(const std::function<void()>& f, XMP_ErrorID* id = nullptr) {
  try {
    f();
  } catch (const XMP_Error& e) {
    if (id != nullptr) *id = e.GetID();
    return e.GetErrMsg();
  }
  return "";
}

// Every prefix of every sample (with a packet in it) opens or fails cleanly; a write into a
// truncated file either succeeds or leaves the bytes as they were.
TEST_F(BadInput, TruncatedFilesAtEveryLength) {
  for (const char* name : {"sample.jpg", "sample.png", "sample.gif", "sample-ii.tif"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    auto file = CopySample(dir, name);
    WriteXmp(file, TitleMeta("whole"));
    const std::string whole = ReadFile(file);
    for (std::size_t n = 0; n < whole.size(); n += (n < 64 ? 1 : 37)) {
      auto cut = dir / ("cut-" + std::string(name));
      WriteFile(cut, whole.substr(0, n));
      try {
        SXMPFiles f(cut.string(), kXMP_UnknownFile, kXMPFiles_OpenForRead);
        SXMPMeta meta;
        (void)f.GetXMP(&meta);
      } catch (const XMP_Error&) {
      }
      try {
        WriteXmp(cut, TitleMeta("cut"));
      } catch (const XMP_Error&) {
        EXPECT_EQ(ReadFile(cut), whole.substr(0, n)) << n;
      }
      std::filesystem::remove(cut);
    }
  }
}

TEST_F(BadInput, LyingSizesAndLoopsGiveClearErrors) {
  TempDir dir;
  XMP_ErrorID id = 0;
  // A JPEG APP1 segment claiming 65535 bytes in a 16-byte file: no XMP to read; writing refuses.
  std::string jpeg = std::string("\xFF\xD8\xFF\xE1\xFF\xFF", 6) + "http://ns.";
  WriteFile(dir / "lying.jpg", jpeg);
  SXMPMeta meta;
  EXPECT_FALSE(ReadXmp(dir / "lying.jpg", &meta));
  std::string msg = ErrorOf([&] { WriteXmp(dir / "lying.jpg", TitleMeta("x")); }, &id);
  EXPECT_EQ(id, kXMPErr_BadFileFormat);
  EXPECT_NE(msg.find("claims 65535 bytes, 12 remain"), std::string::npos) << msg;
  EXPECT_EQ(ReadFile(dir / "lying.jpg"), jpeg);

  // TIFF whose first IFD lies outside the file, and one whose entry count overruns it.
  std::string tiff("II*\0\x00\x10\x00\x00", 8);
  WriteFile(dir / "far.tif", tiff);
  msg = ErrorOf([&] { ReadXmp(dir / "far.tif", &meta); }, &id);
  EXPECT_EQ(id, kXMPErr_BadFileFormat);
  EXPECT_NE(msg.find("outside the file"), std::string::npos) << msg;
  WriteFile(dir / "count.tif", std::string("MM\0*\0\0\0\x08\xFF\xFF", 10));
  msg = ErrorOf([&] { ReadXmp(dir / "count.tif", &meta); });
  EXPECT_NE(msg.find("claims 65535 entries"), std::string::npos) << msg;
  // An IFD whose next-IFD pointer loops to itself: only the first IFD is ever read.
  std::string loop("II*\0\x08\0\0\0\x00\x00\x08\0\0\0", 14);
  WriteFile(dir / "loop.tif", loop);
  EXPECT_FALSE(ReadXmp(dir / "loop.tif", &meta));

  // PNG: a damaged XMP chunk CRC is reported, not silently trusted.
  TempDir pngDir;
  auto png = CopySample(pngDir, "sample.png");
  WriteXmp(png, TitleMeta("crc"));
  std::string bytes = ReadFile(png);
  std::size_t at = bytes.find("xmp:Label");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'X';
  WriteFile(png, bytes);
  msg = ErrorOf([&] { ReadXmp(png, &meta); }, &id);
  EXPECT_EQ(id, kXMPErr_BadFileFormat);
  EXPECT_NE(msg.find("wrong CRC"), std::string::npos) << msg;

  // GIF: a sub-block chain running off the end.
  std::string gif("GIF89a\x01\0\x01\0\0\0\0\x21\xF9\x40", 16);
  WriteFile(dir / "chain.gif", gif);
  msg = ErrorOf([&] { ReadXmp(dir / "chain.gif", &meta); });
  EXPECT_NE(msg.find("claims 64 bytes"), std::string::npos) << msg;
}

TEST_F(BadInput, EmptyMissingFolderAndUnreadable) {
  TempDir dir;
  XMP_ErrorID id = 0;
  WriteFile(dir / "empty.jpg", "");
  EXPECT_EQ(
      ErrorOf([&] { SXMPFiles f((dir / "empty.jpg").string(), kXMP_UnknownFile, 0x401); }, &id),
      "OpenFile returned false");
  EXPECT_EQ(id, kXMPErr_NoFileHandler);
  EXPECT_NE(ErrorOf([&] { SXMPFiles f((dir / "none.jpg").string(), kXMP_UnknownFile, 0x401); }, &id)
                .find("does not exist"),
            std::string::npos);
  EXPECT_EQ(id, kXMPErr_NoFile);
  EXPECT_NE(ErrorOf([&] { SXMPFiles f(dir.Path().string(), kXMP_UnknownFile, 0x401); }, &id)
                .find("is a folder"),
            std::string::npos);
  EXPECT_EQ(id, kXMPErr_FilePermission);
  if (::geteuid() != 0) {  // root reads everything
    auto locked = CopySample(dir, "sample.jpg");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    EXPECT_NE(ErrorOf([&] { SXMPFiles f(locked.string(), kXMP_UnknownFile, 0x401); }, &id), "");
    EXPECT_EQ(id, kXMPErr_FilePermission);
  }
}

// Packets are parsed where they lie when cleaning would change nothing: that shortcut gives
// exactly what cleaning gives, and stands aside for every form cleaning has to change.
TEST(PacketCleanup, PartWhereCleaningChangesNothing) {
  const std::string body = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta>";
  const std::string begin = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>";
  const std::string end = "<?xpacket end=\"w\"?>";
  const std::string nul(2, '\0');
  const struct {
    std::string mRaw;
    bool mPart;
  } cases[] = {
      {begin + body + "\n   \n" + end, true},
      {"junk" + begin + body + " " + end + "trailing junk", true},
      {nul + body + nul, true},
      {begin + body + nul + end, false},             // NUL padding is blanked
      {begin + body + " stray text " + end, false},  // so is text after the closing tag
      {begin + body, false},                         // a trailer is added
      {begin + body + "</x:xmpmeta>" + end, true},   // the last closing tag ends it
      {"no packet at all", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mRaw);
    const std::optional<std::string_view> part = xmpfiles::CleanPacketView(c.mRaw);
    EXPECT_EQ(part.has_value(), c.mPart);
    if (part) {
      EXPECT_EQ(*part, xmpfiles::CleanPacket(c.mRaw));
    }
  }
}

// Lenient reading: junk after the packet, a missing wrapper and NUL padding are read; an
// extended part is found by its GUID alone (a digest that does not match is no reason to drop
// it), and one that is incomplete is left out and makes an update refused.
TEST_F(BadInput, LenientPacketsAndExtendedXmp) {
  const std::string body =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
      "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
      "xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" xmp:Label=\"lenient\" "
      "xmpNote:HasExtendedXMP=\"0123456789ABCDEF0123456789ABCDEF\"/></rdf:RDF></x:xmpmeta>";
  const std::string wrapped = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>" + body +
                              std::string(40, '\0') + "<?xpacket end=\"w\"?>garbage\x01\x02";
  auto app1 = [](const std::string& sig, const std::string& data) {
    xmpfiles::Bytes b = {0xFF, 0xE1};
    xmpfiles::AppendU16(b, static_cast<std::uint16_t>(2 + sig.size() + data.size()),
                        xmpfiles::Endian::kBig);
    return std::string(b.begin(), b.end()) + sig + data;
  };
  const std::string ext =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
      "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
      "xmp:Nickname=\"extended\"/></rdf:RDF></x:xmpmeta>";
  auto extHeader = [&](std::uint32_t fullLength) {
    std::string header = "0123456789ABCDEF0123456789ABCDEF";
    xmpfiles::Bytes nums;
    xmpfiles::AppendU32(nums, fullLength, xmpfiles::Endian::kBig);
    xmpfiles::AppendU32(nums, 0, xmpfiles::Endian::kBig);
    return header.append(nums.begin(), nums.end());
  };
  const std::string sample = ReadFile(DataFile("xmp_files/images/sample.jpg"));
  TempDir dir;
  for (const std::string& packet : {wrapped, body}) {
    for (bool complete : {true, false}) {
      SCOPED_TRACE(complete ? "complete" : "incomplete");
      const auto full = static_cast<std::uint32_t>(ext.size() + (complete ? 0 : 10));
      std::string jpeg =
          sample.substr(0, 2) + app1(std::string("http://ns.adobe.com/xap/1.0/\0", 29), packet) +
          app1(std::string("http://ns.adobe.com/xmp/extension/\0", 35), extHeader(full) + ext) +
          sample.substr(2);
      WriteFile(dir / "lenient.jpg", jpeg);
      SXMPMeta meta;
      ASSERT_TRUE(ReadXmp(dir / "lenient.jpg", &meta));
      std::string label, nickname;
      EXPECT_TRUE(meta.GetProperty(kXMP_NS_XMP, "xmp:Label", &label));
      EXPECT_EQ(label, "lenient");
      EXPECT_EQ(meta.GetProperty(kXMP_NS_XMP, "xmp:Nickname", &nickname), complete);
      if (complete) {
        // Both parts survive an update.
        WriteXmp(dir / "lenient.jpg", meta);
        SXMPMeta back;
        ASSERT_TRUE(ReadXmp(dir / "lenient.jpg", &back));
        EXPECT_TRUE(back.GetProperty(kXMP_NS_XMP, "xmp:Nickname", &nickname));
        EXPECT_TRUE(back.GetProperty(kXMP_NS_XMP, "xmp:Label", &label));
      } else {
        // An update would drop the part we could not read: refused, file unchanged.
        EXPECT_THROW(WriteXmp(dir / "lenient.jpg", meta), XMP_Error);
        EXPECT_EQ(ReadFile(dir / "lenient.jpg"), jpeg);
      }
    }
  }
}

}  // namespace
}  // namespace velttest
