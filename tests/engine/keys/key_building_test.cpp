// Building keys: the length limit, partial keys as prefixes, seek texts, keys of records
// through their expression, index entries, collations by name and key stepping.
#include <gtest/gtest.h>

#include "engine/expr/expr_test_support.h"
#include "engine/keys/key_encoder.h"
#include "engine/keys/key_error.h"

namespace varelum::engine::test {
namespace {

using expr::Value;
using keys::KeyBuffer;
using keys::KeyLayout;
using keys::KeySegment;
using keys::SegmentType;

keys::KeyErrorCode error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const keys::KeyError& e) {
        return e.code();
    }
    ADD_FAILURE() << "no KeyError";
    return keys::KeyErrorCode::KeyTooLong;
}

TEST(KeyLength, AtMost480Bytes) {
    KeyLayout fits({{SegmentType::Character, 479, false}}, nullptr, false);
    EXPECT_EQ(fits.key_length(), 480u);
    EXPECT_EQ(fits.entry_length(), 484u);
    EXPECT_EQ(error_of([] {
                  KeyLayout({{SegmentType::Character, 480, false}}, nullptr, false);
              }),
              keys::KeyErrorCode::KeyTooLong);
    EXPECT_EQ(error_of([] {
                  KeyLayout({{SegmentType::Character, 400, false},
                             {SegmentType::Numeric},
                             {SegmentType::Character, 80, false}},
                            nullptr, false);
              }),
              keys::KeyErrorCode::KeyTooLong);
    try {
        KeyLayout({{SegmentType::Character, 4000000000u, false}}, nullptr, false);
    } catch (const keys::KeyError& e) {
        EXPECT_STREQ(e.what(), "index key too long: more than the 480 bytes a key may have");
    }
    // An expression whose text is too wide for a key.
    TestRecord record;
    record.add("A", FieldType::String, 300)
        .add("B", FieldType::String, 200)
        .add("M", FieldType::Memo);
    auto wide = expr::Expression::compile("A + B", record.fields());
    EXPECT_EQ(error_of([&] { KeyLayout::for_expression(wide.result_type(), nullptr, false); }),
              keys::KeyErrorCode::KeyTooLong);
    auto memo = expr::Expression::compile("M", record.fields());
    EXPECT_EQ(error_of([&] { KeyLayout::for_expression(memo.result_type(), nullptr, false); }),
              keys::KeyErrorCode::UnsupportedSegment);
    EXPECT_EQ(
        error_of([&] { KeyLayout::for_fields(std::span(&record.field("M"), 1), nullptr, false); }),
        keys::KeyErrorCode::UnsupportedSegment);
    // The same text wrapped in LEFT fits.
    auto cut = expr::Expression::compile("LEFT(A + B, 100)", record.fields());
    EXPECT_EQ(KeyLayout::for_expression(cut.result_type(), nullptr, false).key_length(), 101u);
}

TEST(PartialKeys, ArePrefixesOfTheKeysTheyFind) {
    for (bool descending : {false, true}) {
        for (const char* collation : {"ANSI", "GENERAL_VFP_CI_AS_1252", "de"}) {
            KeyLayout layout(
                {{SegmentType::Character, 4, false}, {SegmentType::Character, 6, true}},
                keys::Collation::open(collation), descending);
            auto whole = [&](const char* a, const char* b) {
                std::vector<Value> v{Value::character(a), Value::character(b, true)};
                return keys::encode_key(layout, v);
            };
            KeyBuffer first(layout);
            first.set_value(0, Value::character("Ab"));
            const std::string ab = first.partial_key();
            EXPECT_TRUE(keys::key_has_prefix(whole("Ab", "x"), ab)) << collation;
            EXPECT_TRUE(keys::key_has_prefix(whole("Abcd", "x"), ab)) << collation;
            EXPECT_FALSE(keys::key_has_prefix(whole("Ac", "x"), ab)) << collation;
            EXPECT_FALSE(keys::key_has_prefix(whole("A", "x"), ab)) << collation;

            KeyBuffer both(layout);
            both.set_value(0, Value::character("Ab"));
            both.set_value(1, Value::character("STR"));
            const std::string ab_str = both.partial_key();
            EXPECT_TRUE(keys::key_has_prefix(whole("Ab  ", "strasse"), ab_str)) << collation;
            EXPECT_TRUE(keys::key_has_prefix(whole("Ab", "Str"), ab_str)) << collation;
            EXPECT_FALSE(keys::key_has_prefix(whole("Abc", "str"), ab_str)) << collation;
            // The whole key of a buffer is the key of the padded values.
            EXPECT_EQ(both.whole_key(), whole("Ab", "STR")) << collation;
        }
    }
}

