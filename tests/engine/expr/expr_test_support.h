// Shared pieces of the expression tests: a product record and a compact text form of values
// so that tables of cases can state expected results as strings.
#pragma once

#include <charconv>
#include <string>

#include "engine/expr/expression.h"
#include "engine/expr/test_record.h"
#include "engine/format/calendar.h"

namespace varelum::engine::test {

// "C:'abc'", "N:12.5", "D:20201231" (D:empty), "L:T", "T:20201231 10:00:00"; a null value
// gets the prefix "null ".
inline std::string render(const expr::Value& v) {
    std::string out = v.is_null ? "null " : "";
    switch (v.type) {
        case expr::ValueType::Character:
            return out + "C:'" + v.text + "'";
        case expr::ValueType::Numeric: {
            char buffer[64];
            auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v.number);
            return out + "N:" + std::string(buffer, end);
        }
        case expr::ValueType::Date:
            return out + "D:" + (v.julian_day == 0 ? "empty" : format::format_dtos(v.julian_day));
        case expr::ValueType::Logical:
            return out + (v.logical ? "L:T" : "L:F");
        case expr::ValueType::Timestamp:
            return out + "T:" + (v.julian_day == 0 ? "0" : format::format_dtos(v.julian_day)) +
                   " " + format::format_time(v.milliseconds);
    }
    return "?";
}

inline std::int32_t jd(int y, int m, int d) {
    return format::julian_from_civil(y, m, d);
}

// Code Char(10) "ABC123", Name CIChar(20) "Widget", Price Double 12.5, Qty Integer 7,
// Stock Numeric(8,2) "-3.50", Born Date 2020-12-31, Active Logical .T., Stamp TimeStamp
// 2020-12-31 10:30:00, Note Memo "hello memo", Wide NChar(6) "Çafé", Blank Char(5) null,
// NoQty Integer null, NoDate Date null, Small ShortInt -12, Flag Logical null.
inline TestRecord product_record() {
    TestRecord r;
    r.add("Code", FieldType::String, 10)
        .add("Name", FieldType::CIString, 20)
        .add("Price", FieldType::Double)
        .add("Qty", FieldType::Integer)
        .add("Stock", FieldType::Numeric, 8, 2)
        .add("Born", FieldType::Date)
        .add("Active", FieldType::Logical)
        .add("Stamp", FieldType::TimeStamp)
        .add("Note", FieldType::Memo)
        .add("Wide", FieldType::NChar, 6)
        .add("Blank", FieldType::String, 5)
        .add("NoQty", FieldType::Integer)
        .add("NoDate", FieldType::Date)
        .add("Small", FieldType::ShortInt)
        .add("Flag", FieldType::Logical);
    r.set("Code", "ABC123")
        .set("Name", "Widget")
        .set("Price", 12.5)
        .set("Qty", 7)
        .set("Stock", "-3.50")
        .set("Born", static_cast<double>(jd(2020, 12, 31)))
        .set("Active", 1)
        .set_timestamp("Stamp", jd(2020, 12, 31), (10 * 60 + 30) * 60 * 1000)
        .set("Note", "hello memo")
        .set("Wide",
             "\xC7"
             "af\xE9")
        .set("Small", -12);
    return r;
}

inline expr::Value eval(const TestRecord& record, const std::string& text) {
    expr::CompileOptions options;
    options.settings = record.settings();
    return expr::Expression::compile(text, record.fields(), options).evaluate(record);
}

}  // namespace varelum::engine::test
