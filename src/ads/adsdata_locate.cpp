// TAdsDataSet: Locate and Lookup, the choice between an index seek and a filter expression,
// the index tests of that choice, and the walks that consult OnFilterRecord (see
// adsdata_locate.h and adsdata_cursor.h).
//
// A search writes the key values into the spare record buffer in state dsFilter, so that
// they get their engine bytes exactly as a record would hold them. An index that the key
// fields lead is seeked with those bytes; otherwise the values become an expression that the
// engine evaluates as a temporary optimised filter (or as a plain filter beside an optimised
// one the dataset has already). Whatever the search changed on the engine cursor (the exact
// setting, the temporary filter, the position when nothing was found) is put back before it
// returns, also when it fails.
#include "ads/adsdata_locate.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "db/db_messages.h"
#include "rtl/code_page.h"
#include "rtl/format_settings.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

// Positions of an index field list that a key can cover.
constexpr int kMaxCoveredPosition = 100;
// Raw keys are built in buffers of this size.
constexpr UNSIGNED16 kRawKeyCapacity = 4082;
// Scope texts are read into buffers of this size, index conditions only far enough to tell
// whether there is one.
constexpr UNSIGNED16 kScopeCapacity = 4082;
constexpr UNSIGNED16 kConditionProbeCapacity = 10;
// The temporary filter of a search is UTF-16 text; as an optimised filter it is resolved
// when first used.
constexpr UNSIGNED32 kSearchFilterOptions = VE_FILTER_UTF16;
constexpr UNSIGNED32 kSearchAofOptions = VE_FILTER_UTF16 | VE_AOF_RESOLVE_LATER;

// Calls each ";"-separated entry of list (blanks around it removed, empty ones skipped) with
// its 1-based position until visit answers false.
template <typename Visit>
void ForEachListItem(std::string_view list, Visit visit) {
    int position = 0;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string_view::npos) {
            end = list.size();
        }
        const std::string item = rtl::Trim(list.substr(start, end - start));
        if (!item.empty() && !visit(++position, item)) {
            return;
        }
        start = end + 1;
    }
}

// An engine answer to a question about a filter: 5005 (and 5211) mean there is one (it did
// not fit the empty buffer), 5037 that there is none.
bool FilterExists(TAdsDataSet& dataSet, UNSIGNED32 result) {
    constexpr UNSIGNED32 kFilterTextUnavailable = 5211;
    if (result == VE_SUCCESS || result == VE_BUFFER_TOO_SMALL || result == kFilterTextUnavailable) {
        return true;
    }
    if (result == VE_NO_FILTER) {
        return false;
    }
    CheckAceResult(&dataSet, result);
    return false;
}

