// Expressions over tables (see table_expression.h).
#include "engine/index/table_expression.h"

#include <map>
#include <mutex>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/record/record_image.h"
#include "engine/storage/table_file.h"
#include "engine/table/connection.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {

std::shared_ptr<const keys::Collation> collation_named(std::string_view name) {
    static std::mutex mutex;
    static auto* opened = new std::map<std::string, std::shared_ptr<const keys::Collation>>;
    std::string key = to_upper_ascii(name);
    std::lock_guard guard(mutex);
    auto found = opened->find(key);
    if (found != opened->end()) {
        return found->second;
    }
    try {
        auto collation = keys::Collation::open(name);
        opened->emplace(key, collation);
        return collation;
    } catch (const keys::KeyError& error) {
        fail(VE_UNKNOWN_COLLATION, std::string(name) + " (" + error.what() + ")");
    }
}

std::string effective_collation_name(const TableCursor& table) {
    const std::string& requested = table.request().collation;
    return requested.empty() ? table.file().options().collation : requested;
}

HandleSettings handle_settings(const TableCursor& table, bool exact) {
    HandleSettings result;
    result.settings.exact = exact;
    result.settings.date_format = table.connection()->date_format().pattern();
    result.settings.code_page = table.text_context().page;
    result.collation = collation_named(effective_collation_name(table));
    result.settings.collation = result.collation.get();
    return result;
}

[[noreturn]] void fail_expression(const expr::ExpressionError& error, bool evaluating) {
    fail(evaluating ? VE_EXPRESSION_FAILED : VE_INVALID_EXPRESSION, error.what());
}

[[noreturn]] void fail_key(const keys::KeyError& error) {
    switch (error.code()) {
        case keys::KeyErrorCode::KeyTooLong:
            fail(VE_KEY_TOO_LONG, error.what());
        case keys::KeyErrorCode::UnknownCollation:
        case keys::KeyErrorCode::CollationFailure:
            fail(VE_UNKNOWN_COLLATION, error.what());
        case keys::KeyErrorCode::UnsupportedSegment:
            fail(VE_INVALID_EXPRESSION, error.what());
        default:
            fail(VE_INVALID_KEY, error.what());
    }
}

expr::Expression compile_expression(std::span<const FieldDescriptor> fields, std::string_view text,
                                    const expr::ExpressionSettings& settings, bool condition) {
    expr::CompileOptions options;
    options.settings = settings;
    try {
        return condition ? expr::Expression::compile_condition(text, fields, options)
                         : expr::Expression::compile(text, fields, options);
    } catch (const expr::ExpressionError& error) {
        fail_expression(error, false);
    }
}

expr::Expression compile_expression(const TableCursor& table, std::string_view text,
                                    const expr::ExpressionSettings& settings, bool condition) {
    return compile_expression(table.schema().fields(), text, settings, condition);
}

std::optional<std::string> StoredRecordAccess::read_blob(const FieldDescriptor& field) const {
    if (!memo_marker(field, image_.data())) {
        return std::nullopt;
    }
    auto value = file_.memo(txn_, recno_, field.number);
    return value ? std::string(*value) : std::string();
}

std::uint16_t expression_type_code(expr::ValueType type) {
    switch (type) {
        case expr::ValueType::Logical:
            return VE_EXPR_LOGICAL;
        case expr::ValueType::Numeric:
            return VE_EXPR_NUMERIC;
        case expr::ValueType::Date:
            return VE_EXPR_DATE;
        case expr::ValueType::Character:
            return VE_EXPR_STRING;
        case expr::ValueType::Timestamp:
            return VE_EXPR_TIMESTAMP;
    }
    return VE_EXPR_STRING;
}

expr::Value evaluate_on_current(TableCursor& table, const expr::Expression& expression,
                                const expr::ExpressionSettings& settings) {
    const std::vector<std::uint8_t>& image = table.image();
    expr::ImageRecord record(image, settings,
                             [&table](const FieldDescriptor& field) { return table.memo(field); });
    try {
        return expression.evaluate(record);
    } catch (const expr::ExpressionError& error) {
        fail_expression(error, true);
    }
}

}  // namespace varelum::engine
