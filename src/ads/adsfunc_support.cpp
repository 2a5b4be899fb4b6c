// The shapes the direct operations are made of: guards, the step after a call, tolerated
// codes, texts from the engine, conversions of its answers, and AdsExtendResync.
#include <limits>

#include "ads/adsdata_errors.h"
#include "ads/adsfunc.h"
#include "rtl/code_page.h"
#include "rtl/exception.h"

namespace varelum::ads {

TAdsFieldTypes FieldTypeFromEngine(UNSIGNED16 code) noexcept {
    return code >= 1 && code <= 28 ? static_cast<TAdsFieldTypes>(code - 1) : AdsfldSTRING;
}

TAdsExpressionTypes ExpressionTypeFromEngine(UNSIGNED16 code) noexcept {
    switch (code) {
        case 1:
            return etLOGICAL;
        case 2:
            return etNUMERIC;
        case 3:
            return etDATE;
        case 16:
            return etRAW;
        default:
            return etSTRING;
    }
}

TAdsMemoDataTypes MemoDataTypeFromEngine(UNSIGNED16 code) noexcept {
    return code == VE_BINARY_BINARY ? mdtBINARY : code == VE_BINARY_IMAGE ? mdtIMAGE : mdtMEMO;
}

TAdsAOFOptimizeLevel OptimizeLevelFromEngine(UNSIGNED16 code) noexcept {
    return code == 1 ? olFULL : code == 2 ? olPART : olNONE;
}

TAdsHandleTypes HandleTypeFromEngine(UNSIGNED16 code) noexcept {
    return code == VE_HANDLE_INDEX ? htINDEX : htTABLE;
}

UNSIGNED16 EngineTableType(TAdsTableTypes type) noexcept {
    switch (type) {
        case ttAdsCDX:
            return VE_TABLE_TYPE_CDX;
        case ttAdsNTX:
            return VE_TABLE_TYPE_NTX;
        case ttAdsVFP:
            return VE_TABLE_TYPE_VFP;
        default:
            return VE_TABLE_TYPE_ADT;
    }
}

std::string AdsEngineText(const std::string& text, std::size_t limit) {
    std::string bytes = rtl::Utf8ToAnsi(text);
    if (limit != kAdsNoLimit && bytes.size() > limit) {
        bytes.resize(limit);
    }
    return bytes;
}

// --- Shapes of the members -----------------------------------------------------------------------

void TAdsExtendedDataSet::RunGuard(TGuard guard) {
    if (guard == TGuard::Browse || guard == TGuard::BrowseRecord) {
        CheckBrowseMode();
    }
    if (guard == TGuard::Record || guard == TGuard::BrowseRecord) {
        AdsActiveRecord();
    }
}

void TAdsExtendedDataSet::RunAfter(TAfter after) {
    if (after == TAfter::Resync) {
        AdsExtendResync();
    } else if (after == TAfter::PropertyChange) {
        DataEvent(db::dePropertyChange);
    }
}

void TAdsExtendedDataSet::Tolerate(UNSIGNED32 result) const {
    CheckAceResultIgnoreNoRecord(const_cast<TAdsExtendedDataSet*>(this), result);
}

void TAdsExtendedDataSet::Perform(TGuard guard, TAfter after,
                                  const std::function<UNSIGNED32()>& call) {
    RunGuard(guard);
    Tolerate(call());
    RunAfter(after);
}

bool TAdsExtendedDataSet::AskYesNo(TGuard guard,
                                   const std::function<UNSIGNED32(UNSIGNED16*)>& call) {
    RunGuard(guard);
    UNSIGNED16 answer = 0;
    Tolerate(call(&answer));
    return answer != 0;
}

std::string TAdsExtendedDataSet::AskText(
    TGuard guard, std::uint16_t capacity,
    const std::function<UNSIGNED32(UNSIGNED8*, UNSIGNED16*)>& call) {
    RunGuard(guard);
    std::vector<UNSIGNED8> buffer(std::size_t{capacity} + 1, 0);
    UNSIGNED16 length = capacity;
    Tolerate(call(buffer.data(), &length));
    return rtl::AnsiToUtf8(reinterpret_cast<const char*>(buffer.data()));
}

std::string TAdsExtendedDataSet::AskFilterText(
    const std::function<UNSIGNED32(void*, UNSIGNED32*)>& call, bool wide) {
    // First the length (a buffer of one character answers 5005 with the length needed), then
    // the text in a buffer of that length.
    std::vector<char16_t> buffer(1, u'\0');
    UNSIGNED32 length = 0;
    UNSIGNED32 result = call(buffer.data(), &length);
    if (result == VE_NO_FILTER) {
        return {};
    }
    if (result != VE_BUFFER_TOO_SMALL) {
        Tolerate(result);
    }
    buffer.assign(std::size_t{length} + 1, u'\0');
    length += 1;
    result = call(buffer.data(), &length);
    if (result == VE_NO_FILTER) {
        return {};
    }
    Tolerate(result);
    if (wide) {
        return rtl::Utf16ToUtf8(buffer.data());
    }
    return rtl::AnsiToUtf8(reinterpret_cast<const char*>(buffer.data()));
}

UNSIGNED32 TAdsExtendedDataSet::Unsigned(std::int64_t value) {
    if (value < 0 || value > std::numeric_limits<UNSIGNED32>::max()) {
        throw rtl::ERangeError("Range check error");
    }
    return static_cast<UNSIGNED32>(value);
}

UNSIGNED16 TAdsExtendedDataSet::CountingMode() const {
    if (AdsTableOptions().AdsFilterOptions() == RESPECT_WHEN_COUNTING) {
        return VE_RESPECT_FILTERS;
    }
    if (AdsTableOptions().AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING) {
        return VE_RESPECT_SCOPES;
    }
    return VE_IGNORE_FILTERS;
}

void TAdsExtendedDataSet::AdsExtendResync() {
    UNSIGNED16 atEnd = 0;
    UNSIGNED16 atBeginning = 0;
    Tolerate(ace::AdsAtEOF(mlHandle, &atEnd));
    Tolerate(ace::AdsAtBOF(mlHandle, &atBeginning));
    CursorPosChanged();
    if (atBeginning != 0) {
        First();
    } else if (atEnd != 0) {
        Last();
    } else {
        Resync(0);
    }
}

}  // namespace varelum::ads
