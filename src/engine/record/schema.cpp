// Field layout and the field text parser (see schema.h).
#include "engine/record/schema.h"

#include <charconv>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

struct TypeSpelling {
    const char* name;
    FieldType type;
};

// Spellings the field text accepts, compared without regard to case; the first spelling of
// each type is the one type_name gives.
constexpr TypeSpelling kSpellings[] = {
    {"Logical", FieldType::Logical},
    {"Numeric", FieldType::Numeric},
    {"Num", FieldType::Numeric},
    {"Date", FieldType::Date},
    {"CompactDate", FieldType::CompactDate},
    {"Char", FieldType::String},
    {"Character", FieldType::String},
    {"String", FieldType::String},
    {"CIChar", FieldType::CIString},
    {"CICharacter", FieldType::CIString},
    {"Memo", FieldType::Memo},
    {"Binary", FieldType::Binary},
    {"Blob", FieldType::Binary},
    {"Image", FieldType::Image},
    {"VarChar", FieldType::VarChar},
    {"Double", FieldType::Double},
    {"Integer", FieldType::Integer},
    {"ShortInt", FieldType::ShortInt},
    {"Short", FieldType::ShortInt},
    {"Time", FieldType::Time},
    {"TimeStamp", FieldType::TimeStamp},
    {"AutoInc", FieldType::AutoInc},
    {"Raw", FieldType::Raw},
    {"CurDouble", FieldType::CurDouble},
    {"Money", FieldType::Money},
    {"RowVersion", FieldType::RowVersion},
    {"ModTime", FieldType::ModTime},
    {"VarCharFox", FieldType::VarCharFox},
    {"VarBinaryFox", FieldType::VarBinaryFox},
    {"NChar", FieldType::NChar},
    {"NVarChar", FieldType::NVarChar},
    {"NMemo", FieldType::NMemo},
};

bool needs_length(FieldType type) {
    switch (type) {
        case FieldType::Numeric:
        case FieldType::String:
        case FieldType::CIString:
        case FieldType::Raw:
        case FieldType::VarCharFox:
        case FieldType::VarBinaryFox:
        case FieldType::NChar:
        case FieldType::NVarChar:
            return true;
        default:
            return false;
    }
}

// Fixed declared lengths of the types whose text gives none.
std::uint32_t fixed_length(FieldType type) {
    switch (type) {
        case FieldType::Logical:
            return 1;
        case FieldType::CompactDate:
            return 3;
        case FieldType::Date:
            return 4;
        case FieldType::Double:
        case FieldType::CurDouble:
        case FieldType::TimeStamp:
        case FieldType::ModTime:
        case FieldType::Money:
        case FieldType::RowVersion:
            return 8;
        case FieldType::Integer:
        case FieldType::Time:
        case FieldType::AutoInc:
            return 4;
        case FieldType::ShortInt:
            return 2;
        default:
            return format::kMemoSlotSize;
    }
}

[[noreturn]] void bad_piece(std::string_view piece, std::string_view why) {
    std::string detail = "\"";
    detail += piece;
    detail += "\": ";
    detail += why;
    fail(VE_INVALID_FIELD_DEFINITION, detail);
}

std::uint32_t parse_number(std::string_view piece, const std::string& text) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        bad_piece(piece, "\"" + text + "\" is not a length");
    }
    return value;
}

}  // namespace

bool is_known_type(std::uint16_t code) {
    return code >= 1 && code <= 28 && code != 19 && code != 25;
}

const char* type_name(FieldType type) {
    for (const auto& spelling : kSpellings) {
        if (spelling.type == type) {
            return spelling.name;
        }
    }
    return "Unknown";
}

