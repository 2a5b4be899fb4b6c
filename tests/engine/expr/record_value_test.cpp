// Field values out of ADT record images: every field type's bytes and null marker.
#include <gtest/gtest.h>

#include "engine/expr/expr_test_support.h"
#include "engine/expr/record_value.h"
#include "engine/expr/value_text.h"
#include "engine/format/field_image.h"

namespace varelum::engine::test {
namespace {

expr::Value read(const TestRecord& r, const std::string& name) {
    return expr::decode_field_value(r.field(name), r.record_image(), &r);
}

TEST(RecordValue, DecodesEveryFieldType) {
    TestRecord r;
    r.add("L", FieldType::Logical)
        .add("N", FieldType::Numeric, 7, 2)
        .add("D", FieldType::Date)
        .add("S", FieldType::String, 6)
        .add("CI", FieldType::CIString, 4)
        .add("CD", FieldType::CompactDate)
        .add("DB", FieldType::Double)
        .add("I", FieldType::Integer)
        .add("SI", FieldType::ShortInt)
        .add("TM", FieldType::Time)
        .add("TS", FieldType::TimeStamp)
        .add("AI", FieldType::AutoInc)
        .add("RW", FieldType::Raw, 3)
        .add("CU", FieldType::CurDouble)
        .add("MO", FieldType::Money)
        .add("RV", FieldType::RowVersion)
        .add("MT", FieldType::ModTime)
        .add("VC", FieldType::VarCharFox, 8)
        .add("VB", FieldType::VarBinaryFox, 4)
        .add("NC", FieldType::NChar, 3)
        .add("NV", FieldType::NVarChar, 5)
        .add("ME", FieldType::Memo)
        .add("NM", FieldType::NMemo);
    r.set("L", 1)
        .set("N", "-12.25")
        .set("D", static_cast<double>(2415019))
        .set("S", "ab")
        .set("CI", "Xy")
        .set_compact_date("CD", 2021, 3, 4)
        .set("DB", -0.5)
        .set("I", -2000000000)
        .set("SI", 32000)
        .set("TM", 3723004)
        .set_timestamp("TS", 2458204, 1000)
        .set("AI", 42)
        .set("RW", std::string("a\0b", 3))
        .set("CU", 1.25)
        .set("MO", 12.3456)
        .set("RV", 9007199254740993.0)
        .set_timestamp("MT", 2458204, 0)
        .set("VC", "abc")
        .set("VB", "xy")
        .set("NC", "\xE9t\xE9")
        .set("NV", "ab")
        .set("ME", "memo text")
        .set("NM", std::string("h\0i\0", 4));
    const std::pair<const char*, const char*> expected[] = {
        {"L", "L:T"},
        {"N", "N:-12.25"},
        {"D", "D:18991230"},
        {"S", "C:'ab    '"},
        {"CI", "C:'Xy  '"},
        {"CD", "D:20210304"},
        {"DB", "N:-0.5"},
        {"I", "N:-2e+09"},
        {"SI", "N:32000"},
        {"TM", "T:0 01:02:03.004"},
        {"TS", "T:20180326 00:00:01"},
        {"AI", "N:42"},
        {"CU", "N:1.25"},
        {"MO", "N:12.3456"},
        {"MT", "T:20180326 00:00:00"},
        {"VC", "C:'abc'"},
        {"VB", "C:'xy'"},
        {"NC", "C:'\xE9t\xE9'"},
        {"NV", "C:'ab'"},
        {"ME", "C:'memo text'"},
        {"NM", "C:'hi'"},
    };
    for (const auto& [name, text] : expected) {
        EXPECT_EQ(render(read(r, name)), text) << name;
    }
    EXPECT_TRUE(read(r, "CI").case_insensitive);
    EXPECT_EQ(read(r, "RW").text, std::string("a\0b", 3));
    EXPECT_EQ(read(r, "RV").number, 9007199254740992.0);  // the nearest double
}

TEST(RecordValue, NullMarkersReadAsNulls) {
    const FieldType types[] = {
        FieldType::Logical,  FieldType::Numeric,     FieldType::Date,         FieldType::String,
        FieldType::CIString, FieldType::CompactDate, FieldType::Double,       FieldType::Integer,
        FieldType::ShortInt, FieldType::Time,        FieldType::TimeStamp,    FieldType::AutoInc,
        FieldType::Raw,      FieldType::CurDouble,   FieldType::Money,        FieldType::RowVersion,
        FieldType::ModTime,  FieldType::VarCharFox,  FieldType::VarBinaryFox, FieldType::NChar,
        FieldType::NVarChar, FieldType::Memo,        FieldType::NMemo,        FieldType::Binary};
    TestRecord r;
    int n = 0;
    for (FieldType t : types) {
        r.add("F" + std::to_string(n++), t);
    }
    for (const FieldDescriptor& f : r.fields()) {
        EXPECT_TRUE(format::is_null(f, r.record_image().data())) << f.name;
        expr::Value v = expr::decode_field_value(f, r.record_image(), &r);
        EXPECT_TRUE(v.is_null) << f.name;
        EXPECT_TRUE(v.is_empty()) << f.name;
    }
}

TEST(RecordValue, ValuesThatLookEmptyAreNotNull) {
    TestRecord r;
    r.add("S", FieldType::String, 3)
        .add("I", FieldType::Integer)
        .add("D", FieldType::Double)
        .add("L", FieldType::Logical)
        .add("V", FieldType::VarCharFox, 3);
    r.set("S", "").set("I", 0.0).set("D", 0.0).set("L", 0.0).set("V", "");
    for (const FieldDescriptor& f : r.fields()) {
        expr::Value v = expr::decode_field_value(f, r.record_image(), &r);
        EXPECT_FALSE(v.is_null) << f.name;
        EXPECT_TRUE(v.is_empty()) << f.name;
    }
    // A text cut by a zero byte keeps its width.
    EXPECT_EQ(read(r, "S").text, "   ");
}

TEST(RecordValue, NumericTextThatIsNoNumberReadsAsZero) {
    TestRecord r;
    r.add("N", FieldType::Numeric, 5);
    r.set("N", "1x3");
    EXPECT_EQ(render(read(r, "N")), "N:0");
    EXPECT_EQ(format::parse_decimal_text(" 1.5 "), 1.5);
    EXPECT_EQ(format::parse_decimal_text("+2"), 2.0);
    EXPECT_FALSE(format::parse_decimal_text("1,5"));
    EXPECT_FALSE(format::parse_decimal_text("."));
    EXPECT_FALSE(format::parse_decimal_text(""));
}

TEST(RecordValue, RefusesAFieldOutsideTheImage) {
    TestRecord r;
    r.add("S", FieldType::String, 4);
    FieldDescriptor beyond = r.field("S");
    beyond.offset = 2;
    EXPECT_THROW(expr::decode_field_value(beyond, r.record_image()), std::invalid_argument);
    FieldDescriptor system = r.field("S");
    system.type = FieldType::System;
    EXPECT_THROW(expr::decode_field_value(system, r.record_image()), std::invalid_argument);
}

}  // namespace
}  // namespace varelum::engine::test

