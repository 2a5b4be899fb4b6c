// Key segments and layouts.
#include "engine/keys/key_layout.h"

#include <string>

#include "engine/expr/record_value.h"
#include "engine/format/field_image.h"
#include "engine/keys/key_error.h"

namespace varelum::engine::keys {
namespace {

std::size_t payload_length(const KeySegment& segment, const Collation& collation) {
    switch (segment.type) {
        case SegmentType::Character:
            return collation.key_width(segment.characters);
        case SegmentType::Numeric:
            return 8;
        case SegmentType::Date:
            return 4;
        case SegmentType::Timestamp:
            return 8;
        case SegmentType::Logical:
            return 1;
    }
    return 0;
}

}  // namespace

KeySegment segment_for(const expr::ExprType& type) {
    switch (type.type) {
        case expr::ValueType::Character:
            if (type.width == 0) {
                throw KeyError(KeyErrorCode::UnsupportedSegment,
                               "a key needs a text of fixed length (memo values vary)");
            }
            return {SegmentType::Character, type.width, type.case_insensitive};
        case expr::ValueType::Numeric:
            return {SegmentType::Numeric, 0, false};
        case expr::ValueType::Date:
            return {SegmentType::Date, 0, false};
        case expr::ValueType::Timestamp:
            return {SegmentType::Timestamp, 0, false};
        case expr::ValueType::Logical:
            return {SegmentType::Logical, 0, false};
    }
    throw KeyError(KeyErrorCode::UnsupportedSegment, "no key holds this value type");
}

KeySegment segment_for_field(const FieldDescriptor& field) {
    std::optional<expr::ValueType> type = expr::field_value_type(field.type);
    if (!type || format::is_memo_type(field.type)) {
        throw KeyError(KeyErrorCode::UnsupportedSegment,
                       "field " + field.name + " cannot be part of an index key");
    }
    return segment_for({*type,
                        *type == expr::ValueType::Character ? expr::field_text_width(field) : 0,
                        field.type == FieldType::CIString});
}

KeyLayout::KeyLayout(std::vector<KeySegment> segments, std::shared_ptr<const Collation> collation,
                     bool descending)
    : segments_(std::move(segments)),
      collation_(collation ? std::move(collation) : Collation::ansi()),
      descending_(descending) {
    if (segments_.empty()) {
        throw KeyError(KeyErrorCode::UnsupportedSegment, "a key needs at least one segment");
    }
    for (const KeySegment& s : segments_) {
        if (s.type == SegmentType::Character && s.characters == 0) {
            throw KeyError(KeyErrorCode::UnsupportedSegment,
                           "a text key segment needs at least one character");
        }
        offsets_.push_back(key_length_);
        key_length_ += 1 + payload_length(s, *collation_);
        // Checked as we go so that absurd widths cannot overflow the sum.
        if (key_length_ > kMaxKeyLength) {
            throw KeyError(KeyErrorCode::KeyTooLong, "index key too long: more than the " +
                                                         std::to_string(kMaxKeyLength) +
                                                         " bytes a key may have");
        }
    }
}

KeyLayout KeyLayout::for_expression(const expr::ExprType& type,
                                    std::shared_ptr<const Collation> collation, bool descending) {
    return KeyLayout({segment_for(type)}, std::move(collation), descending);
}

KeyLayout KeyLayout::for_fields(std::span<const FieldDescriptor> fields,
                                std::shared_ptr<const Collation> collation, bool descending) {
    std::vector<KeySegment> segments;
    for (const FieldDescriptor& f : fields) {
        segments.push_back(segment_for_field(f));
    }
    return KeyLayout(std::move(segments), std::move(collation), descending);
}

std::size_t KeyLayout::segment_length(std::size_t i) const {
    return 1 + payload_length(segments_.at(i), *collation_);
}

}  // namespace varelum::engine::keys
