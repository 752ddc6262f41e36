// Quoting for values pasted into the programs' SQL text, which puts names between double
// quotes: a directory name may hold a quote or a like wildcard.
#pragma once

#include <string>
#include <string_view>

namespace brontal {

// `value` ready to stand between "..." in a statement: each " doubled. Names without a quote
// come out unchanged, so the statement reads as the programs always wrote it; empty gives
// empty.
std::string SqlText(std::string_view value);

// `value` ready to stand between "..." in a like pattern: " doubled, and the wildcard
// characters * ? # [ bracketed ([*] [?] [#] [[]) so that each matches only itself. Only what
// the caller adds after it, such as a final "*", acts as a wildcard. Empty gives empty.
std::string SqlLikeText(std::string_view value);

}  // namespace brontal
