// SQL sessions of connections (see sql_session.h).
#include "engine/sql/sql_session.h"

#include <dirent.h>

#include <algorithm>
#include <filesystem>

#include "engine/core/error.h"
#include "engine/core/handles.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary_admin.h"
#include "engine/dict/dictionary_links.h"
#include "engine/dict/table_access.h"
#include "engine/env/files.h"
#include "engine/index/index_catalog.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/table_module.h"
#include "engine/storage/table_file.h"
#include "engine/table/connection.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

struct SessionRegistry {
    std::mutex mutex;
    std::map<const Connection*, std::pair<std::weak_ptr<Connection>, std::shared_ptr<SqlSession>>>
        sessions;
};

SessionRegistry& sessions() {
    static SessionRegistry* registry = new SessionRegistry;  // used until the process ends
    return *registry;
}

std::string upper(std::string_view text) {
    return to_upper_ascii(text);
}

// Runs body; an engine refusal becomes the SQL error of its kind.
template <typename Body>
auto as_sql_error(Body&& body) {
    try {
        return body();
    } catch (const EngineError& error) {
        fail_sql(classify_engine_error(error.code()), error.text());
    }
}

// A table the dictionary holds under a plain name, as the table calls find it (with the
// user's rights); nullopt for a name it does not hold, which may still be a file of its folder.
std::optional<TableAccess> registered_table(const Connection& owner, const std::string& name) {
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        return std::nullopt;
    }
    try {
        return dictionary_table_access(owner, name);
    } catch (const EngineError& error) {
        if (error.code() == VE_DICTIONARY_ONLY) {
            return std::nullopt;
        }
        fail_sql(classify_engine_error(error.code()), error.text());
    }
}

std::string quoted_name(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// The key of a virtual table in tables_: its SQL name, behind its link's alias when it has
// one (SQLite compares both without regard to case).
std::string table_key(std::string_view schema, std::string_view sql_name) {
    if (schema.empty() || iequals(schema, "main")) {
        return to_upper_ascii(sql_name);
    }
    return to_upper_ascii(schema) + "." + to_upper_ascii(sql_name);
}

// Whether a name that is no table looks like "link.table" rather than a file name with its
// extension ("Produtos.adt"): SQLite reports both the same way.
bool looks_linked(const std::string& sql_name) {
    std::size_t dot = sql_name.find('.');
    if (dot == 0 || dot == std::string::npos) {
        return false;
    }
    std::string rest = sql_name.substr(dot + 1);
    return !rest.empty() && rest.find('.') == std::string::npos && !iequals(rest, "adt");
}

// The SQL error of a link that cannot be opened.
NativeError link_failure(std::uint32_t engine_code) {
    switch (engine_code) {
        case VE_DICTIONARY_ONLY:
            return NativeError::UnknownLink;
        case VE_LOGIN_FAILED:
            return NativeError::LinkLogInFailed;
        case VE_PATH_NOT_FOUND:
        case VE_NOT_A_DICTIONARY:
            return NativeError::LinkedDictionaryMissing;
        default:
            return classify_engine_error(engine_code);
    }
}

std::string quoted_literal(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

// The name of a virtual table in SQL: "name", or "link"."name" for a linked table.
std::string qualified_name(const TableEntry& entry) {
    return entry.link ? quoted_name(entry.link_name) + "." + quoted_name(entry.sql_name)
                      : quoted_name(entry.sql_name);
}

// An absolute path with its "." and ".." steps taken, and no slash at the end.
std::string without_dot_steps(const std::string& path) {
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return normal;
}

// The tags SQL can use of a file: one field, no condition.
std::vector<IndexedField> indexed_fields(TableFile& file) {
    std::vector<IndexedField> fields;
    for (const auto& tag : IndexCatalog::of(file).tags()) {
        const IndexDefinition& definition = tag->definition();
        if (tag->has_condition() || definition.custom() || tag->segment_fields().size() != 1) {
            continue;
        }
        IndexedField indexed;
        indexed.tag = tag->name();
        indexed.field = tag->segment_fields().front().number;
        const FieldDescriptor& field = tag->segment_fields().front();
        std::string collation = to_upper_ascii(tag->collation_name());
        if (field.type == FieldType::String || field.type == FieldType::CIString) {
            indexed.sql_order =
                (collation.empty() || collation == "ANSI") &&
                tag->layout().segment(0).case_insensitive == (field.type == FieldType::CIString);
        } else {
            indexed.sql_order = tag_serves_type(field.type);
        }
        indexed.descending = definition.descending();
        fields.push_back(std::move(indexed));
    }
    return fields;
}

bool same_fields(const std::vector<IndexedField>& a, const std::vector<IndexedField>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.tag == y.tag && x.field == y.field && x.sql_order == y.sql_order &&
               x.descending == y.descending;
    });
}

}  // namespace

