// Exported functions: optimised and plain filters, record counts that respect them, and
// locating records by an expression.
#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/filter/record_walk.h"
#include "engine/format/code_page.h"
#include "engine/index/table_expression.h"
#include "engine/storage/table_file.h"

using namespace varelum::engine;

namespace {

// The code page of the table's texts, in which its expressions are kept.
format::CodePage page_of(const TableCursor& table) {
    return table.text_context().page;
}

// The text of a filter argument in the table's code page: 8-bit (Windows-1252), or UTF-16
// (zero-terminated) with VE_FILTER_UTF16.
std::string filter_text(const void* filter, UNSIGNED32 options, format::CodePage page) {
    if (filter == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no filter given");
    }
    if (options & VE_FILTER_UTF16) {
        const auto* units = static_cast<const WCHAR*>(filter);
        std::u16string_view text(units);
        return format::utf16_to_bytes(page, text);
    }
    return format::recode(format::CodePage::Ansi1252, page,
                          c_text(static_cast<const UNSIGNED8*>(filter)));
}

// A filter text kept in the table's code page, given back as the caller asks.
void put_filter_text(const std::string& kept, format::CodePage page, void* buffer,
                     UNSIGNED32* length, UNSIGNED32 options) {
    if (options & VE_FILTER_UTF16) {
        put_wide(format::bytes_to_utf16(page, kept), static_cast<WCHAR*>(buffer), length);
        return;
    }
    std::string text = format::recode(page, format::CodePage::Ansi1252, kept);
    UNSIGNED32& capacity = out(length);
    UNSIGNED16 narrow = static_cast<UNSIGNED16>(std::min<UNSIGNED32>(capacity, 0xFFFF));
    try {
        put_text(text, static_cast<UNSIGNED8*>(buffer), &narrow);
    } catch (const EngineError&) {
        capacity = narrow;
        throw;
    }
    capacity = narrow;
}

void require_aof(CursorState& state) {
    if (state.aof() == nullptr) {
        fail(VE_NO_FILTER, "the table has no optimised filter");
    }
}

void set_filter(ADSHANDLE handle, const void* filter, UNSIGNED32 options, bool optimized) {
    UNSIGNED32 known = optimized ? (VE_AOF_RESOLVE_NOW | VE_AOF_RESOLVE_LATER | VE_AOF_KEYSET |
                                    VE_AOF_FIXED | VE_FILTER_UTF16)
                                 : VE_FILTER_UTF16;
    if ((options & ~known) != 0 ||
        (optimized && (options & VE_AOF_KEYSET) && (options & VE_AOF_FIXED))) {
        fail(VE_INVALID_ARGUMENT, "filter options " + std::to_string(options));
    }
    CallTarget target = target_of(handle);
    TableCursor& table = *target.table;
    std::string text = trim_blanks(filter_text(filter, options, page_of(table)));
    TableCursor::CallScope scope(table);
    CursorState& state = CursorState::of(table);
    if (table.pending()) {
        table.write();
    }
    if (text.empty()) {
        fail(VE_INVALID_EXPRESSION, "the filter is empty");
    }
    auto compiled = std::make_unique<TableFilter>(table, text, optimized, options,
                                                  handle_settings(table, state.exact));
    if (optimized) {
        state.set_aof(std::move(compiled));
    } else {
        state.set_filter(std::move(compiled));
    }
}

// Walks from the current record (or from an end) to the next shown record that satisfies the
// locate expression.
bool locate_from(TableCursor& table, CursorState& state, bool restart) {
    CursorState::Locate& locate = *state.locate;
    if (restart) {
        locate.forward ? table.goto_top() : table.goto_bottom();
    } else {
        table.skip(locate.forward ? 1 : -1);
    }
    while (table.on_record()) {
        if (evaluate_on_current(table, *locate.expression, locate.settings.settings).logical) {
            return true;
        }
        table.skip(locate.forward ? 1 : -1);
    }
    return false;
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsSetAOF100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions) {
    return guarded([&] { set_filter(hTable, pvFilter, ulOptions, true); });
}

VE_API UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16 usOptions) {
    return guarded([&] { set_filter(hTable, pucFilter, usOptions, true); });
}

VE_API UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        require_aof(state);
        put_text(format::recode(page_of(table), format::CodePage::Ansi1252, state.aof()->text()),
                 pucFilter, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetAOF100(ADSHANDLE hTable, UNSIGNED32 ulOptions, void* pvFilter,
                               UNSIGNED32* pulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        require_aof(state);
        put_filter_text(state.aof()->text(), page_of(table), pvFilter, pulLen, ulOptions);
    });
}

VE_API UNSIGNED32 AdsClearAOF(ADSHANDLE hTable) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        require_aof(state);
        state.set_aof(nullptr);
    });
}

VE_API UNSIGNED32 AdsRefreshAOF(ADSHANDLE hTable) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        require_aof(state);
        if (table.pending()) {
            table.write();
        }
        state.aof()->refresh(table.read_txn());
    });
}

