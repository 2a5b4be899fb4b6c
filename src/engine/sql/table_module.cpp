// The engine_table virtual-table module (see table_module.h).
//
// Engine failures inside a callback are kept as the thread's pending engine error and
// reported to SQLite as SQLITE_ERROR with the engine's text; the statement then reports the
// engine's kind of failure (sql_error.h).
#include "engine/sql/table_module.h"

#include <cstring>
#include <optional>

#include "engine/core/error.h"
#include "engine/core/settings.h"
#include "engine/core/text.h"
#include "engine/expr/string_collation.h"
#include "engine/index/index_catalog.h"
#include "engine/keys/key_encoder.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_session.h"
#include "engine/sql/sql_value.h"
#include "engine/sql/tag_range.h"
#include "engine/table/connection.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

// How a scan finds its rows (xBestIndex's idxNum).
enum Plan : int {
    kFullScan = 0,
    kRowidEquals = 1,
    kIndexEquals = 2,  // idxStr: the tag; argument: the value
    kIndexOrder = 3,   // idxStr: the tag; every record in its key order
    kIndexRange = 4,   // idxStr: the tag; arguments: the lower bound, the upper, as flagged
};
// Flags added to kIndexRange.
constexpr int kPlanMask = 0xF;
constexpr int kHasLower = 0x10;
constexpr int kHasUpper = 0x20;
constexpr int kOrdered = 0x40;  // SQLite relies on the tag's order: no scan may stand in

struct EngineTable : sqlite3_vtab {
    SqlSession* session = nullptr;
    std::string path;
    TableSchema schema;
    std::vector<IndexedField> indexes;
    AccessRights rights;  // the dictionary's grant to the connection's user; refusals are 5054
    // The handle that writes for INSERT, UPDATE and DELETE, opened at the first change of a
    // statement and closed when the statement ends.
    std::shared_ptr<TableCursor> writer;
};

struct EngineScan : sqlite3_vtab_cursor {
    std::shared_ptr<TableCursor> table;
    std::optional<TableCursor::CallScope> scope;
    bool eof = true;
    // An index plan: the tag's entries walked from the start of the range as rows are
    // asked for, in the snapshot the scan's call holds.
    TagRange range;
    std::unique_ptr<KeyCursor> walk;
    // The row the walk stands on; the handle goes there only when a column is read, so a
    // query that needs only record numbers (a row list) reads no record image twice.
    std::uint32_t walk_record = 0;
    bool handle_on_walk_record = false;
    // No record of the snapshot is marked deleted: every entry of a tag is a row, and the
    // walk need not read the records to know it.
    bool none_deleted = false;
};

EngineTable& table_of(sqlite3_vtab* vtab) {
    return *static_cast<EngineTable*>(vtab);
}

EngineScan& scan_of(sqlite3_vtab_cursor* cursor) {
    return *static_cast<EngineScan*>(cursor);
}

// Runs body; an engine failure becomes SQLITE_ERROR with its text as the table's message.
template <typename Body>
int guarded_call(sqlite3_vtab* vtab, Body&& body) noexcept {
    try {
        body();
        return SQLITE_OK;
    } catch (const EngineError& error) {
        PendingEngineError& pending = pending_engine_error();
        pending.set = true;
        pending.code = error.code();
        pending.text = error.text();
        if (vtab != nullptr) {
            sqlite3_free(vtab->zErrMsg);
            vtab->zErrMsg = sqlite3_mprintf("%s", error.text().c_str());
        }
        return SQLITE_ERROR;
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    } catch (...) {
        return SQLITE_ERROR;
    }
}

std::string declared_type(const FieldDescriptor& field) {
    switch (field.type) {
        case FieldType::String:
        case FieldType::VarCharFox:
        case FieldType::NChar:
        case FieldType::NVarChar:
            return std::string("TEXT COLLATE ") + kCharCollation;
        case FieldType::CIString:
            return std::string("TEXT COLLATE ") + kCaseFreeCollation;
        case FieldType::Memo:
        case FieldType::VarChar:
        case FieldType::NMemo:
        case FieldType::Date:
        case FieldType::CompactDate:
        case FieldType::Time:
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return "TEXT";
        case FieldType::Numeric:
            return field.decimals == 0 ? "INTEGER" : "REAL";
        case FieldType::Double:
        case FieldType::CurDouble:
        case FieldType::Money:
            return "REAL";
        case FieldType::Logical:
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::RowVersion:
            return "INTEGER";
        default:
            return "BLOB";
    }
}

