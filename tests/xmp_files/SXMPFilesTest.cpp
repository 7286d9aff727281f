// SXMPFiles as the library's other layers call it: detection, open flags, file info,
// associated resources, sidecars and packet scanning.

#include "FilesTestSupport.h"

namespace velttest {
namespace {

class FilesApi : public FilesTest {};

std::string Label(const SXMPMeta& meta) {
  std::string v;
  meta.GetProperty(kXMP_NS_XMP, "xmp:Label", &v);
  return v;
}

// The content decides, not the extension; the flags the library passes are accepted.
TEST_F(FilesApi, DetectionFromContentWithTheLibrarysFlags) {
  TempDir dir;
  const struct {
    const char* sample;
    const char* as;
    XMP_FileFormat format;
  } cases[] = {
      {"sample.jpg", "a.jpg", kXMP_JPEGFile},   {"sample.png", "b.jpg", kXMP_PNGFile},
      {"sample.gif", "c", kXMP_GIFFile},        {"sample-mm.tif", "d.tif", kXMP_TIFFFile},
      {"sample-ii.tif", "e.dng", kXMP_DNGFile}, {"sample-ii.tif", "f.NEF", kXMP_CameraRawFile}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.as);
    std::filesystem::copy_file(DataFile(std::string("xmp_files/images/") + c.sample), dir / c.as);
    const std::string path = (dir / c.as).string();
    EXPECT_EQ(SXMPFiles::CheckFileFormat(path), c.format);
    for (XMP_OptionBits flags : {0x401u, 0x4A5u, 0x402u}) {
      SXMPFiles f(path, kXMP_UnknownFile, flags);
      XMP_FileFormat format = 0;
      XMP_OptionBits handlerFlags = 0, openFlags = 0;
      ASSERT_TRUE(f.GetFileInfo(nullptr, &openFlags, &format, &handlerFlags));
      EXPECT_EQ(format, c.format);
      EXPECT_EQ(openFlags, flags);
      XMP_OptionBits infoFlags = 0;
      EXPECT_TRUE(SXMPFiles::GetFormatInfo(c.format, &infoFlags));
      EXPECT_EQ(infoFlags, handlerFlags);
    }
  }
  // Raw formats are read-only: PutXMP is refused, and the file is left alone.
  SXMPFiles raw((dir / "e.dng").string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
  EXPECT_FALSE(raw.CanPutXMP(SXMPMeta()));
  EXPECT_THROW(raw.PutXMP(SXMPMeta()), XMP_Error);
  // Forcing a handler that does not accept the bytes fails the open.
  SXMPFiles forced;
  EXPECT_FALSE(forced.OpenFile((dir / "a.jpg").string(), kXMP_PNGFile, 0x409));
  EXPECT_FALSE(forced.GetFileInfo());
}

// A strict open trusts only the named format's handler (a plain open falls back to detection);
// without a format it detects as usual.
TEST_F(FilesApi, StrictOpensTrustOnlyTheNamedFormat) {
  TempDir dir;
  auto photo = CopySample(dir, "sample.jpg");
  const XMP_OptionBits strict = kXMPFiles_OpenForRead | kXMPFiles_OpenStrictly;
  SXMPFiles f;
  EXPECT_FALSE(f.OpenFile(photo.string(), kXMP_PNGFile, strict));
  EXPECT_TRUE(f.OpenFile(photo.string(), kXMP_UnknownFile, strict));
  f.CloseFile();
  EXPECT_TRUE(f.OpenFile(photo.string(), kXMP_PNGFile, kXMPFiles_OpenForRead));
}

// Associated resources: the file, plus its sidecar when one exists; nothing for files no
// handler takes.
TEST_F(FilesApi, AssociatedResourcesAndSidecars) {
  TempDir dir;
  auto photo = CopySample(dir, "sample.jpg");
  std::vector<std::string> list = {"kept"};
  EXPECT_TRUE(SXMPFiles::GetAssociatedResources(photo.string(), &list, kXMP_JPEGFile, 0x408));
  EXPECT_EQ(list, (std::vector<std::string>{"kept", photo.string()}));

  // A sidecar written through its own handler, read back, and listed.
  auto sidecar = dir / "sample.xmp";
  WriteFile(sidecar, "");
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "side");
  WriteXmp(sidecar, meta);
  EXPECT_EQ(SXMPFiles::CheckFileFormat(sidecar.string()), kXMP_StandaloneXMPFile);
  SXMPMeta back;
  ASSERT_TRUE(ReadXmp(sidecar, &back));
  EXPECT_EQ(Label(back), "side");
  if (velttest::OracleAvailable("exiftool")) {
    EXPECT_EQ(ExifToolTag(sidecar, "XMP-xmp:Label"), "side");
  }
  list.clear();
  EXPECT_TRUE(SXMPFiles::GetAssociatedResources(photo.string(), &list, kXMP_JPEGFile, 0x408));
  EXPECT_EQ(list, (std::vector<std::string>{photo.string(), sidecar.string()}));