TableSchema::TableSchema(std::vector<FieldDescriptor> fields) : fields_(std::move(fields)) {
    if (fields_.empty()) {
        fail(VE_INVALID_FIELD_DEFINITION, "a table needs at least one field");
    }
    if (fields_.size() > 65000) {
        fail(VE_INVALID_FIELD_DEFINITION, "too many fields");
    }
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        FieldDescriptor& field = fields_[i];
        field.number = static_cast<std::uint16_t>(i + 1);
        field.offset = offset;
        field.nullable = field.type != FieldType::AutoInc && field.type != FieldType::RowVersion;
        offset += format::field_image_size(field);
        if (offset > kMaxRecordLength) {
            fail(VE_INVALID_FIELD_DEFINITION, "the record is longer than " +
                                                  std::to_string(kMaxRecordLength) +
                                                  " bytes from the field " + field.name + " on");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (iequals(fields_[j].name, field.name)) {
                fail(VE_INVALID_FIELD_DEFINITION, "the field name " + field.name + " repeats");
            }
        }
        has_memos_ = has_memos_ || format::is_memo_type(field.type);
    }
    record_length_ = offset;
    for (const auto& field : fields_) {
        if (field.type == FieldType::AutoInc && autoinc_ == nullptr) {
            autoinc_ = &field;
        }
    }
}

const FieldDescriptor* TableSchema::by_number(std::uint32_t number) const {
    return number >= 1 && number <= fields_.size() ? &fields_[number - 1] : nullptr;
}

const FieldDescriptor* TableSchema::by_name(std::string_view name) const {
    for (const auto& field : fields_) {
        if (iequals(field.name, name)) {
            return &field;
        }
    }
    return nullptr;
}

std::vector<FieldDescriptor> parse_field_text(std::string_view text) {
    std::vector<FieldDescriptor> fields;
    for (const std::string& piece : split_trimmed(text, ';')) {
        if (piece.empty()) {
            continue;  // the text usually ends with ";"
        }
        std::vector<std::string> parts = split_trimmed(piece, ',');
        if (parts.size() < 2 || parts.size() > 4) {
            bad_piece(piece, "expected name,type[,length[,decimals]]");
        }
        FieldDescriptor field;
        field.name = parts[0];
        if (field.name.empty() || field.name.size() > 128) {
            bad_piece(piece, "a field name has 1 to 128 characters");
        }
        const TypeSpelling* spelling = nullptr;
        for (const auto& candidate : kSpellings) {
            if (iequals(candidate.name, parts[1])) {
                spelling = &candidate;
            }
        }
        if (spelling == nullptr) {
            bad_piece(piece, "unknown field type \"" + parts[1] + "\"");
        }
        field.type = spelling->type;
        std::uint32_t first = parts.size() > 2 ? parse_number(piece, parts[2]) : 0;
        std::uint32_t second = parts.size() > 3 ? parse_number(piece, parts[3]) : 0;
        if (needs_length(field.type)) {
            if (parts.size() < 3) {
                bad_piece(piece, std::string(type_name(field.type)) + " needs a length");
            }
            field.length = first;
            std::uint32_t limit =
                field.type == FieldType::Numeric ? 32
                : (field.type == FieldType::NChar || field.type == FieldType::NVarChar)
                    ? kMaxRecordLength / 2 - 1
                    : kMaxRecordLength - 2;
            if (field.length < 1 || field.length > limit) {
                bad_piece(piece, "the length must be 1 to " + std::to_string(limit));
            }
            if (field.type == FieldType::Numeric) {
                // Room for the point and at least one digit before it.
                if (second > 0 && (field.length < 3 || second > field.length - 2)) {
                    bad_piece(piece, "too many decimals for the length");
                }
                field.decimals = static_cast<std::uint16_t>(second);
            } else if (parts.size() > 3) {
                bad_piece(piece, "only Numeric fields take decimals");
            }
        } else {
            field.length = fixed_length(field.type);
            if (field.type == FieldType::Double || field.type == FieldType::CurDouble) {
                if (first > 20) {
                    bad_piece(piece, "at most 20 decimals");
                }
                field.decimals = static_cast<std::uint16_t>(first);
            }
            // Any other number (a length given for a fixed-size type) is ignored.
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

}  // namespace varelum::engine