std::string column_name(const std::string& name) {
    std::string quoted = "\"";
    for (char c : ansi_to_utf8(name)) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string unquote(std::string_view argument) {
    if (argument.size() >= 2 && argument.front() == '\'' && argument.back() == '\'') {
        std::string inner(argument.substr(1, argument.size() - 2));
        for (std::size_t at = inner.find("''"); at != std::string::npos;
             at = inner.find("''", at + 1)) {
            inner.erase(at, 1);
        }
        return inner;
    }
    return std::string(argument);
}

int connect(sqlite3* db, void* client, int argc, const char* const* argv, sqlite3_vtab** result,
            char** error) {
    auto* session = static_cast<SqlSession*>(client);
    if (argc < 4) {
        *error = sqlite3_mprintf("engine_table needs the path of a table file");
        return SQLITE_ERROR;
    }
    const TableEntry* entry = session->table(argv[2], argv[1]);
    if (entry == nullptr) {
        *error = sqlite3_mprintf("no such table: %s", argv[2]);
        return SQLITE_ERROR;
    }
    auto table = std::make_unique<EngineTable>();
    std::memset(static_cast<sqlite3_vtab*>(table.get()), 0, sizeof(sqlite3_vtab));
    table->session = session;
    table->path = unquote(argv[3]);
    table->schema = entry->schema;
    table->indexes = entry->indexes;
    table->rights = entry->rights;
    std::string declaration = "CREATE TABLE x(";
    for (const auto& field : table->schema.fields()) {
        if (field.number > 1) {
            declaration += ", ";
        }
        declaration += column_name(field.name) + " " + declared_type(field);
    }
    declaration += ")";
    int rc = sqlite3_declare_vtab(db, declaration.c_str());
    if (rc != SQLITE_OK) {
        *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
        return rc;
    }
    *result = table.release();
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab* vtab) {
    EngineTable* table = &table_of(vtab);
    if (table->writer) {
        try {
            TableCursor::CallScope scope(*table->writer, TableCursor::CallScope::Purpose::Close);
            table->writer->close();
        } catch (...) {
            // Every change was written when it was made; a failing close loses nothing.
        }
    }
    sqlite3_free(vtab->zErrMsg);
    delete table;
    return SQLITE_OK;
}

const IndexedField* index_on(const EngineTable& table, int column) {
    for (const auto& indexed : table.indexes) {
        if (indexed.field == column + 1) {
            return &indexed;
        }
    }
    return nullptr;
}

// A tag whose keys follow the column's SQL order, falling when `descending`.
const IndexedField* ordered_index_on(const EngineTable& table, int column, bool descending) {
    for (const auto& indexed : table.indexes) {
        if (indexed.field == column + 1 && indexed.sql_order && indexed.descending == descending) {
            return &indexed;
        }
    }
    return nullptr;
}

// Only where the comparison uses the column's own collation do the tag's keys find every
// row it matches (SQLite still checks each row, so finding a few more does no harm).
bool index_fits_collation(sqlite3_index_info* info, int constraint, const FieldDescriptor& field) {
    const char* collation = sqlite3_vtab_collation(info, constraint);
    if (collation == nullptr) {
        return true;
    }
    if (field.type == FieldType::String) {
        return sqlite3_stricmp(collation, kCharCollation) == 0;
    }
    if (field.type == FieldType::CIString) {
        return sqlite3_stricmp(collation, kCaseFreeCollation) == 0;
    }
    return sqlite3_stricmp(collation, "BINARY") == 0;
}

bool is_range_operator(unsigned char op) {
    return op == SQLITE_INDEX_CONSTRAINT_GT || op == SQLITE_INDEX_CONSTRAINT_GE ||
           op == SQLITE_INDEX_CONSTRAINT_LT || op == SQLITE_INDEX_CONSTRAINT_LE;
}

bool orders_by(const sqlite3_index_info* info, int column, bool descending) {
    return info->nOrderBy == 1 && info->aOrderBy[0].iColumn == column &&
           (info->aOrderBy[0].desc != 0) == descending;
}

void use_tag(sqlite3_index_info* info, int plan, const IndexedField& indexed) {
    info->idxNum = plan;
    info->idxStr = sqlite3_mprintf("%s", indexed.tag.c_str());
    info->needToFreeIdxStr = 1;
}

// The best range of a tag among the comparisons: one bounded at both ends before one
// bounded at one, and one that gives the order asked for before one that does not.
bool plan_range(const EngineTable& table, sqlite3_index_info* info) {
    struct Candidate {
        int lower = -1;
        int upper = -1;
        const IndexedField* indexed = nullptr;
    };
    std::vector<Candidate> candidates;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& constraint = info->aConstraint[i];
        if (!constraint.usable || constraint.iColumn < 0 || !is_range_operator(constraint.op)) {
            continue;
        }
        const FieldDescriptor* field =
            table.schema.by_number(static_cast<std::uint32_t>(constraint.iColumn + 1));
        if (field == nullptr || !tag_serves_type(field->type) ||
            !index_fits_collation(info, i, *field)) {
            continue;
        }
        bool descending = info->nOrderBy == 1 && info->aOrderBy[0].desc != 0;
        const IndexedField* indexed = ordered_index_on(table, constraint.iColumn, descending);
        if (indexed == nullptr) {
            indexed = ordered_index_on(table, constraint.iColumn, !descending);
        }
        if (indexed == nullptr) {
            continue;
        }
        auto same = std::find_if(candidates.begin(), candidates.end(), [&](const Candidate& c) {
            return c.indexed->field == indexed->field;
        });
        if (same == candidates.end()) {
            same = candidates.insert(candidates.end(), Candidate{-1, -1, indexed});
        }
        bool upper = constraint.op == SQLITE_INDEX_CONSTRAINT_LT ||
                     constraint.op == SQLITE_INDEX_CONSTRAINT_LE;
        (upper ? same->upper : same->lower) = i;
    }
    auto worth = [&](const Candidate& c) {
        int column = static_cast<int>(c.indexed->field) - 1;
        return (c.lower >= 0 && c.upper >= 0 ? 2 : 0) +
               (orders_by(info, column, c.indexed->descending) ? 1 : 0);
    };
    const Candidate* best = nullptr;
    for (const auto& candidate : candidates) {
        if (best == nullptr || worth(candidate) > worth(*best)) {
            best = &candidate;
        }
    }
    if (best == nullptr) {
        return false;
    }
    int plan = kIndexRange;
    int argument = 0;
    for (auto [constraint, flag] : {std::pair{best->lower, kHasLower}, {best->upper, kHasUpper}}) {
        if (constraint >= 0) {
            plan |= flag;
            info->aConstraintUsage[constraint].argvIndex = ++argument;
            info->aConstraintUsage[constraint].omit = 0;
        }
    }
    if (orders_by(info, static_cast<int>(best->indexed->field) - 1, best->indexed->descending)) {
        plan |= kOrdered;
        info->orderByConsumed = 1;
    }
    use_tag(info, plan, *best->indexed);
    info->estimatedRows = argument == 2 ? 25000 : 250000;
    info->estimatedCost = static_cast<double>(info->estimatedRows);
    return true;
}

