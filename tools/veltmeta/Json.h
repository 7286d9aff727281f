#pragma once

#include <string>

namespace veltmeta {

// `text` as a JSON string literal, quotes included: '"' and '\' escaped, control characters
// as \n, \r, \t or \u00XX. Bytes above 0x7F are copied as they are (the text is UTF-8).
std::string JsonString(const std::string& text);

}  // namespace veltmeta