// A text literal of the engine's expressions: double quotes inside are spelled as Chr(34).
std::string QuotedExpressionText(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += "\"+ Chr(34) + \"";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace

// --- List helpers ------------------------------------------------------------------------------

std::vector<std::string> FieldListItems(std::string_view list) {
    std::vector<std::string> items;
    ForEachListItem(list, [&](int, const std::string& item) {
        items.push_back(item);
        return true;
    });
    return items;
}

int FieldPositionInList(std::string_view name, std::string_view list) {
    int found = 0;
    ForEachListItem(list, [&](int position, const std::string& item) {
        if (rtl::SameText(item, rtl::Trim(name))) {
            found = position;
            return false;
        }
        return true;
    });
    return found;
}

std::string NthListItem(int n, std::string_view list) {
    std::string found;
    ForEachListItem(list, [&](int position, const std::string& item) {
        if (position == n) {
            found = item;
            return false;
        }
        return true;
    });
    return found;
}

bool IndexCoversKeyFields(std::string_view indexFields, std::string_view keyFields,
                          std::string& lastCovered) {
    std::bitset<kMaxCoveredPosition + 1> marked;
    int largest = 0;
    bool covered = true;
    ForEachListItem(keyFields, [&](int, const std::string& name) {
        const int position = FieldPositionInList(name, indexFields);
        if (position == 0 || position > kMaxCoveredPosition) {
            covered = false;
            return false;
        }
        marked.set(static_cast<std::size_t>(position));
        largest = std::max(largest, position);
        return true;
    });
    // No key field at all is no reason to seek any index.
    if (!covered || largest == 0) {
        return false;
    }
    for (int position = 1; position <= largest; ++position) {
        if (!marked.test(static_cast<std::size_t>(position))) {
            return false;
        }
    }
    lastCovered = rtl::UpperCase(NthListItem(largest, indexFields));
    return true;
}

// --- Locate and Lookup --------------------------------------------------------------------------

bool TAdsDataSet::Locate(std::string_view KeyFields, const rtl::Variant& KeyValues,
                         db::TLocateOptions Options) {
    DoBeforeScroll();
    const bool found = FindMatchingRecord(KeyFields, KeyValues, Options);
    if (found) {
        Resync(db::rmExact | db::rmCenter);
        DoAfterScroll();
    }
    return found;
}

rtl::Variant TAdsDataSet::Lookup(std::string_view KeyFields, const rtl::Variant& KeyValues,
                                 std::string_view ResultFields) {
    rtl::Variant result = rtl::Variant::Null();
    if (KeyValues.IsNull()) {
        return result;
    }
    if (FindMatchingRecord(KeyFields, KeyValues, 0)) {
        db::TTempState calculating(*this, db::dsCalcFields);
        db::TRecordBuffer buffer = AllocateRecordBuffer();
        const db::TRecordBuffer previousCalcBuffer = CalcBuffer();
        try {
            if (FetchVisibleRecord(buffer, db::gmCurrent) == db::grOK) {
                SetCalcBuffer(buffer);
                result = FieldValues(ResultFields);
            }
        } catch (...) {
            SetCalcBuffer(previousCalcBuffer);
            ReleaseRecordBuffer(buffer);
            throw;
        }
        SetCalcBuffer(previousCalcBuffer);
        ReleaseRecordBuffer(buffer);
    }
    // The engine may sit on the match while the window shows the record it showed before.
    CursorPosChanged();
    return result;
}

bool TAdsDataSet::FindMatchingRecord(std::string_view KeyFields, const rtl::Variant& KeyValues,
                                     db::TLocateOptions Options) {
    CheckBrowseMode();
    ADSHANDLE position = 0;
    Check(ace::AdsGetBookmark(mlHandle, &position));
    const std::vector<db::TField*> fields = GetFieldList(KeyFields);

    const db::TRecordBuffer previousFilterBuffer = FilterBuffer();
    SetFilterBuffer(SpareBuffer());
    const db::TDataSetState previousState = SetTempState(db::dsFilter);
    bool found = false;
    try {
        InitRecordImage(SpareBuffer());
        if (fields.size() == 1) {
            const bool isArray = KeyValues.VarType() == rtl::varArray;
            if (isArray && KeyValues.AsArray().empty()) {
                throw rtl::EVariantError("Variant array index out of bounds");
            }
            fields.front()->SetAsVariant(isArray ? KeyValues.AsArray().front() : KeyValues);
        } else if (!fields.empty()) {
            const std::vector<rtl::Variant>& values = KeyValues.AsArray();
            if (values.size() < fields.size()) {
                throw rtl::EVariantError("Variant array index out of bounds");
            }
            for (std::size_t i = 0; i < fields.size(); ++i) {
                fields[i]->SetAsVariant(values[i]);
            }
        }
        std::string lastCovered;
        const ADSHANDLE index = ChooseSearchIndex(KeyFields, fields, Options, lastCovered);
        found = index != kNoAdsHandle ? SeekKeyFields(index, fields, Options, lastCovered)
                                      : SearchByExpression(fields, Options);
    } catch (...) {
        RestoreState(previousState);
        SetFilterBuffer(previousFilterBuffer);
        // Back where the search started; the search's own failure is the one to report.
        ace::AdsGotoBookmark(mlHandle, position);
        throw;
    }
    RestoreState(previousState);
    SetFilterBuffer(previousFilterBuffer);
    if (!found) {
        // Answer not checked: a position that is gone leaves the engine at its end, which the
        // window's next move corrects.
        ace::AdsGotoBookmark(mlHandle, position);
    }
    return found;
}

const TACEFieldDef* TAdsDataSet::EngineFieldOf(const db::TField& field) const {
    const int number = field.FieldNo();
    if (number <= 0 || number > FACEFieldDefs.Count()) {
        return nullptr;
    }
    return &FACEFieldDefs[number - 1];
}

ADSHANDLE TAdsDataSet::ChooseSearchIndex(std::string_view KeyFields,
                                         const std::vector<db::TField*>& fields,
                                         db::TLocateOptions Options, std::string& lastCovered) {
    const bool caseInsensitive = (Options & db::loCaseInsensitive) != 0;
    const bool partial = (Options & db::loPartialKey) != 0;
    int narrow = 0;
    int wide = 0;
    for (const db::TField* field : fields) {
        const TACEFieldDef* def = EngineFieldOf(*field);
        const UNSIGNED16 type = def != nullptr ? def->FieldType() : 0;
        narrow += IsNarrowStringType(type) ? 1 : 0;
        wide += IsWideStringType(type) ? 1 : 0;
    }
    // Index keys compare as the values are stored: an index can answer a case-insensitive
    // search only for a prefix of one wide text, and a prefix search not on wide texts.
    if (caseInsensitive && (narrow > 0 || wide >= 2 || !partial)) {
        return kNoAdsHandle;
    }
    if (partial && !caseInsensitive && wide > 0) {
        return kNoAdsHandle;
    }
    if (partial && caseInsensitive && wide == 1 && fields.size() > 1) {
        return kNoAdsHandle;
    }
    if (OnFilterRecord() && Filtered()) {
        return kNoAdsHandle;
    }

    const bool indexActive = mlActiveHandle != mlHandle;
    if (indexActive && (ActiveIndexHasScope() || ActiveIndexHasCondition() ||
                        ActiveIndexIsUnique() || ActiveIndexIsCustom())) {
        // The active order restricts what is shown; no other index may answer in its place.
        return IndexCoversKeyFields(ActiveIndexFieldNames(), KeyFields, lastCovered)
                   ? mlActiveHandle
                   : kNoAdsHandle;
    }
    UNSIGNED16 count = 0;
    Check(ace::AdsGetNumIndexes(mlHandle, &count));
    if (indexActive && IndexCoversKeyFields(ActiveIndexFieldNames(), KeyFields, lastCovered)) {
        return mlActiveHandle;
    }
    std::vector<ADSHANDLE> candidates;
    if (mpoAdsTableOptions->AdsLocateBehavior() == lbFindFirst && count != 0) {
        const ADSHANDLE only = SearchIndexHandle();
        if (only != kNoAdsHandle) {
            candidates.push_back(only);
        }
    } else if (count != 0) {
        candidates.resize(count);
        UNSIGNED16 length = count;
        Check(ace::AdsGetAllIndexes(mlHandle, candidates.data(), &length));
        candidates.resize(std::min(length, count));
        if (!indexActive) {
            PromoteDefaultIndex(candidates, static_cast<int>(candidates.size()));
        }
    }
    for (ADSHANDLE candidate : candidates) {
        UNSIGNED16 segments = 0;
        Check(ace::AdsGetNumSegments(candidate, &segments));
        std::string indexFields;
        for (UNSIGNED16 segment = 0; segment < segments; ++segment) {
            UNSIGNED8 name[kSegmentNameCapacity + 1] = {};
            UNSIGNED16 length = kSegmentNameCapacity + 1;
            Check(ace::AdsGetSegmentFieldname(candidate, segment, name, &length));
            if (!indexFields.empty()) {
                indexFields += ';';
            }
            indexFields += rtl::AnsiToUtf8(std::string_view(
                reinterpret_cast<const char*>(name), std::min(length, kSegmentNameCapacity)));
        }
        if (IndexCoversKeyFields(indexFields, KeyFields, lastCovered) &&
            IndexUsableForSearch(candidate)) {
            return candidate;
        }
    }
    return kNoAdsHandle;
}

bool TAdsDataSet::SeekKeyFields(ADSHANDLE index, const std::vector<db::TField*>& fields,
                                db::TLocateOptions Options, const std::string& lastCovered) {
    const bool partial = (Options & db::loPartialKey) != 0;
    const std::uint8_t* record = FilterBuffer();
    bool anyWide = false;
    Check(ace::AdsInitRawKey(index));
    for (const db::TField* field : fields) {
        const TACEFieldDef& def = *EngineFieldOf(*field);
        const std::string name = rtl::Utf8ToAnsi(def.FieldName());
        const std::uint8_t* bytes = record + def.Offset();
        const std::uint32_t length = def.Length();
        const bool isText =
            IsNarrowStringType(def.FieldType()) || IsWideStringType(def.FieldType());
        if (isText && field->IsNull()) {
            // A null text's engine bytes are zeros, which as key text would be a value of NUL
            // characters; the empty key value is what null records are indexed under.
            Check(ace::AdsSetEmpty(index, Text8(name)));
        } else if (IsNarrowStringType(def.FieldType())) {
            std::uint32_t used = length;
            if (partial && rtl::UpperCase(def.FieldName()) == lastCovered) {
                while (used > 0 && bytes[used - 1] == ' ') {
                    --used;
                }
            }
            Check(ace::AdsSetField(index, Text8(name), bytes, used));
        } else if (IsWideStringType(def.FieldType())) {
            // Copied out: the record image gives no alignment for UTF-16 units.
            std::u16string text(length / 2, u'\0');
            std::memcpy(text.data(), bytes, text.size() * sizeof(char16_t));
            if (partial) {
                while (!text.empty() && text.back() == u' ') {
                    text.pop_back();
                }
            }
            Check(ace::AdsSetFieldW(index, Text8(name), text.data(),
                                    static_cast<UNSIGNED32>(text.size())));
            anyWide = true;
        } else {
            Check(ace::AdsSetFieldRaw(index, Text8(name), bytes, length));
        }
    }
    std::array<UNSIGNED8, kRawKeyCapacity> key{};
    UNSIGNED16 keyLength = kRawKeyCapacity;
    if (!partial) {
        Check(ace::AdsBuildRawKey100(index, key.data(), &keyLength, VE_KEY_WHOLE));
    } else if (anyWide) {
        Check(ace::AdsBuildRawKey100(index, key.data(), &keyLength, VE_KEY_WIDE_PARTIAL));
    } else {
        Check(ace::AdsBuildRawKey(index, key.data(), &keyLength));
    }
    UNSIGNED16 found = 0;
    Check(ace::AdsSeek(index, key.data(), keyLength, VE_RAWKEY, VE_SOFTSEEK, &found));
    return found != 0;
}

bool TAdsDataSet::SearchByExpression(const std::vector<db::TField*>& fields,
                                     db::TLocateOptions Options) {
    const bool partial = (Options & db::loPartialKey) != 0;
    const std::string expression =
        BuildFilterString(fields, (Options & db::loCaseInsensitive) != 0);
    UNSIGNED16 probe = 0;
    const bool hadAof = FilterExists(*this, ace::AdsGetAOF(mlHandle, nullptr, &probe));
    probe = 0;
    const bool hadFilter = FilterExists(*this, ace::AdsGetFilter(mlHandle, nullptr, &probe));
    UNSIGNED16 savedExact = 0;
    Check(ace::AdsGetExact22(mlHandle, &savedExact));

    // The restoring calls are not checked: the search's own answer (or error) is the one that
    // counts, and each restores something the search itself set.
    auto restore = [&] {
        ace::AdsSetExact22(mlHandle, savedExact);
        if (!hadAof) {
            ace::AdsClearAOF(mlHandle);
        } else if (!hadFilter) {
            ace::AdsClearFilter(mlHandle);
        }
    };
    bool found = false;
    try {
        Check(ace::AdsSetExact22(mlHandle, partial ? 0 : 1));
        if (hadAof && hadFilter) {
            found = LocateLocally(expression);
        } else {
            const std::u16string text = rtl::Utf8ToUtf16(expression);
            if (hadAof) {
                Check(ace::AdsSetFilter100(mlHandle, text.c_str(), kSearchFilterOptions));
            } else {
                Check(ace::AdsSetAOF100(mlHandle, text.c_str(), kSearchAofOptions));
            }
            Check(ace::AdsGotoTop(mlActiveHandle));
            UNSIGNED16 atEnd = 1;
            Check(ace::AdsAtEOF(mlHandle, &atEnd));
            found = atEnd == 0;
            if (found && OnFilterRecord() && Filtered()) {
                found = ScanWithFilterEvent(true);
            }
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return found;
}

std::string TAdsDataSet::BuildFilterString(const std::vector<db::TField*>& fields,
                                           bool caseInsensitive) {
    if (State() != db::dsFilter) {
        RaiseError("Internal Error, << BuildFilterString >>");
    }
    const char separator = rtl::FormatSettings().DecimalSeparator;
    std::string expression;
    for (const db::TField* field : fields) {
        if (!expression.empty()) {
            expression += " AND ";
        }
        const std::string& name = field->FieldName();
        if (field->IsNull()) {
            expression += "(empty(" + name + "))";
            continue;
        }
        const TACEFieldDef* def = EngineFieldOf(*field);
        const UNSIGNED16 type = def != nullptr ? def->FieldType() : 0;
        std::string value;
        bool isString = false;
        switch (type) {
            case VE_FIELD_LOGICAL:
                value = field->AsBoolean() ? ".TRUE." : ".FALSE.";
                break;
            case VE_FIELD_NUMERIC:
            case VE_FIELD_DOUBLE:
            case VE_FIELD_CURDOUBLE:
            case VE_FIELD_MONEY:
                value = field->AsString();
                std::replace(value.begin(), value.end(), separator, '.');
                break;
            case VE_FIELD_DATE:
                value = "ctod(\"" + field->AsString() + "\")";
                break;
            case VE_FIELD_TIME:
                value = "ctot(\"" + field->AsString() + "\")";
                break;
            case VE_FIELD_TIMESTAMP:
            case VE_FIELD_MODTIME:
                value = "ctots(\"" + field->AsString() + "\")";
                break;
            default:
                isString = IsNarrowStringType(type) || IsWideStringType(type);
                value = isString ? QuotedExpressionText(field->AsString()) : field->AsString();
                break;
        }
        if (isString && caseInsensitive) {
            expression += "(UPPER(" + name + ")=UPPER(" + value + "))";
        } else {
            expression += "(" + name + "=" + value + ")";
        }
    }
    return expression;
}

bool TAdsDataSet::LocateLocally(const std::string& expression) {
    const std::string ansi = rtl::Utf8ToAnsi(expression);
    Check(ace::AdsGotoTop(mlActiveHandle));
    UNSIGNED16 atEnd = 1;
    Check(ace::AdsAtEOF(mlHandle, &atEnd));
    while (atEnd == 0) {
        UNSIGNED16 result = 0;
        Check(ace::AdsEvalLogicalExpr(mlActiveHandle, Text8(ansi), &result));
        if (result == 1) {
            return true;
        }
        Check(ace::AdsSkip(mlActiveHandle, 1));
        Check(ace::AdsAtEOF(mlHandle, &atEnd));
    }
    return false;
}

// --- Index tests --------------------------------------------------------------------------------

bool TAdsDataSet::ActiveIndexHasScope() const {
    if (mlActiveHandle == mlHandle) {
        return false;
    }
    std::array<UNSIGNED8, kScopeCapacity + 1> scope{};
    UNSIGNED16 length = kScopeCapacity;
    UNSIGNED32 result = ace::AdsGetScope(mlActiveHandle, VE_TOP, scope.data(), &length);
    if (result == VE_NO_SCOPE) {
        length = kScopeCapacity;
        result = ace::AdsGetScope(mlActiveHandle, VE_BOTTOM, scope.data(), &length);
        if (result == VE_NO_SCOPE) {
            return false;
        }
    }
    Check(result);
    return true;
}

bool TAdsDataSet::ActiveIndexHasCondition() const {
    if (mlActiveHandle == mlHandle) {
        return false;
    }
    std::array<UNSIGNED8, kConditionProbeCapacity + 1> condition{};
    UNSIGNED16 length = kConditionProbeCapacity;
    const UNSIGNED32 result = ace::AdsGetIndexCondition(mlActiveHandle, condition.data(), &length);
    if (result != VE_BUFFER_TOO_SMALL) {
        Check(result);
    }
    return length != 0;
}

bool TAdsDataSet::ActiveIndexIsUnique() const {
    if (mlActiveHandle == mlHandle || TableType() == ttAdsADT) {
        return false;
    }
    UNSIGNED16 unique = 0;
    Check(ace::AdsIsIndexUnique(mlActiveHandle, &unique));
    return unique == 1;
}

bool TAdsDataSet::ActiveIndexIsCustom() const {
    if (mlActiveHandle == mlHandle) {
        return false;
    }
    UNSIGNED16 custom = 0;
    const UNSIGNED32 result = ace::AdsIsIndexCustom(mlActiveHandle, &custom);
    if (result == VE_NOT_APPLICABLE) {
        return false;
    }
    Check(result);
    return custom == 1;
}

bool TAdsDataSet::IndexUsableForSearch(ADSHANDLE index) const {
    std::array<UNSIGNED8, kScopeCapacity + 1> scope{};
    UNSIGNED16 length = kScopeCapacity;
    UNSIGNED32 result = ace::AdsGetScope(index, VE_TOP, scope.data(), &length);
    if (result == VE_NO_SCOPE) {
        length = kScopeCapacity;
        result = ace::AdsGetScope(index, VE_BOTTOM, scope.data(), &length);
    }
    if (result != VE_NO_SCOPE) {
        Check(result);
        if (length != 0) {
            return false;
        }
    }
    std::array<UNSIGNED8, kConditionProbeCapacity + 1> condition{};
    length = kConditionProbeCapacity;
    result = ace::AdsGetIndexCondition(index, condition.data(), &length);
    if (result != VE_BUFFER_TOO_SMALL) {
        Check(result);
    }
    if (length != 0) {
        return false;
    }
    UNSIGNED16 yes = 0;
    if (TableType() != ttAdsADT) {
        Check(ace::AdsIsIndexUnique(index, &yes));
        if (yes == 1) {
            return false;
        }
    }
    yes = 0;
    result = ace::AdsIsIndexCustom(index, &yes);
    if (result != VE_NOT_APPLICABLE) {
        Check(result);
    }
    return yes != 1;
}

std::string TAdsDataSet::ActiveIndexFieldNames() {
    auto fieldsOf = [this](const std::string& name) {
        UpdateIndexDefs();
        const db::TIndexDef* def = mpoIndexDefs->FindIndex(name);
        return def != nullptr ? def->Fields() : std::string();
    };
    switch (meActiveIndexType) {
        case ndxIndexName:
            return fieldsOf(mstrIndexName);
        case ndxIndexField:
            return mstrIndexFieldNames;
        case ndxDefault:
            return fieldsOf(mstrDefaultIndex);
        default:
            return std::string();
    }
}

db::TField& TAdsDataSet::FieldForSegment(int segment) {
    UNSIGNED8 name[kSegmentNameCapacity + 1] = {};
    UNSIGNED16 length = kSegmentNameCapacity + 1;
    Check(ace::AdsGetSegmentFieldname(mlActiveHandle, static_cast<UNSIGNED16>(segment), name,
                                      &length));
    return FieldByName(rtl::AnsiToUtf8(std::string_view(
        reinterpret_cast<const char*>(name), std::min<UNSIGNED16>(length, kSegmentNameCapacity))));
}

// --- OnFilterRecord ----------------------------------------------------------------------------

bool TAdsDataSet::CallFilterRecordEvent(db::TRecordBuffer buffer) {
    bool accept = true;
    if (!OnFilterRecord()) {
        return accept;
    }
    const db::TRecordBuffer previousFilterBuffer = FilterBuffer();
    SetFilterBuffer(buffer);
    const db::TDataSetState previousState = SetTempState(db::dsFilter);
    try {
        OnFilterRecord()(*this, accept);
    } catch (...) {
        // With an application handler installed, the handler shows the error and the record
        // keeps the verdict it had; without one the error goes on.
        if (!ReportException(std::current_exception())) {
            RestoreState(previousState);
            SetFilterBuffer(previousFilterBuffer);
            throw;
        }
    }
    RestoreState(previousState);
    SetFilterBuffer(previousFilterBuffer);
    return accept;
}

bool TAdsDataSet::ScanWithFilterEvent(bool forward) {
    if (!OnFilterRecord()) {
        RaiseError("Expected OnFilterRecord event.");
    }
    db::TRecordBuffer buffer = AllocateRecordBuffer();
    try {
        const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
        for (;;) {
            UNSIGNED32 size = musRecBufSize;
            Check(ace::AdsGetRecord(mlHandle, buffer, &size));
            if (calcFirst) {
                GetCalcFields(buffer);
            }
            if (CallFilterRecordEvent(buffer)) {
                ReleaseRecordBuffer(buffer);
                return true;
            }
            Check(ace::AdsSkip(mlActiveHandle, forward ? 1 : -1));
            UNSIGNED16 atEnd = 1;
            Check(forward ? ace::AdsAtEOF(mlHandle, &atEnd) : ace::AdsAtBOF(mlHandle, &atEnd));
            if (atEnd != 0) {
                ReleaseRecordBuffer(buffer);
                return false;
            }
        }
    } catch (...) {
        ReleaseRecordBuffer(buffer);
        throw;
    }
}

bool TAdsDataSet::SeekWithFilterEvent(const std::uint8_t* key, std::uint16_t length,
                                      UNSIGNED16 keyType) {
    if (!OnFilterRecord()) {
        RaiseError("Expected OnFilterRecord event.");
    }
    UNSIGNED16 found = 0;
    Check(ace::AdsSeek(mlActiveHandle, key, length, keyType, VE_HARDSEEK, &found));
    if (found == 0) {
        return false;
    }
    db::TRecordBuffer buffer = AllocateRecordBuffer();
    try {
        const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
        std::vector<UNSIGNED8> recordKey;
        UNSIGNED32 size = musRecBufSize;
        Check(ace::AdsGetRecord(mlHandle, buffer, &size));
        bool accepted = false;
        for (;;) {
            if (calcFirst) {
                GetCalcFields(buffer);
            }
            accepted = CallFilterRecordEvent(buffer);
            if (accepted) {
                break;
            }
            Check(ace::AdsSkip(mlActiveHandle, 1));
            UNSIGNED16 atEnd = 1;
            Check(ace::AdsAtEOF(mlHandle, &atEnd));
            if (atEnd != 0) {
                break;
            }
            size = musRecBufSize;
            Check(ace::AdsGetRecord(mlHandle, buffer, &size));
            if (recordKey.empty()) {
                UNSIGNED16 keyLength = 0;
                Check(ace::AdsGetKeyLength(mlActiveHandle, &keyLength));
                recordKey.resize(std::size_t{keyLength} + 1);
            }
            UNSIGNED16 recordKeyLength = static_cast<UNSIGNED16>(recordKey.size());
            Check(ace::AdsBuildKeyFromRecord(mlActiveHandle, buffer, musRecordSize,
                                             recordKey.data(), &recordKeyLength));
            if (recordKeyLength < length) {
                RaiseError("Invalid key size.");
            }
            // Past the records whose keys begin with the sought one.
            if (std::memcmp(recordKey.data(), key, length) != 0) {
                break;
            }
        }
        ReleaseRecordBuffer(buffer);
        return accepted;
    } catch (...) {
        ReleaseRecordBuffer(buffer);
        throw;
    }
}

}  // namespace varelum::ads
