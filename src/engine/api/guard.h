// The boundary between the exported C functions and the engine's C++ inside: every exported
// function runs its body through guarded(), which turns an EngineError (or anything else that
// escapes) into a result code and the thread's last error. Output helpers write texts and
// values into the caller's buffers by the in/out length rules of varelum_engine.h.
#pragma once

#include <cstring>
#include <memory>
#include <new>
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
    // Keeps what the handle names alive for the call: the table handle, the result cursor
    // (which owns its table) or the index handle's table. The table itself is a plain
    // pointer, so a call on a result cursor copies one shared pointer, not two.
    std::shared_ptr<HandleObject> owner;
    TableCursor* table = nullptr;
    std::shared_ptr<IndexHandle> index;  // null for a table handle
};

inline CallTarget target_of(ADSHANDLE handle) {
    auto object = HandleRegistry::instance().find(
        handle, {HandleKind::Table, HandleKind::Index, HandleKind::Cursor});
    CallTarget target;
    if (object->kind() == HandleKind::Index) {
        target.index = std::static_pointer_cast<IndexHandle>(std::move(object));
        std::shared_ptr<TableCursor> table = target.index->table();
        target.table = table.get();
        target.owner = std::move(table);
    } else if (object->kind() == HandleKind::Cursor) {
        target.table = static_cast<const sql::ResultCursor&>(*object).table().get();
        target.owner = std::move(object);
    } else {
        target.table = static_cast<TableCursor*>(object.get());
        target.owner = std::move(object);
    }
    return target;
}

// Runs body(table) for one engine call on a table handle or an index handle.
template <typename Body>
UNSIGNED32 with_table(ADSHANDLE handle, Body&& body) noexcept {
    return guarded([&] {
        CallTarget target = target_of(handle);
        TableCursor::CallScope scope(*target.table);
        CursorState::of(*target.table).use_order(target.index.get(), true);
        body(*target.table);
    });
}

// Runs body(index, table, state) for one engine call on an index handle.
template <typename Body>
UNSIGNED32 with_index(ADSHANDLE handle, Body&& body) noexcept {
    return guarded([&] {
        auto index = HandleRegistry::instance().get<IndexHandle>(handle);
        auto table = index->table();
        TableCursor::CallScope scope(*table);
        CursorState& state = CursorState::of(*table);
        state.use_order(index.get());
        body(*index, *table, state);
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
