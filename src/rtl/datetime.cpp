// Calendar arithmetic for TDateTime and its day-number, Julian and millisecond forms. Days
// are converted with the proleptic Gregorian calendar (civil-from-days arithmetic, exact for
// every day of years 1 to 9999).
#include "rtl/datetime.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "rtl/exception.h"

namespace varelum::rtl {

namespace {

// Day number of a valid date (0001-01-01 is 1).
std::int32_t DayNumberOf(int year, int month, int day) noexcept {
    // Counting years from March puts the leap day last.
    int y = month <= 2 ? year - 1 : year;
    int era = y / 400;  // y >= 0 for years 1..9999
    int yearOfEra = y - era * 400;
    int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 306 days from 0000-03-01 to 0001-01-01, which is day 1.
    return era * 146097 + dayOfEra - 306 + 1;
}

void CivilOf(std::int32_t dayNumber, int& year, int& month, int& day) noexcept {
    std::int64_t z = static_cast<std::int64_t>(dayNumber) - 1 + 306;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    auto dayOfEra = static_cast<int>(z - era * 146097);
    int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
}

}  // namespace

bool IsLeapYear(int year) noexcept {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) noexcept {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) noexcept {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return false;
    }
    date = DayNumberOf(year, month, day) - DateDelta;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime date = 0;
    if (!TryEncodeDate(year, month, day, date)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return date;
}

void DecodeDate(TDateTime date, int& year, int& month, int& day) noexcept {
    CivilOf(DateTimeToTimeStamp(date).Date, year, month, day);
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& time) noexcept {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        return false;
    }
    time = MillisecondsToTime(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime time = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, time)) {
        throw EConvertError("Invalid argument to time encode");
    }
    return time;
}

void DecodeTime(TDateTime time, int& hour, int& minute, int& second, int& millisecond) noexcept {
    std::int32_t ms = DateTimeToTimeStamp(time).Time;
    millisecond = ms % 1000;
    second = ms / 1000 % 60;
    minute = ms / 60000 % 60;
    hour = ms / 3600000;
}

int DayOfWeek(TDateTime date) noexcept {
    // Day 1 (0001-01-01) was a Monday.
    return DateTimeToTimeStamp(date).Date % 7 + 1;
}

namespace {

struct LocalNow {
    std::tm Fields{};
    int Milliseconds = 0;
};

LocalNow CurrentLocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    LocalNow result;
    localtime_r(&now.tv_sec, &result.Fields);
    result.Milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    return result;
}

}  // namespace

TDateTime Date() {
    LocalNow now = CurrentLocalTime();
    return EncodeDate(now.Fields.tm_year + 1900, now.Fields.tm_mon + 1, now.Fields.tm_mday);
}

TDateTime Time() {
    LocalNow now = CurrentLocalTime();
    // A leap second (tm_sec 60) counts as the last second of its minute.
    return EncodeTime(now.Fields.tm_hour, now.Fields.tm_min, std::min(now.Fields.tm_sec, 59),
                      now.Milliseconds);
}

TDateTime Now() {
    LocalNow now = CurrentLocalTime();
    TDateTime date =
        EncodeDate(now.Fields.tm_year + 1900, now.Fields.tm_mon + 1, now.Fields.tm_mday);
    return date + EncodeTime(now.Fields.tm_hour, now.Fields.tm_min, std::min(now.Fields.tm_sec, 59),
                             now.Milliseconds);
}

TTimeStamp DateTimeToTimeStamp(TDateTime dateTime) noexcept {
    // Rounding the whole value to milliseconds first keeps date and time consistent: a time
    // of 23:59:59.9996 becomes midnight of the next day, not 24:00 of this one.
    auto total = static_cast<std::int64_t>(std::llround(dateTime * MSecsPerDay));
    TTimeStamp result;
    result.Date = static_cast<std::int32_t>(DateDelta + total / MSecsPerDay);
    result.Time = static_cast<std::int32_t>(std::llabs(total) % MSecsPerDay);
    return result;
}

TDateTime TimeStampToDateTime(const TTimeStamp& timeStamp) noexcept {
    double days = timeStamp.Date - DateDelta;
    double fraction = static_cast<double>(timeStamp.Time) / MSecsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

double TimeStampToMSecs(const TTimeStamp& timeStamp) noexcept {
    return static_cast<double>(timeStamp.Date) * MSecsPerDay + timeStamp.Time;
}

TTimeStamp MSecsToTimeStamp(double milliseconds) noexcept {
    TTimeStamp result;
    double days = std::floor(milliseconds / MSecsPerDay);
    result.Date = static_cast<std::int32_t>(days);
    result.Time = static_cast<std::int32_t>(std::llround(milliseconds - days * MSecsPerDay));
    if (result.Time >= MSecsPerDay) {
        ++result.Date;
        result.Time -= MSecsPerDay;
    }
    return result;
}

std::int32_t DateToDayNumber(TDateTime date) noexcept {
    return DateTimeToTimeStamp(date).Date;
}

TDateTime DayNumberToDate(std::int32_t dayNumber) noexcept {
    return dayNumber - DateDelta;
}

std::int32_t TimeToMilliseconds(TDateTime time) noexcept {
    return DateTimeToTimeStamp(time).Time;
}

TDateTime MillisecondsToTime(std::int32_t milliseconds) noexcept {
    return static_cast<double>(milliseconds) / MSecsPerDay;
}

double DateTimeToMilliseconds(TDateTime dateTime) noexcept {
    return TimeStampToMSecs(DateTimeToTimeStamp(dateTime));
}

TDateTime MillisecondsToDateTime(double milliseconds) noexcept {
    return TimeStampToDateTime(MSecsToTimeStamp(milliseconds));
}

}  // namespace varelum::rtl
