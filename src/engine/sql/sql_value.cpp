// Conversions between field values and SQLite values (see sql_value.h).
#include "engine/sql/sql_value.h"
#include "engine/format/calendar.h"
#include "engine/format/code_page.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/record/schema.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine::sql {
namespace {

std::string right_trimmed(std::string text) {
    std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

bool is_blob_type(FieldType type) {
    return type == FieldType::Binary || type == FieldType::Image || type == FieldType::Raw ||
           type == FieldType::VarBinaryFox;
}

std::string number_text(const SqlValue& value) {
    if (value.type == SqlValue::Type::Integer) {
        return std::to_string(value.integer);
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value.real);
    return buffer;
}

// The value as 8-bit text (Windows-1252) for the text conversions of the record image.
std::string ansi_text(const SqlValue& value) {
    switch (value.type) {
        case SqlValue::Type::Text:
            return utf8_to_ansi(value.bytes);
        case SqlValue::Type::Blob:
            return value.bytes;
        case SqlValue::Type::Null:
            return {};
        default:
            return number_text(value);
    }
}

DayAndTime day_of_number(double julian) {
    double day = std::floor(julian + 0.5);
    DayAndTime result;
    result.julian = static_cast<std::int32_t>(day);
    result.milliseconds =
        static_cast<std::int32_t>(std::llround((julian + 0.5 - day) * 86400000.0));
    if (result.milliseconds >= 86400000) {
        result.julian += 1;
        result.milliseconds -= 86400000;
    }
    return result;
}

[[noreturn]] void not_convertible(const FieldDescriptor& field, const SqlValue& value) {
    fail(VE_VALUE_NOT_CONVERTIBLE,
         "\"" + (value.type == SqlValue::Type::Text ? value.bytes : number_text(value)) +
             "\" for the " + type_name(field.type) + " field " + field.name);
}

DayAndTime day_and_time(const FieldDescriptor& field, const SqlValue& value,
                        const TextContext& context) {
    if (value.type == SqlValue::Type::Integer) {
        return day_of_number(static_cast<double>(value.integer));
    }
    if (value.type == SqlValue::Type::Real) {
        return day_of_number(value.real);
    }
    std::string text = trim_blanks(ansi_text(value));
    if (auto iso = parse_iso(text)) {
        return *iso;
    }
    if (context.date_format) {
        if (auto julian = context.date_format->parse(text)) {
            return DayAndTime{*julian, 0};
        }
    }
    not_convertible(field, value);
}

}  // namespace

SqlValue SqlValue::of_integer(std::int64_t value) {
    SqlValue result;
    result.type = Type::Integer;
    result.integer = value;
    return result;
}

SqlValue SqlValue::of_real(double value) {
    SqlValue result;
    result.type = Type::Real;
    result.real = value;
    return result;
}

SqlValue SqlValue::of_text(std::string utf8) {
    SqlValue result;
    result.type = Type::Text;
    result.bytes = std::move(utf8);
    return result;
}

SqlValue SqlValue::of_blob(std::string bytes) {
    SqlValue result;
    result.type = Type::Blob;
    result.bytes = std::move(bytes);
    return result;
}

SqlValue SqlValue::of(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            return of_integer(sqlite3_value_int64(value));
        case SQLITE_FLOAT:
            return of_real(sqlite3_value_double(value));
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            return of_text(std::string(text, static_cast<std::size_t>(sqlite3_value_bytes(value))));
        }
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
            int length = sqlite3_value_bytes(value);
            return of_blob(length > 0 ? std::string(bytes, static_cast<std::size_t>(length))
                                      : std::string());
        }
        default:
            return null();
    }
}

void bind_value(sqlite3_stmt* statement, int number, const SqlValue& value) {
    switch (value.type) {
        case SqlValue::Type::Null:
            sqlite3_bind_null(statement, number);
            break;
        case SqlValue::Type::Integer:
            sqlite3_bind_int64(statement, number, value.integer);
            break;
        case SqlValue::Type::Real:
            sqlite3_bind_double(statement, number, value.real);
            break;
        case SqlValue::Type::Text:
            sqlite3_bind_text(statement, number, value.bytes.data(),
                              static_cast<int>(value.bytes.size()), SQLITE_STATIC);
            break;
        case SqlValue::Type::Blob:
            sqlite3_bind_blob(statement, number, value.bytes.data(),
                              static_cast<int>(value.bytes.size()), SQLITE_STATIC);
            break;
    }
}

std::string iso_date(std::int32_t julian) {
    return format::format_date(julian, "YYYY-MM-DD");
}

std::string iso_time(std::int32_t milliseconds) {
    return format::format_time(milliseconds);
}

