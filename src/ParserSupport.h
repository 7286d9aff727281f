#pragma once

#include "veltcore/Xml.h"

namespace veltmetadata {

// A namespace-aware XML parser bound to `handler`: the core services' parser, or one from
// the default factory when that one lacks namespace support. When neither has it, an
// assertion is raised and the parser is returned all the same.
veltcore::xml::ParserPtr GetParserWithNamespaceSupport(
    veltcore::xml::AbstractParseHandler& handler);

}  // namespace veltmetadata