bool tag_serves_type(FieldType type) {
    switch (type) {
        case FieldType::String:
        case FieldType::CIString:
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::Numeric:
        case FieldType::Double:
        case FieldType::Date:
        case FieldType::CompactDate:
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return true;
        default:
            return false;
    }
}

std::shared_ptr<SqlSession> SqlSession::of(const std::shared_ptr<Connection>& connection) {
    SessionRegistry& registry = sessions();
    std::lock_guard guard(registry.mutex);
    std::erase_if(registry.sessions,
                  [](const auto& entry) { return entry.second.first.expired(); });
    auto& slot = registry.sessions[connection.get()];
    if (!slot.second) {
        slot.first = connection;
        slot.second.reset(new SqlSession(connection));
    }
    return slot.second;
}

SqlSession::SqlSession(const std::shared_ptr<Connection>& connection) : connection_(connection) {
    int rc =
        sqlite3_open_v2(":memory:", &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        fail(VE_INTERNAL_ERROR, "SQLite could not open its database: " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    register_table_module(db_, this);
}

SqlSession::~SqlSession() {
    sqlite3_close_v2(db_);
}

std::shared_ptr<Connection> SqlSession::connection() const {
    auto connection = connection_.lock();
    if (!connection) {
        fail(VE_STATEMENT_GONE, "its connection is closed");
    }
    return connection;
}

std::string SqlSession::table_path(std::string_view name) const {
    const std::shared_ptr<Connection> owner = connection();
    const std::string spelled = trim_blanks(name);
    // Both without "." and ".." steps, so that none of them leads out past the check.
    const std::string path = without_dot_steps(owner->resolve(spelled));
    const std::string directory = without_dot_steps(owner->path());
    const std::string inside = directory == "/" ? directory : directory + "/";
    if (path.size() <= inside.size() || path.compare(0, inside.size(), inside) != 0) {
        fail_sql(NativeError::OutsideStore,
                 "the table " + spelled + " is outside the database's folder " + directory);
    }
    return path;
}

std::string SqlSession::find_table_file(std::string_view name) const {
    if (trim_blanks(name).empty()) {
        return {};
    }
    return connection()->store().locate(table_path(name)).value_or(std::string());
}

void SqlSession::require_schema_change(const std::string& path) const {
    const std::shared_ptr<Connection> owner = connection();
    as_sql_error([&] {
        if (owner->dictionary()) {
            require_administrator(owner->dictionary().get());
        }
        if (!path.empty()) {
            check_table_binding(*owner->store().open(path), *owner);
        }
    });
}

void SqlSession::adopt_new_table(const std::string& name, const std::string& path) const {
    const std::shared_ptr<Connection> owner = connection();
    if (!owner->dictionary()) {
        return;
    }
    as_sql_error([&] { DictionaryAdmin(*owner->dictionary()->dictionary).add_table(name, path); });
}

void SqlSession::forget_dropped_table(const std::string& path) const {
    const std::shared_ptr<Connection> owner = connection();
    if (!owner->dictionary()) {
        return;
    }
    Dictionary& dictionary = *owner->dictionary()->dictionary;
    if (std::optional<DictObject> table = dictionary.table_of_file(path)) {
        as_sql_error([&] { DictionaryAdmin(dictionary).remove_table(table->name, false); });
    }
}

std::vector<std::string> SqlSession::table_files() const {
    const TableStore& store = connection()->store();
    std::vector<std::string> files;
    for (const std::string& name : store.list({})) {
        files.push_back(store.listed_location(name));
    }
    return files;
}

const TableEntry* SqlSession::table(std::string_view sql_name, std::string_view schema) const {
    auto found = tables_.find(table_key(schema, sql_name));
    return found == tables_.end() ? nullptr : &found->second;
}

bool SqlSession::register_table(const std::string& sql_name) {
    const std::shared_ptr<Connection> owner = connection();
    // On a dictionary connection a statement reaches tables as the table calls do: by their
    // dictionary names, with the rights of the user who logged in.
    std::optional<TableAccess> access;
    if (owner->dictionary()) {
        if (auto linked = split_linked_name(*owner->dictionary(), sql_name)) {
            register_linked_table(linked->first, linked->second);
            return true;
        }
        access = registered_table(*owner, trim_blanks(sql_name));
    }
    if (!access) {
        std::string found = find_table_file(sql_name);
        if (found.empty()) {
            if (owner->dictionary() && looks_linked(sql_name)) {
                fail_sql(NativeError::UnknownLink, "the dictionary has no link \"" +
                                                       sql_name.substr(0, sql_name.find('.')) +
                                                       "\" (in " + sql_name + ")");
            }
            return false;
        }
        access = owner->dictionary()
                     ? as_sql_error([&] { return dictionary_table_access(*owner, found); })
                     : TableAccess{found, {}};
    }
    TableEntry entry;
    entry.path = access->path;
    entry.rights = access->rights;
    entry.sql_name = sql_name;
    try {
        // The file is held only while it is read here, so that nothing of the session keeps
        // a table from being dropped or replaced.
        auto file = connection()->store().open(entry.path);
        // A file that a dictionary holds is not reached around it through a free connection.
        check_table_binding(*file, *owner);
        entry.identity = file->identity();
        entry.schema = file->schema();
        entry.indexes = indexed_fields(*file);
    } catch (const EngineError& error) {
        fail_sql(classify_engine_error(error.code()), error.text());
    }
    create_virtual_table(table_key({}, sql_name), std::move(entry));
    return true;
}

void SqlSession::register_linked_table(const std::string& link, const std::string& sql_name) {
    const std::shared_ptr<Connection> owner = connection();
    const DictionarySession& own = *owner->dictionary();
    TableEntry entry;
    try {
        entry.link = own.links->open(own, link);
    } catch (const EngineError& error) {
        fail_sql(link_failure(error.code()), error.text());
    }
    const DictionarySession& linked = *entry.link->session;
    if (sql_name.find('/') != std::string::npos || sql_name.find('\\') != std::string::npos) {
        // Through a link only the linked dictionary's own tables, never a path of its folder.
        fail_sql(NativeError::UnknownTable, "no table \"" + sql_name + "\" through link " + link);
    }
    TableAccess access = as_sql_error([&] { return dictionary_table_access(linked, sql_name); });
    entry.path = access.path;
    entry.rights = access.rights;
    entry.sql_name = sql_name;
    entry.link_name = link;
    if (attached_links_.insert(upper(link)).second) {
        try {
            execute_plain(db_, "ATTACH DATABASE ':memory:' AS " + quoted_name(link));
        } catch (...) {
            attached_links_.erase(upper(link));
            throw;
        }
    }
    try {
        auto file = connection()->store().open(entry.path);
        check_table_binding(*file, &linked);
        entry.identity = file->identity();
        entry.schema = file->schema();
        entry.indexes = indexed_fields(*file);
    } catch (const EngineError& error) {
        fail_sql(classify_engine_error(error.code()), error.text());
    }
    create_virtual_table(table_key(link, sql_name), std::move(entry));
}

void SqlSession::create_virtual_table(const std::string& key, TableEntry entry) {
    const std::string name = qualified_name(entry);
    const std::string path = entry.path;
    tables_[key] = std::move(entry);
    try {
        execute_plain(db_, "CREATE VIRTUAL TABLE " + name + " USING " + kModuleName + "(" +
                               quoted_literal(path) + ")");
    } catch (...) {
        tables_.erase(key);
        throw;
    }
}

void SqlSession::drop_virtual_table(const std::string& key) {
    ++generation_;
    idle_.clear();  // their plans name the table
    auto found = tables_.find(key);
    if (found == tables_.end()) {
        return;
    }
    execute_plain(db_, "DROP TABLE IF EXISTS " + qualified_name(found->second));
    tables_.erase(found);
}

std::shared_ptr<TableFile> SqlSession::unchanged_file(const TableEntry& entry) const {
    try {
        // The open looks at the path once: a file replaced since (by any process) is another
        // file, and a file gone fails the open.
        auto file = connection()->store().open(entry.path);
        if (file->identity() != entry.identity) {
            return nullptr;
        }
        // A link dropped or changed since takes its tables with it: the next statement opens
        // it anew, or reports why it cannot.
        if (entry.link) {
            const DictionarySession& own = *connection()->dictionary();
            if (own.links->open(own, entry.link_name) != entry.link) {
                return nullptr;
            }
        }
        // A tag made or deleted since (by any handle or process) changes the plans.
        if (!same_fields(entry.indexes, indexed_fields(*file))) {
            return nullptr;
        }
        return file;
    } catch (const EngineError&) {
        return nullptr;  // registered again by the next statement, which reports the failure
    }
}

void SqlSession::drop_stale_tables(bool keep) {
    checked_files_.clear();
    std::vector<std::string> stale_keys;
    for (const auto& [key, entry] : tables_) {
        if (auto file = unchanged_file(entry)) {
            if (keep) {
                checked_files_[entry.path] = std::move(file);
            }
        } else {
            stale_keys.push_back(key);
        }
    }
    for (const std::string& key : stale_keys) {
        drop_virtual_table(key);
    }
}

SqlSession::CheckedFiles SqlSession::refresh() {
    drop_stale_tables(true);
    return CheckedFiles(*this);
}

std::shared_ptr<TableFile> SqlSession::checked_file(const std::string& path) const {
    auto found = checked_files_.find(path);
    return found == checked_files_.end() ? nullptr : found->second;
}

void SqlSession::forget_file(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& [name, entry] : tables_) {
        if (entry.path == path) {
            names.push_back(name);
        }
    }
    for (const std::string& name : names) {
        drop_virtual_table(name);
    }
}

PreparedStatement SqlSession::prepare(const std::string& sql) {
    drop_stale_tables();
    for (auto idle = idle_.begin(); idle != idle_.end(); ++idle) {
        if (idle->sql == sql) {
            PreparedStatement reused = std::move(idle->prepared);
            idle_.erase(idle);
            return reused;
        }
    }
    static constexpr std::string_view kNoSuchTable = "no such table: ";
    for (int attempt = 0;; ++attempt) {
        sqlite3_stmt* statement = nullptr;
        pending_engine_error() = PendingEngineError{};
        int rc =
            sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
        if (rc == SQLITE_OK) {
            return PreparedStatement(statement);
        }
        std::string message = sqlite3_errmsg(db_);
        if (attempt < 64 && message.compare(0, kNoSuchTable.size(), kNoSuchTable) == 0) {
            std::string name = message.substr(kNoSuchTable.size());
            if (upper(name).rfind("MAIN.", 0) == 0) {
                name.erase(0, 5);
            }
            if (table(name) == nullptr && register_table(name)) {
                continue;
            }
        }
        fail_from_sqlite(db_, rc);
    }
}

void SqlSession::recycle(std::string sql, PreparedStatement prepared) {
    if (prepared.get() == nullptr) {
        return;
    }
    // Reset, so that it holds no scan of a table while it waits.
    sqlite3_reset(prepared.get());
    sqlite3_clear_bindings(prepared.get());
    idle_.insert(idle_.begin(), IdleStatement{std::move(sql), std::move(prepared)});
    if (idle_.size() > kIdleStatements) {
        idle_.pop_back();
    }
}

void execute_plain(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    pending_engine_error() = PendingEngineError{};
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        sqlite3_free(message);
        fail_from_sqlite(db, rc);
    }
}

}  // namespace varelum::engine::sql
