// The exception of the index key encoder: keys too long, unknown collations, values or
// texts that do not fit a key segment.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace varelum::engine::keys {

enum class KeyErrorCode : std::uint16_t {
    KeyTooLong = 1,          // the segments need more than kMaxKeyLength bytes
    UnknownCollation = 2,    // a collation name that is not accepted
    UnsupportedSegment = 3,  // a value type no key holds, or a text of varying width (memo)
    ValueTypeMismatch = 4,   // a value of another type than its segment
    InvalidKeyText = 5,      // seek text that is no value of the key's type
    SegmentOutOfRange = 6,   // a segment number the layout does not have
    CollationFailure = 7,    // ICU could not open or use the collator
};

class KeyError : public std::runtime_error {
  public:
    KeyError(KeyErrorCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    KeyErrorCode code() const { return code_; }

  private:
    KeyErrorCode code_;
};

}  // namespace varelum::engine::keys
