#include "engine/sql/tag_range.h"

#include <memory>

#include "engine/core/text.h"
#include "engine/keys/key_encoder.h"
#include "engine/sql/sql_value.h"

namespace varelum::engine::sql {
namespace {

constexpr std::int32_t kLastMillisecond = 86399999;

struct ValueCopy {
    void operator()(sqlite3_value* value) const { sqlite3_value_free(value); }
};

// The key value of an SQL value for the field on one side of a range; nothing when the
// value gives no bound.
std::optional<expr::Value> key_value(const IndexTag& tag, const FieldDescriptor& field,
                                     sqlite3_value* value, bool upper) {
    switch (field.type) {
        case FieldType::String:
        case FieldType::CIString:
            // A number is compared as text only when SQL gives it the column's text affinity;
            // against a number column it is the column that becomes a number, in another
            // order than the tag's.
            if (sqlite3_value_type(value) != SQLITE_TEXT) {
                return std::nullopt;
            }
            return expr::Value::character(
                utf8_to_ansi(reinterpret_cast<const char*>(sqlite3_value_text(value))),
                field.type == FieldType::CIString);
        case FieldType::Date:
        case FieldType::CompactDate:
        case FieldType::TimeStamp:
        case FieldType::ModTime: {
            // The column's values are ISO texts compared byte by byte, so a row on either
            // side of the value has its day on that side of the value's first ten characters.
            if (sqlite3_value_type(value) != SQLITE_TEXT || sqlite3_value_bytes(value) < 10) {
                return std::nullopt;
            }
            std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(value)), 10);
            std::optional<DayAndTime> day = parse_iso(text);
            if (!day || day->julian == 0) {
                return std::nullopt;
            }
            if (tag.layout().segment(0).type == keys::SegmentType::Timestamp) {
                return expr::Value::timestamp(day->julian, upper ? kLastMillisecond : 0);
            }
            return expr::Value::date(day->julian);
        }
        default: {
            // Against a number column a text that reads as a number is compared as that
            // number; one that does not is greater than every number.
            std::unique_ptr<sqlite3_value, ValueCopy> copy(sqlite3_value_dup(value));
            if (!copy) {
                throw std::bad_alloc();
            }
            int type = sqlite3_value_numeric_type(copy.get());
            if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
                return std::nullopt;
            }
            return expr::Value::numeric(sqlite3_value_double(copy.get()));
        }
    }
}

}  // namespace

void TagRange::bound(const IndexTag& tag, const FieldDescriptor& field, sqlite3_value* value,
                     bool upper) {
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        empty_ = true;  // a comparison with null is never true
        return;
    }
    std::optional<expr::Value> bound = key_value(tag, field, value, upper);
    if (!bound) {
        return;
    }
    std::string key;
    try {
        key = keys::encode_key(tag.layout(), *bound);
    } catch (const std::exception&) {
        return;  // no key holds the value: that end stays open
    }
    // A falling tag holds the greatest values first.
    if (upper != tag.layout().descending()) {
        if (!stop_ || keys::compare_keys(key, *stop_) < 0) {
            stop_ = std::move(key);
        }
    } else if (keys::compare_keys(key, start_) > 0) {
        start_ = std::move(key);
    }
    if (stop_ && keys::compare_keys(start_, *stop_) > 0) {
        empty_ = true;
    }
}

bool TagRange::past_end(std::string_view key) const {
    return stop_ && keys::compare_keys(key, *stop_) > 0;
}

}  // namespace varelum::engine::sql
