// An index handle: one index tag opened on one table handle. It gives its table the tag's
// key order (navigation through the index handle moves the table in key order; the record
// number stays the physical one), holds the handle's scopes on the tag and the raw key that
// AdsInitRawKey, AdsSetField... and AdsBuildRawKey put together for seeks.
//
// Index handles belong to their table handle: they are made by the table handle's index
// calls (filter/cursor_state.h) and become invalid when it closes. Every call on an index
// handle holds its table handle (TableCursor::CallScope).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/core/handles.h"
#include "engine/index/index_order.h"
#include "engine/index/index_tag.h"
#include "engine/keys/key_encoder.h"

namespace varelum::engine {

class TableCursor;
class TableFile;

// One bound of a scope: what the caller gave (for AdsGetScope) and the stored key bytes.
struct ScopeBound {
    std::string given;  // raw key bytes, or the text (8-bit)
    std::string key;    // stored key bytes (a key or a key prefix)
};

class IndexHandle final : public HandleObject {
  public:
    static constexpr HandleKind kKind = HandleKind::Index;
    IndexHandle(const std::shared_ptr<TableCursor>& table, std::shared_ptr<const IndexTag> tag);
    HandleKind kind() const override { return kKind; }

    // The table handle; VE_CLOSED_HANDLE once it (or this handle) is closed.
    std::shared_ptr<TableCursor> table() const;
    // Called under the table's lock while calls that only pinned this handle may be reading
    // table(): a flag, so that the weak pointer they read is never written meanwhile.
    void detach() { detached_.store(true, std::memory_order_release); }

    const IndexTag& tag() const { return *tag_; }
    const std::shared_ptr<const IndexTag>& shared_tag() const { return tag_; }
    IndexOrder& order() { return order_; }

    // Scopes: 1 the top, 2 the bottom bound (VE_INVALID_ARGUMENT for other options).
    void set_scope(std::uint16_t option, ScopeBound bound);
    // False when there was none.
    bool clear_scope(std::uint16_t option);
    const std::optional<ScopeBound>& scope(std::uint16_t option) const;
    bool has_scope() const { return top_ || bottom_; }

    keys::KeyBuffer& raw_key() { return raw_key_; }

  private:
    const std::weak_ptr<TableCursor> table_;
    std::atomic<bool> detached_{false};
    std::shared_ptr<TableFile> file_;  // keeps the environment open while the handle lives
    std::shared_ptr<const IndexTag> tag_;
    IndexOrder order_;
    std::optional<ScopeBound> top_;
    std::optional<ScopeBound> bottom_;
    keys::KeyBuffer raw_key_;
};

}  // namespace varelum::engine
