// The index tags of a table file and their maintenance (see index_catalog.h).
#include "engine/index/index_catalog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/record/record_image.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

// Keys of the `indexes` sub-database that are no tag name (tag names never start with '#').
constexpr char kGenerationKey[] = "#generation";
constexpr char kNextTagKey[] = "#next-tag";

[[maybe_unused]] const bool kHookInstalled = [] {
    TableFile::set_open_hook(&IndexCatalog::attach);
    return true;
}();

MDB_val text_val(const char* text) {
    return MDB_val{std::strlen(text), const_cast<char*>(text)};
}

template <typename T>
T read_number(MDB_txn* txn, MDB_dbi dbi, const char* key_text, const std::string& path) {
    MDB_val key = text_val(key_text);
    MDB_val value;
    int rc = mdb_get(txn, dbi, &key, &value);
    if (rc == MDB_NOTFOUND) {
        return T{0};
    }
    check_mdb(rc, "read", path);
    T number{};
    std::memcpy(&number, value.mv_data, std::min(sizeof number, value.mv_size));
    return number;
}

template <typename T>
void write_number(MDB_txn* txn, MDB_dbi dbi, const char* key_text, T number,
                  const std::string& path) {
    MDB_val key = text_val(key_text);
    MDB_val value{sizeof number, &number};
    check_mdb(mdb_put(txn, dbi, &key, &value, 0), "write", path);
}

struct RecordImage {
    std::uint32_t recno;
    std::span<const std::uint8_t> image;
};

// Calls visit(recno, image) for every stored record of the transaction.
template <typename Visit>
void for_each_record(MDB_txn* txn, const TableFile& file, Visit&& visit) {
    Cursor cursor(txn, file.records_db(), file.path());
    MDB_val key, value;
    const std::size_t length = file.schema().record_length();
    for (bool more = cursor.move(MDB_FIRST, &key, &value); more;
         more = cursor.move(MDB_NEXT, &key, &value)) {
        if (value.mv_size != length + 1) {
            continue;  // the table check reports it
        }
        const auto* bytes = static_cast<const std::uint8_t*>(value.mv_data);
        visit(decode_record_key(key), std::span<const std::uint8_t>(bytes + 1, length));
    }
}

[[noreturn]] void fail_duplicate(const IndexTag& tag, std::uint32_t recno, std::uint32_t other) {
    fail(VE_DUPLICATE_KEY, "index " + tag.name() + ": record " + std::to_string(recno) +
                               " has the key of record " + std::to_string(other));
}

