// Per-handle index and filter state (see cursor_state.h).
#include "engine/filter/cursor_state.h"

#include <algorithm>
#include <typeinfo>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/index/index_catalog.h"
#include "engine/storage/table_file.h"
#include "varelum_engine.h"

namespace varelum::engine {

CursorState& CursorState::of(TableCursor& table) {
    // Asked on every engine call: the class is final, so comparing the exact type is enough
    // and costs less than a dynamic_cast.
    TableCursor::Extension* extension = table.extension();
    if (extension != nullptr && typeid(*extension) == typeid(CursorState)) {
        return static_cast<CursorState&>(*extension);
    }
    auto state = std::make_unique<CursorState>(table);
    CursorState& result = *state;
    table.set_extension(std::move(state));
    return result;
}

std::shared_ptr<IndexHandle> CursorState::make_handle(std::shared_ptr<const IndexTag> tag) {
    // Not through the registry: the table inside an SQL result cursor has no handle of its own.
    auto table = std::static_pointer_cast<TableCursor>(table_.shared_from_this());
    auto handle = std::make_shared<IndexHandle>(table, std::move(tag));
    HandleRegistry::instance().add(handle);
    return handle;
}

void CursorState::drop_handle(const std::shared_ptr<IndexHandle>& handle) {
    if (current_.lock() == handle) {
        current_.reset();
        table_.set_order(nullptr);
    }
    handle->detach();
    HandleRegistry::instance().remove(handle->handle());
}

void CursorState::refresh() {
    auto tags = IndexCatalog::of(table_.file()).tags();
    std::vector<std::shared_ptr<IndexHandle>> kept;
    for (const auto& tag : tags) {
        const std::string& file = tag->definition().file_name;
        bool wanted = file.empty() ? own_tags_open_ : open_files_.count(to_upper_ascii(file)) > 0;
        if (!wanted) {
            continue;
        }
        auto same = std::find_if(indexes_.begin(), indexes_.end(), [&](const auto& handle) {
            return handle->tag().definition().tag_id == tag->definition().tag_id;
        });
        kept.push_back(same != indexes_.end() ? *same : make_handle(tag));
    }
    for (const auto& handle : indexes_) {
        if (std::find(kept.begin(), kept.end(), handle) == kept.end()) {
            drop_handle(handle);
        }
    }
    indexes_ = std::move(kept);
}

const std::vector<std::shared_ptr<IndexHandle>>& CursorState::indexes() {
    refresh();
    return indexes_;
}

std::shared_ptr<IndexHandle> CursorState::index_named(std::string_view name) {
    for (const auto& handle : indexes()) {
        if (iequals(handle->tag().name(), name)) {
            return handle;
        }
    }
    return nullptr;
}

std::vector<std::shared_ptr<IndexHandle>> CursorState::open_file(const std::string& file_name) {
    std::string key = to_upper_ascii(file_name);
    bool own = file_name.empty();
    if (own ? own_tags_open_ : open_files_.count(key) > 0) {
        fail(VE_INDEX_ALREADY_OPEN, own ? table_.file().path() : file_name);
    }
    bool any = false;
    for (const auto& tag : IndexCatalog::of(table_.file()).tags()) {
        any = any || iequals(tag->definition().file_name, file_name);
    }
    if (!any && !own) {
        fail(VE_INDEX_FILE_NOT_FOUND, file_name + " holds no index of " + table_.file().path());
    }
    if (own) {
        own_tags_open_ = true;
    } else {
        open_files_.insert(key);
    }
    refresh();
    std::vector<std::shared_ptr<IndexHandle>> opened;
    for (const auto& handle : indexes_) {
        if (iequals(handle->tag().definition().file_name, file_name)) {
            opened.push_back(handle);
        }
    }
    return opened;
}

void CursorState::close_file_of(const IndexHandle& index) {
    const std::string file = index.tag().definition().file_name;
    if (file.empty()) {
        own_tags_open_ = false;
    } else {
        open_files_.erase(to_upper_ascii(file));
    }
    refresh();
}

void CursorState::close_all_indexes() {
    own_tags_open_ = false;
    open_files_.clear();
    refresh();
}

void CursorState::use_order(IndexHandle* index, bool moving) {
    if (index != nullptr) {
        table_.set_order(&index->order());
        if (!moving) {
            return;
        }
        for (const auto& handle : indexes_) {
            if (handle.get() == index) {
                current_ = handle;
            }
        }
        return;
    }
    table_.set_order(aof_order_ ? aof_order_.get() : nullptr);
}

void CursorState::set_aof(std::unique_ptr<TableFilter> aof) {
    aof_order_.reset();
    aof_ = std::move(aof);
    if (aof_ && aof_->optimized()) {
        aof_order_ = std::make_unique<RecordSetOrder>(table_.file(), *aof_, table_.natural_order());
    }
    table_.set_order(nullptr);
}

bool CursorState::accepts(const StoredRecord& record) {
    if (!aof_ && !filter_) {
        return true;
    }
    const Snapshot& txn = table_.read_txn();
    return (!aof_ || aof_->accepts(txn, record)) && (!filter_ || filter_->accepts(txn, record));
}

void CursorState::closing() {
    table_.set_order(nullptr);
    aof_order_.reset();
    for (const auto& handle : indexes_) {
        handle->detach();
        HandleRegistry::instance().remove(handle->handle());
    }
    indexes_.clear();
}

}  // namespace varelum::engine