int best_index(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    EngineTable& table = table_of(vtab);
    info->idxNum = kFullScan;
    info->estimatedCost = 1e6;
    info->estimatedRows = 1000000;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& constraint = info->aConstraint[i];
        if (constraint.usable && constraint.iColumn == -1 &&
            constraint.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            info->idxNum = kRowidEquals;
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 1;
            info->estimatedCost = 1;
            info->estimatedRows = 1;
            info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
            return SQLITE_OK;
        }
    }
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& constraint = info->aConstraint[i];
        if (!constraint.usable || constraint.op != SQLITE_INDEX_CONSTRAINT_EQ ||
            constraint.iColumn < 0) {
            continue;
        }
        const FieldDescriptor* field =
            table.schema.by_number(static_cast<std::uint32_t>(constraint.iColumn + 1));
        const IndexedField* indexed = index_on(table, constraint.iColumn);
        if (field == nullptr || indexed == nullptr || !tag_serves_type(field->type) ||
            !index_fits_collation(info, i, *field)) {
            continue;
        }
        use_tag(info, kIndexEquals, *indexed);
        info->aConstraintUsage[i].argvIndex = 1;
        info->aConstraintUsage[i].omit = 0;
        info->estimatedCost = 10;
        info->estimatedRows = 10;
        // Equal keys follow in record order, so an order by this column is kept too.
        if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn == constraint.iColumn &&
            !info->aOrderBy[0].desc) {
            info->orderByConsumed = 1;
        }
        return SQLITE_OK;
    }
    if (plan_range(table, info)) {
        return SQLITE_OK;
    }
    if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn >= 0) {
        const IndexedField* indexed =
            ordered_index_on(table, info->aOrderBy[0].iColumn, info->aOrderBy[0].desc != 0);
        if (indexed != nullptr) {
            use_tag(info, kIndexOrder, *indexed);
            info->orderByConsumed = 1;
            info->estimatedCost = 9e5;  // a full scan without the sort
        }
    }
    return SQLITE_OK;
}

