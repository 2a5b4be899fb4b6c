// Copies and conversions of tables: the records a handle shows, in its order, into a new table
// file or into another open table; a table's structure alone; a memo or binary value to and
// from a file. Long copies report their progress (core/progress.h) and keep nothing when told
// to stop.
#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/api/guard.h"
#include "engine/core/progress.h"
#include "engine/core/text.h"
#include "engine/env/env.h"
#include "engine/env/files.h"
#include "engine/filter/record_walk.h"
#include "engine/record/value_conversion.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {
namespace {

// The path of a table file named by the caller, in the handle's connection directory unless
// the name leads elsewhere; ".adt" when the name has no extension.
std::string table_path_of(const TableCursor& table, const UNSIGNED8* name) {
    const std::string text = trim_blanks(c_text(name));
    if (text.empty()) {
        fail(VE_INVALID_ARGUMENT, "no file name given");
    }
    std::string path = table.connection()->resolve(ansi_to_utf8(text));
    if (!has_extension(path)) {
        path += ".adt";
    }
    return path;
}

// The record numbers the handle shows under the filter option, in its order.
std::vector<std::uint32_t> shown_records(const CallTarget& target, UNSIGNED16 option) {
    CursorState::of(*target.table).use_order(target.index.get());
    std::vector<std::uint32_t> records;
    visit_records(*target.table, target.index.get(), option, [&](const StoredRecord& record) {
        records.push_back(record.recno);
        return true;
    });
    return records;
}

// A stored record of the source whole: its status byte, image and memo values.
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

void remove_table_file(const std::string& path) noexcept {
    TableFile::release_unused(path);
    ::unlink(path.c_str());
    ::unlink((path + "-lock").c_str());
}

// Writes the records into a new table file at path with the source's fields and options, in
// one write transaction: the copy appears whole, or (on any failure, a callback's stop too)
// no file is left.
void copy_to_new_file(TableCursor& source, const std::vector<std::uint32_t>& records,
                      const std::string& path) {
    const TableFile& from = source.file();
    TableFile::create(path, from.schema(), from.options());
    try {
        std::shared_ptr<TableFile> to = TableFile::open(path);
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
        remove_table_file(path);
        throw;
    }
}

UNSIGNED32 copy_table(ADSHANDLE hObj, UNSIGNED16 usFilterOption, const UNSIGNED8* pucFile) {
    return guarded([&] {
        CallTarget target = target_of(hObj);
        TableCursor::CallScope scope(*target.table);
        const std::string path = table_path_of(*target.table, pucFile);
        copy_to_new_file(*target.table, shown_records(target, usFilterOption), path);
    });
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
            to.set_memo(target, memo);
        }
        return;
    }
    convert_field_value(source, record.image, target, to.image_for_change(target), from_context,
                        to_context, ValueFit::Nearest);
}

}  // namespace
}  // namespace varelum::engine

using namespace varelum::engine;

VE_API UNSIGNED32 AdsCopyTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                               const UNSIGNED8* pucFile) {
    return copy_table(hObj, usFilterOption, pucFile);
}

VE_API UNSIGNED32 AdsConvertTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                  const UNSIGNED8* pucFile, UNSIGNED16 usTableType) {
    if (usTableType != VE_TABLE_TYPE_ADT && usTableType != VE_TABLE_TYPE_DEFAULT) {
        return guarded([&] {
            (void)target_of(hObj);
            fail(VE_NOT_SUPPORTED, "converting into tables of type " + std::to_string(usTableType) +
                                       "; only ADT tables are served");
        });
    }
    return copy_table(hObj, usFilterOption, pucFile);
}

VE_API UNSIGNED32 AdsCopyTableStructure(ADSHANDLE hTable, const UNSIGNED8* pucFile) {
    return with_table(hTable, [&](TableCursor& table) {
        TableFile::create(table_path_of(table, pucFile), table.schema(), table.file().options());
    });
}

VE_API UNSIGNED32 AdsCopyTableContents(ADSHANDLE hObjFrom, ADSHANDLE hTableTo,
                                       UNSIGNED16 usFilterOption) {
    return guarded([&] {
        CallTarget target = target_of(hObjFrom);
        std::shared_ptr<TableCursor> to = table_of(hTableTo);
        if (to.get() == target.table) {
            fail(VE_INVALID_ARGUMENT, "a table handle cannot take its own records");
        }
        TableCursor::CallScope from_scope(*target.table);
        TableCursor::CallScope to_scope(*to);
        TableCursor& from = *target.table;
        const std::vector<FieldCopy> copies = field_copies(from.schema(), to->schema());
        const std::vector<std::uint32_t> records = shown_records(target, usFilterOption);
        // Every percent is answered while the records are read; only then are they appended,
        // so that a stop keeps nothing.
        struct Pending {
            SourceRecord record;
            std::map<std::uint16_t, std::optional<std::string>> memos;
        };
        std::vector<Pending> pending;
        pending.reserve(records.size());
        {
            Progress progress(records.size());
            const Snapshot& txn = from.read_txn();
            for (std::uint32_t recno : records) {
                Pending next{source_record(from, recno), {}};
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
        const TextContext to_context = to->text_context();
        // Appended in synced batches rather than one synced commit each; a record that fails
        // keeps those before it, as it would one by one.
        WriteBatch batch(to->file());
        for (const Pending& record : pending) {
            to->append();
            try {
                for (const FieldCopy& copy : copies) {
                    auto memo = record.memos.find(copy.from->number);
                    copy_field(copy, record.record,
                               memo != record.memos.end() ? memo->second : std::nullopt, *to,
                               from_context, to_context);
                }
                to->write();
            } catch (...) {
                to->cancel();
                batch.finish();
                throw;
            }
        }
        batch.finish();
    });
}

VE_API UNSIGNED32 AdsBinaryToFile(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  const UNSIGNED8* pucFileName) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (!is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo or binary field");
        }
        const std::string path = ansi_to_utf8(trim_blanks(c_text(pucFileName)));
        if (path.empty()) {
            fail(VE_INVALID_ARGUMENT, "no file name given");
        }
        const std::string value = table.memo(field).value_or(std::string());
        // Written beside the target and renamed over it: a failed write leaves no half file.
        if (int error = replace_file(path, path + ".partial", value)) {
            fail_errno("write", path, error);
        }
    });
}

VE_API UNSIGNED32 AdsFileToBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  UNSIGNED16 usBinaryType, const UNSIGNED8* pucFileName) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (!is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo or binary field");
        }
        if (usBinaryType != VE_BINARY_BINARY && usBinaryType != VE_BINARY_IMAGE) {
            fail(VE_INVALID_ARGUMENT, "binary type " + std::to_string(usBinaryType));
        }
        const std::string path = ansi_to_utf8(trim_blanks(c_text(pucFileName)));
        int fd = env().open_file(path, O_RDONLY);
        if (fd < 0) {
            fail_errno("open", path, -fd);
        }
        std::string value;
        char chunk[1 << 16];
        int error = 0;
        while (true) {
            ssize_t got = env().read_at(fd, chunk, sizeof chunk, static_cast<off_t>(value.size()));
            if (got < 0) {
                error = static_cast<int>(-got);
                break;
            }
            if (got == 0) {
                break;
            }
            value.append(chunk, static_cast<std::size_t>(got));
        }
        env().close_file(fd);
        if (error != 0) {
            fail_errno("read", path, error);
        }
        table.set_memo(field, std::move(value));
    });
}
