// TAdsQuery: the SQL lines and the parameter scan, the engine statement and its options,
// parameter binding, execution, scripts and verification, the master data source and the
// cursor overrides (see adstable_query.h).
#include "ads/adstable_query.h"

#include <algorithm>
#include <cstring>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_params.h"
#include "ads/adsdata_registry.h"
#include "db/db_messages.h"
#include "rtl/code_page.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr const char* kNoCursor =
    "The SQL statement did not generate a cursor handle.  Use TAdsQuery.ExecSQL to execute SQL "
    "statements that are not SELECT statements";
constexpr const char* kNoDatabaseName = "The DatabaseName property has not been assigned a value.";
constexpr const char* kInvalidConnection = "Internal Error: invalid connection handle.";
constexpr const char* kNoNtx = "The TAdsQuery component does not support the NTX table type";
constexpr const char* kCircularLink = "Circular Data Link";
constexpr const char* kScriptError = "ERROR IN SCRIPT: ";
constexpr const char* kStatementGoneMarker = "7209";

bool IsNameDelimiter(char c) {
    return c == '\r' || c == '\n' || c == ' ' || c == ')' || c == ',' || c == ';';
}

bool IsQuote(char c) {
    return c == '\'' || c == '"' || c == '`';
}

bool IsValidConnection(ADSHANDLE connection) {
    return connection != 0 && connection != kNoAdsHandle;
}

}  // namespace

// --- Parameter scan ------------------------------------------------------------------------------

void ParseSqlParameters(std::string_view sql, db::TParams& params) {
    params.Clear();
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        if (IsQuote(c)) {
            const std::size_t close = sql.find(c, i + 1);
            if (close == std::string_view::npos) {
                return;
            }
            i = close + 1;
            continue;
        }
        if (c != ':') {
            ++i;
            continue;
        }
        if (i + 1 < n && sql[i + 1] == ':') {
            i += 2;
            continue;
        }
        ++i;
        char quote = 0;
        if (i < n && IsQuote(sql[i])) {
            quote = sql[i];
            ++i;
        }
        const std::size_t start = i;
        while (i < n && !IsNameDelimiter(sql[i]) && !(quote != 0 && sql[i] == quote)) {
            ++i;
        }
        params.Add(std::string(sql.substr(start, i - start)));
        if (quote != 0 && i < n && sql[i] == quote) {
            ++i;
        }
    }
}

// --- The master data link ------------------------------------------------------------------------

void TAdsQueryDataLink::ActiveChanged() {
    if (FQuery->Active()) {
        FQuery->RefreshFromMaster();
    }
}

void TAdsQueryDataLink::RecordChanged(db::TField* field) {
    if (field == nullptr && FQuery->Active()) {
        FQuery->RefreshFromMaster();
    }
}

void TAdsQueryDataLink::CheckBrowseMode() {
    if (FQuery->Active()) {
        FQuery->CheckBrowseMode();
    }
}

// --- Construction --------------------------------------------------------------------------------

TAdsQuery::TAdsQuery(rtl::TComponent* owner)
    : TAdsExtendedDataSet(owner),
      moParams(std::make_unique<db::TParams>()),
      moDataLink(std::make_unique<TAdsQueryDataLink>(this)) {
    mSQL.OnChange = [this] { SQLTextChanged(); };
}

TAdsQuery::~TAdsQuery() {
    const bool connectionConnected = mpoAdsConnection != nullptr && mpoAdsConnection->IsConnected();
    try {
        Close();
    } catch (...) {
        // Nobody is left to tell; CloseEngineCursor releases the cursor regardless.
    }
    moDataLink->SetDataSource(nullptr);
    if (mhStmt != kNoAdsHandle && (IsValidConnection(mhConnection) || connectionConnected)) {
        // A statement the engine refuses to close is gone with the process at the latest.
        ace::AdsCloseSQLStatement(mhStmt);
    }
    mhStmt = kNoAdsHandle;
}

// --- SQL lines -----------------------------------------------------------------------------------

void TAdsQuery::SetSQL(const rtl::TStringList& lines) {
    if (lines.Text() == mSQL.Text()) {
        return;
    }
    CloseAndUnprepare();
    mSQL.Assign(lines);
}

