// Order preservation: random values of each key type, sorted by their raw keys with
// memcmp, must come out in the order of the values themselves; nulls sort first; a
// descending key reverses the order.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "engine/expr/compare.h"
#include "engine/expr/expr_test_support.h"
#include "engine/keys/key_encoder.h"

namespace varelum::engine::test {
namespace {

using expr::Value;
using keys::KeyLayout;
using keys::KeySegment;
using keys::SegmentType;

// Value order as the evaluator sees it with the exact setting on (whole values).
int value_order(const Value& a, const Value& b, const expr::StringCollation& collation) {
    return expr::compare_values(a, b, expr::TextMatch::Whole, collation);
}

struct OrderCase {
    const char* name;
    std::vector<KeySegment> segments;
    bool descending;
    std::function<std::vector<Value>(std::mt19937&)> make;  // one value per segment
};

std::string random_text(std::mt19937& rng, std::size_t max_length) {
    // Letters in both cases with accents, digits, blanks and punctuation, so the weight
    // table is exercised where it differs from byte order.
    static const std::string alphabet =
        "aAbBzZ09 -_.,\xE0\xC0\xE9\xC9\xE7\xC7\xF1\xDF\x8A\x9A\xFF\x9F";
    std::uniform_int_distribution<std::size_t> length(0, max_length);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string s(length(rng), ' ');
    for (char& c : s) {
        c = alphabet[pick(rng)];
    }
    return s;
}

double random_double(std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    switch (kind(rng)) {
        case 0:
            return 0.0;
        case 1:
            return -0.0;
        case 2:
            return unit(rng) * 1e-300;
        case 3:
            return unit(rng) * 1e300;
        case 4:
            return std::numeric_limits<double>::infinity() * (unit(rng) < 0 ? -1 : 1);
        default:
            return unit(rng) * 1000.0;
    }
}

std::vector<OrderCase> order_cases() {
    auto one = [](std::function<Value(std::mt19937&)> f) {
        return [f](std::mt19937& rng) { return std::vector<Value>{f(rng)}; };
    };
    std::vector<OrderCase> cases;
    cases.push_back(
        {"Char", {{SegmentType::Character, 6, false}}, false, one([](std::mt19937& rng) {
             return Value::character(random_text(rng, 6));
         })});
    cases.push_back(
        {"CIChar", {{SegmentType::Character, 6, true}}, false, one([](std::mt19937& rng) {
             return Value::character(random_text(rng, 6), true);
         })});
    cases.push_back({"Integer", {{SegmentType::Numeric}}, false, one([](std::mt19937& rng) {
                         std::uniform_int_distribution<std::int32_t> d(INT32_MIN + 1, INT32_MAX);
                         return Value::numeric(d(rng));
                     })});
    cases.push_back({"Double", {{SegmentType::Numeric}}, false, one([](std::mt19937& rng) {
                         return Value::numeric(random_double(rng));
                     })});
    cases.push_back({"Date", {{SegmentType::Date}}, false, one([](std::mt19937& rng) {
                         std::uniform_int_distribution<std::int32_t> d(0, 5373484);
                         return Value::date(d(rng));
                     })});
    cases.push_back({"Timestamp", {{SegmentType::Timestamp}}, false, one([](std::mt19937& rng) {
                         std::uniform_int_distribution<std::int32_t> day(2450000, 2450010);
                         std::uniform_int_distribution<std::int32_t> ms(0, 86399999);
                         return Value::timestamp(day(rng), ms(rng));
                     })});
    cases.push_back({"Logical", {{SegmentType::Logical}}, false, one([](std::mt19937& rng) {
                         return Value::boolean(rng() % 2 == 0);
                     })});
    cases.push_back(
        {"DescendingChar", {{SegmentType::Character, 5, false}}, true, one([](std::mt19937& rng) {
             return Value::character(random_text(rng, 5));
         })});
    cases.push_back({"DescendingDouble", {{SegmentType::Numeric}}, true, one([](std::mt19937& rng) {
                         return Value::numeric(random_double(rng));
                     })});
    cases.push_back(
        {"MultiSegment",
         {{SegmentType::Character, 2, false}, {SegmentType::Numeric}, {SegmentType::Date}},
         false,
         [](std::mt19937& rng) {
             std::uniform_int_distribution<int> small(0, 3);
             return std::vector<Value>{Value::character(random_text(rng, 1)),
                                       Value::numeric(small(rng) - 1.5),
                                       Value::date(2450000 + small(rng))};
         }});
    return cases;
}

int compare_tuples(const std::vector<Value>& a, const std::vector<Value>& b,
                   const expr::StringCollation& collation) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (int c = value_order(a[i], b[i], collation); c != 0) {
            return c;
        }
    }
    return 0;
}

TEST(KeyOrder, MemcmpOrderIsValueOrderForEveryType) {
    std::mt19937 rng(20240611);
    for (const OrderCase& c : order_cases()) {
        KeyLayout layout(c.segments, keys::Collation::ansi(), c.descending);
        std::vector<std::pair<std::string, std::vector<Value>>> entries;
        for (int i = 0; i < 400; ++i) {
            std::vector<Value> values = c.make(rng);
            std::string key = keys::encode_key(layout, values);
            ASSERT_EQ(key.size(), layout.key_length()) << c.name;
            entries.emplace_back(std::move(key), std::move(values));
        }
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return keys::compare_keys(a.first, b.first) < 0;
        });
        const expr::StringCollation& collation = layout.collation();
        for (std::size_t i = 1; i < entries.size(); ++i) {
            int by_value = compare_tuples(entries[i - 1].second, entries[i].second, collation);
            int by_key = keys::compare_keys(entries[i - 1].first, entries[i].first);
            if (c.descending) {
                by_value = -by_value;
            }
            ASSERT_LE(by_value, 0) << c.name << ": " << render(entries[i - 1].second[0])
                                   << " before " << render(entries[i].second[0]);
            // Equal keys exactly for equal values.
            ASSERT_EQ(by_key == 0, by_value == 0)
                << c.name << ": " << render(entries[i - 1].second[0]) << " / "
                << render(entries[i].second[0]);
        }
    }
}

