// Code page tables and path spelling (see text.h).
#include "engine/core/text.h"

#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace varelum::engine {
namespace {

struct CodePageTable {
    std::array<char16_t, 256> to_utf16{};
    std::unordered_map<char16_t, std::uint8_t> from_utf16;
};

CodePageTable build_table(const char* converter_name) {
    CodePageTable table;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(converter_name, &status);
    for (int byte = 0; byte < 256; ++byte) {
        char16_t unit = byte < 128 ? static_cast<char16_t>(byte) : u'?';
        if (converter != nullptr && U_SUCCESS(status)) {
            char in = static_cast<char>(byte);
            UChar out[4];
            UErrorCode conversion = U_ZERO_ERROR;
            std::int32_t length = ucnv_toUChars(converter, out, 4, &in, 1, &conversion);
            if (U_SUCCESS(conversion) && length == 1 && out[0] != 0xFFFD) {
                unit = static_cast<char16_t>(out[0]);
            } else if (byte >= 128) {
                // Undefined positions (0x81 in 1252, ...) map to the C1 control of the same
                // value so that the byte survives a round trip.
                unit = static_cast<char16_t>(byte);
            }
        }
        table.to_utf16[static_cast<std::size_t>(byte)] = unit;
        table.from_utf16.emplace(unit, static_cast<std::uint8_t>(byte));
    }
    if (converter != nullptr) {
        ucnv_close(converter);
    }
    return table;
}

const CodePageTable& table_for(CodePage page) {
    static const CodePageTable ansi = build_table("windows-1252");
    static const CodePageTable oem = build_table("ibm-850");
    return page == CodePage::Ansi1252 ? ansi : oem;
}

}  // namespace

char16_t byte_to_utf16(CodePage page, std::uint8_t byte) {
    return table_for(page).to_utf16[byte];
}

std::uint8_t utf16_to_byte(CodePage page, char16_t unit) {
    if (unit < 128) {
        return static_cast<std::uint8_t>(unit);
    }
    const auto& map = table_for(page).from_utf16;
    auto found = map.find(unit);
    return found == map.end() ? static_cast<std::uint8_t>('?') : found->second;
}

std::u16string bytes_to_utf16(CodePage page, std::string_view bytes) {
    const auto& table = table_for(page).to_utf16;
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[i] = table[static_cast<std::uint8_t>(bytes[i])];
    }
    return text;
}

std::string utf16_to_bytes(CodePage page, std::u16string_view text) {
    std::string bytes(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[i] = static_cast<char>(utf16_to_byte(page, text[i]));
    }
    return bytes;
}

std::string recode(CodePage from, CodePage to, std::string_view bytes) {
    if (from == to) {
        return std::string(bytes);
    }
    return utf16_to_bytes(to, bytes_to_utf16(from, bytes));
}

std::string utf16_to_utf8(std::u16string_view text) {
    icu::UnicodeString unicode(false, reinterpret_cast<const UChar*>(text.data()),
                               static_cast<std::int32_t>(text.size()));
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    return std::u16string(reinterpret_cast<const char16_t*>(unicode.getBuffer()),
                          static_cast<std::size_t>(unicode.length()));
}

std::string ansi_to_utf8(std::string_view bytes) {
    bool ascii = true;
    for (char c : bytes) {
        ascii = ascii && static_cast<unsigned char>(c) < 128;
    }
    return ascii ? std::string(bytes) : utf16_to_utf8(bytes_to_utf16(CodePage::Ansi1252, bytes));
}

std::string utf8_to_ansi(std::string_view text) {
    bool ascii = true;
    for (char c : text) {
        ascii = ascii && static_cast<unsigned char>(c) < 128;
    }
    return ascii ? std::string(text) : utf16_to_bytes(CodePage::Ansi1252, utf8_to_utf16(text));
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string to_upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return out;
}

std::string trim_blanks(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    std::size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(begin, end - begin + 1));
}

std::string normalize_path(std::string_view path) {
    std::string spelled;
    spelled.reserve(path.size() + 1);
    for (char c : path) {
        char separator = c == '\\' ? '/' : c;
        if (separator == '/' && !spelled.empty() && spelled.back() == '/') {
            continue;
        }
        spelled.push_back(separator);
    }
    if (spelled.empty() || spelled.front() != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr) {
            std::string base(cwd);
            if (spelled == ".") {
                spelled.clear();
            } else if (spelled.rfind("./", 0) == 0) {
                spelled.erase(0, 2);
            }
            spelled = spelled.empty() ? base : base + (base == "/" ? "" : "/") + spelled;
        }
    }
    while (spelled.size() > 1 && spelled.back() == '/') {
        spelled.pop_back();
    }
    return spelled;
}

std::string_view c_text(const std::uint8_t* text) {
    return text == nullptr ? std::string_view{}
                           : std::string_view(reinterpret_cast<const char*>(text));
}

}  // namespace varelum::engine
