// TAdsQuery: an SQL text run through the engine, its result cursor presented as a dataset,
// or a statement run without one.
//
// The SQL text is a list of lines; the engine receives them joined, each followed by CR LF.
// Each change of the lines re-parses the parameters (":name" markers, in order of
// appearance, each occurrence its own parameter); parameters are bound by number (1, 2, ...)
// at every execution, as their DataType says. The engine statement handle is made at the
// first execution and kept from one execution to the next at run time; every execution sets
// the statement's options, prepares the text anew, binds and executes. Opening adopts the
// result cursor through TAdsDataSet (fields, buffers, counts); a statement that gives no
// cursor cannot be opened ("did not generate a cursor handle") and is run with ExecSQL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ads/adstable_table.h"
#include "db/params.h"
#include "rtl/string_list.h"

namespace varelum::ads {

class TAdsQuery;

// The parameter scan: empties params and adds one parameter per ":name" marker of sql, in
// order. Quoted literals (', ", `) hold no markers; "::" is none; a name ends at CR, LF,
// blank, ")", "," or ";" (or at the closing quote of a quoted name, :"name").
void ParseSqlParameters(std::string_view sql, db::TParams& params);

// The link of a query to the master data source of its parameters.
class TAdsQueryDataLink : public db::TDataLink {
  public:
    explicit TAdsQueryDataLink(TAdsQuery* query) : FQuery(query) {}

  protected:
    void ActiveChanged() override;
    void RecordChanged(db::TField* field) override;
    void CheckBrowseMode() override;

  private:
    TAdsQuery* FQuery;
};

enum TUpdateMode {
    upWhereAll,
    upWhereChanged,
    upWhereKeyOnly,
};

class TAdsQuery : public TAdsExtendedDataSet {
  public:
    explicit TAdsQuery(rtl::TComponent* owner = nullptr);
    // Closes the query and, when it holds one, its statement (5106 ignored).
    ~TAdsQuery() override;

    // --- The SQL text and its parameters ---------------------------------------------------------

    // The lines; every change runs the parameter scan (unless ParamCheck is off) and closes
    // the query.
    rtl::TStringList& SQL() { return mSQL; }
    // Replaces the lines in one change; a text equal to the current one changes nothing.
    void SetSQL(const rtl::TStringList& lines);
    // The lines joined, each followed by CR LF: what the engine receives.
    std::string Text() const { return mSQL.Text(); }
    db::TParams& Params() { return *moParams; }
    // Copies values by name onto the current parameters.
    void SetParams(const db::TParams& params) { moParams->AssignValues(params); }
    std::uint16_t ParamCount() const { return static_cast<std::uint16_t>(moParams->Count()); }
    db::TParam& ParamByName(std::string_view name) { return moParams->ParamByName(name); }
    bool ParamCheck() const { return mbParamCheck; }
    void SetParamCheck(bool value) { mbParamCheck = value; }
    // The binary copy of the SQL kept from a stored form until the first SQL change.
    const std::u16string& SQLBinary() const { return mpucSQLBinary; }
    void SetSQLBinary(std::u16string value) { mpucSQLBinary = std::move(value); }

    // --- Statement options -----------------------------------------------------------------------

    bool RequestLive() const { return mbRequestLive; }
    void SetRequestLive(bool value) { mbRequestLive = value; }
    bool ReadAllColumns() const { return mbReadAllColumns; }
    void SetReadAllColumns(bool value) { mbReadAllColumns = value; }
    bool Constrained() const { return mbConstrained; }
    void SetConstrained(bool value) { mbConstrained = value; }
    TAdsTableTypes SourceTableType() const { return TableType(); }
    void SetSourceTableType(TAdsTableTypes value) { SetTableType(value); }
    std::int32_t SQLTimeout() const { return FSQLTimeout; }
    // Sets the engine statement's timeout at once when there is a statement.
    void SetSQLTimeout(std::int32_t value);
    // ttAdsNTX is refused without a dictionary connection ("The TAdsQuery component does not
    // support the NTX table type", 5121).
    void SetTableType(TAdsTableTypes Value) override;
    void InternalSetTableType(TAdsTableTypes eValue, bool bIgnoreNTXError);
    // A changed name closes the statement made on the query's own connection.
    void SetDatabaseName(const std::string& Value) override;

