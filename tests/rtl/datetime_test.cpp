// Dates: the epoch and the day-number, Julian and millisecond forms the data-access layer
// relies on, the calendar (leap years, month ends, dates before 1899), and dates as text
// under changed format settings.
#include "rtl/datetime.h"

#include <gtest/gtest.h>

#include <cmath>

#include "rtl/exception.h"

namespace varelum::rtl {
namespace {

TEST(DateTimeTest, EpochDayNumberAndJulianDayAgree) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(DateToDayNumber(0), 693594);
    EXPECT_EQ(DateToJulian(0), 2415019);
    EXPECT_EQ(JulianToDate(2415019), 0.0);
    EXPECT_EQ(DayNumberToDate(693594), 0.0);
    EXPECT_EQ(DateToDayNumber(EncodeDate(1, 1, 1)), 1);
    EXPECT_EQ(DateToJulian(EncodeDate(2018, 3, 26)), 2458204);
    EXPECT_EQ(JulianToDate(2458204), EncodeDate(2018, 3, 26));
    EXPECT_EQ(EncodeDate(2018, 3, 26), 43185.0);
}

TEST(DateTimeTest, EveryDayFromYearOneTo9999RoundTrips) {
    // Decoding each day number and encoding it again must give the same day, and the decoded
    // dates must follow one another without gaps.
    int lastYear = 1, lastMonth = 1, lastDay = 0;
    for (std::int32_t dayNumber = 1; dayNumber <= 3652059; ++dayNumber) {
        int y = 0, m = 0, d = 0;
        DecodeDate(DayNumberToDate(dayNumber), y, m, d);
        bool next = (y == lastYear && m == lastMonth && d == lastDay + 1) ||
                    (y == lastYear && m == lastMonth + 1 && d == 1) ||
                    (y == lastYear + 1 && m == 1 && d == 1);
        ASSERT_TRUE(next) << dayNumber;
        ASSERT_EQ(DateToDayNumber(EncodeDate(y, m, d)), dayNumber);
        lastYear = y, lastMonth = m, lastDay = d;
    }
    EXPECT_EQ(lastYear * 10000 + lastMonth * 100 + lastDay, 99991231);
}

TEST(DateTimeTest, LeapYears) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(EncodeDate(2024, 3, 1) - EncodeDate(2024, 2, 28), 2.0);
    TDateTime date = 0;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, date));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, date));
    EXPECT_FALSE(TryEncodeDate(2023, 13, 1, date));
    try {
        EncodeDate(1900, 2, 29);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
}

TEST(DateTimeTest, TimesAndTheMillisecondForms) {
    TDateTime time = EncodeTime(6, 30, 15, 250);
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(time, h, n, s, ms);
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 6 * 10000000 + 30 * 100000 + 15250);
    EXPECT_EQ(TimeToMilliseconds(time), 23415250);
    EXPECT_EQ(MillisecondsToTime(43200000), 0.5);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);

    TDateTime moment = EncodeDate(2018, 3, 26) + EncodeTime(12, 0, 0, 0);
    EXPECT_EQ(DateTimeToMilliseconds(moment), 736779.0 * 86400000 + 43200000);
    EXPECT_EQ(MillisecondsToDateTime(736779.0 * 86400000 + 43200000), moment);
    TTimeStamp stamp = DateTimeToTimeStamp(moment);
    EXPECT_EQ(stamp.Date, 736779);
    EXPECT_EQ(stamp.Time, 43200000);

    // A time that rounds up to midnight moves the date along with it.
    TDateTime almostMidnight = EncodeDate(2018, 3, 26) + (MSecsPerDay - 0.4) / MSecsPerDay;
    EXPECT_EQ(DateTimeToTimeStamp(almostMidnight).Date, 736780);
    EXPECT_EQ(DateTimeToTimeStamp(almostMidnight).Time, 0);
}

TEST(DateTimeTest, DatesBeforeTheEpochCountTheTimeForward) {
    TDateTime value = -1.25;  // 1899-12-29 06:00
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDate(value, y, m, d);
    DecodeTime(value, h, n, s, ms);
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(DateToDayNumber(value), 693593);
    EXPECT_EQ(MillisecondsToDateTime(DateTimeToMilliseconds(value)), value);
    EXPECT_EQ(DayOfWeek(EncodeDate(2018, 3, 26)), 2);   // a Monday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);  // a Saturday
}

TEST(DateTimeTest, TodayIsAWholeDayAndNowLiesWithinIt) {
    TDateTime today = Date();
    TDateTime now = Now();
    EXPECT_EQ(today, std::floor(today));
    EXPECT_GE(now, today);
    EXPECT_LT(now, today + 2);  // allows for midnight passing between the calls
    EXPECT_LT(Time(), 1.0);
}

