// varelum-store import TABLE FILE.csv: appends the rows of a CSV file to a table, in batches
// each synced to disk (batched_append.h), so that a row that fails leaves every row before it
// in the table and nothing of itself, and a killed import or a power cut loses at most the
// rows of its last batch, never a row that was in the table before.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "batched_append.h"
#include "cell_values.h"
#include "commands.h"
#include "csv.h"
#include "engine_table.h"
#include "field_types.h"
#include "progress_display.h"
#include "rtl/text.h"
#include "store_error.h"

namespace varelum::store {

namespace {

constexpr unsigned long kDefaultProgressEvery = 10000;

std::string rows_text(std::size_t rows) {
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

// The header's names as fields of the table; nullptr for a column the engine fills itself.
std::vector<const FieldInfo*> map_columns(const Table& table, const CsvRow& header,
                                          const std::string& source) {
    std::vector<const FieldInfo*> columns;
    std::vector<const FieldInfo*> named;
    for (const std::string& cell : header.cells) {
        const std::string name = rtl::Trim(cell);
        const FieldInfo* found = nullptr;
        for (const FieldInfo& field : table.fields()) {
            if (rtl::AnsiSameText(field.name, name)) {
                found = &field;
                break;
            }
        }
        if (found == nullptr) {
            throw StoreError(source + " line " + std::to_string(header.line) + ": " +
                             display_name(table.path()) + " has no field \"" + name + "\"");
        }
        if (std::find(named.begin(), named.end(), found) != named.end()) {
            throw StoreError(source + " line " + std::to_string(header.line) + ": the field " +
                             found->name + " is named twice");
        }
        named.push_back(found);
        if (is_engine_maintained(found->type)) {
            std::cerr << "import: the engine sets " << found->name << " (" << type_name(found->type)
                      << "); its column is ignored\n";
            columns.push_back(nullptr);
        } else {
            columns.push_back(found);
        }
    }
    return columns;
}

// How often the percent read of the file is worked out (it asks the stream where it is).
constexpr std::size_t kPercentEvery = 1024;

// Appends the rows after the header; answers how many went in. size: the file's size in
// bytes, for the percent shown (0: unknown).
std::size_t append_rows(Connection& connection, const Table& table, std::istream& input,
                        std::uintmax_t size, const std::string& source,
                        unsigned long progress_every, std::size_t rows_per_batch,
                        ProgressDisplay& progress) {
    const UNSIGNED16 code_page = table.char_type();

    BatchedAppend batches(connection, table, rows_per_batch);
    const Table& staging = batches.staging();
    // The line of each row staged since the last batch went in, to name a row the table
    // refuses.
    std::vector<std::size_t> staged_lines;
    CsvReader reader(input);
    // Every failure from here on names the file, the line and how much went in before it.
    auto stop = [&](const std::string& where_and_why, UNSIGNED32 code = 0) {
        const std::size_t imported = batches.rows_sent();
        throw StoreError(source + " " + where_and_why + "; " + rows_text(imported) + " before it " +
                             (imported == 1 ? "was" : "were") + " imported",
                         code);
    };
    // Sends the staged rows; a row the table refuses stops the import at its line.
    auto send = [&] {
        const std::size_t before = batches.rows_sent();
        try {
            batches.send();
        } catch (const StoreError& error) {
            const std::size_t refused = batches.rows_sent() - before;
            const std::string line = "line " + std::to_string(staged_lines.at(refused));
            if (error.engine_code() == VE_OPERATION_CANCELLED) {
                stop(line + ": interrupted", VE_OPERATION_CANCELLED);
            }
            stop(line + ": the row was not written: " + error.what());
        }
        staged_lines.clear();
    };

    std::optional<CsvRow> header;
    try {
        header = reader.next();
    } catch (const StoreError& error) {
        throw StoreError(source + " " + error.what());
    }
    if (!header) {
        throw StoreError(source + " is empty: its first row must name the fields");
    }
    const std::vector<const FieldInfo*> columns = map_columns(table, *header, source);

    std::size_t read = 0;
    progress.report(0);
    while (true) {
        std::optional<CsvRow> row;
        try {
            row = reader.next();
        } catch (const StoreError& error) {
            send();
            stop(error.what());
        }
        if (!row) {
            break;
        }
        const std::string line = "line " + std::to_string(row->line);
        if (ProgressDisplay::interrupted()) {
            // The rows staged since the last batch are dropped: sending them is engine work,
            // which the interrupt stops as well.
            stop(line + ": interrupted", VE_OPERATION_CANCELLED);
        }
        if (row->cells.size() != columns.size()) {
            send();
            stop(line + ": " + std::to_string(row->cells.size()) + " values, but the header has " +
                 std::to_string(columns.size()));
        }
        check(AdsAppendRecord(staging.handle()), source + " " + line + ": cannot append");
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i] == nullptr) {
                continue;
            }
            try {
                set_cell(staging, *columns[i], row->cells[i], code_page);
            } catch (const StoreError& error) {
                AdsCancelUpdate(staging.handle());  // the row goes in whole or not at all
                send();
                stop(line + ", field " + columns[i]->name + ": " + error.what());
            }
        }
        if (AdsWriteRecord(staging.handle()) != VE_SUCCESS) {
            const std::string why = last_error_text();
            AdsCancelUpdate(staging.handle());
            send();
            stop(line + ": the row was not written: " + why);
        }
        staged_lines.push_back(row->line);
        if (batches.row_written()) {
            send();
        }
        ++read;
        if (size > 0 && read % kPercentEvery == 0) {
            const auto at = static_cast<std::uintmax_t>(std::max<std::streamoff>(input.tellg(), 0));
            // 100 only once every row is in.
            progress.report(static_cast<unsigned>(std::min<std::uintmax_t>(at * 100 / size, 99)));
        }
        if (read % progress_every == 0) {
            // One write per line, so that a reader of the output never sees half of one.
            progress.print_line("import: " + rows_text(read));
        }
    }
    send();
    progress.report(100);
    return batches.rows_sent();
}

}  // namespace

int run_import(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    const std::string source = arguments.at(1);
    const unsigned long progress_every =
        arguments.number("--progress", kDefaultProgressEvery, 1, 1000000000);
    const std::size_t rows_per_batch =
        arguments.number("--batch", BatchedAppend::kDefaultRowsPerBatch, 1, 1000000);

    std::ifstream input(source, std::ios::binary);
    if (!input) {
        throw StoreError("cannot read " + source + ": " + std::strerror(errno));
    }
    std::error_code no_size;
    const std::uintmax_t size = std::filesystem::file_size(source, no_size);
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::Shared);
    std::size_t imported = 0;
    {
        ProgressDisplay progress("import", ProgressDisplay::Percent::Tool);
        imported = append_rows(connection, table, input, no_size ? 0 : size, source, progress_every,
                               rows_per_batch, progress);
    }
    table.close();
    std::cerr << "Imported " << rows_text(imported) << " into " << path.string() << ".\n";
    return 0;
}

}  // namespace varelum::store
