// Packets as real files hold them: in UTF-16 and UTF-32 in every container, unreadable ones
// that an update must not replace, and the lenient forms of tests/data/xmp_files/lenient
// (made by make_lenient.py), checked against ExifTool after our writes.

#include "FilesTestSupport.h"
#include "XMPUnicode.h"
#include "xmp/XMP_Warnings.h"

namespace velttest {
namespace {

using xmpcore::TextEncoding;

class PacketForms : public FilesTest {};

// One sample per container; ".xmp" is a sidecar made from nothing.
const std::vector<std::string> kContainers = {
    "images/sample.jpg",  "images/sample.png", "images/sample.gif", "images/sample-ii.tif",
    "iso/moov_first.mp4", "iso/movie.mov",     "riff/tone.wav",     "riff/video.avi",
    "mpeg/v23.mp3",       "sidecar.xmp"};

std::filesystem::path Copy(const TempDir& dir, const std::string& relative) {
  std::filesystem::path to = dir / std::filesystem::path(relative).filename().string();
  if (relative == "sidecar.xmp") {
    WriteFile(to, "");
  } else {
    std::filesystem::copy_file(DataFile("xmp_files/" + relative), to);
  }
  return to;
}

std::string Encoded(const std::string& utf8, TextEncoding e, bool bom, std::size_t nuls) {
  std::string out = xmpcore::FromUTF8(bom ? "\xEF\xBB\xBF" + utf8 : utf8, e);
  return out + std::string(nuls, '\0');
}

TEST_F(PacketForms, Utf16AndUtf32InEveryContainer) {
  struct Form {
    TextEncoding mEncoding;
    bool mBom;
    std::size_t mNuls;  // padding after the packet, odd lengths included
  };
  const Form forms[] = {{TextEncoding::kUTF16BE, true, 1},
                        {TextEncoding::kUTF16LE, false, 3},
                        {TextEncoding::kUTF32BE, false, 0},
                        {TextEncoding::kUTF32LE, true, 5}};
  for (const std::string& container : kContainers) {
    TempDir dir;
    auto file = Copy(dir, container);
    for (const Form& form : forms) {
      SCOPED_TRACE(container + " form " + std::to_string(&form - forms));
      const std::string label = "\xC3\xA9t\xC3\xA9 " + std::to_string(&form - forms);
      StoreRawPacket(file, Encoded(LabelPacket(label), form.mEncoding, form.mBom, form.mNuls));
      EXPECT_EQ(Label(file), label);
    }
  }
  // Packet scanning finds them too.
  TempDir dir;
  for (const Form& form : forms) {
    WriteFile(
        dir / "doc.pdf",
        "%PDF-1.4\n" + Encoded(LabelPacket("scan"), form.mEncoding, form.mBom, 1) + "\n%%EOF\n");
    SXMPFiles f((dir / "doc.pdf").string(), kXMP_UnknownFile,
                kXMPFiles_OpenForRead | kXMPFiles_OpenUsePacketScanning);
    SXMPMeta meta;
    std::string label;
    ASSERT_TRUE(f.GetXMP(&meta)) << &form - forms;
    meta.GetProperty(kXMP_NS_XMP, "xmp:Label", &label);
    EXPECT_EQ(label, "scan");
  }
}

// A packet we cannot read makes GetXMP fail; an update is refused and the file keeps every
// byte, through the API and through `veltmeta set`, unless the caller asks to replace it.
TEST_F(PacketForms, UnreadablePacketsAreNeverReplaced) {
  std::string badUtf16 = Encoded(LabelPacket("QQ"), TextEncoding::kUTF16BE, true, 0);
  badUtf16.replace(badUtf16.find(std::string("\0Q\0Q", 4)), 4, "\xD8\x00\x00\x41", 4);
  std::string unclosed = LabelPacket("x");
  unclosed.replace(unclosed.find("</rdf:RDF>"), 10, "<rdf:RDF>");
  const std::string broken[] = {badUtf16, unclosed, "\x02 this block holds no packet"};
  for (const std::string& container : kContainers) {
    TempDir dir;
    auto file = Copy(dir, container);
    for (const std::string& raw : broken) {
      SCOPED_TRACE(container + " broken form " + std::to_string(&raw - broken));
      // A ".xmp" file of bytes that are no packet is no XMP file at all.
      if (container == "sidecar.xmp" && raw[0] == '\x02') continue;
      StoreRawPacket(file, raw);
      const std::string before = ReadFile(file);
      SXMPMeta meta;
      EXPECT_THROW(ReadXmp(file, &meta), XMP_Error);
      {
        SXMPFiles f(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
        EXPECT_FALSE(f.CanPutXMP(meta));
        try {
          f.PutXMP(meta);
          ADD_FAILURE() << "PutXMP accepted a file with unreadable XMP";
        } catch (const XMP_Error& e) {
          EXPECT_NE(std::string(e.GetErrMsg()).find("not replacing it"), std::string::npos)
              << e.GetErrMsg();
        }
        f.CloseFile();
      }
      EXPECT_EQ(ReadFile(file), before);
      if (&raw == broken) {
        int status = 0;
        std::string out =
            RunCommand(VeltmetaTool() + " set '" + file.string() + "' xmp:Label=x 2>&1", &status);
        EXPECT_NE(status, 0) << out;
        EXPECT_EQ(ReadFile(file), before);
      }
    }
    SXMPMeta meta;
    meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "replaced");
    SXMPFiles f(file.string(), kXMP_UnknownFile,
                kXMPFiles_OpenForUpdate | kXMPFiles_OpenReplaceUnreadableXMP);
    f.PutXMP(meta);
    f.CloseFile();
    EXPECT_EQ(Label(file), "replaced") << container;
  }
}

struct Outcome {
  std::string mLabel;
  std::vector<std::string> mWarnings;
};

Outcome ReadWithWarnings(const std::filesystem::path& file) {
  Outcome o;
  XMP_WarningScope scope([&](const std::string& m) { o.mWarnings.push_back(m); });
  o.mLabel = velttest::Label(file);
  return o;
}

std::size_t Count(const std::string& bytes, const std::string& what) {
  std::size_t n = 0;
  for (auto at = bytes.find(what); at != std::string::npos; at = bytes.find(what, at + 1))
    ++n;
  return n;
}

// Each lenient form reads with a warning (or none, when it is only an encoding); after our
// write the file holds one standard copy that ExifTool reads, and nothing is left to warn.
TEST_F(PacketForms, LenientFormsReadAndWrittenBackClean) {
  struct Case {
    const char* mFile;
    const char* mLabel;  // "" when the file reads as no XMP
    bool mWarns;
    std::string mStandardMark;  // found once after the write
    std::string mLegacyMark;    // gone after the write ("" for none)
  };
  const std::string kJpegMark("http://ns.adobe.com/xap/1.0/\0", 29);
  const Case cases[] = {
      {"two-app1.jpg", "first", true, kJpegMark, ""},
      {"fill-bytes.jpg", "fill", false, kJpegMark, ""},
      {"compressed-itxt.png", "deflated", false, "XML:com.adobe.xmp", ""},
      {"raw-profile.png", "legacy", true, "XML:com.adobe.xmp", "Raw profile type xmp"},
      {"itxt-and-raw-profile.png", "standard", true, "XML:com.adobe.xmp", "Raw profile type xmp"},
      {"padding-only.gif", "", true, "XMP DataXMP", ""},
      // The packet moves to the first IFD; the old one is blanked, not left for scanners.
      {"xmp-in-ifd1.tif", "ifd1", true, "<?xpacket begin", ""},
      {"xmp-in-subifd.tif", "subifd", true, "<?xpacket begin", ""},
  };
  TempDir dir;
  std::string files;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mFile);
    auto file = dir / c.mFile;
    std::filesystem::copy_file(DataFile(std::string("xmp_files/lenient/") + c.mFile), file);
    const std::string pixels = Pixels(file);
    Outcome read = ReadWithWarnings(file);
    EXPECT_EQ(read.mLabel, c.mLabel);
    EXPECT_EQ(!read.mWarnings.empty(), c.mWarns);
    SXMPMeta meta;
    meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "written");
    WriteXmp(file, meta);
    Outcome after = ReadWithWarnings(file);
    EXPECT_EQ(after.mLabel, "written");
    EXPECT_TRUE(after.mWarnings.empty()) << after.mWarnings.front();
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(Count(bytes, c.mStandardMark), 1u);
    EXPECT_EQ(c.mLegacyMark.empty() ? 0u : Count(bytes, c.mLegacyMark), 0u);
    EXPECT_EQ(Pixels(file), pixels);
    files += " '" + file.string() + "'";
  }
  // ExifTool, in one run, finds one label in each file (a second copy would show twice).
  if (OracleAvailable("exiftool")) {
    std::string expected;
    for (std::size_t i = 0; i < std::size(cases); ++i)
      expected += "written\n";
    EXPECT_EQ(RunCommand("exiftool -q -a -s3 -XMP-xmp:Label" + files), expected);
  }
  // JPEG fill between segments is copied through a rewrite.
  EXPECT_EQ(Count(ReadFile(dir / "fill-bytes.jpg"), std::string("\0\0\0\xFF\xFF\xFF\xDB", 7)), 1u);
}

// `veltmeta set` on a UTF-16 packet keeps every property it had (ExifTool reads them back).
TEST_F(PacketForms, SetKeepsEveryPropertyOfAUtf16Jpeg) {
  TempDir dir;
  auto file = dir / "utf16be.jpg";
  std::filesystem::copy_file(DataFile("xmp_files/lenient/utf16be.jpg"), file);
  int status = -1;
  std::string out =
      RunCommand(VeltmetaTool() + " set '" + file.string() + "' xmp:Label=x 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  VELT_REQUIRE_COMMANDS("exiftool");
  EXPECT_EQ(RunCommand("exiftool -s3 -XMP-xmp:Rating -XMP-xmp:CreatorTool -XMP-dc:Title "
                       "-XMP-dc:Subject -XMP-xmp:Label '" +
                       file.string() + "'"),
            "4\nPhoneCam 2.1\nLake \xC3\xA9t\xC3\xA9\nlake, summer\nx\n");
}

}  // namespace
}  // namespace velttest
