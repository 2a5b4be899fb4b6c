// Dates and times as text: FormatDateTime with its specifiers, and the scanners behind
// StrToDate, StrToTime and StrToDateTime, which read numbers in the order the short date
// format gives rather than matching the format letter by letter (so "1/2/2018" and
// "01/02/2018" both read under "dd/mm/yyyy").
#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "rtl/datetime.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::rtl {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

std::string Digits(int value, std::size_t width) {
    std::string text = std::to_string(value);
    if (text.size() < width) {
        text.insert(0, width - text.size(), '0');
    }
    return text;
}

bool StartsWithText(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.size() - at >= prefix.size() && SameText(text.substr(at, prefix.size()), prefix);
}

class DateFormatter {
  public:
    DateFormatter(TDateTime value, const TFormatSettings& settings)
        : FValue(value), FSettings(settings) {
        DecodeDate(value, FYear, FMonth, FDay);
        DecodeTime(value, FHour, FMinute, FSecond, FMillisecond);
    }

    void Append(std::string_view format, std::string& out, int depth) {
        // The short date format may itself say "ddddd"; stop before that recurses forever.
        if (depth > 2) {
            return;
        }
        bool twelveHour = HasAmPm(format);
        char previous = '\0';
        std::size_t i = 0;
        while (i < format.size()) {
            char c = format[i];
            char u = Upper(c);
            std::size_t run = 1;
            while (i + run < format.size() && Upper(format[i + run]) == u) {
                ++run;
            }
            switch (u) {
                case '"':
                case '\'': {
                    std::size_t close = format.find(c, i + 1);
                    std::size_t end = close == std::string_view::npos ? format.size() : close;
                    out.append(format.substr(i + 1, end - i - 1));
                    i = close == std::string_view::npos ? format.size() : close + 1;
                    continue;
                }
                case 'C':
                    Append(FSettings.ShortDateFormat, out, depth + 1);
                    if (TimeToMilliseconds(FValue) != 0) {
                        out += ' ';
                        Append(FSettings.LongTimeFormat, out, depth + 1);
                    }
                    run = 1;
                    break;
                case 'D':
                    if (run == 1) {
                        out += std::to_string(FDay);
                    } else if (run == 2) {
                        out += TwoDigits(FDay);
                    } else if (run == 3) {
                        out += FSettings.ShortDayNames[DayOfWeek(FValue) - 1];
                    } else if (run == 4) {
                        out += FSettings.LongDayNames[DayOfWeek(FValue) - 1];
                    } else if (run == 5) {
                        Append(FSettings.ShortDateFormat, out, depth + 1);
                    } else {
                        Append(FSettings.LongDateFormat, out, depth + 1);
                    }
                    break;
                case 'M':
                    if (previous == 'H') {
                        run = std::min<std::size_t>(run, 2);
                        out += run == 1 ? std::to_string(FMinute) : TwoDigits(FMinute);
                    } else if (run == 1) {
                        out += std::to_string(FMonth);
                    } else if (run == 2) {
                        out += TwoDigits(FMonth);
                    } else if (run == 3) {
                        out += FSettings.ShortMonthNames[FMonth - 1];
                    } else {
                        out += FSettings.LongMonthNames[FMonth - 1];
                    }
                    break;
                case 'Y':
                    out += run <= 2 ? TwoDigits(FYear % 100) : Digits(FYear, 4);
                    break;
                case 'H': {
                    run = std::min<std::size_t>(run, 2);
                    int hour = FHour;
                    if (twelveHour) {
                        hour = hour % 12 == 0 ? 12 : hour % 12;
                    }
                    out += run == 1 ? std::to_string(hour) : TwoDigits(hour);
                    break;
                }
                case 'N':
                    run = std::min<std::size_t>(run, 2);
                    out += run == 1 ? std::to_string(FMinute) : TwoDigits(FMinute);
                    break;
                case 'S':
                    run = std::min<std::size_t>(run, 2);
                    out += run == 1 ? std::to_string(FSecond) : TwoDigits(FSecond);
                    break;
                case 'Z':
                    out += run < 3 ? std::to_string(FMillisecond) : Digits(FMillisecond, 3);
                    break;
                case 'T':
                    run = std::min<std::size_t>(run, 2);
                    Append(run == 1 ? FSettings.ShortTimeFormat : FSettings.LongTimeFormat, out,
                           depth + 1);
                    break;
                case 'A':
                    run = AmPm(format, i, out);
                    break;
                case '/':
                    run = 1;
                    out += FSettings.DateSeparator;
                    break;
                case ':':
                    run = 1;
                    out += FSettings.TimeSeparator;
                    break;
                default:
                    out.append(format.substr(i, run));
                    break;
            }
            // Separators and literals between "hh" and "mm" do not make "mm" a month.
            if (u >= 'A' && u <= 'Z') {
                previous = u;
            }
            i += run;
        }
    }

