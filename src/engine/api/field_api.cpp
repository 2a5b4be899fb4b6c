// Exported functions: reading and writing field values, and date conversions.
#include <cmath>

#include "engine/api/guard.h"
#include "engine/api/key_setters.h"
#include "engine/core/settings.h"
#include "engine/core/text.h"
#include "engine/format/calendar.h"
#include "engine/format/code_page.h"
#include "engine/record/record_image.h"
#include "engine/sql/statement_calls.h"

using namespace varelum::engine;

namespace {

bool is_raw_bytes(FieldType type) {
    return is_binary_memo_type(type) || type == FieldType::Raw || type == FieldType::VarBinaryFox;
}

std::string trim_text(std::string text, UNSIGNED16 option) {
    if (option & VE_TRIM_RIGHT) {
        std::size_t end = text.find_last_not_of(' ');
        text.erase(end == std::string::npos ? 0 : end + 1);
    }
    if (option & VE_TRIM_LEFT) {
        std::size_t begin = text.find_first_not_of(' ');
        text.erase(0, begin == std::string::npos ? text.size() : begin);
    }
    return text;
}

std::u16string trim_wide(std::u16string text, UNSIGNED16 option) {
    if (option & VE_TRIM_RIGHT) {
        std::size_t end = text.find_last_not_of(u' ');
        text.erase(end == std::u16string::npos ? 0 : end + 1);
    }
    if (option & VE_TRIM_LEFT) {
        std::size_t begin = text.find_first_not_of(u' ');
        text.erase(0, begin == std::u16string::npos ? text.size() : begin);
    }
    return text;
}

void check_trim(UNSIGNED16 option) {
    if (option > VE_TRIM_BOTH) {
        fail(VE_INVALID_ARGUMENT, "trim option " + std::to_string(option));
    }
}

// A field's value as 8-bit text (Windows-1252), memo types included.
std::string value_text(TableCursor& table, const FieldDescriptor& field) {
    TextContext context = table.text_context();
    if (!is_memo_type(field.type)) {
        return field_text(field, table.image().data(), context);
    }
    std::string stored = table.memo(field).value_or(std::string());
    if (is_binary_memo_type(field.type)) {
        return stored;
    }
    return format::utf16_to_bytes(format::CodePage::Ansi1252,
                                  memo_text_utf16(field, stored, context));
}

std::u16string value_utf16(TableCursor& table, const FieldDescriptor& field) {
    TextContext context = table.text_context();
    if (!is_memo_type(field.type)) {
        return field_text_utf16(field, table.image().data(), context);
    }
    return memo_text_utf16(field, table.memo(field).value_or(std::string()), context);
}

// Converts into a copy of the record first, so that a value the field cannot take changes
// nothing (and takes no lock); then moves the field's bytes into the record buffer.
template <typename Convert>
void change_field(TableCursor& table, const FieldDescriptor& field, Convert&& convert) {
    if (field.type == FieldType::AutoInc) {
        fail(VE_FIELD_READ_ONLY, field.name);
    }
    if (is_memo_type(field.type)) {
        fail(VE_FIELD_TYPE_MISMATCH, field.name + " is a memo field");
    }
    std::vector<std::uint8_t> scratch = table.image();
    convert(scratch.data());
    std::uint8_t* target = table.image_for_change(field);
    std::memcpy(target + field.offset, scratch.data() + field.offset,
                format::field_image_size(field));
}

void set_memo_from_text(TableCursor& table, const FieldDescriptor& field, std::string_view text) {
    // Binary values are the caller's bytes; text goes into the memo's own form.
    std::string stored = is_binary_memo_type(field.type)
                             ? std::string(text)
                             : memo_stored_from_utf16(
                                   field, format::bytes_to_utf16(format::CodePage::Ansi1252, text),
                                   table.text_context());
    table.set_memo(field, std::move(stored));
}

UNSIGNED32 get_text(ADSHANDLE handle, const UNSIGNED8* name, UNSIGNED8* buffer, UNSIGNED32* length,
                    UNSIGNED16 option) {
    return with_table(handle, [&](TableCursor& table) {
        check_trim(option);
        const FieldDescriptor& field = table.field(name);
        if (field.type == FieldType::AutoInc) {
            table.record_number();
        }
        std::string text = value_text(table, field);
        if (is_raw_bytes(field.type)) {
            put_bytes(text, buffer, length);
        } else {
            put_text(trim_text(std::move(text), option), buffer, length);
        }
    });
}

UNSIGNED32 get_wide(ADSHANDLE handle, const UNSIGNED8* name, WCHAR* buffer, UNSIGNED32* length,
                    UNSIGNED16 option) {
    return with_table(handle, [&](TableCursor& table) {
        check_trim(option);
        const FieldDescriptor& field = table.field(name);
        if (field.type == FieldType::AutoInc) {
            table.record_number();
        }
        put_wide(trim_wide(value_utf16(table, field), option), buffer, length);
    });
}

UNSIGNED32 set_text(ADSHANDLE handle, const UNSIGNED8* name, const UNSIGNED8* buffer,
                    UNSIGNED32 length) {
    if (is_index_handle(handle)) {
        return set_key_text(handle, name, buffer, length);  // a segment of a raw key
    }
    return with_table(handle, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(name);
        std::string_view text = sized_text(buffer, length);
        if (is_memo_type(field.type)) {
            set_memo_from_text(table, field, text);
            return;
        }
        TextContext context = table.text_context();
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_text(field, image, text, context); });
    });
}

