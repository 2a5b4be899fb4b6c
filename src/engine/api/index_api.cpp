// Exported functions: creating, opening, closing and describing index tags, key counts and
// key positions, custom keys.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "engine/api/guard.h"
#include "engine/core/progress.h"
#include "engine/core/settings.h"
#include "engine/core/text.h"
#include "engine/dict/table_access.h"
#include "engine/filter/record_walk.h"
#include "engine/index/index_catalog.h"
#include "engine/index/index_file.h"
#include "engine/index/table_expression.h"
#include "engine/storage/table_file.h"
#include "engine/table/connection.h"

using namespace varelum::engine;

namespace {

// Option bits AdsCreateIndex90 knows; others are refused so that a typo is not ignored.
constexpr UNSIGNED32 kKnownIndexOptions = kIndexUnique | kIndexCompound | kIndexCustom |
                                          kIndexDescending | kIndexCandidate | 0x0010 | 0x1000;

void put_answer(bool value, UNSIGNED16* answer) {
    out(answer) = value ? 1 : 0;
}

// Writes handles into the caller's array: VE_BUFFER_TOO_SMALL (with the count) when they do
// not all fit.
void put_handles(const std::vector<std::shared_ptr<IndexHandle>>& handles, ADSHANDLE* array,
                 UNSIGNED16* length) {
    UNSIGNED16& capacity = out(length);
    std::size_t fits = array == nullptr ? 0 : std::min<std::size_t>(capacity, handles.size());
    for (std::size_t i = 0; i < fits; ++i) {
        array[i] = handles[i]->handle();
    }
    capacity = static_cast<UNSIGNED16>(handles.size());
    if (fits < handles.size()) {
        fail(VE_BUFFER_TOO_SMALL, "there are " + std::to_string(handles.size()) + " indexes");
    }
}

std::string file_base_name(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsCreateIndex90(ADSHANDLE hObj, const UNSIGNED8* pucFileName,
                                   const UNSIGNED8* pucTag, const UNSIGNED8* pucExpr,
                                   const UNSIGNED8* pucCondition, const UNSIGNED8* pucWhile,
                                   UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                                   const UNSIGNED8* pucCollation, ADSHANDLE* phIndex) {
    return with_table(hObj, [&](TableCursor& table) {
        if ((ulOptions & ~kKnownIndexOptions) != 0) {
            fail(VE_INVALID_ARGUMENT, "index options " + std::to_string(ulOptions));
        }
        if (!trim_blanks(c_text(pucWhile)).empty()) {
            fail(VE_NOT_SUPPORTED, "a WHILE condition (index the records of a FOR condition)");
        }
        std::string file = trim_blanks(c_text(pucFileName));
        IndexDefinition definition;
        definition.name = trim_blanks(c_text(pucTag));
        if (definition.name.empty()) {
            // A file of its own with a single tag is named after the file.
            std::string base = file_base_name(file);
            definition.name = base.substr(0, base.rfind('.'));
        }
        if (definition.name.empty() || definition.name.front() == '#' ||
            definition.name.size() > 128) {
            fail(VE_INVALID_ARGUMENT, "index name \"" + definition.name + "\"");
        }
        definition.expression = trim_blanks(c_text(pucExpr));
        if (definition.expression.empty()) {
            fail(VE_INVALID_EXPRESSION, "the index has no key expression");
        }
        definition.condition = trim_blanks(c_text(pucCondition));
        definition.options = ulOptions;
        definition.page_size = ulPageSize;
        std::string collation = trim_blanks(c_text(pucCollation));
        definition.collation = collation.empty() ? effective_collation_name(table) : collation;
        collation_named(definition.collation);  // refuses an unknown name before any work
        definition.date_format = table.connection()->date_format().pattern();
        std::string table_file = file_base_name(table.file().path());
        if (!file.empty() && !iequals(file_base_name(file), table_file) &&
            !iequals(index_file_name(file), index_file_name(table_file))) {
            definition.file_name = file_base_name(index_file_name(file));
        }
        if (table.pending()) {
            table.write();
        }
        table.connection()->require_no_transaction("making an index");
        require_table_administrator(table.file(), *table.connection(), "changes the index tags of");
        IndexCatalog& catalog = IndexCatalog::of(table.file());
        Progress progress(table.file().census().records);
        catalog.create(definition);
        progress.finish();
        CursorState& state = CursorState::of(table);
        std::shared_ptr<IndexHandle> handle;
        if (!definition.file_name.empty()) {
            write_index_file(table, definition.file_name);
            try {
                state.open_file(definition.file_name);
            } catch (const EngineError& error) {
                if (error.code() != VE_INDEX_ALREADY_OPEN) {
                    throw;
                }
            }
        }
        handle = state.index_named(definition.name);
        if (handle == nullptr) {
            fail(VE_INTERNAL_ERROR, "the new index is not open");
        }
        if (phIndex != nullptr) {
            *phIndex = handle->handle();
        }
    });
}

VE_API UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, const UNSIGNED8* pucName, ADSHANDLE* ahIndex,
                               UNSIGNED16* pusArrayLen) {
    return with_table(hTable, [&](TableCursor& table) {
        std::string name = trim_blanks(c_text(pucName));
        if (name.empty()) {
            fail(VE_INVALID_ARGUMENT, "no index file given");
        }
        std::string base = file_base_name(index_file_name(name));
        std::string own = file_base_name(index_file_name(file_base_name(table.file().path())));
        CursorState& state = CursorState::of(table);
        std::vector<std::shared_ptr<IndexHandle>> opened;
        if (iequals(base, own) ||
            iequals(file_base_name(name), file_base_name(table.file().path()))) {
            opened = state.open_file("");
        } else {
            verify_index_file(table, name);
            opened = state.open_file(base);
        }
        if (pusArrayLen != nullptr) {
            put_handles(opened, ahIndex, pusArrayLen);
        }
    });
}

VE_API UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState& state) {
        state.close_file_of(index);
    });
}

