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

std::optional<TableBinding> table_binding(const TableFile& file) {
    std::optional<std::string> id = read_mark(file, kBindingIdKey);
    std::optional<std::string> path = read_mark(file, kBindingKey);
    if (!id && !path) {
        return std::nullopt;
    }
    return TableBinding{id.value_or(std::string()), path.value_or(std::string())};
}

bool is_dictionary_file(const TableFile& file) {
    return read_mark(file, kDictionaryMark).has_value();
}

void bind_table(TableFile& file, const TableBinding& binding) {
    WriteContext write(file);
    file.put(write, file.index_list(), kBindingKey, binding.dictionary_path);
    if (binding.dictionary_id.empty()) {
        file.remove(write, file.index_list(), kBindingIdKey);
    } else {
        file.put(write, file.index_list(), kBindingIdKey, binding.dictionary_id);
    }
    write.commit();
}

void unbind_table(TableFile& file) {
    WriteContext write(file);
    file.remove(write, file.index_list(), kBindingKey);
    file.remove(write, file.index_list(), kBindingIdKey);
    write.commit();
}

}  // namespace varelum::engine
