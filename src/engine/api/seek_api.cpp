// Exported functions: raw keys, seeks and scopes on index handles.
#include "engine/api/guard.h"
#include "engine/api/key_setters.h"
#include "engine/core/text.h"
#include "engine/expr/record_value.h"
#include "engine/filter/record_walk.h"
#include "engine/format/code_page.h"
#include "engine/index/table_expression.h"
#include "engine/record/record_image.h"

using namespace varelum::engine;

namespace {

std::string_view given_bytes(const UNSIGNED8* key, UNSIGNED16 length) {
    if (key == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no key given");
    }
    const char* text = reinterpret_cast<const char*>(key);
    return length == VE_KEY_ZERO_TERMINATED ? std::string_view(text)
                                            : std::string_view(text, length);
}

std::u16string given_wide(const UNSIGNED8* key, UNSIGNED16 length) {
    if (key == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no key given");
    }
    std::u16string text;
    if (length == VE_KEY_ZERO_TERMINATED) {
        for (std::size_t i = 0;; i += 2) {
            char16_t unit = static_cast<char16_t>(key[i] | (key[i + 1] << 8));
            if (unit == 0) {
                break;
            }
            text.push_back(unit);
        }
        return text;
    }
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        text.push_back(static_cast<char16_t>(key[i] | (key[i + 1] << 8)));
    }
    return text;
}

// The key or key prefix a seek or scope is given, and what AdsGetScope answers for it.
ScopeBound key_of_argument(IndexHandle& index, TableCursor& table, CursorState& state,
                           const UNSIGNED8* key, UNSIGNED16 length, UNSIGNED16 type) {
    const keys::KeyLayout& layout = index.tag().layout();
    ScopeBound bound;
    std::string text;
    switch (type) {
        case VE_RAWKEY:
            bound.given = std::string(given_bytes(key, length));
            if (bound.given.size() > layout.key_length()) {
                fail(VE_INVALID_KEY, "a raw key of " + std::to_string(bound.given.size()) +
                                         " bytes for a key of " +
                                         std::to_string(layout.key_length()));
            }
            bound.key = bound.given;
            return bound;
        case VE_STRINGKEY:
            text = format::recode(format::CodePage::Ansi1252, table.text_context().page,
                                  given_bytes(key, length));
            break;
        case VE_WSTRINGKEY:
            text = format::utf16_to_bytes(table.text_context().page, given_wide(key, length));
            break;
        case VE_DOUBLEKEY: {
            if (key == nullptr || length < sizeof(double)) {
                fail(VE_INVALID_ARGUMENT, "a double key takes 8 bytes");
            }
            double number;
            std::memcpy(&number, key, sizeof number);
            if (layout.segment(0).type != keys::SegmentType::Numeric) {
                fail(VE_INVALID_KEY, "a number for a key that is no number");
            }
            bound.given = std::string(reinterpret_cast<const char*>(key), sizeof number);
            try {
                keys::KeyBuffer buffer(layout);
                buffer.set_value(0, expr::Value::numeric(number));
                bound.key = buffer.partial_key();
            } catch (const keys::KeyError& error) {
                fail_key(error);
            }
            return bound;
        }
        default:
            fail(VE_INVALID_ARGUMENT, "key type " + std::to_string(type));
    }
    bound.given = format::recode(table.text_context().page, format::CodePage::Ansi1252, text);
    HandleSettings settings = handle_settings(table, state.exact);
    try {
        bound.key = keys::key_from_text(layout, text, true, settings.settings);
    } catch (const keys::KeyError& error) {
        fail_key(error);
    }
    return bound;
}

void put_key(const std::string& key, UNSIGNED8* buffer, UNSIGNED16* length) {
    UNSIGNED16& capacity = out(length);
    if (buffer == nullptr || capacity < key.size()) {
        capacity = static_cast<UNSIGNED16>(key.size());
        fail(VE_BUFFER_TOO_SMALL, "the key takes " + std::to_string(key.size()) + " bytes");
    }
    std::memcpy(buffer, key.data(), key.size());
    if (capacity > key.size()) {
        buffer[key.size()] = 0;
    }
    capacity = static_cast<UNSIGNED16>(key.size());
}

const std::uint8_t* image_of(const StoredRecord& record) {
    return reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1;
}

// The first record at or after `key` that shows, walking forward; or the last before
// `limit` walking backward.
StoredRecord first_shown(TableCursor& table, IndexOrder& order, StoredRecord record, bool forward) {
    const Snapshot& txn = table.read_txn();
    while (record.recno != 0 && !record_passes(table, record, true)) {
        record = forward ? order.after(txn, record.recno, image_of(record))
                         : order.before(txn, record.recno, image_of(record));
    }
    return record;
}

bool begins_with(IndexOrder& order, const StoredRecord& record, std::string_view key) {
    return record.recno != 0 && keys::key_has_prefix(order.last_entry(), key);
}

