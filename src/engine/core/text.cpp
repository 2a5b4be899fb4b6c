// UTF-8 text and path spelling (see text.h).
#include "engine/core/text.h"

#include "engine/format/code_page.h"

#include <unicode/unistr.h>
#include <unistd.h>

#include <cstring>

namespace varelum::engine {

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
    return ascii ? std::string(bytes)
                 : utf16_to_utf8(format::bytes_to_utf16(format::CodePage::Ansi1252, bytes));
}

std::string utf8_to_ansi(std::string_view text) {
    bool ascii = true;
    for (char c : text) {
        ascii = ascii && static_cast<unsigned char>(c) < 128;
    }
    return ascii ? std::string(text)
                 : format::utf16_to_bytes(format::CodePage::Ansi1252, utf8_to_utf16(text));
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

std::vector<std::string> split_trimmed(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        parts.push_back(trim_blanks(text.substr(start, end - start)));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
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
