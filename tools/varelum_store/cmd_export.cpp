// varelum-store export TABLE [FILE.csv]: a table's records as CSV with a header row. A file
// is written beside its final name and renamed when complete, so a failed export never
// leaves a partial file that looks whole.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cell_values.h"
#include "commands.h"
#include "csv.h"
#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {

namespace {

std::size_t write_records(const Table& table, std::ostream& output) {
    CsvWriter writer(output);
    std::vector<std::string> cells;
    for (const FieldInfo& field : table.fields()) {
        cells.push_back(field.name);
    }
    writer.write_row(cells);

    const std::string context = "cannot read " + display_name(table.path());
    std::size_t written = 0;
    check(AdsGotoTop(table.handle()), context);
    while (true) {
        UNSIGNED16 at_end = 0;
        check(AdsAtEOF(table.handle(), &at_end), context);
        if (at_end != 0) {
            return written;
        }
        cells.clear();
        for (const FieldInfo& field : table.fields()) {
            cells.push_back(get_cell(table, field));
        }
        writer.write_row(cells);
        ++written;
        check(AdsSkip(table.handle(), 1), context);
    }
}

}  // namespace

int run_export(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::ReadOnly);

    if (arguments.count() < 2) {
        const std::size_t written = write_records(table, std::cout);
        std::cout.flush();
        if (!std::cout) {
            throw StoreError("cannot write to standard output");
        }
        std::cerr << "Exported " << written << (written == 1 ? " record" : " records") << " from "
                  << path.string() << ".\n";
        table.close();
        return 0;
    }

    const std::filesystem::path target = arguments.at(1);
    std::filesystem::path partial = target;
    partial += ".partial";
    std::size_t written = 0;
    {
        std::ofstream output(partial, std::ios::binary | std::ios::trunc);
        if (!output) {
            throw StoreError("cannot write " + partial.string() + ": " + std::strerror(errno));
        }
        try {
            written = write_records(table, output);
            output.close();
            if (!output) {
                throw StoreError("cannot write " + partial.string() + ": " + std::strerror(errno));
            }
        } catch (...) {
            output.close();
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);  // nothing half-written stays behind
            throw;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, target, error);
    if (error) {
        throw StoreError("cannot write " + target.string() + ": " + error.message());
    }
    table.close();
    std::cerr << "Exported " << written << (written == 1 ? " record" : " records") << " from "
              << path.string() << " to " << target.string() << ".\n";
    return 0;
}

}  // namespace varelum::store
