// Filters, optimised filters and scopes on the engine handles.
#include "ads/adsfunc.h"
#include "rtl/code_page.h"

namespace varelum::ads {

namespace {

std::u16string WideText(const std::string& text) {
    return rtl::Utf8ToUtf16(text);
}

}  // namespace

void TAdsExtendedTable::AdsSetFilter(const std::string& strFilter) {
    const std::u16string filter = WideText(strFilter);
    RunGuard(TGuard::Browse);
    // The dataset's own filter would sit on top of this one; it goes first.
    if (Filtered()) {
        SetFiltered(false);
    }
    Perform(TGuard::None, TAfter::Resync,
            [&] { return ace::AdsSetFilter100(TableHandle(), filter.c_str(), VE_FILTER_UTF16); });
}

void TAdsExtendedTable::AdsClearFilter() {
    Perform(TGuard::None, TAfter::Resync, [&] { return ace::AdsClearFilter(TableHandle()); });
}

std::string TAdsExtendedTable::AdsGetFilter() {
    return AskFilterText(
        [&](void* buffer, UNSIGNED32* length) {
            UNSIGNED16 shortLength = static_cast<UNSIGNED16>(std::min<UNSIGNED32>(*length, 0xFFFF));
            const UNSIGNED32 result =
                ace::AdsGetFilter(TableHandle(), static_cast<UNSIGNED8*>(buffer), &shortLength);
            *length = shortLength;
            return result;
        },
        false);
}

void TAdsExtendedTable::AdsSetAOF(const std::string& strFilter) {
    const std::u16string filter = WideText(strFilter);
    RunGuard(TGuard::Browse);
    if (Filtered()) {
        SetFiltered(false);
    }
    Perform(TGuard::None, TAfter::Resync, [&] {
        return ace::AdsSetAOF100(TableHandle(), filter.c_str(), AofOptions() | VE_FILTER_UTF16);
    });
}

void TAdsExtendedTable::AdsClearAOF() {
    Perform(TGuard::None, TAfter::Resync, [&] { return ace::AdsClearAOF(TableHandle()); });
}

void TAdsExtendedDataSet::AdsRefreshAOF() {
    Perform(TGuard::None, TAfter::Resync, [&] { return ace::AdsRefreshAOF(TableHandle()); });
}

std::string TAdsExtendedTable::AdsGetAOF() {
    return AskFilterText(
        [&](void* buffer, UNSIGNED32* length) {
            return ace::AdsGetAOF100(TableHandle(), VE_FILTER_UTF16, buffer, length);
        },
        true);
}

TAdsAOFOptimizeLevel TAdsExtendedDataSet::AdsGetAOFOptLevel(std::string& strFilter) {
    UNSIGNED16 level = 0;
    bool none = false;
    strFilter = AskFilterText(
        [&](void* buffer, UNSIGNED32* length) {
            const UNSIGNED32 result =
                ace::AdsGetAOFOptLevel100(TableHandle(), &level, buffer, length, VE_FILTER_UTF16);
            none = result == VE_NO_FILTER;
            return result;
        },
        true);
    return none ? olNONE : OptimizeLevelFromEngine(level);
}

TAdsAOFOptimizeLevel TAdsExtendedTable::AdsEvalAOF(const std::string& strFilter) {
    const std::string filter = AdsEngineText(strFilter, kAdsNoLimit);
    UNSIGNED16 level = 0;
    Tolerate(ace::AdsEvalAOF(TableHandle(), AdsBytes(filter), &level));
    return OptimizeLevelFromEngine(level);
}

void TAdsExtendedTable::AdsCustomizeAOF(const std::vector<std::uint32_t>& pulRecords,
                                        TAdsAOFCustomizeOptions eOption) {
    const UNSIGNED32 count = Unsigned(static_cast<std::int64_t>(pulRecords.size()));
    Perform(TGuard::None, TAfter::Resync, [&] {
        return ace::AdsCustomizeAOF(TableHandle(), count, pulRecords.data(),
                                    static_cast<UNSIGNED16>(eOption));
    });
}

bool TAdsExtendedTable::AdsIsRecordInAOF(std::int64_t ulRecordNum) {
    const UNSIGNED32 record = Unsigned(ulRecordNum);
    return AskYesNo(TGuard::None, [&](UNSIGNED16* inAof) {
        return ace::AdsIsRecordInAOF(TableHandle(), record, inAof);
    });
}

void TAdsExtendedTable::AdsSetScope(TAdsScopeBound eScopeOption, const std::string& strScope) {
    const std::string scope = AdsEngineText(strScope, kAdsKeyLimit);
    Perform(TGuard::Browse, TAfter::Resync, [&] {
        return ace::AdsSetScope(IndexHandle(), static_cast<UNSIGNED16>(eScopeOption),
                                AdsBytes(scope), static_cast<UNSIGNED16>(scope.size()),
                                VE_STRINGKEY);
    });
}

void TAdsExtendedTable::AdsClearScope(TAdsScopeBound eScopeOption) {
    Perform(TGuard::None, TAfter::Resync, [&] {
        return ace::AdsClearScope(IndexHandle(), static_cast<UNSIGNED16>(eScopeOption));
    });
}

void TAdsExtendedTable::AdsClearAllScopes() {
    Perform(TGuard::None, TAfter::Resync, [&] { return ace::AdsClearAllScopes(TableHandle()); });
}

std::string TAdsExtendedTable::AdsGetScope(TAdsScopeBound eScopeOption) {
    return AskText(TGuard::None, static_cast<std::uint16_t>(kAdsKeyLimit),
                   [&](UNSIGNED8* buffer, UNSIGNED16* length) {
                       return ace::AdsGetScope(IndexHandle(), static_cast<UNSIGNED16>(eScopeOption),
                                               buffer, length);
                   });
}

}  // namespace varelum::ads
