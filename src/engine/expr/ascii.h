// ASCII character classes and case folding, independent of the process locale (the host
// program may set one, and names and keywords must not change meaning with it).
#pragma once

namespace varelum::engine::expr::ascii {

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool is_alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool is_alnum(char c) {
    return is_alpha(c) || is_digit(c);
}

constexpr bool is_print(char c) {
    return c >= 0x20 && c < 0x7F;
}

constexpr char to_upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace varelum::engine::expr::ascii
