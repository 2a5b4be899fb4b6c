// The key buffers of an engine dataset: index-field values in record-image form, from which
// key search (SetKey, GotoKey, FindKey, ...) and ranges build the engine's raw keys.
//
// A dataset holds six while open (TAdsDataSet::mapKeyBuffers), by role:
//   0 the lookup key of SetKey, EditKey, FindKey, FindNearest, GotoKey and GotoNearest;
//   1, 2 the range start and end being edited; 3, 4 the range start and end as last applied;
//   5 the saved key: a copy of the buffer being edited, taken when a key edit begins, put back
//     when the edit is cancelled.
// In dsSetKey field writes go into the edited buffer's record image and record, per engine
// field, the key length the value was given with (kAdsKeyFieldNotSet when the field was not
// set since the buffer was reset). The members of TAdsDataSet that work on them live in
// adsdata_keysearch.cpp.
#pragma once

#include <cstdint>
#include <vector>

namespace varelum::ads {

// The length entry of a field that holds no key value.
inline constexpr std::uint16_t kAdsKeyFieldNotSet = 0xFFFF;

struct TAdsKeyBuffer {
    // The key holds values set since the buffer was last reset.
    bool Modified = false;
    // KeyExclusive: a range bound excludes the key itself.
    bool Exclusive = false;
    // KeyFieldCount: the number of key values given; 0 when not given.
    int FieldCount = 0;
    // One record image (the engine's empty record after a reset).
    std::vector<std::uint8_t> Data;
    // Per engine field (by field number - 1): the key length given in dsSetKey, or
    // kAdsKeyFieldNotSet. Empty until the buffer is first reset.
    std::vector<std::uint16_t> KeyLengths;
};

inline constexpr int kAdsKeyBufferCount = 6;

// The roles of the six buffers.
inline constexpr int kAdsLookupKey = 0;
inline constexpr int kAdsRangeStartKey = 1;
inline constexpr int kAdsRangeEndKey = 2;
inline constexpr int kAdsAppliedRangeStartKey = 3;
inline constexpr int kAdsAppliedRangeEndKey = 4;
inline constexpr int kAdsSavedKey = 5;

}  // namespace varelum::ads
