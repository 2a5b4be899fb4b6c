// Exported functions: creating, opening and closing tables, describing, restructuring and
// recovering them.
#include <algorithm>
#include <cstring>

#include "engine/api/guard.h"
#include "engine/core/progress.h"
#include "engine/core/settings.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary.h"
#include "engine/dict/table_access.h"
#include "engine/dict/table_binding.h"
#include "engine/env/files.h"
#include "engine/index/index_catalog.h"
#include "engine/index/table_recovery.h"
#include "engine/index/table_restructure.h"
#include "engine/sql/statement_calls.h"
#include "engine/storage/table_file.h"

using namespace varelum::engine;

namespace {

std::string table_path_for_open(const Connection& connection, const UNSIGNED8* name) {
    std::string spelled = ansi_to_utf8(c_text(name));
    if (trim_blanks(spelled).empty()) {
        fail(VE_INVALID_ARGUMENT, "no table name given");
    }
    std::optional<std::string> found = connection.store().locate(spelled);
    if (!found) {
        fail(VE_TABLE_NOT_FOUND, connection.store().missing_name(spelled));
    }
    return *found;
}

void check_table_type(UNSIGNED16 type, const Connection& connection) {
    connection.store().require_table_type(
        type == VE_TABLE_TYPE_DEFAULT ? connection.default_table_type() : type);
}

void check_char_type(UNSIGNED16 type) {
    if (type < VE_CHARTYPE_ANSI || type > VE_CHARTYPE_LAST) {
        fail(VE_INVALID_ARGUMENT, "character type " + std::to_string(type));
    }
}

// The connection a table call goes through: the given one, or for 0 a connection of the
// table's own to its directory, closed with its last table.
std::shared_ptr<Connection> connection_for(ADSHANDLE handle, const UNSIGNED8* name) {
    if (handle != 0) {
        return connection_of(handle);
    }
    std::string spelled = ansi_to_utf8(c_text(name));
    std::string path = normalize_path(spelled);
    std::size_t slash = path.rfind('/');
    auto connection = std::make_shared<Connection>(path.substr(0, slash == 0 ? 1 : slash),
                                                   ConnectionOptions{}, true);
    HandleRegistry::instance().add(connection);
    return connection;
}

void forget_implicit(const std::shared_ptr<Connection>& connection) {
    if (connection->implicit() && connection->tables().empty()) {
        HandleRegistry::instance().remove(connection->handle());
    }
}

// binding_checked: a dictionary's table whose binding dictionary_table_access checked (a
// linked table is bound to the linked dictionary, not to the connection's).
ADSHANDLE open_handle(const std::shared_ptr<Connection>& connection, const std::string& path,
                      UNSIGNED32 options, UNSIGNED16 lock_type, const UNSIGNED8* collation,
                      const AccessRights& rights = {}, bool binding_checked = false) {
    if (!binding_checked) {
        check_table_binding(*connection->store().open(path), *connection);
    }
    OpenRequest request;
    request.rights = rights;
    request.exclusive = (options & VE_OPEN_EXCLUSIVE) != 0;
    request.read_only = (options & VE_OPEN_READONLY) != 0;
    request.options = options;
    request.lock_type = lock_type;
    request.collation = std::string(c_text(collation));
    auto table = TableCursor::open(connection, path, request);
    return HandleRegistry::instance().add(table);
}

void close_handle(ADSHANDLE handle) {
    auto table = table_of(handle);
    std::exception_ptr failure;
    {
        TableCursor::CallScope scope(*table, TableCursor::CallScope::Purpose::Close);
        try {
            table->close();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    HandleRegistry::instance().remove(handle);
    forget_implicit(table->connection());
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// Creation options that say where a new table goes, not how it opens.
constexpr UNSIGNED32 kCreateOnlyOptions = VE_CREATE_FREE_TABLE | VE_CREATE_DICTIONARY_TABLE;

std::string dictionary_name_of(const std::string& path) {
    std::string file_name = path.substr(path.rfind('/') + 1);
    return file_name.substr(0, file_name.rfind('.'));
}

// Before a table is made for a dictionary: only its administrator adds tables, and a name
// is registered once.
void check_new_dictionary_table(const Connection& connection, const std::string& path) {
    if (!connection.dictionary()->login.administrator) {
        fail(VE_PERMISSION_DENIED, "only the administrator adds tables to the dictionary");
    }
    std::string name = dictionary_name_of(path);
    if (connection.dictionary()->dictionary->find(DictObjectType::Table, name)) {
        fail(VE_DD_OBJECT_EXISTS, "table \"" + name + "\"");
    }
}

// Registers a table just created on a dictionary connection under its file's base name, and
// binds the file to the dictionary; the administrator who made it holds every right.
AccessRights add_to_dictionary(const Connection& connection, const std::string& path) {
    Dictionary& dictionary = *connection.dictionary()->dictionary;
    std::string file_name = path.substr(path.rfind('/') + 1);
    std::string name = dictionary_name_of(path);
    DictObject table;
    table.type = DictObjectType::Table;
    table.name = name;
    table.properties[dict_property::kPath] = file_name;
    dictionary.put(table);
    bind_table(*connection.store().open(path), dictionary.binding());
    return AccessRights{};
}

std::string base_name(const std::string& path, bool with_extension) {
    std::size_t slash = path.rfind('/');
    std::string name = path.substr(slash + 1);
    if (!with_extension) {
        std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0) {
            name.erase(dot);
        }
    }
    return name;
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsCreateTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                   const UNSIGNED8* pucDBObjName, UNSIGNED16 usTableType,
                                   UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                   UNSIGNED16 usCheckRights, UNSIGNED16 usMemoSize,
                                   const UNSIGNED8* pucFields, UNSIGNED32 ulOptions,
                                   const UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
    (void)usCheckRights;
    std::shared_ptr<Connection> implicit;
    UNSIGNED32 result = guarded([&] {
        ADSHANDLE& handle = out(phTable);
        if (!c_text(pucDBObjName).empty()) {
            fail(VE_NOT_SUPPORTED, "tables of a data dictionary");
        }
        if (c_text(pucName).empty()) {
            fail(VE_INVALID_ARGUMENT, "no table name given");
        }
        std::shared_ptr<Connection> connection = connection_for(hConnect, pucName);
        if (connection->implicit()) {
            implicit = connection;
        }
        if (!connection->dictionary()) {
            check_table_type(usTableType, *connection);
        }
        check_char_type(usCharType);
        TableSchema schema(parse_field_text(c_text(pucFields)));
        TableOptions options;
        options.char_type = usCharType == VE_CHARTYPE_OEM ? VE_CHARTYPE_OEM : VE_CHARTYPE_ANSI;
        options.memo_block_size = usMemoSize == 0 ? 8 : usMemoSize;
        options.collation = std::string(c_text(pucCollation));
        TableStore& store = connection->store();
        const std::string path = store.location_for_new(ansi_to_utf8(c_text(pucName)));
        bool into_dictionary = connection->dictionary() && (ulOptions & VE_CREATE_FREE_TABLE) == 0;
        std::optional<TableBinding> replaced;
        if (store.locate(path)) {
            // Replacing a dictionary's table is its administrator's business alone.
            check_may_replace(*connection, path);
            auto old = store.open(path);
            check_table_binding(*old, *connection);
            replaced = table_binding(*old);
        }
        if (into_dictionary) {
            check_new_dictionary_table(*connection, path);
        }
        store.create(path, schema, options);
        AccessRights rights;
        if (into_dictionary) {
            rights = add_to_dictionary(*connection, path);
        } else if (replaced) {
            // The administrator's new table in a registered table's place is the dictionary's.
            bind_table(*store.open(path), *replaced);
        }
        handle = open_handle(connection, path, ulOptions & ~kCreateOnlyOptions, usLockType,
                             pucCollation, rights);
    });
    if (result != VE_SUCCESS && implicit) {
        forget_implicit(implicit);
    }
    return result;
}

VE_API UNSIGNED32 AdsOpenTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                 const UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                                 UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                 UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions,
                                 const UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
    (void)pucAlias;
    (void)usCheckRights;
    std::shared_ptr<Connection> implicit;
    UNSIGNED32 result = guarded([&] {
        ADSHANDLE& handle = out(phTable);
        if (c_text(pucName).empty()) {
            fail(VE_INVALID_ARGUMENT, "no table name given");
        }
        std::shared_ptr<Connection> connection = connection_for(hConnect, pucName);
        if (connection->implicit()) {
            implicit = connection;
        }
        check_char_type(usCharType);
        if (connection->dictionary()) {
            // A dictionary's tables are ADT tables whatever type the caller passes (0 or 3).
            TableAccess access =
                dictionary_table_access(*connection, ansi_to_utf8(c_text(pucName)));
            handle = open_handle(connection, access.path, ulOptions, usLockType, pucCollation,
                                 access.rights, true);
            return;
        }
        check_table_type(usTableType, *connection);
        std::string path = table_path_for_open(*connection, pucName);
        handle = open_handle(connection, path, ulOptions, usLockType, pucCollation);
    });
    if (result != VE_SUCCESS && implicit) {
        forget_implicit(implicit);
    }
    return result;
}

VE_API UNSIGNED32 AdsCloseTable(ADSHANDLE hTable) {
    return guarded([&] { close_handle(hTable); });
}

VE_API UNSIGNED32 AdsCloseAllTables(void) {
    return guarded([&] {
        std::exception_ptr failure;
        for (const auto& object : HandleRegistry::instance().all(HandleKind::Table)) {
            try {
                close_handle(object->handle());
            } catch (...) {
                if (!failure) {
                    failure = std::current_exception();
                }
            }
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
    });
}

VE_API UNSIGNED32 AdsDeleteTable(ADSHANDLE hTable) {
    return guarded([&] {
        auto table = table_of(hTable);
        std::string path;
        std::shared_ptr<Connection> connection = table->connection();
        {
            TableCursor::CallScope scope(*table);
            table->require_writable_for_delete();
            require_table_administrator(table->file(), *table->connection(), "deletes");
            path = table->file().path();
        }
        close_handle(hTable);
        table.reset();
        connection->store().remove(path);
    });
}

VE_API UNSIGNED32 AdsZapTable(ADSHANDLE hTable) {
    return with_table(hTable, [&](TableCursor& table) { table.zap(); });
}

VE_API UNSIGNED32 AdsPackTable(ADSHANDLE hTable) {
    return with_table(hTable, [&](TableCursor& table) {
        // A step per stored record, then one per kept record for each index tag rebuilt.
        const TableFile::Census census = table.file().census();
        const std::uint64_t tags = IndexCatalog::of(table.file()).tags().size();
        Progress progress(census.records + (census.records - census.deleted) * tags);
        table.pack();
        progress.finish();
    });
}

VE_API UNSIGNED32 AdsRestructureTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                        const UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                                        UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                        UNSIGNED16 usCheckRights, const UNSIGNED8* pucAddFields,
                                        const UNSIGNED8* pucDeleteFields,
                                        const UNSIGNED8* pucChangeFields,
                                        const UNSIGNED8* pucCollation) {
    (void)pucAlias;
    (void)usLockType;
    (void)usCheckRights;
    (void)pucCollation;
    std::shared_ptr<Connection> implicit;
    UNSIGNED32 result = guarded([&] {
        std::shared_ptr<Connection> connection = connection_for(hConnect, pucName);
        if (connection->implicit()) {
            implicit = connection;
        }
        check_char_type(usCharType);
        // On a dictionary connection a name is the dictionary's, as for an open.
        std::string path;
        if (connection->dictionary()) {
            path = dictionary_table_access(*connection, ansi_to_utf8(c_text(pucName))).path;
        } else {
            check_table_type(usTableType, *connection);
            path = table_path_for_open(*connection, pucName);
        }
        require_table_administrator(*connection->store().open(path), *connection, "restructures");
        RestructureRequest request;
        request.add_fields = std::string(c_text(pucAddFields));
        request.delete_fields = std::string(c_text(pucDeleteFields));
        request.change_fields = std::string(c_text(pucChangeFields));
        restructure_table(connection, path, request);
    });
    if (implicit) {
        forget_implicit(implicit);
    }
    return result;
}

VE_API UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType) {
    return with_table(hTable, [&](TableCursor&) { out(pusType) = VE_TABLE_TYPE_ADT; });
}

VE_API UNSIGNED32 AdsGetTableCharType(ADSHANDLE hTable, UNSIGNED16* pusCharType) {
    return with_table(
        hTable, [&](TableCursor& table) { out(pusCharType) = table.file().options().char_type; });
}

VE_API UNSIGNED32 AdsGetTableCollation(ADSHANDLE hTable, UNSIGNED8* pucCollation,
                                       UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        std::string collation = table.request().collation;
        if (collation.empty()) {
            collation = table.file().options().collation;
        }
        if (collation.empty()) {
            out(pusLen);
            if (pucCollation != nullptr && *pusLen > 0) {
                pucCollation[0] = 0;
            }
            *pusLen = 0;
            fail(VE_NO_COLLATION);
        }
        put_text(collation, pucCollation, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED32 options = table.request().options;
        const AccessRights& rights = table.request().rights;
        if (!table.request().read_only && (rights.table & AccessRights::kUpdate) != 0) {
            options |= VE_TABLE_RIGHT_UPDATE;
        }
        if (!table.request().read_only && (rights.table & AccessRights::kInsert) != 0) {
            options |= VE_TABLE_RIGHT_INSERT;
        }
        out(pulOptions) = options;
    });
}

