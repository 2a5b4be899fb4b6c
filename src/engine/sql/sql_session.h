// The SQL side of one engine connection: an in-memory SQLite database in which each table
// file of the connection's directory appears as a virtual table (table_module.h) once a
// statement names it, by file name with or without ".adt" in any letter case. On a dictionary
// connection "link.table" names a table of a linked dictionary: the link's alias is a schema
// of its own (an attached empty database) that holds the virtual tables reached through it.
//
// SQLite parses, plans and runs every statement; the virtual tables read and write through
// the engine's own table handles on the connection, so locks, AutoInc values and indexes
// hold as for any other handle of the connection. A session lives as long as its connection
// object; every use holds the session's lock (SQLite runs one statement of a database at a
// time).
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record/schema.h"
#include "engine/table/table_cursor.h"

namespace varelum::engine {
class Connection;
struct ActiveLink;
}  // namespace varelum::engine

namespace varelum::engine::sql {

// An index tag whose key is one field, without condition: SQL finds equal values through it,
// and, when its order is the SQL order of the column, reads the table in it.
struct IndexedField {
    std::string tag;
    std::uint16_t field = 0;  // 1-based
    // Keys in the order SQL compares the column (texts: the default ANSI collation and the
    // field's own rule for letter case), so a stretch of the tag holds a range of values.
    bool sql_order = false;
    bool descending = false;
};

// Whether a one-field tag on a field of this type can find rows of SQL comparisons: its
// keys hold the values SQL compares (texts, numbers, dates and timestamps).
bool tag_serves_type(FieldType type);

// A table file as the session knows it.
struct TableEntry {
    std::string path;       // UTF-8, absolute
    FileIdentity identity;  // of the file read when the table was registered
    TableSchema schema;
    std::vector<IndexedField> indexes;  // as the file held them when the table was registered
    // What the connection's user may do with it: all on a free-table connection, what the
    // dictionary grants on a dictionary connection (as when the table was registered), what
    // the linked dictionary grants the link's log-in for a linked table.
    AccessRights rights;
    std::string sql_name;  // as the statement spelled it
    // The link a linked table is reached through (as opened then); none for the connection's
    // own tables.
    std::shared_ptr<const ActiveLink> link;
    std::string link_name;  // the schema it is in, as the statement spelled it
};

// An SQLite statement, finalized at destruction.
class PreparedStatement {
  public:
    PreparedStatement() = default;
    explicit PreparedStatement(sqlite3_stmt* statement) : statement_(statement) {}
    ~PreparedStatement() { sqlite3_finalize(statement_); }
    PreparedStatement(PreparedStatement&& other) noexcept : statement_(other.statement_) {
        other.statement_ = nullptr;
    }
    PreparedStatement& operator=(PreparedStatement&& other) noexcept {
        std::swap(statement_, other.statement_);
        return *this;
    }
    sqlite3_stmt* get() const { return statement_; }

  private:
    sqlite3_stmt* statement_ = nullptr;
};

class SqlSession {
  public:
    // The session of a connection, made at its first use.
    static std::shared_ptr<SqlSession> of(const std::shared_ptr<Connection>& connection);
    ~SqlSession();
    SqlSession(const SqlSession&) = delete;
    SqlSession& operator=(const SqlSession&) = delete;

    std::mutex& mutex() { return mutex_; }
    sqlite3* db() const { return db_; }
    // The connection, or VE_STATEMENT_GONE when it is gone.
    std::shared_ptr<Connection> connection() const;

    // Prepares one statement of UTF-8 text, registering the tables it names. Throws the SQL
    // error of a text SQLite refuses or of a table that does not exist. A statement of the
    // same text given back (recycle) is answered instead of planning the text again.
    PreparedStatement prepare(const std::string& sql);
    // Takes back a statement prepared from `sql` that its user no longer needs, for the next
    // prepare of that text. The plans kept are dropped whenever a table is forgotten (a file
    // replaced or dropped, or its tags changed).
    void recycle(std::string sql, PreparedStatement prepared);

