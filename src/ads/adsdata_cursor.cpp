// TAdsDataSet: opening and closing the engine cursor, the order (indexes), fetching, counting,
// record numbers and the public engine-handle operations (see adsdata_cursor.h).
#include "ads/adsdata_cursor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_names.h"
#include "ads/adsdata_registry.h"
#include "db/db_messages.h"
#include "rtl/code_page.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr const char* kAlreadyOpen = "Table is already open.";
constexpr const char* kNotAValidIndexField = "Not a valid index field name:";
constexpr const char* kTableTypeMismatch =
    "The table type must remain identical to the table type associated with the alias.";
constexpr const char* kDefaultIndexName = "ADS_DEFAULT";
constexpr UNSIGNED16 kIndexNameCapacity = 260;
constexpr UNSIGNED16 kIndexConditionCapacity = 510;
constexpr UNSIGNED16 kCollationCapacity = 101;
constexpr UNSIGNED16 kMaxIndexesPerFile = 256;
constexpr UNSIGNED16 kDefaultIndexProperty = 213;
constexpr UNSIGNED16 kDefaultIndexCapacity = 200;
constexpr UNSIGNED32 kNoDefaultIndex = 5138;
constexpr UNSIGNED32 kIndexFlagUnique = 1;

std::string FromText8(const UNSIGNED8* text, std::size_t length) {
    return rtl::AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(text), length));
}

UNSIGNED16 EngineTableTypeOf(TAdsTableTypes type) {
    switch (type) {
        case ttAdsCDX:
            return kAceTableCDX;
        case ttAdsNTX:
            return kAceTableNTX;
        case ttAdsVFP:
            return kAceTableVFP;
        default:
            return kAceTableADT;
    }
}

