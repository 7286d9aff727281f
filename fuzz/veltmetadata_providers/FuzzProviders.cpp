// Packets of any content as the buffer providers of an aggregate: merging them, reading,
// editing, deleting and committing must never crash, hang or leak. The input is split at
// NUL bytes into up to eight packets.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "veltmetadata/AggregateProvider.h"
#include "veltmetadata/Assertions.h"
#include "veltmetadata/BufferProvider.h"
#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Registry.h"

namespace {

using namespace veltmetadata;

class Packet : public BufferProviderImpl {
 public:
  explicit Packet(const std::string& text)
      : BufferProviderImpl(reinterpret_cast<const unsigned char*>(text.data()), text.size()) {}

 protected:
  void WriteBuffer(const std::vector<Path>&, const char* packet, std::size_t length) override {
    mStored.assign(packet, length);
  }

 private:
  std::string mStored;
};

// One library start for the whole run; assertions are expected and dropped.
bool StartOnce() {
  SetAssertionHandler([](const AssertionReport&) {});
  Initialize();
  return true;
}

Path Field(const Path& parent, const char* name) {
  return CreatePathFromStructureField(parent,
                                      FieldNameDefinition(TypeEntryDefinition(parent), name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool started = StartOnce();
  (void)started;
  const std::string input(reinterpret_cast<const char*>(data), size);
  ProviderList providers;
  for (std::size_t start = 0; start <= input.size() && providers.size() < 8;) {
    std::size_t end = input.find('\0', start);
    if (end == std::string::npos) end = input.size();
    providers.push_back(std::make_shared<Packet>(input.substr(start, end - start)));
    start = end + 1;
  }
  auto aggregate =
      std::make_shared<AggregateProvider>(ProviderRange{providers.begin(), providers.end()});
  static const std::string dc = "http://purl.org/dc/elements/1.1/";
  static const std::string xmp = "http://ns.adobe.com/xap/1.0/";
  static const std::string mm = "http://ns.adobe.com/xap/1.0/mm/";
  const Path title = PathForSchemaNameAndPropertyName(dc, "title");
  const Path subject = PathForSchemaNameAndPropertyName(dc, "subject");
  const Path label = PathForSchemaNameAndPropertyName(xmp, "Label");
  const Path document = Field(PathForSchemaNameAndPropertyName(mm, "DerivedFrom"), "documentID");
  {
    MetaDataUpdateAccess access(aggregate);
    std::string text;
    for (const Path& path : {title, subject, label, document})
      GetValue(*access, path, text);
    if (SetValue(*access, title, "fuzzed title")) access.AddChange(title);
    if (SetValue(*access, document, "doc")) access.AddChange(document);
    if (DeleteValue(*access, label)) access.AddChange(label);
    if (DeleteValue(*access, subject)) access.AddChange(subject);
  }
  aggregate->ResetProviders();
  return 0;
}
