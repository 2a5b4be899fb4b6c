// Field texts and index definitions of new tables and indexes (adsdata_maintenance.h).
#include <algorithm>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_fielddefs.h"
#include "ads/adsdata_maintenance.h"
#include "rtl/code_page.h"

namespace varelum::ads {
namespace {

constexpr const char* kCaseInsensitiveExpression =
    "ixCaseInsensitive is not supported with ixExpression indexes";

[[noreturn]] void RaiseUnsupportedType(const char* typeName) {
    RaiseAdsComponentError(nullptr, std::string(typeName) + " is not a supported field type.");
}

std::vector<std::string> SplitFieldList(const std::string& fields) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start <= fields.size()) {
        std::size_t end = fields.find(';', start);
        if (end == std::string::npos) {
            end = fields.size();
        }
        entries.push_back(fields.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

}  // namespace

std::string FieldTypeText(const db::TFieldDef& def, UNSIGNED16 tableType) {
    const bool adt = tableType == kAceTableADT;
    const std::string size = std::to_string(def.Size());
    switch (def.DataType()) {
        case db::ftString:
            return "Char," + size + ";";
        case db::ftSmallint:
            return adt ? "ShortInt;" : "Num,6,0;";
        case db::ftInteger:
            return adt ? "Integer;" : "Num,11,0;";
        case db::ftBoolean:
            return "Logical;";
        case db::ftFloat:
            return adt ? "Double,6;" : "Num,20,4;";
        case db::ftCurrency:
            if (!adt) {
                RaiseUnsupportedType("ftCurrency");
            }
            return "CurDouble,6;";
        case db::ftBCD:
            if (!adt) {
                RaiseUnsupportedType("ftBCD");
            }
            return "Money;";
        case db::ftDate:
            return "Date;";
        case db::ftTime:
            if (!adt) {
                RaiseUnsupportedType("ftTime");
            }
            return "Time;";
        case db::ftDateTime:
            if (!adt) {
                RaiseUnsupportedType("ftDateTime");
            }
            return "TimeStamp;";
        case db::ftBytes:
            return (adt ? "Raw," : "Char,") + size + ";";
        case db::ftVarBytes:
        case db::ftBlob:
            return "Binary;";
        case db::ftAutoInc:
            if (!adt) {
                RaiseUnsupportedType("ftAutoInc");
            }
            return "AutoInc;";
        case db::ftMemo:
            return "Memo;";
        case db::ftWideString:
            return "NChar," + size + ";";
        case db::ftFMTBcd: {
            const int digits = def.Size() != 0 ? def.Precision() + 2 : def.Precision() + 1;
            return "Num," + std::to_string(digits) + "," + size + ";";
        }
        case db::ftWideMemo:
            return "NMemo;";
        case db::ftUnknown:
            RaiseUnsupportedType("ftUnknown");
    }
    return {};
}

std::string FieldDefsText(const db::TFieldDefs& defs, UNSIGNED16 tableType) {
    std::string text;
    for (const auto& def : defs) {
        text += def->Name() + "," + FieldTypeText(*def, tableType);
    }
    return text;
}

std::string CaseInsensitiveIndexExpression(ADSHANDLE hTable, const std::string& fields) {
    std::string result;
    UNSIGNED16 type = 0;
    bool first = true;
    for (const std::string& entry : SplitFieldList(fields)) {
        if (entry.empty()) {
            break;
        }
        // Not checked: a name the table does not know leaves the type of the entry before.
        const std::string name = rtl::Utf8ToAnsi(entry);
        (void)ace::AdsGetFieldType(hTable, Text8(name), &type);
        if (!first) {
            result += ';';
        }
        first = false;
        const bool plainString = type == VE_FIELD_STRING || type == VE_FIELD_VARCHAR_FOX ||
                                 type == VE_FIELD_NCHAR || type == VE_FIELD_NVARCHAR;
        result += plainString ? "UPPER(" + entry + ")" : entry;
    }
    return result;
}

std::string PlusJoinedFields(std::string fields) {
    std::replace(fields.begin(), fields.end(), ';', '+');
    return fields;
}

UNSIGNED32 AceIndexOptions(db::TIndexOptions options, UNSIGNED16 tableType, bool compound) {
    UNSIGNED32 engineOptions = 0;
    if ((options & db::ixUnique) != 0) {
        engineOptions |= tableType == kAceTableVFP ? VE_INDEX_CANDIDATE : VE_INDEX_UNIQUE;
    }
    if ((options & db::ixDescending) != 0) {
        engineOptions |= VE_INDEX_DESCENDING;
    }
    if (compound) {
        engineOptions |= VE_INDEX_COMPOUND;
    }
    return engineOptions;
}

void CreateIndexFromDef(ADSHANDLE hTable, UNSIGNED16 tableType, const db::TIndexDef& def,
                        const std::string& collation, UNSIGNED32 pageSize) {
    const db::TIndexOptions options = def.Options();
    if ((options & db::ixExpression) != 0 && (options & db::ixCaseInsensitive) != 0) {
        RaiseAdsComponentError(nullptr, kCaseInsensitiveExpression);
    }
    // NTX files hold one index each, named by the file; every other type keeps tags.
    const bool singleFile = tableType == kAceTableNTX;
    std::string expression;
    if ((options & db::ixExpression) != 0) {
        expression = def.Expression();
    } else {
        expression = def.Fields();
        if ((options & db::ixCaseInsensitive) != 0) {
            expression = CaseInsensitiveIndexExpression(hTable, expression);
        }
        if (tableType != kAceTableADT) {
            expression = PlusJoinedFields(expression);
        }
    }
    const std::string name = rtl::Utf8ToAnsi(def.Name());
    const std::string key = rtl::Utf8ToAnsi(expression);
    const std::string engineCollation = rtl::Utf8ToAnsi(collation);
    ADSHANDLE index = 0;
    CheckAceResult(nullptr,
                   ace::AdsCreateIndex90(hTable, singleFile ? Text8(name) : nullptr,
                                         singleFile ? nullptr : Text8(name), Text8(key), nullptr,
                                         nullptr, AceIndexOptions(options, tableType, !singleFile),
                                         pageSize, Text8(engineCollation), &index));
}

}  // namespace varelum::ads
