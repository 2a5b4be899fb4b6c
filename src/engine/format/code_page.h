// The 8-bit code pages of record images: Windows-1252 (ANSI tables, and every 8-bit text at the
// engine's boundary and inside expressions) and code page 850 (OEM tables). Conversion to and
// from UTF-16 and case mapping, table-driven: the mappings are the code pages' fixed ones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varelum::engine::format {

enum class CodePage { Ansi1252, Oem850 };

// The code page of a table's 8-bit texts by the character type in its header (2: OEM).
CodePage code_page_of_char_type(std::uint16_t char_type);

// Every byte has a character (the five unassigned bytes of 1252 map to the C1 control of the
// same number, so that they survive a round trip); a character the page lacks becomes '?'.
char16_t byte_to_utf16(CodePage page, std::uint8_t byte);
std::uint8_t utf16_to_byte(CodePage page, char16_t unit);

std::u16string bytes_to_utf16(CodePage page, std::string_view bytes);
// One byte per character: a surrogate pair (never in an 8-bit page) becomes one '?'.
std::string utf16_to_bytes(CodePage page, std::u16string_view text);
// 8-bit text from one code page into another (OEM record bytes to the ANSI boundary and back).
std::string recode(CodePage from, CodePage to, std::string_view bytes);

// Case mapping within a page: a letter whose other case the page also has maps to it; every
// other byte (ß, µ, ÿ in 850, ...) stays as it is, so upper and lower case round-trip.
char to_upper(CodePage page, char c);
char to_lower(CodePage page, char c);
std::string to_upper(CodePage page, std::string_view text);
std::string to_lower(CodePage page, std::string_view text);

}  // namespace varelum::engine::format
