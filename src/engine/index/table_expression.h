// The expression language applied to a table: the settings an expression of a handle is
// compiled and evaluated with (date format, exact setting, collation), the record access over
// stored records (memo values read from the table file), and the translation of expression
// and key errors into engine errors.
//
// Index keys, filters, locates and the AdsEval... functions all go through here, so that a
// filter's CTOD and an index key read dates, texts and nulls the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/expr/expression.h"
#include "engine/expr/expression_error.h"
#include "engine/keys/collation.h"
#include "engine/keys/key_error.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {

class TableCursor;
class TableFile;

// The collation of that name, opened once per process ("" and "ANSI" are the built-in one).
// Throws VE_UNKNOWN_COLLATION.
std::shared_ptr<const keys::Collation> collation_named(std::string_view name);

// The collation a handle compares texts with: the one it was opened with, else the table's.
std::string effective_collation_name(const TableCursor& table);

// The settings for expressions on a handle: its connection's date format, the given exact
// setting and the handle's collation (kept alive by the returned object).
struct HandleSettings {
    expr::ExpressionSettings settings;
    std::shared_ptr<const keys::Collation> collation;
    HandleSettings() = default;
    HandleSettings(const HandleSettings& other) { *this = other; }
    HandleSettings& operator=(const HandleSettings& other) {
        settings = other.settings;
        collation = other.collation;
        settings.collation = collation.get();
        return *this;
    }
};
HandleSettings handle_settings(const TableCursor& table, bool exact);

// Compiles `text` against the table's fields. Throws VE_INVALID_EXPRESSION with the position
// of the fault in the text.
expr::Expression compile_expression(const TableCursor& table, std::string_view text,
                                    const expr::ExpressionSettings& settings, bool condition);
expr::Expression compile_expression(std::span<const FieldDescriptor> fields, std::string_view text,
                                    const expr::ExpressionSettings& settings, bool condition);

// Throws the engine error for an expression error (VE_INVALID_EXPRESSION when compiling,
// VE_EXPRESSION_FAILED when evaluating) or a key error.
[[noreturn]] void fail_expression(const expr::ExpressionError& error, bool evaluating);
[[noreturn]] void fail_key(const keys::KeyError& error);

// A stored record (the image of a record of the table file) as an expression sees it: memo
// values are read through `txn` when the expression asks for them.
class StoredRecordAccess final : public expr::RecordAccess {
  public:
    StoredRecordAccess(const TableFile& file, const Snapshot& txn, std::uint32_t recno,
                       std::span<const std::uint8_t> image,
                       const expr::ExpressionSettings& settings)
        : file_(file), txn_(txn), recno_(recno), image_(image), settings_(settings) {}

    std::span<const std::uint8_t> record_image() const override { return image_; }
    std::optional<std::string> read_blob(const FieldDescriptor& field) const override;
    const expr::ExpressionSettings& settings() const override { return settings_; }

  private:
    const TableFile& file_;
    const Snapshot& txn_;
    std::uint32_t recno_;
    std::span<const std::uint8_t> image_;
    const expr::ExpressionSettings& settings_;
};

// The code AdsEvalTestExpr and AdsGetKeyType answer for a value type (VE_EXPR_...).
std::uint16_t expression_type_code(expr::ValueType type);

// Evaluates on the handle's current record (with its pending changes). Throws
// VE_NO_CURRENT_RECORD on a crack, VE_EXPRESSION_FAILED.
expr::Value evaluate_on_current(TableCursor& table, const expr::Expression& expression,
                                const expr::ExpressionSettings& settings);

}  // namespace varelum::engine
