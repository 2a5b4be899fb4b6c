// Building raw keys: from values (a record's key through its expression or fields), from a
// key buffer filled segment by segment (seeks), from seek text, and the index entries that
// add the record number.
//
//   KeyLayout layout = KeyLayout::for_expression(expr.result_type(), collation, false);
//   std::string key = encode_key(layout, expr.evaluate(record));
//   std::string entry = make_index_entry(key, record_number);
//
// Keys and entries compare with memcmp (compare_keys); a partial key is a prefix of every
// key it should find (key_has_prefix), and prefix_successor() gives the first key after them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/record_access.h"
#include "engine/expr/value.h"
#include "engine/keys/key_layout.h"

namespace varelum::engine::keys {

// The whole key of one value per segment, in order. A null value gives the null marker;
// a Date value fits a Timestamp segment (midnight) and a Timestamp a Date segment (its day).
// Throws KeyError ValueTypeMismatch for a value of another type, SegmentOutOfRange for a
// count that is not the layout's.
std::string encode_key(const KeyLayout& layout, std::span<const expr::Value> values);
std::string encode_key(const KeyLayout& layout, const expr::Value& value);

// A key being put together segment by segment, as a seek fills the fields of an index:
// set some leading segments, then ask for the whole or the partial key.
class KeyBuffer {
  public:
    explicit KeyBuffer(const KeyLayout& layout);  // the layout must outlive the buffer

    void clear();
    // Throws KeyError SegmentOutOfRange or ValueTypeMismatch.
    void set_value(std::size_t segment, expr::Value value);
    void set_null(std::size_t segment);
    bool is_set(std::size_t segment) const;

    // Every segment, those not set as nulls.
    std::string whole_key() const;
    // The segments up to the last one set; a last text segment contributes only the
    // characters it was given (no blank padding, trailing blanks kept), so the key is the
    // prefix of every key whose text begins with them. Nothing set: the empty key.
    std::string partial_key() const;

  private:
    const KeyLayout& layout_;
    std::vector<std::optional<expr::Value>> values_;
};

// The key of a seek text: text segments take their width of characters in order; a
// segment of another type takes the rest of the text as its value (a number; a date as
// "YYYYMMDD" or in the date format of `settings`; a timestamp as a date and a time;
// T/Y/1/.T. or F/N/0/.F.) and ends the text. `partial`: a text that ends inside a text
// segment gives the prefix key of that segment (and no later ones); otherwise the
// segments are padded and those left over are null. Throws KeyError InvalidKeyText.
std::string key_from_text(const KeyLayout& layout, std::string_view text, bool partial,
                          const expr::ExpressionSettings& settings);

// The value a seek text gives for a segment of `type`, by the rules of key_from_text (a
// text segment takes the text as it is). For filling a KeyBuffer from text segment by
// segment. Throws KeyError InvalidKeyText.
expr::Value segment_value_of_text(SegmentType type, std::string_view text,
                                  const expr::ExpressionSettings& settings);

// key + the big-endian record number.
std::string make_index_entry(std::string_view key, std::uint32_t record_number);
// REQUIRES: entry.size() >= kRecordNumberLength.
std::uint32_t entry_record_number(std::string_view entry);
std::string_view entry_key(std::string_view entry);

// memcmp order, a shorter key before its extensions.
int compare_keys(std::string_view a, std::string_view b);
bool key_has_prefix(std::string_view key, std::string_view prefix);
// The smallest byte string greater than every string that begins with `prefix`; nothing
// when there is none (empty prefix or all bytes 0xFF).
std::optional<std::string> prefix_successor(std::string_view prefix);
// Steps a fixed-length key to the next (direction > 0) or previous key of the same length,
// for exclusive range bounds. False, and the key unchanged, at the end of the key space.
bool step_key(std::string& key, int direction);

}  // namespace varelum::engine::keys
