// The framework's dates and times. A TDateTime is a double: the whole part counts days since
// 1899-12-30 and the fraction is the time of day (0.25 is 06:00). Before 1899-12-30 the whole
// part is negative while the fraction still counts forward from midnight (-1.25 is
// 1899-12-29 06:00).
//
// The data-access layer uses three further forms, converted here:
//   day number    days since 0001-01-01 counted from 1 (1899-12-30 is day 693594);
//   Julian day    the engine's date: day number + 1721425 (1899-12-30 is 2415019);
//   milliseconds  of the day for a time; day number × 86400000 + milliseconds of the day
//                 for a date-time (TTimeStamp and its millisecond form).
//
// Dates as text follow the process-wide TFormatSettings (format_settings.h): its short date
// format and date separator govern DateToStr and StrToDate.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/format_settings.h"

namespace varelum::rtl {

using TDateTime = double;

// Day number of 1899-12-30, the TDateTime epoch.
inline constexpr std::int32_t DateDelta = 693594;
// Julian day minus day number.
inline constexpr std::int32_t JulianDayDelta = 1721425;
inline constexpr std::int32_t MSecsPerDay = 86400000;

// A date-time as its day number and milliseconds of the day.
struct TTimeStamp {
    std::int32_t Time = 0;  // milliseconds since midnight, 0 .. 86399999
    std::int32_t Date = 0;  // day number, 1 is 0001-01-01
};

// --- Calendar ---------------------------------------------------------------------------------

bool IsLeapYear(int year) noexcept;
// REQUIRES: 1 <= month <= 12.
int DaysInMonth(int year, int month) noexcept;

// Year 1..9999, month 1..12, day within the month. EncodeDate raises EConvertError
// "Invalid argument to date encode" for anything else; TryEncodeDate answers false.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& date) noexcept;
void DecodeDate(TDateTime date, int& year, int& month, int& day) noexcept;

// Hour 0..23, minute and second 0..59, millisecond 0..999. EncodeTime raises EConvertError
// "Invalid argument to time encode" for anything else.
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& time) noexcept;
// The time of day, rounded to the millisecond (a time that rounds to midnight belongs to the
// next day, and DecodeDate agrees).
void DecodeTime(TDateTime time, int& hour, int& minute, int& second, int& millisecond) noexcept;

// 1 is Sunday, 7 is Saturday.
int DayOfWeek(TDateTime date) noexcept;

// The current local date (no time), date and time, and time of day.
TDateTime Date();
TDateTime Now();
TDateTime Time();

// --- The data-access forms ----------------------------------------------------------------------

TTimeStamp DateTimeToTimeStamp(TDateTime dateTime) noexcept;
TDateTime TimeStampToDateTime(const TTimeStamp& timeStamp) noexcept;
// day number × 86400000 + milliseconds, and back.
double TimeStampToMSecs(const TTimeStamp& timeStamp) noexcept;
TTimeStamp MSecsToTimeStamp(double milliseconds) noexcept;

// The day number of the date's day, and the date (midnight) of a day number.
std::int32_t DateToDayNumber(TDateTime date) noexcept;
TDateTime DayNumberToDate(std::int32_t dayNumber) noexcept;
constexpr std::int32_t DayNumberToJulian(std::int32_t dayNumber) noexcept {
    return dayNumber + JulianDayDelta;
}
constexpr std::int32_t JulianToDayNumber(std::int32_t julianDay) noexcept {
    return julianDay - JulianDayDelta;
}
inline std::int32_t DateToJulian(TDateTime date) noexcept {
    return DayNumberToJulian(DateToDayNumber(date));
}
inline TDateTime JulianToDate(std::int32_t julianDay) noexcept {
    return DayNumberToDate(JulianToDayNumber(julianDay));
}
// Milliseconds of the time of day, and the time (a fraction of a day) of a millisecond count.
std::int32_t TimeToMilliseconds(TDateTime time) noexcept;
TDateTime MillisecondsToTime(std::int32_t milliseconds) noexcept;
// The date-time-as-milliseconds form: day number × 86400000 + milliseconds of the day.
double DateTimeToMilliseconds(TDateTime dateTime) noexcept;
TDateTime MillisecondsToDateTime(double milliseconds) noexcept;

// --- Dates as text ------------------------------------------------------------------------------

// Formats by the specifiers (case-insensitive):
//   d dd ddd dddd    day, two-digit day, short and long day name; ddddd the short date
//                    format, dddddd the long date format
//   m mm mmm mmmm    month, two-digit month, short and long month name (m and mm right
//                    after an hour are minutes)
//   yy yyyy          two- and four-digit year
//   h hh n nn s ss   hour, minute, second (hh, nn, ss with two digits)
//   z zzz            milliseconds (zzz with three digits)
//   t tt             the short and the long time format
//   am/pm a/p ampm   a 12-hour clock with the marker
//   c                short date format, then the long time format when the time is not 0
//   /  :             the date and the time separator of the settings
//   "…" '…'          literal text
// Every other character is copied.
std::string FormatDateTime(std::string_view format, TDateTime dateTime,
                           const TFormatSettings& settings = FormatSettings());

std::string DateToStr(TDateTime date, const TFormatSettings& settings = FormatSettings());
std::string TimeToStr(TDateTime time, const TFormatSettings& settings = FormatSettings());
// The date, and " " and the time when the time is not midnight.
std::string DateTimeToStr(TDateTime dateTime, const TFormatSettings& settings = FormatSettings());

// Text → date: two or three numbers split by the date separator, in the order the short
// date format gives (day-month-year, month-day-year or year-month-day); a missing year is
// the current year; a year of one or two digits is placed by the settings' century window.
// Blanks around the numbers are allowed. Raises EConvertError "''<text>'' is not a valid
// date".
TDateTime StrToDate(std::string_view text, const TFormatSettings& settings = FormatSettings());
bool TryStrToDate(std::string_view text, TDateTime& date,
                  const TFormatSettings& settings = FormatSettings()) noexcept;

// Text → time: hour, then the time separator and minutes, optionally the separator and
// seconds and then "." (or the decimal separator) and milliseconds; optionally followed by
// the AM or PM marker. Raises EConvertError "''<text>'' is not a valid time".
TDateTime StrToTime(std::string_view text, const TFormatSettings& settings = FormatSettings());
bool TryStrToTime(std::string_view text, TDateTime& time,
                  const TFormatSettings& settings = FormatSettings()) noexcept;

// Text → date-time: a date optionally followed by a time, or a time alone (on day 0).
// Raises EConvertError "''<text>'' is not a valid date and time".
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings = FormatSettings());
bool TryStrToDateTime(std::string_view text, TDateTime& dateTime,
                      const TFormatSettings& settings = FormatSettings()) noexcept;

}  // namespace varelum::rtl