// An engine count returned through a signed property: 2^31 and above cannot be shown.
int CheckedCount(UNSIGNED32 value) {
    if (value > static_cast<UNSIGNED32>(INT32_MAX)) {
        throw rtl::ERangeError("Range check error");
    }
    return static_cast<int>(value);
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

// --- Construction -------------------------------------------------------------------------------

TAdsDataSet::TAdsDataSet(rtl::TComponent* owner)
    : db::TDataSet(owner),
      TAdsDatabaseLink(static_cast<rtl::TComponent&>(*this)),
      FACEFieldDefs(this),
      mpoIndexDefs(std::make_unique<db::TIndexDefs>()),
      mpoMasterLink(std::make_unique<db::TMasterDataLink>(this)),
      mpoAdsTableOptions(std::make_unique<TAdsTableOptions>(this)),
      mpoIndexFiles(std::make_unique<TAdsIndexFiles>(this)) {
    mpoMasterLink->OnMasterChange = [this] { ApplyMasterRange(); };
    mpoMasterLink->OnMasterDisable = [this] { DropMasterRange(); };
}

TAdsDataSet::~TAdsDataSet() {
    try {
        Close();
    } catch (...) {
        // A dataset being destroyed has nobody left to tell; its handle is closed regardless
        // by CloseEngineCursor, which swallows the engine's refusal itself.
    }
}

void TAdsDataSet::RaiseError(const std::string& text) const {
    RaiseAdsComponentError(const_cast<TAdsDataSet*>(this), text);
}

void TAdsDataSet::Check(UNSIGNED32 result) const {
    CheckAceResult(const_cast<TAdsDataSet*>(this), result);
}

bool TAdsDataSet::HasDictionaryConnection() const {
    return mpoAdsConnection != nullptr && IsDictionaryPath(mpoAdsConnection->GetConnectionPath());
}

// --- Table type -------------------------------------------------------------------------------

void TAdsDataSet::SetTableType(TAdsTableTypes Value) {
    if (Active()) {
        RaiseError(db::msg::SDataSetOpen);
    }
    if (!mstrDatabaseName.empty() && !HasPathSeparator(mstrDatabaseName)) {
        std::string path;
        TAdsTableTypes aliasType = ttAdsADT;
        if (LookupAlias(mstrDatabaseName, path, aliasType) && aliasType != Value) {
            RaiseError(kTableTypeMismatch);
        }
    } else if (mstrDatabaseName.empty() && mpoAdsConnection != nullptr) {
        TAdsTableTypes connectionType = ttAdsADT;
        if (DataSetTableTypeOf(mpoAdsConnection->GetAdsTableType(), connectionType) &&
            connectionType != Value) {
            RaiseError(kTableTypeMismatch);
        }
    }
    TAdsDatabaseLink::SetTableType(Value);
    musOpenTableType = EngineTableTypeOf(Value);
}

std::string TAdsDataSet::GetEffectiveCollation() const {
    if (!mpoAdsTableOptions->AdsCollation().empty()) {
        return mpoAdsTableOptions->AdsCollation();
    }
    if (mpoAdsConnection != nullptr) {
        if (std::string collation = mpoAdsConnection->AdsCollation(); !collation.empty()) {
            return collation;
        }
    }
    return std::string(AdsCharTypeName(mpoAdsTableOptions->AdsCharType()));
}

// --- Opening ------------------------------------------------------------------------------------

void TAdsDataSet::ActivateCursor() {
    if (mlHandle != kNoAdsHandle) {
        RaiseError(kAlreadyOpen);
    }
    if (mlActiveHandle == kNoAdsHandle) {
        mlHandle = OpenEngineCursor();
    } else {
        mlHandle = mlActiveHandle;
        Check(ace::AdsGetTableType(mlHandle, &musAceTableType));
    }
    FImageEngine.SetHandle(mlHandle);

    UNSIGNED32 recordLength = 0;
    Check(ace::AdsGetRecordLength(mlHandle, &recordLength));
    Check(ace::AdsGetTableOpenOptions(mlHandle, &mulTableOptions));
    mbCanModify = (mulTableOptions & VE_OPEN_READONLY) == 0;
    if (mbCanModify && (mulTableOptions & VE_OPEN_EXCLUSIVE) != 0) {
        UNSIGNED16 live = 1;
        if (ace::AdsSqlPeekStatement(mlHandle, &live) == VE_SUCCESS && live == 0) {
            mbExclusive = true;
        }
    }

    const TAdsRecordCache cache = mpoAdsTableOptions->AdsRecordCache();
    if (cache != rcStandard) {
        Check(ace::AdsCacheRecords(mlHandle, AceCachedRecords(cache)));
    }

    ADSHANDLE firstIndex = 0;
    UNSIGNED16 indexCount = 1;
    const UNSIGNED32 indexes = ace::AdsGetAllIndexes(mlHandle, &firstIndex, &indexCount);
    if ((indexes == VE_SUCCESS || indexes == VE_BUFFER_TOO_SMALL) && indexCount > 0) {
        UNSIGNED32 pageSize = 0;
        mpoAdsTableOptions->SetAdsIndexPageSize(
            ace::AdsGetIndexPageSize(firstIndex, &pageSize) == VE_SUCCESS ? pageSize : 0);
    } else if (indexes != VE_SUCCESS && indexes != VE_BUFFER_TOO_SMALL) {
        Check(indexes);
    }

    musRecBufSize = recordLength;
    musRecordSize = recordLength;
    SetBookmarkSize(BookmarkLengthOfOrder());
    AllocateKeyBuffers();

    FieldDefs().SetUpdated(false);
    UpdateFieldDefs();
    if (DefaultFields()) {
        CreateFields();
    }
    for (db::TField* field : Fields()) {
        const int def = FACEFieldDefs.IndexOf(field->FieldName());
        const UNSIGNED16 type = def >= 0 ? FACEFieldDefs[def].FieldType() : 0;
        if (auto* bcd = dynamic_cast<db::TBCDField*>(field)) {
            if (dynamic_cast<TAdsBCDField*>(field) == nullptr) {
                bcd->SetCurrency(true);
            } else if (type == VE_FIELD_NUMERIC || type == VE_FIELD_ROWVERSION) {
                bcd->SetCurrency(false);
            }
        }
        if (auto* text = dynamic_cast<TAdsStringField*>(field)) {
            if (type == VE_FIELD_CISTRING) {
                text->SetCaseInsensitive(true);
            }
        }
    }
    BindFields(true);
    ComputeBufferLayout();

    InvalidateIndexDefs();
    UpdateIndexDefs();

    if (mlHandle != 0) {
        ActivateOrder();
        if (mbScoped) {
            ApplyScopeToEngine();
        }
        if (Filtered()) {
            ApplyFilterToEngine();
        }
        MoveToFirst();
    }
}

std::unique_ptr<db::TField> TAdsDataSet::CreateFieldOfType(db::TFieldType type) const {
    rtl::TComponent* self = const_cast<TAdsDataSet*>(this);
    if (type == db::ftString) {
        // Owned by the fields list; the owner only tells whether a stored form is being read.
        auto field = std::make_unique<TAdsStringField>();
        return field;
    }
    if (type == db::ftBCD) {
        const bool loading = self->ComponentState().Contains(rtl::csLoading);
        auto field = std::make_unique<TAdsBCDField>();
        field->SetCurrency(!loading);
        return field;
    }
    return db::TDataSet::CreateFieldOfType(type);
}

void TAdsDataSet::AllocateKeyBuffers() {
    for (auto& keyBuffer : mapKeyBuffers) {
        keyBuffer = std::make_unique<TAdsKeyBuffer>();
        keyBuffer->Data.assign(musRecordSize, 0);
    }
    mpstKeyBuffer = nullptr;
}

void TAdsDataSet::FreeKeyBuffers() {
    for (auto& keyBuffer : mapKeyBuffers) {
        keyBuffer.reset();
    }
    mpstKeyBuffer = nullptr;
}

std::uint32_t TAdsDataSet::BookmarkLengthOfOrder() {
    const ADSHANDLE order =
        (mlActiveHandle != kNoAdsHandle && mlActiveHandle != 0) ? mlActiveHandle : mlHandle;
    UNSIGNED32 length = 0;
    Check(ace::AdsGetBookmarkLength(order, &length));
    return length;
}

void TAdsDataSet::ReadTableCharType(ADSHANDLE handle) {
    Check(ace::AdsGetTableCharType(handle, &musOpenCharType));
    UNSIGNED8 collation[kCollationCapacity + 1] = {};
    UNSIGNED16 length = kCollationCapacity;
    const UNSIGNED32 result = ace::AdsGetTableCollation(handle, collation, &length);
    if (result == VE_NO_COLLATION || (result == VE_SUCCESS && collation[0] == 0)) {
        mpoAdsTableOptions->AssignOpenCharType(static_cast<TAdsCharTypes>(musOpenCharType) - 1);
    } else if (result != VE_SUCCESS) {
        Check(result);
    }
}

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

// --- Closing ------------------------------------------------------------------------------------

void TAdsDataSet::CloseEngineCursor() {
    if (ComponentState().Contains(rtl::csDesigning)) {
        ace::AdsCacheOpenTables(0);
        ace::AdsCacheOpenCursors(0);
    }
    BindFields(false);
    DestroyFields();
    FreeKeyBuffers();
    FOldRecordBuffer.clear();
    FOpenIndexFiles.clear();
    if (mlHandle != kNoAdsHandle) {
        try {
            Check(ace::AdsCloseTable(mlHandle));
        } catch (...) {
            // The handle is gone for this dataset either way; a refusal to close it must not
            // keep the dataset from closing.
        }
    }
    mlHandle = kNoAdsHandle;
    mlActiveHandle = kNoAdsHandle;
    mbCanModify = false;
}

void TAdsDataSet::RereadCurrentRecord() {
    CheckAceResultIgnoreNoRecord(this, ace::AdsRefreshRecord(mlHandle));
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
        try {
            ActivateOrder();
        } catch (...) {
            mstrIndexName = oldName;
            mstrIndexFieldNames = oldFields;
            meActiveIndexType = oldType;
            throw;
        }
    }
    if (Active()) {
        if (mpoMasterLink->Active() && !mpoMasterLink->Fields().empty()) {
            ApplyMasterRange();
        }
        Resync(0);
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
        try {
            ActivateOrder();
        } catch (...) {
            mstrIndexName = oldName;
            mstrIndexFieldNames = oldFields;
            meActiveIndexType = oldType;
            throw;
        }
        if (Active()) {
            if (mpoMasterLink->Active() && !mpoMasterLink->Fields().empty()) {
                ApplyMasterRange();
            }
            Resync(0);
        }
    }
}

