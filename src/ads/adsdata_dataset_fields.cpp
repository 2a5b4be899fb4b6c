// TAdsDataSet: field definitions from the engine, field reads and writes through the record
// image, new-record images with engine defaults and default expressions, record images read
// from the engine, blob streams and the binary switch of memo fields (see adsdata_cursor.h).
#include <cmath>
#include <cstring>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "db/db_messages.h"
#include "db/field.h"
#include "rtl/bcd.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"
#include "rtl/number_text.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr UNSIGNED16 kFieldNameCapacity = 128;
constexpr std::int32_t kDateDelta = 693594;
constexpr double kMillisecondsPerDay = 86400000.0;

bool IsTextType(UNSIGNED16 type) {
    return type == VE_FIELD_STRING || type == VE_FIELD_CISTRING || type == VE_FIELD_VARCHAR_FOX;
}

bool IsWideTextType(UNSIGNED16 type) {
    return type == VE_FIELD_NCHAR || type == VE_FIELD_NVARCHAR;
}

// Bytes the conversion of an engine field into dataType writes (or reads from a value).
std::size_t ConvertedSize(const TACEFieldDef& def, db::TFieldType dataType) {
    const int length = static_cast<int>(def.Length());
    if (dataType == db::ftWideString) {
        return db::NativeDataSize(dataType, length / 2);
    }
    if (dataType == db::ftString || dataType == db::ftBytes || dataType == db::ftVarBytes) {
        return db::NativeDataSize(dataType, length);
    }
    return db::NativeDataSize(dataType, 0);
}

bool IsEditState(db::TDataSetState state) {
    return state == db::dsEdit || state == db::dsInsert;
}

}  // namespace

TFieldConversionContext TAdsDataSet::ConversionContext() const {
    TFieldConversionContext context;
    context.AceTableType = musAceTableType;
    context.DataSetIsAdt = TableType() == ttAdsADT;
    context.PreserveSpaces = mpoAdsTableOptions->AdsPreserveSpaces();
    context.Engine = &FImageEngine;
    return context;
}

// --- Field definitions ---------------------------------------------------------------------

void TAdsDataSet::DescribeFields() {
    DescribeHandle(mlHandle);
}

void TAdsDataSet::InitFieldDefs() {
    // A closed dataset opens its cursor for as long as it takes to describe it.
    const ADSHANDLE handle = OpenEngineCursor();
    try {
        DescribeHandle(handle);
    } catch (...) {
        ace::AdsCloseTable(handle);
        throw;
    }
    Check(ace::AdsCloseTable(handle));
}

void TAdsDataSet::DescribeHandle(ADSHANDLE handle) {
    UNSIGNED16 count = 0;
    Check(ace::AdsGetNumFields(handle, &count));
    FieldDefs().Clear();
    FACEFieldDefs.Clear();
    for (UNSIGNED16 number = 1; number <= count; ++number) {
        DescribeOneField(handle, number);
    }
}

void TAdsDataSet::DescribeOneField(ADSHANDLE handle, UNSIGNED16 number) {
    const UNSIGNED8* field = ADSFIELD(number);
    UNSIGNED16 type = 0;
    UNSIGNED32 length = 0;
    Check(ace::AdsGetFieldType(handle, field, &type));
    Check(ace::AdsGetFieldLength(handle, field, &length));
    UNSIGNED16 decimals = 0;
    if (type == VE_FIELD_NUMERIC) {
        Check(ace::AdsGetFieldDecimals(handle, field, &decimals));
    }
    UNSIGNED16 tableType = musAceTableType;
    if (handle != mlHandle || tableType == 0) {
        Check(ace::AdsGetTableType(handle, &tableType));
    }
    const bool numericsAsBcd =
        tableType == kAceTableADT && !mpoAdsTableOptions->AdsNumericsAsFloats();
    TAdsFieldMapping mapping;
    if (!MapAdsFieldType(type, length, decimals, numericsAsBcd, mapping)) {
        RaiseError("Unknown field type (" + std::to_string(type) + ") encountered.");
    }
    UNSIGNED8 nameBuffer[kFieldNameCapacity + 1] = {};
    UNSIGNED16 nameLength = kFieldNameCapacity + 1;
    Check(ace::AdsGetFieldName(handle, number, nameBuffer, &nameLength));
    const std::string name =
        rtl::AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(nameBuffer),
                                         std::min<std::size_t>(nameLength, kFieldNameCapacity)));
    if (!strBinaryFieldName.empty() && rtl::SameText(name, strBinaryFieldName) &&
        db::IsBlobType(mapping.DataType)) {
        mapping.DataType = db::ftBlob;
    }
    db::TFieldDef& def = FieldDefs().Add(name, mapping.DataType, mapping.Size, false);
    if (mapping.Precision > 0) {
        try {
            def.SetPrecision(mapping.Precision);
        } catch (const rtl::Exception&) {
            // A precision the definition refuses is only a display hint; the field works
            // without it.
        }
    }
    UNSIGNED16 nullable = 0;
    Check(ace::AdsIsNullable(handle, field, &nullable));
    UNSIGNED32 offset = 0;
    Check(ace::AdsGetFieldOffset(handle, field, &offset));
    UNSIGNED8 permissions = 0;
    Check(ace::AdsGetColumnPermissions(handle, field, &permissions));
    const std::uint32_t bytes = IsWideTextType(type) ? length * 2 : length;
    FACEFieldDefs.Add(
        TACEFieldDef(name, number, offset, bytes, type, decimals, permissions, nullable != 0));
}