VE_API UNSIGNED32 AdsGetTableFilename(ADSHANDLE hTable, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                      UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        const std::string& path = table.file().path();
        std::string name;
        switch (usOption) {
            case VE_NAME_BASE:
                name = base_name(path, false);
                break;
            case VE_NAME_BASE_AND_EXTENSION:
                name = base_name(path, true);
                break;
            case VE_NAME_FULL_PATH:
                name = path;
                break;
            default:
                fail(VE_INVALID_ARGUMENT, "file name option " + std::to_string(usOption));
        }
        put_text(utf8_to_ansi(name), pucName, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetTableConnection(ADSHANDLE hTable, ADSHANDLE* phConnect) {
    return with_table(hTable,
                      [&](TableCursor& table) { out(phConnect) = table.connection()->handle(); });
}

VE_API UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength) {
    return with_table(hTable,
                      [&](TableCursor& table) { out(pulLength) = table.schema().record_length(); });
}

VE_API UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount) {
    return with_table(hTable,
                      [&](TableCursor& table) { out(pusCount) = table.schema().field_count(); });
}

VE_API UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName,
                                  UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor* field = table.schema().by_number(usFld);
        if (field == nullptr) {
            fail(VE_FIELD_NOT_FOUND, "number " + std::to_string(usFld));
        }
        put_text(field->name, pucName, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetFieldNum(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                 UNSIGNED16* pusNum) {
    return with_table(hTable,
                      [&](TableCursor& table) { out(pusNum) = table.field(pucFldName).number; });
}

VE_API UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  UNSIGNED16* pusType) {
    return with_table(hTable, [&](TableCursor& table) {
        out(pusType) = static_cast<UNSIGNED16>(table.field(pucFldName).type);
    });
}

