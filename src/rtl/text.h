// The framework's string helpers: case-insensitive comparison of names (and the hasher and
// orderings that let maps key on them), case mapping, trimming and single-quote quoting.
// Text is UTF-8. The plain helpers (SameText, UpperCase, Trim) work on ASCII only, which is
// what names and expressions need; the Ansi… variants map case over all of Unicode.
//
// This header also gathers the other text helpers, so that one include brings them all:
// code pages (code_page.h), Format (format.h) and number ↔ text (number_text.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "rtl/code_page.h"
#include "rtl/format.h"
#include "rtl/number_text.h"

namespace varelum::rtl {

// --- Names: comparison with ASCII case folding ----------------------------------------------

// True when a and b are equal once ASCII letters are folded to one case (field names,
// connection names, database paths). Bytes outside ASCII must match exactly.
bool SameText(std::string_view a, std::string_view b) noexcept;

// Orders a and b with ASCII case folding: < 0, 0 or > 0.
int CompareText(std::string_view a, std::string_view b) noexcept;

// For std::map / std::set keyed by names.
struct TextLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        return CompareText(a, b) < 0;
    }
};

// For std::unordered_map keyed by names: equal names under SameText hash alike.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
};
struct TextEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        return SameText(a, b);
    }
};

// --- Case mapping -----------------------------------------------------------------------------

// ASCII letters only; every other byte is kept.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);

// Full Unicode case mapping of UTF-8 text ("ação" → "AÇÃO", "ß" → "SS"), locale-neutral.
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);

// Comparison under full Unicode case folding.
bool AnsiSameText(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);

// --- Trimming ---------------------------------------------------------------------------------

// Remove leading and/or trailing spaces and control characters (every byte up to ' ').
// TrimmedView gives the trimmed part of the text itself, without a copy.
std::string_view TrimmedView(std::string_view text) noexcept;
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// Remove trailing blanks (' ') only, as text read from fixed-width fields is trimmed.
std::string TrimTrailingBlanks(std::string_view text);

// --- Quoting ----------------------------------------------------------------------------------

// Encloses text in the quote character, doubling every quote inside: It's → 'It''s'.
std::string AnsiQuotedStr(std::string_view text, char quote);
inline std::string QuotedStr(std::string_view text) {
    return AnsiQuotedStr(text, '\'');
}

// The reverse: a text that begins and ends with the quote is unquoted, doubled quotes
// becoming single ('It''s' → It's, '' → empty). A text that does not begin with the quote, or
// whose quote is never closed, comes back unchanged. Text after the closing quote is dropped.
std::string AnsiDequotedStr(std::string_view text, char quote);

}  // namespace varelum::rtl