    // --- Running ---------------------------------------------------------------------------------

    // Runs the statement; a cursor it gives is closed at once.
    void ExecSQL();
    // The lines as one statement, lines that begin with "#" or "[" sent empty; a failure
    // becomes "ERROR IN SCRIPT: " + its message. The lines are restored in every case.
    void ExecSQLScript();
    // Asks the engine to verify the text (AdsVerifySQLW); failures as for ExecSQLScript.
    void VerifySQL();
    bool Prepared() const { return mbPrepared; }
    void SetPrepared(bool value);
    // Refused while the cursor is open ("Cannot perform this operation on an open dataset").
    void Prepare();
    void UnPrepare();
    // The engine's count for the last execution; -1 when it has none.
    std::int32_t RowsAffected() const { return mlRowsAffected; }
    ADSHANDLE StmtHandle() const { return mhStmt; }
    // Closes the engine statement (refused while open); the next execution makes a new one.
    void AdsCloseSQLStatement();
    void AdsStmtEnableEncryption(const std::string& strPassword);
    void AdsStmtDisableEncryption();
    void AdsStmtSetTablePassword(const std::string& strTableName, const std::string& strPassword);
    void AdsStmtClearTablePasswords();
    std::int32_t LastAutoincVal() override;
    // Forgets the statement without closing it (its connection is gone).
    void InvalidateAceHandles() override;

    // --- Master data source --------------------------------------------------------------------

    db::TDataSource* DataSource() const { return moDataLink->DataSource(); }
    // "Circular Data Link" (5121) for a source that would make the query its own master.
    void SetDataSource(db::TDataSource* source);
    db::TDataSource* MasterDataSource() const override { return DataSource(); }
    void GetDetailLinkFields(std::vector<db::TField*>& MasterFields,
                             std::vector<db::TField*>& DetailFields);
    // Closes and reopens the query when the master is open (not in a key edit).
    void RefreshFromMaster();

    // --- Overrides of the cursor ---------------------------------------------------------------

    std::uint32_t CurrentRecordNumber(std::uint32_t record) override;
    ADSHANDLE SearchIndexHandle() override;
    void PromoteDefaultIndex(std::vector<ADSHANDLE>& list, int count) override;

    // --- Stored only, or only to fail ------------------------------------------------------------

    int WaitCursor() const { return 0; }
    void SetWaitCursor(int) {}
    TUpdateMode UpdateMode() const { return moUpdateMode; }
    void SetUpdateMode(TUpdateMode value) { moUpdateMode = value; }
    bool UniDirectional() const { return mbUniDirectional; }
    void SetUniDirectional(bool value) { mbUniDirectional = value; }
    bool Local() const { return mbLocal; }
    [[noreturn]] void* Constraints() const;
    [[noreturn]] void* UpdateObject() const;

  protected:
    ADSHANDLE OpenEngineCursor() override;
    void CloseEngineCursor() override;
    bool UsesDefaultIndex() const override { return false; }

  private:
    void SQLTextChanged();
    void CloseAndUnprepare();
    void EnsureStmtHandle();
    void SetStatementOptions();
    ADSHANDLE ExecuteAndGetCursor();
    void BindParameters();
    void SetParamsFromMaster();
    void ScriptOrVerify(bool script);
    void CloseStatementIgnoringGone();
    // The order of the cursor itself (AdsGetIndexHandle without a name); 0 when none.
    ADSHANDLE CursorOrder();

    rtl::TStringList mSQL;
    bool mbPrepared = false;
    bool mbReadAllColumns = false;
    std::unique_ptr<db::TParams> moParams;
    bool mbRequestLive = false;
    bool mbConstrained = false;
    bool mbParamCheck = true;
    std::unique_ptr<TAdsQueryDataLink> moDataLink;
    ADSHANDLE mhStmt = kNoAdsHandle;
    ADSHANDLE mhConnection = kNoAdsHandle;
    std::int32_t mlRowsAffected = 0;
    std::u16string mpucSQLBinary;
    std::int32_t FSQLTimeout = 0;
    TUpdateMode moUpdateMode = upWhereAll;
    bool mbUniDirectional = false;
    bool mbLocal = false;
};

}  // namespace varelum::ads
