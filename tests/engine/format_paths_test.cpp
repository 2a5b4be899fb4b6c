// One meaning for a date, a time, a logical or a null, whichever way it reaches the engine: each
// case is written through one path (a field call with text, an SQL INSERT with a parameter) and
// read back through every other (field calls, a filter with CTOD/CTOT, an index seek, an SQL
// parameter).
#include <cstring>
#include <functional>
#include <string>

#include "engine/format/code_page.h"
#include "engine_test_support.h"
#include "sql/sql_test_support.h"

namespace varelum::engine::testing {
namespace {

class FormatPaths : public SqlTest {
  protected:
    // The only record of "Paths" written by `write`, the table open and on it.
    ADSHANDLE table_with(const std::function<void(ADSHANDLE)>& write) {
        ADSHANDLE table = create("Paths", "N,Integer;D,Date;T,Time;L,Logical;");
        write(table);
        AdsCloseTable(table);
        EXPECT_ADS_OK(open("Paths", &table));
        EXPECT_ADS_OK(AdsGotoTop(table));
        return table;
    }

    static UNSIGNED32 filtered_count(ADSHANDLE table, const std::string& condition) {
        EXPECT_ADS_OK(AdsSetAOF(table, u8(condition), VE_AOF_DYNAMIC)) << condition;
        UNSIGNED32 count = 0;
        EXPECT_ADS_OK(AdsGetRecordCount(table, VE_RESPECT_FILTERS, &count)) << condition;
        AdsClearAOF(table);
        return count;
    }

    Rows select_where(const std::string& where, const std::function<UNSIGNED32(ADSHANDLE)>& bind) {
        ADSHANDLE query = statement();
        EXPECT_ADS_OK(AdsPrepareSQL(query, u8("SELECT N FROM Paths WHERE " + where))) << where;
        EXPECT_ADS_OK(bind(query)) << where;
        ADSHANDLE cursor = 0;
        EXPECT_ADS_OK(AdsExecuteSQL(query, &cursor)) << where;
        return rows(cursor);
    }
};

struct DateCase {
    const char* name;
    const char* format;  // the engine's date format while the case runs
    const char* text;    // written in that format
    const char* iso;     // the day it means ("" for null)
    const char* shown;   // how the engine gives it back in that format
};

const DateCase kDateCases[] = {
    {"TwoDigitYearsFallInThe1900s", "MM/DD/YY", "12/31/49", "1949-12-31", "12/31/49"},
    {"FourDigitYearAfterTwoDigitFormat", "MM/DD/YY", "12/31/2049", "2049-12-31", "12/31/49"},
    {"UnpaddedDayAndMonth", "MM/DD/CCYY", "1/2/2024", "2024-01-02", "01/02/2024"},
    {"SingleLettersPrintShortForms", "M/D/Y", "3/5/2024", "2024-03-05", "3/5/24"},
    {"DayFirst", "dd/MM/yyyy", "31/12/2020", "2020-12-31", "31/12/2020"},
    {"BlankIsNull", "MM/DD/CCYY", "  ", "", ""},
};

class DatePaths : public FormatPaths, public ::testing::WithParamInterface<DateCase> {};

std::string dtos(const std::string& iso) {
    return iso.empty() ? std::string(8, ' ')
                       : iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2);
}

TEST_P(DatePaths, AFieldCallDateReadsTheSameEverywhere) {
    const DateCase& c = GetParam();
    ASSERT_ADS_OK(AdsSetDateFormat(u8(c.format)));
    ASSERT_ADS_OK(AdsSetDateFormat60(connection_, u8(c.format)));
    const bool null = std::string(c.iso).empty();
    ADSHANDLE table = table_with([&](ADSHANDLE t) {
        ASSERT_ADS_OK(AdsAppendRecord(t));
        ASSERT_ADS_OK(AdsSetLong(t, u8("N"), 1));
        ASSERT_ADS_OK(AdsSetDate(t, u8("D"), u8(c.text), static_cast<UNSIGNED16>(strlen(c.text))));
        ASSERT_ADS_OK(AdsWriteRecord(t));
    });

    // Field calls.
    UNSIGNED16 is_null = 2;
    ASSERT_ADS_OK(AdsIsNull(table, u8("D"), &is_null));
    EXPECT_EQ(null ? 1 : 0, is_null);
    EXPECT_EQ(c.shown, text(table, "D", VE_TRIM_RIGHT));
    UNSIGNED8 dtos_text[16] = {};
    UNSIGNED16 dtos_length = sizeof dtos_text;
    SIGNED32 julian = -1;
    ASSERT_ADS_OK(AdsGetJulian(table, u8("D"), &julian));
    ASSERT_ADS_OK(AdsConvertJulianToString(julian, dtos_text, &dtos_length));
    EXPECT_EQ(dtos(c.iso), reinterpret_cast<const char*>(dtos_text));

    // A filter given the text that was written (a two-digit year shown back names another
    // century when the day lies outside the 1900s).
    std::string condition = null ? "EMPTY(D)" : std::string("D = CTOD('") + c.text + "')";
    EXPECT_EQ(1u, filtered_count(table, condition));
    EXPECT_EQ(1u, filtered_count(table, "DTOS(D) = '" + dtos(c.iso) + "'"));

    // An index seek by the written text and by the day's DTOS text.
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("ByDay"), u8("D"), nullptr, nullptr, 0, 0,
                                   nullptr, &index));
    if (!null) {
        for (std::string key : {std::string(c.text), dtos(c.iso)}) {
            UNSIGNED16 found = 0;
            ASSERT_ADS_OK(AdsSeek(index, u8(key), static_cast<UNSIGNED16>(key.size()), VE_STRINGKEY,
                                  VE_HARDSEEK, &found))
                << key;
            EXPECT_EQ(1, found) << key;
        }
    }
    AdsCloseTable(table);

    // An SQL parameter given the same text.
    if (null) {
        EXPECT_EQ((Rows{{"1"}}), rows(run("SELECT N FROM Paths WHERE D IS NULL")));
    } else {
        EXPECT_EQ((Rows{{"1"}}), select_where("D = ?", [&](ADSHANDLE q) {
                      return AdsSetDate(q, ADSFIELD(1), u8(c.text),
                                        static_cast<UNSIGNED16>(strlen(c.text)));
                  }));
        EXPECT_EQ((Rows{{"1"}}), select_where("D = ?", [&](ADSHANDLE q) {
                      return AdsSetString(q, ADSFIELD(1), u8(c.iso),
                                          static_cast<UNSIGNED16>(strlen(c.iso)));
                  }));
    }
    AdsSetDateFormat(u8("MM/DD/CCYY"));
}