db::TIndexDefs& TAdsDataSet::IndexDefs() {
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

// --- Fetching ------------------------------------------------------------------------------------

db::TGetResult TAdsDataSet::FetchRecord(db::TRecordBuffer buffer, db::TGetMode mode,
                                        bool /*doCheck*/) {
    if (mlHandle == kNoAdsHandle || State() == db::dsInsert) {
        return db::grError;
    }
    switch (mode) {
        case db::gmNext:
            Check(ace::AdsSkip(mlActiveHandle, 1));
            break;
        case db::gmPrior:
            Check(ace::AdsSkip(mlActiveHandle, -1));
            break;
        case db::gmCurrent:
            break;
        default:
            return db::grError;
    }
    const db::TGetResult result = FetchVisibleRecord(buffer, mode);
    if (result != db::grOK) {
        return result;
    }
    buffer[musRecInfoOfs + 4] = db::bfCurrent;
    // The bookmark the fetch stored is the record's number: no need to ask the engine again.
    const std::int32_t number =
        static_cast<std::int32_t>(CurrentRecordNumber(BufferBookmarkRecord(buffer)));
    std::memcpy(buffer + musRecInfoOfs, &number, sizeof number);
    return db::grOK;
}

db::TGetResult TAdsDataSet::FetchVisibleRecord(db::TRecordBuffer buffer, db::TGetMode mode) {
    const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
    // Only the end the fetch moves towards can stop it, so the other is not asked for.
    const bool towardsEnd = mode == db::gmCurrent || mode == db::gmNext;
    const bool towardsBeginning = mode == db::gmCurrent || mode == db::gmPrior;
    for (;;) {
        if (towardsEnd) {
            UNSIGNED16 atEnd = 0;
            Check(ace::AdsAtEOF(mlHandle, &atEnd));
            if (atEnd) {
                return db::grEOF;
            }
        }
        if (towardsBeginning) {
            UNSIGNED16 atBeginning = 0;
            Check(ace::AdsAtBOF(mlHandle, &atBeginning));
            if (atBeginning) {
                return db::grBOF;
            }
        }
        UNSIGNED16 visible = 0;
        CheckAceResultIgnoreNoRecord(this, ace::AdsIsRecordVisible(mlActiveHandle, &visible));
        bool accepted = false;
        if (visible) {
            ReadRecordImage(buffer, musRecordSize, false);
            const bool calculate = HasCalculatedFields();
            if (calculate && calcFirst) {
                GetCalcFields(buffer);
            }
            accepted = !(OnFilterRecord() && Filtered()) || CallFilterRecordEvent(buffer);
            if (accepted) {
                if (calculate && !calcFirst) {
                    GetCalcFields(buffer);
                }
                return db::grOK;
            }
        }
        if (mode == db::gmCurrent) {
            return db::grError;
        }
        Check(ace::AdsSkip(mlActiveHandle, mode == db::gmPrior ? -1 : 1));
    }
}

void TAdsDataSet::MoveToFirst() {
    Check(ace::AdsGotoBOF(mlActiveHandle));
}

void TAdsDataSet::MoveToLast() {
    Check(ace::AdsGotoEOF(mlActiveHandle));
}

void TAdsDataSet::MoveToBookmark(const std::uint8_t* bookmark) {
    if (State() == db::dsInsert) {
        return;
    }
    std::uint32_t record = 0;
    std::memcpy(&record, bookmark, sizeof record);
    const UNSIGNED32 result = ace::AdsGotoBookmark(mlHandle, record);
    if (result != VE_RECORD_NOT_FOUND) {
        Check(result);
    }
}

void TAdsDataSet::MoveToBuffer(db::TRecordBuffer buffer) {
    MoveToBookmark(buffer + musBookmarkOfs);
}

// --- Record numbers and counts ----------------------------------------------------------------

std::uint32_t TAdsDataSet::CurrentRecordNumber(std::uint32_t record) {
    if ((mstrIndexName.empty() && mstrIndexFieldNames.empty()) || !mbIsSequenced) {
        return record;
    }
    if (meSeqLevel == slExact) {
        UNSIGNED32 key = 0;
        Check(ace::AdsGetKeyNum(mlActiveHandle, VE_RESPECT_FILTERS, &key));
        return key;
    }
    UNSIGNED32 count = 0;
    Check(ace::AdsGetRecordCount(mlHandle, VE_IGNORE_FILTERS, &count));
    double position = 0.0;
    const UNSIGNED32 result = ace::AdsGetRelKeyPos(mlActiveHandle, &position);
    if (result == VE_NO_KEY_POSITION) {
        position = 0.0;
    } else {
        Check(result);
    }
    return static_cast<std::uint32_t>(std::trunc(double(count) * position));
}

int TAdsDataSet::RecNo() const {
    CheckActive();
    if (State() == db::dsCalcFields) {
        return static_cast<int>(BufferBookmarkRecord(CalcBuffer()));
    }
    if (IsEmpty()) {
        return 0;
    }
    return BufferRecordNumber(ActiveBuffer());
}

void TAdsDataSet::SetRecNo(int value) {
    CheckBrowseMode();
    if (value < 0) {
        throw rtl::ERangeError("Range check error");
    }
    DoBeforeScroll();
    const bool indexActive = mlActiveHandle != mlHandle;
    const auto target = static_cast<UNSIGNED32>(value);
    if (mbIsSequenced && meSeqLevel == slExact) {
        Check(ace::AdsGotoTop(mlActiveHandle));
        Check(ace::AdsSkip(mlActiveHandle, value - 1));
    } else if (indexActive) {
        UNSIGNED32 count = 0;
        Check(ace::AdsGetRecordCount(mlHandle, VE_IGNORE_FILTERS, &count));
        const double position = count == 0 ? 0.0 : std::min(1.0, double(value) / double(count));
        Check(ace::AdsSetRelKeyPos(mlActiveHandle, position));
    } else if (Filtered()) {
        Check(ace::AdsGotoTop(mlHandle));
        Check(ace::AdsSkip(mlHandle, value - 1));
    } else {
        UNSIGNED32 result = ace::AdsGotoRecord(mlHandle, target);
        if (mbIsSequenced && result == VE_RECORD_NOT_FOUND) {
            Check(ace::AdsGotoTop(mlHandle));
            result = ace::AdsSkip(mlHandle, value - 1);
        }
        Check(result);
    }
    Resync(db::rmCenter);
    DoAfterScroll();
}

int TAdsDataSet::RecordCount() const {
    CheckActive();
    UNSIGNED16 option = 0;
    const ADSHANDLE handle = CountingHandle(option);
    UNSIGNED32 count = 0;
    Check(ace::AdsGetRecordCount(handle, option, &count));
    return CheckedCount(count);
}

ADSHANDLE TAdsDataSet::CountingHandle(UNSIGNED16& option) const {
    option = VE_IGNORE_FILTERS;
    if (mpoAdsTableOptions->AdsFilterOptions() == RESPECT_WHEN_COUNTING) {
        option = VE_RESPECT_FILTERS;
    } else if (mpoAdsTableOptions->AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING) {
        option = VE_RESPECT_SCOPES;
    }
    ADSHANDLE handle = mlActiveHandle;
    if (option == VE_RESPECT_FILTERS && mlActiveHandle != mlHandle) {
        UNSIGNED32 flags = 0;
        Check(ace::AdsGetIndexFlags(mlActiveHandle, &flags));
        if (TableType() == ttAdsADT || (flags & kIndexFlagUnique) == 0) {
            UNSIGNED8 condition[kIndexConditionCapacity + 1] = {};
            UNSIGNED16 length = kIndexConditionCapacity;
            Check(ace::AdsGetIndexCondition(mlActiveHandle, condition, &length));
            if (condition[0] == 0 && !ActiveIndexHasScope()) {
                handle = mlHandle;
            }
        }
    }
    if (mpoAdsTableOptions->AdsFreshRecordCount()) {
        option = static_cast<UNSIGNED16>(option + VE_REFRESH_COUNT);
    }
    return handle;
}

ADSHANDLE TAdsDataSet::AdsActiveRecord() {
    CheckActive();
    if (State() == db::dsCalcFields) {
        return 0;
    }
    ADSHANDLE position = 0;
    Check(ace::AdsGetBookmark(mlHandle, &position));
    try {
        Check(ace::AdsGotoRecord(mlHandle, BufferBookmarkRecord(ActiveBuffer())));
    } catch (const EADSDatabaseError& error) {
        UNSIGNED16 atBeginning = 0;
        UNSIGNED16 atEnd = 0;
        const bool empty = error.ACEErrorCode() == VE_RECORD_NOT_FOUND &&
                           ace::AdsAtBOF(mlHandle, &atBeginning) == VE_SUCCESS &&
                           ace::AdsAtEOF(mlHandle, &atEnd) == VE_SUCCESS && atBeginning && atEnd;
        if (!empty) {
            throw;
        }
    }
    CursorPosChanged();
    return position;
}

// --- Bookmarks -----------------------------------------------------------------------------------

bool TAdsDataSet::BookmarkValid(const db::TBookmark& bookmark) {
    if (!Active() || bookmark.size() < sizeof(std::uint32_t)) {
        return false;
    }
    CursorPosChanged();
    std::uint32_t record = 0;
    std::memcpy(&record, bookmark.data(), sizeof record);
    if (ace::AdsGotoBookmark(mlHandle, record) != VE_SUCCESS) {
        return false;
    }
    UNSIGNED16 atEnd = 1;
    if (ace::AdsAtEOF(mlHandle, &atEnd) != VE_SUCCESS || atEnd) {
        return false;
    }
    if (TableType() == ttAdsCDX || TableType() == ttAdsNTX || TableType() == ttAdsVFP) {
        UNSIGNED16 deleted = 0;
        Check(ace::AdsIsRecordDeleted(mlHandle, &deleted));
        if (deleted) {
            UNSIGNED16 shown = 0;
            Check(ace::AdsGetDeleted(&shown));
            return shown != 0;
        }
    }
    return true;
}

int TAdsDataSet::CompareBookmarks(const db::TBookmark& b1, const db::TBookmark& b2) {
    if (b1.empty() && b2.empty()) {
        return 0;
    }
    if (b1.empty()) {
        return 1;
    }
    if (b2.empty()) {
        return -1;
    }
    SIGNED32 result = 0;
    Check(ace::AdsCompareBookmarks(b1.data(), b2.data(), &result));
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool TAdsDataSet::GetCurrentRecord(db::TRecordBuffer buffer) {
    if (IsEmpty() || ReadBookmarkFlag(ActiveBuffer()) != db::bfCurrent) {
        return false;
    }
    UpdateCursorPos();
    std::memcpy(buffer, ActiveBuffer(), musRecordSize);
    return true;
}

// --- Engine handles and services
// ------------------------------------------------------------------

ADSHANDLE TAdsDataSet::GetAceConnectionHandle() {
    ADSHANDLE connection = 0;
    const UNSIGNED32 result = ace::AdsGetTableConnection(mlHandle, &connection);
    if (result == VE_NO_CONNECTION) {
        return 0;
    }
    Check(result);
    return connection;
}

std::string TAdsDataSet::Version() const {
    UNSIGNED32 major = 0;
    UNSIGNED32 minor = 0;
    UNSIGNED8 letter = ' ';
    Check(ace::AdsGetVersion(&major, &minor, &letter, nullptr, nullptr));
    std::string version = "11.10.0.30 (ACE " + std::to_string(major) + ".";
    if (minor < 10) {
        version += "0";
    }
    version += std::to_string(minor);
    if (letter != ' ' && letter != 0) {
        version += static_cast<char>(letter);
    }
    return version + ")";
}

void TAdsDataSet::FlushBuffers() {
    CheckBrowseMode();
    // Every write of this engine is durable already; the flush is a courtesy.
    ace::AdsFlushFileBuffers(mlHandle);
}

void TAdsDataSet::RenameTable(const std::string& /*NewTableName*/) {
    RaiseError("The method RenameTable in TAdsDataSet is not supported on free tables.");
}

}  // namespace varelum::ads
