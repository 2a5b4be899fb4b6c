// EXECUTE PROCEDURE: the engine's own procedures and a dictionary's (see procedures.h).
#include "engine/sql/procedures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary.h"
#include "engine/env/files.h"
#include "engine/expr/record_value.h"
#include "engine/format/field_image.h"
#include "engine/index/index_catalog.h"
#include "engine/record/schema.h"
#include "engine/sql/result_cursor.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement.h"
#include "engine/sql/transaction_statement.h"
#include "engine/storage/table_file.h"
#include "engine/table/connection.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

// The text between the outer parentheses of "EXECUTE PROCEDURE name(arguments)".
struct ProcedureCall {
    std::string name;
    std::string arguments;  // SQL, markers rewritten
};

ProcedureCall procedure_call(const StatementText& statement) {
    std::vector<const Token*> tokens = significant(statement);
    std::size_t i = 1;
    if (i < tokens.size() && keyword(*tokens[i]) == "PROCEDURE") {
        ++i;
    }
    if (i >= tokens.size() ||
        (tokens[i]->kind != TokenKind::Word && tokens[i]->kind != TokenKind::QuotedName)) {
        fail_sql(NativeError::Syntax, "EXECUTE PROCEDURE needs the name of a procedure");
    }
    ProcedureCall call;
    call.name = token_name(*tokens[i]);
    // The tokens after the name, without the blanks, line ends and comments around them and
    // without the parentheses that enclose them.
    auto name_at = std::find_if(statement.tokens.begin(), statement.tokens.end(),
                                [&](const Token& token) { return &token == tokens[i]; });
    std::vector<const Token*> rest;
    for (auto token = name_at + 1; token != statement.tokens.end(); ++token) {
        rest.push_back(&*token);
    }
    auto is_space = [](const Token* token) { return token->kind == TokenKind::Space; };
    while (!rest.empty() && is_space(rest.back())) {
        rest.pop_back();
    }
    auto first = std::find_if_not(rest.begin(), rest.end(), is_space);
    std::size_t begin = static_cast<std::size_t>(first - rest.begin());
    std::size_t end = rest.size();
    auto enclosed = [&] {
        int outer = rest[begin]->depth;
        return std::all_of(rest.begin() + begin + 1, rest.begin() + end - 1,
                           [&](const Token* token) { return token->depth > outer; });
    };
    if (end - begin >= 2 && rest[begin]->text == "(" && rest[end - 1]->text == ")" && enclosed()) {
        ++begin;
        --end;
    }
    for (std::size_t k = begin; k < end; ++k) {
        call.arguments += rest[k]->text;
    }
    call.arguments = trim_blanks(call.arguments);
    if (std::all_of(rest.begin() + begin, rest.begin() + end, is_space)) {
        call.arguments.clear();
    }
    return call;
}

// A parameter that takes texts: the text field types and the memo types that hold text.
bool takes_text(FieldType type) {
    return format::is_text_type(type) || type == FieldType::Memo || type == FieldType::VarChar ||
           type == FieldType::NMemo;
}

// An argument as its parameter's type takes it: a number parameter reads a text as a number,
// a text parameter takes a number as its text; other types take the value as it comes.
SqlValue as_parameter(const FieldDescriptor& parameter, SqlValue value, std::size_t position,
                      const std::string& procedure) {
    if (expr::field_value_type(parameter.type) == expr::ValueType::Numeric &&
        value.type == SqlValue::Type::Text) {
        std::string text = trim_blanks(value.bytes);
        char* end = nullptr;
        double number = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(number)) {
            fail_sql(NativeError::TypeMismatch, "argument " + std::to_string(position) +
                                                    " of procedure " + procedure + " (" +
                                                    parameter.name + ") is not a number");
        }
        if (number == std::trunc(number) && std::fabs(number) < 9.0e15) {
            return SqlValue::of_integer(static_cast<std::int64_t>(number));
        }
        return SqlValue::of_real(number);
    }
    if (takes_text(parameter.type) && value.type == SqlValue::Type::Integer) {
        return SqlValue::of_text(std::to_string(value.integer));
    }
    if (takes_text(parameter.type) && value.type == SqlValue::Type::Real) {
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", value.real);
        return SqlValue::of_text(text);
    }
    return value;
}

