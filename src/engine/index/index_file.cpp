// Index files beside a table (see index_file.h).
#include "engine/index/index_file.h"

#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/env/env.h"
#include "engine/index/index_catalog.h"
#include "engine/storage/table_file.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr char kMagicLine[] = "VRLMINDX 1";

std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An index file's path as given (absolute) or beside the table; "\" is a separator, as in
// table paths, so that a caller's "folder\file.adi" names the file in that folder.
std::string in_table_directory(const TableCursor& table, const std::string& utf8) {
    if (!utf8.empty() && (utf8.front() == '/' || utf8.front() == '\\')) {
        return normalize_path(utf8);
    }
    return normalize_path(directory_of(table.file().path()) + "/" + utf8);
}

}  // namespace

std::string index_file_name(const std::string& name) {
    std::string base = base_of(name);
    return base.find('.') == std::string::npos ? name + ".adi" : name;
}

std::string index_file_path(const TableCursor& table, const std::string& file_name) {
    if (file_name.empty()) {
        return table.file().path();
    }
    return in_table_directory(table, ansi_to_utf8(file_name));
}

void write_index_file(TableCursor& table, const std::string& file_name) {
    std::string path = index_file_path(table, file_name);
    std::ostringstream text;
    text << kMagicLine << "\n"
         << "table " << base_of(table.file().path()) << "\n";
    bool any = false;
    for (const auto& tag : IndexCatalog::of(table.file()).tags()) {
        if (iequals(tag->definition().file_name, file_name)) {
            text << "tag " << tag->name() << "\n";
            any = true;
        }
    }
    if (!any) {
        env().remove_file(path);  // a file already gone is what is wanted
        return;
    }
    if (int error = replace_file(path, path + ".writing", text.str())) {
        fail_errno("write", path, error);
    }
}

void verify_index_file(const TableCursor& table, const std::string& name) {
    std::string path = in_table_directory(table, ansi_to_utf8(index_file_name(name)));
    std::ifstream file(path, std::ios::binary);
    std::string magic, table_line;
    if (!file || !std::getline(file, magic) || magic != kMagicLine ||
        !std::getline(file, table_line)) {
        fail(VE_INDEX_FILE_NOT_FOUND, name);
    }
    if (!iequals(table_line, "table " + base_of(table.file().path()))) {
        fail(VE_INDEX_FILE_NOT_FOUND, name + " belongs to " + table_line.substr(6));
    }
}

}  // namespace varelum::engine
