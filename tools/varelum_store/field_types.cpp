// Names and kinds of the engine's field types (see field_types.h).
#include "field_types.h"

namespace varelum::store {

ValueKind value_kind(UNSIGNED16 type) {
    switch (type) {
        case VE_FIELD_STRING:
        case VE_FIELD_CISTRING:
        case VE_FIELD_NCHAR:
            return ValueKind::FixedText;
        case VE_FIELD_MEMO:
        case VE_FIELD_VARCHAR:
        case VE_FIELD_NMEMO:
        case VE_FIELD_VARCHAR_FOX:
        case VE_FIELD_NVARCHAR:
            return ValueKind::Text;
        case VE_FIELD_LOGICAL:
            return ValueKind::Logical;
        case VE_FIELD_INTEGER:
        case VE_FIELD_SHORTINT:
        case VE_FIELD_AUTOINC:
        case VE_FIELD_ROWVERSION:
            return ValueKind::Integer;
        case VE_FIELD_NUMERIC:
        case VE_FIELD_MONEY:
            return ValueKind::Decimal;
        case VE_FIELD_DOUBLE:
        case VE_FIELD_CURDOUBLE:
            return ValueKind::Float;
        case VE_FIELD_DATE:
        case VE_FIELD_COMPACTDATE:
            return ValueKind::Date;
        case VE_FIELD_TIME:
            return ValueKind::Time;
        case VE_FIELD_TIMESTAMP:
        case VE_FIELD_MODTIME:
            return ValueKind::TimeStamp;
        case VE_FIELD_BINARY:
        case VE_FIELD_IMAGE:
        case VE_FIELD_RAW:
        case VE_FIELD_VARBINARY_FOX:
            return ValueKind::Bytes;
        default:
            return ValueKind::Other;
    }
}

bool is_engine_maintained(UNSIGNED16 type) {
    return type == VE_FIELD_AUTOINC || type == VE_FIELD_ROWVERSION || type == VE_FIELD_MODTIME;
}

std::string type_name(UNSIGNED16 type) {
    switch (type) {
        case VE_FIELD_LOGICAL:
            return "Logical";
        case VE_FIELD_NUMERIC:
            return "Numeric";
        case VE_FIELD_DATE:
            return "Date";
        case VE_FIELD_STRING:
            return "Char";
        case VE_FIELD_MEMO:
            return "Memo";
        case VE_FIELD_BINARY:
            return "Binary";
        case VE_FIELD_IMAGE:
            return "Image";
        case VE_FIELD_VARCHAR:
            return "VarChar";
        case VE_FIELD_COMPACTDATE:
            return "CompactDate";
        case VE_FIELD_DOUBLE:
            return "Double";
        case VE_FIELD_INTEGER:
            return "Integer";
        case VE_FIELD_SHORTINT:
            return "ShortInt";
        case VE_FIELD_TIME:
            return "Time";
        case VE_FIELD_TIMESTAMP:
            return "TimeStamp";
        case VE_FIELD_AUTOINC:
            return "AutoInc";
        case VE_FIELD_RAW:
            return "Raw";
        case VE_FIELD_CURDOUBLE:
            return "CurDouble";
        case VE_FIELD_MONEY:
            return "Money";
        case VE_FIELD_CISTRING:
            return "CIChar";
        case VE_FIELD_ROWVERSION:
            return "RowVersion";
        case VE_FIELD_MODTIME:
            return "ModTime";
        case VE_FIELD_VARCHAR_FOX:
            return "VarCharFox";
        case VE_FIELD_VARBINARY_FOX:
            return "VarBinaryFox";
        case VE_FIELD_NCHAR:
            return "NChar";
        case VE_FIELD_NVARCHAR:
            return "NVarChar";
        case VE_FIELD_NMEMO:
            return "NMemo";
        default:
            return "type " + std::to_string(type);
    }
}

bool definition_has_length(UNSIGNED16 type) {
    switch (type) {
        case VE_FIELD_NUMERIC:
        case VE_FIELD_STRING:
        case VE_FIELD_CISTRING:
        case VE_FIELD_RAW:
        case VE_FIELD_VARCHAR_FOX:
        case VE_FIELD_VARBINARY_FOX:
        case VE_FIELD_NCHAR:
        case VE_FIELD_NVARCHAR:
            return true;
        default:
            return false;
    }
}

bool definition_has_decimals(UNSIGNED16 type) {
    return type == VE_FIELD_NUMERIC || type == VE_FIELD_DOUBLE || type == VE_FIELD_CURDOUBLE;
}

std::string field_definition(const FieldInfo& field) {
    std::string piece = field.name + "," + type_name(field.type);
    if (definition_has_length(field.type)) {
        piece += "," + std::to_string(field.length);
        if (field.type == VE_FIELD_NUMERIC) {
            piece += "," + std::to_string(field.decimals);
        }
    } else if (definition_has_decimals(field.type) && field.decimals > 0) {
        // Double and CurDouble take their decimals in the length's place.
        piece += "," + std::to_string(field.decimals);
    }
    return piece + ";";
}

bool is_code_page_text(UNSIGNED16 type) {
    return type == VE_FIELD_STRING || type == VE_FIELD_CISTRING || type == VE_FIELD_MEMO ||
           type == VE_FIELD_VARCHAR || type == VE_FIELD_VARCHAR_FOX;
}

bool is_unicode_text(UNSIGNED16 type) {
    return type == VE_FIELD_NCHAR || type == VE_FIELD_NVARCHAR || type == VE_FIELD_NMEMO;
}

}  // namespace varelum::store
