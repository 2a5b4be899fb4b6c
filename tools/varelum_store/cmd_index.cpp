// varelum-store index TABLE TAG EXPR: creates an index tag in a table file and builds its keys
// from the records. The table is opened shared: the engine builds the tag in one write
// transaction, and every other handle on the file, in this process or another, notices the new
// tag at its next write, so a shop need not close its program to add an index.
#include <iostream>
#include <string>

#include "commands.h"
#include "engine_table.h"
#include "progress_display.h"
#include "store_error.h"

namespace varelum::store {

namespace {

constexpr UNSIGNED32 kAnnouncedFrom = 10000;

std::string count_text(UNSIGNED32 count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// "UPPER(Name) FOR Qty > 0, unique, descending"
std::string describe(const IndexInfo& index) {
    std::string text = index.expression;
    if (!index.condition.empty()) {
        text += " FOR " + index.condition;
    }
    if (index.unique) {
        text += ", unique";
    }
    if (index.descending) {
        text += ", descending";
    }
    return text;
}

}  // namespace

int run_index(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    const std::string& tag = arguments.at(1);
    const std::string& expression = arguments.at(2);
    if (tag.find_first_not_of(" \t") == std::string::npos) {
        throw UsageError("the index name (TAG) is empty", &arguments.command());
    }
    const std::optional<std::string> condition = arguments.value("--for");
    if (condition && condition->find_first_not_of(" \t") == std::string::npos) {
        // An empty condition would index every record, which is surely not what was meant.
        throw UsageError("--for needs a condition, such as \"Qty > 0\"", &arguments.command());
    }
    UNSIGNED32 options = 0;
    options |= arguments.has("--unique") ? VE_INDEX_UNIQUE : 0;
    options |= arguments.has("--descending") ? VE_INDEX_DESCENDING : 0;

    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::Shared);
    // The engine builds the keys in one call; on a table big enough to take a while, this line
    // tells the user what is under way (a small one is done at once, and a refusal stays the
    // one line of its message).
    const UNSIGNED32 records = table.record_count();
    if (records >= kAnnouncedFrom) {
        std::cerr << "index: building " << tag << " of " << path.string() << " from "
                  << count_text(records, "record", "records") << "\n";
    }
    IndexInfo created;
    {
        ProgressDisplay progress("index");
        created = table.create_index(tag, expression, options, condition.value_or(""));
    }
    table.close();
    std::cout << "Created index " << created.name << " of " << path.string() << ": "
              << count_text(created.key_count, "key", "keys") << " (" << describe(created)
              << ").\n";
    return 0;
}

}  // namespace varelum::store
