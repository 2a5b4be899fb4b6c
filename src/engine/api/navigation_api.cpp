// Exported functions: moving a handle, bookmarks and whole-record reads.
#include "engine/api/guard.h"
#include "engine/core/settings.h"
#include "engine/filter/record_walk.h"
#include "engine/record/record_image.h"
#include "engine/sql/statement_calls.h"

using namespace varelum::engine;

namespace {

// AdsAtEOF and AdsAtBOF, which a walk asks after every move: on a table handle the answer is
// what the handle's last call published in its registry slot, read without taking its lock
// (a call running meanwhile has not moved it yet); an index handle or an SQL cursor goes the
// usual way.
template <typename Slow>
UNSIGNED32 at_end(ADSHANDLE handle, std::uint8_t flag, UNSIGNED16* answer, Slow slow) noexcept {
    bool published = false;
    const UNSIGNED32 rc = guarded([&] {
        std::uint8_t flags = 0;
        published = HandleRegistry::instance().table_flags(handle, flags);
        if (!published) {
            return;
        }
        if ((flags & TableCursor::kPublishedClosed) != 0) {
            fail(VE_CLOSED_HANDLE, "handle " + std::to_string(handle));
        }
        out(answer) = (flags & flag) != 0;
    });
    if (published || rc != VE_SUCCESS) {
        return rc;
    }
    return with_table(handle, [&](TableCursor& table) { out(answer) = slow(table); });
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsGotoTop(ADSHANDLE hObj) {
    return with_table(hObj, [](TableCursor& table) { table.goto_top(); });
}

VE_API UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj) {
    return with_table(hObj, [](TableCursor& table) { table.goto_bottom(); });
}

VE_API UNSIGNED32 AdsGotoBOF(ADSHANDLE hObj) {
    return with_table(hObj, [](TableCursor& table) { table.goto_bof(); });
}

VE_API UNSIGNED32 AdsGotoEOF(ADSHANDLE hObj) {
    return with_table(hObj, [](TableCursor& table) { table.goto_eof(); });
}

VE_API UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs) {
    return with_table(hObj, [&](TableCursor& table) { table.skip(lRecs); });
}

VE_API UNSIGNED32 AdsAtEOF(ADSHANDLE hTable, UNSIGNED16* pbAtEOF) {
    return at_end(hTable, TableCursor::kPublishedEof, pbAtEOF,
                  [](TableCursor& table) { return table.at_eof(); });
}

VE_API UNSIGNED32 AdsAtBOF(ADSHANDLE hTable, UNSIGNED16* pbAtBOF) {
    return at_end(hTable, TableCursor::kPublishedBof, pbAtBOF,
                  [](TableCursor& table) { return table.at_bof(); });
}

VE_API UNSIGNED32 AdsGotoRecord(ADSHANDLE hTable, UNSIGNED32 ulRec) {
    return with_table(hTable, [&](TableCursor& table) { table.goto_record(ulRec); });
}

VE_API UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRec) {
    return with_table(hObj, [&](TableCursor& table) {
        if (usFilterOption > 7) {
            fail(VE_INVALID_ARGUMENT, "filter option " + std::to_string(usFilterOption));
        }
        out(pulRec) = table.record_number();
    });
}

VE_API UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                    UNSIGNED32* pulCount) {
    if (sql::is_sql_statement(hObj)) {
        return sql::statement_rows_affected(hObj, pulCount);
    }
    return guarded([&] {
        CallTarget target = target_of(hObj);
        TableCursor::CallScope scope(*target.table);
        CursorState::of(*target.table).use_order(target.index);
        out(pulCount) = count_records(*target.table, target.index, usFilterOption);
    });
}

VE_API UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark) {
    return with_table(hObj, [&](TableCursor& table) { out(phBookmark) = table.record_number(); });
}

