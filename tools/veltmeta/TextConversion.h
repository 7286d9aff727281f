#pragma once

// Text conversions between the tool's UTF-8 (command line, output) and the library's UTF-16
// strings (labels, file paths). One place, so that every command treats bad input alike.

#include <cstddef>
#include <string>

namespace veltmeta {

// Length of the well-formed UTF-8 sequence at `i`, or 0 when none starts there.
std::size_t UTF8SequenceLength(const std::string& text, std::size_t i);
// True when every byte of `text` belongs to a well-formed UTF-8 sequence.
bool IsUTF8(const std::string& text);
// UTF-8 as UTF-16; each ill-formed sequence becomes U+FFFD.
std::u16string ToUTF16(const std::string& text);
// UTF-16 as UTF-8; each unpaired surrogate becomes U+FFFD.
std::string ToUTF8(const std::u16string& text);

// The number of single-byte insertions, deletions and substitutions that turn `a` into `b`
// (ASCII letters compared without case), for "did you mean" hints on short names.
std::size_t EditDistance(const std::string& a, const std::string& b);

// `message` without the "'FILE': " the toolkit puts before what it says about a file, for
// lines that name the file already; `message` itself when it does not start so.
std::string WithoutFileName(const std::string& message, const std::string& file);

}  // namespace veltmeta
