// The engine as varelum-store uses it: RAII owners of a connection and of a table handle, the
// description of a table's fields, and check(), which turns a failing engine result into a
// StoreError carrying the engine's own text. Everything here goes through the engine's C ABI
// (varelum_engine.h); no other file of the tool holds an engine handle of its own.
//
// Paths are UTF-8 on our side; they reach the engine as Windows-1252 text, so a path with a
// character outside that code page is refused with a clear error instead of being mangled.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "varelum_engine.h"

namespace varelum::store {

// Throws StoreError "<context>: <engine text>" when code is not VE_SUCCESS. The engine text
// is the thread's last error (it names the file, field or value concerned).
void check(UNSIGNED32 code, std::string_view context);

// The engine's text for the thread's last error, as UTF-8 ("" when there is none).
std::string last_error_text();

// UTF-8 text as the engine's 8-bit text (Windows-1252); StoreError when a character has no
// place in that code page. what names the text in the message ("path", "field name").
std::string to_engine_text(std::string_view utf8, std::string_view what);
// The engine's 8-bit text as UTF-8.
std::string from_engine_text(std::string_view ansi);

// A table argument as the file it names: absolute, with ".adt" added when the name has no
// extension.
std::filesystem::path table_file_path(std::string_view argument);

// One engine connection to a directory; disconnected (closing what is still open on it) when
// destroyed.
class Connection {
  public:
    explicit Connection(const std::filesystem::path& directory);
    // Takes over a connection made elsewhere (a dictionary's administrator's log-in) to the
    // tables of directory; it is disconnected with this object.
    Connection(const std::filesystem::path& directory, ADSHANDLE adopted)
        : directory_(directory), handle_(adopted) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    ADSHANDLE handle() const noexcept { return handle_; }
    const std::filesystem::path& directory() const noexcept { return directory_; }

  private:
    std::filesystem::path directory_;
    ADSHANDLE handle_ = 0;
};

// What the engine says about one field.
struct FieldInfo {
    std::string name;  // UTF-8
    UNSIGNED16 number = 0;
    UNSIGNED16 type = 0;  // VE_FIELD_...
    UNSIGNED32 length = 0;
    UNSIGNED16 decimals = 0;

    // The field argument of the engine's field functions.
    const UNSIGNED8* id() const noexcept { return ADSFIELD(number); }
};

// What the engine says about one index tag.
struct IndexInfo {
    std::string name;        // UTF-8
    std::string expression;  // the key expression as given at creation
    std::string condition;   // the FOR condition; empty when there is none
    bool unique = false;
    bool descending = false;
    // Keys in the tag for the records not marked deleted (fewer than the records where the
    // FOR condition leaves some out).
    UNSIGNED32 key_count = 0;
};

enum class OpenMode {
    Shared,     // others may read and write alongside
    Exclusive,  // nobody else may have the table open (pack, zap)
    ReadOnly,   // shared, and this handle cannot write
};

// One open table handle, closed when destroyed. Its connection must outlive it.
class Table {
  public:
    // Opens the table file at path (absolute) through connection.
    static Table open(Connection& connection, const std::filesystem::path& path, OpenMode mode);
    // Creates the table file at path from the engine's field text and opens it.
    static Table create(Connection& connection, const std::filesystem::path& path,
                        std::string_view field_text);
    // Takes over a handle opened elsewhere (an SQL result cursor); `name` stands for its path
    // in messages. The Table closes it.
    static Table adopt(ADSHANDLE handle, const std::filesystem::path& name);

    Table(Table&& other) noexcept;
    Table& operator=(Table&&) = delete;
    Table(const Table&) = delete;
    ~Table();

    ADSHANDLE handle() const noexcept { return handle_; }
    const std::filesystem::path& path() const noexcept { return path_; }
    const std::vector<FieldInfo>& fields() const noexcept { return fields_; }
    // The table's code page for 8-bit text: VE_CHARTYPE_ANSI or VE_CHARTYPE_OEM.
    UNSIGNED16 char_type() const;
    // Records visible under the engine's current AdsShowDeleted setting.
    UNSIGNED32 record_count() const;
    UNSIGNED32 record_length() const;

    // The index tags open on the handle (those of the table file), in order of creation.
    std::vector<IndexInfo> indexes() const;
    // Creates an index tag of the table file over a key expression (or field names separated
    // by ";"), for the records where condition holds (empty: every record); options:
    // VE_INDEX_... bits. Answers the new tag as indexes() describes it. StoreError with the
    // engine's reason otherwise (an expression error with its position, a duplicate key, a key
    // too long, a tag that exists).
    IndexInfo create_index(std::string_view tag, std::string_view expression, UNSIGNED32 options,
                           std::string_view condition = {});

    // Closes the handle now, reporting a failure (destruction closes quietly).
    void close();

  private:
    Table(ADSHANDLE handle, std::filesystem::path path);
    void read_fields();
    IndexInfo describe_index(ADSHANDLE index) const;

    ADSHANDLE handle_ = 0;
    std::filesystem::path path_;
    std::vector<FieldInfo> fields_;
};

// The table's name for messages: its file name as given ("CadProdutos.adt").
std::string display_name(const std::filesystem::path& path);

}  // namespace varelum::store
