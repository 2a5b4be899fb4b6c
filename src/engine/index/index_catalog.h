// The index tags of one table file: loading their descriptions, creating, deleting and
// rebuilding tags, and keeping every tag in step with every write.
//
// One IndexCatalog exists per TableFile in a process; it is the file's WriteObserver, so each
// append, write, delete, recall, pack and zap changes the keys of every tag inside the same
// write transaction as the records: data and indexes never disagree, also after a crash.
// A unique tag refuses a duplicate key by throwing VE_DUPLICATE_KEY, which aborts the whole
// write. Tags created or deleted by another handle or process are noticed through a
// generation counter in the file's index list, read in every write transaction.
//
// Lock order: a write transaction is begun before the catalog's mutex is taken.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/code_page.h"
#include "engine/index/index_tag.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {

class IndexCatalog final : public WriteObserver {
  public:
    // Attaches a catalog to a file the process opens (TableFile's open hook).
    static void attach(TableFile& file);
    // The catalog of an open file.
    static IndexCatalog& of(TableFile& file);

    explicit IndexCatalog(TableFile& file) : file_(file) {}

    // The tags as the file holds them now, in order of creation.
    std::vector<std::shared_ptr<const IndexTag>> tags();
    // The tag of that name (case-insensitive), or null.
    std::shared_ptr<const IndexTag> find(std::string_view name);

    // Creates a tag and fills it from the records in one write transaction. The definition's
    // collation and date format must be filled in. Throws VE_INDEX_EXISTS,
    // VE_INVALID_EXPRESSION, VE_KEY_TOO_LONG, VE_DUPLICATE_KEY (unique tag over records with
    // equal keys), VE_TOO_MANY_INDEXES.
    std::shared_ptr<const IndexTag> create(IndexDefinition definition);
    // Deletes a tag and its keys. The caller makes sure no handle uses it.
    void remove(std::string_view name);
    // Builds every tag again from the records (custom tags keep their records).
    void rebuild_all();
    // Adds or removes the key of one record in a custom tag (VE_INVALID_ARGUMENT for others).
    void change_custom_key(const IndexTag& tag, std::uint32_t recno,
                           std::span<const std::uint8_t> image, bool add);

    void record_changed(WriteContext& write, std::uint32_t recno, const std::uint8_t* before,
                        const std::uint8_t* after) override;
    void table_rebuilt(WriteContext& write, std::span<const std::uint32_t> kept_from) override;
    void write_ended(bool committed) override;
    void check(const Snapshot& snapshot,
               const std::function<void(const std::string&)>& problem) override;

  private:
    // The code page of the table's 8-bit texts, in which keys see them.
    format::CodePage code_page() const {
        return format::code_page_of_char_type(file_.options().char_type);
    }
    void sync_locked(const Snapshot& txn, bool in_write);
    std::shared_ptr<const IndexTag> find_locked(std::string_view name) const;
    // Drops a tag's entries and builds them from the records the write sees.
    void fill(WriteContext& write, const IndexTag& tag);

    TableFile& file_;
    std::mutex mutex_;
    static constexpr std::uint64_t kNotLoaded = ~std::uint64_t{0};
    std::uint64_t generation_ = kNotLoaded;
    std::uint64_t synced_txnid_ = ~std::uint64_t{0};
    bool opened_in_write_ = false;
    std::vector<std::shared_ptr<const IndexTag>> tags_;
};

// Index entries: the raw key followed by the big-endian record number.
std::string index_entry(std::string_view key, std::uint32_t recno);
// Puts or deletes one entry in a tag's tree (deleting a missing entry is no error).
void put_entry(WriteContext& write, const IndexTag& tag, const std::string& entry);
bool delete_entry(WriteContext& write, const IndexTag& tag, const std::string& entry);

}  // namespace varelum::engine