UNSIGNED32 set_wide(ADSHANDLE handle, const UNSIGNED8* name, const WCHAR* buffer,
                    UNSIGNED32 length) {
    if (is_index_handle(handle)) {
        return set_key_wide(handle, name, buffer, length);
    }
    return with_table(handle, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(name);
        if (buffer == nullptr && length > 0) {
            fail(VE_INVALID_ARGUMENT, "the value is missing");
        }
        std::u16string_view text(buffer == nullptr ? u"" : buffer, length);
        TextContext context = table.text_context();
        if (is_memo_type(field.type)) {
            table.set_memo(field, memo_stored_from_utf16(field, text, context));
            return;
        }
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_utf16(field, image, text, context); });
    });
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsGetField(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                              UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return get_text(hTable, pucFldName, pucBuf, pulLen, usOption);
}

VE_API UNSIGNED32 AdsGetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                               UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return get_wide(hObj, pucFldName, pwcBuf, pulLen, usOption);
}

VE_API UNSIGNED32 AdsGetString(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                               UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return get_text(hTable, pucFldName, pucBuf, pulLen, usOption);
}

VE_API UNSIGNED32 AdsGetStringW(ADSHANDLE hTable, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                                UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return get_wide(hTable, pucFldName, pwcBuf, pulLen, usOption);
}

VE_API UNSIGNED32 AdsGetDataLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED32 ulOptions, UNSIGNED32* pulLength) {
    return with_table(hTable, [&](TableCursor& table) {
        if (ulOptions > VE_TRIM_BOTH) {
            fail(VE_INVALID_ARGUMENT, "trim option " + std::to_string(ulOptions));
        }
        UNSIGNED32& length = out(pulLength);
        const FieldDescriptor& field = table.field(pucFldName);
        if (is_memo_type(field.type)) {
            std::uint32_t bytes = table.memo_length(field);
            length = field.type == FieldType::NMemo ? bytes / 2 : bytes;
            if (ulOptions != VE_TRIM_NONE && !is_binary_memo_type(field.type)) {
                length = static_cast<UNSIGNED32>(
                    trim_wide(value_utf16(table, field), static_cast<UNSIGNED16>(ulOptions))
                        .size());
            }
            return;
        }
        if (field.type == FieldType::NChar || field.type == FieldType::NVarChar) {
            length = static_cast<UNSIGNED32>(
                trim_wide(value_utf16(table, field), static_cast<UNSIGNED16>(ulOptions)).size());
            return;
        }
        std::string text = value_text(table, field);
        length = static_cast<UNSIGNED32>(
            is_raw_bytes(field.type) ? text.size()
                                     : trim_text(text, static_cast<UNSIGNED16>(ulOptions)).size());
    });
}

VE_API UNSIGNED32 AdsGetDouble(ADSHANDLE hTable, const UNSIGNED8* pucFldName, double* pdValue) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is a memo field");
        }
        out(pdValue) = field_double(field, table.image().data());
    });
}

VE_API UNSIGNED32 AdsGetLong(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plValue) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is a memo field");
        }
        if (field.type == FieldType::AutoInc) {
            table.record_number();
        }
        std::int64_t value = field_integer(field, table.image().data());
        if (value < INT32_MIN || value > INT32_MAX) {
            fail(VE_VALUE_OUT_OF_RANGE, std::to_string(value) + " does not fit 32 bits");
        }
        out(plValue) = static_cast<SIGNED32>(value);
    });
}

