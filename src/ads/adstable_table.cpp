// TAdsTable: the table open, the table's properties, file checks, restructuring and the
// master-detail fields (see adstable_table.h).
#include "ads/adstable_table.h"

#include <algorithm>
#include <filesystem>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_registry.h"
#include "db/db_messages.h"
#include "rtl/code_page.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr const char* kMissingTableName = "Missing TableName property";
constexpr const char* kMissingDatabase =
    "One of the DatabaseName property or the AdsConnection property must have a value.";
constexpr const char* kInvalidConnection = "Internal Error: invalid connection handle.";
constexpr UNSIGNED32 kReindexOnMismatch = VE_OPEN_REINDEX_ON_COLLATION_MISMATCH;
constexpr UNSIGNED32 kIgnoreMismatch = VE_OPEN_IGNORE_COLLATION_MISMATCH;
constexpr UNSIGNED16 kDictionaryTableObject = 1;

bool IsValidConnection(ADSHANDLE connection) {
    return connection != 0 && connection != kNoAdsHandle;
}

bool HasExtension(const std::string& name) {
    const std::size_t separator = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && (separator == std::string::npos || dot > separator);
}

}  // namespace

TAdsTable::TAdsTable(rtl::TComponent* owner) : TAdsExtendedTable(owner) {}

TAdsTable::~TAdsTable() {
    try {
        Close();
    } catch (...) {
        // See ~TAdsDataSet: nobody is left to tell, and the handle is released regardless.
    }
}

// --- Properties ------------------------------------------------------------------------------

void TAdsTable::SetTableName(const std::string& Value) {
    if (Active()) {
        RaiseError(db::msg::SDataSetOpen);
    }
    if (!ComponentState().Contains(rtl::csLoading) && Value != mstrTableName) {
        IndexFiles().Clear();
    }
    mstrTableName = Value;
    UpdateDefaultIndex();
    DataEvent(db::dePropertyChange);
}

void TAdsTable::SetExclusive(bool value) {
    CheckInactive();
    mbExclusive = value;
}

void TAdsTable::SetReadOnly(bool value) {
    CheckInactive();
    mbReadOnly = value;
}

void TAdsTable::SetIndexCollationMismatch(TIndexCollationMismatchOptions value) {
    if (Active()) {
        RaiseError(db::msg::SDataSetOpen);
    }
    meIndexCollationMismatch = value;
}

std::string TAdsTable::EngineTableName(const std::string& path) const {
    return HasDictionaryConnection() ? mstrTableName : path + "\\" + mstrTableName;
}

// --- Opening ---------------------------------------------------------------------------------

ADSHANDLE TAdsTable::OpenEngineCursor() {
    if (mstrTableName.empty()) {
        RaiseError(kMissingTableName);
    }
    UNSIGNED32 options = 0;
    if (mbExclusive) {
        options |= VE_OPEN_EXCLUSIVE;
    }
    if (mbReadOnly) {
        options |= VE_OPEN_READONLY;
    }
    // A read-only connection makes its tables read-only; the table keeps saying so after it
    // closes, as a designer would otherwise store a read-only table as writable.
    if (mpoAdsConnection != nullptr && mpoAdsConnection->ReadOnly()) {
        options |= VE_OPEN_READONLY;
        if (!ComponentState().Contains(rtl::csDesigning)) {
            mbReadOnly = true;
        }
    }
    if (meIndexCollationMismatch == icmIgnore) {
        options |= kIgnoreMismatch;
    } else if (meIndexCollationMismatch == icmReindex) {
        options |= kReindexOnMismatch;
    }
    const TAdsTableOptions& tableOptions = AdsTableOptions();
    options |= AceCachingOpenOption(tableOptions.AdsCachingOption());
    const UNSIGNED16 lockType = AceLockType(tableOptions.AdsLockType());
    const auto charType = static_cast<UNSIGNED16>(tableOptions.AdsCharType() + 1);
    const UNSIGNED16 rightsCheck = AceRightsCheck(tableOptions.AdsRightsCheck());

    const std::string path = GetDatabasePath();
    if (path.empty()) {
        RaiseError(kMissingDatabase);
    }
    const ADSHANDLE connection = ConnectAndGetHandle();
    const std::string name = rtl::Utf8ToAnsi(EngineTableName(path));
    if (!IsValidConnection(connection)) {
        RaiseError(kInvalidConnection);
    }
    const bool dictionary = HasDictionaryConnection();
    const UNSIGNED16 tableType = dictionary ? 0 : musOpenTableType;
    const std::string collation = rtl::Utf8ToAnsi(GetEffectiveCollation());

    ADSHANDLE handle = 0;
    UNSIGNED32 result =
        ace::AdsOpenTable90(connection, Text8(name), nullptr, tableType, charType, lockType,
                            rightsCheck, options, Text8(collation), &handle);
    if (result == VE_DICTIONARY_ONLY && dictionary) {
        const std::string byPath = rtl::Utf8ToAnsi(path + "\\" + mstrTableName);
        result = ace::AdsOpenTable90(connection, Text8(byPath), nullptr, musOpenTableType, charType,
                                     lockType, rightsCheck, options, Text8(collation), &handle);
    }
    Check(result);

    try {
        Check(ace::AdsGetTableType(handle, &musAceTableType));
        if (dictionary) {
            Check(ace::AdsGetTableType(handle, &musOpenTableType));
            switch (musOpenTableType) {
                case kAceTableCDX:
                    TAdsDatabaseLink::SetTableType(ttAdsCDX);
                    break;
                case kAceTableNTX:
                    TAdsDatabaseLink::SetTableType(ttAdsNTX);
                    break;
                case kAceTableVFP:
                    TAdsDatabaseLink::SetTableType(ttAdsVFP);
                    break;
                default:
                    TAdsDatabaseLink::SetTableType(ttAdsADT);
                    break;
            }
        }
        ReadTableCharType(handle);
        if (!FstrEncryptionPassword.empty()) {
            UNSIGNED16 encrypted = 0;
            UNSIGNED16 enabled = 0;
            Check(ace::AdsIsTableEncrypted(handle, &encrypted));
            Check(ace::AdsIsEncryptionEnabled(handle, &enabled));
            if (encrypted == 1 && enabled != 1) {
                const std::string password = rtl::Utf8ToAnsi(FstrEncryptionPassword);
                Check(ace::AdsEnableEncryption(handle, Text8(password)));
            }
        }
    } catch (...) {
        // Nothing stays open after a failed open; the first error is the one reported.
        ace::AdsCloseTable(handle);
        throw;
    }
    OpenIndexFilesOn(handle);
    return handle;
}

