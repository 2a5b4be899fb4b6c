// Recovering a damaged table (see table_recovery.h).
#include "engine/index/table_recovery.h"

#include <algorithm>

#include "engine/core/error.h"
#include "engine/core/progress.h"
#include "engine/env/env.h"
#include "engine/index/index_catalog.h"
#include "engine/index/index_definition.h"
#include "engine/storage/table_store.h"
#include "engine/table/table_copy.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr std::size_t kRecordsPerCommit = 4096;

bool is_file_mark(const std::string& key) {
    return key.starts_with(kBelongingMarkPrefix);
}

// The marks of what the file belongs to (table/table_copy.h): written before any record, so
// that the new file belongs where the damaged one did, tags or no tags.
void keep_file_marks(TableFile& file, const SalvagedTable& salvaged) {
    if (std::none_of(salvaged.index_list.begin(), salvaged.index_list.end(),
                     [](const auto& entry) { return is_file_mark(entry.first); })) {
        return;
    }
    WriteContext write(file);
    for (const auto& [key, value] : salvaged.index_list) {
        if (is_file_mark(key)) {
            file.put(write, file.index_list(), key, value);
        }
    }
    write.commit();
}

// The index list as found, with a tree for each tag, and every tag built from the records.
// False (and no tag) when the descriptions cannot be used.
bool rebuild_index_tags(TableFile& file, const SalvagedTable& salvaged) {
    if (std::none_of(salvaged.index_list.begin(), salvaged.index_list.end(),
                     [](const auto& entry) { return !is_file_mark(entry.first); })) {
        return true;
    }
    try {
        {
            WriteContext write(file);
            for (const auto& [key, value] : salvaged.index_list) {
                if (is_file_mark(key)) {
                    continue;  // written first (keep_file_marks)
                }
                file.put(write, file.index_list(), key, value);
                if (!key.empty() && key[0] != '#') {
                    auto definition = decode_index_definition(value);
                    if (!definition) {
                        fail(VE_TABLE_CORRUPT, "a damaged index description");
                    }
                    file.open_tree(write, definition->database_name(), true);
                }
            }
            write.commit();
        }
        IndexCatalog::of(file).rebuild_all();
        return true;
    } catch (const EngineError&) {
        // The records matter more than their tags: they stay, without any tag, and with the
        // file's marks.
        {
            WriteContext write(file);
            file.clear(write, file.index_list());
            write.commit();
        }
        keep_file_marks(file, salvaged);
        return false;
    }
}

}  // namespace

RecoveredTable recover_table(TableStore& store, const std::string& damaged,
                             const std::string& path) {
    if (path_exists(path)) {
        fail(VE_INVALID_ARGUMENT, path + " exists already; recover writes a new table");
    }
    SalvagedTable salvaged = store.salvage(damaged);
    store.create(path, salvaged.schema, salvaged.options);
    RecoveredTable result;
    try {
        std::shared_ptr<TableFile> file = store.open(path);
        keep_file_marks(*file, salvaged);
        Progress progress(salvaged.records.size() + 1);
        auto record = salvaged.records.begin();
        do {
            WriteContext write(*file);
            for (std::size_t n = 0; n < kRecordsPerCommit && record != salvaged.records.end();
                 ++n, ++record) {
                const auto& [recno, stored] = *record;
                write.put_record(recno, static_cast<std::uint8_t>(stored[0]),
                                 reinterpret_cast<const std::uint8_t*>(stored.data()) + 1);
                for (auto memo = salvaged.memos.lower_bound({recno, 0});
                     memo != salvaged.memos.end() && memo->first.first == recno; ++memo) {
                    write.put_memo(recno, memo->first.second, memo->second);
                }
                progress_step();
            }
            if (record == salvaged.records.end()) {
                write.counters() = salvaged.counters;
            }
            write.commit();
        } while (record != salvaged.records.end());
        // Every commit above was synced: the new file is on the disk without a flush.
        result.index_tags_kept = rebuild_index_tags(*file, salvaged);
        progress.finish();
    } catch (...) {
        store.discard(path);
        throw;
    }
    result.kept = static_cast<std::uint32_t>(salvaged.records.size());
    result.previous_commit = salvaged.previous_commit;
    result.lost = std::move(salvaged.lost);
    return result;
}

std::string record_ranges(const std::vector<std::uint32_t>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) {
            ++j;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(numbers[i]);
        if (j > i) {
            text += "-" + std::to_string(numbers[j]);
        }
        i = j + 1;
    }
    return text;
}

}  // namespace varelum::engine
