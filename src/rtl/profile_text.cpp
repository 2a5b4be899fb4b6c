// Profile file lines (see profile_text.h).
#include "rtl/profile_text.h"

#include <algorithm>

#include "rtl/text.h"

namespace varelum::rtl {
namespace {

std::string Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return std::string(value.substr(1, value.size() - 2));
    }
    return std::string(value);
}

TProfileLine ReadLine(std::string_view text) {
    TProfileLine line;
    const std::string_view trimmed = TrimmedView(text);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
        return line;
    }
    if (trimmed.front() == '[') {
        const std::size_t close = trimmed.find(']');
        if (close == std::string_view::npos) {
            line.Kind = TProfileLineKind::Unclosed;
            return line;
        }
        line.Kind = TProfileLineKind::Section;
        line.Name = Trim(trimmed.substr(1, close - 1));
        return line;
    }
    const std::size_t equals = trimmed.find('=');
    const std::string_view name = equals == std::string_view::npos
                                      ? std::string_view()
                                      : TrimmedView(trimmed.substr(0, equals));
    if (name.empty()) {
        line.Kind = TProfileLineKind::Malformed;
        return line;
    }
    line.Kind = TProfileLineKind::Entry;
    line.Name = std::string(name);
    line.Value = Unquoted(TrimmedView(trimmed.substr(equals + 1)));
    return line;
}

}  // namespace

std::vector<TProfileLine> ReadProfileLines(std::string_view text) {
    std::vector<TProfileLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(ReadLine(text.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

std::optional<std::size_t> FindProfileSection(const std::vector<TProfileLine>& lines,
                                              std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].Kind == TProfileLineKind::Section && SameText(lines[i].Name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

bool InProfileSection(const std::vector<TProfileLine>& lines, std::size_t index,
                      std::string_view section) {
    for (std::size_t i = std::min(index, lines.size()); i-- > 0;) {
        if (lines[i].Kind == TProfileLineKind::Section) {
            return SameText(lines[i].Name, section);
        }
    }
    return false;
}

std::optional<std::size_t> FindProfileEntry(const std::vector<TProfileLine>& lines,
                                            std::string_view section, std::string_view key) {
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].Kind == TProfileLineKind::Section) {
            inSection = SameText(lines[i].Name, section);
        } else if (inSection && lines[i].Kind == TProfileLineKind::Entry &&
                   SameText(lines[i].Name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ProfileValue(const std::vector<TProfileLine>& lines,
                                        std::string_view section, std::string_view key) {
    const std::optional<std::size_t> entry = FindProfileEntry(lines, section, key);
    if (!entry) {
        return std::nullopt;
    }
    return lines[*entry].Value;
}

}  // namespace varelum::rtl
