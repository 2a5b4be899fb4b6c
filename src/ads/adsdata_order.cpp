// TAdsDataSet's order: the index files it opens, the active index chosen by IndexName or
// IndexFieldNames, the index definitions and names it reports, and the table's default index
// (see adsdata_cursor.h).
#include <algorithm>
#include <cstring>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_names.h"
#include "ads/adsdata_registry.h"
#include "db/db_messages.h"
#include "rtl/code_page.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr const char* kNotAValidIndexField = "Not a valid index field name:";
constexpr const char* kDefaultIndexName = "ADS_DEFAULT";
constexpr UNSIGNED16 kIndexNameCapacity = 260;
constexpr UNSIGNED16 kIndexConditionCapacity = 510;
constexpr UNSIGNED16 kMaxIndexesPerFile = 256;
constexpr UNSIGNED16 kDefaultIndexProperty = 213;
constexpr UNSIGNED16 kDefaultIndexCapacity = 200;
constexpr UNSIGNED32 kNoDefaultIndex = 5138;

std::string FromText8(const UNSIGNED8* text, std::size_t length) {
    return rtl::AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(text), length));
}

}  // namespace

// --- TAdsIndexFiles ----------------------------------------------------------------------------

TAdsIndexFiles::TAdsIndexFiles(TAdsDataSet* owner) : mpoOwner(owner) {
    if (owner == nullptr) {
        RaiseAdsComponentError(nullptr, "TAdsIndexFiles instances require a non-nil owner");
    }
}

