// varelum-store import TABLE FILE.csv: appends the rows of a CSV file to a table, one engine
// write per row, so that a row that fails leaves every row before it in the table and
// nothing of itself.
//
// Each write is its own commit, but commits are not forced to disk one by one (that costs a
// disk flush per row, about a hundred rows a second): the file is flushed once, when the
// import ends or stops. A commit is in the kernel's page cache when it returns, so a killed
// import still leaves a sound table with every row it wrote; only a power cut or a crash of
// the system during the import can lose rows or damage the file.
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "cell_values.h"
#include "commands.h"
#include "csv.h"
#include "engine_table.h"
#include "field_types.h"
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

// Appends the rows after the header; answers how many went in.
std::size_t append_rows(const Table& table, std::istream& input, const std::string& source,
                        unsigned long progress_every) {
    const UNSIGNED16 code_page = table.char_type();

    std::size_t imported = 0;
    CsvReader reader(input);
    // Every failure from here on names the file, the line and how much went in before it.
    auto stop = [&](const std::string& where_and_why) {
        throw StoreError(source + " " + where_and_why + "; " + rows_text(imported) + " before it " +
                         (imported == 1 ? "was" : "were") + " imported");
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

    while (true) {
        std::optional<CsvRow> row;
        try {
            row = reader.next();
        } catch (const StoreError& error) {
            stop(error.what());
        }
        if (!row) {
            break;
        }
        const std::string line = "line " + std::to_string(row->line);
        if (row->cells.size() != columns.size()) {
            stop(line + ": " + std::to_string(row->cells.size()) + " values, but the header has " +
                 std::to_string(columns.size()));
        }
        check(AdsAppendRecord(table.handle()), source + " " + line + ": cannot append");
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i] == nullptr) {
                continue;
            }
            try {
                set_cell(table, *columns[i], row->cells[i], code_page);
            } catch (const StoreError& error) {
                AdsCancelUpdate(table.handle());  // the row goes in whole or not at all
                stop(line + ", field " + columns[i]->name + ": " + error.what());
            }
        }
        if (AdsWriteRecord(table.handle()) != VE_SUCCESS) {
            const std::string why = last_error_text();
            AdsCancelUpdate(table.handle());
            stop(line + ": the row was not written: " + why);
        }
        ++imported;
        if (imported % progress_every == 0) {
            // One write per line, so that a reader of the output never sees half of one.
            std::cerr << ("import: " + rows_text(imported) + "\n");
        }
    }
    return imported;
}

}  // namespace

int run_import(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    const std::string source = arguments.at(1);
    const unsigned long progress_every =
        arguments.number("--progress", kDefaultProgressEvery, 1, 1000000000);

    std::ifstream input(source, std::ios::binary);
    if (!input) {
        throw StoreError("cannot read " + source + ": " + std::strerror(errno));
    }
    // The engine reads this when it opens a table file, for every file the process opens
    // afterwards; import opens no other.
    ::setenv("VARELUM_ENGINE_SYNC", "0", 1);
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::Shared);
    std::size_t imported = 0;
    try {
        imported = append_rows(table, input, source, progress_every);
    } catch (...) {
        // The rows before the one that stopped the import stay, and go to disk like the others.
        // A flush error here would hide the reason the import stopped, which matters more (the
        // rows are in the kernel's cache all the same).
        AdsCancelUpdate(table.handle());  // nothing of a half-set row may be written
        AdsFlushFileBuffers(table.handle());
        throw;
    }
    check(AdsFlushFileBuffers(table.handle()), "cannot put " + path.string() + " on disk");
    table.close();
    std::cerr << "Imported " << rows_text(imported) << " into " << path.string() << ".\n";
    return 0;
}

}  // namespace varelum::store
