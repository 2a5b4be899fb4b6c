// Counting and numbering by walking an order (see record_walk.h).
#include "engine/filter/record_walk.h"

#include "engine/core/error.h"
#include "engine/core/settings.h"
#include "engine/filter/cursor_state.h"
#include "engine/storage/table_file.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

std::uint16_t check_option(std::uint16_t option) {
    if (option > 7) {
        fail(VE_INVALID_ARGUMENT, "filter option " + std::to_string(option));
    }
    std::uint16_t kind = option & 3;
    return kind == 0 ? VE_IGNORE_FILTERS : kind;  // counts are always fresh
}

const std::uint8_t* image_of(const StoredRecord& record) {
    return reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1;
}

// Walks the order from its first record, calling visit(record) for each record that shows
// (with or without filters) until visit answers false.
template <typename Visit>
void walk(TableCursor& table, RecordOrder& order, bool with_filters, Visit&& visit) {
    const Snapshot& txn = table.read_txn();
    for (StoredRecord record = order.first(txn); record.recno != 0;
         record = order.after(txn, record.recno, image_of(record))) {
        if (record_passes(table, record, with_filters) && !visit(record)) {
            return;
        }
    }
}

}  // namespace

bool record_passes(TableCursor& table, const StoredRecord& record, bool with_filters) {
    bool deleted =
        !record.bytes.empty() && (static_cast<std::uint8_t>(record.bytes[0]) & kRecordDeleted);
    if (deleted && !EngineSettings::instance().show_deleted()) {
        return false;
    }
    return !with_filters || CursorState::of(table).accepts(record);
}

std::uint32_t count_records(TableCursor& table, IndexHandle* index, std::uint16_t option) {
    std::uint16_t kind = check_option(option);
    if (table.pending()) {
        table.write();
    }
    if (index == nullptr && kind != VE_RESPECT_FILTERS) {
        return table.record_count();
    }
    std::uint32_t count = 0;
    if (kind == VE_RESPECT_FILTERS) {
        walk(table, table.order(), true, [&](const StoredRecord&) {
            ++count;
            return true;
        });
        return count;
    }
    const Snapshot& txn = table.read_txn();
    bool hide_deleted = !EngineSettings::instance().show_deleted();
    // A count that ignores filters ignores the handle's scope too: it counts the tag's keys.
    const bool whole_tag = kind == VE_IGNORE_FILTERS;
    if (whole_tag && !hide_deleted) {
        return static_cast<std::uint32_t>(table.file().entries(txn, index->tag().tree()));
    }
    index->order().for_each_entry(
        txn,
        [&](std::string_view entry) {
            if (!hide_deleted ||
                record_passes(table, index->order().record_of(txn, entry), false)) {
                ++count;
            }
            return true;
        },
        whole_tag);
    return count;
}

void visit_records(TableCursor& table, IndexHandle* index, std::uint16_t option,
                   const std::function<bool(const StoredRecord&)>& visit) {
    std::uint16_t kind = check_option(option);
    if (table.pending()) {
        table.write();
    }
    if (kind == VE_RESPECT_FILTERS || index == nullptr) {
        walk(table, table.order(), kind == VE_RESPECT_FILTERS, visit);
        return;
    }
    const Snapshot& txn = table.read_txn();
    index->order().for_each_entry(
        txn,
        [&](std::string_view entry) {
            StoredRecord record = index->order().record_of(txn, entry);
            return !record_passes(table, record, false) || visit(record);
        },
        kind == VE_IGNORE_FILTERS);
}

std::vector<std::uint32_t> shown_records(TableCursor& table, IndexHandle* index,
                                         std::uint16_t option) {
    std::vector<std::uint32_t> records;
    visit_records(table, index, option, [&](const StoredRecord& record) {
        records.push_back(record.recno);
        return true;
    });
    return records;
}

std::uint32_t key_number(TableCursor& table, IndexHandle& index, std::uint16_t option) {
    std::uint16_t kind = check_option(option);
    std::uint32_t current = table.on_record() ? table.record_number() : 0;
    if (current == 0) {
        return 0;
    }
    std::uint32_t number = 0;
    std::uint32_t found = 0;
    walk(table, index.order(), kind == VE_RESPECT_FILTERS, [&](const StoredRecord& record) {
        ++number;
        if (record.recno == current) {
            found = number;
            return false;
        }
        return true;
    });
    return found;
}

void goto_key_number(TableCursor& table, IndexHandle& index, std::uint32_t k) {
    std::uint32_t number = 0;
    std::uint32_t target = 0;
    walk(table, index.order(), false, [&](const StoredRecord& record) {
        if (++number == k) {
            target = record.recno;
            return false;
        }
        return true;
    });
    if (target == 0) {
        table.goto_eof();
    } else {
        table.goto_record(target);
    }
}

}  // namespace varelum::engine
