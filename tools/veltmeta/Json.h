#pragma once

#include <string>
#include <string_view>

namespace veltmeta {

// `text` as a JSON string literal, quotes included: '"' and '\' escaped, control characters
// as \n, \r, \t or \u00XX. Bytes above 0x7F are copied as they are (the text is UTF-8).
std::string JsonString(const std::string& text);
// Appends JsonString(text) to `out` without a temporary.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace veltmeta