TEST(PartialKeys, SeekOrderFindsTheFirstMatch) {
    // A soft seek lands on the first entry not below the partial key: the first match.
    KeyLayout layout({{SegmentType::Character, 5, false}}, nullptr, false);
    std::vector<std::string> entries;
    const char* names[] = {"Ana", "Bea", "Beatr", "Ben", "Abe", "Be", "Car"};
    for (std::uint32_t i = 0; i < std::size(names); ++i) {
        entries.push_back(
            keys::make_index_entry(keys::encode_key(layout, Value::character(names[i])), i + 1));
    }
    std::sort(entries.begin(), entries.end());
    KeyBuffer buffer(layout);
    buffer.set_value(0, Value::character("Be"));
    std::string seek = buffer.partial_key();
    auto it = std::lower_bound(entries.begin(), entries.end(), seek);
    ASSERT_NE(it, entries.end());
    EXPECT_EQ(keys::entry_record_number(*it), 6u);  // "Be" itself sorts first
    std::vector<std::uint32_t> matches;
    for (; it != entries.end() && keys::key_has_prefix(*it, seek); ++it) {
        matches.push_back(keys::entry_record_number(*it));
    }
    EXPECT_EQ(matches, (std::vector<std::uint32_t>{6, 2, 3, 4}));
    auto end = keys::prefix_successor(seek);
    ASSERT_TRUE(end);
    EXPECT_EQ(std::lower_bound(entries.begin(), entries.end(), *end) - entries.begin(), 6);
}