std::string iso_timestamp(std::int32_t julian, std::int32_t milliseconds) {
    return iso_date(julian) + " " + iso_time(milliseconds);
}

std::optional<DayAndTime> parse_iso(std::string_view text) {
    auto digits = [&](std::size_t at, std::size_t count) -> std::optional<int> {
        if (at + count > text.size()) {
            return std::nullopt;
        }
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return std::nullopt;
            }
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    if (text.size() >= 10 && text[4] == '-' && text[7] == '-') {
        auto year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
        if (!year || !month || !day || !format::is_valid_civil_date(*year, *month, *day)) {
            return std::nullopt;
        }
        DayAndTime result{format::julian_from_civil(*year, *month, *day), 0};
        if (text.size() == 10) {
            return result;
        }
        if (text[10] != ' ' && text[10] != 'T') {
            return std::nullopt;
        }
        auto time = format::parse_time(text.substr(11));
        if (!time) {
            return std::nullopt;
        }
        result.milliseconds = *time;
        return result;
    }
    if (auto time = format::parse_time(text)) {
        return DayAndTime{0, *time};
    }
    return std::nullopt;
}

SqlValue field_value(TableCursor& table, const FieldDescriptor& field) {
    const std::uint8_t* image = table.image().data();
    if (is_memo_type(field.type)) {
        std::optional<std::string> stored = table.memo(field);
        if (!stored) {
            return SqlValue::null();
        }
        if (field.type == FieldType::NMemo) {
            std::u16string wide(stored->size() / 2, u'\0');
            std::memcpy(wide.data(), stored->data(), wide.size() * 2);
            return SqlValue::of_text(utf16_to_utf8(wide));
        }
        if (field.type == FieldType::Binary || field.type == FieldType::Image) {
            return SqlValue::of_blob(std::move(*stored));
        }
        format::CodePage page = table.text_context().page;
        return SqlValue::of_text(
            ansi_to_utf8(format::recode(page, format::CodePage::Ansi1252, *stored)));
    }
    if (is_null(field, image)) {
        return SqlValue::null();
    }
    switch (field.type) {
        case FieldType::Logical:
            return SqlValue::of_integer(field_logical(field, image) ? 1 : 0);
        case FieldType::Numeric: {
            double value = field_double(field, image);
            if (field.decimals == 0 && std::fabs(value) < 9e15) {
                return SqlValue::of_integer(static_cast<std::int64_t>(value));
            }
            return SqlValue::of_real(value);
        }
        case FieldType::Double:
        case FieldType::CurDouble:
        case FieldType::Money:
            return SqlValue::of_real(field_double(field, image));
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::RowVersion:
            return SqlValue::of_integer(field_integer(field, image));
        case FieldType::Date:
        case FieldType::CompactDate:
            return SqlValue::of_text(iso_date(field_julian(field, image)));
        case FieldType::Time:
            return SqlValue::of_text(iso_time(field_milliseconds(field, image)));
        case FieldType::TimeStamp:
        case FieldType::ModTime:
            return SqlValue::of_text(
                iso_timestamp(field_julian(field, image), field_milliseconds(field, image)));
        case FieldType::NChar:
        case FieldType::NVarChar: {
            std::u16string wide = field_text_utf16(field, image, table.text_context());
            std::size_t end = wide.find_last_not_of(u' ');
            wide.erase(end == std::u16string::npos ? 0 : end + 1);
            return SqlValue::of_text(utf16_to_utf8(wide));
        }
        default:
            break;
    }
    std::string text = field_text(field, image, table.text_context());
    if (is_blob_type(field.type)) {
        return SqlValue::of_blob(std::move(text));
    }
    return SqlValue::of_text(ansi_to_utf8(right_trimmed(std::move(text))));
}

void result_field(sqlite3_context* context, TableCursor& table, const FieldDescriptor& field) {
    SqlValue value = field_value(table, field);
    switch (value.type) {
        case SqlValue::Type::Null:
            sqlite3_result_null(context);
            break;
        case SqlValue::Type::Integer:
            sqlite3_result_int64(context, value.integer);
            break;
        case SqlValue::Type::Real:
            sqlite3_result_double(context, value.real);
            break;
        case SqlValue::Type::Text:
            sqlite3_result_text(context, value.bytes.data(), static_cast<int>(value.bytes.size()),
                                SQLITE_TRANSIENT);
            break;
        case SqlValue::Type::Blob:
            sqlite3_result_blob(context, value.bytes.data(), static_cast<int>(value.bytes.size()),
                                SQLITE_TRANSIENT);
            break;
    }
}

