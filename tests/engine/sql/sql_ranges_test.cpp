// Comparisons (<, <=, >, >=, BETWEEN) on columns with a one-field tag read only the tag's
// stretch for them, and give exactly the rows a scan of the same data gives: text, case-free
// text, numbers, dates, compact dates and timestamps; ascending and falling tags; ends in and
// out of the data, empty ranges, nulls, texts and numbers against columns of the other kind.
#include <algorithm>

#include "sql_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr const char* kFields =
    "Id,Integer;Code,Char,6;Name,CIChar,8;Qty,Integer;Price,Numeric,8,2;Dia,Date;"
    "Quando,TimeStamp;Vence,CompactDate;";

// Two tables with the same rows, one with tags on every compared column and one without.
class SqlRanges : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        for (const char* table : {"Tagged", "Plain"}) {
            AdsCloseTable(create(table, kFields));
            std::string insert = std::string("INSERT INTO ") + table +
                                 " (Id, Code, Name, Qty, Price, Dia, Quando) VALUES ";
            for (const char* values : {
                     "(1, 'A1', 'alfa', 5, 1.5, '2024-01-10', '2024-01-10 08:00:00')",
                     "(2, 'B2', 'Beta', -3, 0, '2024-02-29', '2024-02-29 23:59:59.999')",
                     "(3, 'B10', 'BETA', 12, 99.99, '2023-12-31', '2024-01-01 00:00:00')",
                     "(4, '', 'gama', 0, NULL, NULL, NULL)",
                     "(5, NULL, NULL, NULL, -1.25, '2024-01-10', '2024-01-10 12:30:00')",
                     "(6, 'C', 'delta', 5, 1.5, '2024-03-01', '2024-03-01 00:00:00.001')",
                     "(7, 'b2', 'Eco', 7, 20, '2025-06-30', '2025-06-30 18:00:00')",
                     "(8, 'B5', 'gone', 6, 2, '2024-01-20', '2024-01-20 10:00:00')",
                 }) {
                ASSERT_ADS_OK(run_code(insert + values));
            }
            // The compact date holds the same days as the date, nulls included.
            ASSERT_ADS_OK(run_code(std::string("UPDATE ") + table + " SET Vence = Dia"));
            // A deleted record stays in the tags until a pack, and is no row.
            ASSERT_ADS_OK(run_code(std::string("DELETE FROM ") + table + " WHERE Id = 8"));
        }
        for (const char* tag :
             {"ByCode ON Tagged (Code)", "ByName ON Tagged (Name)", "ByQty ON Tagged (Qty DESC)",
              "ByPrice ON Tagged (Price)", "ByDia ON Tagged (Dia)",
              "ByQuando ON Tagged (Quando DESC)", "ByVence ON Tagged (Vence)"}) {
            ASSERT_ADS_OK(run_code(std::string("CREATE INDEX ") + tag));
        }
    }

    std::string plan(const std::string& query) {
        std::string details;
        for (const auto& row : rows(run("EXPLAIN QUERY PLAN " + query))) {
            details += row.back() + ";";
        }
        return details;
    }

    static std::string on(const char* table, const std::string& tail) {
        return std::string("SELECT Id FROM ") + table + " WHERE " + tail;
    }

    static Rows sorted(Rows rows) {
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

TEST_F(SqlRanges, ARangeReadsTheTagAndFindsWhatAScanFinds) {
    const char* conditions[] = {
        // text: ends inside, between and outside the values, blanks, a value longer than
        // the field, an empty range and one with its ends the wrong way round
        "Code > 'B'",
        "Code >= 'B2'",
        "Code < 'B2'",
        "Code <= 'B2'",
        "Code BETWEEN 'B' AND 'B5'",
        "Code > 'Z'",
        "Code BETWEEN 'C' AND 'A'",
        "Code > ''",
        "Code <= ''",
        "Code > 'B10   '",
        "Code < 'B1000000000'",
        "Code >= 'B1000000000'",
        "Code > 5",
        "Code >= NULL",
        // case-free text
        "Name >= 'beta'",
        "Name < 'C'",
        "Name BETWEEN 'b' AND 'E'",
        // numbers on a falling tag, texts that read as numbers and one that does not
        "Qty > 0",
        "Qty >= 5",
        "Qty < 5",
        "Qty BETWEEN -3 AND 5",
        "Qty > 4.5",
        "Qty > '4'",
        "Qty < 'x'",
        "Qty > 'x'",
        "Qty < NULL",
        "Price <= 1.5",
        "Price > -2 AND Price < 2",
        // dates: whole days, days with a time, short and odd texts, a number
        "Dia > '2024-01-10'",
        "Dia >= '2024-01-10'",
        "Dia < '2024-02-29'",
        "Dia BETWEEN '2024-01-01' AND '2024-02-29'",
        "Dia >= '2024'",
        "Dia < '2024-01-10x'",
        "Dia <= '2024-01-10 00:00'",
        "Dia > 20240101",
        "Dia > '2024-13-01'",
        // timestamps on a falling tag: milliseconds at both ends of a day
        "Quando >= '2024-01-10 08:00:00'",
        "Quando > '2024-01-10 08:00:00'",
        "Quando < '2024-03-01'",
        "Quando <= '2024-02-29 23:59:59.999'",
        "Quando < '2024-02-29 23:59:59.999'",
        "Quando BETWEEN '2024-01-01' AND '2024-01-10 12:30'",
        "Quando > '2024-03-01 00:00:00'",
        // several comparisons: the tighter end counts, another column is checked as well
        "Qty > 0 AND Qty > 6",
        "Code > 'A' AND Code < 'C' AND Qty < 10",
        "Dia >= '2024-01-01' AND Quando < '2024-02-01'",
    };
    for (const char* condition : conditions) {
        SCOPED_TRACE(condition);
        EXPECT_NE(std::string::npos, plan(on("Tagged", condition)).find(":By"))
            << plan(on("Tagged", condition));
        EXPECT_EQ(sorted(rows(run(on("Plain", condition)))),
                  sorted(rows(run(on("Tagged", condition)))));
    }
}

TEST_F(SqlRanges, ATagInTheOrderAskedForGivesTheOrderWithoutASort) {
    struct Case {
        const char* tail;
        const char* column;
    };
    const Case cases[] = {
        {"Code >= 'B' ORDER BY Code", "Code"},
        {"Qty > 0 ORDER BY Qty DESC", "Qty"},
        {"Dia > '2024-01-01' ORDER BY Dia", "Dia"},
        {"Quando > '2024' ORDER BY Quando DESC", "Quando"},
        {"Quando BETWEEN '2024-01-01' AND '2024-12-31' ORDER BY Quando DESC", "Quando"},
        {"1 = 1 ORDER BY Qty DESC", "Qty"},
        {"1 = 1 ORDER BY Dia", "Dia"},
        {"1 = 1 ORDER BY Price", "Price"},
        {"1 = 1 ORDER BY Name", "Name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        auto query = [&](const char* table) {
            return std::string("SELECT ") + c.column + " FROM " + table + " WHERE " + c.tail;
        };
        std::string tagged_plan = plan(query("Tagged"));
        EXPECT_EQ(std::string::npos, tagged_plan.find("ORDER BY")) << tagged_plan;
        // Rows with equal values may come in another order; the values may not.
        EXPECT_EQ(rows(run(query("Plain"))), rows(run(query("Tagged"))));
        EXPECT_EQ(sorted(rows(run(on("Plain", c.tail)))), sorted(rows(run(on("Tagged", c.tail)))));
    }
}

// A compact date is a date stored in fewer bytes: each comparison on it reads its tag as one
// on the date column reads the date's, and finds the same rows.
TEST_F(SqlRanges, ACompactDateColumnUsesItsTagAsADateColumnDoes) {
    const char* comparisons[] = {
        " = '2024-01-10'",
        " = '2024-01-11'",
        " = '2024-01-10 00:00'",
        " = NULL",
        " > '2024-01-10'",
        " >= '2024-01-10'",
        " < '2024-02-29'",
        " <= '2023-12-31'",
        " BETWEEN '2024-01-01' AND '2024-02-29'",
        " BETWEEN '2024-03-01' AND '2024-01-01'",
        " > '2024-13-01'",
        " > 20240101",
        " >= '2024' ORDER BY ",
    };
    for (const char* comparison : comparisons) {
        SCOPED_TRACE(comparison);
        auto query = [&](const char* table, const std::string& column) {
            std::string tail = column + comparison;
            if (tail.ends_with(" ")) {
                tail += column;
            }
            return on(table, tail);
        };
        for (const char* column : {"Dia", "Vence"}) {
            std::string tagged_plan = plan(query("Tagged", column));
            EXPECT_NE(std::string::npos, tagged_plan.find(std::string(":By") + column))
                << tagged_plan;
            EXPECT_EQ(std::string::npos, tagged_plan.find("ORDER BY")) << tagged_plan;
            EXPECT_EQ(sorted(rows(run(query("Plain", column)))),
                      sorted(rows(run(query("Tagged", column)))))
                << column;
        }
        EXPECT_EQ(sorted(rows(run(query("Tagged", "Dia")))),
                  sorted(rows(run(query("Tagged", "Vence")))));
    }
}

// A range reads its stretch of the tag and the records in it, no other: a damaged record
// outside it stops a scan, never the range.
TEST_F(SqlRanges, ARangeOnADateReadsNoRecordOutsideIt) {
    // Record 3 (2023-12-31) is the only one whose price reads "   99.99"; older pages of the
    // file may hold earlier copies of it.
    std::string bytes = read_file(dir_.file("Tagged.adt"));
    const std::string price = "   99.99";
    ASSERT_NE(std::string::npos, bytes.find(price));
    for (auto at = bytes.find(price); at != std::string::npos; at = bytes.find(price, at + 1)) {
        bytes[at + price.size() - 1] ^= 0x01;
    }
    write_file(dir_.file("Tagged.adt"), bytes);

    for (const char* column : {"Dia", "Vence"}) {
        SCOPED_TRACE(column);
        auto query = [&](const char* tail) { return on("Tagged", std::string(column) + tail); };
        EXPECT_EQ((Rows{{"1"}, {"2"}, {"5"}, {"6"}, {"7"}}),
                  sorted(rows(run(query(" >= '2024-01-01'")))));
        EXPECT_EQ((Rows{{"1"}, {"5"}}), sorted(rows(run(query(" = '2024-01-10'")))));
        EXPECT_EQ((Rows{{"1"}, {"2"}, {"5"}}),
                  sorted(rows(run(query(" BETWEEN '2024-01-01' AND '2024-02-29'")))));
        // The same comparison on a value SQLite cannot match to a tag scans every record.
        EXPECT_NE(VE_SUCCESS,
                  run_code(on("Tagged", std::string("+") + column + " >= '2024-01-01'")));
        EXPECT_NE(std::string::npos, last_error_text().find("record 3 does not match"))
            << last_error_text();
    }
}

TEST_F(SqlRanges, BoundParametersAndChangesThroughARangeAreSeen) {
    const std::string query = "SELECT Id FROM Tagged WHERE Code BETWEEN :low AND :high";
    auto between = [&](const char* low, const char* high) {
        ADSHANDLE statement = this->statement();
        EXPECT_ADS_OK(AdsPrepareSQL(statement, u8(query)));
        EXPECT_ADS_OK(AdsSetString(statement, u8("low"), u8(low),
                                   static_cast<UNSIGNED32>(std::string(low).size())));
        EXPECT_ADS_OK(AdsSetString(statement, u8("high"), u8(high),
                                   static_cast<UNSIGNED32>(std::string(high).size())));
        ADSHANDLE cursor = 0;
        EXPECT_ADS_OK(AdsExecuteSQL(statement, &cursor));
        return sorted(rows(cursor));
    };
    EXPECT_EQ((Rows{{"2"}, {"3"}}), between("B", "B4"));
    ASSERT_ADS_OK(run_code("UPDATE Tagged SET Code = 'B3' WHERE Id = 1"));
    ASSERT_ADS_OK(run_code("UPDATE Tagged SET Code = 'Z' WHERE Id = 2"));
    EXPECT_EQ((Rows{{"1"}, {"3"}}), between("B", "B4"));
    // A change made through the range it was found by moves each row once.
    ASSERT_ADS_OK(run_code("UPDATE Tagged SET Code = 'A' || Code WHERE Code >= 'B'"));
    EXPECT_EQ((Rows{{"AB10"}, {"AB3"}, {"AC"}, {"AZ"}, {"Ab2"}}),
              sorted(rows(run("SELECT Code FROM Tagged WHERE Code > 'A1' AND Code < 'B'"))));
    // A delete found through a range removes the rows the range names, by their numbers.
    for (const char* table : {"Tagged", "Plain"}) {
        ASSERT_ADS_OK(run_code(std::string("DELETE FROM ") + table + " WHERE Qty BETWEEN 5 AND 7"));
    }
    EXPECT_EQ(sorted(rows(run("SELECT Id FROM Plain"))),
              sorted(rows(run("SELECT Id FROM Tagged"))));
    EXPECT_EQ((Rows{{"2"}, {"3"}, {"4"}, {"5"}}), sorted(rows(run("SELECT Id FROM Tagged"))));
}

}  // namespace
}  // namespace varelum::engine::testing