TEST(SeekText, FillsSegmentsInOrder) {
    expr::ExpressionSettings settings;
    settings.date_format = "MM/dd/ccyy";
    KeyLayout two({{SegmentType::Character, 3, false}, {SegmentType::Character, 4, false}}, nullptr,
                  false);
    std::vector<Value> abc_de{Value::character("ABC"), Value::character("DE")};
    EXPECT_EQ(keys::key_from_text(two, "ABCDE", false, settings), keys::encode_key(two, abc_de));
    std::string partial = keys::key_from_text(two, "ABCDE", true, settings);
    EXPECT_TRUE(keys::key_has_prefix(keys::encode_key(two, abc_de), partial));
    EXPECT_LT(partial.size(), two.key_length());
    // Text that fills the key is a whole key even when partial is asked for.
    EXPECT_EQ(keys::key_from_text(two, "ABCDEFG", true, settings).size(), two.key_length());

    KeyLayout number({{SegmentType::Numeric}}, nullptr, false);
    EXPECT_EQ(keys::key_from_text(number, " 12.50 ", false, settings),
              keys::encode_key(number, Value::numeric(12.5)));
    KeyLayout date({{SegmentType::Date}}, nullptr, false);
    const Value last = Value::date(jd(2020, 12, 31));
    EXPECT_EQ(keys::key_from_text(date, "20201231", false, settings), keys::encode_key(date, last));
    EXPECT_EQ(keys::key_from_text(date, "12/31/2020", false, settings),
              keys::encode_key(date, last));
    KeyLayout stamp({{SegmentType::Timestamp}}, nullptr, false);
    EXPECT_EQ(keys::key_from_text(stamp, "12/31/2020 10:00:00", false, settings),
              keys::encode_key(stamp, Value::timestamp(last.julian_day, 36000000)));
    KeyLayout flag({{SegmentType::Logical}}, nullptr, false);
    EXPECT_EQ(keys::key_from_text(flag, ".T.", false, settings),
              keys::encode_key(flag, Value::boolean(true)));
    KeyLayout mixed({{SegmentType::Character, 2, false}, {SegmentType::Numeric}}, nullptr, false);
    std::vector<Value> xy_7{Value::character("XY"), Value::numeric(7)};
    EXPECT_EQ(keys::key_from_text(mixed, "XY7", false, settings), keys::encode_key(mixed, xy_7));

    // Segment by segment, as a seek sets the fields of an index from texts.
    KeyBuffer by_segment(mixed);
    by_segment.set_value(0, keys::segment_value_of_text(SegmentType::Character, "XY", settings));
    by_segment.set_value(1, keys::segment_value_of_text(SegmentType::Numeric, "7", settings));
    EXPECT_EQ(by_segment.whole_key(), keys::encode_key(mixed, xy_7));

    // Only the leading segment set: the whole key of that segment alone, a prefix of every key
    // that starts with it; a later segment set empty is keyed as empty.
    KeyBuffer leading(mixed);
    leading.set_value(0, keys::segment_value_of_text(SegmentType::Character, "XY", settings));
    EXPECT_TRUE(keys::key_has_prefix(keys::encode_key(mixed, xy_7), leading.whole_key()));
    EXPECT_LT(leading.whole_key().size(), keys::encode_key(mixed, xy_7).size());
    leading.set_null(1);
    EXPECT_EQ(leading.whole_key().size(), keys::encode_key(mixed, xy_7).size());

    EXPECT_EQ(error_of([&] { keys::key_from_text(number, "12a", false, settings); }),
              keys::KeyErrorCode::InvalidKeyText);
    EXPECT_EQ(error_of([&] { keys::key_from_text(date, "31/31/2020", false, settings); }),
              keys::KeyErrorCode::InvalidKeyText);
    EXPECT_EQ(error_of([&] { keys::key_from_text(flag, "maybe", false, settings); }),
              keys::KeyErrorCode::InvalidKeyText);
}

TEST(RecordKeys, ExpressionAndFieldKeysAgree) {
    TestRecord record = product_record();
    // A field-list index and an expression index over the same field give the same key.
    KeyLayout by_field = KeyLayout::for_fields(std::span(&record.field("Name"), 1), nullptr, false);
    auto name = expr::Expression::compile("name", record.fields());
    KeyLayout by_expression = KeyLayout::for_expression(name.result_type(), nullptr, false);
    EXPECT_EQ(by_field.key_length(), 21u);
    EXPECT_EQ(keys::encode_key(by_field, name.evaluate(record)),
              keys::encode_key(by_expression, name.evaluate(record)));
    // CIChar keys fold case, so a seek for any spelling finds the record.
    KeyBuffer seek(by_field);
    seek.set_value(0, Value::character("WIDGET"));
    EXPECT_EQ(seek.whole_key(), keys::encode_key(by_field, name.evaluate(record)));

    // A multi-field key from the record's values; null fields get the null marker.
    std::vector<FieldDescriptor> segment_fields{record.field("Code"), record.field("NoQty"),
                                                record.field("Born")};
    KeyLayout multi = KeyLayout::for_fields(segment_fields, nullptr, false);
    std::vector<Value> values;
    for (const FieldDescriptor& f : segment_fields) {
        values.push_back(expr::decode_field_value(f, record.record_image(), &record));
    }
    std::string key = keys::encode_key(multi, values);
    EXPECT_EQ(key.size(), 11u + 9u + 5u);
    EXPECT_EQ(key[multi.segment_offset(1)], '\0');  // NoQty is null
    EXPECT_EQ(key[multi.segment_offset(2)], '\x01');

    // Type mismatches are refused.
    EXPECT_EQ(error_of([&] { keys::encode_key(by_field, Value::numeric(1)); }),
              keys::KeyErrorCode::ValueTypeMismatch);
    EXPECT_EQ(error_of([&] { seek.set_value(3, Value::character("x")); }),
              keys::KeyErrorCode::SegmentOutOfRange);
    EXPECT_EQ(error_of([&] { keys::encode_key(multi, values[0]); }),
              keys::KeyErrorCode::SegmentOutOfRange);
}

