// The engine field descriptions and the engine-to-dataset type mapping (see
// adsdata_fielddefs.h).
#include "ads/adsdata_fielddefs.h"

#include "rtl/text.h"

namespace varelum::ads {

TACEFieldDef& TACEFieldDefs::Add(TACEFieldDef def) {
    FItems.push_back(std::move(def));
    return FItems.back();
}

int TACEFieldDefs::IndexOf(std::string_view fieldName) const {
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (rtl::SameText(FItems[i].FieldName(), fieldName)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool MapAdsFieldType(UNSIGNED16 code, std::uint32_t length, UNSIGNED16 decimals, bool numericsAsBcd,
                     TAdsFieldMapping& mapping) {
    using namespace db;
    const int size = static_cast<int>(length);
    mapping = TAdsFieldMapping{};
    switch (code) {
        case VE_FIELD_LOGICAL:
            mapping.DataType = ftBoolean;
            break;
        case VE_FIELD_NUMERIC:
            if (numericsAsBcd) {
                mapping.DataType = (decimals <= 4 && length <= 18) ? ftBCD : ftFMTBcd;
                mapping.Size = decimals;
                mapping.Precision = decimals > 0 ? size - 2 : size - 1;
            } else {
                mapping.DataType = (decimals > 0 || length >= 5) ? ftFloat : ftSmallint;
            }
            break;
        case VE_FIELD_DATE:
        case VE_FIELD_COMPACTDATE:
            mapping.DataType = ftDate;
            break;
        case VE_FIELD_STRING:
        case VE_FIELD_CISTRING:
        case VE_FIELD_VARCHAR_FOX:
            mapping.DataType = ftString;
            mapping.Size = size;
            break;
        case VE_FIELD_MEMO:
        case VE_FIELD_VARCHAR:
            mapping.DataType = ftMemo;
            mapping.Size = 1;
            break;
        case VE_FIELD_BINARY:
        case VE_FIELD_IMAGE:
        case kAdsFieldBlob51:
        case kAdsFieldBlob52:
            mapping.DataType = ftBlob;
            mapping.Size = 1;
            break;
        case VE_FIELD_DOUBLE:
            mapping.DataType = ftFloat;
            break;
        case VE_FIELD_INTEGER:
            mapping.DataType = ftInteger;
            break;
        case VE_FIELD_SHORTINT:
            mapping.DataType = ftSmallint;
            break;
        case VE_FIELD_TIME:
            mapping.DataType = ftTime;
            break;
        case VE_FIELD_TIMESTAMP:
        case VE_FIELD_MODTIME:
            mapping.DataType = ftDateTime;
            break;
        case VE_FIELD_AUTOINC:
            mapping.DataType = ftAutoInc;
            break;
        case VE_FIELD_RAW:
            mapping.DataType = ftBytes;
            mapping.Size = size;
            break;
        case VE_FIELD_CURDOUBLE:
            mapping.DataType = ftCurrency;
            break;
        case VE_FIELD_MONEY:
            mapping.DataType = ftBCD;
            mapping.Size = 4;
            mapping.Precision = 20;
            break;
        case VE_FIELD_ROWVERSION:
            mapping.DataType = ftBCD;
            mapping.Precision = 20;
            break;
        case VE_FIELD_VARBINARY_FOX:
            mapping.DataType = ftVarBytes;
            mapping.Size = size;
            break;
        case VE_FIELD_NCHAR:
        case VE_FIELD_NVARCHAR:
            // The engine gives these lengths in characters.
            mapping.DataType = ftWideString;
            mapping.Size = size;
            break;
        case VE_FIELD_NMEMO:
            mapping.DataType = ftWideMemo;
            mapping.Size = 1;
            break;
        default:
            return false;
    }
    return true;
}

}  // namespace varelum::ads