VE_API UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32* pulLength) {
    return with_table(hTable,
                      [&](TableCursor& table) { out(pulLength) = table.field(pucFldName).length; });
}

VE_API UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                      UNSIGNED16* pusDecimals) {
    return with_table(
        hTable, [&](TableCursor& table) { out(pusDecimals) = table.field(pucFldName).decimals; });
}

VE_API UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32* pulOffset) {
    return with_table(hTable,
                      [&](TableCursor& table) { out(pulOffset) = table.field(pucFldName).offset; });
}

VE_API UNSIGNED32 AdsIsNullable(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                UNSIGNED16* pbNullable) {
    return with_table(
        hTable, [&](TableCursor& table) { out(pbNullable) = table.field(pucFldName).nullable; });
}

VE_API UNSIGNED32 AdsGetColumnPermissions(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                          UNSIGNED8* pucPermissions) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        UNSIGNED8 permissions = VE_COLUMN_READ;
        bool engine_maintained = field.type == FieldType::AutoInc ||
                                 field.type == FieldType::RowVersion ||
                                 field.type == FieldType::ModTime;
        std::uint8_t granted = table.request().rights.column(field.number);
        if (!table.request().read_only && !engine_maintained) {
            if ((granted & AccessRights::kUpdate) != 0) {
                permissions |= VE_COLUMN_UPDATE;
            }
            if ((granted & AccessRights::kInsert) != 0) {
                permissions |= VE_COLUMN_INSERT;
            }
        }
        out(pucPermissions) = permissions;
    });
}