namespace varelum::engine::test {
namespace {

TEST(ImageRecordAccess, EvaluatesOnABufferWithItsOwnBlobReader) {
    TestRecord table = product_record();
    std::vector<std::uint8_t> buffer(table.record_image().begin(), table.record_image().end());
    expr::ExpressionSettings settings;
    settings.exact = true;
    expr::ImageRecord record(buffer, settings, [](const FieldDescriptor& f) {
        return std::optional<std::string>(f.name == "Note" ? "from the buffer" : "");
    });
    auto e =
        expr::Expression::compile("Code = 'ABC123' AND Note = 'from the buffer'", table.fields());
    EXPECT_TRUE(e.evaluate_logical(record));
    settings.exact = false;  // the record access reads the settings at each evaluation
    EXPECT_TRUE(expr::Expression::compile("Code = 'AB'", table.fields()).evaluate_logical(record));
}

TEST(ValueText, EveryTypeAsText) {
    expr::ExpressionSettings settings;
    settings.date_format = "dd/MM/yyyy";
    EXPECT_EQ(expr::value_text(expr::Value::character("ab "), settings), "ab ");
    EXPECT_EQ(expr::value_text(expr::Value::numeric(-12.5), settings), "-12.5");
    EXPECT_EQ(expr::value_text(expr::Value::numeric(3), settings), "3");
    EXPECT_EQ(expr::value_text(expr::Value::date(jd(2020, 12, 31)), settings), "31/12/2020");
    EXPECT_EQ(expr::value_text(expr::Value::date(0), settings), "  /  /    ");
    EXPECT_EQ(expr::value_text(expr::Value::boolean(true), settings), "T");
    EXPECT_EQ(expr::value_text(expr::Value::timestamp(jd(2020, 1, 2), 3723004), settings),
              "02/01/2020 01:02:03.004");
    EXPECT_EQ(expr::value_text(expr::Value::timestamp(0, 60000), settings), "00:01:00");
}

}  // namespace
}  // namespace varelum::engine::test
