// Records read ahead by a walk (see record_cache.h).
#include "engine/table/record_cache.h"

#include <algorithm>

namespace varelum::engine {

void RecordCache::set_records(std::size_t records) {
    std::size_t fit =
        std::max<std::size_t>(1, kMaxBytes / std::max<std::size_t>(1, stored_length_));
    capacity_ = std::min(records, fit);
    clear();
    recnos_.shrink_to_fit();
    bytes_.shrink_to_fit();
    recnos_.reserve(capacity_);
    bytes_.reserve(capacity_ * stored_length_);
}

void RecordCache::clear() {
    snapshot_ = 0;
    after_ = 0;
    next_ = 0;
    recnos_.clear();
    bytes_.clear();
}

void RecordCache::start(std::uint64_t snapshot, std::uint32_t after) {
    clear();
    snapshot_ = snapshot;
    after_ = after;
}

bool RecordCache::add(std::uint32_t recno, std::string_view stored) {
    if (stored.size() != stored_length_) {
        return false;
    }
    recnos_.push_back(recno);
    bytes_.append(stored);
    return true;
}

StoredRecord RecordCache::after(std::uint64_t snapshot, std::uint32_t recno) {
    if (snapshot != snapshot_ || snapshot_ == 0 || next_ >= recnos_.size()) {
        return {};
    }
    std::uint32_t standing = next_ == 0 ? after_ : recnos_[next_ - 1];
    if (standing != recno) {
        return {};
    }
    StoredRecord record{recnos_[next_],
                        std::string_view(bytes_).substr(next_ * stored_length_, stored_length_)};
    ++next_;
    return record;
}

}  // namespace varelum::engine
