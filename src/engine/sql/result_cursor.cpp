// Result cursors: the row-list order and the static result table (see result_cursor.h).
#include "engine/sql/result_cursor.h"
#include "engine/format/code_page.h"

#include <cstdlib>
#include <unordered_map>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/env/env.h"
#include "engine/format/checksum.h"
#include "engine/record/record_image.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_session.h"
#include "engine/sql/sql_value.h"
#include "engine/sql/statement_step.h"
#include "engine/storage/table_store.h"
#include "engine/table/connection.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

// The record numbers of a query's rows, walked in the query's order. Records that are gone
// (never the case while the cursor keeps the table from being packed) are passed over.
class RowListOrder final : public RecordOrder {
  public:
    RowListOrder(const TableFile& file, std::vector<std::uint32_t> records)
        : file_(file), records_(std::move(records)) {}

    StoredRecord first(const Snapshot& txn) override { return walk(txn, 0, +1); }
    StoredRecord last(const Snapshot& txn) override {
        return walk(txn, static_cast<std::ptrdiff_t>(records_.size()) - 1, -1);
    }
    StoredRecord after(const Snapshot& txn, std::uint32_t recno, const std::uint8_t*) override {
        auto at = position(recno);
        return at ? walk(txn, static_cast<std::ptrdiff_t>(*at) + 1, +1) : StoredRecord{};
    }
    StoredRecord before(const Snapshot& txn, std::uint32_t recno, const std::uint8_t*) override {
        auto at = position(recno);
        return at ? walk(txn, static_cast<std::ptrdiff_t>(*at) - 1, -1) : StoredRecord{};
    }
    bool contains(const Snapshot&, std::uint32_t recno, const std::uint8_t*) override {
        return position(recno).has_value();
    }
    std::optional<std::uint32_t> count(const Snapshot&) override {
        return static_cast<std::uint32_t>(records_.size());
    }

  private:
    StoredRecord walk(const Snapshot& txn, std::ptrdiff_t at, int step) {
        while (at >= 0 && at < static_cast<std::ptrdiff_t>(records_.size())) {
            std::uint32_t recno = records_[static_cast<std::size_t>(at)];
            if (auto stored = file_.record(txn, recno)) {
                last_ = static_cast<std::size_t>(at);
                return StoredRecord{recno, *stored};
            }
            at += step;
        }
        return StoredRecord{};
    }

    // Where a record is in the list: the place last visited answers the walk in order at
    // once; a jump (a bookmark, a record number) builds the index once.
    std::optional<std::size_t> position(std::uint32_t recno) {
        if (last_ < records_.size() && records_[last_] == recno) {
            return last_;
        }
        if (places_.empty()) {
            places_.reserve(records_.size());
            for (std::size_t i = 0; i < records_.size(); ++i) {
                places_.emplace(records_[i], i);
            }
        }
        auto found = places_.find(recno);
        if (found == places_.end()) {
            return std::nullopt;
        }
        return found->second;
    }

    const TableFile& file_;
    std::vector<std::uint32_t> records_;
    std::size_t last_ = 0;
    std::unordered_map<std::uint32_t, std::size_t> places_;
};

// What the values of a computed column were, for choosing its field.
struct ColumnStats {
    bool integers = false, reals = false, texts = false, blobs = false;
    bool fits_int32 = true;
    std::size_t longest_text = 0;  // characters
};

std::size_t characters(const std::string& utf8) {
    std::size_t count = 0;
    for (unsigned char c : utf8) {
        count += (c & 0xC0) != 0x80;
    }
    return count;
}