std::string value_text(const SqlValue& value) {
    switch (value.type) {
        case SqlValue::Type::Null:
            return std::string();
        case SqlValue::Type::Integer:
            return std::to_string(value.integer);
        default:
            return trim_blanks(value.bytes);
    }
}

// Counts the procedures running inside one another on a session.
class DepthScope {
  public:
    DepthScope(SqlSession& session, const std::string& name) : session_(session) {
        if (session_.procedure_depth >= kMaxProcedureDepth) {
            fail_sql(NativeError::Other, "procedure " + name + " runs more than " +
                                             std::to_string(kMaxProcedureDepth) +
                                             " procedures deep; does it call itself?");
        }
        ++session_.procedure_depth;
    }
    ~DepthScope() { --session_.procedure_depth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;

  private:
    SqlSession& session_;
};

// sp_ModifyTableProperty(table, property, value, validation, fail table): the table's primary
// key or default index in the dictionary. Only a dictionary keeps them: on a free-table
// connection it answers VE_DICTIONARY_ONLY, as does a table the dictionary does not hold.
void modify_table_property(const Connection& connection, const std::vector<SqlValue>& arguments) {
    const auto& session = connection.dictionary();
    if (!session) {
        fail(VE_DICTIONARY_ONLY, "sp_ModifyTableProperty needs a data dictionary connection");
    }
    if (arguments.size() != 5) {
        fail_sql(NativeError::Parameter,
                 "sp_ModifyTableProperty takes 5 arguments (table, property, value, validation, "
                 "fail table), not " +
                     std::to_string(arguments.size()));
    }
    if (!session->login.administrator) {
        fail_sql(NativeError::PermissionDenied,
                 "only the administrator changes the data dictionary");
    }
    Dictionary& dictionary = *session->dictionary;
    std::string table_name = value_text(arguments[0]);
    auto table = dictionary.find(DictObjectType::Table, table_name);
    if (!table && has_extension(table_name)) {
        table = dictionary.find(DictObjectType::Table,
                                table_name.substr(0, table_name.find_last_of('.')));
    }
    if (!table) {
        fail(VE_DICTIONARY_ONLY, "table \"" + table_name + "\"");
    }
    std::string property = to_upper_ascii(value_text(arguments[1]));
    const char* key = property == "TABLE_PRIMARY_KEY"     ? dict_property::kPrimaryKey
                      : property == "TABLE_DEFAULT_INDEX" ? dict_property::kDefaultIndex
                                                          : nullptr;
    if (key == nullptr) {
        fail_sql(NativeError::NotSupported,
                 "sp_ModifyTableProperty sets TABLE_PRIMARY_KEY and TABLE_DEFAULT_INDEX, not " +
                     value_text(arguments[1]));
    }
    std::string index = value_text(arguments[2]);
    if (!index.empty()) {
        auto file = connection.store().open(dictionary.table_path(*table));
        auto tag = IndexCatalog::of(*file).find(index);
        if (!tag) {
            fail_sql(NativeError::UnknownIndex, "table " + table->name + " has no index " + index);
        }
        if (key == dict_property::kPrimaryKey && !tag->definition().unique()) {
            fail_sql(NativeError::Constraint, "the primary key of " + table->name +
                                                  " needs a unique index, and " + index +
                                                  " is not one");
        }
        index = tag->name();
    }
    if (index.empty()) {
        table->properties.erase(key);
    } else {
        table->properties[key] = index;
    }
    dictionary.put(*table);
}

}  // namespace

void check_procedure(std::string_view parameters, std::string_view body) {
    std::vector<FieldDescriptor> fields = parse_field_text(parameters);
    Script script = parse_script(body);
    if (script.statements.empty()) {
        fail_sql(NativeError::Syntax, "a procedure's body is empty");
    }
    for (const StatementText& statement : script.statements) {
        if (statement.kind != StatementKind::Query && statement.kind != StatementKind::Change &&
            statement.kind != StatementKind::Procedure) {
            fail_sql(NativeError::NotSupported,
                     "a procedure's body holds queries, changes of rows and procedure calls: " +
                         trim_blanks(statement.sql));
        }
    }
    for (const std::string& marker : script.markers) {
        bool known = std::any_of(fields.begin(), fields.end(), [&](const FieldDescriptor& field) {
            return !marker.empty() && iequals(field.name, marker);
        });
        if (!known) {
            fail_sql(NativeError::Parameter,
                     marker.empty()
                         ? std::string("a procedure's body names its parameters "
                                       "(:name), it has no unnamed ones")
                         : "the body's :" + marker + " is no parameter of the procedure");
        }
    }
}

