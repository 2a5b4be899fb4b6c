// CREATE TABLE, DROP TABLE, CREATE INDEX and DROP INDEX on engine tables (see ddl.h).
#include "engine/sql/ddl.h"

#include <cctype>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/env/files.h"
#include "engine/index/index_catalog.h"
#include "engine/index/index_file.h"
#include "engine/index/table_expression.h"
#include "engine/record/schema.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_session.h"
#include "engine/sql/statement.h"
#include "engine/storage/table_file.h"
#include "engine/table/connection.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

struct SqlType {
    const char* sql;
    const char* engine;
    int default_length;  // 0: the engine type takes none
};

// SQL spellings of the engine's types; other names go to the field text parser as they are.
constexpr SqlType kTypes[] = {
    {"CHAR", "Char", 1},
    {"CHARACTER", "Char", 1},
    {"VARCHAR", "Char", 1},
    {"CHARACTER VARYING", "Char", 1},
    {"STRING", "Char", 1},
    {"CICHAR", "CIChar", 1},
    {"CICHARACTER", "CIChar", 1},
    {"NCHAR", "NChar", 1},
    {"NVARCHAR", "NVarChar", 1},
    {"NUMERIC", "Numeric", 10},
    {"DECIMAL", "Numeric", 10},
    {"DEC", "Numeric", 10},
    {"NUM", "Numeric", 10},
    {"BIGINT", "Numeric", 20},
    {"INTEGER", "Integer", 0},
    {"INT", "Integer", 0},
    {"SMALLINT", "ShortInt", 0},
    {"SHORTINT", "ShortInt", 0},
    {"SHORT", "ShortInt", 0},
    {"DOUBLE", "Double", 0},
    {"DOUBLE PRECISION", "Double", 0},
    {"FLOAT", "Double", 0},
    {"REAL", "Double", 0},
    {"LOGICAL", "Logical", 0},
    {"BOOLEAN", "Logical", 0},
    {"BOOL", "Logical", 0},
    {"BIT", "Logical", 0},
    {"DATETIME", "TimeStamp", 0},
    {"AUTOINCREMENT", "AutoInc", 0},
    {"IDENTITY", "AutoInc", 0},
    {"TEXT", "Memo", 0},
    {"CLOB", "Memo", 0},
    {"NTEXT", "NMemo", 0},
    {"BLOB", "Binary", 0},
    {"VARBINARY", "Binary", 0},
};

bool needs_length(const std::string& engine_type) {
    static const char* const kWithLength[] = {"Char",    "CIChar", "NChar",      "NVarChar",
                                              "Numeric", "Raw",    "VarCharFox", "VarBinaryFox"};
    for (const char* name : kWithLength) {
        if (iequals(name, engine_type)) {
            return true;
        }
    }
    return false;
}

