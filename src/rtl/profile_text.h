// Profile files (ads.ini and its kind) read line by line, with the one set of rules that every
// reader and writer of such a file here shares:
//  - "[Name]" opens a section; anything after the "]" (such as "; main store") is a comment;
//  - "name = value" is an entry of the section above it;
//  - blank lines, and lines whose first non-blank character is ";" or "#", are comments;
//  - section and key names compare without regard to ASCII case, and blanks around names and
//    values are dropped; a value enclosed in a pair of double or single quotes loses them.
// A value keeps any ";" inside it: what follows one means something to the value's reader (an
// alias's table type), so it is not cut off here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::rtl {

enum class TProfileLineKind {
    Comment,    // blank, or a comment line
    Section,    // "[Name]"
    Entry,      // "name = value"
    Unclosed,   // a "[" without its "]"
    Malformed,  // text that is none of the above (no "=", or no name before it)
};

struct TProfileLine {
    TProfileLineKind Kind = TProfileLineKind::Comment;
    std::string Name;   // of a section or an entry, trimmed
    std::string Value;  // of an entry, trimmed and unquoted
};

// The lines of a profile text, in order (line n of the text is element n - 1). Lines end with
// "\n" or "\r\n".
std::vector<TProfileLine> ReadProfileLines(std::string_view text);

// The index of the first line that opens `section`, or nullopt.
std::optional<std::size_t> FindProfileSection(const std::vector<TProfileLine>& lines,
                                              std::string_view section);

// Whether line `index` lies in a section named `section` (below its header, before the next).
bool InProfileSection(const std::vector<TProfileLine>& lines, std::size_t index,
                      std::string_view section);

// The index of the entry of `key` in `section`, or nullopt. Where a file has the key more than
// once (also in two sections of that name), the first one counts.
std::optional<std::size_t> FindProfileEntry(const std::vector<TProfileLine>& lines,
                                            std::string_view section, std::string_view key);

// The value of that entry, or nullopt when the section or the key is absent.
std::optional<std::string> ProfileValue(const std::vector<TProfileLine>& lines,
                                        std::string_view section, std::string_view key);

}  // namespace varelum::rtl
