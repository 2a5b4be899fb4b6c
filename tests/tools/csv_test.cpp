// The CSV reader and writer, and the text forms of dates, times and barcodes, on their own.
#include <gtest/gtest.h>

#include <sstream>

#include "cell_values.h"
#include "csv.h"
#include "demo_store.h"
#include "store_error.h"

namespace varelum::store {
namespace {

std::vector<CsvRow> read_all(const std::string& text) {
    std::istringstream input(text);
    CsvReader reader(input);
    std::vector<CsvRow> rows;
    while (std::optional<CsvRow> row = reader.next()) {
        rows.push_back(*row);
    }
    return rows;
}

using Cells = std::vector<std::string>;

TEST(CsvReaderTest, ReadsRfc4180Rows) {
    struct Case {
        std::string text;
        std::vector<Cells> rows;
        std::vector<std::size_t> lines;
    };
    const std::vector<Case> cases = {
        {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}, {1, 2}},
        {"a,b\nc,d", {{"a", "b"}, {"c", "d"}}, {1, 2}},
        {"a\rb\r", {{"a"}, {"b"}}, {1, 2}},
        {"\"a,b\",\"say \"\"hi\"\"\"\r\n", {{"a,b", "say \"hi\""}}, {1}},
        {"\"two\r\nlines\",x\r\nnext\r\n", {{"two\r\nlines", "x"}, {"next"}}, {1, 3}},
        {"\"lf\nonly\"\n", {{"lf\nonly"}}, {1}},
        {",,\r\n\"\",x\r\n", {{"", "", ""}, {"", "x"}}, {1, 2}},
        {"\r\n\r\na\r\n\r\nb", {{"a"}, {"b"}}, {3, 5}},
        {"\xEF\xBB\xBFname\r\n", {{"name"}}, {1}},
        {" padded , x ", {{" padded ", " x "}}, {1}},
        {"", {}, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        std::vector<CsvRow> rows = read_all(test.text);
        ASSERT_EQ(test.rows.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(test.rows[i], rows[i].cells);
            EXPECT_EQ(test.lines[i], rows[i].line);
        }
    }
}

TEST(CsvReaderTest, MalformedRowsNameTheirLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\r\n\"open,\r\nstill open", "line 2: a quoted value is never closed"},
        {"a\r\nb\"c\r\n", "line 2: a quote inside a value that is not quoted"},
        {"\"a\"b\r\n", "line 1: text after the closing quote of a value"},
        {"\"multi\r\nline\"x\r\n", "line 2: text after the closing quote of a value"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        try {
            read_all(text);
            ADD_FAILURE() << "no error";
        } catch (const StoreError& error) {
            EXPECT_EQ(message, error.what());
        }
    }
}

TEST(CsvWriterTest, QuotesOnlyWhatNeedsIt) {
    std::ostringstream output;
    CsvWriter writer(output);
    writer.write_row({"plain", "a,b", "say \"hi\"", "two\nlines", "", " space "});
    EXPECT_EQ("plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",, space \r\n", output.str());
    // What the writer writes, the reader reads back.
    std::vector<CsvRow> rows = read_all(output.str());
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((Cells{"plain", "a,b", "say \"hi\"", "two\nlines", "", " space "}), rows[0].cells);
}

TEST(CellFormsTest, DatesAndTimes) {
    EXPECT_EQ(2415019, parse_date("1899-12-30"));
    EXPECT_EQ(1721426, parse_date("0001-01-01"));
    EXPECT_EQ("2024-02-29", format_date(*parse_date("2024-02-29")));
    EXPECT_EQ("0001-01-01", format_date(1721426));
    for (const char* bad : {"2023-02-29", "2024-13-01", "2024-1-01", "24-01-01", "2024/01/01", "",
                            "0000-01-01", "2024-01-01x"}) {
        EXPECT_FALSE(parse_date(bad).has_value()) << bad;
    }
    EXPECT_EQ(0, parse_time("00:00"));
    EXPECT_EQ(86399999, parse_time("23:59:59.999"));
    EXPECT_EQ(3723500, parse_time("01:02:03.5"));
    EXPECT_EQ(3723000, parse_time("01:02:03"));
    for (const char* bad :
         {"24:00", "12:60", "12:00:60", "1:00", "12:00:00.", "12:00:00.1234", "12:00:0"}) {
        EXPECT_FALSE(parse_time(bad).has_value()) << bad;
    }
    EXPECT_EQ("23:59:59.999", format_time(86399999));
    EXPECT_EQ("00:00:00.000", format_time(0));
}

TEST(CellFormsTest, Ean13CheckDigit) {
    EXPECT_EQ("4006381333931", ean13("400638133393"));
    EXPECT_EQ("7891000315507", ean13("789100031550"));
    EXPECT_EQ("0000000000000", ean13("000000000000"));
}

}  // namespace
}  // namespace varelum::store
