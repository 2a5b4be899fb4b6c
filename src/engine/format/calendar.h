// The engine's one calendar: Julian day numbers (proleptic Gregorian; day number + 1721425,
// 1899-12-30 is 2415019, 0 the empty date), dates as text under the engine's date format
// ("MM/dd/ccyy", "dd/MM/yyyy", ...), "YYYYMMDD" texts and times of day. Field calls, filters,
// index keys and SQL parameters all read and write dates through these functions, so that a
// date text means one day wherever it is given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varelum::engine::format {

constexpr std::int32_t kJulianOffset = 1721425;  // Julian day = day number + this
constexpr std::int32_t kMillisecondsPerDay = 86400000;
// Two-digit years name the first year from this one on that ends in them: 1900..1999. Write
// four-digit years ("dd/MM/yyyy", as the program does) for dates outside that century.
constexpr int kDefaultEpoch = 1900;
// The engine's date format until a connection or the process sets another.
constexpr std::string_view kDefaultDateFormat = "MM/DD/CCYY";
constexpr std::size_t kMaxDateFormatLength = 11;

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

bool is_valid_civil_date(int year, int month, int day);
// REQUIRES: is_valid_civil_date(year, month, day).
std::int32_t julian_from_civil(int year, int month, int day);
// REQUIRES: julian_day > 0.
CivilDate civil_from_julian(std::int32_t julian_day);

// A date format in upper case when it is one: at most 11 characters, one run each of D, M and
// Y (or C, the century: "CCYY" and "YYYY" both give four digits) in any case, the other
// characters separators (no digits).
std::optional<std::string> normalized_date_format(std::string_view pattern);

// Date text in `pattern`: a run of one D or M gives the number without padding, a longer run two
// digits; a run of one or two Y (or C) gives the year's last two digits, a longer run the whole
// year in four; other characters stand for themselves. The empty date (0) gives the pattern
// with every letter replaced by a blank.
std::string format_date(std::int32_t julian_day, std::string_view pattern);

// Reads `text` by `pattern`: numbers in the order of the pattern's runs with any non-digits
// between them (runs that touch read exactly their run's number of digits), blanks around the
// whole allowed. Blank text is the empty date (0). A year of one or two digits is placed by
// `epoch`. Nothing for text that is no valid date.
std::optional<std::int32_t> parse_date(std::string_view text, std::string_view pattern,
                                       int epoch = kDefaultEpoch);

// "YYYYMMDD"; the empty date gives 8 blanks.
std::string format_dtos(std::int32_t julian_day);
// Exactly 8 digits "YYYYMMDD" (8 blanks: the empty date); nothing for anything else.
std::optional<std::int32_t> parse_dtos(std::string_view text);

// Milliseconds since midnight from "HH:MM[:SS[.mmm]]" with an optional "AM" or "PM" (12-hour
// clock then), blanks around allowed; nothing for anything else.
std::optional<std::int32_t> parse_time(std::string_view text);
// "HH:MM:SS", with ".mmm" when the milliseconds are not 0 or when `always_milliseconds`.
std::string format_time(std::int32_t milliseconds, bool always_milliseconds = false);

}  // namespace varelum::engine::format