std::vector<SqlValue> Statement::procedure_arguments(const std::string& arguments) {
    std::vector<SqlValue> values;
    if (arguments.empty()) {
        return values;
    }
    PreparedStatement row = session_->prepare("SELECT " + arguments);
    bind(row.get());
    pending_engine_error() = PendingEngineError{};
    int rc = sqlite3_step(row.get());
    if (rc != SQLITE_ROW) {
        fail_from_sqlite(session_->db(), rc);
    }
    int count = sqlite3_column_count(row.get());
    for (int i = 0; i < count; ++i) {
        values.push_back(SqlValue::of(sqlite3_column_value(row.get(), i)));
    }
    return values;
}

std::shared_ptr<ResultCursor> Statement::run_procedure(Part& part, bool want_cursor) {
    ProcedureCall call = procedure_call(part.text);
    if (iequals(call.name, "sp_setapplicationid")) {
        std::vector<SqlValue> arguments = procedure_arguments(call.arguments);
        if (arguments.size() != 1) {
            fail_sql(NativeError::UnknownFunction, "sp_setapplicationid takes the application id");
        }
        session_->application_id = value_text(arguments[0]);
        return nullptr;
    }
    if (iequals(call.name, "sp_getapplicationid")) {
        if (!call.arguments.empty()) {
            fail_sql(NativeError::UnknownFunction, "sp_getapplicationid takes no arguments");
        }
        if (!want_cursor) {
            return nullptr;
        }
        PreparedStatement row = session_->prepare("SELECT ?1 AS \"ApplicationID\"");
        sqlite3_bind_text(row.get(), 1, session_->application_id.c_str(), -1, SQLITE_TRANSIENT);
        return ResultCursor::materialize(*session_, connection_, row.get());
    }
    if (iequals(call.name, "sp_ModifyTableProperty")) {
        modify_table_property(*connection_, procedure_arguments(call.arguments));
        return nullptr;
    }
    if (const auto& session = connection_->dictionary()) {
        if (auto procedure = session->dictionary->find(DictObjectType::Procedure, call.name)) {
            return run_dictionary_procedure(*procedure, procedure_arguments(call.arguments),
                                            want_cursor);
        }
    }
    fail_sql(NativeError::UnknownFunction, "no such procedure: " + call.name);
}

std::shared_ptr<ResultCursor> Statement::run_dictionary_procedure(const DictObject& procedure,
                                                                  std::vector<SqlValue> arguments,
                                                                  bool want_cursor) {
    std::vector<FieldDescriptor> parameters =
        parse_field_text(procedure.property(dict_property::kParameters));
    if (arguments.size() != parameters.size()) {
        fail_sql(NativeError::Parameter, "procedure " + procedure.name + " takes " +
                                             std::to_string(parameters.size()) + " argument" +
                                             (parameters.size() == 1 ? "" : "s") + ", not " +
                                             std::to_string(arguments.size()));
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        arguments[i] = as_parameter(parameters[i], std::move(arguments[i]), i + 1, procedure.name);
    }
    DepthScope depth(*session_, procedure.name);
    try {
        Statement body(connection_, settings_);
        body.prepare(procedure.property(dict_property::kSqlText));
        for (std::size_t i = 0; i < body.script_->markers.size(); ++i) {
            for (std::size_t p = 0; p < parameters.size(); ++p) {
                if (iequals(body.script_->markers[i], parameters[p].name)) {
                    body.values_[i] = arguments[p];
                }
            }
        }
        AtomicStatement atomic(*connection_);
        auto cursor = body.execute(want_cursor);
        atomic.finish();
        return cursor;
    } catch (const EngineError& error) {
        // Said where it went wrong: "...; in procedure X: no such table: Y".
        std::string text = error.text();
        std::size_t explanation = text.find("; ");
        if (error.code() != VE_SQL_ERROR || explanation == std::string::npos) {
            throw;
        }
        text.insert(explanation + 2, "in procedure " + procedure.name + ": ");
        throw EngineError(VE_SQL_ERROR, text);
    }
}

}  // namespace varelum::engine::sql