void TAdsQuery::CloseAndUnprepare() {
    Close();
    mbPrepared = false;
}

void TAdsQuery::SQLTextChanged() {
    std::string text = rtl::Utf8ToAnsi(mSQL.Text());
    std::vector<UNSIGNED8> buffer(text.begin(), text.end());
    buffer.push_back(0);
    Check(ace::AdsGetSQLStmtParams(buffer.data()));
    text = rtl::AnsiToUtf8(reinterpret_cast<const char*>(buffer.data()));
    if (ComponentState().Contains(rtl::csLoading)) {
        return;
    }
    CloseAndUnprepare();
    mpucSQLBinary.clear();
    if (mbParamCheck || ComponentState().Contains(rtl::csDesigning)) {
        db::TParams parsed;
        ParseSqlParameters(text, parsed);
        parsed.AssignValues(*moParams);
        *moParams = parsed;
    }
    DataEvent(db::dePropertyChange);
}

// --- Properties ----------------------------------------------------------------------------------

void TAdsQuery::SetSQLTimeout(std::int32_t value) {
    FSQLTimeout = value;
    if (mhStmt != kNoAdsHandle) {
        if (value < 0) {
            throw rtl::ERangeError("Range check error");
        }
        Check(ace::AdsSetSQLTimeout(mhStmt, static_cast<UNSIGNED32>(value)));
    }
}

void TAdsQuery::SetTableType(TAdsTableTypes Value) {
    InternalSetTableType(Value, false);
}

void TAdsQuery::InternalSetTableType(TAdsTableTypes eValue, bool bIgnoreNTXError) {
    if (eValue == ttAdsNTX && !bIgnoreNTXError && !HasDictionaryConnection()) {
        RaiseError(kNoNtx);
    }
    TAdsDataSet::SetTableType(eValue);
}

void TAdsQuery::SetDatabaseName(const std::string& Value) {
    const bool changed = !rtl::SameText(Value, mstrDatabaseName);
    SetAdsConnection(nullptr);
    TAdsExtendedDataSet::SetDatabaseName(Value);
    if (changed && mhConnection != kNoAdsHandle) {
        if (mhStmt != kNoAdsHandle) {
            Check(ace::AdsCloseSQLStatement(mhStmt));
        }
        mhStmt = kNoAdsHandle;
        mhConnection = kNoAdsHandle;
    }
}

void TAdsQuery::SetDataSource(db::TDataSource* source) {
    if (source != nullptr && (source->DataSet() == this || IsLinkedTo(source))) {
        RaiseError(kCircularLink);
    }
    moDataLink->SetDataSource(source);
}

void* TAdsQuery::Constraints() const {
    RaiseError("The property \"Constraints\" is not supported.");
}

void* TAdsQuery::UpdateObject() const {
    RaiseError("The property \"UpdateObject\" is not supported.");
}

// --- Preparing and the statement -----------------------------------------------------------------

void TAdsQuery::Prepare() {
    if (CursorIsOpen()) {
        RaiseError(db::msg::SDataSetOpen);
    }
    mlRowsAffected = -1;
    mbPrepared = true;
}

void TAdsQuery::UnPrepare() {
    if (CursorIsOpen()) {
        RaiseError(db::msg::SDataSetOpen);
    }
    mbPrepared = false;
}

void TAdsQuery::SetPrepared(bool value) {
    if (value) {
        Prepare();
    } else {
        UnPrepare();
    }
}

void TAdsQuery::CloseStatementIgnoringGone() {
    if (mhStmt != kNoAdsHandle) {
        const UNSIGNED32 result = ace::AdsCloseSQLStatement(mhStmt);
        if (result != VE_STATEMENT_GONE) {
            Check(result);
        }
    }
    mhStmt = kNoAdsHandle;
    mhConnection = kNoAdsHandle;
}

void TAdsQuery::AdsCloseSQLStatement() {
    if (CursorIsOpen()) {
        RaiseError(db::msg::SDataSetOpen);
    }
    CloseStatementIgnoringGone();
}