// --- Reading fields --------------------------------------------------------------------------

bool TAdsDataSet::IsBlobValueNull(const TACEFieldDef& def, const db::TField& field,
                                  db::TRecordBuffer buffer) const {
    if (field.BlobIndex() >= 0) {
        const TAdsBlobCache* cache = BlobCache(buffer, field.BlobIndex());
        if (cache->IsCacheModified()) {
            return cache->Size() == 0;
        }
    }
    return IsRawValueNull(def, buffer, ConversionContext());
}

bool TAdsDataSet::GetFieldData(const db::TField& field, void* out) const {
    db::TRecordBuffer buffer = StateRecordBuffer();
    if (buffer == nullptr) {
        return false;
    }
    const int number = field.FieldNo();
    if (number > 0) {
        if (number > FACEFieldDefs.Count()) {
            return false;
        }
        const TACEFieldDef& def = FACEFieldDefs[number - 1];
        const TFieldConversionContext context = ConversionContext();
        const bool isNull = IsEditState(State()) && IsAdsMemoType(def.FieldType())
                                ? IsBlobValueNull(def, field, buffer)
                                : IsRawValueNull(def, buffer, context);
        if (!isNull && out != nullptr) {
            const std::size_t needed = ConvertedSize(def, field.DataType());
            if (needed <= field.DataSize() || db::IsBlobType(field.DataType())) {
                ConvertFieldToNative(def, buffer, field.DataType(), out, context);
            } else {
                // A persistent field smaller than its engine field gets the value cut to its
                // own size, never more bytes than it holds.
                std::vector<std::uint8_t> value(needed, 0);
                ConvertFieldToNative(def, buffer, field.DataType(), value.data(), context);
                std::memcpy(out, value.data(), field.DataSize());
                auto* bytes = static_cast<std::uint8_t*>(out);
                if (field.DataType() == db::ftString) {
                    bytes[field.DataSize() - 1] = 0;
                } else if (field.DataType() == db::ftWideString) {
                    bytes[field.DataSize() - 1] = 0;
                    bytes[field.DataSize() - 2] = 0;
                }
            }
        }
        return !isNull;
    }
    switch (State()) {
        case db::dsBrowse:
        case db::dsEdit:
        case db::dsInsert:
        case db::dsCalcFields:
        case db::dsFilter:
            return GetCalcFieldData(field, buffer, out);
        default:
            return false;
    }
}

// --- Writing fields --------------------------------------------------------------------------

bool TAdsDataSet::ActiveIndexIsSegmentOf(const db::TField& field) {
    if (mlActiveHandle == mlHandle || mlActiveHandle == kNoAdsHandle) {
        return true;
    }
    UNSIGNED16 segments = 0;
    if (ace::AdsGetNumSegments(mlActiveHandle, &segments) != VE_SUCCESS || segments == 0) {
        return true;
    }
    // The engine counts segments from 0.
    for (UNSIGNED16 segment = 0; segment < segments; ++segment) {
        UNSIGNED8 name[kSegmentNameCapacity + 1] = {};
        UNSIGNED16 length = kSegmentNameCapacity + 1;
        Check(ace::AdsGetSegmentFieldname(mlActiveHandle, segment, name, &length));
        if (rtl::SameText(rtl::AnsiToUtf8(std::string_view(reinterpret_cast<char*>(name), length)),
                          field.FieldName())) {
            return true;
        }
    }
    return false;
}

