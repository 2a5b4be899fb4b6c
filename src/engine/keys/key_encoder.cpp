// Raw key encoding of values, key buffers, seek texts and index entries.
#include "engine/keys/key_encoder.h"
#include "engine/expr/ascii.h"

#include <bit>
#include <cstring>

#include "engine/expr/record_value.h"
#include "engine/format/calendar.h"
#include "engine/format/coding.h"
#include "engine/format/field_image.h"
#include "engine/keys/key_error.h"

namespace varelum::engine::keys {
namespace {

using expr::Value;
using expr::ValueType;

constexpr char kNullMarker = 0x00;
constexpr char kValueMarker = 0x01;

void append_u32(std::string& out, std::uint32_t v) {
    format::append_big_endian32(out, v);
}

void append_u64(std::string& out, std::uint64_t v) {
    append_u32(out, static_cast<std::uint32_t>(v >> 32));
    append_u32(out, static_cast<std::uint32_t>(v));
}

void append_double(std::string& out, double d) {
    if (d == 0.0) {
        d = 0.0;  // -0 and +0 are one key
    }
    std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
    bits = (bits & 0x8000'0000'0000'0000ull) ? ~bits : bits | 0x8000'0000'0000'0000ull;
    append_u64(out, bits);
}

void append_signed(std::string& out, std::int32_t v) {
    append_u32(out, static_cast<std::uint32_t>(v) ^ 0x8000'0000u);
}

std::string_view segment_type_name(SegmentType t) {
    switch (t) {
        case SegmentType::Character:
            return "Character";
        case SegmentType::Numeric:
            return "Numeric";
        case SegmentType::Date:
            return "Date";
        case SegmentType::Timestamp:
            return "Timestamp";
        case SegmentType::Logical:
            return "Logical";
    }
    return "?";
}

bool fits(SegmentType segment, ValueType value) {
    switch (segment) {
        case SegmentType::Character:
            return value == ValueType::Character;
        case SegmentType::Numeric:
            return value == ValueType::Numeric;
        case SegmentType::Date:
        case SegmentType::Timestamp:
            return value == ValueType::Date || value == ValueType::Timestamp;
        case SegmentType::Logical:
            return value == ValueType::Logical;
    }
    return false;
}

void check_fits(const KeySegment& segment, const Value& value) {
    if (!fits(segment.type, value.type)) {
        throw KeyError(KeyErrorCode::ValueTypeMismatch,
                       "a " + std::string(expr::value_type_name(value.type)) +
                           " value does not fit a " + std::string(segment_type_name(segment.type)) +
                           " key segment");
    }
}

// Appends one segment; `prefix_only` leaves a text unpadded (the last segment of a partial
// key).
void append_segment(std::string& out, const KeySegment& segment, const Collation& collation,
                    const Value* value, bool prefix_only) {
    const std::size_t start = out.size();
    if (value == nullptr || value->is_null) {
        out.push_back(kNullMarker);
        if (!prefix_only) {
            std::size_t payload = segment.type == SegmentType::Character
                                      ? collation.key_width(segment.characters)
                                      : 0;
            switch (segment.type) {
                case SegmentType::Numeric:
                case SegmentType::Timestamp:
                    payload = 8;
                    break;
                case SegmentType::Date:
                    payload = 4;
                    break;
                case SegmentType::Logical:
                    payload = 1;
                    break;
                case SegmentType::Character:
                    break;
            }
            out.append(payload, '\0');
        }
        return;
    }
    check_fits(segment, *value);
    out.push_back(kValueMarker);
    switch (segment.type) {
        case SegmentType::Character:
            if (prefix_only) {
                std::string_view text = value->text;
                collation.append_prefix_key(
                    out, text.substr(0, std::min<std::size_t>(text.size(), segment.characters)),
                    segment.case_insensitive);
            } else {
                collation.append_key(out, value->text, segment.characters,
                                     segment.case_insensitive);
            }
            break;
        case SegmentType::Numeric:
            append_double(out, value->number);
            break;
        case SegmentType::Date:
            append_signed(out, value->julian_day);
            break;
        case SegmentType::Timestamp:
            append_signed(out, value->julian_day);
            append_signed(out, value->type == ValueType::Timestamp ? value->milliseconds : 0);
            break;
        case SegmentType::Logical:
            out.push_back(value->logical ? 1 : 0);
            break;
    }
    (void)start;
}

void complement_from(std::string& key, std::size_t from) {
    for (std::size_t i = from; i < key.size(); ++i) {
        key[i] = static_cast<char>(~static_cast<unsigned char>(key[i]));
    }
}

std::string trimmed(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) {
        return {};
    }
    std::size_t e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

[[noreturn]] void bad_text(std::string_view text, SegmentType type) {
    throw KeyError(
        KeyErrorCode::InvalidKeyText,
        "'" + std::string(text) + "' is no " + std::string(segment_type_name(type)) + " key value");
}

std::optional<std::int32_t> date_of_text(const std::string& text,
                                         const expr::ExpressionSettings& settings) {
    if (auto day = format::parse_dtos(text)) {
        return day;
    }
    return format::parse_date(text, settings.date_format, settings.epoch);
}

}  // namespace

Value segment_value_of_text(SegmentType type, std::string_view raw,
                            const expr::ExpressionSettings& settings) {
    std::string text = trimmed(raw);
    switch (type) {
        case SegmentType::Character:
            return Value::character(std::string(raw));
        case SegmentType::Numeric: {
            auto n = format::parse_decimal_text(text);
            if (!n) {
                bad_text(raw, type);
            }
            return Value::numeric(*n);
        }
        case SegmentType::Date: {
            auto day = date_of_text(text, settings);
            if (!day) {
                bad_text(raw, type);
            }
            return Value::date(*day);
        }
        case SegmentType::Timestamp: {
            std::size_t blank = text.find(' ');
            auto day = date_of_text(text.substr(0, blank), settings);
            std::optional<std::int32_t> ms = 0;
            if (blank != std::string::npos) {
                ms = format::parse_time(text.substr(blank + 1));
            }
            if (!day || !ms) {
                bad_text(raw, type);
            }
            return Value::timestamp(*day, *ms);
        }
        case SegmentType::Logical: {
            std::string t;
            for (char c : text) {
                if (c != '.') {
                    t.push_back(expr::ascii::to_upper(c));
                }
            }
            if (t == "T" || t == "TRUE" || t == "Y" || t == "1") {
                return Value::boolean(true);
            }
            if (t == "F" || t == "FALSE" || t == "N" || t == "0") {
                return Value::boolean(false);
            }
            bad_text(raw, type);
        }
    }
    bad_text(raw, type);
}

std::string encode_key(const KeyLayout& layout, std::span<const Value> values) {
    if (values.size() != layout.segment_count()) {
        throw KeyError(KeyErrorCode::SegmentOutOfRange,
                       "the key has " + std::to_string(layout.segment_count()) + " segments, not " +
                           std::to_string(values.size()));
    }
    std::string key;
    key.reserve(layout.key_length());
    for (std::size_t i = 0; i < values.size(); ++i) {
        append_segment(key, layout.segment(i), layout.collation(), &values[i], false);
    }
    if (layout.descending()) {
        complement_from(key, 0);
    }
    return key;
}

std::string encode_key(const KeyLayout& layout, const Value& value) {
    return encode_key(layout, std::span<const Value>(&value, 1));
}

KeyBuffer::KeyBuffer(const KeyLayout& layout) : layout_(layout), values_(layout.segment_count()) {}

void KeyBuffer::clear() {
    for (auto& v : values_) {
        v.reset();
    }
}

void KeyBuffer::set_value(std::size_t segment, Value value) {
    if (segment >= values_.size()) {
        throw KeyError(KeyErrorCode::SegmentOutOfRange,
                       "the key has no segment " + std::to_string(segment + 1));
    }
    if (!value.is_null) {
        check_fits(layout_.segment(segment), value);
    }
    values_[segment] = std::move(value);
}

void KeyBuffer::set_null(std::size_t segment) {
    if (segment >= values_.size()) {
        throw KeyError(KeyErrorCode::SegmentOutOfRange,
                       "the key has no segment " + std::to_string(segment + 1));
    }
    values_[segment] = Value::null_of(ValueType::Character);
}

bool KeyBuffer::is_set(std::size_t segment) const {
    return segment < values_.size() && values_[segment].has_value();
}

std::string KeyBuffer::whole_key() const {
    // The key ends after the last segment that was set: a seek on the leading fields of a
    // compound index finds every record that starts with them. A segment set empty in between
    // is still keyed as empty.
    std::size_t end = values_.size();
    while (end > 0 && !values_[end - 1]) {
        --end;
    }
    std::string key;
    for (std::size_t i = 0; i < end; ++i) {
        append_segment(key, layout_.segment(i), layout_.collation(),
                       values_[i] ? &*values_[i] : nullptr, false);
    }
    if (layout_.descending()) {
        complement_from(key, 0);
    }
    return key;
}

std::string KeyBuffer::partial_key() const {
    std::size_t last = values_.size();
    for (std::size_t i = values_.size(); i-- > 0;) {
        if (values_[i]) {
            last = i;
            break;
        }
    }
    std::string key;
    if (last == values_.size()) {
        return key;
    }
    for (std::size_t i = 0; i <= last; ++i) {
        const bool prefix = i == last && layout_.segment(i).type == SegmentType::Character &&
                            values_[i] && !values_[i]->is_null;
        append_segment(key, layout_.segment(i), layout_.collation(),
                       values_[i] ? &*values_[i] : nullptr, prefix);
    }
    if (layout_.descending()) {
        complement_from(key, 0);
    }
    return key;
}

std::string key_from_text(const KeyLayout& layout, std::string_view text, bool partial,
                          const expr::ExpressionSettings& settings) {
    KeyBuffer buffer(layout);
    std::size_t pos = 0;
    bool ended_inside = false;
    for (std::size_t i = 0; i < layout.segment_count() && pos < text.size(); ++i) {
        const KeySegment& segment = layout.segment(i);
        if (segment.type != SegmentType::Character) {
            buffer.set_value(i, segment_value_of_text(segment.type, text.substr(pos), settings));
            pos = text.size();
            break;
        }
        std::size_t take = std::min<std::size_t>(segment.characters, text.size() - pos);
        buffer.set_value(i, Value::character(std::string(text.substr(pos, take))));
        ended_inside = take < segment.characters;
        pos += take;
    }
    if (partial && (ended_inside || text.empty())) {
        return buffer.partial_key();
    }
    return buffer.whole_key();
}

std::string make_index_entry(std::string_view key, std::uint32_t record_number) {
    std::string entry(key);
    append_u32(entry, record_number);
    return entry;
}

std::uint32_t entry_record_number(std::string_view entry) {
    return format::big_endian32(entry.substr(entry.size() - 4));
}

std::string_view entry_key(std::string_view entry) {
    return entry.substr(0, entry.size() - kRecordNumberLength);
}

int compare_keys(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
    if (c != 0) {
        return c < 0 ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool key_has_prefix(std::string_view key, std::string_view prefix) {
    return key.size() >= prefix.size() && key.substr(0, prefix.size()) == prefix;
}

std::optional<std::string> prefix_successor(std::string_view prefix) {
    std::string s(prefix);
    while (!s.empty() && static_cast<unsigned char>(s.back()) == 0xFF) {
        s.pop_back();
    }
    if (s.empty()) {
        return std::nullopt;
    }
    s.back() = static_cast<char>(static_cast<unsigned char>(s.back()) + 1);
    return s;
}

bool step_key(std::string& key, int direction) {
    std::string stepped = key;
    const unsigned char limit = direction > 0 ? 0xFF : 0x00;
    std::size_t i = stepped.size();
    while (i > 0 && static_cast<unsigned char>(stepped[i - 1]) == limit) {
        --i;
    }
    if (i == 0) {
        return false;
    }
    auto& byte = reinterpret_cast<unsigned char&>(stepped[i - 1]);
    byte = static_cast<unsigned char>(direction > 0 ? byte + 1 : byte - 1);
    for (std::size_t j = i; j < stepped.size(); ++j) {
        stepped[j] = static_cast<char>(direction > 0 ? 0x00 : 0xFF);
    }
    key = std::move(stepped);
    return true;
}

}  // namespace varelum::engine::keys
