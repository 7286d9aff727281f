#pragma once

// Joining array items into one text and splitting such a text back into items. Items that
// would be ambiguous in the joined text (empty, holding the separator or a quote character,
// or with leading or trailing white space) are quoted, with every closing quote inside them
// doubled, so that Split(Join(items)) gives the items back exactly.

#include <string>
#include <string_view>
#include <vector>

namespace xmpcore::utils {

// The quoting characters of a joined text: one UTF-8 character used for both ends, or two
// (opening then closing).
struct QuotePair {
  std::string mOpen;
  std::string mClose;
};

// Reads the quote characters from `quotes` (one or two UTF-8 characters). Returns false when
// `quotes` holds zero or more than two characters, or is not valid UTF-8.
bool ParseQuotes(std::string_view quotes, QuotePair& out);

// The part of a separator that actually separates: the separator without its surrounding
// white space ("; " gives ";"), or the separator itself when it is only white space.
std::string_view SeparatorCore(std::string_view separator);

// Joins `items` with `separator`, quoting the items that need it.
std::string JoinItems(const std::vector<std::string>& items, std::string_view separator,
                      const QuotePair& quotes);

// Splits `text` at the separator's core. White space around unquoted items is dropped;
// quoted items are taken exactly, with doubled closing quotes made single. An unterminated
// quote takes the rest of the text; characters after a closing quote up to the next separator
// are kept in the item. A text that is empty or only white space gives no items.
std::vector<std::string> SplitItems(std::string_view text, std::string_view separator,
                                    const QuotePair& quotes);

}  // namespace xmpcore::utils