VE_API UNSIGNED32 AdsGetShort(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED16* psValue) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is a memo field");
        }
        std::int64_t value = field_integer(field, table.image().data());
        if (value < INT16_MIN || value > INT16_MAX) {
            fail(VE_VALUE_OUT_OF_RANGE, std::to_string(value) + " does not fit 16 bits");
        }
        out(psValue) = static_cast<SIGNED16>(value);
    });
}

VE_API UNSIGNED32 AdsGetLogical(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                UNSIGNED16* pbValue) {
    return with_table(hTable, [&](TableCursor& table) {
        out(pbValue) = field_logical(table.field(pucFldName), table.image().data());
    });
}

VE_API UNSIGNED32 AdsGetJulian(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plDate) {
    return with_table(hTable, [&](TableCursor& table) {
        out(plDate) = field_julian(table.field(pucFldName), table.image().data());
    });
}

VE_API UNSIGNED32 AdsGetMilliseconds(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     SIGNED32* plTime) {
    return with_table(hTable, [&](TableCursor& table) {
        out(plTime) = field_milliseconds(table.field(pucFldName), table.image().data());
    });
}

VE_API UNSIGNED32 AdsGetDate(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                             UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        std::int32_t julian = field_julian(field, table.image().data());
        std::string text =
            julian == 0 ? std::string() : table.text_context().date_format->format(julian);
        put_text(text, pucBuf, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetTime(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                             UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        const auto& image = table.image();
        std::int32_t ms = field_milliseconds(field, image.data());
        put_text(is_null(field, image.data()) ? std::string() : format::format_time(ms), pucBuf,
                 pusLen);
    });
}

VE_API UNSIGNED32 AdsIsEmpty(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        UNSIGNED16& empty = out(pbEmpty);
        if (is_memo_type(field.type)) {
            auto value = table.memo(field);
            if (!value || value->empty()) {
                empty = 1;
            } else if (is_binary_memo_type(field.type)) {
                empty = 0;
            } else {
                std::u16string text = value_utf16(table, field);
                empty = text.find_first_not_of(u' ') == std::u16string::npos;
            }
            return;
        }
        empty = is_empty(field, table.image().data());
    });
}

VE_API UNSIGNED32 AdsIsNull(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbNull) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (is_memo_type(field.type)) {
            out(pbNull) = !table.memo(field).has_value();
            return;
        }
        out(pbNull) = is_null(field, table.image().data());
    });
}

VE_API UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED32* pulLength) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (!is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo field");
        }
        std::uint32_t bytes = table.memo_length(field);
        out(pulLength) = field.type == FieldType::NMemo ? bytes / 2 : bytes;
    });
}

VE_API UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED16* pusType) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (!is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo field");
        }
        out(pusType) = field.type == FieldType::Binary  ? VE_BINARY_BINARY
                       : field.type == FieldType::Image ? VE_BINARY_IMAGE
                                                        : VE_MEMO_TEXT;
    });
}

VE_API UNSIGNED32 AdsGetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32 ulOffset,
                               UNSIGNED8* pucBuf, UNSIGNED32* pulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (!is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo or binary field");
        }
        UNSIGNED32& length = out(pulLen);
        if (pucBuf == nullptr && length > 0) {
            fail(VE_INVALID_ARGUMENT, "the buffer is missing");
        }
        std::string value = table.memo(field).value_or(std::string());
        std::size_t start = std::min<std::size_t>(ulOffset, value.size());
        std::size_t count = std::min<std::size_t>(length, value.size() - start);
        if (count > 0) {
            std::memcpy(pucBuf, value.data() + start, count);
        }
        length = static_cast<UNSIGNED32>(count);
    });
}

VE_API UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED32* pulLength) {
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (!is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo or binary field");
        }
        out(pulLength) = table.memo_length(field);
    });
}

VE_API UNSIGNED32 AdsSetField(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                              UNSIGNED32 ulLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName,
                                   sql::SqlValue::of_text(ansi_to_utf8(sized_text(pucBuf, ulLen))));
    }
    return set_text(hObj, pucFldName, pucBuf, ulLen);
}

VE_API UNSIGNED32 AdsSetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                               UNSIGNED32 ulLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_wide_parameter(hObj, pucFldName, pwcBuf, ulLen);
    }
    return set_wide(hObj, pucFldName, pwcBuf, ulLen);
}

