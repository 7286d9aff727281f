// The audio/video handlers behind the public SXMPFiles API: detection and the reported
// format, a title put and read back through SXMPMeta, and ExifTool reading the result.

#include <gtest/gtest.h>

#include "AvTestSupport.h"
#include "TestSupport.h"
#include "xmp/SXMPFiles.h"

namespace {

struct Case {
  const char* sample;
  XMP_FileFormat format;
};

TEST(SXMPFilesAv, DetectsPutsAndReadsBackEveryFormat) {
  ASSERT_TRUE(SXMPMeta::Initialize());
  ASSERT_TRUE(SXMPFiles::Initialize());
  velttest::TempDir dir;
  const Case cases[] = {{"iso/moov_last.mp4", kXMP_MPEG4File}, {"iso/audio.m4a", kXMP_MPEG4File},
                        {"iso/video.3gp", kXMP_MPEG4File},     {"iso/movie.mov", kXMP_MOVFile},
                        {"riff/odd.wav", kXMP_WAVFile},        {"riff/video.avi", kXMP_AVIFile},
                        {"mpeg/v24.mp3", kXMP_MP3File},        {"mpeg/notag.mp3", kXMP_MP3File}};
  std::vector<std::filesystem::path> files;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    auto file = avtest::CopySample(dir.Path(), c.sample);
    files.push_back(file);
    EXPECT_EQ(SXMPFiles::CheckFileFormat(file.string()), c.format);
    const std::string title = std::string("Title of ") + c.sample;
    {
      SXMPFiles xmpFile(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
      XMP_FileFormat format = 0;
      ASSERT_TRUE(xmpFile.GetFileInfo(nullptr, nullptr, &format));
      EXPECT_EQ(format, c.format);
      SXMPMeta meta;
      EXPECT_FALSE(xmpFile.GetXMP(&meta));
      meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", title);
      ASSERT_TRUE(xmpFile.CanPutXMP(meta));
      xmpFile.PutXMP(meta);
      xmpFile.CloseFile();
    }
    // Naming the format (even forcing its handler) finds the same handler as detection.
    SXMPFiles xmpFile(file.string(), c.format, kXMPFiles_OpenForRead | kXMPFiles_ForceGivenHandler);
    SXMPMeta meta;
    ASSERT_TRUE(xmpFile.GetXMP(&meta));
    std::string value;
    EXPECT_TRUE(meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", nullptr, &value));
    EXPECT_EQ(value, title);
  }
  if (velttest::OracleAvailable("exiftool")) {
    auto views = avtest::ExifToolRead(files);
    ASSERT_EQ(views.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(views[i].title, std::string("Title of ") + cases[i].sample);
    }
  }
  SXMPFiles::Terminate();
  SXMPMeta::Terminate();
}

}  // namespace
