// The index tags of a table file and their maintenance (see index_catalog.h).
#include "engine/index/index_catalog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "engine/core/error.h"
#include "engine/core/progress.h"
#include "engine/core/text.h"
#include "engine/record/record_image.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

// Keys of the index list that are no tag name (tag names never start with '#').
constexpr char kGenerationKey[] = "#generation";
constexpr char kNextTagKey[] = "#next-tag";

[[maybe_unused]] const bool kHookInstalled = [] {
    TableFile::set_open_hook(&IndexCatalog::attach);
    return true;
}();

template <typename T>
T read_number(const TableFile& file, const Snapshot& txn, const char* key) {
    auto value = file.get(txn, file.index_list(), key);
    if (!value) {
        return T{0};
    }
    T number{};
    std::memcpy(&number, value->data(), std::min(sizeof number, value->size()));
    return number;
}

template <typename T>
void write_number(WriteContext& write, const char* key, T number) {
    TableFile& file = write.file();
    file.put(write, file.index_list(), key,
             std::string_view(reinterpret_cast<const char*>(&number), sizeof number));
}

struct RecordImage {
    std::uint32_t recno;
    std::span<const std::uint8_t> image;
};

// Calls visit(recno, image) for every stored record of the transaction.
template <typename Visit>
void for_each_record(const Snapshot& txn, const TableFile& file, Visit&& visit) {
    auto records = file.record_cursor(txn);
    const std::size_t length = file.schema().record_length();
    for (StoredRecord record = records->first(); record.recno != 0; record = records->next()) {
        if (record.bytes.size() != length + 1) {
            continue;  // the table check reports it
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(record.bytes.data());
        visit(record.recno, std::span<const std::uint8_t>(bytes + 1, length));
    }
}

[[noreturn]] void fail_duplicate(const IndexTag& tag, std::uint32_t recno, std::uint32_t other) {
    fail(VE_DUPLICATE_KEY, "index " + tag.name() + ": record " + std::to_string(recno) +
                               " has the key of record " + std::to_string(other));
}

// The record number of another entry with the same key, or 0.
std::uint32_t holder_of_key(WriteContext& write, const IndexTag& tag, const std::string& key,
                            std::uint32_t recno) {
    auto cursor = write.file().cursor(write, tag.tree());
    for (bool more = cursor->seek(key); more; more = cursor->next()) {
        std::string_view entry = cursor->key();
        if (entry.size() != key.size() + keys::kRecordNumberLength ||
            entry.substr(0, key.size()) != key) {
            return 0;
        }
        std::uint32_t holder = keys::entry_record_number(entry);
        if (holder != recno) {
            return holder;
        }
    }
    return 0;
}

}  // namespace

std::string index_entry(std::string_view key, std::uint32_t recno) {
    return keys::make_index_entry(key, recno);
}

void put_entry(WriteContext& write, const IndexTag& tag, const std::string& entry) {
    write.file().put(write, tag.tree(), entry, {});
}

bool delete_entry(WriteContext& write, const IndexTag& tag, const std::string& entry) {
    return write.file().remove(write, tag.tree(), entry);
}

void IndexCatalog::attach(TableFile& file) {
    file.add_observer(std::make_shared<IndexCatalog>(file));
}

IndexCatalog& IndexCatalog::of(TableFile& file) {
    for (const auto& observer : file.observers()) {
        if (auto* catalog = dynamic_cast<IndexCatalog*>(observer.get())) {
            return *catalog;
        }
    }
    fail(VE_INTERNAL_ERROR, "the table file has no index catalog");
}

void IndexCatalog::sync_locked(const Snapshot& txn, bool in_write) {
    auto generation = read_number<std::uint64_t>(file_, txn, kGenerationKey);
    if (generation == generation_) {
        return;
    }
    std::vector<IndexDefinition> definitions;
    {
        auto cursor = file_.cursor(txn, file_.index_list());
        for (bool more = cursor->first(); more; more = cursor->next()) {
            if (!cursor->key().empty() && cursor->key()[0] == '#') {
                continue;
            }
            auto definition = decode_index_definition(cursor->value());
            if (!definition) {
                fail(VE_TABLE_CORRUPT, file_.path() + " has a damaged index description");
            }
            definitions.push_back(std::move(*definition));
        }
    }
    std::sort(definitions.begin(), definitions.end(),
              [](const auto& a, const auto& b) { return a.tag_id < b.tag_id; });
    std::vector<std::shared_ptr<const IndexTag>> loaded;
    for (IndexDefinition& definition : definitions) {
        auto same = std::find_if(tags_.begin(), tags_.end(), [&](const auto& tag) {
            return tag->definition().tag_id == definition.tag_id;
        });
        if (same != tags_.end()) {
            loaded.push_back(*same);
            continue;
        }
        auto tree = file_.open_tree(txn, definition.database_name(), false);
        if (!tree) {
            fail(VE_TABLE_CORRUPT, file_.path() + " lacks the keys of index " + definition.name);
        }
        if (in_write) {
            opened_in_write_ = true;
        }
        loaded.push_back(IndexTag::compile(std::move(definition), file_.schema(),
                                           file_.options().collation, code_page(), *tree));
    }
    tags_ = std::move(loaded);
    generation_ = generation;
}