VE_API UNSIGNED32 AdsGetTableMemoSize(ADSHANDLE hTable, UNSIGNED16* pusMemoSize) {
    return with_table(hTable, [&](TableCursor& table) {
        out(pusMemoSize) = table.file().options().memo_block_size;
    });
}

VE_API UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal) {
    if (sql::is_sql_statement(hObj)) {
        return sql::statement_last_autoinc(hObj, pulAutoIncVal);
    }
    return with_table(hObj, [&](TableCursor& table) { out(pulAutoIncVal) = table.last_autoinc(); });
}

VE_API UNSIGNED32 AdsCacheRecords(ADSHANDLE hTable, UNSIGNED16 usNumRecords) {
    return with_table(hTable, [&](TableCursor& table) { table.set_cached_records(usNumRecords); });
}

VE_API UNSIGNED32 AdsCheckTable(ADSHANDLE hTable, UNSIGNED32 ulOptions, UNSIGNED8* pucReport,
                                UNSIGNED32* pulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        std::string report;
        bool consistent = table.file().check((ulOptions & VE_CHECK_MEMOS) != 0, report);
        if (consistent) {
            report = "OK\n";
        }
        if (pulLen != nullptr) {
            put_text(utf8_to_ansi(report), pucReport, pulLen);
        }
        if (!consistent) {
            std::string first = report.substr(0, report.find('\n'));
            fail(VE_TABLE_CORRUPT, table.file().path() + ": " + first);
        }
    });
}

}  // extern "C"