std::shared_ptr<TableCursor> open_handle(EngineTable& table, bool writable) {
    OpenRequest request;
    request.read_only = !writable;
    request.rights = table.rights;
    return TableCursor::open(table.session->connection(), table.path, request,
                             table.session->checked_file(table.path));
}

int open_scan(sqlite3_vtab*, sqlite3_vtab_cursor** result) {
    auto scan = std::make_unique<EngineScan>();
    std::memset(static_cast<sqlite3_vtab_cursor*>(scan.get()), 0, sizeof(sqlite3_vtab_cursor));
    *result = scan.release();
    return SQLITE_OK;
}

int close_scan(sqlite3_vtab_cursor* cursor) {
    EngineScan* scan = &scan_of(cursor);
    scan->walk.reset();  // before the transaction it reads in ends
    scan->scope.reset();
    if (scan->table) {
        try {
            TableCursor::CallScope scope(*scan->table, TableCursor::CallScope::Purpose::Close);
            scan->table->close();
        } catch (...) {
            // A reading handle has nothing pending; its close cannot lose anything.
        }
    }
    delete scan;
    return SQLITE_OK;
}

// Moves past records marked deleted: they are no rows of SQL, whatever the setting for
// navigation says.
void settle(EngineScan& scan) {
    while (!scan.table->at_eof() && scan.table->deleted()) {
        scan.table->skip(1);
    }
    scan.eof = scan.table->at_eof();
}

// Moves to the next entry of an index plan, from where the walk stands when `more`, whose
// record is still a row.
void settle_on_tag(EngineScan& scan, bool more) {
    for (; more; more = scan.walk->next()) {
        std::string_view entry = scan.walk->key();
        if (entry.size() < keys::kRecordNumberLength) {
            continue;
        }
        if (scan.range.past_end(keys::entry_key(entry))) {
            break;
        }
        std::uint32_t recno = keys::entry_record_number(entry);
        if (scan.none_deleted) {
            scan.walk_record = recno;
            scan.handle_on_walk_record = false;
            scan.eof = false;
            return;
        }
        std::optional<std::string_view> stored =
            scan.table->file().record(scan.table->read_txn(), recno);
        if (stored && !stored->empty() &&
            (static_cast<std::uint8_t>(stored->front()) & kRecordDeleted) == 0) {
            scan.walk_record = recno;
            scan.handle_on_walk_record = false;
            scan.eof = false;
            return;
        }
    }
    scan.eof = true;
}

// The handle of a scan, on the scan's current row.
TableCursor& scan_row(EngineScan& scan) {
    if (scan.walk && !scan.handle_on_walk_record) {
        scan.table->goto_record(scan.walk_record);
        scan.handle_on_walk_record = true;
    }
    return *scan.table;
}

