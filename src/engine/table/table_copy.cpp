// Copying records out of a table (see table_copy.h).
#include "engine/table/table_copy.h"

#include <map>
#include <optional>
#include <string_view>

#include "engine/core/error.h"
#include "engine/core/progress.h"
#include "engine/record/record_image.h"
#include "engine/record/value_conversion.h"
#include "engine/storage/table_store.h"
#include "engine/table/connection.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

// A stored record of the source whole: its status byte and image.
struct SourceRecord {
    std::uint8_t status = 0;
    const std::uint8_t* image = nullptr;
};

SourceRecord source_record(TableCursor& table, std::uint32_t recno) {
    std::optional<std::string_view> stored = table.file().record(table.read_txn(), recno);
    if (!stored || stored->size() != table.schema().record_length() + 1) {
        fail(VE_TABLE_CORRUPT, table.file().path() + ": record " + std::to_string(recno));
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stored->data());
    return {bytes[0], bytes + 1};
}

// Fields the engine fills itself: a copied value would be replaced or refused.
bool engine_maintained(FieldType type) {
    return type == FieldType::AutoInc || type == FieldType::RowVersion ||
           type == FieldType::ModTime;
}

// How one field of the destination takes its value from a source field of the same name.
struct FieldCopy {
    const FieldDescriptor* from;
    const FieldDescriptor* to;
};

std::vector<FieldCopy> field_copies(const TableSchema& from, const TableSchema& to) {
    std::vector<FieldCopy> copies;
    for (const FieldDescriptor& field : to.fields()) {
        const FieldDescriptor* source = from.by_name(field.name);
        if (source != nullptr && !engine_maintained(field.type)) {
            copies.push_back({source, &field});
        }
    }
    return copies;
}

// Sets one field of the destination's record buffer from the source record, as a field setter
// takes the value.
void copy_field(const FieldCopy& copy, const SourceRecord& record,
                const std::optional<std::string>& memo, TableCursor& to,
                const TextContext& from_context, const TextContext& to_context) {
    const FieldDescriptor& source = *copy.from;
    const FieldDescriptor& target = *copy.to;
    if (is_memo_type(source.type) || is_memo_type(target.type)) {
        if (is_memo_type(source.type) && is_memo_type(target.type)) {
            to.set_memo(target, memo ? std::optional<std::string>(convert_memo_value(
                                           source, *memo, target, from_context, to_context))
                                     : std::nullopt);
        }
        return;
    }
    convert_field_value(source, record.image, target, to.image_for_change(target), from_context,
                        to_context, ValueFit::Nearest);
}

// Sets every copied field of the destination's record buffer from one source record. The error
// of a value a field cannot take names its field already; the record is known only here.
void copy_fields(const std::vector<FieldCopy>& copies, std::uint32_t recno,
                 const SourceRecord& record,
                 const std::map<std::uint16_t, std::optional<std::string>>& memos, TableCursor& to,
                 const TextContext& from_context, const TextContext& to_context) {
    try {
        for (const FieldCopy& copy : copies) {
            auto memo = memos.find(copy.from->number);
            copy_field(copy, record, memo != memos.end() ? memo->second : std::nullopt, to,
                       from_context, to_context);
        }
    } catch (const EngineError& error) {
        if (error.code() != VE_VALUE_NOT_CONVERTIBLE && error.code() != VE_VALUE_OUT_OF_RANGE) {
            throw;  // not the value's fault: a lock or a right, whose texts stand as they are
        }
        throw EngineError(error.code(),
                          error.text() + " (record " + std::to_string(recno) + " of the source)");
    }
}

}  // namespace

void copy_file_marks(const TableFile& from, TableFile& to) {
    std::vector<std::pair<std::string, std::string>> marks;
    {
        std::unique_ptr<ReadSnapshot> snapshot = from.read_snapshot();
        snapshot->begin();
        try {
            std::unique_ptr<KeyCursor> cursor = from.cursor(*snapshot, from.index_list());
            for (bool more = cursor->seek(kBelongingMarkPrefix);
                 more && cursor->key().starts_with(kBelongingMarkPrefix); more = cursor->next()) {
                marks.emplace_back(std::string(cursor->key()), std::string(cursor->value()));
            }
        } catch (...) {
            snapshot->close();
            throw;
        }
        snapshot->close();
    }
    if (marks.empty()) {
        return;
    }
    WriteContext write(to);
    for (const auto& [key, value] : marks) {
        to.put(write, to.index_list(), key, value);
    }
    write.commit();
}

void copy_to_new_table(TableCursor& source, const std::vector<std::uint32_t>& records,
                       const std::string& path) {
    const TableFile& from = source.file();
    TableStore& store = source.connection()->store();
    store.create(path, from.schema(), from.options());
    try {
        std::shared_ptr<TableFile> to = store.open(path);
        copy_file_marks(from, *to);
        Progress progress(records.size());
        const Snapshot& txn = source.read_txn();
        const TableCounters counters = from.read_counters(txn);
        WriteContext write(*to);
        std::uint32_t recno = 0;
        std::uint32_t deleted = 0;
        for (std::uint32_t old : records) {
            const SourceRecord record = source_record(source, old);
            ++recno;
            deleted += (record.status & kRecordDeleted) != 0 ? 1 : 0;
            write.put_record(recno, record.status, record.image);
            for (const FieldDescriptor& field : from.schema().fields()) {
                if (!is_memo_type(field.type)) {
                    continue;
                }
                if (std::optional<std::string_view> memo = from.memo(txn, old, field.number)) {
                    write.put_memo(recno, field.number, *memo);
                }
            }
            progress_step();
        }
        write.counters().next_record = recno + 1;
        write.counters().deleted_records = deleted;
        // AutoInc and RowVersion values of the copy never repeat those of its source.
        write.counters().next_autoinc = counters.next_autoinc;
        write.counters().next_rowversion = counters.next_rowversion;
        write.commit();
        progress.finish();
    } catch (...) {
        store.discard(path);
        throw;
    }
}

void append_records(TableCursor& from, const std::vector<std::uint32_t>& records, TableCursor& to) {
    const std::vector<FieldCopy> copies = field_copies(from.schema(), to.schema());
    // Every percent is answered while the records are read; only then are they appended, so
    // that a stop keeps nothing.
    struct Pending {
        std::uint32_t recno = 0;
        SourceRecord record;
        std::map<std::uint16_t, std::optional<std::string>> memos;
    };
    std::vector<Pending> pending;
    pending.reserve(records.size());
    {
        Progress progress(records.size());
        const Snapshot& txn = from.read_txn();
        for (std::uint32_t recno : records) {
            Pending next{recno, source_record(from, recno), {}};
            for (const FieldCopy& copy : copies) {
                if (is_memo_type(copy.from->type)) {
                    std::optional<std::string_view> memo =
                        from.file().memo(txn, recno, copy.from->number);
                    next.memos[copy.from->number] =
                        memo ? std::optional<std::string>(*memo) : std::nullopt;
                }
            }
            pending.push_back(std::move(next));
            progress_step();
        }
        progress.finish();
    }
    const TextContext from_context = from.text_context();
    const TextContext to_context = to.text_context();
    // Appended in synced batches rather than one synced commit each; a record that fails
    // keeps those before it, as it would one by one.
    WriteBatch batch(to.file());
    for (const Pending& record : pending) {
        to.append();
        try {
            copy_fields(copies, record.recno, record.record, record.memos, to, from_context,
                        to_context);
            to.write();
        } catch (...) {
            to.cancel();
            batch.finish();
            throw;
        }
    }
    batch.finish();
}

}  // namespace varelum::engine