    // The path an SQL table name stands for, before any extension is added: a name within the
    // connection's directory ("Produtos", "sub/Produtos", or an absolute path that lies inside
    // it). A name that leads outside it is refused with SQL error 2121.
    std::string table_path(std::string_view name) const;
    // The table file an SQL table name stands for: "Produtos", "produtos.ADT", a relative or
    // absolute path within the connection's directory (table_path). Empty when there is none.
    std::string find_table_file(std::string_view name) const;
    // Before a statement changes a table's shape (DROP TABLE, CREATE and DROP INDEX) or makes
    // one: on a dictionary connection only the administrator may; on any connection a file
    // that another dictionary holds is refused. path may be empty (a table to be made).
    // Throws the SQL error of the refusal.
    void require_schema_change(const std::string& path) const;
    // Registers a table that CREATE TABLE made on a dictionary connection under its name, so
    // that it is the dictionary's as one made through the table calls; nothing elsewhere.
    void adopt_new_table(const std::string& name, const std::string& path) const;
    // After DROP TABLE on a dictionary connection: the dictionary lets go of the dropped file.
    void forget_dropped_table(const std::string& path) const;
    // The tables of the connection's store, as paths, sorted.
    std::vector<std::string> table_files() const;
    // The table behind a virtual table of the session (by its SQL name and schema: "main"
    // or empty for the connection's own tables, a link's alias for a linked one), or nullptr.
    const TableEntry* table(std::string_view sql_name, std::string_view schema = {}) const;
    // Forgets the virtual tables of a file that was dropped or replaced.
    void forget_file(const std::string& path);
    // Forgets the virtual tables whose files were dropped or replaced since they were made,
    // and lends the files it found unchanged to the table handles the rest of this engine call
    // opens (checked_file), until the returned guard ends: between calls the session holds no
    // file, so that nothing of it keeps a table from being dropped or replaced.
    class CheckedFiles {
      public:
        explicit CheckedFiles(SqlSession& session) : session_(session) {}
        ~CheckedFiles() { release(); }
        void release() { session_.checked_files_.clear(); }
        CheckedFiles(const CheckedFiles&) = delete;
        CheckedFiles& operator=(const CheckedFiles&) = delete;

      private:
        SqlSession& session_;
    };
    [[nodiscard]] CheckedFiles refresh();
    // The file at path as this call's refresh found it, or nullptr: a handle opened within the
    // call takes it instead of looking at the path again.
    std::shared_ptr<TableFile> checked_file(const std::string& path) const;
    // Rises whenever a virtual table is forgotten: statements prepared before then must be
    // prepared again.
    std::uint64_t generation() const { return generation_; }

    // The application id of sp_setapplicationid and sp_getapplicationid.
    std::string application_id;
    // The AutoInc value of the last record an INSERT of the session wrote (0: none).
    std::uint32_t last_autoinc = 0;
    // How many dictionary procedures are running inside one another.
    int procedure_depth = 0;

  private:
    explicit SqlSession(const std::shared_ptr<Connection>& connection);
    bool register_table(const std::string& sql_name);
    void register_linked_table(const std::string& link, const std::string& sql_name);
    // Makes the virtual table of entry.
    void create_virtual_table(const std::string& key, TableEntry entry);
    // The file of entry when it is the one registered and its tags are unchanged, else
    // nullptr (stale: the table is made again by the next statement).
    std::shared_ptr<TableFile> unchanged_file(const TableEntry& entry) const;
    // keep: the unchanged files go to checked_files_.
    void drop_stale_tables(bool keep = false);
    void drop_virtual_table(const std::string& key);

    std::weak_ptr<Connection> connection_;
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
    // By the upper-cased SQL name, "LINK.NAME" for a linked table.
    std::map<std::string, TableEntry> tables_;
    std::set<std::string> attached_links_;                             // upper-cased
    std::map<std::string, std::shared_ptr<TableFile>> checked_files_;  // by path, see refresh
    std::uint64_t generation_ = 0;
    struct IdleStatement {
        std::string sql;
        PreparedStatement prepared;
    };
    static constexpr std::size_t kIdleStatements = 16;
    std::vector<IdleStatement> idle_;  // the most recently given back first
};

// Runs SQL that yields no rows on the session's database (schema changes of the session).
void execute_plain(sqlite3* db, const std::string& sql);

}  // namespace varelum::engine::sql