  private:
    static bool HasAmPm(std::string_view format) {
        for (std::size_t i = 0; i < format.size(); ++i) {
            if (StartsWithText(format, i, "am/pm") || StartsWithText(format, i, "a/p") ||
                StartsWithText(format, i, "ampm")) {
                return true;
            }
        }
        return false;
    }

    // The marker at i; returns how many format characters it took (1 for a plain "a").
    std::size_t AmPm(std::string_view format, std::size_t i, std::string& out) const {
        bool pm = FHour >= 12;
        if (StartsWithText(format, i, "am/pm")) {
            std::string_view marker = format.substr(i + (pm ? 3 : 0), 2);
            out.append(marker);
            return 5;
        }
        if (StartsWithText(format, i, "a/p")) {
            out += format[i + (pm ? 2 : 0)];
            return 3;
        }
        if (StartsWithText(format, i, "ampm")) {
            out += pm ? FSettings.TimePMString : FSettings.TimeAMString;
            return 4;
        }
        out += format[i];
        return 1;
    }

    TDateTime FValue;
    const TFormatSettings& FSettings;
    int FYear = 0, FMonth = 0, FDay = 0;
    int FHour = 0, FMinute = 0, FSecond = 0, FMillisecond = 0;
};

// Reads dates and times from text, left to right.
class Scanner {
  public:
    Scanner(std::string_view text, const TFormatSettings& settings)
        : FText(text), FSettings(settings) {}

    bool AtEnd() {
        SkipBlanks();
        return FPos == FText.size();
    }

    bool Date(TDateTime& date) {
        int first = 0, second = 0, third = 0;
        std::size_t firstDigits = 0, thirdDigits = 0;
        if (!Number(first, firstDigits) || !Char(FSettings.DateSeparator)) {
            return false;
        }
        std::size_t ignored = 0;
        if (!Number(second, ignored)) {
            return false;
        }
        bool hasThird = false;
        std::size_t save = FPos;
        if (Char(FSettings.DateSeparator)) {
            if (!Number(third, thirdDigits)) {
                return false;
            }
            hasThird = true;
        } else {
            FPos = save;
        }
        int year = 0, month = 0, day = 0;
        std::size_t yearDigits = 4;
        char order = DateOrder();
        if (!hasThird) {
            year = CurrentYear();
            month = order == 'D' ? second : first;
            day = order == 'D' ? first : second;
        } else if (order == 'Y') {
            year = first, yearDigits = firstDigits, month = second, day = third;
        } else if (order == 'D') {
            day = first, month = second, year = third, yearDigits = thirdDigits;
        } else {
            month = first, day = second, year = third, yearDigits = thirdDigits;
        }
        if (yearDigits <= 2) {
            year = WindowedYear(year);
        }
        return TryEncodeDate(year, month, day, date);
    }

    bool TimeOfDay(TDateTime& time) {
        int hour = 0, minute = 0, second = 0, millisecond = 0;
        std::size_t digits = 0;
        if (!Number(hour, digits)) {
            return false;
        }
        bool hasMinutes = false;
        if (Char(FSettings.TimeSeparator)) {
            if (!Number(minute, digits)) {
                return false;
            }
            hasMinutes = true;
            if (Char(FSettings.TimeSeparator)) {
                if (!Number(second, digits)) {
                    return false;
                }
                if (Char('.') || Char(FSettings.DecimalSeparator)) {
                    if (!Number(millisecond, digits)) {
                        return false;
                    }
                }
            }
        }
        int marker = Marker();  // -1 none, 0 AM, 1 PM
        if (!hasMinutes && marker < 0) {
            return false;
        }
        if (marker >= 0) {
            if (hour < 1 || hour > 12) {
                return false;
            }
            hour = hour % 12 + (marker == 1 ? 12 : 0);
        }
        return TryEncodeTime(hour, minute, second, millisecond, time);
    }

  private:
    void SkipBlanks() {
        while (FPos < FText.size() && FText[FPos] == ' ') {
            ++FPos;
        }
    }

