#include "ParserSupport.h"

#include "veltcore/Debug.h"

namespace veltmetadata {

veltcore::xml::ParserPtr GetParserWithNamespaceSupport(
    veltcore::xml::AbstractParseHandler& handler) {
  auto parser = veltcore::xml::GetParser(handler);
  if (parser && parser->HasNamespaceSupport()) return parser;
  parser = veltcore::xml::GetDefaultParserFactory().CreateParser(
      handler, veltcore::xml::NamespaceSupport::kOn);
  VELT_ASSERT(parser->HasNamespaceSupport());
  return parser;
}

}  // namespace veltmetadata