// Starts an index plan's walk; false when the plan cannot use its tag (gone, or a value
// that bounds nothing) and a scan of every record must stand in.
bool start_tag_walk(EngineScan& scan, int plan, const char* tag_name, int argc,
                    sqlite3_value** argv) {
    int kind = plan & kPlanMask;
    if ((kind != kIndexEquals && kind != kIndexOrder && kind != kIndexRange) ||
        tag_name == nullptr) {
        return false;
    }
    bool ordered = kind == kIndexOrder || (plan & kOrdered) != 0;
    auto tag = IndexCatalog::of(scan.table->file()).find(tag_name);
    if (!tag) {
        if (ordered) {
            fail(VE_INDEX_NOT_OPEN,
                 std::string(tag_name) + " is gone; prepare the statement again");
        }
        return false;
    }
    const FieldDescriptor& field = tag->segment_fields().front();
    scan.range = TagRange();
    int argument = 0;
    auto bound = [&](bool upper) {
        if (argument < argc) {
            scan.range.bound(*tag, field, argv[argument], upper);
        }
    };
    if (kind == kIndexEquals) {
        bound(false);
        bound(true);
    }
    if ((plan & kHasLower) != 0) {
        bound(false);
        ++argument;
    }
    if ((plan & kHasUpper) != 0) {
        bound(true);
        ++argument;
    }
    if (scan.range.empty()) {
        scan.table->goto_eof();
        scan.eof = true;
        return true;
    }
    if (!ordered && scan.range.unbounded()) {
        return false;  // the record order reads the same rows faster
    }
    const Snapshot& txn = scan.table->read_txn();
    scan.none_deleted = scan.table->file().read_counters(txn).deleted_records == 0;
    scan.walk = scan.table->file().cursor(txn, tag->tree());
    settle_on_tag(scan, scan.range.start().empty() ? scan.walk->first()
                                                   : scan.walk->seek(scan.range.start()));
    return true;
}

int filter(sqlite3_vtab_cursor* cursor, int plan, const char* tag_name, int argc,
           sqlite3_value** argv) {
    EngineScan& scan = scan_of(cursor);
    EngineTable& table = table_of(cursor->pVtab);
    return guarded_call(cursor->pVtab, [&] {
        scan.walk.reset();  // before the transaction it reads in ends
        scan.scope.reset();
        if (!scan.table) {
            scan.table = open_handle(table, false);
        }
        scan.scope.emplace(*scan.table);
        if (plan == kRowidEquals && argc == 1) {
            sqlite3_value* wanted = argv[0];
            sqlite3_int64 recno = sqlite3_value_int64(wanted);
            if (sqlite3_value_numeric_type(wanted) != SQLITE_INTEGER || recno <= 0 ||
                recno > 0xFFFFFFFFll) {
                scan.table->goto_eof();
                scan.eof = true;
                return;
            }
            try {
                scan.table->goto_record(static_cast<std::uint32_t>(recno));
            } catch (const EngineError& error) {
                if (error.code() != VE_RECORD_NOT_FOUND) {
                    throw;
                }
            }
            scan.eof = scan.table->at_eof() || scan.table->deleted();
            return;
        }
        if (start_tag_walk(scan, plan, tag_name, argc, argv)) {
            return;
        }
        scan.table->goto_top();
        settle(scan);
    });
}

int next(sqlite3_vtab_cursor* cursor) {
    EngineScan& scan = scan_of(cursor);
    return guarded_call(cursor->pVtab, [&] {
        if (scan.walk) {
            settle_on_tag(scan, scan.walk->next());
            return;
        }
        scan.table->skip(1);
        settle(scan);
    });
}

int eof(sqlite3_vtab_cursor* cursor) {
    return scan_of(cursor).eof ? 1 : 0;
}

int column(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int index) {
    EngineScan& scan = scan_of(cursor);
    EngineTable& table = table_of(cursor->pVtab);
    if (sqlite3_vtab_nochange(context)) {
        return SQLITE_OK;  // an UPDATE that leaves this column alone needs no value
    }
    return guarded_call(cursor->pVtab, [&] {
        const FieldDescriptor* field =
            table.schema.by_number(static_cast<std::uint32_t>(index + 1));
        if (field == nullptr) {
            sqlite3_result_null(context);
            return;
        }
        result_field(context, scan_row(scan), *field);
    });
}

int rowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* result) {
    EngineScan& scan = scan_of(cursor);
    return guarded_call(cursor->pVtab, [&] {
        *result = scan.walk ? scan.walk_record : scan.table->record_number();
    });
}

TableCursor& writer_of(EngineTable& table) {
    if (!table.writer || table.writer->closed()) {
        table.writer = open_handle(table, true);
    }
    return *table.writer;
}