std::vector<std::shared_ptr<const IndexTag>> IndexCatalog::tags() {
    std::lock_guard guard(mutex_);
    std::uint64_t now = file_.last_commit_id();
    if (now != synced_txnid_ || generation_ == kNotLoaded) {
        // A read snapshot of its own that commits: trees opened in a snapshot that is ended
        // without committing would be closed again.
        auto txn = file_.read_snapshot();
        txn->begin();
        try {
            sync_locked(*txn, false);
        } catch (...) {
            txn->close();
            generation_ = kNotLoaded;
            tags_.clear();
            throw;
        }
        std::uint64_t seen = txn->id();
        txn->commit();
        synced_txnid_ = seen;
    }
    return tags_;
}

std::shared_ptr<const IndexTag> IndexCatalog::find_locked(std::string_view name) const {
    for (const auto& tag : tags_) {
        if (iequals(tag->name(), name)) {
            return tag;
        }
    }
    return nullptr;
}

std::shared_ptr<const IndexTag> IndexCatalog::find(std::string_view name) {
    for (const auto& tag : tags()) {
        if (iequals(tag->name(), name)) {
            return tag;
        }
    }
    return nullptr;
}

void IndexCatalog::fill(WriteContext& write, const IndexTag& tag) {
    std::vector<std::string> entries;
    std::set<std::uint32_t> custom_members;
    if (tag.definition().custom()) {
        auto cursor = file_.cursor(write, tag.tree());
        for (bool more = cursor->first(); more; more = cursor->next()) {
            custom_members.insert(keys::entry_record_number(cursor->key()));
        }
    }
    file_.clear(write, tag.tree());
    for_each_record(write, file_, [&](std::uint32_t recno, std::span<const std::uint8_t> image) {
        progress_step();
        if (tag.definition().custom() && custom_members.count(recno) == 0) {
            return;
        }
        if (auto key = tag.key_of(image)) {
            entries.push_back(index_entry(*key, recno));
        }
    });
    std::sort(entries.begin(), entries.end());
    const std::size_t key_length = tag.layout().key_length();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (tag.definition().unique() && i > 0 &&
            std::memcmp(entries[i].data(), entries[i - 1].data(), key_length) == 0) {
            fail_duplicate(tag, keys::entry_record_number(entries[i]),
                           keys::entry_record_number(entries[i - 1]));
        }
        file_.put(write, tag.tree(), entries[i], {}, true);
    }
}

std::shared_ptr<const IndexTag> IndexCatalog::create(IndexDefinition definition) {
    WriteContext write(file_);
    std::shared_ptr<const IndexTag> tag;
    {
        std::lock_guard guard(mutex_);
        sync_locked(write, true);
        if (find_locked(definition.name) != nullptr) {
            fail(VE_INDEX_EXISTS, definition.name);
        }
        // Compiled once without its key tree, so that a faulty expression fails before
        // anything is written.
        IndexTag::compile(definition, file_.schema(), file_.options().collation, code_page(), 0);
        auto next = read_number<std::uint32_t>(file_, write, kNextTagKey);
        definition.tag_id = std::max<std::uint32_t>(next, 1);
        write_number<std::uint32_t>(write, kNextTagKey, definition.tag_id + 1);
        file_.open_tree(write, definition.database_name(), true);
        opened_in_write_ = true;
        file_.put(write, file_.index_list(), index_definition_key(definition.name),
                  encode_index_definition(definition));
        auto generation = read_number<std::uint64_t>(file_, write, kGenerationKey);
        write_number<std::uint64_t>(write, kGenerationKey, generation + 1);
        write.require_format_version(kIndexTagsFormatVersion);
        sync_locked(write, true);
        tag = find_locked(definition.name);
        fill(write, *tag);
    }
    write.commit();
    return tag;
}