VE_API UNSIGNED32 AdsSetString(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                               UNSIGNED32 ulLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName,
                                   sql::SqlValue::of_text(ansi_to_utf8(sized_text(pucBuf, ulLen))));
    }
    return set_text(hObj, pucFldName, pucBuf, ulLen);
}

VE_API UNSIGNED32 AdsSetStringW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                                UNSIGNED32 ulLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_wide_parameter(hObj, pucFldName, pwcBuf, ulLen);
    }
    return set_wide(hObj, pucFldName, pwcBuf, ulLen);
}

VE_API UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                 const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(
            hObj, pucFldName,
            sql::SqlValue::of_blob(std::string(sized_text(pucBuf, ulLen == 0xFFFF ? 0 : ulLen))));
    }
    if (is_index_handle(hObj)) {
        return set_key_raw(hObj, pucFldName, pucBuf, ulLen);
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (pucBuf == nullptr && ulLen > 0 && ulLen != 0xFFFF) {
            fail(VE_INVALID_ARGUMENT, "the value is missing");
        }
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_raw(field, image, pucBuf, ulLen); });
    });
}

VE_API UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, const UNSIGNED8* pucFldName, double dValue) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName, sql::SqlValue::of_real(dValue));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_double(field, image, dValue); });
    });
}

VE_API UNSIGNED32 AdsSetLong(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lValue) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName, sql::SqlValue::of_integer(lValue));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_integer(field, image, lValue); });
    });
}

VE_API UNSIGNED32 AdsSetShort(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED16 sValue) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName, sql::SqlValue::of_integer(sValue));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_integer(field, image, sValue); });
    });
}

VE_API UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, const UNSIGNED8* pucFldName, UNSIGNED16 bValue) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName,
                                   sql::SqlValue::of_integer(bValue != 0 ? 1 : 0));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_logical(field, image, bValue != 0); });
    });
}

VE_API UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lDate) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(
            hObj, pucFldName,
            lDate == 0 ? sql::SqlValue::null() : sql::SqlValue::of_text(sql::iso_date(lDate)));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (lDate < 0 || lDate > format::julian_from_civil(9999, 12, 31)) {
            fail(VE_VALUE_OUT_OF_RANGE, "Julian day " + std::to_string(lDate));
        }
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_julian(field, image, lDate); });
    });
}

VE_API UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lTime) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName, sql::SqlValue::of_text(sql::iso_time(lTime)));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        change_field(table, field,
                     [&](std::uint8_t* image) { set_field_milliseconds(field, image, lTime); });
    });
}

VE_API UNSIGNED32 AdsSetDate(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue,
                             UNSIGNED16 usLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_date_text(hObj, pucFldName, sized_text(pucValue, usLen));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        std::string text = trim_blanks(sized_text(pucValue, usLen));
        const DateFormat format = *table.text_context().date_format;
        change_field(table, field, [&](std::uint8_t* image) {
            if (text.empty()) {
                field_julian(field, image);  // checks the type
                set_null(field, image);
                return;
            }
            auto julian = format.parse(text);
            if (!julian) {
                fail(VE_VALUE_NOT_CONVERTIBLE,
                     "\"" + text + "\" is no date in the format " + format.pattern());
            }
            set_field_julian(field, image, *julian);
        });
    });
}

VE_API UNSIGNED32 AdsSetTime(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue,
                             UNSIGNED16 usLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_time_text(hObj, pucFldName, sized_text(pucValue, usLen));
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        std::string text = trim_blanks(sized_text(pucValue, usLen));
        change_field(table, field, [&](std::uint8_t* image) {
            if (text.empty()) {
                field_milliseconds(field, image);  // checks the type
                set_null(field, image);
                return;
            }
            auto ms = format::parse_time(text);
            if (!ms) {
                fail(VE_VALUE_NOT_CONVERTIBLE, "\"" + text + "\" is no time");
            }
            set_field_milliseconds(field, image, *ms);
        });
    });
}

VE_API UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                     const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_timestamp_parameter(hObj, pucFldName, pucBuf, ulLen);
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (field.type != FieldType::TimeStamp && field.type != FieldType::ModTime) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a TimeStamp field");
        }
        if (pucBuf == nullptr || ulLen != 8) {
            fail(VE_INVALID_ARGUMENT, "a timestamp takes 8 bytes");
        }
        auto ms = load_le<std::int32_t>(pucBuf + 4);
        auto julian = load_le<std::int32_t>(pucBuf);
        if (julian != 0 && (ms < 0 || ms >= 86400000)) {
            fail(VE_VALUE_OUT_OF_RANGE, std::to_string(ms) + " milliseconds");
        }
        change_field(table, field,
                     [&](std::uint8_t* image) { std::memcpy(image + field.offset, pucBuf, 8); });
    });
}

