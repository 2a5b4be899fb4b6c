// TAdsDataSet: Filter and Filtered on the engine (an optimised or a plain filter), the switch
// between the two, and FindFirst..FindPrior (see adsdata_filters.h and adsdata_cursor.h).
#include "ads/adsdata_filters.h"

#include <vector>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "rtl/code_page.h"
#include "rtl/component.h"

namespace varelum::ads {
namespace {

// The work buffer of the long and short forms has room for the text and this much more.
constexpr std::size_t kFilterTextSlack = 51;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether text at position starts the word CONTAINS followed, after blanks, by "("; gives
// the position of that "(".
bool AtContainsCall(std::string_view text, std::size_t position, std::size_t& parenthesis) {
    constexpr std::string_view kContains = "CONTAINS";
    if (text.size() - position < kContains.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kContains.size(); ++i) {
        char c = text[position + i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != kContains[i]) {
            return false;
        }
    }
    std::size_t next = position + kContains.size();
    while (next < text.size() && IsBlank(text[next])) {
        ++next;
    }
    if (next >= text.size() || text[next] != '(') {
        return false;
    }
    parenthesis = next;
    return true;
}

}  // namespace

std::size_t SkipParenthesized(std::string_view text, std::size_t position, std::size_t end) {
    end = std::min(end, text.size());
    if (position >= end || text[position] != '(') {
        return position;
    }
    int depth = 0;
    for (std::size_t i = position; i < end; ++i) {
        const char c = text[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) {
                return i;
            }
        } else if (c == '"' || c == '\'' || c == '[') {
            const char closing = c == '[' ? ']' : c;
            const std::size_t close = text.find(closing, i + 1);
            if (close == std::string_view::npos || close >= end) {
                return position;
            }
            i = close;
        }
    }
    return position;
}

bool RemovePrefixAsterisks(std::string& text) {
    bool exact = true;
    bool inLiteral = false;
    char quote = 0;
    std::size_t literalStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (!inLiteral) {
            std::size_t parenthesis = 0;
            if (AtContainsCall(text, i, parenthesis)) {
                const std::size_t close = SkipParenthesized(text, parenthesis, text.size());
                // An unbalanced call is scanned like any other text.
                i = close != parenthesis ? close + 1 : parenthesis + 1;
                continue;
            }
            if (c == '"' || c == '\'') {
                inLiteral = true;
                quote = c;
                literalStart = i + 1;
            }
            ++i;
            continue;
        }
        if (c == '*' && i + 1 < text.size() && text[i + 1] == quote &&
            text.find_first_not_of('*', literalStart) < i) {
            text.erase(i, 1);
            exact = false;
            // The closing quote now stands at i; passing it ends the literal.
            inLiteral = false;
            ++i;
            continue;
        }
        if (c == quote) {
            inLiteral = false;
        }
        ++i;
    }
    return exact;
}

// --- The engine text ---------------------------------------------------------------------------

std::pair<std::string, bool> TAdsDataSet::TranslateFilterText() const {
    std::string work = Filter();
    const bool adt = musOpenTableType == kAceTableADT;
    if (adt) {
        // The literals are looked for in the engine's short form, where every field name is
        // a number and none can be mistaken for part of a text.
        std::vector<UNSIGNED8> buffer(work.size() + kFilterTextSlack);
        UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
        Check(ace::AdsExpressionLongToShort90(
            mlHandle, reinterpret_cast<const UNSIGNED8*>(work.c_str()), buffer.data(), &length));
        work.assign(reinterpret_cast<const char*>(buffer.data()), length);
    }
    const bool exact = RemovePrefixAsterisks(work);
    if (!adt) {
        return {work, exact};
    }
    std::vector<UNSIGNED8> buffer(Filter().size() + kFilterTextSlack);
    UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
    UNSIGNED32 result = ace::AdsExpressionShortToLong90(
        mlHandle, reinterpret_cast<const UNSIGNED8*>(work.c_str()), buffer.data(), &length);
    if (result == VE_BUFFER_TOO_SMALL && length >= buffer.size()) {
        // Field names spelled out may be longer than the user wrote them.
        buffer.resize(std::size_t{length} + 1);
        length = static_cast<UNSIGNED32>(buffer.size());
        result = ace::AdsExpressionShortToLong90(
            mlHandle, reinterpret_cast<const UNSIGNED8*>(work.c_str()), buffer.data(), &length);
    }
    Check(result);
    return {std::string(reinterpret_cast<const char*>(buffer.data()), length), exact};
}

