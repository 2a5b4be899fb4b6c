// Index handles (see index_handle.h).
#include "engine/index/index_handle.h"

#include "engine/core/error.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {

IndexHandle::IndexHandle(const std::shared_ptr<TableCursor>& table,
                         std::shared_ptr<const IndexTag> tag)
    : table_(table),
      file_(table->shared_file()),
      tag_(std::move(tag)),
      order_(*file_, tag_),
      raw_key_(tag_->layout()) {}

std::shared_ptr<TableCursor> IndexHandle::table() const {
    auto table = detached_.load(std::memory_order_acquire) ? nullptr : table_.lock();
    if (table == nullptr || table->closed()) {
        fail(VE_CLOSED_HANDLE, "index handle " + std::to_string(handle()));
    }
    return table;
}

void IndexHandle::set_scope(std::uint16_t option, ScopeBound bound) {
    if (option == 1) {
        order_.set_lower(bound.key);
        top_ = std::move(bound);
    } else if (option == 2) {
        // Every key that begins with the bound belongs to the scope.
        order_.set_limit(keys::prefix_successor(bound.key));
        bottom_ = std::move(bound);
    } else {
        fail(VE_INVALID_ARGUMENT, "scope option " + std::to_string(option));
    }
}

bool IndexHandle::clear_scope(std::uint16_t option) {
    if (option != 1 && option != 2) {
        fail(VE_INVALID_ARGUMENT, "scope option " + std::to_string(option));
    }
    std::optional<ScopeBound>& bound = option == 1 ? top_ : bottom_;
    bool had = bound.has_value();
    bound.reset();
    if (option == 1) {
        order_.set_lower(std::nullopt);
    } else {
        order_.set_limit(std::nullopt);
    }
    return had;
}

const std::optional<ScopeBound>& IndexHandle::scope(std::uint16_t option) const {
    if (option != 1 && option != 2) {
        fail(VE_INVALID_ARGUMENT, "scope option " + std::to_string(option));
    }
    return option == 1 ? top_ : bottom_;
}

}  // namespace varelum::engine
