// Index tags: opening, closing, creating and asking about them on the engine handles.
#include <array>

#include "ads/adsfunc.h"

namespace varelum::ads {

namespace {

// Room for the handles an index file can open at once.
constexpr UNSIGNED16 kIndexHandleRoom = 256;
constexpr std::uint16_t kIndexNameCapacity = 261;
constexpr std::uint16_t kIndexFileCapacity = 255;

}  // namespace

ADSHANDLE TAdsExtendedTable::TagHandle(const std::string& strTag) {
    const std::string tag = AdsEngineText(strTag, kAdsNameLimit);
    ADSHANDLE index = 0;
    Tolerate(ace::AdsGetIndexHandle(TableHandle(), AdsBytes(tag), &index));
    return index;
}

void TAdsExtendedTable::AdsOpenIndex(const std::string& strIndexName) {
    const std::string name = AdsEngineText(strIndexName, kAdsFileLimit);
    Perform(TGuard::None, TAfter::PropertyChange, [&] {
        std::array<ADSHANDLE, kIndexHandleRoom> handles{};
        UNSIGNED16 count = kIndexHandleRoom;
        return ace::AdsOpenIndex(TableHandle(), AdsBytes(name), handles.data(), &count);
    });
}

void TAdsExtendedTable::AdsCloseIndex(const std::string& strTag) {
    const std::string tag = AdsEngineText(strTag, kAdsNameLimit);
    ADSHANDLE index = 0;
    UNSIGNED32 result = ace::AdsGetIndexHandle(TableHandle(), AdsBytes(tag), &index);
    if (result == VE_INDEX_NOT_OPEN) {
        // A tag of a file that is not open: open the file so that it can be closed.
        std::array<ADSHANDLE, kIndexHandleRoom> handles{};
        UNSIGNED16 count = kIndexHandleRoom;
        result = ace::AdsOpenIndex(TableHandle(), AdsBytes(tag), handles.data(), &count);
        if (result != VE_INDEX_ALREADY_OPEN) {
            Tolerate(result);
        }
        result = ace::AdsGetIndexHandle(TableHandle(), AdsBytes(tag), &index);
    }
    Tolerate(result);
    Perform(TGuard::None, TAfter::PropertyChange, [&] { return ace::AdsCloseIndex(index); });
}

void TAdsExtendedTable::AdsCloseAllIndexes() {
    Perform(TGuard::None, TAfter::PropertyChange,
            [&] { return ace::AdsCloseAllIndexes(TableHandle()); });
}

void TAdsExtendedDataSet::AdsCreateIndex(const std::string& strFileName,
                                         const std::string& strTagName,
                                         const std::string& strExpression,
                                         const std::string& strCondition,
                                         const std::string& strWhile,
                                         TAdsIndexOptions setIndexOptions) {
    const std::string file = AdsEngineText(strFileName, kAdsFileLimit);
    const std::string tag = AdsEngineText(strTagName, kAdsNameLimit);
    const std::string expression = AdsEngineText(strExpression, kAdsIndexExprLimit);
    const std::string condition = AdsEngineText(strCondition, kAdsIndexExprLimit);
    const std::string whileText = AdsEngineText(strWhile, kAdsIndexExprLimit);
    const std::string collation = AdsEngineText(GetEffectiveCollation(), kAdsNoLimit);
    ADSHANDLE index = 0;
    Perform(TGuard::None, TAfter::PropertyChange, [&] {
        return ace::AdsCreateIndex90(TableHandle(), AdsBytes(file), AdsBytes(tag),
                                     AdsBytes(expression), AdsBytes(condition), AdsBytes(whileText),
                                     setIndexOptions, AdsTableOptions().AdsIndexPageSize(),
                                     AdsBytes(collation), &index);
    });
}

void TAdsExtendedTable::AdsDeleteIndex(const std::string& strTag) {
    const ADSHANDLE index = TagHandle(strTag);
    Perform(TGuard::None, TAfter::PropertyChange, [&] { return ace::AdsDeleteIndex(index); });
}

void TAdsExtendedTable::AdsReindex() {
    Perform(TGuard::Browse, TAfter::Resync,
            [&] { return ace::AdsReindex61(TableHandle(), AdsTableOptions().AdsIndexPageSize()); });
}

void TAdsExtendedTable::AdsAddCustomKey(const std::string& strTag) {
    RunGuard(TGuard::BrowseRecord);
    const ADSHANDLE index = TagHandle(strTag);
    Tolerate(ace::AdsAddCustomKey(index));
}

void TAdsExtendedTable::AdsDeleteCustomKey(const std::string& strTag) {
    RunGuard(TGuard::BrowseRecord);
    const ADSHANDLE index = TagHandle(strTag);
    Tolerate(ace::AdsDeleteCustomKey(index));
}

ADSHANDLE TAdsExtendedTable::AdsGetIndexHandle(const std::string& strIndexOrder) {
    return TagHandle(strIndexOrder);
}

ADSHANDLE TAdsExtendedTable::AdsGetIndexHandleByOrder(std::uint16_t usOrderNum) {
    ADSHANDLE index = 0;
    Tolerate(ace::AdsGetIndexHandleByOrder(TableHandle(), usOrderNum, &index));
    return index;
}

std::string TAdsExtendedTable::AdsGetIndexName(ADSHANDLE hIndexHandle) {
    const ADSHANDLE index = hIndexHandle != 0 ? hIndexHandle : IndexHandle();
    return AskText(TGuard::None, kIndexNameCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetIndexName(index, buffer, length);
    });
}