void TAdsDataSet::WriteFieldValue(db::TField& field, const void* value) {
    const db::TDataSetState state = State();
    switch (state) {
        case db::dsEdit:
        case db::dsInsert:
        case db::dsSetKey:
        case db::dsCalcFields:
        case db::dsFilter:
        case db::dsNewValue:
        case db::dsInternalCalc:
            break;
        default:
            RaiseError(db::msg::SNotEditing);
    }
    if (state == db::dsSetKey && (field.FieldNo() < 0 || !ActiveIndexIsSegmentOf(field))) {
        db::DatabaseErrorFmt(db::msg::SNotIndexField, {field.DisplayName()}, this);
    }
    db::TRecordBuffer buffer = StateRecordBuffer();
    if (buffer == nullptr) {
        RaiseError(db::msg::SNotEditing);
    }
    const int number = field.FieldNo();
    if (number <= 0) {
        SetCalcFieldData(field, buffer, value);
    } else {
        if (state == db::dsCalcFields) {
            RaiseError(db::msg::SNotEditing);
        }
        if (field.ReadOnly() && state != db::dsSetKey && state != db::dsFilter) {
            db::DatabaseErrorFmt(db::msg::SFieldReadOnly, {field.DisplayName()}, this);
        }
        if (IsEditState(state)) {
            field.Validate(value);
        }
        TACEFieldDef& def = FACEFieldDefs[number - 1];
        if (field.FieldKind() != db::fkInternalCalc) {
            if (state == db::dsEdit && (def.Permissions() & kAdsPermissionUpdate) == 0) {
                const std::string text =
                    "Update permission not granted on this field: " + field.FieldName() + ".";
                Check(ace::AdsSetLastError(VE_PERMISSION_DENIED,
                                           reinterpret_cast<const UNSIGNED8*>(text.c_str())));
            }
            if (state == db::dsInsert && (def.Permissions() & kAdsPermissionInsert) == 0) {
                const std::string text =
                    "Insert permission not granted on this field: " + field.FieldName() + ".";
                Check(ace::AdsSetLastError(VE_PERMISSION_DENIED,
                                           reinterpret_cast<const UNSIGNED8*>(text.c_str())));
            }
            const std::size_t needed = ConvertedSize(def, field.DataType());
            if (value != nullptr && needed > field.DataSize()) {
                // The conversion may read a whole engine field's worth of value; a smaller
                // persistent field hands over what it has, padded.
                std::vector<std::uint8_t> padded(needed, 0);
                std::memcpy(padded.data(), value, field.DataSize());
                ConvertNativeToField(def, field.DataType(), padded.data(), buffer,
                                     ConversionContext());
            } else {
                ConvertNativeToField(def, field.DataType(), value, buffer, ConversionContext());
            }
            def.SetModified(true);
            // A memo value reaches the engine only through its blob cache; a cleared one must
            // go that way too, or the post would leave the old value in place.
            if (value == nullptr && IsEditState(state) && IsAdsMemoType(def.FieldType()) &&
                field.BlobIndex() >= 0) {
                BlobCache(buffer, field.BlobIndex())
                    ->ClearValue(mlHandle, static_cast<UNSIGNED32>(number),
                                 BufferBookmarkRecord(buffer));
            }
        }
        if (state == db::dsSetKey && mpstKeyBuffer != nullptr) {
            if (mpstKeyBuffer->KeyLengths.size() < FACEFieldDefs.Count() + std::size_t{0}) {
                mpstKeyBuffer->KeyLengths.resize(static_cast<std::size_t>(FACEFieldDefs.Count()));
            }
            std::uint16_t keyLength = 1;
            if (field.DataType() == db::ftString) {
                keyLength =
                    value == nullptr
                        ? 0
                        : static_cast<std::uint16_t>(std::strlen(static_cast<const char*>(value)));
            } else if (field.DataType() == db::ftWideString) {
                keyLength =
                    value == nullptr
                        ? 0
                        : static_cast<std::uint16_t>(
                              std::u16string_view(static_cast<const char16_t*>(value)).size());
            }
            mpstKeyBuffer->KeyLengths[static_cast<std::size_t>(number - 1)] = keyLength;
        }
    }
    if (state != db::dsCalcFields && state != db::dsFilter && state != db::dsNewValue) {
        DataEvent(db::deFieldChange, &field);
    }
}

// --- New records --------------------------------------------------------------------------------

