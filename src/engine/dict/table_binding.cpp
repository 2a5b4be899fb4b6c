// Marks tying table files to dictionaries (see table_binding.h).
#include "engine/dict/table_binding.h"

#include "engine/storage/table_file.h"

namespace varelum::engine {
namespace {

std::optional<std::string> read_mark(const TableFile& file, const char* key) {
    auto snapshot = file.read_snapshot();
    snapshot->begin();
    std::optional<std::string> value;
    try {
        if (auto found = file.get(*snapshot, file.index_list(), key)) {
            value = std::string(*found);
        }
    } catch (...) {
        snapshot->close();
        throw;
    }
    snapshot->close();
    return value;
}

}  // namespace

std::optional<std::string> bound_dictionary(const TableFile& file) {
    return read_mark(file, kBindingKey);
}

bool is_dictionary_file(const TableFile& file) {
    return read_mark(file, kDictionaryMark).has_value();
}

void set_bound_dictionary(TableFile& file, const std::optional<std::string>& dictionary_path) {
    WriteContext write(file);
    if (dictionary_path) {
        file.put(write, file.index_list(), kBindingKey, *dictionary_path);
    } else {
        file.remove(write, file.index_list(), kBindingKey);
    }
    write.commit();
}

}  // namespace varelum::engine
