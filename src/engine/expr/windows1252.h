// Windows-1252, the 8-bit text of record images and of the expression language: case
// mapping and conversion to and from UTF-16 (NChar, NVarChar and NMemo fields).
//
// Kept here, table-driven, because the expression library depends on nothing but the
// standard library; the mapping is the code page's fixed one.
#pragma once

#include <string>
#include <string_view>

namespace varelum::engine::expr {

char to_upper_1252(char c);
char to_lower_1252(char c);
std::string to_upper_1252(std::string_view text);
std::string to_lower_1252(std::string_view text);

// UTF-16 code units to Windows-1252; a character the code page lacks becomes '?'.
std::string utf16_to_1252(std::u16string_view text);
// Windows-1252 to UTF-16 (every byte has a character; the five unassigned bytes map to the
// C1 control of the same number).
std::u16string windows1252_to_utf16(std::string_view text);

}  // namespace varelum::engine::expr
