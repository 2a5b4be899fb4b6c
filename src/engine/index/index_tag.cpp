// Compiled index tags (see index_tag.h).
#include "engine/index/index_tag.h"

#include <cctype>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/expr/record_value.h"
#include "engine/format/field_image.h"
#include "engine/index/table_expression.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

bool reads_memo(const expr::Expression& expression, const TableSchema& schema) {
    for (std::uint16_t number : expression.referenced_fields()) {
        const FieldDescriptor* field = schema.by_number(number);
        if (field != nullptr && format::is_memo_type(field->type)) {
            return true;
        }
    }
    return false;
}

// The field of a field-list entry "UPPER(name)" (any case, blanks allowed), which makes
// the segment compare without regard to case; empty for a plain entry.
std::string_view upper_argument(std::string_view entry) {
    constexpr std::string_view kUpper = "UPPER(";
    if (entry.size() <= kUpper.size() || entry.back() != ')') {
        return {};
    }
    for (std::size_t i = 0; i < kUpper.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(entry[i])) != kUpper[i]) {
            return {};
        }
    }
    std::string_view inner = entry.substr(kUpper.size(), entry.size() - kUpper.size() - 1);
    while (!inner.empty() && inner.front() == ' ') {
        inner.remove_prefix(1);
    }
    while (!inner.empty() && inner.back() == ' ') {
        inner.remove_suffix(1);
    }
    return inner;
}

}  // namespace

std::optional<std::vector<std::string>> split_field_list(std::string_view text) {
    if (text.find(';') == std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string name = trim_blanks(text.substr(start, end - start));
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    return names;
}

std::shared_ptr<const IndexTag> IndexTag::compile(IndexDefinition definition,
                                                  const TableSchema& schema,
                                                  const std::string& table_collation,
                                                  format::CodePage code_page, TreeId tree) {
    std::shared_ptr<IndexTag> tag(new IndexTag);
    tag->tree_ = tree;
    tag->collation_name_ = definition.collation.empty() ? table_collation : definition.collation;
    tag->collation_ = collation_named(tag->collation_name_);
    tag->settings_.exact = false;
    tag->settings_.code_page = code_page;
    // Definitions keep their texts as given (Windows-1252); the table's expressions read its
    // own code page.
    auto in_table_page = [code_page](const std::string& text) {
        return format::recode(format::CodePage::Ansi1252, code_page, text);
    };
    if (!definition.date_format.empty()) {
        tag->settings_.date_format = definition.date_format;
    }
    tag->settings_.collation = tag->collation_.get();
    const auto& fields = schema.fields();
    try {
        if (auto names = split_field_list(definition.expression)) {
            if (names->empty()) {
                fail(VE_INVALID_EXPRESSION,
                     "the field list of index " + definition.name + " names no field");
            }
            std::vector<keys::KeySegment> segments;
            for (const std::string& entry : *names) {
                const std::string_view upper = upper_argument(entry);
                const std::string name(upper.empty() ? std::string_view(entry) : upper);
                const FieldDescriptor* field = schema.by_name(name);
                if (field == nullptr) {
                    fail(VE_INVALID_EXPRESSION,
                         "index " + definition.name + " names no field " + entry);
                }
                keys::KeySegment segment = keys::segment_for_field(*field);
                if (!upper.empty()) {
                    if (segment.type != keys::SegmentType::Character) {
                        fail(VE_INVALID_EXPRESSION,
                             "index " + definition.name +
                                 " upper-cases a field that is no text: " + entry);
                    }
                    segment.case_insensitive = true;
                }
                tag->segment_fields_.push_back(*field);
                segments.push_back(segment);
            }
            tag->layout_ = std::make_unique<keys::KeyLayout>(std::move(segments), tag->collation_,
                                                             definition.descending());
            tag->key_type_ = {expr::field_value_type(tag->segment_fields_[0].type)
                                  .value_or(expr::ValueType::Character),
                              expr::field_text_width(tag->segment_fields_[0]),
                              tag->layout_->segment(0).case_insensitive};
            if (tag->segment_fields_.size() == 1) {
                tag->normalized_key_ = to_upper_ascii(tag->segment_fields_[0].name);
            }
        } else {
            tag->expression_.emplace(compile_expression(
                fields, in_table_page(definition.expression), tag->settings_, false));
            if (reads_memo(*tag->expression_, schema)) {
                fail(VE_INVALID_EXPRESSION,
                     "the key of index " + definition.name + " reads a memo field");
            }
            tag->key_type_ = tag->expression_->result_type();
            tag->layout_ = std::make_unique<keys::KeyLayout>(keys::KeyLayout::for_expression(
                tag->key_type_, tag->collation_, definition.descending()));
            tag->normalized_key_ = tag->expression_->normalized_text();
            if (tag->expression_->is_single_field()) {
                tag->segment_fields_.push_back(tag->expression_->root().field);
            }
        }
        if (!trim_blanks(definition.condition).empty()) {
            tag->condition_storage_.emplace(compile_expression(
                fields, in_table_page(definition.condition), tag->settings_, true));
            if (reads_memo(*tag->condition_storage_, schema)) {
                fail(VE_INVALID_EXPRESSION,
                     "the condition of index " + definition.name + " reads a memo field");
            }
            tag->condition_ = &*tag->condition_storage_;
        }
    } catch (const keys::KeyError& error) {
        fail_key(error);
    }
    tag->definition_ = std::move(definition);
    return tag;
}

std::string IndexTag::key_ignoring_condition(std::span<const std::uint8_t> image) const {
    try {
        if (!expression_) {
            std::vector<expr::Value> values;
            values.reserve(segment_fields_.size());
            for (const FieldDescriptor& field : segment_fields_) {
                values.push_back(
                    expr::decode_field_value(field, image, nullptr, settings_.code_page));
            }
            return keys::encode_key(*layout_, values);
        }
        expr::ImageRecord record(image, settings_);
        return keys::encode_key(*layout_, expression_->evaluate(record));
    } catch (const expr::ExpressionError& error) {
        fail_expression(error, true);
    } catch (const keys::KeyError& error) {
        fail_key(error);
    }
}

bool IndexTag::condition_holds(std::span<const std::uint8_t> image) const {
    if (condition_ == nullptr) {
        return true;
    }
    try {
        expr::ImageRecord record(image, settings_);
        return condition_->evaluate_logical(record);
    } catch (const expr::ExpressionError& error) {
        fail_expression(error, true);
    }
}

std::optional<std::string> IndexTag::key_of(std::span<const std::uint8_t> image) const {
    if (!condition_holds(image)) {
        return std::nullopt;
    }
    return key_ignoring_condition(image);
}

}  // namespace varelum::engine