VE_API UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength) {
    return with_table(hObj, [&](TableCursor& table) {
        UNSIGNED32& length = out(pulLength);
        std::uint32_t recno = table.record_number();
        if (length < 4 || pucBookmark == nullptr) {
            length = 4;
            fail(VE_BUFFER_TOO_SMALL, "a bookmark takes 4 bytes");
        }
        store_le(pucBookmark, recno);
        length = 4;
    });
}

VE_API UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength) {
    return with_table(hObj, [&](TableCursor&) { out(pulLength) = 4; });
}

VE_API UNSIGNED32 AdsGotoBookmark(ADSHANDLE hTable, ADSHANDLE hBookmark) {
    return with_table(hTable, [&](TableCursor& table) { table.goto_record(hBookmark); });
}

VE_API UNSIGNED32 AdsGotoBookmark60(ADSHANDLE hObj, const UNSIGNED8* pucBookmark) {
    return with_table(hObj, [&](TableCursor& table) {
        if (pucBookmark == nullptr) {
            fail(VE_INVALID_ARGUMENT, "no bookmark given");
        }
        table.goto_record(load_le<std::uint32_t>(pucBookmark));
    });
}

VE_API UNSIGNED32 AdsCompareBookmarks(const UNSIGNED8* pucBookmark1, const UNSIGNED8* pucBookmark2,
                                      SIGNED32* plResult) {
    return guarded([&] {
        if (pucBookmark1 == nullptr || pucBookmark2 == nullptr) {
            fail(VE_INVALID_ARGUMENT, "a bookmark is missing");
        }
        auto first = load_le<std::uint32_t>(pucBookmark1);
        auto second = load_le<std::uint32_t>(pucBookmark2);
        out(plResult) = first < second ? -1 : first > second ? 1 : 0;
    });
}

VE_API UNSIGNED32 AdsGetRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED32& length = out(pulLen);
        std::uint32_t needed = table.schema().record_length();
        if (length < needed || pucRec == nullptr) {
            length = needed;
            fail(VE_BUFFER_TOO_SMALL, "the record takes " + std::to_string(needed) + " bytes");
        }
        table.record_number();  // a pending append gets its number and AutoInc value
        const auto& image = table.image();
        std::memcpy(pucRec, image.data(), needed);
        length = needed;
    });
}

VE_API UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        if (pucBuf == nullptr) {
            fail(VE_INVALID_ARGUMENT, "no buffer given");
        }
        std::vector<std::uint8_t> empty = null_image(table.schema());
        std::memcpy(pucBuf, empty.data(), std::min<std::size_t>(ulLen, empty.size()));
    });
}

VE_API UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32* pulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED32& length = out(pulLen);
        std::vector<std::uint8_t> empty = null_image(table.schema());
        if (length < empty.size() || pucBuf == nullptr) {
            length = static_cast<UNSIGNED32>(empty.size());
            fail(VE_BUFFER_TOO_SMALL,
                 "the record takes " + std::to_string(empty.size()) + " bytes");
        }
        std::memcpy(pucBuf, empty.data(), empty.size());
        length = static_cast<UNSIGNED32>(empty.size());
    });
}

VE_API UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable) {
    return with_table(hTable, [](TableCursor& table) { table.refresh(); });
}

VE_API UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible) {
    return with_table(hObj, [&](TableCursor& table) {
        UNSIGNED16& visible = out(pbVisible);
        visible = 0;
        visible = table.visible();
    });
}

VE_API UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted) {
    return with_table(hTable, [&](TableCursor& table) { out(pbDeleted) = table.deleted(); });
}

VE_API UNSIGNED32 AdsGetRecordCRC(ADSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32 ulOptions) {
    return with_table(hTable, [&](TableCursor& table) {
        if (ulOptions > 1) {
            fail(VE_INVALID_ARGUMENT, "CRC option " + std::to_string(ulOptions));
        }
        out(pulCRC) = table.crc(ulOptions == 1);
    });
}

}  // extern "C"
