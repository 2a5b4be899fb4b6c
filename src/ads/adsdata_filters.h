// The text work behind a dataset's filter: a filter's quoted literals ending in "*" become
// prefix matches (the "*" goes and the engine compares inexactly), except inside CONTAINS(...),
// whose own pattern syntax uses "*". The members of TAdsDataSet that send the filter to the
// engine live in adsdata_filters.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varelum::ads {

// The position of the ")" that closes the "(" at position, counting nested parentheses and
// passing over quoted texts and [bracketed names]; position itself when the character there is
// not "(", or when the text ends (or a quote or bracket is left open) before the ")".
std::size_t SkipParenthesized(std::string_view text, std::size_t position, std::size_t end);

// Removes the "*" that ends a quoted literal (unless the literal is only asterisks) outside
// CONTAINS(...); returns whether the text still compares exactly (no "*" was removed).
bool RemovePrefixAsterisks(std::string& text);

}  // namespace varelum::ads