UNSIGNED32 TAdsDataSet::AofOptions() const {
    UNSIGNED32 options = VE_FILTER_UTF16;
    switch (mpoAdsTableOptions->AdsAOFType()) {
        case atDynamic:
            options |= VE_AOF_DYNAMIC;
            break;
        case atKeySet:
            options |= VE_AOF_KEYSET;
            break;
        case atFixed:
            options |= VE_AOF_FIXED;
            break;
    }
    options |=
        mpoAdsTableOptions->AdsAOFResolveImmediate() ? VE_AOF_RESOLVE_NOW : VE_AOF_RESOLVE_LATER;
    return options;
}

// --- The engine filter -------------------------------------------------------------------------

void TAdsDataSet::ApplyFilterToEngine() {
    if (Filter().empty()) {
        ClearEngineFilter();
        return;
    }
    const auto [text, exact] = TranslateFilterText();
    Check(ace::AdsSetExact22(mlHandle, exact ? 1 : 0));
    const std::u16string wide = rtl::Utf8ToUtf16(text);
    if (mpoAdsTableOptions->AdsOptimizedFilters()) {
        Check(ace::AdsSetAOF100(mlHandle, wide.c_str(), AofOptions()));
    } else {
        Check(ace::AdsSetFilter100(mlHandle, wide.c_str(), VE_FILTER_UTF16));
    }
}

void TAdsDataSet::ClearEngineFilter() {
    const UNSIGNED32 result = mpoAdsTableOptions->AdsOptimizedFilters()
                                  ? ace::AdsClearAOF(mlHandle)
                                  : ace::AdsClearFilter(mlHandle);
    if (result != VE_NO_FILTER) {
        Check(result);
    }
}

void TAdsDataSet::SetFiltered(bool value) {
    const bool old = Filtered();
    db::TDataSet::SetFiltered(value);
    if (mlHandle != kNoAdsHandle) {
        try {
            if (value) {
                ApplyFilterToEngine();
            } else {
                ClearEngineFilter();
            }
        } catch (...) {
            // A flag that claims a filter the engine refused would also make the next open
            // fail; the dataset keeps showing what it showed.
            db::TDataSet::SetFiltered(old);
            throw;
        }
    }
    if (Active()) {
        First();
    }
}

void TAdsDataSet::SetFilter(const std::string& text) {
    const std::string old = Filter();
    db::TDataSet::SetFilter(text);
    if (!Active() || !Filtered()) {
        return;
    }
    try {
        SetFiltered(true);
    } catch (...) {
        db::TDataSet::SetFilter(old);
        try {
            ApplyFilterToEngine();
        } catch (...) {
            // The previous text was accepted before; should the engine refuse it now, the
            // error about the new text is still the one to report.
        }
        throw;
    }
}

// --- FindFirst .. FindPrior --------------------------------------------------------------------

bool TAdsDataSet::FindFilteredRecord(bool restart, bool forward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    const bool searchFilter = !Filtered();
    bool atEnd = true;
    try {
        if (searchFilter) {
            ApplyFilterToEngine();
        }
        UNSIGNED16 end = 1;
        if (forward) {
            Check(restart ? ace::AdsGotoTop(mlActiveHandle) : ace::AdsSkip(mlActiveHandle, 1));
            Check(ace::AdsAtEOF(mlHandle, &end));
        } else {
            Check(restart ? ace::AdsGotoBottom(mlActiveHandle) : ace::AdsSkip(mlActiveHandle, -1));
            Check(ace::AdsAtBOF(mlHandle, &end));
        }
        atEnd = end != 0;
        if (!atEnd && OnFilterRecord()) {
            atEnd = !ScanWithFilterEvent(forward);
        }
    } catch (...) {
        if (searchFilter) {
            try {
                ClearEngineFilter();
            } catch (...) {
                // The search's own error is the one to report.
            }
        }
        throw;
    }
    if (searchFilter) {
        ClearEngineFilter();
    }
    if (!atEnd) {
        Resync(db::rmExact | db::rmCenter);
        SetFound(true);
    }
    DoAfterScroll();
    return Found();
}

}  // namespace varelum::ads
