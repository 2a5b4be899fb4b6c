// The schema of a table: its fields in order, where each lies in the record image, and the
// parser of the field text that creates a table ("Name,Char,30;Code,Integer;Born,Date;").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/field_image.h"

namespace varelum::engine {

bool is_known_type(std::uint16_t code);
// The name of a type as the field text spells it ("Char", "Integer", ...).
const char* type_name(FieldType type);

// Largest record image: the components keep record lengths in 16 bits.
constexpr std::uint32_t kMaxRecordLength = 65530;

class TableSchema {
  public:
    TableSchema() = default;
    // Numbers the fields, lays them out one after the other and checks names and sizes.
    explicit TableSchema(std::vector<FieldDescriptor> fields);

    const std::vector<FieldDescriptor>& fields() const { return fields_; }
    std::uint32_t record_length() const { return record_length_; }
    std::uint16_t field_count() const { return static_cast<std::uint16_t>(fields_.size()); }
    // By 1-based number or case-insensitive name; nullptr when there is none.
    const FieldDescriptor* by_number(std::uint32_t number) const;
    const FieldDescriptor* by_name(std::string_view name) const;
    bool has_memo_fields() const { return has_memos_; }
    const FieldDescriptor* autoinc_field() const { return autoinc_; }

  private:
    std::vector<FieldDescriptor> fields_;
    std::uint32_t record_length_ = 0;
    bool has_memos_ = false;
    const FieldDescriptor* autoinc_ = nullptr;
};

// Parses the field text of a new table. Throws VE_INVALID_FIELD_DEFINITION naming the piece
// at fault.
std::vector<FieldDescriptor> parse_field_text(std::string_view text);

}  // namespace varelum::engine