    bool Number(int& value, std::size_t& digits) {
        SkipBlanks();
        std::size_t start = FPos;
        value = 0;
        while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') {
            if (FPos - start == 9) {
                return false;  // no part of a date or time has that many digits
            }
            value = value * 10 + (FText[FPos] - '0');
            ++FPos;
        }
        digits = FPos - start;
        return digits > 0;
    }

    bool Char(char c) {
        SkipBlanks();
        if (FPos < FText.size() && FText[FPos] == c) {
            ++FPos;
            return true;
        }
        return false;
    }

    int Marker() {
        SkipBlanks();
        for (int pm = 0; pm < 2; ++pm) {
            for (std::string_view marker :
                 {std::string_view(pm ? FSettings.TimePMString : FSettings.TimeAMString),
                  std::string_view(pm ? "PM" : "AM")}) {
                if (!marker.empty() && StartsWithText(FText, FPos, marker)) {
                    FPos += marker.size();
                    return pm;
                }
            }
        }
        return -1;
    }

    // 'D' (day-month-year), 'M' (month-day-year) or 'Y' (year-month-day): whichever of the
    // three letters the short date format names first.
    char DateOrder() const {
        for (char c : FSettings.ShortDateFormat) {
            char u = Upper(c);
            if (u == 'D' || u == 'M' || u == 'Y') {
                return u;
            }
        }
        return 'M';
    }

    static int CurrentYear() {
        int year = 0, month = 0, day = 0;
        DecodeDate(rtl::Date(), year, month, day);
        return year;
    }

    int WindowedYear(int year) const {
        int windowStart = CurrentYear() - FSettings.TwoDigitYearCenturyWindow;
        year += windowStart / 100 * 100;
        if (FSettings.TwoDigitYearCenturyWindow > 0 && year < windowStart) {
            year += 100;
        }
        return year;
    }

    std::string_view FText;
    const TFormatSettings& FSettings;
    std::size_t FPos = 0;
};

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime dateTime,
                           const TFormatSettings& settings) {
    std::string out;
    DateFormatter(dateTime, settings).Append(format.empty() ? "c" : format, out, 0);
    return out;
}

std::string DateToStr(TDateTime date, const TFormatSettings& settings) {
    return FormatDateTime(settings.ShortDateFormat, date, settings);
}

std::string TimeToStr(TDateTime time, const TFormatSettings& settings) {
    return FormatDateTime(settings.LongTimeFormat, time, settings);
}

std::string DateTimeToStr(TDateTime dateTime, const TFormatSettings& settings) {
    return FormatDateTime("c", dateTime, settings);
}

bool TryStrToDate(std::string_view text, TDateTime& date,
                  const TFormatSettings& settings) noexcept {
    Scanner scanner(text, settings);
    TDateTime value = 0;
    if (!scanner.Date(value) || !scanner.AtEnd()) {
        return false;
    }
    date = value;
    return true;
}

bool TryStrToTime(std::string_view text, TDateTime& time,
                  const TFormatSettings& settings) noexcept {
    Scanner scanner(text, settings);
    TDateTime value = 0;
    if (!scanner.TimeOfDay(value) || !scanner.AtEnd()) {
        return false;
    }
    time = value;
    return true;
}

bool TryStrToDateTime(std::string_view text, TDateTime& dateTime,
                      const TFormatSettings& settings) noexcept {
    Scanner scanner(text, settings);
    TDateTime date = 0;
    if (scanner.Date(date)) {
        TDateTime time = 0;
        if (scanner.AtEnd() || (scanner.TimeOfDay(time) && scanner.AtEnd())) {
            // Before 1899-12-30 the time still counts forward from midnight.
            dateTime = date < 0 ? date - time : date + time;
            return true;
        }
    }
    return TryStrToTime(text, dateTime, settings);
}

TDateTime StrToDate(std::string_view text, const TFormatSettings& settings) {
    TDateTime date = 0;
    if (!TryStrToDate(text, date, settings)) {
        throw EConvertError("''" + std::string(text) + "'' is not a valid date");
    }
    return date;
}

TDateTime StrToTime(std::string_view text, const TFormatSettings& settings) {
    TDateTime time = 0;
    if (!TryStrToTime(text, time, settings)) {
        throw EConvertError("''" + std::string(text) + "'' is not a valid time");
    }
    return time;
}

TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings) {
    TDateTime dateTime = 0;
    if (!TryStrToDateTime(text, dateTime, settings)) {
        throw EConvertError("''" + std::string(text) + "'' is not a valid date and time");
    }
    return dateTime;
}

}  // namespace varelum::rtl
