// Connections, table handles and error translation over the engine's C ABI (see
// engine_table.h).
#include "engine_table.h"

#include <utility>

#include "rtl/code_page.h"
#include "store_error.h"

namespace varelum::store {

namespace fs = std::filesystem;

namespace {

const UNSIGNED8* engine_text(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

// "<context>: <engine text> (<code>)"
StoreError engine_error(UNSIGNED32 code, std::string_view context, const std::string& text) {
    std::string message(context);
    message += ": ";
    if (code == VE_OPERATION_CANCELLED) {
        // The tool's progress callback stops engine work only when the user interrupted it,
        // and the engine then keeps nothing of that work.
        message += "interrupted; nothing was changed";
    } else {
        message += text.empty() ? "engine error" : text;
    }
    message += " (" + std::to_string(code) + ")";
    return StoreError(message, code);
}

}  // namespace

std::string last_error_text() {
    UNSIGNED32 code = 0;
    std::string text(1024, '\0');
    UNSIGNED16 length = static_cast<UNSIGNED16>(text.size());
    UNSIGNED32 result = AdsGetLastError(&code, reinterpret_cast<UNSIGNED8*>(text.data()), &length);
    if (result == VE_BUFFER_TOO_SMALL) {
        text.assign(static_cast<std::size_t>(length) + 1, '\0');
        length = static_cast<UNSIGNED16>(text.size());
        result = AdsGetLastError(&code, reinterpret_cast<UNSIGNED8*>(text.data()), &length);
    }
    if (result != VE_SUCCESS || code == VE_SUCCESS) {
        return {};
    }
    text.resize(length);
    return from_engine_text(text);
}

void check(UNSIGNED32 code, std::string_view context) {
    if (code != VE_SUCCESS) {
        throw engine_error(code, context, last_error_text());
    }
}

std::string to_engine_text(std::string_view utf8, std::string_view what) {
    std::string ansi = rtl::Utf8ToAnsi(utf8);
    if (rtl::AnsiToUtf8(ansi) != utf8) {
        throw StoreError(std::string(what) + " \"" + std::string(utf8) +
                         "\" has characters that Windows-1252 cannot hold");
    }
    return ansi;
}

std::string from_engine_text(std::string_view ansi) {
    return rtl::AnsiToUtf8(ansi);
}

fs::path table_file_path(std::string_view argument) {
    if (argument.empty()) {
        throw StoreError("the table name is empty");
    }
    fs::path path = fs::absolute(fs::path(std::string(argument))).lexically_normal();
    if (!path.has_filename()) {
        throw StoreError("\"" + std::string(argument) + "\" names a directory, not a table");
    }
    if (!path.has_extension()) {
        path += ".adt";
    }
    return path;
}

std::string display_name(const fs::path& path) {
    return path.filename().string();
}

// --- Connection ---------------------------------------------------------------------------

Connection::Connection(const fs::path& directory) : directory_(directory) {
    std::string name = to_engine_text(directory.string(), "directory");
    check(AdsConnect(engine_text(name), &handle_), "cannot connect to " + directory.string());
}

Connection::~Connection() {
    if (handle_ != 0) {
        // Nothing is pending at this point: every table was closed (and checked) before.
        AdsDisconnect(handle_);
    }
}

// --- Table --------------------------------------------------------------------------------

Table::Table(ADSHANDLE handle, fs::path path) : handle_(handle), path_(std::move(path)) {}

Table::Table(Table&& other) noexcept
    : handle_(std::exchange(other.handle_, 0)),
      path_(std::move(other.path_)),
      fields_(std::move(other.fields_)) {}

Table::~Table() {
    if (handle_ != 0) {
        // A destructor cannot report; callers that must know call close() first.
        AdsCloseTable(handle_);
    }
}

Table Table::open(Connection& connection, const fs::path& path, OpenMode mode) {
    std::string name = to_engine_text(path.string(), "table path");
    UNSIGNED32 options = 0;
    if (mode == OpenMode::Exclusive) {
        options |= VE_OPEN_EXCLUSIVE;
    } else if (mode == OpenMode::ReadOnly) {
        options |= VE_OPEN_READONLY;
    }
    ADSHANDLE handle = 0;
    check(AdsOpenTable90(connection.handle(), engine_text(name), nullptr, VE_TABLE_TYPE_ADT,
                         VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_IGNORE, options, nullptr,
                         &handle),
          "cannot open " + path.string());
    Table table(handle, path);
    table.read_fields();
    return table;
}

Table Table::adopt(ADSHANDLE handle, const fs::path& name) {
    Table table(handle, name);
    table.read_fields();
    return table;
}

Table Table::create(Connection& connection, const fs::path& path, std::string_view field_text) {
    std::string name = to_engine_text(path.string(), "table path");
    std::string fields = to_engine_text(field_text, "field definition");
    ADSHANDLE handle = 0;
    check(AdsCreateTable90(connection.handle(), engine_text(name), nullptr, VE_TABLE_TYPE_ADT,
                           VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_IGNORE, 0,
                           engine_text(fields), 0, nullptr, &handle),
          "cannot create " + path.string());
    Table table(handle, path);
    table.read_fields();
    return table;
}

void Table::read_fields() {
    UNSIGNED16 count = 0;
    check(AdsGetNumFields(handle_, &count), "cannot read the fields of " + display_name(path_));
    fields_.clear();
    fields_.reserve(count);
    for (UNSIGNED16 number = 1; number <= count; ++number) {
        FieldInfo field;
        field.number = number;
        const std::string context =
            "cannot describe field " + std::to_string(number) + " of " + display_name(path_);
        UNSIGNED8 name[256] = {};
        UNSIGNED16 name_length = sizeof name;
        check(AdsGetFieldName(handle_, number, name, &name_length), context);
        field.name =
            from_engine_text(std::string_view(reinterpret_cast<const char*>(name), name_length));
        check(AdsGetFieldType(handle_, field.id(), &field.type), context);
        check(AdsGetFieldLength(handle_, field.id(), &field.length), context);
        check(AdsGetFieldDecimals(handle_, field.id(), &field.decimals), context);
        fields_.push_back(std::move(field));
    }
}

UNSIGNED16 Table::char_type() const {
    UNSIGNED16 type = VE_CHARTYPE_ANSI;
    check(AdsGetTableCharType(handle_, &type),
          "cannot read the character type of " + display_name(path_));
    return type;
}

UNSIGNED32 Table::record_count() const {
    UNSIGNED32 count = 0;
    check(AdsGetRecordCount(handle_, VE_IGNORE_FILTERS, &count),
          "cannot count the records of " + display_name(path_));
    return count;
}

UNSIGNED32 Table::record_length() const {
    UNSIGNED32 length = 0;
    check(AdsGetRecordLength(handle_, &length),
          "cannot read the record length of " + display_name(path_));
    return length;
}

namespace {

// An index tag's text through one of the engine's name getters.
template <typename Get>
std::string index_text(Get get, ADSHANDLE index, const std::string& context) {
    std::string text(512, '\0');
    auto length = static_cast<UNSIGNED16>(text.size());
    UNSIGNED32 code = get(index, reinterpret_cast<UNSIGNED8*>(text.data()), &length);
    if (code == VE_BUFFER_TOO_SMALL) {
        text.assign(static_cast<std::size_t>(length) + 1, '\0');
        length = static_cast<UNSIGNED16>(text.size());
        code = get(index, reinterpret_cast<UNSIGNED8*>(text.data()), &length);
    }
    check(code, context);
    text.resize(length);
    return from_engine_text(text);
}

}  // namespace

IndexInfo Table::describe_index(ADSHANDLE index) const {
    const std::string context = "cannot describe the indexes of " + display_name(path_);
    IndexInfo info;
    info.name = index_text(AdsGetIndexName, index, context);
    info.expression = index_text(AdsGetIndexExpr, index, context);
    info.condition = index_text(AdsGetIndexCondition, index, context);
    UNSIGNED32 flags = 0;
    check(AdsGetIndexFlags(index, &flags), context);
    info.unique = (flags & (VE_INDEX_UNIQUE | VE_INDEX_CANDIDATE)) != 0;
    info.descending = (flags & VE_INDEX_DESCENDING) != 0;
    // The tool hides records marked deleted (main), so their keys are not counted.
    check(AdsGetKeyCount(index, VE_IGNORE_FILTERS, &info.key_count), context);
    return info;
}

std::vector<IndexInfo> Table::indexes() const {
    UNSIGNED16 count = 0;
    const std::string context = "cannot describe the indexes of " + display_name(path_);
    check(AdsGetNumIndexes(handle_, &count), context);
    std::vector<IndexInfo> indexes;
    for (UNSIGNED16 order = 1; order <= count; ++order) {
        ADSHANDLE index = 0;
        check(AdsGetIndexHandleByOrder(handle_, order, &index), context);
        indexes.push_back(describe_index(index));
    }
    return indexes;
}

IndexInfo Table::create_index(std::string_view tag, std::string_view expression, UNSIGNED32 options,
                              std::string_view condition) {
    const std::string name = to_engine_text(tag, "index name");
    const std::string key = to_engine_text(expression, "index expression");
    const std::string for_condition = to_engine_text(condition, "index condition");
    ADSHANDLE index = 0;
    const UNSIGNED32 code =
        AdsCreateIndex90(handle_, nullptr, engine_text(name), engine_text(key),
                         for_condition.empty() ? nullptr : engine_text(for_condition), nullptr,
                         options | VE_INDEX_COMPOUND, 0, nullptr, &index);
    std::string context =
        "cannot create the index " + std::string(tag) + " of " + display_name(path_);
    if (code == VE_INVALID_EXPRESSION && !for_condition.empty()) {
        // The engine's text gives the position of the error but not which of the two texts
        // holds it: when the key compiles, the condition does not.
        const std::string text = last_error_text();
        UNSIGNED16 key_valid = 0;
        if (AdsIsExprValid(handle_, engine_text(key), &key_valid) == VE_SUCCESS && key_valid != 0) {
            context += ": in the FOR condition";
        }
        throw engine_error(code, context, text);
    }
    check(code, context);
    return describe_index(index);
}

void Table::close() {
    if (handle_ != 0) {
        check(AdsCloseTable(std::exchange(handle_, 0)), "cannot close " + display_name(path_));
    }
}

}  // namespace varelum::store