VE_API UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, const UNSIGNED8* pucFldName) {
    if (sql::is_sql_statement(hObj)) {
        return sql::bind_parameter(hObj, pucFldName, sql::SqlValue::null());
    }
    if (is_index_handle(hObj)) {
        return set_key_empty(hObj, pucFldName);
    }
    return with_table(hObj, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (is_memo_type(field.type)) {
            table.set_memo(field, std::nullopt);
            return;
        }
        change_field(table, field, [&](std::uint8_t* image) { set_null(field, image); });
    });
}

VE_API UNSIGNED32 AdsSetNull(ADSHANDLE hObj, const UNSIGNED8* pucFldName) {
    return AdsSetEmpty(hObj, pucFldName);
}

VE_API UNSIGNED32 AdsSetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                               UNSIGNED16 usBinaryType, UNSIGNED32 ulTotalLength,
                               UNSIGNED32 ulOffset, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    if (sql::is_sql_statement(hTable)) {
        return sql::bind_parameter_part(hTable, pucFldName, ulTotalLength, ulOffset, pucBuf, ulLen);
    }
    return with_table(hTable, [&](TableCursor& table) {
        const FieldDescriptor& field = table.field(pucFldName);
        if (!is_memo_type(field.type)) {
            fail(VE_FIELD_TYPE_MISMATCH, field.name + " is not a memo or binary field");
        }
        if (usBinaryType != VE_BINARY_BINARY && usBinaryType != VE_BINARY_IMAGE &&
            usBinaryType != VE_MEMO_TEXT) {
            fail(VE_INVALID_ARGUMENT, "binary type " + std::to_string(usBinaryType));
        }
        if (static_cast<std::uint64_t>(ulOffset) + ulLen > ulTotalLength ||
            (pucBuf == nullptr && ulLen > 0)) {
            fail(VE_INVALID_ARGUMENT, "the part does not lie within the total length");
        }
        std::string value = table.memo(field).value_or(std::string());
        value.resize(ulTotalLength, '\0');
        if (ulLen > 0) {
            std::memcpy(value.data() + ulOffset, pucBuf, ulLen);
        }
        table.set_memo(field, std::move(value));
    });
}

VE_API UNSIGNED32 AdsConvertStringToJulian(const UNSIGNED8* pucJulian, UNSIGNED16 usLen,
                                           double* pdJulian) {
    return guarded([&] {
        double& result = out(pdJulian);
        std::string text(sized_text(pucJulian, usLen));
        if (text.find_first_not_of(std::string(" \0", 2) + "0") == std::string::npos) {
            result = 0;
            return;
        }
        // The first 8 characters are the date; what follows them is not looked at.
        auto julian = format::parse_dtos(text.substr(0, std::min<std::size_t>(text.size(), 8)));
        if (!julian) {
            fail(VE_VALUE_NOT_CONVERTIBLE, "\"" + text + "\" is no YYYYMMDD date");
        }
        result = *julian;
    });
}

VE_API UNSIGNED32 AdsConvertJulianToString(double dJulian, UNSIGNED8* pucJulian,
                                           UNSIGNED16* pusLen) {
    return guarded([&] {
        if (!(dJulian >= 0 && dJulian <= format::julian_from_civil(9999, 12, 31))) {
            fail(VE_VALUE_OUT_OF_RANGE, "Julian day " + std::to_string(dJulian));
        }
        auto julian = static_cast<std::int32_t>(std::trunc(dJulian));
        put_text(format::format_dtos(julian), pucJulian, pusLen);
    });
}

VE_API UNSIGNED32 AdsConvertDateToJulian(ADSHANDLE hConnect, const UNSIGNED8* pucDate,
                                         UNSIGNED16 usLen, double* pdJulian) {
    return guarded([&] {
        double& result = out(pdJulian);
        DateFormat format = hConnect == 0 ? EngineSettings::instance().date_format()
                                          : connection_of(hConnect)->date_format();
        std::string text = trim_blanks(sized_text(pucDate, usLen));
        if (text.empty()) {
            result = 0;
            return;
        }
        auto julian = format.parse(text);
        if (!julian) {
            fail(VE_VALUE_NOT_CONVERTIBLE,
                 "\"" + text + "\" is no date in the format " + format.pattern());
        }
        result = *julian;
    });
}

}  // extern "C"
