// varelum-store info TABLE: a table's fields and record counts, the field text that recreates
// it, and its index tags with their key counts.
#include <algorithm>
#include <iostream>
#include <string>

#include "commands.h"
#include "engine_table.h"
#include "field_types.h"

namespace varelum::store {

namespace {

// Characters, not bytes, so that names like "Cód" line up.
std::size_t display_width(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text) {
        width += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return width;
}

std::string padded(const std::string& text, std::size_t width) {
    const std::size_t used = display_width(text);
    return text + std::string(used < width ? width - used : 0, ' ');
}

std::string right(const std::string& text, std::size_t width) {
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

// Memo and blob fields have no length of their own (their slot in the record is not one).
bool shows_length(UNSIGNED16 type) {
    return type != VE_FIELD_MEMO && type != VE_FIELD_VARCHAR && type != VE_FIELD_NMEMO &&
           type != VE_FIELD_BINARY && type != VE_FIELD_IMAGE;
}

// Record counts with and without the records marked deleted; the engine's setting is
// process-wide, so it is put back as the tool keeps it (deleted records hidden).
void count_records(const Table& table, UNSIGNED32& visible, UNSIGNED32& all) {
    check(AdsShowDeleted(1), "cannot show deleted records");
    all = table.record_count();
    check(AdsShowDeleted(0), "cannot hide deleted records");
    visible = table.record_count();
}

// One line per tag: its name, its key count, the key expression with its FOR condition, and
// its flags.
void print_indexes(const Table& table) {
    const std::vector<IndexInfo> indexes = table.indexes();
    std::cout << "Indexes:  " << indexes.size() << "\n";
    if (indexes.empty()) {
        return;
    }
    std::size_t name_width = 3;
    std::size_t keys_width = 4;
    for (const IndexInfo& index : indexes) {
        name_width = std::max(name_width, display_width(index.name));
        keys_width = std::max(keys_width, std::to_string(index.key_count).size());
    }
    std::cout << "  " << padded("Tag", name_width) << "  " << right("Keys", keys_width)
              << "  Expression\n";
    for (const IndexInfo& index : indexes) {
        std::string row = "  " + padded(index.name, name_width) + "  " +
                          right(std::to_string(index.key_count), keys_width) + "  " +
                          index.expression;
        if (!index.condition.empty()) {
            row += " FOR " + index.condition;
        }
        if (index.unique) {
            row += "  (unique)";
        }
        if (index.descending) {
            row += "  (descending)";
        }
        std::cout << row << "\n";
    }
}

}  // namespace

int run_info(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::ReadOnly);

    UNSIGNED32 visible = 0;
    UNSIGNED32 all = 0;
    count_records(table, visible, all);

    std::cout << "Table:    " << path.string() << "\n";
    std::cout << "Records:  " << visible;
    if (all != visible) {
        std::cout << " (and " << (all - visible) << " marked deleted)";
    }
    std::cout << "\n";
    std::cout << "Record:   " << table.record_length() << " bytes\n";
    std::cout << "Fields:   " << table.fields().size() << "\n";

    std::size_t name_width = 4;
    for (const FieldInfo& field : table.fields()) {
        name_width = std::max(name_width, display_width(field.name));
    }
    std::cout << "  " << right("#", 3) << "  " << padded("Name", name_width) << "  "
              << padded("Type", 12) << "  " << right("Length", 6) << "  Decimals\n";
    std::string definition;
    for (const FieldInfo& field : table.fields()) {
        std::string row = "  " + right(std::to_string(field.number), 3) + "  " +
                          padded(field.name, name_width) + "  " +
                          padded(type_name(field.type), 12) + "  " +
                          right(shows_length(field.type) ? std::to_string(field.length) : "", 6);
        if (definition_has_decimals(field.type)) {
            row += "  " + right(std::to_string(field.decimals), 8);
        }
        std::cout << row.substr(0, row.find_last_not_of(' ') + 1) << "\n";
        definition += field_definition(field);
    }
    std::cout << "Definition: " << definition << "\n";
    print_indexes(table);
    table.close();
    return 0;
}

}  // namespace varelum::store
