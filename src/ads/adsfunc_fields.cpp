// Field values read and written by field name, past the record buffers.
#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "rtl/code_page.h"

namespace varelum::ads {

namespace {

// The option of AdsGetDataLength that measures the value untrimmed: the buffer must hold it
// whole whatever the trim option of the read that follows.
constexpr UNSIGNED32 kWholeValueLength = VE_TRIM_NONE;

bool IsWideFieldType(UNSIGNED16 type) {
    return type == VE_FIELD_NCHAR || type == VE_FIELD_NVARCHAR || type == VE_FIELD_NMEMO;
}

}  // namespace

template <typename Value, typename Call>
Value TAdsExtendedTable::ReadFieldValue(const std::string& strFieldName, const Call& call) {
    AdsActiveRecord();
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    Value value{};
    Tolerate(call(mlHandle, AdsBytes(name), &value));
    return value;
}

void TAdsExtendedTable::WriteFieldValue(const std::string& strFieldName,
                                        const std::function<UNSIGNED32(const UNSIGNED8*)>& call) {
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    Perform(TGuard::BrowseRecord, TAfter::Resync, [&] { return call(AdsBytes(name)); });
}

std::string TAdsExtendedTable::ReadFieldText(const std::string& name, std::uint32_t capacity,
                                             bool wide, TAdsTrimOptions trim) {
    UNSIGNED32 length = capacity;
    if (wide) {
        std::vector<WCHAR> buffer(std::size_t{capacity} + 1, u'\0');
        Tolerate(ace::AdsGetStringW(mlHandle, AdsBytes(name), buffer.data(), &length,
                                    static_cast<UNSIGNED16>(trim)));
        return rtl::Utf16ToUtf8(buffer.data());
    }
    std::vector<UNSIGNED8> buffer(std::size_t{capacity} + 1, 0);
    Tolerate(ace::AdsGetString(mlHandle, AdsBytes(name), buffer.data(), &length,
                               static_cast<UNSIGNED16>(trim)));
    return rtl::AnsiToUtf8(reinterpret_cast<const char*>(buffer.data()));
}

// The capacity is the value's length (characters for the wide types) and its terminator:
// halving it for the wide types, as a byte count would need, would cut every such value.
std::string TAdsExtendedTable::AdsGetString(const std::string& strFieldName,
                                            TAdsTrimOptions enumTrimOptions) {
    AdsActiveRecord();
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    UNSIGNED32 length = 0;
    Tolerate(ace::AdsGetDataLength(mlHandle, AdsBytes(name), kWholeValueLength, &length));
    UNSIGNED16 type = 0;
    Tolerate(ace::AdsGetFieldType(mlHandle, AdsBytes(name), &type));
    return ReadFieldText(name, length + 1, IsWideFieldType(type), enumTrimOptions);
}

std::string TAdsExtendedTable::AdsGetField(const std::string& strFieldName,
                                           TAdsTrimOptions enumTrimOptions) {
    AdsActiveRecord();
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    UNSIGNED16 type = 0;
    Tolerate(ace::AdsGetFieldType(mlHandle, AdsBytes(name), &type));
    UNSIGNED32 length = 24;
    if (type == VE_FIELD_BINARY) {
        Tolerate(ace::AdsGetBinaryLength(mlHandle, AdsBytes(name), &length));
    } else if (type != VE_FIELD_DATE) {
        Tolerate(ace::AdsGetDataLength(mlHandle, AdsBytes(name), kWholeValueLength, &length));
    }
    std::vector<WCHAR> buffer(std::size_t{length} + 2, u'\0');
    UNSIGNED32 capacity = length + 1;
    Tolerate(ace::AdsGetFieldW(mlHandle, AdsBytes(name), buffer.data(), &capacity,
                               static_cast<UNSIGNED16>(enumTrimOptions)));
    return rtl::Utf16ToUtf8(buffer.data());
}

std::string TAdsExtendedTable::AdsGetDate(const std::string& strFieldName) {
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    return AskText(TGuard::Record, 255, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetDate(mlHandle, AdsBytes(name), buffer, length);
    });
}

