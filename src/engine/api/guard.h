// The boundary between the exported C functions and the engine's C++ inside: every exported
// function runs its body through guarded(), which turns an EngineError (or anything else that
// escapes) into a result code and the thread's last error. Output helpers write texts and
// values into the caller's buffers by the in/out length rules of varelum_engine.h.
#pragma once

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "engine/core/error.h"
#include "engine/core/handles.h"
#include "engine/filter/cursor_state.h"
#include "engine/index/index_handle.h"
#include "engine/sql/result_cursor.h"
#include "engine/table/connection.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {

template <typename Body>
UNSIGNED32 guarded(Body&& body) noexcept {
    try {
        body();
        clear_last_error();
        return VE_SUCCESS;
    } catch (const EngineError& error) {
        set_last_error(error.code(), error.text());
        return error.code();
    } catch (const std::bad_alloc&) {
        set_last_error(VE_OUT_OF_MEMORY, error_text(VE_OUT_OF_MEMORY));
        return VE_OUT_OF_MEMORY;
    } catch (const std::exception& error) {
        set_last_error(VE_INTERNAL_ERROR, error_text(VE_INTERNAL_ERROR) + " " + error.what());
        return VE_INTERNAL_ERROR;
    } catch (...) {
        set_last_error(VE_INTERNAL_ERROR, error_text(VE_INTERNAL_ERROR));
        return VE_INTERNAL_ERROR;
    }
}

template <typename T>
T& out(T* pointer) {
    if (pointer == nullptr) {
        fail(VE_INVALID_ARGUMENT, "a result pointer is missing");
    }
    return *pointer;
}

// Writes text with a terminating zero; VE_BUFFER_TOO_SMALL (after writing what fits) when
// the capacity in *length is not more than the text's length.
template <typename Length>
void put_text(std::string_view text, UNSIGNED8* buffer, Length* length) {
    Length& capacity = out(length);
    if (buffer == nullptr && capacity > 0) {
        fail(VE_INVALID_ARGUMENT, "the text buffer is missing");
    }
    std::size_t available = capacity;
    if (text.size() > static_cast<std::size_t>(static_cast<Length>(~Length{0}) - 1)) {
        text = text.substr(0, static_cast<Length>(~Length{0}) - 1);
    }
    capacity = static_cast<Length>(text.size());
    if (available > text.size()) {
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = 0;
        return;
    }
    if (available > 0) {
        std::memcpy(buffer, text.data(), available - 1);
        buffer[available - 1] = 0;
    }
    fail(VE_BUFFER_TOO_SMALL, "it needs " + std::to_string(text.size() + 1) + " bytes");
}

// Writes bytes, adding a terminating zero when there is room for one.
inline void put_bytes(std::string_view bytes, UNSIGNED8* buffer, UNSIGNED32* length) {
    UNSIGNED32& capacity = out(length);
    if (buffer == nullptr && capacity > 0) {
        fail(VE_INVALID_ARGUMENT, "the buffer is missing");
    }
    std::size_t available = capacity;
    capacity = static_cast<UNSIGNED32>(bytes.size());
    std::size_t count = std::min(available, bytes.size());
    if (count > 0) {
        std::memcpy(buffer, bytes.data(), count);
    }
    if (available > bytes.size()) {
        buffer[bytes.size()] = 0;
    }
    if (available < bytes.size()) {
        fail(VE_BUFFER_TOO_SMALL, "it needs " + std::to_string(bytes.size()) + " bytes");
    }
}

inline void put_wide(std::u16string_view text, WCHAR* buffer, UNSIGNED32* length) {
    UNSIGNED32& capacity = out(length);
    if (buffer == nullptr && capacity > 0) {
        fail(VE_INVALID_ARGUMENT, "the text buffer is missing");
    }
    std::size_t available = capacity;
    capacity = static_cast<UNSIGNED32>(text.size());
    if (available > text.size()) {
        std::memcpy(buffer, text.data(), text.size() * 2);
        buffer[text.size()] = 0;
        return;
    }
    if (available > 0) {
        std::memcpy(buffer, text.data(), (available - 1) * 2);
        buffer[available - 1] = 0;
    }
    fail(VE_BUFFER_TOO_SMALL, "it needs " + std::to_string(text.size() + 1) + " characters");
}