// "NUMERIC(10, 2)" to "Numeric,10,2".
std::string field_type_text(const std::string& column, const std::string& declared) {
    std::size_t paren = declared.find('(');
    std::string base;
    for (char c : declared.substr(0, paren)) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!base.empty() && base.back() != ' ') {
                base += ' ';
            }
        } else {
            base += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    if (base.empty()) {
        fail_sql(NativeError::TypeMismatch, "the column " + column + " has no type");
    }
    std::vector<std::string> arguments;
    if (paren != std::string::npos) {
        std::size_t close = declared.find(')', paren);
        std::string inside = declared.substr(
            paren + 1, close == std::string::npos ? std::string::npos : close - paren - 1);
        std::size_t start = 0;
        while (start <= inside.size()) {
            std::size_t comma = inside.find(',', start);
            arguments.push_back(trim_blanks(inside.substr(start, comma - start)));
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    std::string engine = base;
    int default_length = 0;
    for (const auto& type : kTypes) {
        if (base == type.sql) {
            engine = type.engine;
            default_length = type.default_length;
            break;
        }
    }
    std::string text = engine;
    if (!arguments.empty()) {
        for (const std::string& argument : arguments) {
            text += "," + argument;
        }
    } else if (default_length > 0 || needs_length(engine)) {
        text += "," + std::to_string(default_length > 0 ? default_length : 1);
    }
    return text;
}

std::string name_after(const std::vector<const Token*>& tokens, std::size_t& i, bool& if_exists,
                       const char* exists_words) {
    // [IF [NOT] EXISTS] name
    if_exists = false;
    if (i < tokens.size() && keyword(*tokens[i]) == "IF") {
        std::size_t j = i + 1;
        if (std::string(exists_words) == "NOT EXISTS") {
            if (j < tokens.size() && keyword(*tokens[j]) == "NOT") {
                ++j;
            }
        }
        if (j < tokens.size() && keyword(*tokens[j]) == "EXISTS") {
            if_exists = true;
            i = j + 1;
        }
    }
    if (i >= tokens.size() ||
        (tokens[i]->kind != TokenKind::Word && tokens[i]->kind != TokenKind::QuotedName &&
         tokens[i]->kind != TokenKind::String)) {
        fail_sql(NativeError::Syntax, "a table name is missing");
    }
    std::string name = token_name(*tokens[i]);
    ++i;
    if (i < tokens.size() && tokens[i]->text == ".") {
        fail_sql(NativeError::NotSupported, "tables are named without a schema");
    }
    return name;
}

bool is_name(const Token* token) {
    return token->kind == TokenKind::Word || token->kind == TokenKind::QuotedName ||
           token->kind == TokenKind::String;
}

bool is_punct(const std::vector<const Token*>& tokens, std::size_t i, std::string_view text) {
    return i < tokens.size() && tokens[i]->kind == TokenKind::Punct && tokens[i]->text == text;
}

bool is_keyword(const std::vector<const Token*>& tokens, std::size_t i, std::string_view word) {
    return i < tokens.size() && keyword(*tokens[i]) == word;
}

std::string name_at(const std::vector<const Token*>& tokens, std::size_t& i, const char* what) {
    if (i >= tokens.size() || !is_name(tokens[i])) {
        fail_sql(NativeError::Syntax, std::string(what) + " is missing");
    }
    return token_name(*tokens[i++]);
}

// [IF [NOT] EXISTS] at tokens[i], skipped.
bool if_exists_at(const std::vector<const Token*>& tokens, std::size_t& i, bool with_not) {
    std::size_t j = i;
    if (!is_keyword(tokens, j++, "IF") || (with_not && !is_keyword(tokens, j++, "NOT")) ||
        !is_keyword(tokens, j++, "EXISTS")) {
        return false;
    }
    i = j;
    return true;
}

// Opens a table of the statement for a change of its tags, as the SQL error of a refusal.
std::shared_ptr<TableCursor> open_for_tags(const std::shared_ptr<Connection>& connection,
                                           const std::string& path, bool exclusive) {
    try {
        OpenRequest request;
        request.exclusive = exclusive;
        return TableCursor::open(connection, path, request);
    } catch (const EngineError& error) {
        fail_sql(classify_engine_error(error.code()), error.text());
    }
}

std::string table_label(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class ScratchDatabase {
  public:
    ScratchDatabase() {
        if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            fail(VE_INTERNAL_ERROR, "SQLite could not open a scratch database");
        }
    }
    ~ScratchDatabase() { sqlite3_close(db_); }
    sqlite3* get() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace

void create_table(SqlSession& session, const StatementSettings& settings,
                  const StatementText& statement) {
    std::vector<const Token*> tokens = significant(statement);
    std::size_t i = 1;
    if (keyword(*tokens[i]) == "TEMP" || keyword(*tokens[i]) == "TEMPORARY") {
        fail_sql(NativeError::NotSupported, "temporary tables");
    }
    ++i;  // TABLE
    bool if_not_exists = false;
    std::string name = name_after(tokens, i, if_not_exists, "NOT EXISTS");
    if (i < tokens.size() && keyword(*tokens[i]) == "AS") {
        fail_sql(NativeError::NotSupported, "CREATE TABLE ... AS SELECT");
    }

    ScratchDatabase scratch;
    if (sqlite3_exec(scratch.get(), statement.sql.c_str(), nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        fail_from_sqlite(scratch.get(), sqlite3_errcode(scratch.get()));
    }
    sqlite3_stmt* raw = nullptr;
    const char* query =
        "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1) ORDER BY cid";
    if (sqlite3_prepare_v2(scratch.get(), query, -1, &raw, nullptr) != SQLITE_OK) {
        fail_from_sqlite(scratch.get(), sqlite3_errcode(scratch.get()));
    }
    PreparedStatement columns(raw);
    sqlite3_bind_text(raw, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    std::string field_text;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        std::string column =
            utf8_to_ansi(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)));
        const unsigned char* type = sqlite3_column_text(raw, 1);
        if (sqlite3_column_int(raw, 2) != 0 || sqlite3_column_type(raw, 3) != SQLITE_NULL) {
            fail_sql(NativeError::NotSupported,
                     "NOT NULL and DEFAULT constraints (column " + column + ")");
        }
        if (sqlite3_column_int(raw, 4) != 0) {
            fail_sql(NativeError::NotSupported,
                     "PRIMARY KEY constraints; make a unique index with CREATE UNIQUE INDEX");
        }
        if (column.find_first_of(",;") != std::string::npos) {
            fail_sql(NativeError::NotSupported, "\",\" and \";\" in the column name " + column);
        }
        field_text +=
            column + "," +
            field_type_text(column, type != nullptr ? reinterpret_cast<const char*>(type) : "") +
            ";";
    }
    sqlite3_stmt* raw_indexes = nullptr;
    if (sqlite3_prepare_v2(scratch.get(), "SELECT count(*) FROM pragma_index_list(?1)", -1,
                           &raw_indexes, nullptr) == SQLITE_OK) {
        PreparedStatement indexes(raw_indexes);
        sqlite3_bind_text(raw_indexes, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(raw_indexes) == SQLITE_ROW && sqlite3_column_int(raw_indexes, 0) > 0) {
            fail_sql(NativeError::NotSupported,
                     "UNIQUE constraints; make a unique index with CREATE UNIQUE INDEX");
        }
    }

    session.require_schema_change("");
    const std::shared_ptr<Connection> owner = session.connection();
    const std::string path = owner->store().location_for_new(session.table_path(name));
    std::string existing = session.find_table_file(name);
    if (!existing.empty()) {
        if (if_not_exists) {
            return;
        }
        fail_sql(NativeError::TableExists,
                 "the table " + name + " exists already (" + existing + ")");
    }
    try {
        TableSchema schema(parse_field_text(field_text));
        TableOptions options;
        options.char_type =
            settings.char_type == VE_CHARTYPE_OEM ? VE_CHARTYPE_OEM : VE_CHARTYPE_ANSI;
        options.collation = settings.collation;
        owner->store().create(path, schema, options);
    } catch (const EngineError& error) {
        fail_sql(classify_engine_error(error.code()), error.text());
    }
    session.forget_file(path);
    session.adopt_new_table(table_label(path).substr(0, table_label(path).rfind('.')), path);
}

void drop_table(SqlSession& session, const std::shared_ptr<Connection>& connection,
                const StatementText& statement) {
    std::vector<const Token*> tokens = significant(statement);
    std::size_t i = 2;
    bool if_exists = false;
    std::string name = name_after(tokens, i, if_exists, "EXISTS");
    std::string path = session.find_table_file(name);
    if (path.empty()) {
        if (if_exists) {
            return;
        }
        fail_sql(NativeError::UnknownTable, "no such table: " + name);
    }
    session.require_schema_change(path);
    session.forget_file(path);
    try {
        OpenRequest request;
        request.exclusive = true;
        {
            auto table = TableCursor::open(connection, path, request);
            TableCursor::CallScope scope(*table);
            table->require_writable_for_delete();
            table->close();
        }
        connection->store().remove(path);
    } catch (const EngineError& error) {
        fail_sql(classify_engine_error(error.code()), error.text());
    }
    session.forget_dropped_table(path);
}

void create_index(SqlSession& session, const std::shared_ptr<Connection>& connection,
                  const StatementText& statement) {
    std::vector<const Token*> tokens = significant(statement);
    std::size_t i = 1;
    bool unique = is_keyword(tokens, i, "UNIQUE");
    if (unique) {
        ++i;
    }
    ++i;  // INDEX
    bool if_not_exists = if_exists_at(tokens, i, true);
    std::string name = name_at(tokens, i, "an index name");
    if (is_punct(tokens, i, ".")) {
        fail_sql(NativeError::NotSupported, "indexes are named without a schema");
    }
    if (!is_keyword(tokens, i++, "ON")) {
        fail_sql(NativeError::Syntax, "ON table is missing after CREATE INDEX " + name);
    }
    std::string table_name = name_at(tokens, i, "a table name");
    if (!is_punct(tokens, i++, "(")) {
        fail_sql(NativeError::Syntax, "the columns of the index " + name + " are missing");
    }
    std::vector<std::string> columns;
    int descending = 0;
    for (;;) {
        columns.push_back(name_at(tokens, i, "a column name"));
        if (is_keyword(tokens, i, "COLLATE")) {
            fail_sql(NativeError::NotSupported,
                     "COLLATE in an index; a tag takes the table's collation");
        }
        if (is_keyword(tokens, i, "DESC")) {
            ++descending;
            ++i;
        } else if (is_keyword(tokens, i, "ASC")) {
            ++i;
        }
        if (is_punct(tokens, i, ",")) {
            ++i;
            continue;
        }
        if (!is_punct(tokens, i++, ")")) {
            fail_sql(NativeError::Syntax, "\")\" is missing after the columns of " + name);
        }
        break;
    }
    if (is_keyword(tokens, i, "WHERE")) {
        fail_sql(NativeError::NotSupported, "partial indexes (CREATE INDEX ... WHERE)");
    }
    if (i < tokens.size()) {
        fail_sql(NativeError::Syntax, "unexpected \"" + tokens[i]->text + "\" after the index");
    }
    if (descending != 0 && descending != static_cast<int>(columns.size())) {
        // A tag runs in one direction over its whole key.
        fail_sql(NativeError::NotSupported,
                 "an index with ASC and DESC columns (" + name + "); use one direction");
    }

    std::string path = session.find_table_file(table_name);
    if (path.empty()) {
        fail_sql(NativeError::UnknownTable, "no such table: " + table_name);
    }
    session.require_schema_change(path);
    auto table = open_for_tags(connection, path, false);
    try {
        TableCursor::CallScope scope(*table);
        IndexCatalog& catalog = IndexCatalog::of(table->file());
        if (catalog.find(name) != nullptr) {
            if (if_not_exists) {
                return;
            }
            fail_sql(NativeError::IndexExists,
                     "the table " + table_label(path) + " has an index " + name + " already");
        }
        IndexDefinition definition;
        definition.name = name;
        for (const std::string& column : columns) {
            const FieldDescriptor* field = table->schema().by_name(column);
            if (field == nullptr) {
                fail_sql(NativeError::UnknownColumn,
                         "no such column: " + column + " in " + table_label(path));
            }
            definition.expression += (definition.expression.empty() ? "" : ";") + field->name;
        }
        definition.options = (unique ? kIndexUnique : 0) | (descending != 0 ? kIndexDescending : 0);
        definition.collation = effective_collation_name(*table);
        definition.date_format = connection->date_format().pattern();
        catalog.create(definition);
    } catch (const EngineError& error) {
        if (error.code() == VE_SQL_ERROR) {
            throw;
        }
        fail_sql(classify_engine_error(error.code()), error.text());
    }
    // The session's virtual table knows the tags as they were; made again at the next use.
    session.forget_file(path);
}

void drop_index(SqlSession& session, const std::shared_ptr<Connection>& connection,
                const StatementText& statement) {
    std::vector<const Token*> tokens = significant(statement);
    std::size_t i = 2;
    bool if_exists = if_exists_at(tokens, i, false);
    std::string first = name_at(tokens, i, "an index name");
    std::string table_name;
    std::string name = first;
    if (is_punct(tokens, i, ".")) {
        ++i;
        table_name = first;
        name = name_at(tokens, i, "an index name");
    }
    if (i < tokens.size()) {
        fail_sql(NativeError::Syntax, "unexpected \"" + tokens[i]->text + "\" after the index");
    }

    // The tables that have a tag of that name.
    std::vector<std::string> candidates;
    if (!table_name.empty()) {
        std::string path = session.find_table_file(table_name);
        if (path.empty()) {
            fail_sql(NativeError::UnknownTable, "no such table: " + table_name);
        }
        candidates.push_back(path);
    } else {
        candidates = session.table_files();
    }
    std::vector<std::string> holders;
    for (const std::string& path : candidates) {
        try {
            auto file = connection->store().open(path);
            if (IndexCatalog::of(*file).find(name) != nullptr) {
                holders.push_back(path);
            }
        } catch (const EngineError& error) {
            if (!table_name.empty()) {
                fail_sql(classify_engine_error(error.code()), error.text());
            }
            // A file of the directory that does not open is no table that has the tag.
        }
    }
    if (holders.empty()) {
        if (if_exists) {
            return;
        }
        fail_sql(NativeError::UnknownIndex,
                 "no such index: " + (table_name.empty() ? name : table_name + "." + name));
    }
    if (holders.size() > 1) {
        std::string tables;
        for (const std::string& path : holders) {
            tables += (tables.empty() ? "" : ", ") + table_label(path);
        }
        fail_sql(NativeError::AmbiguousIndex,
                 "the tables " + tables + " have an index " + name + "; name it table.index");
    }

    const std::string& path = holders.front();
    // The session's own handles on the file would count as other users.
    session.require_schema_change(path);
    session.forget_file(path);
    auto table = open_for_tags(connection, path, true);
    try {
        TableCursor::CallScope scope(*table);
        table->require_writable_for_delete();
        IndexCatalog& catalog = IndexCatalog::of(table->file());
        auto tag = catalog.find(name);
        if (tag == nullptr) {
            fail_sql(NativeError::UnknownIndex, "no such index: " + name);
        }
        std::string index_file = tag->definition().file_name;
        catalog.remove(tag->name());
        if (!index_file.empty()) {
            write_index_file(*table, index_file);
        }
    } catch (const EngineError& error) {
        if (error.code() == VE_SQL_ERROR) {
            throw;
        }
        fail_sql(classify_engine_error(error.code()), error.text());
    }
}

}  // namespace varelum::engine::sql
