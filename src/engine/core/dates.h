// Calendar arithmetic and date and time text: Julian day numbers (Gregorian calendar), the
// engine's date formats ("MM/DD/CCYY", "DD.MM.YY", ...) and "HH:MM:SS[.mmm]" times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varelum::engine {

constexpr std::int32_t kJulianOffset = 1721425;  // Julian day = day number + this

std::int32_t julian_from_ymd(int year, int month, int day);
void ymd_from_julian(std::int32_t julian, int& year, int& month, int& day);
bool valid_ymd(int year, int month, int day);

// A validated date format: upper case, one run each of D, M and Y/C letters, other
// characters separators. Throws VE_INVALID_DATE_FORMAT otherwise.
class DateFormat {
  public:
    DateFormat();  // "MM/DD/CCYY"
    explicit DateFormat(std::string_view pattern);
    const std::string& pattern() const { return pattern_; }
    std::string format(std::int32_t julian) const;
    // The Julian day of a text in this format; nullopt when it is not a valid date.
    std::optional<std::int32_t> parse(std::string_view text) const;

  private:
    std::string pattern_;
};

// "YYYYMMDD" text, and back (nullopt: not a date).
std::string julian_to_yyyymmdd(std::int32_t julian);
std::optional<std::int32_t> yyyymmdd_to_julian(std::string_view text);

// "HH:MM:SS", with ".mmm" when the milliseconds are not 0; parsing accepts "HH:MM",
// "HH:MM:SS" and "HH:MM:SS.mmm".
std::string format_time(std::int32_t milliseconds);
std::optional<std::int32_t> parse_time(std::string_view text);

}  // namespace varelum::engine
