// Windows-1252 case tables and UTF-16 conversion.
#include "engine/expr/windows1252.h"

#include <array>

namespace varelum::engine::expr {
namespace {

// Code points of bytes 0x80..0x9F; the other bytes are their own code point (Latin-1).
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

unsigned char upper_of(unsigned char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<unsigned char>(c - 0x20);
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<unsigned char>(c - 0x20);
    }
    switch (c) {
        case 0x9A:  // š
        case 0x9C:  // œ
        case 0x9E:  // ž
            return static_cast<unsigned char>(c - 0x10);
        case 0xFF:  // ÿ -> Ÿ
            return 0x9F;
        default:
            return c;  // ß and µ have no single upper-case byte
    }
}

unsigned char lower_of(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return static_cast<unsigned char>(c + 0x20);
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return static_cast<unsigned char>(c + 0x20);
    }
    switch (c) {
        case 0x8A:
        case 0x8C:
        case 0x8E:
            return static_cast<unsigned char>(c + 0x10);
        case 0x9F:
            return 0xFF;
        default:
            return c;
    }
}

}  // namespace

char to_upper_1252(char c) {
    return static_cast<char>(upper_of(static_cast<unsigned char>(c)));
}

char to_lower_1252(char c) {
    return static_cast<char>(lower_of(static_cast<unsigned char>(c)));
}

std::string to_upper_1252(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = to_upper_1252(c);
    }
    return out;
}

std::string to_lower_1252(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = to_lower_1252(c);
    }
    return out;
}

std::string utf16_to_1252(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        char mapped = '?';
        for (std::size_t k = 0; k < kHighControls.size(); ++k) {
            if (kHighControls[k] == u) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size()) {
            ++i;  // a surrogate pair is one character, and none of them is in the code page
        }
        out.push_back(mapped);
    }
    return out;
}

std::u16string windows1252_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        out.push_back(b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : char16_t{b});
    }
    return out;
}

}  // namespace varelum::engine::expr