int update(sqlite3_vtab* vtab, int argc, sqlite3_value** argv, sqlite3_int64* new_rowid) {
    EngineTable& table = table_of(vtab);
    return guarded_call(vtab, [&] {
        TableCursor& writer = writer_of(table);
        TableCursor::CallScope scope(writer);
        if (argc == 1) {
            writer.goto_record(static_cast<std::uint32_t>(sqlite3_value_int64(argv[0])));
            writer.set_deleted(true);
            return;
        }
        bool inserting = sqlite3_value_type(argv[0]) == SQLITE_NULL;
        if (inserting) {
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL) {
                fail(VE_FIELD_READ_ONLY, "the record number is given by the engine");
            }
            writer.append();
        } else {
            if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1])) {
                fail(VE_FIELD_READ_ONLY, "a record number cannot be changed");
            }
            writer.goto_record(static_cast<std::uint32_t>(sqlite3_value_int64(argv[0])));
        }
        try {
            for (const auto& field : table.schema.fields()) {
                sqlite3_value* value = argv[1 + field.number];
                if (!inserting && sqlite3_value_nochange(value)) {
                    continue;
                }
                if (inserting && sqlite3_value_type(value) == SQLITE_NULL) {
                    continue;  // a new record starts with every field null
                }
                store_field(writer, field, SqlValue::of(value));
            }
            writer.write();
        } catch (...) {
            if (writer.pending()) {
                writer.cancel();
            }
            throw;
        }
        if (inserting) {
            *new_rowid = writer.record_number();
            if (table.schema.autoinc_field() != nullptr) {
                table.session->last_autoinc = writer.last_autoinc();
            }
        }
    });
}

// A statement that changed rows ends: its writing handle goes, releasing what it held.
int end_statement(sqlite3_vtab* vtab) {
    EngineTable& table = table_of(vtab);
    if (table.writer) {
        try {
            TableCursor::CallScope scope(*table.writer, TableCursor::CallScope::Purpose::Close);
            table.writer->close();
        } catch (...) {
            // Each change was written as it was made; nothing is pending here.
        }
        table.writer.reset();
    }
    return SQLITE_OK;
}

int begin_statement(sqlite3_vtab*) {
    return SQLITE_OK;
}

int rename_table(sqlite3_vtab*, const char*) {
    return SQLITE_OK;
}

const sqlite3_module kModule = {
    /* iVersion */ 2,
    /* xCreate */ connect,
    /* xConnect */ connect,
    /* xBestIndex */ best_index,
    /* xDisconnect */ disconnect,
    /* xDestroy */ disconnect,
    /* xOpen */ open_scan,
    /* xClose */ close_scan,
    /* xFilter */ filter,
    /* xNext */ next,
    /* xEof */ eof,
    /* xColumn */ column,
    /* xRowid */ rowid,
    /* xUpdate */ update,
    /* xBegin */ begin_statement,
    /* xSync */ begin_statement,
    /* xCommit */ end_statement,
    /* xRollback */ end_statement,
    /* xFindFunction */ nullptr,
    /* xRename */ rename_table,
    /* xSavepoint */ nullptr,
    /* xRelease */ nullptr,
    /* xRollbackTo */ nullptr,
    /* xShadowName */ nullptr,
};

bool is_ascii(const void* text, int length) {
    const auto* bytes = static_cast<const unsigned char*>(text);
    for (int i = 0; i < length; ++i) {
        if (bytes[i] >= 0x80) {
            return false;
        }
    }
    return true;
}

// The engine's exact comparison of texts: the ANSI order, trailing blanks ignored; for
// CIChar also letter case.
int compare_texts(void* case_free, int left_length, const void* left, int right_length,
                  const void* right) {
    bool ignore_case = case_free != nullptr;
    std::string_view a(static_cast<const char*>(left), static_cast<std::size_t>(left_length));
    std::string_view b(static_cast<const char*>(right), static_cast<std::size_t>(right_length));
    if (is_ascii(left, left_length) && is_ascii(right, right_length)) {
        return expr::ansi_collation().compare(a, b, ignore_case);
    }
    return expr::ansi_collation().compare(utf8_to_ansi(a), utf8_to_ansi(b), ignore_case);
}

int case_free_marker = 1;

}  // namespace

void register_table_module(sqlite3* db, SqlSession* session) {
    sqlite3_create_module_v2(db, kModuleName, &kModule, session, nullptr);
    sqlite3_create_collation_v2(db, kCharCollation, SQLITE_UTF8, nullptr, compare_texts, nullptr);
    sqlite3_create_collation_v2(db, kCaseFreeCollation, SQLITE_UTF8, &case_free_marker,
                                compare_texts, nullptr);
}

}  // namespace varelum::engine::sql
