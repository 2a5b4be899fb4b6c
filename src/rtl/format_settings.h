// The process-wide format settings: date and time formats, separators and the names of months
// and days that the program's own number, date and time conversions use. They stand in for
// the operating system's locale settings of the process; the engine-settings component
// changes the short date format and date separator so that the program and the engine write
// dates alike. The defaults are fixed (not read from the environment), so a run does not
// depend on the machine's locale.
#pragma once

#include <array>
#include <string>

namespace varelum::rtl {

struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    // Stands for "/" in date formats; splits the parts of a date in text.
    char DateSeparator = '/';
    // Stands for ":" in time formats; splits the parts of a time in text.
    char TimeSeparator = ':';
    // Format letters are case-insensitive: d, dd, m, mm, yy, yyyy, h, hh, n, nn, s, ss, z, zzz.
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongDateFormat = "dddd, d mmmm yyyy";
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> LongMonthNames = {"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};
    // Index 0 is Sunday.
    std::array<std::string, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
    // A two-digit year in text is placed in the century window that ends this many years
    // after the current year (0: always the current century).
    int TwoDigitYearCenturyWindow = 50;
};

// The process's settings. Not synchronised: the program changes them on its one thread
// (while its main window is being built) and reads them there.
TFormatSettings& FormatSettings();

}  // namespace varelum::rtl