void IndexCatalog::remove(std::string_view name) {
    std::shared_ptr<const IndexTag> removed;
    {
        WriteContext write(file_);
        {
            std::lock_guard guard(mutex_);
            sync_locked(write, true);
            removed = find_locked(name);
            if (removed == nullptr) {
                fail(VE_INDEX_NOT_OPEN, std::string(name) + " is no index of the table");
            }
            file_.remove(write, file_.index_list(), index_definition_key(removed->name()));
            auto generation = read_number<std::uint64_t>(file_, write, kGenerationKey);
            write_number<std::uint64_t>(write, kGenerationKey, generation + 1);
            // Emptied here and dropped in a transaction of its own below: dropping closes
            // the tree at once, even if this transaction were aborted later.
            file_.clear(write, removed->tree());
            sync_locked(write, true);
        }
        write.commit();
    }
    // Left behind as an empty tree if this fails or the process dies first: harmless.
    file_.drop_tree(removed->tree());
}

void IndexCatalog::rebuild_all() {
    WriteContext write(file_);
    {
        std::lock_guard guard(mutex_);
        sync_locked(write, true);
        for (const auto& tag : tags_) {
            fill(write, *tag);
        }
    }
    write.commit();
}

void IndexCatalog::change_custom_key(const IndexTag& tag, std::uint32_t recno,
                                     std::span<const std::uint8_t> image, bool add) {
    if (!tag.definition().custom()) {
        fail(VE_INVALID_ARGUMENT, "index " + tag.name() + " is not a custom index");
    }
    std::string entry = index_entry(tag.key_ignoring_condition(image), recno);
    WriteContext write(file_);
    if (add) {
        if (tag.definition().unique()) {
            std::string key = entry.substr(0, tag.layout().key_length());
            if (std::uint32_t other = holder_of_key(write, tag, key, recno)) {
                fail_duplicate(tag, recno, other);
            }
        }
        put_entry(write, tag, entry);
    } else {
        delete_entry(write, tag, entry);
    }
    write.commit();
}

void IndexCatalog::record_changed(WriteContext& write, std::uint32_t recno,
                                  const std::uint8_t* before, const std::uint8_t* after) {
    std::lock_guard guard(mutex_);
    sync_locked(write, true);
    const std::size_t length = file_.schema().record_length();
    for (const auto& tag : tags_) {
        std::optional<std::string> old_key;
        std::optional<std::string> new_key;
        if (before != nullptr) {
            old_key = tag->key_of(std::span<const std::uint8_t>(before, length));
        }
        if (after != nullptr) {
            new_key = tag->key_of(std::span<const std::uint8_t>(after, length));
        }
        if (old_key == new_key) {
            continue;
        }
        if (tag->definition().custom()) {
            // Only records given a key by AdsAddCustomKey are in a custom index; an edit
            // moves their key, an append adds none.
            if (!old_key || !delete_entry(write, *tag, index_entry(*old_key, recno))) {
                continue;
            }
            old_key.reset();
        }
        if (old_key) {
            delete_entry(write, *tag, index_entry(*old_key, recno));
        }
        if (new_key) {
            if (tag->definition().unique()) {
                if (std::uint32_t other = holder_of_key(write, *tag, *new_key, recno)) {
                    fail_duplicate(*tag, recno, other);
                }
            }
            put_entry(write, *tag, index_entry(*new_key, recno));
        }
    }
}

void IndexCatalog::table_rebuilt(WriteContext& write, std::span<const std::uint32_t> kept_from) {
    std::lock_guard guard(mutex_);
    sync_locked(write, true);
    for (const auto& tag : tags_) {
        if (!tag->definition().custom()) {
            fill(write, *tag);
            continue;
        }
        // A custom tag keeps the records it had, under their new numbers.
        std::map<std::uint32_t, std::uint32_t> renumbered;
        for (std::size_t i = 0; i < kept_from.size(); ++i) {
            renumbered[kept_from[i]] = static_cast<std::uint32_t>(i + 1);
        }
        std::vector<std::uint32_t> members;
        {
            auto cursor = file_.cursor(write, tag->tree());
            for (bool more = cursor->first(); more; more = cursor->next()) {
                auto old = keys::entry_record_number(cursor->key());
                auto found = renumbered.find(old);
                if (found != renumbered.end()) {
                    members.push_back(found->second);
                }
            }
        }
        file_.clear(write, tag->tree());
        for (std::uint32_t recno : members) {
            auto stored = write.record(recno);
            if (stored) {
                auto image = std::span<const std::uint8_t>(
                    reinterpret_cast<const std::uint8_t*>(stored->data()) + 1, stored->size() - 1);
                put_entry(write, *tag, index_entry(tag->key_ignoring_condition(image), recno));
            }
        }
    }
}

