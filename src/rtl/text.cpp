// The framework's string helpers: ASCII-folded name comparison, case mapping (ASCII and
// through ICU for full Unicode), trimming and quoting.
#include "rtl/text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>

#include "rtl/exception.h"

namespace varelum::rtl {

namespace {

constexpr unsigned char FoldAscii(unsigned char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Full case mapping changes lengths ("ß" → "SS"), so run it with a preflight.
template <typename Mapper>
std::string MapUnicodeCase(std::string_view text, Mapper mapper) {
    std::u16string source = Utf8ToUtf16(text);
    if (source.empty()) {
        return {};
    }
    auto length = static_cast<int32_t>(source.size());
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = mapper(nullptr, 0, source.data(), length, "", &status);
    std::u16string mapped(static_cast<std::size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    mapper(mapped.data(), needed, source.data(), length, "", &status);
    if (U_FAILURE(status)) {
        throw EConvertError(std::string("Cannot change the case of text: ") + u_errorName(status));
    }
    return Utf16ToUtf8(mapped);
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareText(std::string_view a, std::string_view b) noexcept {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
        unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

std::size_t TextHash::operator()(std::string_view text) const noexcept {
    // FNV-1a over the folded bytes.
    std::size_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= FoldAscii(static_cast<unsigned char>(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string UpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - ('a' - 'A'));
        }
    }
    return result;
}

std::string LowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
    }
    return result;
}

std::string AnsiUpperCase(std::string_view text) {
    return MapUnicodeCase(text, u_strToUpper);
}

std::string AnsiLowerCase(std::string_view text) {
    return MapUnicodeCase(text, u_strToLower);
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    std::u16string x = Utf8ToUtf16(a);
    std::u16string y = Utf8ToUtf16(b);
    UErrorCode status = U_ZERO_ERROR;
    int result = u_strCaseCompare(x.data(), static_cast<int32_t>(x.size()), y.data(),
                                  static_cast<int32_t>(y.size()), U_FOLD_CASE_DEFAULT, &status);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    return AnsiCompareText(a, b) == 0;
}

std::string_view TrimmedView(std::string_view text) noexcept {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string Trim(std::string_view text) {
    return std::string(TrimmedView(text));
}

std::string TrimLeft(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ') {
        ++start;
    }
    return std::string(text.substr(start));
}

std::string TrimRight(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    return std::string(text.substr(0, end));
}

std::string TrimTrailingBlanks(std::string_view text) {
    std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string AnsiQuotedStr(std::string_view text, char quote) {
    std::string result;
    result.reserve(text.size() + 2);
    result += quote;
    for (char c : text) {
        result += c;
        if (c == quote) {
            result += quote;
        }
    }
    result += quote;
    return result;
}

std::string AnsiDequotedStr(std::string_view text, char quote) {
    if (text.empty() || text.front() != quote) {
        return std::string(text);
    }
    std::string result;
    std::size_t i = 1;
    for (; i < text.size(); ++i) {
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                result += quote;
                ++i;
            } else {
                return result;  // closing quote; anything after it is dropped
            }
        } else {
            result += text[i];
        }
    }
    return std::string(text);  // never closed
}

}  // namespace varelum::rtl