FieldDescriptor field_for_values(const ColumnStats& stats) {
    constexpr std::size_t kLongestChar = 4000;  // longer texts go to a memo
    FieldDescriptor field;
    if (stats.blobs) {
        field.type = FieldType::Binary;
        field.length = kMemoSlotSize;
    } else if (stats.texts) {
        if (stats.longest_text > kLongestChar) {
            field.type = FieldType::Memo;
            field.length = kMemoSlotSize;
        } else {
            field.type = FieldType::String;
            field.length = static_cast<std::uint32_t>(std::max<std::size_t>(1, stats.longest_text));
        }
    } else if (stats.reals) {
        field.type = FieldType::Double;
        field.length = 8;
    } else if (stats.integers && !stats.fits_int32) {
        field.type = FieldType::Numeric;
        field.length = 20;
    } else if (stats.integers) {
        field.type = FieldType::Integer;
        field.length = 4;
    } else {
        field.type = FieldType::String;  // only nulls
        field.length = 1;
    }
    return field;
}

// The field a source column gives a result: its own, except that values the engine assigns
// become plain values of their type.
FieldDescriptor field_for_source(const FieldDescriptor& source) {
    FieldDescriptor field;
    field.type = source.type;
    field.length = source.length;
    field.decimals = source.decimals;
    switch (source.type) {
        case FieldType::AutoInc:
            field.type = FieldType::Integer;
            break;
        case FieldType::RowVersion:
            field.type = FieldType::Numeric;
            field.length = 20;
            field.decimals = 0;
            break;
        case FieldType::ModTime:
            field.type = FieldType::TimeStamp;
            break;
        default:
            break;
    }
    return field;
}

std::string unique_name(std::string name, const std::vector<FieldDescriptor>& fields,
                        std::size_t column) {
    if (name.empty()) {
        name = "EXPR_" + std::to_string(column + 1);
    }
    if (name.size() > 128) {
        name.resize(128);
    }
    auto taken = [&](const std::string& candidate) {
        for (const auto& field : fields) {
            if (iequals(field.name, candidate)) {
                return true;
            }
        }
        return false;
    };
    std::string candidate = name;
    for (int suffix = 2; taken(candidate); ++suffix) {
        std::string tail = "_" + std::to_string(suffix);
        candidate = name.substr(0, 128 - tail.size()) + tail;
    }
    return candidate;
}

}  // namespace

ResultCursor::~ResultCursor() {
    if (table_ && !table_->closed()) {
        try {
            TableCursor::CallScope scope(*table_, TableCursor::CallScope::Purpose::Close);
            table_->close();
        } catch (const EngineError&) {
            // Closed already (AdsCloseTable, or its connection went).
        }
    }
    table_.reset();
}

std::shared_ptr<TableCursor> ResultCursor::open_table(const std::shared_ptr<Connection>& connection,
                                                      const std::string& path, bool writable,
                                                      const AccessRights& rights,
                                                      std::shared_ptr<TableFile> opened) {
    OpenRequest request;
    request.read_only = !writable;
    request.rights = rights;
    return TableCursor::open(connection, path, request, std::move(opened));
}

std::shared_ptr<ResultCursor> ResultCursor::over_rows(std::shared_ptr<TableCursor> table,
                                                      std::vector<std::uint32_t> records,
                                                      bool writable) {
    std::shared_ptr<ResultCursor> cursor(new ResultCursor);
    cursor->table_ = std::move(table);
    cursor->live_ = writable;
    TableCursor::CallScope scope(*cursor->table_);
    cursor->table_->replace_natural_order(
        std::make_unique<RowListOrder>(cursor->table_->file(), std::move(records)));
    cursor->table_->goto_top();
    return cursor;
}

