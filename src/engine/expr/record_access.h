// What the evaluator needs from the engine: the record it evaluates on and the settings in
// force. The table storage implements RecordAccess over its cursor; tests implement it over
// a hand-built record image.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "engine/expr/string_collation.h"
#include "engine/format/calendar.h"
#include "engine/format/code_page.h"
#include "engine/format/field_type.h"

namespace varelum::engine::expr {

// The engine settings that change what an expression computes.
struct ExpressionSettings {
    // Exact on: texts compare as whole values (trailing blanks ignored); off: the right-hand
    // text is compared with as many characters of the left (an empty right matches all).
    bool exact = false;
    // For DTOC, CTOD, CTOTS and {…} date literals (the engine's date format).
    std::string date_format = "MM/dd/ccyy";
    // Two-digit years name the first year from this one on that ends in them.
    int epoch = format::kDefaultEpoch;
    // The code page of the table's 8-bit texts: the texts of expressions on the table (field
    // values, literals, results) are in it; callers convert at the engine's boundary.
    format::CodePage code_page = format::CodePage::Ansi1252;
    // The order of texts; the table's collation. Null: the default ANSI order.
    const StringCollation* collation = nullptr;

    const StringCollation& text_collation() const {
        return collation != nullptr ? *collation : ansi_collation();
    }
};

// The record an expression is evaluated on. Every call refers to the current record; the
// spans and values returned stay valid until the record changes.
class RecordAccess {
  public:
    virtual ~RecordAccess() = default;

    // The raw ADT record image of the current record.
    virtual std::span<const std::uint8_t> record_image() const = 0;

    // The value of a memo or blob field (Memo, Binary, Image, VarChar, NMemo) of the current
    // record: the stored bytes (UTF-16LE for NMemo), nothing for null.
    virtual std::optional<std::string> read_blob(const FieldDescriptor& field) const = 0;

    virtual const ExpressionSettings& settings() const = 0;
};

// A RecordAccess over a record image held by the caller, with an optional reader of memo
// values; for evaluating on a record buffer (a record being appended, a key of a record
// being written) rather than on a cursor's current record.
class ImageRecord final : public RecordAccess {
  public:
    using BlobReader = std::function<std::optional<std::string>(const FieldDescriptor&)>;

    // `image` and `settings` must outlive the ImageRecord.
    ImageRecord(std::span<const std::uint8_t> image, const ExpressionSettings& settings,
                BlobReader blobs = {})
        : image_(image), settings_(settings), blobs_(std::move(blobs)) {}

    std::span<const std::uint8_t> record_image() const override { return image_; }
    std::optional<std::string> read_blob(const FieldDescriptor& field) const override {
        return blobs_ ? blobs_(field) : std::nullopt;
    }
    const ExpressionSettings& settings() const override { return settings_; }

  private:
    std::span<const std::uint8_t> image_;
    const ExpressionSettings& settings_;
    BlobReader blobs_;
};

}  // namespace varelum::engine::expr
