// Feeds arbitrary bytes to the text services of the core layer: the SAX parser, the reserved
// character codecs, the UTF conversions and the dictionary loader. Checks the round trips
// that must hold for any input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "veltcore/Localizer.h"
#include "veltcore/Strings.h"
#include "veltcore/Xml.h"

namespace {

class CountingHandler : public veltcore::xml::AbstractParseHandler {
 public:
  int mDepth = 0;
  void StartElement(const veltcore::UTF8String&, const veltcore::xml::AttributeMap&) override {
    ++mDepth;
  }
  void EndElement(const veltcore::UTF8String&) override { --mDepth; }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using namespace veltcore;

  CountingHandler handler;
  xml::ParserPtr parser = xml::GetParser(handler);
  if (parser->Parse(bytes) == 0) Check(handler.mDepth == 0);

  Check(xml::utils::DecodeReservedCharacters(xml::utils::EncodeReservedCharacters(bytes)) == bytes);

  UTF16String wide;
  if (string::UTF8to16(bytes, wide) == string::kConversionOK) {
    UTF8String back;
    Check(string::UTF16to8(wide, back) == string::kConversionOK && back == bytes);
  }
  config::Localizer local;
  local.LoadDictionaryText(bytes);
  (void)string::StringToNumber(bytes, string::kParseAllowBlanks);
  (void)string::ReplaceInString(bytes, UTF8String("@1"), UTF8String("x"));
  return 0;
}
