#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace velttest {

// Starts the toolkit core and the file handlers once per test program.
class FilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SXMPMeta::Initialize();
    SXMPFiles::Initialize();
  }
};

// A copy of a committed sample image in a fresh folder.
std::filesystem::path CopySample(const TempDir& dir, const std::string& name);
// Reads the file's XMP with our handlers; throws what they throw.
bool ReadXmp(const std::filesystem::path& file, SXMPMeta* meta);
// Writes `meta` into the file with our handlers (open for update, put, close).
void WriteXmp(const std::filesystem::path& file, const SXMPMeta& meta);
// One tag's value as ExifTool prints it ("" when absent), e.g. ExifToolTag(f, "XMP-dc:Title").
std::string ExifToolTag(const std::filesystem::path& file, const std::string& tag);
// ExifTool's validation warnings and errors about the file, one a line.
std::string ExifToolWarnings(const std::filesystem::path& file);
// The decoded pixels (ImageMagick), to prove image data survived a metadata edit.
std::string Pixels(const std::filesystem::path& file);
// Every file in the folder (to check that no temporary file is left behind).
std::size_t CountFiles(const std::filesystem::path& folder);
// Stores `raw` as the file's packet bytes, as they are, through the handler of its format (a
// ".xmp" file is overwritten whole): makes packets in any encoding, or broken ones.
void StoreRawPacket(const std::filesystem::path& file, const std::string& raw);
// A wrapped packet whose only property is xmp:Label `label`.
std::string LabelPacket(const std::string& label);
// The file's xmp:Label as our handlers read it ("" when there is none); throws what they throw.
std::string Label(const std::filesystem::path& file);
// The veltmeta command-line tool of this build.
std::string VeltmetaTool();

}  // namespace velttest