void TAdsQuery::InvalidateAceHandles() {
    UnPrepare();
    mhStmt = kNoAdsHandle;
    mhConnection = kNoAdsHandle;
}

void TAdsQuery::EnsureStmtHandle() {
    if (mhStmt != kNoAdsHandle) {
        UNSIGNED16 type = 0;
        if (ace::AdsGetHandleType(mhStmt, &type) == VE_SUCCESS && type == VE_HANDLE_STATEMENT) {
            return;
        }
    }
    mhStmt = kNoAdsHandle;
    if (mstrDatabaseName.empty() && mpoAdsConnection == nullptr) {
        RaiseError(kNoDatabaseName);
    }
    if (mhConnection != kNoAdsHandle) {
        RaiseError(kInvalidConnection);
    }
    const ADSHANDLE connection = ConnectAndGetHandle();
    if (mpoAdsConnection == nullptr) {
        mhConnection = connection;
    }
    if (!IsValidConnection(connection)) {
        RaiseError(kInvalidConnection);
    }
    ADSHANDLE statement = kNoAdsHandle;
    Check(ace::AdsCreateSQLStatement(connection, &statement));
    mhStmt = statement;
    if (FSQLTimeout != 0) {
        if (FSQLTimeout < 0) {
            throw rtl::ERangeError("Range check error");
        }
        Check(ace::AdsSetSQLTimeout(mhStmt, static_cast<UNSIGNED32>(FSQLTimeout)));
    }
}

void TAdsQuery::SetStatementOptions() {
    const TAdsTableOptions& options = AdsTableOptions();
    Check(ace::AdsStmtSetTableLockType(mhStmt, AceLockType(options.AdsLockType())));
    const std::string collation = rtl::Utf8ToAnsi(GetEffectiveCollation());
    Check(ace::AdsStmtSetTableCollation(mhStmt, Text8(collation)));
    Check(ace::AdsStmtSetTableRights(mhStmt, AceRightsCheck(options.AdsRightsCheck())));
    Check(ace::AdsStmtSetTableReadOnly(mhStmt, mbRequestLive ? 2 : 1));
    if (mpoAdsConnection != nullptr && mpoAdsConnection->ReadOnly()) {
        Check(ace::AdsStmtSetTableReadOnly(mhStmt, 1));
    }
    UNSIGNED16 tableType = VE_TABLE_TYPE_NTX;
    switch (TableType()) {
        case ttAdsADT:
            tableType = VE_TABLE_TYPE_ADT;
            break;
        case ttAdsCDX:
            tableType = VE_TABLE_TYPE_CDX;
            break;
        case ttAdsVFP:
            tableType = VE_TABLE_TYPE_VFP;
            break;
        default:
            break;
    }
    Check(ace::AdsStmtSetTableType(mhStmt, tableType));
    Check(ace::AdsStmtConstrainUpdates(mhStmt, mbConstrained ? 1 : 2));
    Check(ace::AdsStmtReadAllColumns(mhStmt, mbReadAllColumns ? 1 : 2));
}

// --- Execution -----------------------------------------------------------------------------------

ADSHANDLE TAdsQuery::ExecuteAndGetCursor() {
    if (ComponentState().Contains(rtl::csDesigning)) {
        Close();
    }
    CheckInactive();
    EnsureStmtHandle();
    SetStatementOptions();
    Prepare();
    const std::u16string text = rtl::Utf8ToUtf16(Text());
    Check(ace::AdsPrepareSQLW(mhStmt, reinterpret_cast<const WCHAR*>(text.c_str())));
    if (DataSource() != nullptr) {
        SetParamsFromMaster();
    }
    BindParameters();

    ADSHANDLE cursor = 0;
    try {
        Check(ace::AdsExecuteSQL(mhStmt, &cursor));
    } catch (const std::exception& error) {
        if (std::strstr(error.what(), kStatementGoneMarker) != nullptr) {
            // The engine lost the statement: forget it, so the next run makes a new one.
            try {
                CloseStatementIgnoringGone();
            } catch (...) {
                mhStmt = kNoAdsHandle;
                mhConnection = kNoAdsHandle;
            }
        }
        throw;
    }
    if (cursor != 0) {
        try {
            UNSIGNED16 live = 0;
            Check(ace::AdsSqlPeekStatement(cursor, &live));
            if (live == 0) {
                mbReadOnly = true;
            } else {
                ReadTableCharType(cursor);
            }
        } catch (...) {
            ace::AdsCloseTable(cursor);
            throw;
        }
    }
    UNSIGNED32 rows = 0;
    const UNSIGNED32 result = ace::AdsGetRecordCount(mhStmt, VE_IGNORE_FILTERS, &rows);
    if (result == VE_NO_ROW_COUNT) {
        mlRowsAffected = -1;
    } else {
        if (result != VE_SUCCESS && cursor != 0) {
            ace::AdsCloseTable(cursor);
        }
        Check(result);
        mlRowsAffected = rows > static_cast<UNSIGNED32>(INT32_MAX) ? -1 : static_cast<int>(rows);
    }
    return cursor == 0 ? kNoAdsHandle : cursor;
}