inline std::shared_ptr<Connection> connection_of(ADSHANDLE handle) {
    return HandleRegistry::instance().get<Connection>(handle);
}

// A table handle, or the table of an SQL result cursor: every table call accepts both.
inline std::shared_ptr<TableCursor> table_of(ADSHANDLE handle) {
    auto object = HandleRegistry::instance().find(handle, {HandleKind::Table, HandleKind::Cursor});
    if (object->kind() == HandleKind::Cursor) {
        return static_cast<const sql::ResultCursor&>(*object).table();
    }
    return std::static_pointer_cast<TableCursor>(std::move(object));
}

// What a navigation or record call acts on: a table handle, or an index handle's table
// (which then moves in that index's order).
struct CallTarget {
    // Keeps what the handle names alive for the call: the table handle (by its call lock when
    // taken through enter()), the result cursor (which owns its table) or the index handle.
    HandleRegistry::Hold hold;
    std::shared_ptr<TableCursor> index_table;  // an index handle's table, held for the call
    TableCursor* table = nullptr;
    IndexHandle* index = nullptr;  // null for a table handle
};

inline CallTarget make_target(HandleRegistry::Hold hold) {
    CallTarget target;
    HandleObject* object = hold.object();
    if (hold.kind() == HandleKind::Index) {
        target.index = static_cast<IndexHandle*>(object);
        target.index_table = target.index->table();
        target.table = target.index_table.get();
    } else if (hold.kind() == HandleKind::Cursor) {
        target.table = static_cast<const sql::ResultCursor&>(*object).table().get();
    } else {
        target.table = static_cast<TableCursor*>(object);
    }
    target.hold = std::move(hold);
    return target;
}

// The target of a call that takes the table's lock itself (TableCursor::CallScope).
inline CallTarget target_of(ADSHANDLE handle) {
    return make_target(HandleRegistry::instance().pin(
        handle, {HandleKind::Table, HandleKind::Index, HandleKind::Cursor}));
}

// Runs body(table) for one engine call on a table handle or an index handle. A table
// handle's lock is taken with the look-up itself.
template <typename Body>
UNSIGNED32 with_table(ADSHANDLE handle, Body&& body) noexcept {
    return guarded([&] {
        CallTarget target = make_target(HandleRegistry::instance().enter(
            handle, {HandleKind::Table, HandleKind::Index, HandleKind::Cursor}));
        std::optional<TableCursor::CallScope> scope;
        if (target.hold.locked()) {
            scope.emplace(*target.table, std::adopt_lock);
        } else {
            scope.emplace(*target.table);
        }
        CursorState::of(*target.table).use_order(target.index, true);
        body(*target.table);
    });
}

// Runs body(index, table, state) for one engine call on an index handle.
template <typename Body>
UNSIGNED32 with_index(ADSHANDLE handle, Body&& body) noexcept {
    return guarded([&] {
        HandleRegistry::Hold hold = HandleRegistry::instance().pin(handle, {HandleKind::Index});
        auto& index = static_cast<IndexHandle&>(*hold.object());
        auto table = index.table();
        TableCursor::CallScope scope(*table);
        CursorState& state = CursorState::of(*table);
        state.use_order(&index);
        body(index, *table, state);
    });
}

inline std::string_view sized_text(const UNSIGNED8* text, std::size_t length) {
    if (text == nullptr) {
        if (length > 0) {
            fail(VE_INVALID_ARGUMENT, "the value is missing");
        }
        return {};
    }
    return std::string_view(reinterpret_cast<const char*>(text), length);
}

}  // namespace varelum::engine