VE_API UNSIGNED32 AdsCloseAllIndexes(ADSHANDLE hTable) {
    return with_table(hTable,
                      [&](TableCursor& table) { CursorState::of(table).close_all_indexes(); });
}

VE_API UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState& state) {
        table.connection()->require_no_transaction("deleting an index");
        require_table_administrator(table.file(), *table.connection(), "changes the index tags of");
        table.require_sole_use();
        std::string name = index.tag().name();
        std::string file = index.tag().definition().file_name;
        state.use_order(nullptr);
        IndexCatalog::of(table.file()).remove(name);
        state.indexes();  // drops the handle of the deleted tag
        if (!file.empty()) {
            write_index_file(table, file);
        }
    });
}

VE_API UNSIGNED32 AdsReindex61(ADSHANDLE hObj, UNSIGNED32 ulPageSize) {
    (void)ulPageSize;  // accepted: keys need no pages here
    return with_table(hObj, [&](TableCursor& table) {
        table.connection()->require_no_transaction("rebuilding the indexes");
        if (table.pending()) {
            table.write();
        }
        IndexCatalog& catalog = IndexCatalog::of(table.file());
        Progress progress(table.file().census().records * catalog.tags().size());
        catalog.rebuild_all();
        progress.finish();
    });
}

VE_API UNSIGNED32 AdsReindex(ADSHANDLE hObj) {
    return AdsReindex61(hObj, 0);
}

VE_API UNSIGNED32 AdsGetNumIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum) {
    return with_table(hTable, [&](TableCursor& table) {
        out(pusNum) = static_cast<UNSIGNED16>(CursorState::of(table).indexes().size());
    });
}

VE_API UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE* ahIndex, UNSIGNED16* pusArrayLen) {
    return with_table(hTable, [&](TableCursor& table) {
        put_handles(CursorState::of(table).indexes(), ahIndex, pusArrayLen);
    });
}

VE_API UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, const UNSIGNED8* pucIndexOrder,
                                    ADSHANDLE* phIndex) {
    return with_table(hTable, [&](TableCursor& table) {
        ADSHANDLE& result = out(phIndex);
        result = 0;
        CursorState& state = CursorState::of(table);
        std::string name = trim_blanks(c_text(pucIndexOrder));
        if (name.empty()) {
            auto current = state.current_index();
            result = current ? current->handle() : 0;
            return;
        }
        auto handle = state.index_named(name);
        if (handle == nullptr) {
            fail(VE_INDEX_NOT_OPEN, name);
        }
        result = handle->handle();
    });
}

