// Record-number order (see record_order.h).
#include "engine/table/record_order.h"

#include "engine/core/error.h"

namespace varelum::engine {

RecordCursor& NaturalOrder::cursor(const Snapshot& snapshot) {
    // The cursor outlives the snapshot and is moved to the next one, which spares an
    // allocation per engine call.
    if (cursor_ == nullptr) {
        cursor_ = file_.record_cursor(snapshot);
    } else {
        cursor_->rebind(snapshot);
    }
    return *cursor_;
}

StoredRecord NaturalOrder::first(const Snapshot& snapshot) {
    return cursor(snapshot).first();
}

StoredRecord NaturalOrder::last(const Snapshot& snapshot) {
    return cursor(snapshot).last();
}

StoredRecord NaturalOrder::after(const Snapshot& snapshot, std::uint32_t recno,
                                 const std::uint8_t*) {
    RecordCursor& records = cursor(snapshot);
    if (recno == 0xFFFFFFFFu) {
        return {};
    }
    // A walk whose snapshot is unchanged since the last step goes on from where it stands.
    if (records.position() == recno) {
        return records.next();
    }
    return records.at_or_after(recno + 1);
}

StoredRecord NaturalOrder::before(const Snapshot& snapshot, std::uint32_t recno,
                                  const std::uint8_t*) {
    RecordCursor& records = cursor(snapshot);
    StoredRecord at = records.at_or_after(recno);
    if (at.recno == 0) {
        return records.last();
    }
    return records.prev();
}

void NaturalOrder::read_ahead(const Snapshot& snapshot, std::uint32_t recno, RecordCache& cache) {
    RecordCursor& records = cursor(snapshot);
    cache.start(snapshot.id(), recno);
    if (records.position() != recno) {
        if (records.at_or_after(recno).recno != recno) {
            return;
        }
    }
    try {
        bool adding = true;  // a record the cache refuses ends the fill
        records.read_ahead(cache.records(), [&](const StoredRecord& record) {
            adding = adding && cache.add(record.recno, record.bytes);
        });
    } catch (const EngineError&) {
        // A record the file cannot step to is not the read-ahead's to report: the cache ends
        // before it, and the walk reads it again, and reports it, when it gets there.
    }
}

}  // namespace varelum::engine
