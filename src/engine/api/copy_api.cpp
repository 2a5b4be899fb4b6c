// The calls that copy and convert tables (the records a handle shows, in its order, into a new
// table file or into another open table; a table's structure alone) and memo or binary values
// to and from files. The work is table/table_copy.h's and table/memo_file.h's.
#include <string>
#include <vector>

#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/dict/table_access.h"
#include "engine/filter/record_walk.h"
#include "engine/storage/table_file.h"
#include "engine/table/memo_file.h"
#include "engine/table/table_copy.h"

namespace varelum::engine {
namespace {

// Where a new table named by the caller goes in the handle's connection's store (its
// directory unless the name leads elsewhere).
std::string table_path_of(const TableCursor& table, const UNSIGNED8* name) {
    const std::string text = trim_blanks(c_text(name));
    if (text.empty()) {
        fail(VE_INVALID_ARGUMENT, "no file name given");
    }
    return table.connection()->store().location_for_new(ansi_to_utf8(text));
}

// The record numbers the handle shows under the filter option, in its order.
std::vector<std::uint32_t> shown_records(const CallTarget& target, UNSIGNED16 option) {
    CursorState::of(*target.table).use_order(target.index);
    return shown_records(*target.table, target.index, option);
}

const FieldDescriptor& memo_field(TableCursor& table, const UNSIGNED8* name) {
    const FieldDescriptor& field = table.field(name);
    if (!is_memo_type(field.type)) {
        fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo or binary field");
    }
    return field;
}

UNSIGNED32 copy_table(ADSHANDLE hObj, UNSIGNED16 usFilterOption, const UNSIGNED8* pucFile) {
    return guarded([&] {
        CallTarget target = target_of(hObj);
        TableCursor::CallScope scope(*target.table);
        const std::string path = table_path_of(*target.table, pucFile);
        check_may_replace(*target.table->connection(), path);
        copy_to_new_table(*target.table, shown_records(target, usFilterOption), path);
    });
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
    if (usTableType != VE_TABLE_TYPE_DEFAULT) {
        UNSIGNED32 refused = guarded(
            [&] { target_of(hObj).table->connection()->store().require_table_type(usTableType); });
        if (refused != VE_SUCCESS) {
            return refused;
        }
    }
    return copy_table(hObj, usFilterOption, pucFile);
}

VE_API UNSIGNED32 AdsCopyTableStructure(ADSHANDLE hTable, const UNSIGNED8* pucFile) {
    return with_table(hTable, [&](TableCursor& table) {
        const std::string path = table_path_of(table, pucFile);
        check_may_replace(*table.connection(), path);
        table.connection()->store().create(path, table.schema(), table.file().options());
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
        append_records(*target.table, shown_records(target, usFilterOption), *to);
    });
}

VE_API UNSIGNED32 AdsBinaryToFile(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  const UNSIGNED8* pucFileName) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = memo_field(table, pucFldName);
        const std::string path = ansi_to_utf8(trim_blanks(c_text(pucFileName)));
        if (path.empty()) {
            fail(VE_INVALID_ARGUMENT, "no file name given");
        }
        write_memo_to_file(table, field, path);
    });
}

VE_API UNSIGNED32 AdsFileToBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  UNSIGNED16 usBinaryType, const UNSIGNED8* pucFileName) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = memo_field(table, pucFldName);
        if (usBinaryType != VE_BINARY_BINARY && usBinaryType != VE_BINARY_IMAGE) {
            fail(VE_INVALID_ARGUMENT, "binary type " + std::to_string(usBinaryType));
        }
        const std::string path = ansi_to_utf8(trim_blanks(c_text(pucFileName)));
        read_memo_from_file(table, field, path);
    });
}
