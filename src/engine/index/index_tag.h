// One index tag, compiled: its definition, the key layout, the expression (or field list)
// that gives a record's key, its FOR condition, and the key tree of its entries in the table file.
//
// An entry is the raw key followed by the record number (big-endian), with an empty value,
// so entries sort by key and equal keys by record number; a record has at most one entry
// per tag, and none when the condition leaves it out. A tag is immutable once compiled and
// shared by every handle of the process on the table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/expr/expression.h"
#include "engine/format/code_page.h"
#include "engine/index/index_definition.h"
#include "engine/keys/key_encoder.h"
#include "engine/keys/key_layout.h"
#include "engine/record/schema.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {

class IndexTag {
  public:
    // Compiles a definition against the table's fields. `table_collation` is used when the
    // definition names none. Throws VE_INVALID_EXPRESSION (key, condition, memo fields),
    // VE_KEY_TOO_LONG, VE_UNKNOWN_COLLATION.
    static std::shared_ptr<const IndexTag> compile(IndexDefinition definition,
                                                   const TableSchema& schema,
                                                   const std::string& table_collation,
                                                   format::CodePage code_page, TreeId tree);

    const IndexDefinition& definition() const { return definition_; }
    const std::string& name() const { return definition_.name; }
    const keys::KeyLayout& layout() const { return *layout_; }
    TreeId tree() const { return tree_; }
    const std::string& collation_name() const { return collation_name_; }
    // The fields of a field-list index (and of an expression that is one field), in order;
    // empty for other expressions.
    const std::vector<FieldDescriptor>& segment_fields() const { return segment_fields_; }
    // The type of the key values (of the first segment for a field list of several).
    const expr::ExprType& key_type() const { return key_type_; }
    // The canonical text of the key expression, to match filter terms; empty for a field list
    // of several fields.
    const std::string& normalized_key() const { return normalized_key_; }
    bool has_condition() const { return condition_ != nullptr; }
    // The settings keys are evaluated with (fixed per tag, so keys never depend on a handle).
    const expr::ExpressionSettings& settings() const { return settings_; }

    // The key of a record image; nothing when the condition leaves the record out. Throws
    // VE_EXPRESSION_FAILED.
    std::optional<std::string> key_of(std::span<const std::uint8_t> image) const;
    // The key whether or not the condition holds.
    std::string key_ignoring_condition(std::span<const std::uint8_t> image) const;
    bool condition_holds(std::span<const std::uint8_t> image) const;

  private:
    IndexTag() = default;

    IndexDefinition definition_;
    std::unique_ptr<keys::KeyLayout> layout_;
    std::shared_ptr<const keys::Collation> collation_;
    std::string collation_name_;
    std::optional<expr::Expression> expression_;  // none for a field list
    std::optional<expr::Expression> condition_storage_;
    const expr::Expression* condition_ = nullptr;
    std::vector<FieldDescriptor> segment_fields_;
    expr::ExprType key_type_;
    std::string normalized_key_;
    expr::ExpressionSettings settings_;
    TreeId tree_ = 0;
};

// Splits a ";"-separated field list; nothing when the text is an expression (no ";").
std::optional<std::vector<std::string>> split_field_list(std::string_view text);

}  // namespace varelum::engine