// Finds the record a seek lands on; found tells whether its key begins with `key`.
StoredRecord find(TableCursor& table, IndexHandle& index, const std::string& key,
                  UNSIGNED16 seek_type, bool last, bool& found) {
    if (table.pending()) {
        table.write();
    }
    IndexOrder& order = index.order();
    const Snapshot& txn = table.read_txn();
    StoredRecord record;
    if (last) {
        auto limit = keys::prefix_successor(key);
        record = limit ? order.before_key(txn, *limit) : order.last(txn);
        record = first_shown(table, order, record, false);
    } else if (seek_type & VE_SEEKGT) {
        auto limit = keys::prefix_successor(key);
        record = limit ? first_shown(table, order, order.at_or_after(txn, *limit), true)
                       : StoredRecord{};
        found = record.recno != 0;
        return record;
    } else {
        record = first_shown(table, order, order.at_or_after(txn, key), true);
    }
    found = begins_with(order, record, key);
    return record;
}

UNSIGNED32 seek(ADSHANDLE handle, const UNSIGNED8* key, UNSIGNED16 length, UNSIGNED16 type,
                UNSIGNED16 seek_type, bool last, UNSIGNED16* found_flag) {
    return with_index(handle, [&](IndexHandle& index, TableCursor& table, CursorState& state) {
        UNSIGNED16& result = out(found_flag);
        result = 0;
        if (!last && seek_type != VE_SOFTSEEK && seek_type != VE_HARDSEEK &&
            seek_type != (VE_SOFTSEEK | VE_SEEKGT) && seek_type != VE_SEEKGT) {
            fail(VE_INVALID_ARGUMENT, "seek type " + std::to_string(seek_type));
        }
        ScopeBound wanted = key_of_argument(index, table, state, key, length, type);
        bool found = false;
        StoredRecord record = find(table, index, wanted.key, seek_type, last, found);
        bool soft = !last && (seek_type & VE_SOFTSEEK);
        if (record.recno != 0 && (found || soft)) {
            table.goto_record(record.recno);
        } else {
            table.goto_eof();
        }
        result = found ? 1 : 0;
    });
}

// The segment of the index that a field argument names.
std::size_t segment_of(IndexHandle& index, TableCursor& table, const UNSIGNED8* argument,
                       const FieldDescriptor** descriptor) {
    const FieldDescriptor& field = table.field(argument);
    const auto& fields = index.tag().segment_fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].number == field.number) {
            *descriptor = &fields[i];
            return i;
        }
    }
    fail(VE_FIELD_NOT_FOUND, field.name + " is no segment of index " + index.tag().name());
}

template <typename Body>
UNSIGNED32 with_segment(ADSHANDLE handle, const UNSIGNED8* field, Body&& body) noexcept {
    return with_index(handle, [&](IndexHandle& index, TableCursor& table, CursorState& state) {
        const FieldDescriptor* descriptor = nullptr;
        std::size_t segment = segment_of(index, table, field, &descriptor);
        try {
            body(index, table, state, segment, *descriptor);
        } catch (const keys::KeyError& error) {
            fail_key(error);
        }
    });
}

}  // namespace

namespace varelum::engine {

bool is_index_handle(ADSHANDLE handle) noexcept {
    try {
        return HandleRegistry::instance().find(handle)->kind() == HandleKind::Index;
    } catch (...) {
        return false;  // the caller's own lookup reports the bad handle
    }
}

UNSIGNED32 set_key_text(ADSHANDLE handle, const UNSIGNED8* field, const UNSIGNED8* text,
                        UNSIGNED32 length) noexcept {
    return with_segment(
        handle, field,
        [&](IndexHandle& index, TableCursor& table, CursorState& state, std::size_t segment,
            const FieldDescriptor&) {
            HandleSettings settings = handle_settings(table, state.exact);
            index.raw_key().set_value(
                segment, keys::segment_value_of_text(
                             index.tag().layout().segment(segment).type,
                             format::recode(format::CodePage::Ansi1252, settings.settings.code_page,
                                            sized_text(text, length)),
                             settings.settings));
        });
}

UNSIGNED32 set_key_wide(ADSHANDLE handle, const UNSIGNED8* field, const WCHAR* text,
                        UNSIGNED32 length) noexcept {
    return with_segment(
        handle, field,
        [&](IndexHandle& index, TableCursor& table, CursorState& state, std::size_t segment,
            const FieldDescriptor&) {
            if (text == nullptr && length > 0) {
                fail(VE_INVALID_ARGUMENT, "the value is missing");
            }
            HandleSettings settings = handle_settings(table, state.exact);
            std::string bytes =
                format::utf16_to_bytes(settings.settings.code_page,
                                       std::u16string_view(text == nullptr ? u"" : text, length));
            index.raw_key().set_value(
                segment, keys::segment_value_of_text(index.tag().layout().segment(segment).type,
                                                     bytes, settings.settings));
        });
}

UNSIGNED32 set_key_raw(ADSHANDLE handle, const UNSIGNED8* field, const UNSIGNED8* bytes,
                       UNSIGNED32 length) noexcept {
    return with_segment(handle, field,
                        [&](IndexHandle& index, TableCursor& table, CursorState&,
                            std::size_t segment, const FieldDescriptor& descriptor) {
                            std::vector<std::uint8_t> image = null_image(table.schema());
                            set_field_raw(descriptor, image.data(), bytes, length);
                            index.raw_key().set_value(
                                segment, expr::decode_field_value(descriptor, image, nullptr,
                                                                  table.text_context().page));
                        });
}

UNSIGNED32 set_key_empty(ADSHANDLE handle, const UNSIGNED8* field) noexcept {
    return with_segment(handle, field,
                        [&](IndexHandle& index, TableCursor&, CursorState&, std::size_t segment,
                            const FieldDescriptor&) { index.raw_key().set_null(segment); });
}

}  // namespace varelum::engine