TEST_P(DatePaths, AnSqlParameterDateReadsTheSameThroughFieldCallsAndFilters) {
    const DateCase& c = GetParam();
    ASSERT_ADS_OK(AdsSetDateFormat(u8(c.format)));
    ASSERT_ADS_OK(AdsSetDateFormat60(connection_, u8(c.format)));
    const bool null = std::string(c.iso).empty();
    AdsCloseTable(create("Paths", "N,Integer;D,Date;T,Time;L,Logical;"));
    ADSHANDLE insert = statement();
    ASSERT_ADS_OK(AdsPrepareSQL(insert, u8("INSERT INTO Paths (N, D) VALUES (1, ?)")));
    ASSERT_ADS_OK(
        AdsSetDate(insert, ADSFIELD(1), u8(c.text), static_cast<UNSIGNED16>(strlen(c.text))));
    ADSHANDLE none = 0;
    ASSERT_ADS_OK(AdsExecuteSQL(insert, &none));

    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Paths", &table));
    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_EQ(c.shown, text(table, "D", VE_TRIM_RIGHT));
    std::string condition = null ? "EMPTY(D)" : std::string("D = CTOD('") + c.text + "')";
    EXPECT_EQ(1u, filtered_count(table, condition));
    AdsCloseTable(table);
    AdsSetDateFormat(u8("MM/DD/CCYY"));
}