void TAdsDataSet::InitRecordImage(db::TRecordBuffer buffer) {
    Check(ace::AdsClearRecordBuffer(mlHandle, buffer, musRecordSize));
    const bool editing = State() == db::dsEdit;
    for (TACEFieldDef& def : FACEFieldDefs) {
        def.SetModified(editing);
        const UNSIGNED16 type = def.FieldType();
        if (type == VE_FIELD_AUTOINC) {
            const std::uint32_t marker = musAceTableType == kAceTableVFP ? 0 : 0xFFFFFFFFu;
            std::memcpy(buffer + def.Offset(), &marker, sizeof marker);
            continue;
        }
        if (IsAdsMemoType(type)) {
            continue;
        }
        db::TField* field = FindField(def.FieldName());
        if (field != nullptr && !field->DefaultExpression().empty()) {
            ApplyDefaultExpression(def, *field, buffer);
            def.SetModified(true);
        }
    }
    const db::TDataSetState state = State();
    if (BlobFieldCount() > 0 &&
        (state == db::dsBrowse || state == db::dsEdit || state == db::dsInsert ||
         state == db::dsCalcFields || state == db::dsNewValue)) {
        ClearBlobCaches(buffer);
    }
}

void TAdsDataSet::ApplyDefaultExpression(const TACEFieldDef& def, db::TField& field,
                                         db::TRecordBuffer buffer) {
    const std::string expression = rtl::Trim(field.DefaultExpression());
    const TFieldConversionContext context = ConversionContext();
    auto write = [&](db::TFieldType type, const void* value) {
        ConvertNativeToField(def, type, value, buffer, context);
    };
    try {
        switch (def.FieldType()) {
            case VE_FIELD_LOGICAL: {
                const std::string upper = rtl::UpperCase(expression);
                const std::int16_t value =
                    (upper == "TRUE" || upper == "T" || upper == ".T." || upper == "1") ? -1 : 0;
                write(db::ftBoolean, &value);
                break;
            }
            case VE_FIELD_NUMERIC:
                if (musAceTableType == kAceTableADT && !mpoAdsTableOptions->AdsNumericsAsFloats()) {
                    const rtl::TBcd value = rtl::StrToBcd(expression);
                    write(db::ftBCD, &value);
                } else {
                    const double value = rtl::StrToFloat(expression);
                    write(db::ftFloat, &value);
                }
                break;
            case VE_FIELD_DOUBLE:
            case VE_FIELD_CURDOUBLE: {
                const double value = rtl::StrToFloat(expression);
                write(db::ftFloat, &value);
                break;
            }
            case VE_FIELD_DATE:
            case VE_FIELD_COMPACTDATE: {
                const auto value =
                    static_cast<std::int32_t>(std::trunc(rtl::StrToDate(expression))) + kDateDelta;
                write(db::ftDate, &value);
                break;
            }
            case VE_FIELD_STRING:
            case VE_FIELD_CISTRING:
            case VE_FIELD_VARCHAR_FOX:
            case VE_FIELD_NCHAR:
            case VE_FIELD_NVARCHAR: {
                if (expression.size() < 2 || expression.front() != '\'' ||
                    expression.back() != '\'') {
                    break;
                }
                const std::string text = rtl::AnsiDequotedStr(expression, '\'');
                if (IsTextType(def.FieldType())) {
                    const std::string ansi = rtl::Utf8ToAnsi(text);
                    write(db::ftString, ansi.c_str());
                } else {
                    const std::u16string wide = rtl::Utf8ToUtf16(text);
                    write(db::ftWideString, wide.c_str());
                }
                break;
            }
            case VE_FIELD_INTEGER:
            case VE_FIELD_SHORTINT: {
                const std::int64_t value = rtl::StrToInt64(expression);
                const bool shortOutOfRange =
                    def.FieldType() == VE_FIELD_SHORTINT && (value < -32767 || value > 32767);
                if (shortOutOfRange || value <= INT32_MIN || value > INT32_MAX) {
                    throw EADSDatabaseError(nullptr, 0, "Numeric out of range:" + expression);
                }
                const auto native = static_cast<std::int32_t>(value);
                if (def.FieldType() == VE_FIELD_SHORTINT) {
                    const auto shortValue = static_cast<std::int16_t>(native);
                    write(db::ftSmallint, &shortValue);
                } else {
                    write(db::ftInteger, &native);
                }
                break;
            }
            case VE_FIELD_TIME: {
                const double time = rtl::StrToTime(expression);
                const auto value = static_cast<std::int32_t>(
                    std::round((time - std::trunc(time)) * kMillisecondsPerDay));
                write(db::ftTime, &value);
                break;
            }
            case VE_FIELD_TIMESTAMP:
            case VE_FIELD_MODTIME: {
                const double value =
                    (rtl::StrToDateTime(expression) + kDateDelta) * kMillisecondsPerDay;
                write(db::ftDateTime, &value);
                break;
            }
            case VE_FIELD_MONEY:
            case VE_FIELD_ROWVERSION: {
                const rtl::TBcd value = rtl::StrToBcd(expression);
                write(db::ftBCD, &value);
                break;
            }
            default:
                break;
        }
    } catch (const rtl::Exception& error) {
        throw EADSDatabaseError(
            this, 0,
            "Error setting default field value. (" + field.DisplayName() + ")\r\n" + error.what());
    }
}

