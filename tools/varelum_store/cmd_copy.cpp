// varelum-store copy TABLE NEWTABLE: a copy of a table with its records and memo values, and
// then its index tags built on the copy, so that the copy serves as a backup or the start of a
// test store. The engine writes the copy whole or not at all; records marked deleted are left
// out, as export leaves them out.
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "engine_table.h"
#include "progress_display.h"
#include "store_error.h"

namespace varelum::store {

int run_copy(const Arguments& arguments) {
    const auto source_path = table_file_path(arguments.at(0));
    const auto copy_path = table_file_path(arguments.at(1));
    std::error_code not_there;  // equivalent() answers false (and sets it) when one is missing
    if (std::filesystem::equivalent(source_path, copy_path, not_there)) {
        throw StoreError("cannot copy " + source_path.string() + " over itself");
    }
    if (std::filesystem::exists(copy_path) && !arguments.has("--replace")) {
        // The engine would replace it; a slip of the keyboard must not lose a table.
        throw StoreError(copy_path.string() + " exists already (use --replace to make it anew)");
    }
    const std::string copy_name = to_engine_text(copy_path.string(), "table path");

    Connection connection(source_path.parent_path());
    Table source = Table::open(connection, source_path, OpenMode::ReadOnly);
    {
        ProgressDisplay progress("copy");
        check(AdsCopyTable(source.handle(), VE_RESPECT_FILTERS,
                           reinterpret_cast<const UNSIGNED8*>(copy_name.c_str())),
              "cannot copy " + source_path.string() + " to " + copy_path.string());
    }
    const std::vector<IndexInfo> indexes = source.indexes();
    source.close();

    Connection copy_connection(copy_path.parent_path());
    Table copy = Table::open(copy_connection, copy_path, OpenMode::Exclusive);
    for (const IndexInfo& index : indexes) {
        UNSIGNED32 options = 0;
        options |= index.unique ? VE_INDEX_UNIQUE : 0;
        options |= index.descending ? VE_INDEX_DESCENDING : 0;
        ProgressDisplay progress("copy, index " + index.name);
        copy.create_index(index.name, index.expression, options, index.condition);
    }
    const UNSIGNED32 records = copy.record_count();
    copy.close();
    std::cout << "Copied " << source_path.string() << " to " << copy_path.string() << ": "
              << records << (records == 1 ? " record, " : " records, ") << indexes.size()
              << (indexes.size() == 1 ? " index" : " indexes") << ".\n";
    return 0;
}

}  // namespace varelum::store