void TAdsExtendedTable::AdsSetIndexByOrder(std::uint16_t usOrderNum) {
    if (usOrderNum == 0) {
        SetIndexName("");
        return;
    }
    SetIndexName(AdsGetIndexName(AdsGetIndexHandleByOrder(usOrderNum)));
}

std::string TAdsExtendedTable::AdsGetIndexCondition() {
    return AskText(TGuard::None, kAdsIndexExprLimit, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetIndexCondition(IndexHandle(), buffer, length);
    });
}

std::string TAdsExtendedTable::AdsGetIndexExpr() {
    return AskText(TGuard::None, kAdsIndexExprLimit, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetIndexExpr(IndexHandle(), buffer, length);
    });
}

std::string TAdsExtendedTable::AdsGetIndexFileName(TAdsFilenameOptions eOption) {
    return AskText(TGuard::None, kIndexFileCapacity, [&](UNSIGNED8* buffer, UNSIGNED16* length) {
        return ace::AdsGetIndexFilename(IndexHandle(), static_cast<UNSIGNED16>(eOption), buffer,
                                        length);
    });
}

std::uint16_t TAdsExtendedTable::AdsGetKeyLength() {
    UNSIGNED16 length = 0;
    Tolerate(ace::AdsGetKeyLength(IndexHandle(), &length));
    return length;
}

TAdsExpressionTypes TAdsExtendedTable::AdsGetKeyType() {
    UNSIGNED16 type = 0;
    Tolerate(ace::AdsGetKeyType(IndexHandle(), &type));
    return ExpressionTypeFromEngine(type);
}

std::int32_t TAdsExtendedDataSet::AdsGetKeyCount() {
    UNSIGNED32 count = 0;
    Tolerate(ace::AdsGetKeyCount(IndexHandle(), CountingMode(), &count));
    return static_cast<std::int32_t>(count);
}

std::int32_t TAdsExtendedDataSet::AdsGetKeyNum() {
    AdsActiveRecord();
    UNSIGNED32 key = 0;
    Tolerate(ace::AdsGetKeyNum(IndexHandle(), CountingMode(), &key));
    return static_cast<std::int32_t>(key);
}

bool TAdsExtendedTable::AdsIsIndexCompound() {
    return AskYesNo(TGuard::None, [&](UNSIGNED16* answer) {
        return ace::AdsIsIndexCompound(IndexHandle(), answer);
    });
}

bool TAdsExtendedTable::AdsIsIndexCustom() {
    return AskYesNo(TGuard::None, [&](UNSIGNED16* answer) {
        return ace::AdsIsIndexCustom(IndexHandle(), answer);
    });
}

bool TAdsExtendedTable::AdsIsIndexDescending() {
    return AskYesNo(TGuard::None, [&](UNSIGNED16* answer) {
        return ace::AdsIsIndexDescending(IndexHandle(), answer);
    });
}

bool TAdsExtendedTable::AdsIsIndexUnique() {
    return AskYesNo(TGuard::None, [&](UNSIGNED16* answer) {
        return ace::AdsIsIndexUnique(IndexHandle(), answer);
    });
}

std::uint16_t TAdsExtendedTable::AdsGetNumIndexes() {
    UNSIGNED16 count = 0;
    Tolerate(ace::AdsGetNumIndexes(TableHandle(), &count));
    return count;
}

std::int32_t TAdsExtendedTable::AdsGetAllIndexes(std::vector<ADSHANDLE>& ahIndexes) {
    UNSIGNED16 count = static_cast<UNSIGNED16>(std::min<std::size_t>(ahIndexes.size(), 0xFFFF));
    Tolerate(ace::AdsGetAllIndexes(TableHandle(), ahIndexes.data(), &count));
    return count;
}

std::string TAdsExtendedTable::AdsExtractKey() {
    AdsActiveRecord();
    std::vector<UNSIGNED8> key(kAdsKeyLimit, 0);
    UNSIGNED16 length = static_cast<UNSIGNED16>(kAdsKeyLimit);
    Tolerate(ace::AdsExtractKey(IndexHandle(), key.data(), &length));
    // One character per key byte: the byte's value as the character's code.
    std::string text;
    for (UNSIGNED16 i = 0; i < length && i < key.size(); ++i) {
        const UNSIGNED8 byte = key[i];
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

}  // namespace varelum::ads