VE_API UNSIGNED32 AdsGetIndexHandleByOrder(ADSHANDLE hTable, UNSIGNED16 usOrderNum,
                                           ADSHANDLE* phIndex) {
    return with_table(hTable, [&](TableCursor& table) {
        ADSHANDLE& result = out(phIndex);
        const auto& indexes = CursorState::of(table).indexes();
        if (usOrderNum == 0 || usOrderNum > indexes.size()) {
            fail(VE_INDEX_NOT_OPEN,
                 "order " + std::to_string(usOrderNum) + " of " + std::to_string(indexes.size()));
        }
        result = indexes[usOrderNum - 1u]->handle();
    });
}

VE_API UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        put_text(index.tag().name(), pucName, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetIndexExpr(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        put_text(index.tag().definition().expression, pucExpr, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        put_text(index.tag().definition().condition, pucExpr, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                      UNSIGNED16* pusLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        std::string path = index_file_path(table, index.tag().definition().file_name);
        std::string base = file_base_name(path);
        switch (usOption) {
            case VE_NAME_BASE:
                put_text(base.substr(0, base.rfind('.')), pucName, pusLen);
                break;
            case VE_NAME_BASE_AND_EXTENSION:
                put_text(base, pucName, pusLen);
                break;
            case VE_NAME_FULL_PATH:
                put_text(path, pucName, pusLen);
                break;
            default:
                fail(VE_INVALID_ARGUMENT, "file name option " + std::to_string(usOption));
        }
    });
}

VE_API UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        UNSIGNED32 size = index.tag().definition().page_size;
        out(pulPageSize) = size == 0 ? 512 : size;
    });
}

VE_API UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulFlags) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        // Every tag here is a tag of a compound file (the table's or one beside it).
        out(pulFlags) = index.tag().definition().options | kIndexCompound;
    });
}

VE_API UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        out(pusSegments) = static_cast<UNSIGNED16>(index.tag().segment_fields().size());
    });
}

VE_API UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegment, UNSIGNED8* pucName,
                                         UNSIGNED16* pusLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        const auto& fields = index.tag().segment_fields();
        if (usSegment >= fields.size()) {
            fail(VE_INVALID_ARGUMENT,
                 "index " + index.tag().name() + " has no segment " + std::to_string(usSegment));
        }
        put_text(fields[usSegment].name, pucName, pusLen);
    });
}

VE_API UNSIGNED32 AdsIsIndexCompound(ADSHANDLE hIndex, UNSIGNED16* pbCompound) {
    return with_index(
        hIndex, [&](IndexHandle&, TableCursor&, CursorState&) { put_answer(true, pbCompound); });
}

VE_API UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbCustom) {
    return guarded([&] {
        auto object = HandleRegistry::instance().find(hIndex);
        if (object->kind() != HandleKind::Index) {
            fail(VE_NOT_APPLICABLE, "handle " + std::to_string(hIndex) + " is no index");
        }
        auto index = std::static_pointer_cast<IndexHandle>(object);
        auto table = index->table();
        TableCursor::CallScope scope(*table);
        put_answer(index->tag().definition().custom(), pbCustom);
    });
}

VE_API UNSIGNED32 AdsIsIndexDescending(ADSHANDLE hIndex, UNSIGNED16* pbDescending) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        put_answer(index.tag().definition().descending(), pbDescending);
    });
}

VE_API UNSIGNED32 AdsIsIndexUnique(ADSHANDLE hIndex, UNSIGNED16* pbUnique) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        put_answer((index.tag().definition().options & kIndexUnique) != 0, pbUnique);
    });
}

VE_API UNSIGNED32 AdsIsIndexCandidate(ADSHANDLE hIndex, UNSIGNED16* pbCandidate) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        put_answer((index.tag().definition().options & kIndexCandidate) != 0, pbCandidate);
    });
}