INSTANTIATE_TEST_SUITE_P(Dates, DatePaths, ::testing::ValuesIn(kDateCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct TimeCase {
    const char* name;
    const char* text;
    SIGNED32 milliseconds;  // -1: null
    const char* shown;
};

const TimeCase kTimeCases[] = {
    {"TwentyFourHour", "13:30", 48600000, "13:30:00"},
    {"AfternoonOnATwelveHourClock", "01:30 PM", 48600000, "13:30:00"},
    {"MidnightOnATwelveHourClock", "12:00 am", 0, "00:00:00"},
    {"Milliseconds", "23:59:59.5", 86399500, "23:59:59.500"},
    {"BlankIsNull", " ", -1, ""},
};

class TimePaths : public FormatPaths, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(TimePaths, ATimeReadsTheSameThroughFieldCallsFiltersAndSql) {
    const TimeCase& c = GetParam();
    const bool null = c.milliseconds < 0;
    ADSHANDLE table = table_with([&](ADSHANDLE t) {
        ASSERT_ADS_OK(AdsAppendRecord(t));
        ASSERT_ADS_OK(AdsSetLong(t, u8("N"), 1));
        ASSERT_ADS_OK(AdsSetTime(t, u8("T"), u8(c.text), static_cast<UNSIGNED16>(strlen(c.text))));
        ASSERT_ADS_OK(AdsWriteRecord(t));
    });
    UNSIGNED16 is_null = 2;
    ASSERT_ADS_OK(AdsIsNull(table, u8("T"), &is_null));
    EXPECT_EQ(null ? 1 : 0, is_null);
    EXPECT_EQ(c.shown, text(table, "T", VE_TRIM_RIGHT));
    if (!null) {
        SIGNED32 ms = -1;
        ASSERT_ADS_OK(AdsGetMilliseconds(table, u8("T"), &ms));
        EXPECT_EQ(c.milliseconds, ms);
        EXPECT_EQ(1u, filtered_count(table, std::string("T = CTOT('") + c.text + "')"));
    } else {
        EXPECT_EQ(1u, filtered_count(table, "EMPTY(T)"));
    }
    AdsCloseTable(table);
    if (null) {
        EXPECT_EQ((Rows{{"1"}}), rows(run("SELECT N FROM Paths WHERE T IS NULL")));
    } else {
        EXPECT_EQ((Rows{{"1"}}), select_where("T = ?", [&](ADSHANDLE q) {
                      return AdsSetTime(q, ADSFIELD(1), u8(c.text),
                                        static_cast<UNSIGNED16>(strlen(c.text)));
                  }));
    }
}

INSTANTIATE_TEST_SUITE_P(Times, TimePaths, ::testing::ValuesIn(kTimeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct LogicalCase {
    const char* name;
    char byte;  // the field's byte in the record image
    int truth;  // -1: null
};

const LogicalCase kLogicalCases[] = {
    {"T", 'T', 1},
    {"Y", 'y', 1},
    {"F", 'F', 0},
    {"ZeroByteIsFalseNotNull", '\0', 0},
    {"BlankIsNull", ' ', -1},
};

class LogicalPaths : public FormatPaths, public ::testing::WithParamInterface<LogicalCase> {};

TEST_P(LogicalPaths, ALogicalByteMeansOneThingEverywhere) {
    const LogicalCase& c = GetParam();
    ADSHANDLE table = table_with([&](ADSHANDLE t) {
        ASSERT_ADS_OK(AdsAppendRecord(t));
        ASSERT_ADS_OK(AdsSetLong(t, u8("N"), 1));
        UNSIGNED8 byte = static_cast<UNSIGNED8>(c.byte);
        ASSERT_ADS_OK(AdsSetFieldRaw(t, u8("L"), &byte, 1));
        ASSERT_ADS_OK(AdsWriteRecord(t));
    });
    UNSIGNED16 is_null = 2;
    ASSERT_ADS_OK(AdsIsNull(table, u8("L"), &is_null));
    EXPECT_EQ(c.truth < 0 ? 1 : 0, is_null);
    EXPECT_EQ(c.truth < 0 ? "" : c.truth ? "T" : "F", text(table, "L", VE_TRIM_RIGHT));
    EXPECT_EQ(c.truth == 1 ? 1u : 0u, filtered_count(table, "L"));
    if (c.truth >= 0) {
        EXPECT_EQ(c.truth == 0 ? 1u : 0u, filtered_count(table, "!L"));
    }
    AdsCloseTable(table);
    const char* where = c.truth < 0 ? "L IS NULL" : c.truth ? "L = TRUE" : "L = FALSE";
    EXPECT_EQ((Rows{{"1"}}), rows(run(std::string("SELECT N FROM Paths WHERE ") + where)));
}

INSTANTIATE_TEST_SUITE_P(Logicals, LogicalPaths, ::testing::ValuesIn(kLogicalCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Texts of an OEM table (code page 850) are found by the text a caller gives at the boundary
// (Windows-1252 or UTF-16) through seeks, raw keys and filters, as on an ANSI table.
class OemTexts : public EngineTest {
  protected:
    ADSHANDLE create_oem(const std::string& name) {
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(AdsCreateTable90(connection_, u8(name), nullptr, VE_TABLE_TYPE_ADT,
                                       VE_CHARTYPE_OEM, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                       u8("Name,Char,10;N,Integer;"), 0, nullptr, &table));
        return table;
    }

    static std::u16string wide_name(ADSHANDLE table) {
        WCHAR buffer[32] = {};
        UNSIGNED32 length = 32;
        EXPECT_ADS_OK(AdsGetFieldW(table, u8("Name"), buffer, &length, VE_TRIM_RIGHT));
        return std::u16string(buffer, length);
    }

    static UNSIGNED32 aof_count(ADSHANDLE table, const std::u16string& condition) {
        EXPECT_ADS_OK(AdsSetAOF100(table, condition.c_str(), VE_FILTER_UTF16));
        UNSIGNED32 count = 0;
        EXPECT_ADS_OK(AdsGetRecordCount(table, VE_RESPECT_FILTERS, &count));
        AdsClearAOF(table);
        return count;
    }
};

TEST_F(OemTexts, AnAccentedNameIsFoundBySeekRawKeyAndFilter) {
    ADSHANDLE table = create_oem("Oem");
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("ByName"), u8("Name"), nullptr, nullptr, 0, 0,
                                   nullptr, &index));
    append_row(table, {{"Name", "JOSE"}, {"N", "1"}});
    append_row(table, {{"Name", "JOS\xC9"}, {"N", "2"}});  // "JOSÉ" in Windows-1252
    append_row(table, {{"Name", "JOSEF"}, {"N", "3"}});
    ASSERT_ADS_OK(AdsGotoRecord(table, 2));
    UNSIGNED8 image[64];
    UNSIGNED32 image_length = sizeof image;
    ASSERT_ADS_OK(AdsGetRecord(table, image, &image_length));
    EXPECT_EQ(0x90, image[3]);  // "É" in code page 850

    auto current_n = [&] { return text(table, "N", VE_TRIM_BOTH); };
    UNSIGNED16 found = 0;
    ASSERT_ADS_OK(AdsSeek(index, u8("JOS\xC9"), 4, VE_STRINGKEY, VE_HARDSEEK, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ("2", current_n());

    std::u16string wide = u"JOS\u00C9";
    ASSERT_ADS_OK(AdsGotoTop(table));
    ASSERT_ADS_OK(AdsSeek(index, reinterpret_cast<const UNSIGNED8*>(wide.c_str()),
                          static_cast<UNSIGNED16>(wide.size() * 2), VE_WSTRINGKEY, VE_HARDSEEK,
                          &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ("2", current_n());

    // A raw key built from the boundary text and one taken from the record agree.
    UNSIGNED8 built[64];
    UNSIGNED16 built_length = sizeof built;
    ASSERT_ADS_OK(AdsInitRawKey(index));
    ASSERT_ADS_OK(AdsSetField(index, u8("Name"), u8("JOS\xC9"), 4));
    ASSERT_ADS_OK(AdsBuildRawKey(index, built, &built_length));
    UNSIGNED8 extracted[64];
    UNSIGNED16 extracted_length = sizeof extracted;
    ASSERT_ADS_OK(AdsGotoRecord(table, 2));
    ASSERT_ADS_OK(AdsExtractKey(index, extracted, &extracted_length));
    ASSERT_LE(built_length, extracted_length);
    EXPECT_EQ(0, std::memcmp(built, extracted, built_length));
    ASSERT_ADS_OK(AdsGotoTop(table));
    ASSERT_ADS_OK(AdsSeek(index, extracted, extracted_length, VE_RAWKEY, VE_HARDSEEK, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ("2", current_n());

    EXPECT_EQ(1u, aof_count(table, u"Name = 'JOS\u00C9'"));
    EXPECT_EQ(1u, aof_count(table, u"UPPER(Name) = 'JOS\u00C9'"));
    EXPECT_EQ(1u, aof_count(table, u"Name = 'JOS\u00C9' .AND. N = 2"));
    ASSERT_ADS_OK(AdsSetAOF(table, u8("Name = 'JOS\xC9'"), VE_AOF_DYNAMIC));
    UNSIGNED32 count = 0;
    ASSERT_ADS_OK(AdsGetRecordCount(table, VE_RESPECT_FILTERS, &count));
    EXPECT_EQ(1u, count);
    AdsCloseTable(table);
}

TEST_F(OemTexts, EveryCharacterOfCodePage850IsFoundAgain) {
    ADSHANDLE table = create_oem("Every");
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("ByName"), u8("Name"), nullptr, nullptr, 0, 0,
                                   nullptr, &index));
    std::vector<std::u16string> names;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        names.push_back(u"A" +
                        std::u16string(1, format::byte_to_utf16(format::CodePage::Oem850,
                                                                static_cast<std::uint8_t>(byte))) +
                        u"Z");
        ASSERT_ADS_OK(AdsAppendRecord(table));
        ASSERT_ADS_OK(AdsSetStringW(table, u8("Name"), names.back().c_str(), 3));
        ASSERT_ADS_OK(AdsSetLong(table, u8("N"), byte));
        ASSERT_ADS_OK(AdsWriteRecord(table));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::u16string& name = names[i];
        SCOPED_TRACE(0x80 + i);
        UNSIGNED16 found = 0;
        ASSERT_ADS_OK(AdsSeek(index, reinterpret_cast<const UNSIGNED8*>(name.c_str()), 6,
                              VE_WSTRINGKEY, VE_HARDSEEK, &found));
        EXPECT_EQ(1, found);
        EXPECT_EQ(std::to_string(0x80 + i), text(table, "N", VE_TRIM_BOTH));
        EXPECT_EQ(name, wide_name(table));
        EXPECT_EQ(1u, aof_count(table, u"Name = '" + name + u"'"));
    }
    AdsCloseTable(table);
}

}  // namespace
}  // namespace varelum::engine::testing