void TAdsQuery::BindParameters() {
    BindStatementParameters(this, mhStmt, *moParams);
}

ADSHANDLE TAdsQuery::OpenEngineCursor() {
    const ADSHANDLE cursor = ExecuteAndGetCursor();
    if (cursor == kNoAdsHandle) {
        RaiseError(kNoCursor);
    }
    try {
        Check(ace::AdsGetTableType(cursor, &musAceTableType));
    } catch (...) {
        ace::AdsCloseTable(cursor);
        throw;
    }
    OpenIndexFilesOn(cursor);
    return cursor;
}

void TAdsQuery::CloseEngineCursor() {
    TAdsExtendedDataSet::CloseEngineCursor();
    UnPrepare();
    if (ComponentState().Contains(rtl::csDesigning)) {
        CloseStatementIgnoringGone();
    }
}

void TAdsQuery::ExecSQL() {
    const ADSHANDLE cursor = ExecuteAndGetCursor();
    if (cursor != kNoAdsHandle) {
        Check(ace::AdsCloseTable(cursor));
    }
}

void TAdsQuery::ExecSQLScript() {
    ScriptOrVerify(true);
}

void TAdsQuery::VerifySQL() {
    EnsureStmtHandle();
    SetStatementOptions();
    ScriptOrVerify(false);
}