// --- Files -----------------------------------------------------------------------------------

std::string TAdsTable::TableFilePath() {
    std::string path = GetNativeDatabasePath() + "/" + mstrTableName;
    if (!HasExtension(mstrTableName)) {
        path += TableType() == ttAdsADT ? ".adt" : ".dbf";
    }
    return path;
}

bool TAdsTable::Exists() {
    if (Active()) {
        return true;
    }
    if (mstrTableName.empty()) {
        return false;
    }
    std::string path = TableFilePath();
    // "\" is a separator in database paths on every platform this layer serves.
    std::replace(path.begin(), path.end(), '\\', '/');
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::int32_t TAdsTable::LastAutoincVal() {
    UNSIGNED32 value = 0;
    Check(ace::AdsGetLastAutoinc(mlHandle, &value));
    if (value > static_cast<UNSIGNED32>(INT32_MAX)) {
        throw rtl::ERangeError("Range check error");
    }
    return static_cast<std::int32_t>(value);
}

// --- Structure ------------------------------------------------------------------------------

void TAdsTable::Restructure(const std::string& strAddFields, const std::string& strDeleteFields,
                            const std::string& strChangeFields) {
    if (Active()) {
        RaiseError(db::msg::SDataSetOpen);
    }
    if (mstrTableName.empty()) {
        RaiseError(kMissingTableName);
    }
    const std::string path = GetDatabasePath();
    if (path.empty()) {
        RaiseError(kMissingDatabase);
    }
    const TAdsTableOptions& tableOptions = AdsTableOptions();
    const ADSHANDLE connection = ConnectAndGetHandle();
    if (!IsValidConnection(connection)) {
        RaiseError(kInvalidConnection);
    }
    const std::string name = rtl::Utf8ToAnsi(EngineTableName(path));
    const std::string added = rtl::Utf8ToAnsi(strAddFields);
    const std::string deleted = rtl::Utf8ToAnsi(strDeleteFields);
    const std::string changed = rtl::Utf8ToAnsi(strChangeFields);
    const std::string collation = rtl::Utf8ToAnsi(GetEffectiveCollation());
    Check(ace::AdsRestructureTable90(
        connection, Text8(name), nullptr, HasDictionaryConnection() ? 0 : musOpenTableType,
        static_cast<UNSIGNED16>(tableOptions.AdsCharType() + 1),
        AceLockType(tableOptions.AdsLockType()), AceRightsCheck(tableOptions.AdsRightsCheck()),
        Text8(added), Text8(deleted), Text8(changed), Text8(collation)));
}

void TAdsTable::RenameTable(const std::string& NewTableName) {
    if (!HasDictionaryConnection()) {
        TAdsDataSet::RenameTable(NewTableName);
    }
    CheckInactive();
    const std::string oldName = rtl::Utf8ToAnsi(mstrTableName);
    const std::string newName = rtl::Utf8ToAnsi(NewTableName);
    Check(ace::AdsDDRenameObject(mpoAdsConnection->ConnectionHandle(), Text8(oldName),
                                 Text8(newName), kDictionaryTableObject, 0));
    SetTableName(NewTableName);
}

void TAdsTable::GetDetailLinkFields(std::vector<db::TField*>& MasterFields,
                                    std::vector<db::TField*>& DetailFields) {
    MasterFields.clear();
    DetailFields.clear();
    db::TDataSource* source = MasterSource();
    if (source == nullptr || source->DataSet() == nullptr || this->MasterFields().empty()) {
        return;
    }
    MasterFields = source->DataSet()->GetFieldList(this->MasterFields());
    InvalidateIndexDefs();
    UpdateIndexDefs();
    const db::TIndexDef* index = nullptr;
    for (const auto& def : IndexDefs()) {
        if (!IndexName().empty() ? def->Name() == IndexName()
                                 : def->Fields() == IndexFieldNames()) {
            index = def.get();
            break;
        }
    }
    if (index != nullptr) {
        DetailFields = GetFieldList(index->Fields());
    }
}

std::string TAdsTable::ProviderTableName() const {
    const std::string& name = mstrTableName;
    if (name.size() > 4 && name[name.size() - 4] == '.') {
        return name.substr(0, name.size() - 4);
    }
    return name;
}

}  // namespace varelum::ads
