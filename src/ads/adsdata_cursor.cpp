// TAdsDataSet: opening and closing the engine cursor, fetching and the public engine-handle
// operations (see adsdata_cursor.h). The order (index files and tags) is in adsdata_order.cpp,
// record numbers, counts and bookmarks in adsdata_positions.cpp.
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
constexpr const char* kTableTypeMismatch =
    "The table type must remain identical to the table type associated with the alias.";
constexpr UNSIGNED16 kCollationCapacity = 101;

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

}  // namespace

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
