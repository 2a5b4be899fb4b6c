// Dates and times of the expression language: Julian day numbers, the engine's date format
// ("MM/dd/ccyy", "dd/MM/yyyy", …) for DTOC and CTOD, the DTOS form and times of day.
//
// A date is its Julian day number (day number + 1721425; 1899-12-30 is 2415019); 0 is the
// empty date. Dates are proleptic Gregorian.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varelum::engine::expr {

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

// Date text in `pattern`: runs of D, M and Y (or C, as in "ccyy") in either case give the day,
// month and year, other characters stand for themselves. A run of one or two Y (or C) gives
// the year's last two digits, a longer run the whole year. The empty date gives the pattern
// with every letter replaced by a blank.
std::string format_date(std::int32_t julian_day, std::string_view pattern);

// Reads `text` by `pattern`: numbers in the order of the pattern's runs, any non-digit between
// them as a separator (adjacent runs read exactly their run's number of digits). Blank text is
// the empty date (0). A year of one or two digits is the first year from `epoch` on that ends in
// them. Returns nothing for text that is no valid date.
std::optional<std::int32_t> parse_date(std::string_view text, std::string_view pattern, int epoch);

// "YYYYMMDD"; the empty date gives 8 blanks.
std::string format_dtos(std::int32_t julian_day);
// 8 digits "YYYYMMDD" (blanks: the empty date); nothing for anything else.
std::optional<std::int32_t> parse_dtos(std::string_view text);

// "HH:MM[:SS[.mmm]]" with an optional "AM"/"PM"; milliseconds since midnight.
std::optional<std::int32_t> parse_time(std::string_view text);
// "HH:MM:SS" (".mmm" added when the milliseconds are not 0).
std::string format_time(std::int32_t milliseconds);

// Today's date and the current local time.
std::int32_t today_julian();
void now_local(std::int32_t& julian_day, std::int32_t& milliseconds);

}  // namespace varelum::engine::expr