extern "C" {

VE_API UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex) {
    return with_index(
        hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) { index.raw_key().clear(); });
}

VE_API UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen) {
    return AdsBuildRawKey100(hIndex, pucKey, pusKeyLen, VE_KEY_PARTIAL);
}

VE_API UNSIGNED32 AdsBuildRawKey100(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen,
                                    UNSIGNED32 ulOptions) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        if (ulOptions != VE_KEY_PARTIAL && ulOptions != VE_KEY_WHOLE &&
            ulOptions != VE_KEY_WIDE_PARTIAL) {
            fail(VE_INVALID_ARGUMENT, "raw key option " + std::to_string(ulOptions));
        }
        put_key(
            ulOptions == VE_KEY_WHOLE ? index.raw_key().whole_key() : index.raw_key().partial_key(),
            pucKey, pusKeyLen);
    });
}

VE_API UNSIGNED32 AdsBuildKeyFromRecord(ADSHANDLE hIndex, const UNSIGNED8* pucRecBuffer,
                                        UNSIGNED32 ulRecordLen, UNSIGNED8* pucKey,
                                        UNSIGNED16* pusKeyLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState&) {
        std::uint32_t length = table.schema().record_length();
        if (pucRecBuffer == nullptr || ulRecordLen < length) {
            fail(VE_INVALID_ARGUMENT, "the record takes " + std::to_string(length) + " bytes");
        }
        put_key(
            index.tag().key_ignoring_condition(std::span<const std::uint8_t>(pucRecBuffer, length)),
            pucKey, pusKeyLen);
    });
}

VE_API UNSIGNED32 AdsStepIndexKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usLen,
                                  SIGNED16 sDirection) {
    return with_index(hIndex, [&](IndexHandle&, TableCursor&, CursorState&) {
        if (pucKey == nullptr || usLen == 0 || sDirection == 0) {
            fail(VE_INVALID_ARGUMENT, "a key and a direction are needed");
        }
        std::string key(reinterpret_cast<const char*>(pucKey), usLen);
        if (!keys::step_key(key, sDirection)) {
            fail(VE_INVALID_KEY, "there is no key beyond this one");
        }
        std::memcpy(pucKey, key.data(), usLen);
    });
}

VE_API UNSIGNED32 AdsSeek(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                          UNSIGNED16 usDataType, UNSIGNED16 usSeekType, UNSIGNED16* pbFound) {
    return seek(hIndex, pucKey, usKeyLen, usDataType, usSeekType, false, pbFound);
}

VE_API UNSIGNED32 AdsSeekLast(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                              UNSIGNED16 usDataType, UNSIGNED16* pbFound) {
    return seek(hIndex, pucKey, usKeyLen, usDataType, VE_HARDSEEK, true, pbFound);
}

VE_API UNSIGNED32 AdsLookupKey(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                               UNSIGNED16 usDataType, UNSIGNED16* pbFound) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState& state) {
        UNSIGNED16& result = out(pbFound);
        ScopeBound wanted = key_of_argument(index, table, state, pucKey, usKeyLen, usDataType);
        bool found = false;
        find(table, index, wanted.key, VE_HARDSEEK, false, found);
        result = found ? 1 : 0;
    });
}

VE_API UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, const UNSIGNED8* pucScope,
                              UNSIGNED16 usScopeLen, UNSIGNED16 usDataType) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor& table, CursorState& state) {
        if (usScopeOption != VE_TOP && usScopeOption != VE_BOTTOM) {
            fail(VE_INVALID_ARGUMENT, "scope option " + std::to_string(usScopeOption));
        }
        index.set_scope(usScopeOption,
                        key_of_argument(index, table, state, pucScope, usScopeLen, usDataType));
    });
}

VE_API UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                              UNSIGNED16* pusBufLen) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        const auto& bound = index.scope(usScopeOption);
        if (!bound) {
            fail(VE_NO_SCOPE);
        }
        put_key(bound->given, pucScope, pusBufLen);
    });
}

VE_API UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption) {
    return with_index(hIndex, [&](IndexHandle& index, TableCursor&, CursorState&) {
        if (!index.clear_scope(usScopeOption)) {
            fail(VE_NO_SCOPE);
        }
    });
}

VE_API UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable) {
    return with_table(hTable, [&](TableCursor& table) {
        for (const auto& index : CursorState::of(table).indexes()) {
            index->clear_scope(VE_TOP);
            index->clear_scope(VE_BOTTOM);
        }
    });
}

}  // extern "C"