// --- Reading record images ------------------------------------------------------------------

void TAdsDataSet::ReadRecordImage(db::TRecordBuffer buffer, std::uint32_t capacity,
                                  bool withCalcFields) {
    UNSIGNED32 length = capacity;
    Check(ace::AdsGetRecord(mlHandle, buffer, &length));
    const ADSHANDLE order =
        (mlActiveHandle != kNoAdsHandle && mlActiveHandle != 0) ? mlActiveHandle : mlHandle;
    UNSIGNED32 bookmarkLength = static_cast<UNSIGNED32>(BookmarkSize());
    Check(ace::AdsGetBookmark60(order, buffer + musBookmarkOfs, &bookmarkLength));

    const db::TDataSetState state = State();
    if (BlobFieldCount() > 0) {
        for (const TACEFieldDef& def : FACEFieldDefs) {
            if (!IsAdsMemoType(def.FieldType())) {
                continue;
            }
            UNSIGNED16 empty = 0;
            UNSIGNED16 isNull = 0;
            Check(ace::AdsIsEmpty(mlHandle, ADSFIELD(def.FieldNumber()), &empty));
            Check(ace::AdsIsNull(mlHandle, ADSFIELD(def.FieldNumber()), &isNull));
            const std::uint32_t marker = (empty || isNull) ? 0 : 0xFFFFFFFFu;
            std::memcpy(buffer + def.Offset(), &marker, sizeof marker);
        }
        if (state == db::dsBrowse || state == db::dsEdit || state == db::dsInsert ||
            state == db::dsCalcFields || state == db::dsNewValue || state == db::dsOpening) {
            ClearBlobCaches(buffer);
        }
    }

    if (musOpenCharType == VE_CHARTYPE_OEM) {
        // The engine translates OEM text when asked for it field by field.
        for (const TACEFieldDef& def : FACEFieldDefs) {
            const UNSIGNED16 type = def.FieldType();
            if (!IsTextType(type) && !IsWideTextType(type)) {
                continue;
            }
            std::uint8_t* at = buffer + def.Offset();
            const std::uint8_t saved[2] = {at[def.Length()], at[def.Length() + 1]};
            UNSIGNED32 result = VE_SUCCESS;
            if (IsTextType(type)) {
                UNSIGNED32 textLength = def.Length() + 1;
                result = ace::AdsGetField(mlHandle, ADSFIELD(def.FieldNumber()), at, &textLength,
                                          VE_TRIM_NONE);
            } else {
                UNSIGNED32 characters = (def.Length() + 2) / 2;
                result = ace::AdsGetFieldW(mlHandle, ADSFIELD(def.FieldNumber()),
                                           reinterpret_cast<WCHAR*>(at), &characters, VE_TRIM_NONE);
            }
            at[def.Length()] = saved[0];
            if (IsWideTextType(type)) {
                at[def.Length() + 1] = saved[1];
            }
            Check(result);
        }
    }
    if (withCalcFields) {
        GetCalcFields(buffer);
    }
}

// --- Blobs -----------------------------------------------------------------------------------

std::unique_ptr<db::TStream> TAdsDataSet::CreateBlobStream(db::TField& field,
                                                           db::TBlobStreamMode mode) {
    if ((mode == db::bmWrite || mode == db::bmReadWrite) && !IsEditState(State())) {
        RaiseError("Table must be in Edit or Insert state to open blob stream in Write Mode.");
    }
    return std::make_unique<TAdsBlobStream>(*this, field, mode);
}

void TAdsDataSet::ADSSetFieldToBinary(const std::string& strFieldName) {
    if (!Active()) {
        RaiseError("Table must be Active.");
    }
    const db::TFieldDef* def = FieldDefs().FindDef(strFieldName);
    if (def == nullptr) {
        RaiseError("Invalid field name for the given table");
    }
    if (def->DataType() != db::ftBlob && def->DataType() != db::ftMemo) {
        RaiseError("Invalid field type to begin with to change to binary");
    }
    strBinaryFieldName = strFieldName;
    FieldDefs().SetUpdated(false);
    UpdateFieldDefs();
}

}  // namespace varelum::ads