VE_API UNSIGNED32 AdsRecoverTable(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                  const UNSIGNED8* pucNewTable, UNSIGNED32* pulKept,
                                  UNSIGNED8* pucLost, UNSIGNED32* pulLostLen,
                                  UNSIGNED32* pulState) {
    std::shared_ptr<Connection> implicit;
    UNSIGNED32 result = guarded([&] {
        std::shared_ptr<Connection> connection = connection_for(hConnect, pucName);
        if (connection->implicit()) {
            implicit = connection;
        }
        const std::string damaged = table_path_for_open(*connection, pucName);
        if (trim_blanks(c_text(pucNewTable)).empty()) {
            fail(VE_INVALID_ARGUMENT, "no name given for the new table");
        }
        const std::string path =
            connection->store().location_for_new(ansi_to_utf8(trim_blanks(c_text(pucNewTable))));
        UNSIGNED32& capacity = out(pulLostLen);
        if (pucLost == nullptr && capacity > 0) {
            fail(VE_INVALID_ARGUMENT, "the buffer for the lost records is missing");
        }
        RecoveredTable recovered = recover_table(connection->store(), damaged, path);
        out(pulKept) = recovered.kept;
        out(pulState) = (recovered.index_tags_kept ? VE_RECOVERED_INDEXES : 0) |
                        (recovered.previous_commit ? VE_RECOVERED_PREVIOUS_COMMIT : 0);
        const std::string lost = record_ranges(recovered.lost);
        if (capacity > 0) {
            const std::size_t written = std::min<std::size_t>(lost.size(), capacity - 1);
            std::memcpy(pucLost, lost.data(), written);
            pucLost[written] = 0;
        }
        capacity = static_cast<UNSIGNED32>(lost.size());
    });
    if (implicit) {
        forget_implicit(implicit);
    }
    return result;
}
