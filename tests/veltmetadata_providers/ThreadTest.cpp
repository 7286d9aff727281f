// Four threads, each with providers of its own (buffer providers under an aggregate and a
// file provider): nothing is shared but the library's registry, so ThreadSanitizer must
// find no race.

#include <gtest/gtest.h>

#include <thread>

#include "ProviderSupport.h"
#include "TestSupport.h"
#include "veltmetadata/AggregateProvider.h"
#include "veltmetadata/FileProvider.h"

namespace velttest {
namespace {

using namespace veltmetadata;

class ProviderThreadTest : public ValuesFixture {
 protected:
  static std::string PacketText(const std::string& body) {
    std::string packet;
    Packet(body).SerializeToBuffer(&packet);
    return packet;
  }
};

TEST_F(ProviderThreadTest, FourThreadsEditTheirOwnProviders) {
  const Path title = Prop(kXMP_NS_DC, "title"), label = Prop(kXMP_NS_XMP, "Label");
  const std::string first = PacketText("<xmp:Label>one</xmp:Label>");
  const std::string second = PacketText("<xmp:Label>two</xmp:Label>");
  TempDir dir;
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const auto file = dir / ("file" + std::to_string(t) + ".xmp");
      WriteFile(file, first);
      ProviderList list = {std::make_shared<MemoryProvider>(first),
                           std::make_shared<MemoryProvider>(second),
                           std::make_shared<FileProvider>(file.u16string())};
      auto aggregate = std::make_shared<AggregateProvider>(ProviderRange{list.begin(), list.end()});
      for (int round = 0; round < 20; ++round) {
        MetaDataUpdateAccess access(aggregate);
        SetValue(*access, title, "title " + std::to_string(round));
        access.AddChange(title);
      }
      MetaDataReadAccess read(aggregate);
      std::string text;
      GetValueResult result;
      GetValue(*read, label, text, &result);
      results[t] = Display(SXMPMeta(*read), title) + "|" + std::to_string(result);
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (const std::string& result : results)
    EXPECT_EQ(result, "title 19|1");
}

}  // namespace
}  // namespace velttest