TEST(KeyOrder, FieldValuesFromRecordImagesKeepTheirOrder) {
    // NChar, Numeric text, Integer and ShortInt fields keyed through the record decoder.
    std::mt19937 rng(7);
    TestRecord record;
    record.add("W", FieldType::NChar, 4)
        .add("N", FieldType::Numeric, 9, 2)
        .add("I", FieldType::Integer)
        .add("S", FieldType::ShortInt);
    for (const char* name : {"W", "N", "I", "S"}) {
        const FieldDescriptor& field = record.field(name);
        KeyLayout layout =
            KeyLayout::for_fields(std::span(&field, 1), keys::Collation::ansi(), false);
        std::vector<std::pair<std::string, Value>> entries;
        for (int i = 0; i < 300; ++i) {
            std::uniform_int_distribution<int> d(-30000, 30000);
            switch (field.type) {
                case FieldType::NChar:
                    record.set(name, random_text(rng, 4));
                    break;
                case FieldType::Numeric: {
                    char text[32];
                    std::snprintf(text, sizeof text, "%.2f", d(rng) / 100.0);
                    record.set(name, std::string(text));
                    break;
                }
                default:
                    record.set(name, static_cast<double>(d(rng)));
                    break;
            }
            Value v = expr::decode_field_value(field, record.record_image(), &record);
            entries.emplace_back(keys::encode_key(layout, v), v);
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 1; i < entries.size(); ++i) {
            ASSERT_LE(value_order(entries[i - 1].second, entries[i].second, expr::ansi_collation()),
                      0)
                << name << ": " << render(entries[i - 1].second) << " before "
                << render(entries[i].second);
        }
    }
}

TEST(KeyOrder, NullsSortFirst) {
    struct NullCase {
        KeySegment segment;
        Value lowest;
    };
    const NullCase cases[] = {
        {{SegmentType::Character, 3, false}, Value::character("")},
        {{SegmentType::Character, 3, false}, Value::character(std::string(3, '\0'))},
        {{SegmentType::Numeric}, Value::numeric(-std::numeric_limits<double>::infinity())},
        {{SegmentType::Date}, Value::date(0)},
        {{SegmentType::Timestamp}, Value::timestamp(0, 0)},
        {{SegmentType::Logical}, Value::boolean(false)},
    };
    for (const NullCase& c : cases) {
        KeyLayout layout({c.segment}, nullptr, false);
        std::string null_key = keys::encode_key(layout, Value::null_of(c.lowest.type));
        std::string low_key = keys::encode_key(layout, c.lowest);
        EXPECT_LT(keys::compare_keys(null_key, low_key), 0) << render(c.lowest);
        EXPECT_EQ(null_key.size(), low_key.size());
    }
}

TEST(KeyOrder, TheAnsiWeightsArePermutationAndFoldCase) {
    const auto& cs = expr::AnsiCollation::weights(false);
    const auto& ci = expr::AnsiCollation::weights(true);
    std::vector<bool> seen(256, false);
    for (int b = 0; b < 256; ++b) {
        EXPECT_FALSE(seen[cs[b]]) << "weight of byte " << b << " repeated";
        seen[cs[b]] = true;
    }
    const std::pair<unsigned char, unsigned char> pairs[] = {
        {'A', 'a'}, {'Z', 'z'}, {0xC0, 0xE0}, {0xC7, 0xE7}, {0x8A, 0x9A}, {0x9F, 0xFF}};
    for (auto [upper, lower] : pairs) {
        EXPECT_EQ(ci[upper], ci[lower]);
        EXPECT_EQ(cs[upper] + 1, cs[lower]);  // the capital just before its small letter
    }
    // Dictionary-like: blank < digits < letters; accents follow their letter, before the next.
    EXPECT_LT(cs[' '], cs['0']);
    EXPECT_LT(cs['9'], cs['A']);
    EXPECT_LT(cs['a'], cs[0xE1]);  // a < á
    EXPECT_LT(cs[0xE1], cs['B']);  // á < B
    EXPECT_LT(cs['c'], cs[0xE7]);  // c < ç < d
    EXPECT_LT(cs[0xE7], cs['d']);
    EXPECT_NE(ci['A'], ci[0xC1]);  // accents still count case-insensitively
}

TEST(KeyOrder, IcuCollationKeysFollowTheCollator) {
    auto german = keys::Collation::open("GERMAN_VFP_CI_AS_1252");
    KeyLayout layout({{SegmentType::Character, 8, false}}, german, false);
    std::mt19937 rng(3);
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 300; ++i) {
        std::string text = random_text(rng, 8);
        entries.emplace_back(keys::encode_key(layout, Value::character(text)), text);
    }
    std::sort(entries.begin(), entries.end());
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i - 1].first == entries[i].first) {
            continue;  // a key cut to its width may tie texts the collator tells apart
        }
        ASSERT_LE(german->compare(entries[i - 1].second, entries[i].second, false), 0)
            << entries[i - 1].second << " before " << entries[i].second;
    }
    // Case-insensitive by name: case variants share a key.
    EXPECT_EQ(keys::encode_key(layout, Value::character("Stra\xDF"
                                                        "e")),
              keys::encode_key(layout, Value::character("STRA\xDF"
                                                        "E")));
}

}  // namespace
}  // namespace varelum::engine::test
