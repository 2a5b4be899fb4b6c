// The records a table handle has read ahead of its place in a forward walk in record-number
// order (AdsCacheRecords; 10 records unless set otherwise), so that the next skips are served
// without another step through the file.
//
// The records are verified copies read in one snapshot and tagged with that snapshot's id;
// they are served only while that id is still the file's latest commit (or the snapshot the
// call reads), so a record served from here is the record a fresh read would give. Holding
// copies, the cache pins none of the file's pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/table_file.h"

namespace varelum::engine {

class RecordCache {
  public:
    static constexpr std::uint16_t kDefaultRecords = 10;
    // A cache never holds more bytes than this, whatever number of records is asked.
    static constexpr std::size_t kMaxBytes = std::size_t{4} << 20;

    // stored_length: the bytes of one stored record (status byte and image).
    explicit RecordCache(std::size_t stored_length) : stored_length_(stored_length) {
        set_records(kDefaultRecords);
    }

    // How many records a fill reads ahead; 0 switches the cache off. Drops what is held.
    void set_records(std::size_t records);
    std::size_t records() const { return capacity_; }
    bool enabled() const { return capacity_ > 0; }

    void clear();
    // Begins a fill with the records that follow `after` in the snapshot `snapshot`.
    void start(std::uint64_t snapshot, std::uint32_t after);
    // Adds the next record of the fill (status byte and image, already verified). False for
    // a record of the wrong length, which the fill leaves (with all after it) to the walk,
    // so that the walk reports it when it gets there.
    bool add(std::uint32_t recno, std::string_view stored);
    bool full() const { return recnos_.size() >= capacity_; }

    // The record that follows `recno`, taken from the cache when it was read in `snapshot`
    // and the cache's walk stands on `recno`; recno 0 when it does not hold it. The view
    // stays valid until the cache is changed.
    StoredRecord after(std::uint64_t snapshot, std::uint32_t recno);

    // Where the cache's walk stands, to go back to it when a step is not served after all.
    std::size_t mark() const { return next_; }
    void rewind(std::size_t mark) { next_ = mark; }

  private:
    std::size_t stored_length_;
    std::size_t capacity_ = 0;
    std::uint64_t snapshot_ = 0;  // 0: nothing held
    std::uint32_t after_ = 0;     // the record before the first one held
    std::vector<std::uint32_t> recnos_;
    std::string bytes_;     // the records held, back to back
    std::size_t next_ = 0;  // the index of the next record to serve
};

}  // namespace varelum::engine
