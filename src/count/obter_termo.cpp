// ObterTermo: replaces each separator by a line break, then splits the text into lines the way
// the framework's string list reads a text, and picks one line.
#include "count/obter_termo.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varelum::count {

namespace {

// Length in bytes of the match of `separator` at `offset` of `text`, compared character by
// character after case folding; 0 when it does not match there.
std::size_t CaseInsensitiveMatchAt(const std::string& text, std::size_t offset,
                                   const std::string& separator) {
    const auto* textBytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto* sepBytes = reinterpret_cast<const std::uint8_t*>(separator.data());
    const auto textLength = static_cast<std::int32_t>(text.size());
    const auto sepLength = static_cast<std::int32_t>(separator.size());
    auto textOffset = static_cast<std::int32_t>(offset);
    std::int32_t sepOffset = 0;
    while (sepOffset < sepLength) {
        if (textOffset >= textLength) {
            return 0;
        }
        UChar32 textChar = 0;
        UChar32 sepChar = 0;
        const std::int32_t textStart = textOffset;
        const std::int32_t sepStart = sepOffset;
        U8_NEXT(textBytes, textOffset, textLength, textChar);
        U8_NEXT(sepBytes, sepOffset, sepLength, sepChar);
        const bool bothValid = textChar >= 0 && sepChar >= 0;
        if (bothValid ? u_foldCase(textChar, U_FOLD_CASE_DEFAULT) !=
                            u_foldCase(sepChar, U_FOLD_CASE_DEFAULT)
                      : text.compare(textStart, textOffset - textStart, separator, sepStart,
                                     sepOffset - sepStart) != 0) {
            return 0;
        }
    }
    return static_cast<std::size_t>(textOffset) - offset;
}

std::string ReplaceSeparatorsByLineBreaks(const std::string& line, const std::string& separator) {
    if (separator.empty()) {
        return line;
    }
    std::string replaced;
    replaced.reserve(line.size());
    std::size_t offset = 0;
    while (offset < line.size()) {
        if (const std::size_t matched = CaseInsensitiveMatchAt(line, offset, separator)) {
            replaced += "\r\n";
            offset += matched;
        } else {
            replaced += line[offset];
            ++offset;
        }
    }
    return replaced;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

}  // namespace

std::string ObterTermo(int APosicao, const std::string& ASeparador, const std::string& ALinha) {
    const std::vector<std::string> lines =
        SplitLines(ReplaceSeparatorsByLineBreaks(ALinha, ASeparador));
    if (APosicao < 1 || static_cast<std::size_t>(APosicao) > lines.size()) {
        return {};
    }
    return lines[static_cast<std::size_t>(APosicao) - 1];
}

}  // namespace varelum::count
