#pragma once

// Helpers shared by the format cache tests: sample media files and path conversion.

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "veltcore/Strings.h"
#include "xmp/XMP_Const.h"

namespace velttest {

// The committed sample media files and the format each one has.
struct FormatSample {
  const char* mData;  // under tests/data/xmp_files/
  XMP_FileFormat mFormat;
};
inline constexpr FormatSample kFormatSamples[] = {
    {"images/sample.jpg", kXMP_JPEGFile}, {"images/sample.png", kXMP_PNGFile},
    {"images/sample.gif", kXMP_GIFFile},  {"images/sample-ii.tif", kXMP_TIFFFile},
    {"riff/tone.wav", kXMP_WAVFile},      {"mpeg/v24.mp3", kXMP_MP3File},
};

inline veltcore::UTF16String U16(const std::filesystem::path& path) {
  return veltcore::string::UTF8to16(path.string());
}

// Copies a sample to `to` (replacing it) through a temporary file and a rename, as editors
// save, and gives it the modification time `time`.
inline void ReplaceWithSample(const FormatSample& sample, const std::filesystem::path& to,
                              std::filesystem::file_time_type time) {
  const std::filesystem::path temp = to.string() + ".tmp";
  std::filesystem::copy_file(DataFile(std::string("xmp_files/") + sample.mData), temp,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::last_write_time(temp, time);
  std::filesystem::rename(temp, to);
}

}  // namespace velttest
