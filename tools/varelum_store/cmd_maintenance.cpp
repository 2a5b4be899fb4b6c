// varelum-store pack TABLE, zap TABLE and reindex TABLE: removing records and building the
// index tags again. They need the table to themselves, so they open it exclusively and fail
// clearly while anyone else has it open.
#include <iostream>

#include "commands.h"
#include "engine_table.h"
#include "progress_display.h"

namespace varelum::store {

namespace {

std::string records_text(UNSIGNED32 count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

// Records in the file, counting those marked deleted (the engine's setting is process-wide
// and put back to hiding them, as the tool keeps it).
UNSIGNED32 all_records(const Table& table) {
    check(AdsShowDeleted(1), "cannot show deleted records");
    const UNSIGNED32 all = table.record_count();
    check(AdsShowDeleted(0), "cannot hide deleted records");
    return all;
}

}  // namespace

int run_pack(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::Exclusive);
    const UNSIGNED32 before = all_records(table);
    const UNSIGNED32 kept = table.record_count();
    // The engine packs in one call; this line tells the user what is under way meanwhile.
    std::cerr << "pack: " << path.string() << ", " << records_text(before) << " ("
              << (before - kept) << " marked deleted)\n";
    {
        ProgressDisplay progress("pack");
        check(AdsPackTable(table.handle()), "cannot pack " + path.string());
    }
    const UNSIGNED32 after = all_records(table);
    table.close();
    std::cout << "Packed " << path.string() << ": removed " << records_text(before - after)
              << " marked deleted; " << records_text(after) << " remain.\n";
    return 0;
}

int run_reindex(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::Exclusive);
    const std::size_t tags = table.indexes().size();
    {
        ProgressDisplay progress("reindex");
        check(AdsReindex(table.handle()), "cannot reindex " + path.string());
    }
    table.close();
    std::cout << "Rebuilt " << tags << (tags == 1 ? " index" : " indexes") << " of "
              << path.string() << ".\n";
    return 0;
}

int run_zap(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::Exclusive);
    const UNSIGNED32 before = all_records(table);
    check(AdsZapTable(table.handle()), "cannot empty " + path.string());
    table.close();
    std::cout << "Emptied " << path.string() << ": removed " << records_text(before) << ".\n";
    return 0;
}

}  // namespace varelum::store
