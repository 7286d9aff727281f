// Display reads on several threads at once, each over its own metadata object: the
// formatter tables, the registry, the locale cache and the error list are shared. Built and
// run under ThreadSanitizer by the test command (label "tsan").

#include <cstdlib>
#include <ctime>
#include <thread>

#include "ValuesFixture.h"
#include "veltcore/DateFormat.h"
#include "veltmetadata/Namespaces.h"

namespace velttest {
namespace {

using namespace veltmetadata;

TEST(ValueThreadTest, DisplayReadsOnFourThreadsOverSeparateObjects) {
  setenv("TZ", "UTC", 1);
  tzset();
  veltcore::datetime::SetTimeLocaleOverride("de_DE.UTF-8");
  Initialize();
  veltcore::debug::AssertionCapture assertions;
  const std::vector<Path> paths = {
      PathForSchemaNameAndPropertyName(kXMP_NS_EXIF, "DateTimeOriginal"),
      PathForSchemaNameAndPropertyName(kXMP_NS_EXIF, "ExposureTime"),
      PathForSchemaNameAndPropertyName(kXMP_NS_EXIF, "GPSLatitude"),
      PathForSchemaNameAndPropertyName(kXMP_NS_DC, "subject"),
      PathForSchemaNameAndPropertyName(kXMP_NS_DC, "title"),
      PathForSchemaNameAndPropertyName(kAggregateNamespace, "ImageSize"),
      PathForSchemaNameAndPropertyName(kXMP_NS_TIFF, "Orientation"),  // "9": reported
  };
  const std::vector<std::string> expected = {
      "05.12.2026 13:04:05", "1/250 sec", "37\xC2\xB0 48' 36.00\" N", "a; b", "T",
      "6000 x 4000",         "9"};  // 9 is no orientation: not turned, reported
  const std::string body =
      "<exif:DateTimeOriginal>2026-12-05T15:04:05+02:00</exif:DateTimeOriginal>"
      "<exif:ExposureTime>1/251</exif:ExposureTime><exif:GPSLatitude>37,48.6N</exif:GPSLatitude>"
      "<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag></dc:subject>"
      "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>T</rdf:li></rdf:Alt></dc:title>"
      "<exif:PixelXDimension>6000</exif:PixelXDimension>"
      "<exif:PixelYDimension>4000</exif:PixelYDimension><tiff:Orientation>9</tiff:Orientation>";

  constexpr int kThreads = 4;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const SXMPMeta meta = Packet(body);
      for (int round = 0; round < 20; ++round) {
        seen[t].clear();
        for (const Path& path : paths) seen[t].push_back(Display(meta, path));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t], expected) << "thread " << t;
  EXPECT_EQ(GetErrorInfos().size() % (kThreads * 20), 0u);
  veltcore::datetime::SetTimeLocaleOverride("");
  Terminate();
}

}  // namespace
}  // namespace velttest