int TAdsIndexFiles::IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < FNames.size(); ++i) {
        if (rtl::SameText(FNames[i], name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TAdsIndexFiles::Add(const std::string& name) {
    const int existing = IndexOf(name);
    if (existing >= 0) {
        return existing;
    }
    auto at = std::lower_bound(
        FNames.begin(), FNames.end(), name,
        [](const std::string& a, const std::string& b) { return rtl::CompareText(a, b) < 0; });
    const int index = static_cast<int>(at - FNames.begin());
    FNames.insert(at, name);
    if (mpoOwner->Active()) {
        mpoOwner->OpenIndexFile(name);
    }
    mpoOwner->InvalidateIndexDefs();
    return index;
}

void TAdsIndexFiles::Delete(int index) {
    const std::string name = (*this)[index];
    FNames.erase(FNames.begin() + index);
    if (mpoOwner->Active()) {
        mpoOwner->CloseIndexFile(name);
    }
    mpoOwner->InvalidateIndexDefs();
}

void TAdsIndexFiles::Clear() {
    while (!FNames.empty()) {
        Delete(Count() - 1);
    }
}

// --- Index files ---------------------------------------------------------------------------------

void TAdsDataSet::OpenIndexFilesOn(ADSHANDLE handle) {
    try {
        for (int i = 0; i < mpoIndexFiles->Count(); ++i) {
            const std::string path =
                rtl::Utf8ToAnsi(GetDatabasePath() + "\\" + (*mpoIndexFiles)[i]);
            ADSHANDLE indexes[kMaxIndexesPerFile] = {};
            UNSIGNED16 count = kMaxIndexesPerFile;
            Check(ace::AdsOpenIndex(handle, Text8(path), indexes, &count));
            FOpenIndexFiles.emplace_back((*mpoIndexFiles)[i],
                                         std::vector<ADSHANDLE>(indexes, indexes + count));
        }
    } catch (...) {
        FOpenIndexFiles.clear();
        // The handle never reaches the dataset; the open's own error is the one to report.
        ace::AdsCloseTable(handle);
        throw;
    }
}

void TAdsDataSet::OpenIndexFile(const std::string& name) {
    const bool hasSeparator = HasPathSeparator(name);
    const std::string path = rtl::Utf8ToAnsi(hasSeparator ? name : GetDatabasePath() + "\\" + name);
    ADSHANDLE indexes[kMaxIndexesPerFile] = {};
    UNSIGNED16 count = kMaxIndexesPerFile;
    Check(ace::AdsOpenIndex(mlHandle, Text8(path), indexes, &count));
    FOpenIndexFiles.emplace_back(name, std::vector<ADSHANDLE>(indexes, indexes + count));
}

void TAdsDataSet::CloseIndexFile(const std::string& name) {
    for (auto it = FOpenIndexFiles.begin(); it != FOpenIndexFiles.end(); ++it) {
        if (rtl::SameText(it->first, name)) {
            const std::vector<ADSHANDLE> handles = it->second;
            FOpenIndexFiles.erase(it);
            for (ADSHANDLE index : handles) {
                if (index == mlActiveHandle) {
                    meActiveIndexType = ndxNone;
                    mstrIndexName.clear();
                    mstrIndexFieldNames.clear();
                    ActivateOrder();
                }
                Check(ace::AdsCloseIndex(index));
            }
            return;
        }
    }
}

// --- Order ---------------------------------------------------------------------------------------

ADSHANDLE TAdsDataSet::GetAceIndexHandle() const {
    return mlActiveHandle == mlHandle ? kNoAdsHandle : mlActiveHandle;
}

ADSHANDLE TAdsDataSet::SearchIndexHandle() {
    return mlActiveHandle == mlHandle ? kNoAdsHandle : mlActiveHandle;
}

void TAdsDataSet::PromoteDefaultIndex(std::vector<ADSHANDLE>& /*list*/, int /*count*/) {}

void TAdsDataSet::ActivateOrder() {
    const bool active = Active();
    if (active) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    ADSHANDLE order = mlHandle;
    switch (meActiveIndexType) {
        case ndxNone:
            break;
        case ndxIndexName:
            Check(ace::AdsGetIndexHandle(mlHandle, Text8(rtl::Utf8ToAnsi(mstrIndexName)), &order));
            break;
        case ndxDefault:
            Check(
                ace::AdsGetIndexHandle(mlHandle, Text8(rtl::Utf8ToAnsi(mstrDefaultIndex)), &order));
            break;
        case ndxIndexField:
            order = FindIndexForFields(mstrIndexFieldNames);
            if (order == kNoAdsHandle) {
                RaiseError(kNotAValidIndexField + mstrIndexFieldNames);
            }
            break;
    }
    mlActiveHandle = order;
    if (!active) {
        ComputeBufferLayout();
        return;
    }
    // The bookmark size may change with the order, and with it every buffer's layout.
    ReleaseBufferWindow();
    try {
        ComputeBufferLayout();
        AllocateBufferWindow();
    } catch (...) {
        CloseAfterFailure();
        throw;
    }
}

ADSHANDLE TAdsDataSet::FindIndexForFields(const std::string& names) {
    UpdateIndexDefs();
    const db::TIndexDef* found = nullptr;
    const std::string upper = rtl::UpperCase(names);
    for (const auto& def : *mpoIndexDefs) {
        if ((def->Options() & (db::ixDescending | db::ixExpression)) != 0) {
            continue;
        }
        if (rtl::SameText(def->Fields(), names)) {
            found = def.get();
            break;
        }
    }
    if (found == nullptr) {
        for (const auto& def : *mpoIndexDefs) {
            if ((def->Options() & (db::ixDescending | db::ixExpression)) != 0) {
                continue;
            }
            const std::string fields = rtl::UpperCase(def->Fields());
            if (fields.size() > upper.size() && fields.compare(0, upper.size(), upper) == 0 &&
                fields[upper.size()] == ';') {
                found = def.get();
                break;
            }
        }
    }
    if (found == nullptr) {
        return kNoAdsHandle;
    }
    ADSHANDLE order = kNoAdsHandle;
    Check(ace::AdsGetIndexHandle(mlHandle, Text8(rtl::Utf8ToAnsi(found->Name())), &order));
    return order;
}

void TAdsDataSet::ActivateOrderOrRestore(const std::string& oldName, const std::string& oldFields,
                                         TAdsIndexTypes oldType) {
    try {
        ActivateOrder();
    } catch (...) {
        // An order the engine refuses leaves the dataset on the one it had.
        mstrIndexName = oldName;
        mstrIndexFieldNames = oldFields;
        meActiveIndexType = oldType;
        throw;
    }
}

void TAdsDataSet::ResyncInNewOrder() {
    if (mpoMasterLink->Active() && !mpoMasterLink->Fields().empty()) {
        ApplyMasterRange();
    }
    Resync(0);
}

void TAdsDataSet::SetIndexName(const std::string& value) {
    if (Active()) {
        CheckBrowseMode();
    }
    const std::string oldName = mstrIndexName;
    const std::string oldFields = mstrIndexFieldNames;
    const TAdsIndexTypes oldType = meActiveIndexType;
    mstrIndexName = value;
    mstrIndexFieldNames.clear();
    if (value.empty()) {
        meActiveIndexType = ndxNone;
    } else if (rtl::UpperCase(value) == kDefaultIndexName) {
        meActiveIndexType = ndxDefault;
    } else {
        meActiveIndexType = ndxIndexName;
    }
    if (mlHandle != kNoAdsHandle) {
        if (mbScoped) {
            mbScoped = false;
            ClearEngineScope();
        } else {
            ClearRange();
        }
        ActivateOrderOrRestore(oldName, oldFields, oldType);
    }
    if (Active()) {
        ResyncInNewOrder();
    }
}

void TAdsDataSet::SetIndexFieldNames(const std::string& value) {
    if (Active()) {
        CheckBrowseMode();
    }
    if (mbScoped) {
        mbScoped = false;
        if (mlHandle != kNoAdsHandle) {
            ClearEngineScope();
        }
    } else if (mlHandle != kNoAdsHandle) {
        // The range belongs to the old index; left applied, an equal range could not be set on
        // the new one.
        ClearRange();
    }
    const std::string oldName = mstrIndexName;
    const std::string oldFields = mstrIndexFieldNames;
    const TAdsIndexTypes oldType = meActiveIndexType;
    mstrIndexFieldNames = rtl::Trim(value);
    mstrIndexName.clear();
    meActiveIndexType = mstrIndexFieldNames.empty() ? ndxNone : ndxIndexField;
    if (mlHandle != kNoAdsHandle) {
        ActivateOrderOrRestore(oldName, oldFields, oldType);
        if (Active()) {
            ResyncInNewOrder();
        }
    }
}

db::TIndexDefs& TAdsDataSet::IndexDefs() {
    // Only an open dataset reads them: a closed one's definitions are the caller's, kept for
    // creating a table.
    if (Active() && !mpoIndexDefs->Updated()) {
        UpdateIndexDefs();
    }
    return *mpoIndexDefs;
}

void TAdsDataSet::UpdateIndexDefs() {
    if (mpoIndexDefs->Updated()) {
        return;
    }
    bool temporary = false;
    const ADSHANDLE handle = TemporaryOrOpenHandle(temporary);
    try {
        mpoIndexDefs->Clear();
        UNSIGNED16 count = 0;
        Check(ace::AdsGetNumIndexes(handle, &count));
        std::vector<ADSHANDLE> indexes(count);
        if (count > 0) {
            Check(ace::AdsGetAllIndexes(handle, indexes.data(), &count));
            indexes.resize(count);
        }
        for (ADSHANDLE index : indexes) {
            UNSIGNED8 name[kIndexNameCapacity + 1] = {};
            UNSIGNED16 nameLength = kIndexNameCapacity;
            Check(ace::AdsGetIndexName(index, name, &nameLength));
            UNSIGNED16 segments = 0;
            Check(ace::AdsGetNumSegments(index, &segments));
            std::string fields;
            // The engine counts segments from 0.
            for (UNSIGNED16 segment = 0; segment < segments; ++segment) {
                UNSIGNED8 field[kSegmentNameCapacity + 1] = {};
                UNSIGNED16 fieldLength = kSegmentNameCapacity + 1;
                Check(ace::AdsGetSegmentFieldname(index, segment, field, &fieldLength));
                if (!fields.empty()) {
                    fields += ';';
                }
                fields += FromText8(field, fieldLength);
            }
            db::TIndexOptions options = 0;
            UNSIGNED16 yes = 0;
            Check(ace::AdsIsIndexDescending(index, &yes));
            options |= yes ? unsigned{db::ixDescending} : 0u;
            Check(ace::AdsIsIndexUnique(index, &yes));
            bool unique = yes != 0;
            if (!unique && TableType() == ttAdsVFP) {
                Check(ace::AdsIsIndexCandidate(index, &yes));
                unique = yes != 0;
            }
            options |= unique ? unsigned{db::ixUnique} : 0u;
            Check(ace::AdsIsIndexPrimaryKey(index, &yes));
            options |= yes ? unsigned{db::ixPrimary} : 0u;
            if (segments == 0) {
                options |= db::ixExpression;
            }
            db::TIndexDef& def =
                mpoIndexDefs->Add(FromText8(name, nameLength), rtl::UpperCase(fields), options);
            if (segments == 0) {
                UNSIGNED8 expression[kIndexConditionCapacity + 1] = {};
                UNSIGNED16 expressionLength = kIndexConditionCapacity;
                if (ace::AdsGetIndexExpr(index, expression, &expressionLength) == VE_SUCCESS) {
                    def.SetExpression(FromText8(expression, expressionLength));
                }
            }
        }
        mpoIndexDefs->SetUpdated(true);
    } catch (...) {
        if (temporary) {
            ace::AdsCloseTable(handle);
        }
        throw;
    }
    if (temporary) {
        ace::AdsCloseTable(handle);
    }
}

void TAdsDataSet::GetIndexNames(std::vector<std::string>& list) {
    bool temporary = false;
    const ADSHANDLE handle = TemporaryOrOpenHandle(temporary);
    try {
        list.clear();
        UNSIGNED16 count = 0;
        Check(ace::AdsGetNumIndexes(handle, &count));
        std::vector<ADSHANDLE> indexes(count);
        if (count > 0) {
            Check(ace::AdsGetAllIndexes(handle, indexes.data(), &count));
            indexes.resize(count);
        }
        for (ADSHANDLE index : indexes) {
            UNSIGNED8 name[kIndexNameCapacity + 1] = {};
            UNSIGNED16 length = kIndexNameCapacity;
            Check(ace::AdsGetIndexName(index, name, &length));
            list.push_back(FromText8(name, length));
        }
    } catch (...) {
        if (temporary) {
            ace::AdsCloseTable(handle);
        }
        throw;
    }
    if (temporary) {
        ace::AdsCloseTable(handle);
    }
    if (HasDictionaryConnection() && !mstrDefaultIndex.empty()) {
        list.emplace_back(kDefaultIndexName);
    }
}

ADSHANDLE TAdsDataSet::TemporaryOrOpenHandle(bool& temporary) {
    temporary = mlHandle == kNoAdsHandle;
    return temporary ? OpenEngineCursor() : mlHandle;
}

void TAdsDataSet::UpdateDefaultIndex() {
    if (!UsesDefaultIndex() || !HasDictionaryConnection()) {
        return;
    }
    UNSIGNED8 answer[kDefaultIndexCapacity + 1] = {};
    UNSIGNED16 length = kDefaultIndexCapacity;
    const std::string table = rtl::Utf8ToAnsi(mstrTableName);
    const UNSIGNED32 result = ace::AdsDDGetTableProperty(
        mpoAdsConnection->ConnectionHandle(), Text8(table), kDefaultIndexProperty, answer, &length);
    if (result == kNoDefaultIndex) {
        if (mstrIndexName == kDefaultIndexName) {
            mstrIndexName.clear();
        }
    } else if (result == VE_SUCCESS) {
        mstrDefaultIndex = FromText8(answer, std::strlen(reinterpret_cast<const char*>(answer)));
        if (mstrIndexName == kDefaultIndexName ||
            (mstrIndexName.empty() && !ComponentState().Contains(rtl::csLoading))) {
            meActiveIndexType = ndxDefault;
            mstrIndexName = kDefaultIndexName;
        }
    }
    // Any other answer leaves the default index as it was: the dictionary may not know it.
}

}  // namespace varelum::ads