void IndexCatalog::write_ended(bool committed) {
    std::lock_guard guard(mutex_);
    if (opened_in_write_ && !committed) {
        // Sub-database handles opened by an aborted transaction are closed again.
        tags_.clear();
        generation_ = kNotLoaded;
    }
    opened_in_write_ = false;
}

void IndexCatalog::check(const Snapshot&, const std::function<void(const std::string&)>& problem) {
    std::vector<std::shared_ptr<const IndexTag>> current;
    try {
        current = tags();
    } catch (const EngineError& error) {
        problem("the index descriptions cannot be read: " + error.text());
        return;
    }
    // A snapshot of its own, begun after the tags' trees were opened: a tree opened later is
    // not valid in an older snapshot.
    auto own = file_.read_snapshot();
    own->begin();
    const Snapshot& txn = *own;
    for (const auto& tag : current) {
        std::string where = "index " + tag->name() + ": ";
        std::vector<std::string> stored;
        {
            auto cursor = file_.cursor(txn, tag->tree());
            for (bool more = cursor->first(); more; more = cursor->next()) {
                stored.emplace_back(cursor->key());
            }
        }
        std::vector<std::string> expected;
        std::map<std::uint32_t, std::string> custom_keys;
        try {
            for_each_record(
                txn, file_, [&](std::uint32_t recno, std::span<const std::uint8_t> image) {
                    if (tag->definition().custom()) {
                        custom_keys[recno] = index_entry(tag->key_ignoring_condition(image), recno);
                    } else if (auto key = tag->key_of(image)) {
                        expected.push_back(index_entry(*key, recno));
                    }
                });
        } catch (const EngineError& error) {
            problem(where + "a key cannot be computed: " + error.text());
            continue;
        }
        const std::size_t entry_length = tag->layout().entry_length();
        for (const std::string& entry : stored) {
            if (entry.size() != entry_length) {
                problem(where + "an entry of " + std::to_string(entry.size()) +
                        " bytes instead of " + std::to_string(entry_length));
            }
        }
        if (tag->definition().custom()) {
            for (const std::string& entry : stored) {
                if (entry.size() < keys::kRecordNumberLength) {
                    continue;
                }
                std::uint32_t recno = keys::entry_record_number(entry);
                auto found = custom_keys.find(recno);
                if (found == custom_keys.end()) {
                    problem(where + "a key of record " + std::to_string(recno) +
                            ", which does not exist");
                } else if (found->second != entry) {
                    problem(where + "the key of record " + std::to_string(recno) +
                            " does not match the record");
                }
            }
            continue;
        }
        std::sort(expected.begin(), expected.end());
        std::vector<std::string> missing, extra;
        std::set_difference(expected.begin(), expected.end(), stored.begin(), stored.end(),
                            std::back_inserter(missing));
        std::set_difference(stored.begin(), stored.end(), expected.begin(), expected.end(),
                            std::back_inserter(extra));
        for (const std::string& entry : missing) {
            problem(where + "record " + std::to_string(keys::entry_record_number(entry)) +
                    " has no key");
        }
        for (const std::string& entry : extra) {
            if (entry.size() >= keys::kRecordNumberLength) {
                problem(where + "a key for record " +
                        std::to_string(keys::entry_record_number(entry)) +
                        " that does not match it");
            }
        }
        if (tag->definition().unique()) {
            for (std::size_t i = 1; i < stored.size(); ++i) {
                if (stored[i].size() == entry_length && stored[i - 1].size() == entry_length &&
                    std::memcmp(stored[i].data(), stored[i - 1].data(),
                                tag->layout().key_length()) == 0) {
                    problem(where + "records " +
                            std::to_string(keys::entry_record_number(stored[i - 1])) + " and " +
                            std::to_string(keys::entry_record_number(stored[i])) +
                            " share a key in a unique index");
                }
            }
        }
    }
}

}  // namespace varelum::engine
