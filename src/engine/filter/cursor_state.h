// What a table handle keeps beside its position: the index tags open on it (as index
// handles), the order it was last moved in, its exact setting, its optimised and plain
// filters and the expression of its last AdsLocate. It is the handle's TableCursor::Extension,
// made on first use; every filter of the handle is applied through it to each record the
// handle visits.
//
// The tags in the table file itself (the structural index) are open on every handle; tags
// of an index file beside the table are opened by AdsOpenIndex (or by creating them). The
// list follows tags created and deleted through other handles.
//
// REQUIRES for every call: the caller holds the table handle (TableCursor::CallScope).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/expr/expression.h"
#include "engine/filter/table_filter.h"
#include "engine/index/index_handle.h"
#include "engine/table/table_cursor.h"

namespace varelum::engine {

class CursorState final : public TableCursor::Extension {
  public:
    static CursorState& of(TableCursor& table);
    explicit CursorState(TableCursor& table) : table_(table) {}

    // The open index handles, in the order of their tags' creation.
    const std::vector<std::shared_ptr<IndexHandle>>& indexes();
    // The open handle of a tag (by name, case-insensitive), or null.
    std::shared_ptr<IndexHandle> index_named(std::string_view name);
    // Opens the tags of an index file (its base name, e.g. "Extra.adi"); an empty name is
    // the table's own tags. Throws VE_INDEX_ALREADY_OPEN, VE_INDEX_FILE_NOT_FOUND.
    std::vector<std::shared_ptr<IndexHandle>> open_file(const std::string& file_name);
    // Closes the handles of the index file the handle's tag belongs to.
    void close_file_of(const IndexHandle& index);
    void close_all_indexes();

    // Makes the handle move in the index's order (null: record-number order, or the record
    // set of an optimised filter); `moving`: the call moves the handle, so the index becomes
    // the one it last moved through.
    void use_order(IndexHandle* index, bool moving = false);
    // The index handle of the last index move, or null.
    std::shared_ptr<IndexHandle> current_index() const { return current_.lock(); }

    bool exact = false;

    TableFilter* aof() { return aof_.get(); }
    TableFilter* filter() { return filter_.get(); }
    void set_aof(std::unique_ptr<TableFilter> aof);
    void set_filter(std::unique_ptr<TableFilter> filter) { filter_ = std::move(filter); }

    // The last AdsLocate, for AdsContinue.
    struct Locate {
        std::unique_ptr<expr::Expression> expression;
        HandleSettings settings;
        bool forward = true;
    };
    std::optional<Locate> locate;

    bool accepts(const StoredRecord& record) override;
    bool filtering() const override { return aof_ != nullptr || filter_ != nullptr; }
    void closing() override;

  private:
    void refresh();
    std::shared_ptr<IndexHandle> make_handle(std::shared_ptr<const IndexTag> tag);
    void drop_handle(const std::shared_ptr<IndexHandle>& handle);

    TableCursor& table_;
    std::vector<std::shared_ptr<IndexHandle>> indexes_;
    std::set<std::string> open_files_;  // upper-cased base names of opened index files
    bool own_tags_open_ = true;         // the table file's own tags
    std::weak_ptr<IndexHandle> current_;
    std::unique_ptr<TableFilter> aof_;
    std::unique_ptr<TableFilter> filter_;
    std::unique_ptr<RecordSetOrder> aof_order_;
};

}  // namespace varelum::engine