std::string TAdsExtendedTable::AdsGetTime(const std::string& strFieldName) {
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    return AskText(TGuard::Record, 100, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetTime(mlHandle, AdsBytes(name), buffer, length);
    });
}

double TAdsExtendedTable::AdsGetDouble(const std::string& strFieldName) {
    return ReadFieldValue<double>(strFieldName, ace::AdsGetDouble);
}
std::int32_t TAdsExtendedTable::AdsGetJulian(const std::string& strFieldName) {
    return ReadFieldValue<SIGNED32>(strFieldName, ace::AdsGetJulian);
}
std::int32_t TAdsExtendedTable::AdsGetLong(const std::string& strFieldName) {
    return ReadFieldValue<SIGNED32>(strFieldName, ace::AdsGetLong);
}
std::int16_t TAdsExtendedTable::AdsGetShort(const std::string& strFieldName) {
    return ReadFieldValue<SIGNED16>(strFieldName, ace::AdsGetShort);
}
std::int32_t TAdsExtendedTable::AdsGetMilliseconds(const std::string& strFieldName) {
    return ReadFieldValue<SIGNED32>(strFieldName, ace::AdsGetMilliseconds);
}
bool TAdsExtendedTable::AdsGetLogical(const std::string& strFieldName) {
    return ReadFieldValue<UNSIGNED16>(strFieldName, ace::AdsGetLogical) != 0;
}
std::int32_t TAdsExtendedTable::AdsGetMemoLength(const std::string& strFieldName) {
    return static_cast<std::int32_t>(
        ReadFieldValue<UNSIGNED32>(strFieldName, ace::AdsGetMemoLength));
}
std::int32_t TAdsExtendedTable::AdsGetBinaryLength(const std::string& strFieldName) {
    return static_cast<std::int32_t>(
        ReadFieldValue<UNSIGNED32>(strFieldName, ace::AdsGetBinaryLength));
}
TAdsMemoDataTypes TAdsExtendedTable::AdsGetMemoDataType(const std::string& strFieldName) {
    return MemoDataTypeFromEngine(
        ReadFieldValue<UNSIGNED16>(strFieldName, ace::AdsGetMemoDataType));
}
bool TAdsExtendedTable::AdsIsEmpty(const std::string& strFieldName) {
    return ReadFieldValue<UNSIGNED16>(strFieldName, ace::AdsIsEmpty) != 0;
}

std::int32_t TAdsExtendedTable::AdsGetBinary(const std::string& strFieldName, std::int64_t ulOffSet,
                                             std::uint8_t* pucBuf, std::int64_t ulBufLen) {
    const UNSIGNED32 offset = Unsigned(ulOffSet);
    UNSIGNED32 length = Unsigned(ulBufLen);
    AdsActiveRecord();
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    Tolerate(ace::AdsGetBinary(mlHandle, AdsBytes(name), offset, pucBuf, &length));
    return static_cast<std::int32_t>(length);
}

void TAdsExtendedTable::AdsBinaryToFile(const std::string& strFieldName,
                                        const std::string& strFileName) {
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    const std::string file = AdsEngineText(strFileName, kAdsFileLimit);
    Perform(TGuard::Record, TAfter::None,
            [&] { return ace::AdsBinaryToFile(mlHandle, AdsBytes(name), AdsBytes(file)); });
}

void TAdsExtendedTable::AdsImageToClipboard(const std::string& strFieldName) {
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    Perform(TGuard::Record, TAfter::None,
            [&] { return ace::AdsImageToClipboard(mlHandle, AdsBytes(name)); });
}

void TAdsExtendedTable::AdsSetString(const std::string& strFieldName, const std::string& strValue) {
    const std::string value = AdsEngineText(strValue, kAdsNoLimit);
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetString(mlHandle, name, AdsBytes(value),
                                 static_cast<UNSIGNED32>(value.size()));
    });
}

