// Calendar arithmetic and date and time text (see dates.h).
#include "engine/core/dates.h"

#include <cstdio>

#include "engine/core/error.h"
#include "varelum_engine.h"

namespace varelum::engine {

std::int32_t julian_from_ymd(int year, int month, int day) {
    // The usual Gregorian day-number formula, counted from March so leap days come last.
    int a = (14 - month) / 12;
    int y = year + 4800 - a;
    int m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void ymd_from_julian(std::int32_t julian, int& year, int& month, int& day) {
    int a = julian + 32044;
    int b = (4 * a + 3) / 146097;
    int c = a - 146097 * b / 4;
    int d = (4 * c + 3) / 1461;
    int e = c - 1461 * d / 4;
    int m = (5 * e + 2) / 153;
    day = e - (153 * m + 2) / 5 + 1;
    month = m + 3 - 12 * (m / 10);
    year = 100 * b + d - 4800 + m / 10;
}

bool valid_ymd(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int limit = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= limit;
}

namespace {

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
char kind_of(char c) {
    return c == 'C' ? 'Y' : c;
}

}  // namespace

DateFormat::DateFormat() : pattern_("MM/DD/CCYY") {}

DateFormat::DateFormat(std::string_view pattern) {
    if (pattern.empty() || pattern.size() > 11) {
        fail(VE_INVALID_DATE_FORMAT, std::string(pattern));
    }
    int days = 0, months = 0, years = 0;
    char previous = 0;
    for (char c : pattern) {
        char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        if (is_letter(upper)) {
            if (upper != 'D' && upper != 'M' && upper != 'Y' && upper != 'C') {
                fail(VE_INVALID_DATE_FORMAT, std::string(pattern));
            }
            if (kind_of(upper) != previous) {
                (upper == 'D' ? days : upper == 'M' ? months : years) += 1;
            }
            previous = kind_of(upper);
        } else if (is_digit(upper)) {
            fail(VE_INVALID_DATE_FORMAT, std::string(pattern));
        } else {
            previous = 0;
        }
        pattern_.push_back(upper);
    }
    if (days != 1 || months != 1 || years != 1) {
        fail(VE_INVALID_DATE_FORMAT, std::string(pattern));
    }
}

std::string DateFormat::format(std::int32_t julian) const {
    int year, month, day;
    ymd_from_julian(julian, year, month, day);
    std::string out;
    std::size_t i = 0;
    while (i < pattern_.size()) {
        char kind = kind_of(pattern_[i]);
        if (kind != 'D' && kind != 'M' && kind != 'Y') {
            out.push_back(pattern_[i++]);
            continue;
        }
        std::size_t run = 0;
        while (i < pattern_.size() && kind_of(pattern_[i]) == kind) {
            ++run;
            ++i;
        }
        char digits[16];
        if (kind == 'Y') {
            if (run == 2) {
                std::snprintf(digits, sizeof digits, "%02d", year % 100);
            } else {
                std::snprintf(digits, sizeof digits, "%04d", year);
            }
        } else {
            int value = kind == 'D' ? day : month;
            std::snprintf(digits, sizeof digits, run >= 2 ? "%02d" : "%d", value);
        }
        out += digits;
    }
    return out;
}

std::optional<std::int32_t> DateFormat::parse(std::string_view text) const {
    int year = -1, month = -1, day = -1;
    bool two_digit_year = false;
    std::size_t i = 0;  // in the pattern
    std::size_t t = 0;  // in the text
    while (t < text.size() && text[t] == ' ') {
        ++t;
    }
    while (i < pattern_.size()) {
        char kind = kind_of(pattern_[i]);
        if (kind != 'D' && kind != 'M' && kind != 'Y') {
            // A separator in the pattern matches any one non-digit character of the text.
            if (t < text.size() && !is_digit(text[t])) {
                ++t;
            }
            ++i;
            continue;
        }
        std::size_t run = 0;
        while (i < pattern_.size() && kind_of(pattern_[i]) == kind) {
            ++run;
            ++i;
        }
        bool adjacent = i < pattern_.size() && is_letter(pattern_[i]);
        std::size_t width = kind == 'Y' ? (run == 2 ? 2 : 4) : 2;
        std::size_t begin = t;
        while (t < text.size() && is_digit(text[t]) && (t - begin) < (adjacent ? run : width)) {
            ++t;
        }
        if (t == begin) {
            return std::nullopt;
        }
        int value = std::stoi(std::string(text.substr(begin, t - begin)));
        if (kind == 'Y') {
            year = value;
            two_digit_year = (t - begin) <= 2;
        } else if (kind == 'M') {
            month = value;
        } else {
            day = value;
        }
    }
    while (t < text.size() && text[t] == ' ') {
        ++t;
    }
    if (t != text.size()) {
        return std::nullopt;
    }
    if (two_digit_year) {
        // Two-digit years fall into 1950..2049.
        year += year < 50 ? 2000 : 1900;
    }
    if (!valid_ymd(year, month, day)) {
        return std::nullopt;
    }
    return julian_from_ymd(year, month, day);
}

std::string julian_to_yyyymmdd(std::int32_t julian) {
    int year, month, day;
    ymd_from_julian(julian, year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", year % 10000, month, day);
    return text;
}

std::optional<std::int32_t> yyyymmdd_to_julian(std::string_view text) {
    if (text.size() < 8) {
        return std::nullopt;
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
    if (!valid_ymd(parts[0], parts[1], parts[2])) {
        return std::nullopt;
    }
    return julian_from_ymd(parts[0], parts[1], parts[2]);
}

std::string format_time(std::int32_t milliseconds) {
    int ms = milliseconds % 1000;
    int seconds = milliseconds / 1000;
    char text[32];
    if (ms != 0) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60, ms);
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    }
    return text;
}

std::optional<std::int32_t> parse_time(std::string_view text) {
    int parts[4] = {0, 0, 0, 0};
    int count = 0;
    std::size_t t = 0;
    while (t < text.size() && text[t] == ' ') {
        ++t;
    }
    while (t < text.size() && count < 4) {
        std::size_t begin = t;
        while (t < text.size() && is_digit(text[t])) {
            ++t;
        }
        if (t == begin || t - begin > 3) {
            return std::nullopt;
        }
        int value = std::stoi(std::string(text.substr(begin, t - begin)));
        if (count == 3) {
            // Fractions of a second: ".5" is 500 ms.
            for (std::size_t digits = t - begin; digits < 3; ++digits) {
                value *= 10;
            }
        }
        parts[count++] = value;
        if (t < text.size()) {
            char separator = text[t];
            if ((separator == ':' && count < 3) || (separator == '.' && count == 3)) {
                ++t;
            } else {
                break;
            }
        }
    }
    while (t < text.size() && text[t] == ' ') {
        ++t;
    }
    if (t != text.size() || count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) {
        return std::nullopt;
    }
    return ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000 + parts[3];
}

}  // namespace varelum::engine
