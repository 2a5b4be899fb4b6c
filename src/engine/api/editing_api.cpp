// Exported functions: appending, writing, deleting records, and record and table locks.
#include "engine/api/guard.h"
#include "engine/storage/file_locks.h"
#include "engine/storage/table_file.h"

using namespace varelum::engine;

extern "C" {

VE_API UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) { table.append(); });
}

VE_API UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) { table.write(); });
}

VE_API UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) { table.set_deleted(true); });
}

VE_API UNSIGNED32 AdsRecallRecord(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) { table.set_deleted(false); });
}

VE_API UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) { table.cancel(); });
}

VE_API UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return with_table(hTable, [&](TableCursor& table) { table.lock_record(ulRec); });
}

VE_API UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return with_table(hTable, [&](TableCursor& table) { table.unlock_record(ulRec); });
}

VE_API UNSIGNED32 AdsIsRecordLocked(ADSHANDLE hTable, UNSIGNED32 ulRec, UNSIGNED16* pbLocked) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& locked = out(pbLocked);
        std::uint32_t recno = ulRec == 0 ? table.record_number() : ulRec;
        if (recno == 0) {
            fail(VE_NO_CURRENT_RECORD);
        }
        locked = table.locks().holds_record(recno);
    });
}

VE_API UNSIGNED32 AdsGetNumLocks(ADSHANDLE hTable, UNSIGNED16* pusNum) {
    return with_table(hTable, [&](TableCursor& table) {
        out(pusNum) = static_cast<UNSIGNED16>(table.locks().records().size());
    });
}

VE_API UNSIGNED32 AdsGetAllLocks(ADSHANDLE hTable, UNSIGNED32* aulLocks, UNSIGNED16* pusArrayLen) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& length = out(pusArrayLen);
        std::vector<std::uint32_t> records = table.locks().records();
        std::size_t capacity = aulLocks == nullptr ? 0 : length;
        std::size_t count = std::min(capacity, records.size());
        for (std::size_t i = 0; i < count; ++i) {
            aulLocks[i] = records[i];
        }
        length = static_cast<UNSIGNED16>(std::min<std::size_t>(records.size(), 0xFFFF));
        if (count < records.size()) {
            fail(VE_BUFFER_TOO_SMALL,
                 "the connection holds " + std::to_string(records.size()) + " record locks");
        }
    });
}

VE_API UNSIGNED32 AdsLockTable(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) { table.locks().lock_table(); });
}

VE_API UNSIGNED32 AdsUnlockTable(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) {
        if (table.pending()) {
            table.write();
        }
        if (!table.locks().unlock_table()) {
            fail(VE_TABLE_NOT_LOCKED);
        }
    });
}

VE_API UNSIGNED32 AdsIsTableLocked(ADSHANDLE hTable, UNSIGNED16* pbLocked) {
    return with_table(hTable,
                      [&](TableCursor& table) { out(pbLocked) = table.locks().holds_table(); });
}

VE_API UNSIGNED32 AdsFlushFileBuffers(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) {
        if (table.pending()) {
            table.write();
        }
        table.file().flush();
    });
}

}  // extern "C"