VE_API UNSIGNED32 AdsGetAOFOptLevel100(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, void* pvNonOpt,
                                       UNSIGNED32* pulLen, UNSIGNED32 ulOptions) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        UNSIGNED16& level = out(pusOptLevel);
        level = VE_OPTIMIZED_NONE;
        require_aof(state);
        level = static_cast<UNSIGNED16>(state.aof()->level());
        if (pulLen != nullptr) {
            put_filter_text(state.aof()->residual_text(), page_of(table), pvNonOpt, pulLen,
                            ulOptions);
        }
    });
}

VE_API UNSIGNED32 AdsGetAOFOptLevel(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, UNSIGNED8* pucNonOpt,
                                    UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        UNSIGNED16& level = out(pusOptLevel);
        level = VE_OPTIMIZED_NONE;
        require_aof(state);
        level = static_cast<UNSIGNED16>(state.aof()->level());
        if (pusLen != nullptr) {
            put_text(state.aof()->residual_text(), pucNonOpt, pusLen);
        }
    });
}

VE_API UNSIGNED32 AdsEvalAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter,
                             UNSIGNED16* pusOptLevel) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& level = out(pusOptLevel);
        std::string text = trim_blanks(c_text(pucFilter));
        if (text.empty()) {
            fail(VE_INVALID_EXPRESSION, "the filter is empty");
        }
        TableFilter trial(table, text, true, VE_AOF_RESOLVE_LATER,
                          handle_settings(table, CursorState::of(table).exact));
        level = static_cast<UNSIGNED16>(trial.level());
    });
}

VE_API UNSIGNED32 AdsCustomizeAOF(ADSHANDLE hTable, UNSIGNED32 ulNumRecords,
                                  const UNSIGNED32* pulRecords, UNSIGNED16 usOption) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        require_aof(state);
        if (pulRecords == nullptr && ulNumRecords > 0) {
            fail(VE_INVALID_ARGUMENT, "no record numbers given");
        }
        std::vector<std::uint32_t> records(pulRecords, pulRecords + ulNumRecords);
        state.aof()->customize(table.read_txn(), records, usOption);
    });
}

VE_API UNSIGNED32 AdsIsRecordInAOF(ADSHANDLE hTable, UNSIGNED32 ulRecordNum,
                                   UNSIGNED16* pbIsInAOF) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& answer = out(pbIsInAOF);
        CursorState& state = CursorState::of(table);
        require_aof(state);
        std::uint32_t recno = ulRecordNum != 0 ? ulRecordNum : table.record_number();
        if (recno == 0) {
            fail(VE_NO_CURRENT_RECORD);
        }
        auto stored = table.file().record(table.read_txn(), recno);
        if (!stored) {
            fail(VE_RECORD_NOT_FOUND, "record " + std::to_string(recno));
        }
        StoredRecord record{recno, *stored};
        answer = state.aof()->accepts(table.read_txn(), record) ? 1 : 0;
    });
}

VE_API UNSIGNED32 AdsSetFilter100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions) {
    return guarded([&] { set_filter(hTable, pvFilter, ulOptions, false); });
}

VE_API UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, const UNSIGNED8* pucFilter) {
    return guarded([&] { set_filter(hTable, pucFilter, 0, false); });
}

VE_API UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        if (state.filter() == nullptr) {
            fail(VE_NO_FILTER);
        }
        put_text(format::recode(page_of(table), format::CodePage::Ansi1252, state.filter()->text()),
                 pucFilter, pusLen);
    });
}

VE_API UNSIGNED32 AdsClearFilter(ADSHANDLE hTable) {
    return with_table(hTable, [&](TableCursor& table) {
        CursorState& state = CursorState::of(table);
        if (state.filter() == nullptr) {
            fail(VE_NO_FILTER);
        }
        state.set_filter(nullptr);
    });
}

VE_API UNSIGNED32 AdsLocate(ADSHANDLE hTable, const UNSIGNED8* pucExpr, UNSIGNED16 bForward,
                            UNSIGNED16* pbFound) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& found = out(pbFound);
        found = 0;
        CursorState& state = CursorState::of(table);
        CursorState::Locate locate;
        locate.settings = handle_settings(table, state.exact);
        locate.expression = std::make_unique<expr::Expression>(
            compile_expression(table,
                               format::recode(format::CodePage::Ansi1252,
                                              locate.settings.settings.code_page, c_text(pucExpr)),
                               locate.settings.settings, true));
        locate.forward = bForward != 0;
        state.locate = std::move(locate);
        found = locate_from(table, state, true) ? 1 : 0;
    });
}

VE_API UNSIGNED32 AdsContinue(ADSHANDLE hTable, UNSIGNED16* pbFound) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& found = out(pbFound);
        found = 0;
        CursorState& state = CursorState::of(table);
        if (!state.locate) {
            fail(VE_INVALID_ARGUMENT, "AdsContinue without an AdsLocate");
        }
        found = locate_from(table, state, false) ? 1 : 0;
    });
}

}  // extern "C"