VE_API UNSIGNED32 AdsIsIndexPrimaryKey(ADSHANDLE hIndex, UNSIGNED16* pbPrimary) {
    return with_index(hIndex, [&](IndexHandle&, TableCursor&, CursorState&) {
        put_answer(false,
                   pbPrimary);  // primary keys are a data dictionary's; free tables have none
    });
}

VE_API UNSIGNED32 AdsGetKeyLength(ADSHANDLE hIndex, UNSIGNED16* pusKeyLength) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        out(pusKeyLength) = static_cast<UNSIGNED16>(index.tag().layout().key_length());
    });
}

VE_API UNSIGNED32 AdsGetKeyType(ADSHANDLE hIndex, UNSIGNED16* pusKeyType) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        if (index.tag().layout().segment_count() > 1) {
            out(pusKeyType) = VE_EXPR_RAW;
            return;
        }
        out(pusKeyType) = expression_type_code(index.tag().key_type().type);
    });
}

VE_API UNSIGNED32 AdsGetKeyCount(ADSHANDLE hIndex, UNSIGNED16 usFilterOption,
                                 UNSIGNED32* pulKeyCount) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        out(pulKeyCount) = count_records(table, &index, usFilterOption);
    });
}

VE_API UNSIGNED32 AdsGetKeyNum(ADSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulKey) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        out(pulKey) = key_number(table, index, usFilterOption);
    });
}

VE_API UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, double* pdPos) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        double& position = out(pdPos);
        position = 0.0;
        std::uint32_t count = count_records(table, &index, VE_RESPECT_SCOPES);
        if (count == 0) {
            fail(VE_NO_KEY_POSITION, "the index has no keys in its scope");
        }
        if (table.at_bof() && !table.on_record()) {
            position = 0.0;
            return;
        }
        if (!table.on_record()) {
            position = 1.0;
            return;
        }
        std::uint32_t k = key_number(table, index, VE_RESPECT_SCOPES);
        if (k == 0) {
            fail(VE_NO_KEY_POSITION, "the record has no key in the index");
        }
        // Just above k / n, so that n × position cut to an integer gives k again.
        position = std::min(1.0, std::nextafter(static_cast<double>(k) / count, 2.0));
    });
}

VE_API UNSIGNED32 AdsSetRelKeyPos(ADSHANDLE hIndex, double dPos) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        if (!(dPos >= 0.0 && dPos <= 1.0)) {
            fail(VE_INVALID_ARGUMENT, "relative key position " + std::to_string(dPos));
        }
        std::uint32_t count = count_records(table, &index, VE_RESPECT_SCOPES);
        auto k = static_cast<std::uint32_t>(std::llround(dPos * count));
        goto_key_number(table, index, std::max<std::uint32_t>(1, std::min(k, count)));
    });
}

VE_API UNSIGNED32 AdsExtractKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        std::string key = index.tag().key_ignoring_condition(table.image());
        UNSIGNED16& capacity = out(pusLen);
        if (pucKey == nullptr || capacity < key.size()) {
            capacity = static_cast<UNSIGNED16>(key.size());
            fail(VE_BUFFER_TOO_SMALL, "the key takes " + std::to_string(key.size()) + " bytes");
        }
        std::memcpy(pucKey, key.data(), key.size());
        capacity = static_cast<UNSIGNED16>(key.size());
    });
}

VE_API UNSIGNED32 AdsAddCustomKey(ADSHANDLE hIndex) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        if (table.pending()) {
            table.write();
        }
        std::uint32_t recno = table.record_number();
        if (recno == 0) {
            fail(VE_NO_CURRENT_RECORD);
        }
        table.connection()->require_no_transaction("adding a custom key");
        IndexCatalog::of(table.file()).change_custom_key(index.tag(), recno, table.image(), true);
    });
}

VE_API UNSIGNED32 AdsDeleteCustomKey(ADSHANDLE hIndex) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        std::uint32_t recno = table.record_number();
        if (recno == 0) {
            fail(VE_NO_CURRENT_RECORD);
        }
        table.connection()->require_no_transaction("deleting a custom key");
        IndexCatalog::of(table.file()).change_custom_key(index.tag(), recno, table.image(), false);
    });
}

}  // extern "C"
