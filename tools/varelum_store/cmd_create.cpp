// varelum-store create TABLE FIELDS: a new, empty table from the engine's field text.
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {

int run_create(const Arguments& arguments) {
    const std::filesystem::path path = table_file_path(arguments.at(0));
    const std::string& fields = arguments.at(1);
    if (std::filesystem::exists(path) && !arguments.has("--replace")) {
        // The engine would replace it silently; a slip of the keyboard must not lose a table.
        throw StoreError(path.string() + " exists already (use --replace to make it anew)");
    }
    Connection connection(path.parent_path());
    Table table = Table::create(connection, path, fields);
    const std::size_t count = table.fields().size();
    table.close();
    std::cout << "Created " << path.string() << " with " << count
              << (count == 1 ? " field" : " fields") << ".\n";
    return 0;
}

}  // namespace varelum::store