void TAdsQuery::ScriptOrVerify(bool script) {
    const rtl::TStringList saved = mSQL;
    mSQL.Clear();
    std::exception_ptr failure;
    std::string failureText;
    try {
        for (int i = 0; i < saved.Count(); ++i) {
            std::string line = saved[i];
            std::size_t begin = 0;
            std::size_t end = line.size();
            while (begin < end && static_cast<unsigned char>(line[begin]) <= ' ') {
                ++begin;
            }
            while (end > begin && static_cast<unsigned char>(line[end - 1]) <= ' ') {
                --end;
            }
            line = line.substr(begin, end - begin);
            if (script && !line.empty() && (line.front() == '#' || line.front() == '[')) {
                line.clear();
            }
            mSQL.Add(line);
        }
        try {
            if (script) {
                ExecSQL();
            } else {
                const std::u16string text = rtl::Utf8ToUtf16(Text());
                Check(ace::AdsVerifySQLW(mhStmt, reinterpret_cast<const WCHAR*>(text.c_str())));
            }
        } catch (const std::exception& error) {
            failureText = std::string(kScriptError) + error.what();
            failure = std::current_exception();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    mSQL.Clear();
    mSQL.Assign(saved);
    if (!failureText.empty()) {
        throw rtl::EDatabaseError(failureText);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// --- Master --------------------------------------------------------------------------------------

void TAdsQuery::SetParamsFromMaster() {
    db::TDataSet* master = DataSource()->DataSet();
    if (master == nullptr) {
        return;
    }
    master->FieldDefs().Update();
    for (int i = 0; i < moParams->Count(); ++i) {
        db::TParam& param = (*moParams)[i];
        if (param.Bound()) {
            continue;
        }
        const db::TField& field = master->FieldByName(param.Name());
        param.SetValue(field.AsVariant());
        param.SetDataType(field.DataType());
        param.SetName(field.FieldName());
        param.SetBound(false);
    }
}

void TAdsQuery::RefreshFromMaster() {
    DisableControls();
    try {
        db::TDataSet* master = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
        if (master != nullptr && master->Active() && master->State() != db::dsSetKey) {
            Close();
            Open();
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TAdsQuery::GetDetailLinkFields(std::vector<db::TField*>& MasterFields,
                                    std::vector<db::TField*>& DetailFields) {
    MasterFields.clear();
    DetailFields.clear();
    db::TDataSet* master = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
    if (master == nullptr) {
        return;
    }
    for (int i = 0; i < moParams->Count(); ++i) {
        const std::string& name = (*moParams)[i].Name();
        if (db::TField* masterField = master->FindField(name)) {
            MasterFields.push_back(masterField);
            if (db::TField* detailField = FindField(name)) {
                DetailFields.push_back(detailField);
            }
        }
    }
}

// --- Cursor overrides ---------------------------------------------------------------------------

ADSHANDLE TAdsQuery::CursorOrder() {
    ADSHANDLE order = 0;
    Check(ace::AdsGetIndexHandle(mlHandle, nullptr, &order));
    return order;
}

std::uint32_t TAdsQuery::CurrentRecordNumber(std::uint32_t record) {
    // The order matters only to a sequenced query; the others skip asking for it on every
    // fetch.
    if (!Sequenced()) {
        return record;
    }
    const ADSHANDLE index =
        (!IndexName().empty() || !IndexFieldNames().empty()) ? mlActiveHandle : CursorOrder();
    if (index == 0 || index == kNoAdsHandle) {
        return record;
    }
    return SequencedRecordNumber(index);
}

ADSHANDLE TAdsQuery::SearchIndexHandle() {
    if (mlActiveHandle != mlHandle) {
        return mlActiveHandle;
    }
    ADSHANDLE order = 0;
    if (ace::AdsGetIndexHandle(mlHandle, nullptr, &order) != VE_SUCCESS || order == 0) {
        return kNoAdsHandle;
    }
    return order;
}

void TAdsQuery::PromoteDefaultIndex(std::vector<ADSHANDLE>& list, int count) {
    ADSHANDLE order = 0;
    if (ace::AdsGetIndexHandle(mlHandle, nullptr, &order) != VE_SUCCESS || order == 0) {
        return;
    }
    const int limit = std::min<int>(count, static_cast<int>(list.size()));
    for (int i = 0; i < limit; ++i) {
        if (list[static_cast<std::size_t>(i)] == order) {
            std::rotate(list.begin(), list.begin() + i, list.begin() + i + 1);
            return;
        }
    }
}

// --- Statement services ------------------------------------------------------------------------

std::int32_t TAdsQuery::LastAutoincVal() {
    UNSIGNED32 value = 0;
    Check(ace::AdsGetLastAutoinc(mlHandle != kNoAdsHandle ? mlHandle : mhStmt, &value));
    if (value > static_cast<UNSIGNED32>(INT32_MAX)) {
        throw rtl::ERangeError("Range check error");
    }
    return static_cast<std::int32_t>(value);
}

void TAdsQuery::AdsStmtEnableEncryption(const std::string& strPassword) {
    EnsureStmtHandle();
    const std::string password = rtl::Utf8ToAnsi(strPassword);
    Check(ace::AdsStmtEnableEncryption(mhStmt, Text8(password)));
}

void TAdsQuery::AdsStmtDisableEncryption() {
    EnsureStmtHandle();
    Check(ace::AdsStmtDisableEncryption(mhStmt));
}

void TAdsQuery::AdsStmtSetTablePassword(const std::string& strTableName,
                                        const std::string& strPassword) {
    EnsureStmtHandle();
    const std::string table = rtl::Utf8ToAnsi(strTableName);
    const std::string password = rtl::Utf8ToAnsi(strPassword);
    Check(ace::AdsStmtSetTablePassword(mhStmt, Text8(table), Text8(password)));
}

void TAdsQuery::AdsStmtClearTablePasswords() {
    EnsureStmtHandle();
    Check(ace::AdsStmtClearTablePasswords(mhStmt));
}

}  // namespace varelum::ads
