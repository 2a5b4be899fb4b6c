// Julian days, date formats, DTOS texts and times of day (see calendar.h).
#include "engine/format/calendar.h"

#include <vector>

namespace varelum::engine::format {
namespace {

// 1970-01-01 as a Julian day number.
constexpr std::int32_t kUnixEpochJulian = 2440588;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char upper_ascii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// 'D', 'M' or 'Y' for a letter of a date pattern (C counts as Y), 0 for a separator.
char run_letter(char c) {
    char upper = upper_ascii(c);
    if (upper == 'C') {
        return 'Y';
    }
    return upper == 'D' || upper == 'M' || upper == 'Y' ? upper : 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The pattern as runs of date letters and literal separators.
struct PatternPart {
    char letter;  // 'D', 'M', 'Y'; 0 for a literal
    std::size_t length;
    char literal;
};

std::vector<PatternPart> split_pattern(std::string_view pattern) {
    std::vector<PatternPart> parts;
    for (std::size_t i = 0; i < pattern.size();) {
        char letter = run_letter(pattern[i]);
        if (letter == 0) {
            parts.push_back({0, 1, pattern[i]});
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < pattern.size() && run_letter(pattern[j]) == letter) {
            ++j;
        }
        parts.push_back({letter, j - i, 0});
        i = j;
    }
    return parts;
}

std::string zero_padded(int value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

bool all_blank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

bool is_valid_civil_date(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::int32_t julian_from_civil(int year, int month, int day) {
    return static_cast<std::int32_t>(
        days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kUnixEpochJulian);
}

CivilDate civil_from_julian(std::int32_t julian_day) {
    std::int64_t z = static_cast<std::int64_t>(julian_day) - kUnixEpochJulian + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

std::optional<std::string> normalized_date_format(std::string_view pattern) {
    if (pattern.empty() || pattern.size() > kMaxDateFormatLength) {
        return std::nullopt;
    }
    int days = 0;
    int months = 0;
    int years = 0;
    std::string upper;
    for (const PatternPart& part : split_pattern(pattern)) {
        if (part.letter == 0) {
            char c = upper_ascii(part.literal);
            if (is_digit(c) || (c >= 'A' && c <= 'Z')) {
                return std::nullopt;
            }
            continue;
        }
        (part.letter == 'D' ? days : part.letter == 'M' ? months : years) += 1;
    }
    if (days != 1 || months != 1 || years != 1) {
        return std::nullopt;
    }
    for (char c : pattern) {
        upper.push_back(upper_ascii(c));
    }
    return upper;
}

std::string format_date(std::int32_t julian_day, std::string_view pattern) {
    std::string out;
    const bool empty = julian_day <= 0;
    CivilDate date = empty ? CivilDate{} : civil_from_julian(julian_day);
    for (const PatternPart& part : split_pattern(pattern)) {
        if (part.letter == 0) {
            out.push_back(part.literal);
        } else if (empty) {
            out.append(part.length, ' ');
        } else if (part.letter == 'Y') {
            out += part.length <= 2 ? zero_padded(date.year % 100, 2) : zero_padded(date.year, 4);
        } else {
            out +=
                zero_padded(part.letter == 'D' ? date.day : date.month, part.length >= 2 ? 2 : 1);
        }
    }
    return out;
}

std::optional<std::int32_t> parse_date(std::string_view text, std::string_view pattern, int epoch) {
    if (all_blank(text)) {
        return 0;
    }
    std::vector<PatternPart> parts = split_pattern(pattern);
    int day = 0;
    int month = 0;
    int year = 0;
    std::size_t year_digits = 0;
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (parts[p].letter == 0) {
            continue;
        }
        // Between two numbers any run of non-digits separates them.
        while (pos < text.size() && !is_digit(text[pos])) {
            ++pos;
        }
        const bool adjacent = p + 1 < parts.size() && parts[p + 1].letter != 0;
        std::size_t max_digits = parts[p].letter == 'Y' ? 4 : 2;
        if (adjacent) {
            max_digits = parts[p].length;
        }
        std::size_t start = pos;
        int number = 0;
        while (pos < text.size() && pos - start < max_digits && is_digit(text[pos])) {
            number = number * 10 + (text[pos] - '0');
            ++pos;
        }
        if (pos == start) {
            return std::nullopt;
        }
        if (parts[p].letter == 'D') {
            day = number;
        } else if (parts[p].letter == 'M') {
            month = number;
        } else {
            year = number;
            year_digits = pos - start;
        }
    }
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    if (year_digits <= 2) {
        year += epoch - epoch % 100;
        if (year < epoch) {
            year += 100;
        }
    }
    if (!is_valid_civil_date(year, month, day)) {
        return std::nullopt;
    }
    return julian_from_civil(year, month, day);
}

std::string format_dtos(std::int32_t julian_day) {
    if (julian_day <= 0) {
        return std::string(8, ' ');
    }
    CivilDate d = civil_from_julian(julian_day);
    return zero_padded(d.year, 4) + zero_padded(d.month, 2) + zero_padded(d.day, 2);
}

std::optional<std::int32_t> parse_dtos(std::string_view text) {
    if (text.size() != 8) {
        return std::nullopt;
    }
    if (all_blank(text)) {
        return 0;
    }
    int parts[3] = {0, 0, 0};
    const std::size_t widths[3] = {4, 2, 2};
    std::size_t position = 0;
    for (int p = 0; p < 3; ++p) {
        for (std::size_t k = 0; k < widths[p]; ++k, ++position) {
            if (!is_digit(text[position])) {
                return std::nullopt;
            }
            parts[p] = parts[p] * 10 + (text[position] - '0');
        }
    }
    if (!is_valid_civil_date(parts[0], parts[1], parts[2])) {
        return std::nullopt;
    }
    return julian_from_civil(parts[0], parts[1], parts[2]);
}

std::optional<std::int32_t> parse_time(std::string_view text) {
    std::size_t pos = 0;
    auto skip_blanks = [&] {
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
    };
    auto number = [&](std::size_t max_digits, int& out) {
        std::size_t start = pos;
        out = 0;
        while (pos < text.size() && pos - start < max_digits && is_digit(text[pos])) {
            out = out * 10 + (text[pos] - '0');
            ++pos;
        }
        return pos > start;
    };
    skip_blanks();
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int millis = 0;
    if (!number(2, hours) || pos >= text.size() || text[pos] != ':') {
        return std::nullopt;
    }
    ++pos;
    if (!number(2, minutes)) {
        return std::nullopt;
    }
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!number(2, seconds)) {
            return std::nullopt;
        }
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            std::size_t start = pos;
            if (!number(3, millis)) {
                return std::nullopt;
            }
            for (std::size_t n = pos - start; n < 3; ++n) {
                millis *= 10;  // ".5" is 500 ms
            }
        }
    }
    skip_blanks();
    if (pos + 2 <= text.size()) {
        char a = upper_ascii(text[pos]);
        char m = upper_ascii(text[pos + 1]);
        if ((a == 'A' || a == 'P') && m == 'M') {
            if (hours < 1 || hours > 12) {
                return std::nullopt;
            }
            hours = hours % 12 + (a == 'P' ? 12 : 0);
            pos += 2;
            skip_blanks();
        }
    }
    if (pos != text.size() || hours > 23 || minutes > 59 || seconds > 59) {
        return std::nullopt;
    }
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + millis;
}

std::string format_time(std::int32_t milliseconds, bool always_milliseconds) {
    int total_seconds = milliseconds / 1000;
    std::string out = zero_padded(total_seconds / 3600, 2) + ":" +
                      zero_padded(total_seconds / 60 % 60, 2) + ":" +
                      zero_padded(total_seconds % 60, 2);
    if (always_milliseconds || milliseconds % 1000 != 0) {
        out += "." + zero_padded(milliseconds % 1000, 3);
    }
    return out;
}

}  // namespace varelum::engine::format
