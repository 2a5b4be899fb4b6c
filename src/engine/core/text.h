// Text at the engine boundary: UTF-8 for file names, ASCII case folding and path spelling.
// The 8-bit code pages themselves are the format layer's (engine/format/code_page.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine {

std::string utf16_to_utf8(std::u16string_view text);
std::u16string utf8_to_utf16(std::string_view text);
// 8-bit text at the boundary (Windows-1252) to UTF-8 for the file system, and back.
std::string ansi_to_utf8(std::string_view bytes);
std::string utf8_to_ansi(std::string_view text);

bool iequals(std::string_view a, std::string_view b);
std::string to_upper_ascii(std::string_view text);
std::string trim_blanks(std::string_view text);
// The pieces between each separator, blanks trimmed; "a," gives "a" and "".
std::vector<std::string> split_trimmed(std::string_view text, char separator);

// A path as the engine keeps it: "\" turned into "/", repeated separators folded, no
// trailing separator (except the root), made absolute against the working directory.
std::string normalize_path(std::string_view path);
// The text of a C string argument (empty for NULL).
std::string_view c_text(const std::uint8_t* text);

}  // namespace varelum::engine