std::shared_ptr<ResultCursor> ResultCursor::materialize(
    SqlSession& session, const std::shared_ptr<Connection>& connection, sqlite3_stmt* statement) {
    const int columns = sqlite3_column_count(statement);
    std::vector<const FieldDescriptor*> sources(static_cast<std::size_t>(columns), nullptr);
    for (int i = 0; i < columns; ++i) {
        const char* table = sqlite3_column_table_name(statement, i);
        const char* column = sqlite3_column_origin_name(statement, i);
        const char* schema = sqlite3_column_database_name(statement, i);
        if (table != nullptr && column != nullptr) {
            if (const TableEntry* entry = session.table(table, schema != nullptr ? schema : "")) {
                sources[static_cast<std::size_t>(i)] = entry->schema.by_name(utf8_to_ansi(column));
            }
        }
    }

    std::vector<std::vector<SqlValue>> rows;
    std::vector<ColumnStats> stats(static_cast<std::size_t>(columns));
    step_to_end(statement, [&] {
        std::vector<SqlValue> row;
        row.reserve(static_cast<std::size_t>(columns));
        for (int i = 0; i < columns; ++i) {
            SqlValue value = SqlValue::of(sqlite3_column_value(statement, i));
            ColumnStats& column = stats[static_cast<std::size_t>(i)];
            switch (value.type) {
                case SqlValue::Type::Integer:
                    column.integers = true;
                    column.fits_int32 = column.fits_int32 && value.integer >= -2147483647 &&
                                        value.integer <= 2147483647;
                    break;
                case SqlValue::Type::Real:
                    column.reals = true;
                    break;
                case SqlValue::Type::Text:
                    column.texts = true;
                    column.longest_text = std::max(column.longest_text, characters(value.bytes));
                    break;
                case SqlValue::Type::Blob:
                    column.blobs = true;
                    break;
                case SqlValue::Type::Null:
                    break;
            }
            row.push_back(std::move(value));
        }
        rows.push_back(std::move(row));
    });
    if (rows.size() >= 0xFFFFFFF0u) {
        fail(VE_TABLE_FULL, "the result has too many rows");
    }

    std::vector<FieldDescriptor> fields;
    for (int i = 0; i < columns; ++i) {
        const FieldDescriptor* source = sources[static_cast<std::size_t>(i)];
        FieldDescriptor field = source != nullptr
                                    ? field_for_source(*source)
                                    : field_for_values(stats[static_cast<std::size_t>(i)]);
        const char* name = sqlite3_column_name(statement, i);
        field.name = unique_name(utf8_to_ansi(name != nullptr ? name : ""), fields,
                                 static_cast<std::size_t>(i));
        fields.push_back(std::move(field));
    }
    if (fields.empty()) {
        fail_sql(NativeError::Other, "the query has no columns");
    }
    TableSchema schema(std::move(fields));

    // The result's table goes with its last handle; its name with this scope.
    std::unique_ptr<TableStore::ScratchTable> scratch =
        connection->store().create_scratch(schema, TableOptions{});
    const std::shared_ptr<TableFile>& file = scratch->file();
    std::shared_ptr<ResultCursor> cursor(new ResultCursor);
    {
        TextContext context;
        context.date_format = connection->date_format();
        WriteContext write(*file);
        std::vector<std::uint8_t> image;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            auto recno = static_cast<std::uint32_t>(r + 1);
            image = null_image(file->schema());
            for (const auto& field : file->schema().fields()) {
                const SqlValue& value = rows[r][field.number - 1u];
                if (is_memo_type(field.type)) {
                    auto bytes = memo_bytes(field, value, format::CodePage::Ansi1252);
                    if (bytes) {
                        auto checksum = crc32_of(bytes->data(), bytes->size());
                        set_memo_marker(field, image.data(), true, checksum);
                        write.put_memo(recno, field.number, *bytes);
                    }
                    continue;
                }
                try {
                    write_value(field, image.data(), value, context);
                } catch (const EngineError&) {
                    // A value a column of its source type cannot hold (a computed text in
                    // a union with a date column, ...) is left null rather than failing
                    // the whole query.
                    set_null(field, image.data());
                }
            }
            write.put_record(recno, 0, image.data());
        }
        write.counters().next_record = static_cast<std::uint32_t>(rows.size() + 1);
        write.commit();
    }
    OpenRequest request;
    request.read_only = true;
    request.scratch = true;
    cursor->table_ = TableCursor::open(connection, scratch->location(), request, file);
    return cursor;
}

}  // namespace varelum::engine::sql
