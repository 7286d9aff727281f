#pragma once

// The text form of a property as the display read shows it and the string SetValue takes it:
// a normalised ISO 8601 date, "; "-joined array items, the "x-default" alt-text item, or the
// stored text. Each form reads and writes through the toolkit and throws what it throws.

#include <optional>
#include <string>

#include "veltmetadata/Path.h"
#include "xmp/SXMPMeta.h"

namespace veltmetadata::values {

enum class TextForm { kDate, kItems, kOrderedItems, kLocalized, kPlain };

// The form of a Path with definition `def`: a "date" type, else by primitive type. No value
// when the Path has neither.
std::optional<TextForm> TextFormOf(const EntryDefinition& def, std::optional<PrimitiveType> pt);
// The form by primitive type alone (what the display read falls back to after a date read).
std::optional<TextForm> TextFormOf(std::optional<PrimitiveType> pt);

// Reads the property in that form; false when it does not exist.
bool ReadText(const SXMPMeta& meta, const Path& path, TextForm form, std::string& out);
// Writes the text in that form (arrays are replaced by the split items).
void WriteText(SXMPMeta& meta, const Path& path, TextForm form, const std::string& text);
// The text a write of `text` in that form is expected to read back as.
std::string ExpectedReadBack(TextForm form, const std::string& text);

// A stored XMP date in the toolkit's normalised ISO 8601 form; empty stays empty.
std::string NormalizedDate(const std::string& text);

}  // namespace veltmetadata::values
