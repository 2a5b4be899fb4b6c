// varelum-store restructure TABLE --add/--delete/--change: changes a table's fields while its
// records, memo values and index tags are kept. The engine builds the new table beside the old
// one and renames it into place, so an interrupted or refused restructure leaves the table as
// it was; this command only shows how far it is and what came out.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "engine_table.h"
#include "field_types.h"
#include "progress_display.h"
#include "store_error.h"

namespace varelum::store {

namespace {

std::vector<std::string> tag_names(const Table& table) {
    std::vector<std::string> names;
    for (const IndexInfo& index : table.indexes()) {
        names.push_back(index.name);
    }
    return names;
}

// The option's text as the engine's 8-bit text; empty when the option is not given.
std::string field_text(const Arguments& arguments, std::string_view option) {
    const std::optional<std::string> text = arguments.value(option);
    if (!text) {
        return {};
    }
    if (text->find_first_not_of(" \t;") == std::string::npos) {
        throw UsageError(std::string(option) + " needs field texts", &arguments.command());
    }
    return to_engine_text(*text, option);
}

const UNSIGNED8* engine_text(const std::string& text) {
    return text.empty() ? nullptr : reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

}  // namespace

int run_restructure(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    const std::string add = field_text(arguments, "--add");
    const std::string remove = field_text(arguments, "--delete");
    const std::string change = field_text(arguments, "--change");
    if (add.empty() && remove.empty() && change.empty()) {
        throw UsageError("nothing to change: give --add, --delete or --change",
                         &arguments.command());
    }
    const std::string name = to_engine_text(path.string(), "table path");

    Connection connection(path.parent_path());
    // The tags before, to say which ones the change took away (a tag on a deleted field goes).
    std::vector<std::string> tags_before;
    {
        Table table = Table::open(connection, path, OpenMode::ReadOnly);
        tags_before = tag_names(table);
        table.close();
    }
    {
        ProgressDisplay progress("restructure");
        check(AdsRestructureTable90(connection.handle(), engine_text(name), nullptr,
                                    VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY,
                                    VE_RIGHTS_IGNORE, engine_text(add), engine_text(remove),
                                    engine_text(change), nullptr),
              "cannot restructure " + path.string());
    }

    Table table = Table::open(connection, path, OpenMode::ReadOnly);
    std::string fields;
    for (const FieldInfo& field : table.fields()) {
        fields += field_definition(field);
    }
    check(AdsShowDeleted(1), "cannot show deleted records");
    const UNSIGNED32 records = table.record_count();
    check(AdsShowDeleted(0), "cannot hide deleted records");
    const std::vector<std::string> tags_after = tag_names(table);
    table.close();

    std::cout << "Restructured " << path.string() << ": " << records
              << (records == 1 ? " record" : " records") << " kept, " << tags_after.size()
              << (tags_after.size() == 1 ? " index" : " indexes") << " rebuilt.\n";
    std::cout << "Fields: " << fields << "\n";
    for (const std::string& tag : tags_before) {
        if (std::find(tags_after.begin(), tags_after.end(), tag) == tags_after.end()) {
            std::cout << "Index " << tag << " was dropped: its key no longer fits the fields.\n";
        }
    }
    return 0;
}

}  // namespace varelum::store
