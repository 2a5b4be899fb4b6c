// Code page tables and case mapping (see code_page.h).
#include "engine/format/code_page.h"

#include <array>
#include <vector>

namespace varelum::engine::format {
namespace {

// Characters of bytes 0x80..0x9F in Windows-1252; bytes 0xA0..0xFF are Latin-1 themselves.
constexpr std::array<char16_t, 32> k1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Characters of bytes 0x80..0xFF in code page 850.
constexpr std::array<char16_t, 128> k850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

// Simple case pairs of the letters the two pages hold.
char16_t upper_of(char16_t u) {
    if ((u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
        return static_cast<char16_t>(u - 0x20);
    }
    switch (u) {
        case 0x0161:  // š
        case 0x0153:  // œ
        case 0x017E:  // ž
            return static_cast<char16_t>(u - 1);
        case 0x00FF:  // ÿ
            return 0x0178;
        default:
            return u;  // ß, µ and dotless i have no upper case of their own in either page
    }
}

char16_t lower_of(char16_t u) {
    if ((u >= u'A' && u <= u'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
        return static_cast<char16_t>(u + 0x20);
    }
    switch (u) {
        case 0x0160:
        case 0x0152:
        case 0x017D:
            return static_cast<char16_t>(u + 1);
        case 0x0178:
            return 0x00FF;
        default:
            return u;
    }
}

struct PageTables {
    std::array<char16_t, 256> to_utf16{};
    std::vector<std::uint8_t> from_utf16 = std::vector<std::uint8_t>(0x10000, '?');
    std::array<std::uint8_t, 256> upper{};
    std::array<std::uint8_t, 256> lower{};
};

// The byte of a character in the page, or nothing (-1).
int find_byte(const std::array<char16_t, 256>& to_utf16, char16_t unit) {
    for (int byte = 0; byte < 256; ++byte) {
        if (to_utf16[static_cast<std::size_t>(byte)] == unit) {
            return byte;
        }
    }
    return -1;
}

PageTables build(CodePage page) {
    PageTables tables;
    for (std::size_t byte = 0; byte < 256; ++byte) {
        char16_t unit = static_cast<char16_t>(byte);
        if (byte >= 0x80) {
            if (page == CodePage::Oem850) {
                unit = k850High[byte - 0x80];
            } else if (byte < 0xA0) {
                unit = k1252High[byte - 0x80];
            }
        }
        tables.to_utf16[byte] = unit;
    }
    for (std::size_t byte = 256; byte-- > 0;) {
        tables.from_utf16[tables.to_utf16[byte]] = static_cast<std::uint8_t>(byte);
    }
    for (std::size_t byte = 0; byte < 256; ++byte) {
        int upper = find_byte(tables.to_utf16, upper_of(tables.to_utf16[byte]));
        int lower = find_byte(tables.to_utf16, lower_of(tables.to_utf16[byte]));
        tables.upper[byte] = static_cast<std::uint8_t>(upper < 0 ? static_cast<int>(byte) : upper);
        tables.lower[byte] = static_cast<std::uint8_t>(lower < 0 ? static_cast<int>(byte) : lower);
    }
    return tables;
}

const PageTables& tables_of(CodePage page) {
    static const PageTables ansi = build(CodePage::Ansi1252);
    static const PageTables oem = build(CodePage::Oem850);
    return page == CodePage::Ansi1252 ? ansi : oem;
}

}  // namespace

CodePage code_page_of_char_type(std::uint16_t char_type) {
    return char_type == 2 ? CodePage::Oem850 : CodePage::Ansi1252;
}

char16_t byte_to_utf16(CodePage page, std::uint8_t byte) {
    return tables_of(page).to_utf16[byte];
}

std::uint8_t utf16_to_byte(CodePage page, char16_t unit) {
    return tables_of(page).from_utf16[unit];
}

std::u16string bytes_to_utf16(CodePage page, std::string_view bytes) {
    const auto& table = tables_of(page).to_utf16;
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[i] = table[static_cast<std::uint8_t>(bytes[i])];
    }
    return text;
}

std::string utf16_to_bytes(CodePage page, std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            ++i;  // one character, and none of the pages has it
            bytes.push_back('?');
            continue;
        }
        bytes.push_back(static_cast<char>(utf16_to_byte(page, unit)));
    }
    return bytes;
}

std::string recode(CodePage from, CodePage to, std::string_view bytes) {
    if (from == to) {
        return std::string(bytes);
    }
    const auto& source = tables_of(from).to_utf16;
    std::string out(bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto byte = static_cast<std::uint8_t>(bytes[i]);
        out[i] = byte < 0x80 ? static_cast<char>(byte)
                             : static_cast<char>(utf16_to_byte(to, source[byte]));
    }
    return out;
}

char to_upper(CodePage page, char c) {
    return static_cast<char>(tables_of(page).upper[static_cast<std::uint8_t>(c)]);
}

char to_lower(CodePage page, char c) {
    return static_cast<char>(tables_of(page).lower[static_cast<std::uint8_t>(c)]);
}

std::string to_upper(CodePage page, std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = to_upper(page, c);
    }
    return out;
}

std::string to_lower(CodePage page, std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = to_lower(page, c);
    }
    return out;
}

}  // namespace varelum::engine::format