  WriteFile(dir / "notes.txt", "plain text");
  list.clear();
  EXPECT_FALSE(SXMPFiles::GetAssociatedResources((dir / "notes.txt").string(), &list,
                                                 kXMP_UnknownFile, 0x408));
  EXPECT_FALSE(
      SXMPFiles::GetAssociatedResources((dir / "gone.jpg").string(), &list, kXMP_JPEGFile, 0x408));
  EXPECT_TRUE(list.empty());
}

// Files without a handler give their packet only when scanning is asked for, read-only,
// and the last packet of an incrementally updated document wins.
TEST_F(FilesApi, PacketScanningOnlyWhenAsked) {
  TempDir dir;
  auto packet = LabelPacket;
  std::string pdf = "%PDF-1.4\n1 0 obj\nstream\n" + packet("old") + "\nendstream\n" +
                    std::string(3 << 20, 'x') + "2 0 obj\nstream\n" + packet("new") +
                    "\nendstream\n%%EOF\n";
  auto path = (dir / "doc.pdf").string();
  WriteFile(path, pdf);
  EXPECT_THROW(SXMPFiles(path, kXMP_UnknownFile, 0x401), XMP_Error);  // no scanning asked
  EXPECT_THROW(SXMPFiles(path, kXMP_UnknownFile, 0x4A5), XMP_Error);  // smart handlers only
  SXMPFiles f(path, kXMP_UnknownFile, kXMPFiles_OpenForRead | kXMPFiles_OpenUsePacketScanning);
  XMP_FileFormat format = 0;
  f.GetFileInfo(nullptr, nullptr, &format);
  EXPECT_EQ(format, kXMP_PDFFile);
  SXMPMeta meta;
  XMP_PacketInfo info;
  ASSERT_TRUE(f.GetXMP(&meta, nullptr, &info));
  EXPECT_EQ(Label(meta), "new");
  EXPECT_EQ(info.offset, static_cast<XMP_Int64>(pdf.rfind("<?xpacket begin")));
  EXPECT_FALSE(f.CanPutXMP(meta));
  EXPECT_THROW(
      SXMPFiles(path, kXMP_UnknownFile, kXMPFiles_OpenForUpdate | kXMPFiles_OpenUsePacketScanning),
      XMP_Error);
}

// GetXMP clears the caller's object even when the file has no XMP; PutXMP needs update.
TEST_F(FilesApi, GetXmpClearsAndPutNeedsUpdate) {
  TempDir dir;
  auto photo = CopySample(dir, "sample.png");
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "stale");
  SXMPFiles f(photo.string(), kXMP_UnknownFile, kXMPFiles_OpenForRead);
  EXPECT_FALSE(f.GetXMP(&meta));
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP, "xmp:Label"));
  EXPECT_FALSE(f.CanPutXMP(meta));
  EXPECT_THROW(f.PutXMP(meta), XMP_Error);
  f.CloseFile();
  EXPECT_FALSE(f.GetFileInfo());
  EXPECT_EQ(ReadFile(photo), ReadFile(DataFile("xmp_files/images/sample.png")));
  XMP_VersionInfo version;
  SXMPFiles::GetVersionInfo(&version);
  EXPECT_FALSE(version.message.empty());
}

}  // namespace
}  // namespace velttest