TEST(IndexEntries, CarryTheRecordNumberAfterTheKey) {
    KeyLayout layout({{SegmentType::Numeric}}, nullptr, true);
    std::string key = keys::encode_key(layout, Value::numeric(3));
    std::string first = keys::make_index_entry(key, 2);
    std::string second = keys::make_index_entry(key, 0x01020304);
    EXPECT_EQ(keys::entry_record_number(second), 0x01020304u);
    EXPECT_EQ(keys::entry_key(second), key);
    // Equal keys keep record order, also in a descending index.
    EXPECT_LT(keys::compare_keys(first, second), 0);
    EXPECT_EQ(second.substr(key.size()), std::string("\x01\x02\x03\x04"));
}

TEST(KeySteps, NextAndPreviousKeysAndPrefixEnds) {
    std::string key("\x01\xFF", 2);
    ASSERT_TRUE(keys::step_key(key, 1));
    EXPECT_EQ(key, std::string("\x02\x00", 2));
    ASSERT_TRUE(keys::step_key(key, -1));
    EXPECT_EQ(key, std::string("\x01\xFF", 2));
    std::string top("\xFF\xFF", 2);
    EXPECT_FALSE(keys::step_key(top, 1));
    std::string bottom("\x00\x00", 2);
    EXPECT_FALSE(keys::step_key(bottom, -1));
    EXPECT_EQ(keys::prefix_successor(std::string("a\xFF", 2)), std::string("b"));
    EXPECT_FALSE(keys::prefix_successor(""));
    EXPECT_FALSE(keys::prefix_successor("\xFF"));
}

TEST(Collations, AcceptedNamesAndTheirRules) {
    EXPECT_TRUE(keys::Collation::open("")->is_builtin());
    EXPECT_TRUE(keys::Collation::open("ansi")->is_builtin());
    EXPECT_TRUE(keys::Collation::open("OEM")->is_builtin());
    EXPECT_FALSE(keys::Collation::open("GENERAL_VFP_CI_AS_1252")->is_builtin());
    EXPECT_FALSE(keys::Collation::open("czech_vfp_ci_as_1250")->is_builtin());
    EXPECT_FALSE(keys::Collation::open("pt_BR")->is_builtin());
    for (const char* bad :
         {"KLINGON_VFP_CI_AS_1252", "GENERAL_XYZ_CI_AS_1252", "GENERAL_VFP_CI_AS", "zz_ZZ", "12"}) {
        EXPECT_EQ(error_of([&] { keys::Collation::open(bad); }),
                  keys::KeyErrorCode::UnknownCollation)
            << bad;
    }
    auto cs = keys::Collation::open("GENERAL_VFP_CS_AS_1252");
    auto ci = keys::Collation::open("GENERAL_VFP_CI_AS_1252");
    auto ai = keys::Collation::open("GENERAL_VFP_CI_AI_1252");
    EXPECT_NE(cs->compare("abc", "ABC", false), 0);
    EXPECT_EQ(cs->compare("abc", "ABC", true), 0);  // a CIChar value folds case anyway
    EXPECT_EQ(ci->compare("abc", "ABC", false), 0);
    EXPECT_NE(ci->compare("abc",
                          "\xE1"
                          "bc",
                          false),
              0);
    EXPECT_EQ(ai->compare("abc",
                          "\xC1"
                          "BC",
                          false),
              0);
    EXPECT_EQ(ci->compare("abc  ", "abc", false), 0);  // trailing blanks do not count
    // The collation also orders expression comparisons.
    TestRecord record = product_record();
    record.mutable_settings().collation = ci.get();
    record.mutable_settings().exact = true;
    EXPECT_TRUE(eval(record, "Code = 'abc123'").logical);
    EXPECT_TRUE(eval(record, "'\xE1' > 'a' AND '\xE1' < 'b'").logical);
}

}  // namespace
}  // namespace varelum::engine::test