TEST(DateTextTest, DefaultFormats) {
    TFormatSettings settings;
    TDateTime moment = EncodeDate(2018, 3, 6) + EncodeTime(14, 5, 9, 7);
    EXPECT_EQ(DateToStr(moment, settings), "06/03/2018");
    EXPECT_EQ(TimeToStr(moment, settings), "14:05:09");
    EXPECT_EQ(DateTimeToStr(moment, settings), "06/03/2018 14:05:09");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2018, 3, 6), settings), "06/03/2018");
    struct Case {
        const char* format;
        const char* text;
    };
    const Case cases[] = {
        {"d/m/yy", "6/3/18"},        {"dddd, d mmmm yyyy", "Tuesday, 6 March 2018"},
        {"ddd mmm", "Tue Mar"},      {"hh:nn:ss.zzz", "14:05:09.007"},
        {"h:mm", "14:05"},  // mm right after an hour means minutes
        {"hh:mm am/pm", "02:05 pm"}, {"h a/p", "2 p"},
        {"h ampm", "2 PM"},          {"yyyy-mm-dd\"T\"hh", "2018-03-06T14"},
        {"'day' d", "day 6"},        {"YYYY.MM.DD", "2018.03.06"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatDateTime(c.format, moment, settings), c.text) << c.format;
    }
}

TEST(DateTextTest, ChangedShortDateFormatAndSeparator) {
    TFormatSettings settings;
    settings.ShortDateFormat = "yyyy.MM.dd";
    settings.DateSeparator = '.';
    TDateTime date = EncodeDate(2018, 3, 26);
    EXPECT_EQ(DateToStr(date, settings), "2018.03.26");
    EXPECT_EQ(StrToDate("2018.03.26", settings), date);
    EXPECT_EQ(StrToDate(" 2018 . 3 . 26 ", settings), date);
    EXPECT_THROW(StrToDate("26/03/2018", settings), EConvertError);

    settings.ShortDateFormat = "MM/dd/yyyy";
    settings.DateSeparator = '-';
    // "/" in a format stands for the separator.
    EXPECT_EQ(DateToStr(date, settings), "03-26-2018");
    EXPECT_EQ(StrToDate("3-26-2018", settings), date);

    // The process-wide settings are the default for every call.
    TFormatSettings saved = FormatSettings();
    FormatSettings().ShortDateFormat = "dd/MM/yyyy";
    FormatSettings().DateSeparator = '/';
    EXPECT_EQ(DateToStr(date), "26/03/2018");
    EXPECT_EQ(StrToDate("26/03/2018"), date);
    FormatSettings() = saved;
}

TEST(DateTextTest, StrToDateYearsAndErrors) {
    TFormatSettings settings;  // dd/mm/yyyy
    EXPECT_EQ(StrToDate("1/2/2018", settings), EncodeDate(2018, 2, 1));
    EXPECT_EQ(StrToDate("29/02/2024", settings), EncodeDate(2024, 2, 29));
    EXPECT_EQ(StrToDate("26/03/18", settings), EncodeDate(2018, 3, 26));  // century window
    EXPECT_EQ(StrToDate("26/03/0018", settings), EncodeDate(18, 3, 26));  // four digits: as is
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    EXPECT_EQ(StrToDate("26/03", settings), EncodeDate(year, 3, 26));  // the current year
    for (const char* text : {"", "29/02/2023", "32/01/2018", "26-03-2018", "26/03/2018x", "26",
                             "26//2018", "1234567890/1/1"}) {
        try {
            StrToDate(text, settings);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("''") + text + "'' is not a valid date");
        }
    }
}

TEST(DateTextTest, StrToTimeAndStrToDateTime) {
    TFormatSettings settings;
    EXPECT_EQ(StrToTime("14:05", settings), EncodeTime(14, 5, 0, 0));
    EXPECT_EQ(StrToTime("14:05:09.007", settings), EncodeTime(14, 5, 9, 7));
    EXPECT_EQ(StrToTime("2:05 PM", settings), EncodeTime(14, 5, 0, 0));
    EXPECT_EQ(StrToTime("12:00 am", settings), 0.0);
    EXPECT_EQ(StrToTime("12 PM", settings), 0.5);
    EXPECT_THROW(StrToTime("14", settings), EConvertError);
    EXPECT_THROW(StrToTime("13:00 PM", settings), EConvertError);
    try {
        StrToTime("25:00", settings);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "''25:00'' is not a valid time");
    }

    TDateTime moment = EncodeDate(2018, 3, 26) + EncodeTime(8, 30, 0, 0);
    EXPECT_EQ(StrToDateTime("26/03/2018 08:30", settings), moment);
    EXPECT_EQ(StrToDateTime(DateTimeToStr(moment, settings), settings), moment);
    EXPECT_EQ(StrToDateTime("26/03/2018", settings), EncodeDate(2018, 3, 26));
    EXPECT_EQ(StrToDateTime("08:30", settings), EncodeTime(8, 30, 0, 0));
    TDateTime early = StrToDateTime("29/12/1899 06:00", settings);
    EXPECT_EQ(early, -1.25);
    try {
        StrToDateTime("26/03/2018 8h", settings);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "''26/03/2018 8h'' is not a valid date and time");
    }
}

}  // namespace
}  // namespace varelum::rtl