// The record number of another entry with the same key, or 0.
std::uint32_t holder_of_key(MDB_txn* txn, const IndexTag& tag, const std::string& key,
                            std::uint32_t recno, const std::string& path) {
    Cursor cursor(txn, tag.dbi(), path);
    MDB_val k{key.size(), const_cast<char*>(key.data())};
    MDB_val v;
    for (bool more = cursor.move(MDB_SET_RANGE, &k, &v); more;
         more = cursor.move(MDB_NEXT, &k, &v)) {
        std::string_view entry(static_cast<const char*>(k.mv_data), k.mv_size);
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

void put_entry(MDB_txn* txn, const IndexTag& tag, const std::string& entry,
               const std::string& path) {
    MDB_val k{entry.size(), const_cast<char*>(entry.data())};
    MDB_val v{0, nullptr};
    check_mdb(mdb_put(txn, tag.dbi(), &k, &v, 0), "write index", path);
}

bool delete_entry(MDB_txn* txn, const IndexTag& tag, const std::string& entry,
                  const std::string& path) {
    MDB_val k{entry.size(), const_cast<char*>(entry.data())};
    int rc = mdb_del(txn, tag.dbi(), &k, nullptr);
    if (rc == MDB_NOTFOUND) {
        return false;
    }
    check_mdb(rc, "write index", path);
    return true;
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

void IndexCatalog::sync_locked(MDB_txn* txn, bool in_write) {
    auto generation =
        read_number<std::uint64_t>(txn, file_.indexes_db(), kGenerationKey, file_.path());
    if (generation == generation_) {
        return;
    }
    std::vector<IndexDefinition> definitions;
    {
        Cursor cursor(txn, file_.indexes_db(), file_.path());
        MDB_val key, value;
        for (bool more = cursor.move(MDB_FIRST, &key, &value); more;
             more = cursor.move(MDB_NEXT, &key, &value)) {
            if (key.mv_size > 0 && static_cast<const char*>(key.mv_data)[0] == '#') {
                continue;
            }
            auto definition = decode_index_definition(
                std::string_view(static_cast<const char*>(value.mv_data), value.mv_size));
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
        MDB_dbi dbi = 0;
        std::string name = definition.database_name();
        int rc = mdb_dbi_open(txn, name.c_str(), 0, &dbi);
        if (rc == MDB_NOTFOUND) {
            fail(VE_TABLE_CORRUPT, file_.path() + " lacks the keys of index " + definition.name);
        }
        check_mdb(rc, "open index", file_.path());
        if (in_write) {
            opened_in_write_ = true;
        }
        loaded.push_back(IndexTag::compile(std::move(definition), file_.schema(),
                                           file_.options().collation, dbi));
    }
    tags_ = std::move(loaded);
    generation_ = generation;
}

std::vector<std::shared_ptr<const IndexTag>> IndexCatalog::tags() {
    std::lock_guard guard(mutex_);
    std::uint64_t now = file_.last_txnid();
    if (now != synced_txnid_ || generation_ == kNotLoaded) {
        // A read transaction of its own that commits: sub-database handles opened in a
        // transaction that is reset or aborted would be closed again.
        MDB_txn* txn = nullptr;
        check_mdb(mdb_txn_begin(file_.env(), nullptr, MDB_RDONLY, &txn), "read", file_.path());
        try {
            sync_locked(txn, false);
        } catch (...) {
            mdb_txn_abort(txn);
            generation_ = kNotLoaded;
            tags_.clear();
            throw;
        }
        std::uint64_t seen = mdb_txn_id(txn);
        check_mdb(mdb_txn_commit(txn), "read", file_.path());
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

void IndexCatalog::fill(MDB_txn* txn, const IndexTag& tag) {
    std::vector<std::string> entries;
    std::set<std::uint32_t> custom_members;
    if (tag.definition().custom()) {
        Cursor cursor(txn, tag.dbi(), file_.path());
        MDB_val k, v;
        for (bool more = cursor.move(MDB_FIRST, &k, &v); more;
             more = cursor.move(MDB_NEXT, &k, &v)) {
            custom_members.insert(keys::entry_record_number(
                std::string_view(static_cast<const char*>(k.mv_data), k.mv_size)));
        }
    }
    check_mdb(mdb_drop(txn, tag.dbi(), 0), "write index", file_.path());
    for_each_record(txn, file_, [&](std::uint32_t recno, std::span<const std::uint8_t> image) {
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
        MDB_val k{entries[i].size(), entries[i].data()};
        MDB_val v{0, nullptr};
        check_mdb(mdb_put(txn, tag.dbi(), &k, &v, MDB_APPEND), "write index", file_.path());
    }
}

std::shared_ptr<const IndexTag> IndexCatalog::create(IndexDefinition definition) {
    WriteContext write(file_);
    MDB_txn* txn = write.txn();
    std::shared_ptr<const IndexTag> tag;
    {
        std::lock_guard guard(mutex_);
        sync_locked(txn, true);
        if (find_locked(definition.name) != nullptr) {
            fail(VE_INDEX_EXISTS, definition.name);
        }
        // Compiled once without its sub-database, so that a faulty expression fails before
        // anything is written.
        IndexTag::compile(definition, file_.schema(), file_.options().collation, 0);
        auto next = read_number<std::uint32_t>(txn, file_.indexes_db(), kNextTagKey, file_.path());
        definition.tag_id = std::max<std::uint32_t>(next, 1);
        write_number<std::uint32_t>(txn, file_.indexes_db(), kNextTagKey, definition.tag_id + 1,
                                    file_.path());
        std::string database = definition.database_name();
        MDB_dbi dbi = 0;
        int rc = mdb_dbi_open(txn, database.c_str(), MDB_CREATE, &dbi);
        if (rc == MDB_DBS_FULL) {
            fail(VE_TOO_MANY_INDEXES, file_.path());
        }
        check_mdb(rc, "create index", file_.path());
        opened_in_write_ = true;
        std::string key = index_definition_key(definition.name);
        std::string value = encode_index_definition(definition);
        MDB_val k{key.size(), key.data()};
        MDB_val v{value.size(), value.data()};
        check_mdb(mdb_put(txn, file_.indexes_db(), &k, &v, 0), "create index", file_.path());
        auto generation =
            read_number<std::uint64_t>(txn, file_.indexes_db(), kGenerationKey, file_.path());
        write_number<std::uint64_t>(txn, file_.indexes_db(), kGenerationKey, generation + 1,
                                    file_.path());
        write.require_format_version(2);
        sync_locked(txn, true);
        tag = find_locked(definition.name);
        fill(txn, *tag);
    }
    write.commit();
    return tag;
}

void IndexCatalog::remove(std::string_view name) {
    std::shared_ptr<const IndexTag> removed;
    {
        WriteContext write(file_);
        MDB_txn* txn = write.txn();
        {
            std::lock_guard guard(mutex_);
            sync_locked(txn, true);
            removed = find_locked(name);
            if (removed == nullptr) {
                fail(VE_INDEX_NOT_OPEN, std::string(name) + " is no index of the table");
            }
            std::string key = index_definition_key(removed->name());
            MDB_val k{key.size(), key.data()};
            check_mdb(mdb_del(txn, file_.indexes_db(), &k, nullptr), "delete index", file_.path());
            auto generation =
                read_number<std::uint64_t>(txn, file_.indexes_db(), kGenerationKey, file_.path());
            write_number<std::uint64_t>(txn, file_.indexes_db(), kGenerationKey, generation + 1,
                                        file_.path());
            // Emptied here and dropped in a transaction of its own below: dropping closes
            // the sub-database handle at once, even if this transaction were aborted later.
            check_mdb(mdb_drop(txn, removed->dbi(), 0), "delete index", file_.path());
            sync_locked(txn, true);
        }
        write.commit();
    }
    // Left behind as an empty sub-database if this fails or the process dies first: harmless.
    MDB_txn* txn = nullptr;
    if (mdb_txn_begin(file_.env(), nullptr, 0, &txn) == MDB_SUCCESS) {
        if (mdb_drop(txn, removed->dbi(), 1) == MDB_SUCCESS) {
            mdb_txn_commit(txn);
        } else {
            mdb_txn_abort(txn);
        }
    }
}

void IndexCatalog::rebuild_all() {
    WriteContext write(file_);
    {
        std::lock_guard guard(mutex_);
        sync_locked(write.txn(), true);
        for (const auto& tag : tags_) {
            fill(write.txn(), *tag);
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
            if (std::uint32_t other = holder_of_key(write.txn(), tag, key, recno, file_.path())) {
                fail_duplicate(tag, recno, other);
            }
        }
        put_entry(write.txn(), tag, entry, file_.path());
    } else {
        delete_entry(write.txn(), tag, entry, file_.path());
    }
    write.commit();
}

void IndexCatalog::record_changed(WriteContext& write, std::uint32_t recno,
                                  const std::uint8_t* before, const std::uint8_t* after) {
    std::lock_guard guard(mutex_);
    MDB_txn* txn = write.txn();
    sync_locked(txn, true);
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
            if (!old_key || !delete_entry(txn, *tag, index_entry(*old_key, recno), file_.path())) {
                continue;
            }
            old_key.reset();
        }
        if (old_key) {
            delete_entry(txn, *tag, index_entry(*old_key, recno), file_.path());
        }
        if (new_key) {
            if (tag->definition().unique()) {
                if (std::uint32_t other = holder_of_key(txn, *tag, *new_key, recno, file_.path())) {
                    fail_duplicate(*tag, recno, other);
                }
            }
            put_entry(txn, *tag, index_entry(*new_key, recno), file_.path());
        }
    }
}

void IndexCatalog::table_rebuilt(WriteContext& write, std::span<const std::uint32_t> kept_from) {
    std::lock_guard guard(mutex_);
    MDB_txn* txn = write.txn();
    sync_locked(txn, true);
    for (const auto& tag : tags_) {
        if (!tag->definition().custom()) {
            fill(txn, *tag);
            continue;
        }
        // A custom tag keeps the records it had, under their new numbers.
        std::map<std::uint32_t, std::uint32_t> renumbered;
        for (std::size_t i = 0; i < kept_from.size(); ++i) {
            renumbered[kept_from[i]] = static_cast<std::uint32_t>(i + 1);
        }
        std::vector<std::uint32_t> members;
        {
            Cursor cursor(txn, tag->dbi(), file_.path());
            MDB_val k, v;
            for (bool more = cursor.move(MDB_FIRST, &k, &v); more;
                 more = cursor.move(MDB_NEXT, &k, &v)) {
                auto old = keys::entry_record_number(
                    std::string_view(static_cast<const char*>(k.mv_data), k.mv_size));
                auto found = renumbered.find(old);
                if (found != renumbered.end()) {
                    members.push_back(found->second);
                }
            }
        }
        check_mdb(mdb_drop(txn, tag->dbi(), 0), "write index", file_.path());
        for (std::uint32_t recno : members) {
            auto stored = write.record(recno);
            if (stored) {
                auto image = std::span<const std::uint8_t>(
                    reinterpret_cast<const std::uint8_t*>(stored->data()) + 1, stored->size() - 1);
                put_entry(txn, *tag, index_entry(tag->key_ignoring_condition(image), recno),
                          file_.path());
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

void IndexCatalog::check(MDB_txn*, const std::function<void(const std::string&)>& problem) {
    std::vector<std::shared_ptr<const IndexTag>> current;
    try {
        current = tags();
    } catch (const EngineError& error) {
        problem("the index descriptions cannot be read: " + error.text());
        return;
    }
    // A transaction of its own, begun after the tags' sub-databases were opened: a handle
    // opened later is not valid in an older transaction.
    ReadTransaction own;
    own.begin(file_.env(), file_.path());
    MDB_txn* txn = own.get();
    for (const auto& tag : current) {
        std::string where = "index " + tag->name() + ": ";
        std::vector<std::string> stored;
        {
            Cursor cursor(txn, tag->dbi(), file_.path());
            MDB_val k, v;
            for (bool more = cursor.move(MDB_FIRST, &k, &v); more;
                 more = cursor.move(MDB_NEXT, &k, &v)) {
                stored.emplace_back(static_cast<const char*>(k.mv_data), k.mv_size);
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