void TAdsExtendedTable::AdsSetField(const std::string& strFieldName, const std::string& strValue) {
    const std::string value = AdsEngineText(strValue, kAdsNoLimit);
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetField(mlHandle, name, AdsBytes(value),
                                static_cast<UNSIGNED32>(value.size()));
    });
}

void TAdsExtendedTable::AdsSetDate(const std::string& strFieldName, const std::string& strValue) {
    const std::string value = AdsEngineText(strValue, kAdsDateLimit);
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetDate(mlHandle, name, AdsBytes(value),
                               static_cast<UNSIGNED16>(value.size()));
    });
}

void TAdsExtendedTable::AdsSetTime(const std::string& strFieldName, const std::string& strValue) {
    const std::string value = AdsEngineText(strValue, kAdsDateLimit);
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetTime(mlHandle, name, AdsBytes(value),
                               static_cast<UNSIGNED16>(value.size()));
    });
}

void TAdsExtendedTable::AdsSetDouble(const std::string& strFieldName, double dValue) {
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetDouble(mlHandle, name, dValue);
    });
}
void TAdsExtendedTable::AdsSetJulian(const std::string& strFieldName, std::int32_t lValue) {
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetJulian(mlHandle, name, lValue);
    });
}
void TAdsExtendedTable::AdsSetLong(const std::string& strFieldName, std::int32_t lValue) {
    WriteFieldValue(strFieldName,
                    [&](const UNSIGNED8* name) { return ace::AdsSetLong(mlHandle, name, lValue); });
}
void TAdsExtendedTable::AdsSetShort(const std::string& strFieldName, std::int16_t sValue) {
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetShort(mlHandle, name, sValue);
    });
}
void TAdsExtendedTable::AdsSetMilliseconds(const std::string& strFieldName, std::int32_t lValue) {
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetMilliseconds(mlHandle, name, lValue);
    });
}
void TAdsExtendedTable::AdsSetLogical(const std::string& strFieldName, bool bValue) {
    WriteFieldValue(strFieldName, [&](const UNSIGNED8* name) {
        return ace::AdsSetLogical(mlHandle, name, bValue ? 1 : 0);
    });
}
void TAdsExtendedTable::AdsSetEmpty(const std::string& strFieldName) {
    WriteFieldValue(strFieldName,
                    [&](const UNSIGNED8* name) { return ace::AdsSetEmpty(mlHandle, name); });
}

void TAdsExtendedTable::AdsSetBinary(const std::string& strFieldName, TAdsBinaryTypes eBinaryType,
                                     std::int64_t ulTotalLength, std::int64_t ulOffset,
                                     const std::uint8_t* pucBuf, std::int64_t ulBufLength) {
    const UNSIGNED32 total = Unsigned(ulTotalLength);
    const UNSIGNED32 offset = Unsigned(ulOffset);
    const UNSIGNED32 length = Unsigned(ulBufLength);
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    Perform(TGuard::Record, TAfter::None, [&] {
        return ace::AdsSetBinary(mlHandle, AdsBytes(name), static_cast<UNSIGNED16>(eBinaryType),
                                 total, offset, pucBuf, length);
    });
}

void TAdsExtendedTable::AdsFileToBinary(const std::string& strFieldName,
                                        TAdsBinaryTypes eBinaryType,
                                        const std::string& strFileName) {
    const std::string name = AdsEngineText(strFieldName, kAdsNameLimit);
    const std::string file = AdsEngineText(strFileName, kAdsFileLimit);
    Perform(TGuard::BrowseRecord, TAfter::None, [&] {
        return ace::AdsFileToBinary(mlHandle, AdsBytes(name), static_cast<UNSIGNED16>(eBinaryType),
                                    AdsBytes(file));
    });
}

}  // namespace varelum::ads
