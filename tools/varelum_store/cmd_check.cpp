// varelum-store check TABLE: the engine's consistency check of a table file, memo and blob
// values included. Prints the engine's report; exit status 1 when the table is damaged,
// whether the check found it or the file could not even be opened as a table.
#include <iostream>
#include <string>

#include "commands.h"
#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {

int run_check(const Arguments& arguments) {
    const auto path = table_file_path(arguments.at(0));
    Connection connection(path.parent_path());
    Table table = Table::open(connection, path, OpenMode::ReadOnly);

    std::string report(64 * 1024, '\0');
    UNSIGNED32 code = VE_SUCCESS;
    while (true) {
        auto length = static_cast<UNSIGNED32>(report.size());
        code = AdsCheckTable(table.handle(), VE_CHECK_MEMOS,
                             reinterpret_cast<UNSIGNED8*>(report.data()), &length);
        if (code == VE_BUFFER_TOO_SMALL && length >= report.size()) {
            report.assign(static_cast<std::size_t>(length) + 1, '\0');
            continue;  // the report did not fit: check again with room for all of it
        }
        report.resize(code == VE_SUCCESS || code == VE_TABLE_CORRUPT ? length : 0);
        break;
    }
    if (code != VE_SUCCESS && code != VE_TABLE_CORRUPT) {
        check(code, "cannot check " + path.string());
    }
    const std::string text = from_engine_text(report);
    std::size_t problems = 0;
    if (code == VE_TABLE_CORRUPT) {
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\n', start);
            problems += end > start ? 1 : 0;
            start = end == std::string::npos ? text.size() : end + 1;
        }
    }
    std::cout << path.string() << ":\n" << text;
    if (!text.empty() && !text.ends_with('\n')) {
        std::cout << "\n";
    }
    table.close();
    if (code == VE_TABLE_CORRUPT) {
        std::cout.flush();
        std::cerr << "varelum-store: " << path.string() << " is damaged ("
                  << std::max<std::size_t>(problems, 1)
                  << (problems == 1 ? " problem" : " problems") << " found)\n";
        return 1;
    }
    return 0;
}

}  // namespace varelum::store
