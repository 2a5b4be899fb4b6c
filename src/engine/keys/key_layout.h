// The shape of an index's raw keys: its segments, their fixed widths and the collation.
//
// A raw key is the concatenation of its segments; each segment is one marker byte (0x00
// null, 0x01 a value) and a payload of fixed width, so a key built from the leading segments
// (or from a leading part of a text segment) is a prefix of the keys it should find, and
// keys compare with memcmp. Payloads:
//   Character  collation weights, `characters` of them padded with blanks (ANSI: one byte
//              per character; ICU: sort key cut or zero-padded to 2 × characters + 4)
//   Numeric    8 bytes: the IEEE double, sign bit flipped (negative: every bit flipped),
//              big-endian; integers and Numeric texts are keyed as their double
//   Date       4 bytes: Julian day, big-endian with the sign bit flipped
//   Timestamp  8 bytes: Julian day then milliseconds, each as a Date
//   Logical    1 byte: 0 false, 1 true
// A descending index stores the complement of every byte of the key. The index entry is
// the key followed by the record number, big-endian 32-bit (not complemented), so equal
// keys follow in record order.
//
// The encoding is part of the index file format: changing it invalidates stored indexes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/expr/ast.h"
#include "engine/format/field_type.h"
#include "engine/keys/collation.h"

namespace varelum::engine::keys {

// The longest raw key (the segments, without the record number).
inline constexpr std::size_t kMaxKeyLength = 480;
inline constexpr std::size_t kRecordNumberLength = 4;

enum class SegmentType : std::uint8_t { Character, Numeric, Date, Timestamp, Logical };

struct KeySegment {
    SegmentType type = SegmentType::Character;
    std::uint32_t characters = 0;   // Character: width in characters
    bool case_insensitive = false;  // Character: case-folded weights (CIChar)
};

// The segment for values of an expression's result type. Throws KeyError
// UnsupportedSegment for a text of varying width (a memo).
KeySegment segment_for(const expr::ExprType& type);
// The segment for a field's values (a field-list index). Throws KeyError for memo and
// blob fields and types no key holds.
KeySegment segment_for_field(const FieldDescriptor& field);

class KeyLayout {
  public:
    // Throws KeyError KeyTooLong when the segments take more than kMaxKeyLength bytes,
    // UnsupportedSegment for an empty segment list or a text segment of no characters.
    KeyLayout(std::vector<KeySegment> segments, std::shared_ptr<const Collation> collation,
              bool descending);

    // One segment of the expression's result type (an expression index).
    static KeyLayout for_expression(const expr::ExprType& type,
                                    std::shared_ptr<const Collation> collation, bool descending);
    // One segment per field, in order (a ";"-separated field-list index).
    static KeyLayout for_fields(std::span<const FieldDescriptor> fields,
                                std::shared_ptr<const Collation> collation, bool descending);

    std::size_t key_length() const { return key_length_; }
    std::size_t entry_length() const { return key_length_ + kRecordNumberLength; }
    std::size_t segment_count() const { return segments_.size(); }
    const KeySegment& segment(std::size_t i) const { return segments_.at(i); }
    std::size_t segment_offset(std::size_t i) const { return offsets_.at(i); }
    // Marker byte and payload.
    std::size_t segment_length(std::size_t i) const;
    const Collation& collation() const { return *collation_; }
    const std::shared_ptr<const Collation>& shared_collation() const { return collation_; }
    bool descending() const { return descending_; }

  private:
    std::vector<KeySegment> segments_;
    std::vector<std::size_t> offsets_;
    std::shared_ptr<const Collation> collation_;
    bool descending_;
    std::size_t key_length_ = 0;
};

}  // namespace varelum::engine::keys