void write_value(const FieldDescriptor& field, std::uint8_t* image, const SqlValue& value,
                 const TextContext& context) {
    if (value.type == SqlValue::Type::Null) {
        set_null(field, image);
        return;
    }
    bool numeric = value.type == SqlValue::Type::Integer || value.type == SqlValue::Type::Real;
    switch (field.type) {
        case FieldType::Logical: {
            if (numeric) {
                set_field_logical(
                    field, image,
                    value.type == SqlValue::Type::Integer ? value.integer != 0 : value.real != 0);
                return;
            }
            std::string text = to_upper_ascii(trim_blanks(ansi_text(value)));
            if (text == "TRUE" || text == ".T.") {
                set_field_logical(field, image, true);
            } else if (text == "FALSE" || text == ".F.") {
                set_field_logical(field, image, false);
            } else if (text.empty()) {
                set_null(field, image);
            } else {
                set_field_text(field, image, text, context);
            }
            return;
        }
        case FieldType::Numeric:
        case FieldType::Double:
        case FieldType::CurDouble:
        case FieldType::Money:
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::AutoInc:
        case FieldType::RowVersion:
            if (value.type == SqlValue::Type::Integer) {
                set_field_integer(field, image, value.integer);
            } else if (value.type == SqlValue::Type::Real) {
                set_field_double(field, image, value.real);
            } else {
                set_field_text(field, image, ansi_text(value), context);
            }
            return;
        case FieldType::Date:
        case FieldType::CompactDate: {
            if (value.type == SqlValue::Type::Text && trim_blanks(value.bytes).empty()) {
                set_null(field, image);
                return;
            }
            DayAndTime when = day_and_time(field, value, context);
            if (when.julian == 0) {
                not_convertible(field, value);
            }
            set_field_julian(field, image, when.julian);
            return;
        }
        case FieldType::Time: {
            if (value.type == SqlValue::Type::Text && trim_blanks(value.bytes).empty()) {
                set_null(field, image);
                return;
            }
            set_field_milliseconds(field, image, day_and_time(field, value, context).milliseconds);
            return;
        }
        case FieldType::TimeStamp:
        case FieldType::ModTime: {
            if (value.type == SqlValue::Type::Text && trim_blanks(value.bytes).empty()) {
                set_null(field, image);
                return;
            }
            DayAndTime when = day_and_time(field, value, context);
            if (when.julian == 0) {
                not_convertible(field, value);
            }
            store_le<std::int32_t>(image + field.offset, when.julian);
            store_le<std::int32_t>(image + field.offset + 4, when.milliseconds);
            return;
        }
        case FieldType::NChar:
        case FieldType::NVarChar:
            set_field_utf16(field, image,
                            utf8_to_utf16(value.type == SqlValue::Type::Text ? value.bytes
                                                                             : number_text(value)),
                            context);
            return;
        case FieldType::Raw:
        case FieldType::VarBinaryFox: {
            std::string bytes =
                value.type == SqlValue::Type::Blob || value.type == SqlValue::Type::Text
                    ? value.bytes
                    : number_text(value);
            std::uint32_t length =
                std::min<std::uint32_t>(static_cast<std::uint32_t>(bytes.size()), field.length);
            set_field_raw(field, image, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                          length);
            return;
        }
        default:
            set_field_text(field, image, ansi_text(value), context);
            return;
    }
}

std::optional<std::string> memo_bytes(const FieldDescriptor& field, const SqlValue& value,
                                      format::CodePage page) {
    if (value.type == SqlValue::Type::Null) {
        return std::nullopt;
    }
    std::string utf8 = value.type == SqlValue::Type::Text || value.type == SqlValue::Type::Blob
                           ? value.bytes
                           : number_text(value);
    if (field.type == FieldType::Binary || field.type == FieldType::Image) {
        return utf8;
    }
    if (field.type == FieldType::NMemo) {
        std::u16string wide = utf8_to_utf16(utf8);
        return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    }
    return format::recode(format::CodePage::Ansi1252, page, utf8_to_ansi(utf8));
}

void store_field(TableCursor& table, const FieldDescriptor& field, const SqlValue& value) {
    if (field.type == FieldType::AutoInc || field.type == FieldType::RowVersion) {
        return;
    }
    TextContext context = table.text_context();
    if (is_memo_type(field.type)) {
        table.set_memo(field, memo_bytes(field, value, context.page));
        return;
    }
    std::vector<std::uint8_t> scratch = table.image();
    write_value(field, scratch.data(), value, context);
    std::uint8_t* target = table.image_for_change(field);
    std::memcpy(target + field.offset, scratch.data() + field.offset,
                format::field_image_size(field));
}

}  // namespace varelum::engine::sql
