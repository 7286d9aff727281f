// veltmeta dump on several threads, run over files of every format; in the ThreadSanitizer
// build (label "tsan") this is the race check of the threaded dump.

#include "FilesTestSupport.h"

namespace velttest {
namespace {

// dump on several threads prints what one thread prints, in argument order, over files of
// every format, broken ones included (built with VELT_TSAN, this is the race check).
TEST(FilesTool, DumpOnThreadsKeepsArgumentOrder) {
  std::string files;
  for (const char* folder : {"images", "lenient", "iso", "riff", "mpeg"}) {
    for (const auto& e : std::filesystem::directory_iterator(DataFile("xmp_files/") / folder)) {
      if (e.path().extension() != ".sh" && e.path().extension() != ".py")
        files += " '" + e.path().string() + "'";
    }
  }
  files += " '" + DataFile("xmp_files/none.jpg").string() + "'" + files;
  int one = -1, four = -1;
  const std::string serial = RunCommand(VeltmetaTool() + " dump -j 1" + files + " 2>&1", &one);
  const std::string threaded = RunCommand(VeltmetaTool() + " dump -j 4" + files + " 2>&1", &four);
  EXPECT_EQ(one, 1);  // none.jpg
  EXPECT_EQ(four, 1);
  EXPECT_EQ(threaded, serial);
  EXPECT_NE(serial.find("utf16be.jpg"), std::string::npos);
}

}  // namespace
}  // namespace velttest
