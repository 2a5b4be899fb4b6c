// The direct engine operations of TAdsTable against the real engine, grouped as the members
// are: field values, moving and finding, record state and locks, filters and scopes, indexes,
// the table with its fields and expressions, and engine-wide members. Each group: its main
// paths, the guard on a closed dataset, a code taken as an answer, and the buffers showing the
// engine's record after a move.
#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>
#include <vector>

#include "ads/adstable_query.h"
#include "db/field.h"
#include "rtl/code_page.h"
#include "rtl/exception.h"
#include "search_test_support.h"

namespace varelum::ads {
namespace {

static_assert(std::is_base_of_v<TAdsExtendedDataSet, TAdsQuery>);
static_assert(std::is_base_of_v<TAdsExtendedTable, TAdsTable>);
static_assert(!std::is_base_of_v<TAdsExtendedTable, TAdsQuery>);

constexpr const char* kStock = "Stock.adt";
constexpr const char* kClosedMessage = "TbStock: Cannot perform this operation on a closed dataset";

class DirectOperationsTest : public test::TDataSetFixture {
  protected:
    void SetUp() override {
        test::TDataSetFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        const ADSHANDLE table = CreateTable(
            kStock,
            "Code,Char,10;Name,Char,30;Qty,Integer;Price,Double;Born,Date;Active,Logical;"
            "Wide,NChar,6");
        AppendRow(table, {{"Code", "A1"}, {"Name", "APPLE"}, {"Qty", "5"}, {"Active", "T"}});
        AppendRow(table, {{"Code", "B2"}, {"Name", "BANANA"}, {"Qty", "7"}, {"Active", "F"}});
        AppendRow(table, {{"Code", "C3"}, {"Name", "CHERRY"}, {"Qty", "9"}, {"Active", "T"}});
        ace::AdsCloseTable(table);
        CreateIndex(kStock, "BYCODE", "Code");
    }

    std::unique_ptr<TAdsTable> OpenStock() {
        auto table = Table(kStock);
        table->Open();
        return table;
    }
};

// --- Guards and handles of a closed dataset ------------------------------------------------------

struct TGuardCase {
    const char* Member;
    std::function<void(TAdsTable&)> Call;
};

class ClosedGuardTest : public DirectOperationsTest,
                        public ::testing::WithParamInterface<TGuardCase> {};

TEST_P(ClosedGuardTest, AGuardedMemberRefusesAClosedDatasetWithTheGenericError) {
    auto table = Table(kStock);
    EXPECT_EQ(Message([&] { GetParam().Call(*table); }), kClosedMessage) << GetParam().Member;
    EXPECT_FALSE(table->Active());
}

INSTANTIATE_TEST_SUITE_P(
    Members, ClosedGuardTest,
    ::testing::Values(TGuardCase{"AdsGetString", [](TAdsTable& t) { t.AdsGetString("Name"); }},
                      TGuardCase{"AdsSetLong", [](TAdsTable& t) { t.AdsSetLong("Qty", 1); }},
                      TGuardCase{"AdsGotoTop", [](TAdsTable& t) { t.AdsGotoTop(); }},
                      TGuardCase{"AdsSeek", [](TAdsTable& t) { t.AdsSeek("A1", stHARD); }},
                      TGuardCase{"AdsLockRecord", [](TAdsTable& t) { t.AdsLockRecord(1); }},
                      TGuardCase{"AdsSetFilter", [](TAdsTable& t) { t.AdsSetFilter("Qty > 5"); }},
                      TGuardCase{"AdsReindex", [](TAdsTable& t) { t.AdsReindex(); }},
                      TGuardCase{"AdsEvalNumericExpr",
                                 [](TAdsTable& t) { t.AdsEvalNumericExpr("Qty"); }}),
    [](const auto& info) { return std::string(info.param.Member); });

TEST_F(DirectOperationsTest, AnUnguardedMemberOnAClosedDatasetRaisesTheEnginesErrorForNoHandle) {
    auto table = Table(kStock);
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { table->AdsGetNumFields(); }, [&] { table->AdsClearFilter(); },
             [&] { table->AdsGetKeyCount(); }, [&] { table->AdsGetRecordCount(); }}) {
        const UNSIGNED32 code = ErrorCode(call);
        EXPECT_NE(code, 0u);
        EXPECT_NE(code, VE_NO_CURRENT_RECORD);
    }
}

TEST_F(DirectOperationsTest, ANegativeNumberIsARangeErrorBeforeTheEngineIsAsked) {
    auto table = OpenStock();
    table->Next();
    EXPECT_THROW(table->AdsGotoRecord(-1), rtl::ERangeError);
    EXPECT_THROW(table->AdsLockRecord(-3), rtl::ERangeError);
    std::uint8_t buffer[4];
    EXPECT_THROW(table->AdsGetBinary("Name", 0, buffer, -1), rtl::ERangeError);
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_FALSE(table->AdsIsRecordLocked(3));
}

// --- Field values ---------------------------------------------------------------------------

TEST_F(DirectOperationsTest, AdsInTransactionFollowsTheTransactionOfTheTablesConnection) {
    auto table = OpenStock();
    EXPECT_FALSE(table->AdsInTransaction());
    ADSHANDLE connection = 0;
    ASSERT_EQ(ace::AdsGetTableConnection(table->Handle(), &connection), 0u);
    ASSERT_EQ(ace::AdsBeginTransaction(connection), 0u);
    EXPECT_TRUE(table->AdsInTransaction());
    table->AdsSetString("Name", "APRICOT");
    ASSERT_EQ(ace::AdsRollbackTransaction(connection), 0u);
    EXPECT_FALSE(table->AdsInTransaction());
    EXPECT_EQ(ReadOnOtherConnection(kStock, 1, "Name"), "APPLE") << "rolled back";
}

TEST_F(DirectOperationsTest, AdsSetStringPostsAPendingEditFirstAndShowsTheWrittenValue) {
    auto table = OpenStock();
    table->Edit();
    table->FieldByName("Qty").SetAsInteger(42);
    table->AdsSetString("Name", "APRICOT");
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(ReadOnOtherConnection(kStock, 1, "Qty"), "42") << "the pending edit was posted";
    table->AdsWriteRecord();
    EXPECT_EQ(table->FieldByName("Name").AsString(), "APRICOT") << "buffers read again";
    EXPECT_EQ(ReadOnOtherConnection(kStock, 1, "Name"), "APRICOT");
}

TEST_F(DirectOperationsTest, AnUnmodifiedEditIsCancelledBeforeAWrite) {
    auto table = OpenStock();
    table->Edit();
    table->AdsSetLong("Qty", 11);
    table->AdsWriteRecord();
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(table->FieldByName("Qty").AsInteger(), 11);
}

TEST_F(DirectOperationsTest, TypedValuesGoInAndComeBackOut) {
    auto table = OpenStock();
    table->AdsSetDouble("Price", 2.5);
    table->AdsSetLogical("Active", false);
    table->AdsSetShort("Qty", -4);
    table->AdsSetDate("Born", "12/10/2026");
    table->AdsWriteRecord();
    EXPECT_DOUBLE_EQ(table->AdsGetDouble("Price"), 2.5);
    EXPECT_FALSE(table->AdsGetLogical("Active"));
    EXPECT_EQ(table->AdsGetShort("Qty"), -4);
    EXPECT_EQ(table->AdsGetLong("Qty"), -4);
    EXPECT_EQ(table->AdsGetDate("Born"), "12/10/2026");
    EXPECT_GT(table->AdsGetJulian("Born"), 2400000);
    EXPECT_FALSE(table->AdsIsEmpty("Name"));
    table->AdsSetEmpty("Name");
    table->AdsWriteRecord();
    EXPECT_TRUE(table->AdsIsEmpty("Name"));
    EXPECT_TRUE(table->FieldByName("Name").IsNull());
}

TEST_F(DirectOperationsTest, AdsGetStringTrimsAsAskedAndReadsAWideFieldWhole) {
    auto table = OpenStock();
    EXPECT_EQ(table->AdsGetString("Code"), "A1        ");
    EXPECT_EQ(table->AdsGetString("Code", optRTRIM), "A1");
    EXPECT_EQ(table->AdsGetField("Code", optTRIM), "A1");
    table->AdsSetString("Wide", "ÁÉÍÓÚÇ");
    table->AdsWriteRecord();
    EXPECT_EQ(table->AdsGetString("Wide"), "ÁÉÍÓÚÇ") << "every character of a full value";
}

TEST_F(DirectOperationsTest, APaddedValueIsReadWithEveryTrimOption) {
    auto table = OpenStock();
    table->AdsSetString("Code", "  ab");
    table->AdsWriteRecord();
    const struct {
        TAdsTrimOptions Trim;
        const char* Expected;
    } cases[] = {
        {optNONE, "  ab      "}, {optLTRIM, "ab      "}, {optRTRIM, "  ab"}, {optTRIM, "ab"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Trim));
        EXPECT_EQ(table->AdsGetString("Code", c.Trim), c.Expected);
        EXPECT_EQ(table->AdsGetField("Code", c.Trim), c.Expected);
    }
}

TEST_F(DirectOperationsTest, AFieldReadFollowsTheRecordTheDatasetShows) {
    auto table = OpenStock();
    table->Last();
    EXPECT_EQ(table->AdsGetString("Name", optRTRIM), "CHERRY");
    table->Prior();
    EXPECT_EQ(table->AdsGetLong("Qty"), 7);
}

// --- Moving and finding ---------------------------------------------------------------------

TEST_F(DirectOperationsTest, MovesOnTheEngineShowTheEnginesRecordInTheBuffers) {
    auto table = OpenStock();
    table->AdsGotoBottom();
    EXPECT_EQ(table->FieldByName("Code").AsString(), "C3");
    table->AdsSkip(-1);
    EXPECT_EQ(table->FieldByName("Code").AsString(), "B2");
    table->AdsGotoRecord(1);
    EXPECT_EQ(table->FieldByName("Code").AsString(), "A1");
    EXPECT_EQ(table->AdsGetRecordNum(), 1);
    table->AdsSkip(-1);
    EXPECT_EQ(table->FieldByName("Code").AsString(), "A1") << "BOF shows the first record";
    table->AdsGotoBookMark(3);
    EXPECT_EQ(table->AdsGetBookMark(), 3);
    table->AdsSkip(1);
    EXPECT_EQ(table->FieldByName("Code").AsString(), "C3") << "EOF shows the last record";
}

TEST_F(DirectOperationsTest, AdsSeekNeedsAnIndexAndMovesTheDatasetToWhatItFound) {
    auto table = OpenStock();
    EXPECT_NE(ErrorCode([&] { table->AdsSeek("B2", stHARD); }), 0u) << "no active index";
    table->Close();
    table->SetIndexName("BYCODE");
    table->Open();
    EXPECT_TRUE(table->AdsSeek("B2", stHARD));
    EXPECT_EQ(table->FieldByName("Name").AsString(), "BANANA");
    EXPECT_FALSE(table->AdsSeek("ZZ", stHARD));
    EXPECT_EQ(table->FieldByName("Code").AsString(), "C3") << "at EOF: the last record";
    EXPECT_TRUE(table->AdsSeekLast("A"));
    EXPECT_EQ(table->FieldByName("Code").AsString(), "A1");
    EXPECT_TRUE(table->AdsLookupKey("BYCODE", "C3"));
    EXPECT_FALSE(table->AdsLookupKey("BYCODE", "D4"));
}

TEST_F(DirectOperationsTest, AdsLocateAndAdsContinueFindMatchesInTurn) {
    auto table = OpenStock();
    EXPECT_TRUE(table->AdsLocate("Active", true));
    EXPECT_EQ(table->FieldByName("Code").AsString(), "A1");
    EXPECT_TRUE(table->AdsContinue());
    EXPECT_EQ(table->FieldByName("Code").AsString(), "C3");
    EXPECT_FALSE(table->AdsContinue());
}

// --- Record state and locks -----------------------------------------------------------------

TEST_F(DirectOperationsTest, AdsLockRecordAnswersFalseWhileAnotherProcessHoldsTheRecord) {
    auto table = OpenStock();
    EXPECT_TRUE(table->AdsLockRecord(2));
    EXPECT_TRUE(table->AdsIsRecordLocked(2));
    EXPECT_EQ(table->AdsGetNumLocks(), 1);
    std::vector<std::uint32_t> locks(4, 0);
    EXPECT_EQ(table->AdsGetAllLocks(locks), 1);
    EXPECT_EQ(locks[0], 2u);

    const test::TPeerAnswer refused = test::RunLockPeer({DataPath(), kStock, "2", "lockrecord"});
    EXPECT_EQ(refused.Status, "refused") << refused.Detail;
    EXPECT_TRUE(table->AdsUnlockRecord(2));
    const test::TPeerAnswer granted = test::RunLockPeer({DataPath(), kStock, "2", "lockrecord"});
    EXPECT_EQ(granted.Status, "granted") << granted.Detail;
}

TEST_F(DirectOperationsTest, UnlockingWhatIsNotLockedIsNoError) {
    auto table = OpenStock();
    EXPECT_TRUE(table->AdsUnlockRecord(3));
    EXPECT_NO_THROW(table->AdsUnlockTable());
    EXPECT_TRUE(table->AdsLockTable());
    EXPECT_TRUE(table->AdsIsTableLocked());
    EXPECT_FALSE(OtherUserCanLock(kStock, 1));
    table->AdsUnlockTable();
    EXPECT_FALSE(table->AdsIsTableLocked());
}

TEST_F(DirectOperationsTest, ADeletedRecordIsRecalledAndAskedAboutByNumber) {
    auto table = OpenStock();
    table->AdsDeleteRecord();
    EXPECT_TRUE(table->AdsIsRecordDeleted(0));
    EXPECT_TRUE(table->AdsIsRecordDeleted(1));
    EXPECT_FALSE(table->AdsIsRecordDeleted(2));
    table->AdsGotoRecord(1);
    table->AdsRecallRecord();
    EXPECT_FALSE(table->AdsIsRecordDeleted(1));
}

TEST_F(DirectOperationsTest, AdsAppendRecordShowsTheNewRecord) {
    auto table = OpenStock();
    table->AdsAppendRecord();
    table->AdsSetString("Code", "D4");
    table->AdsWriteRecord();
    EXPECT_EQ(table->FieldByName("Code").AsString(), "D4");
    EXPECT_EQ(CountOnOtherConnection(kStock), 4u);
}

// --- Filters, optimised filters and scopes --------------------------------------------------

TEST_F(DirectOperationsTest, AdsSetFilterTurnsTheDatasetsFilterOffAndShowsTheFirstVisibleRecord) {
    auto table = OpenStock();
    EXPECT_EQ(table->AdsGetFilter(), "") << "no filter (5037) is an empty text";
    table->SetFilter("Qty > 6");
    table->SetFiltered(true);
    table->AdsSetFilter("Qty > 8");
    EXPECT_FALSE(table->Filtered());
    EXPECT_EQ(table->AdsGetFilter(), "Qty > 8");
    EXPECT_EQ(table->FieldByName("Code").AsString(), "C3");
    table->AdsClearFilter();
    EXPECT_EQ(table->AdsGetFilter(), "");
}

TEST_F(DirectOperationsTest, AnOptimisedFilterIsSetAskedAboutAndCleared) {
    auto table = OpenStock();
    std::string text = "unchanged";
    EXPECT_EQ(table->AdsGetAOFOptLevel(text), olNONE);
    EXPECT_EQ(text, "");
    table->AdsSetAOF("Qty < 8");
    EXPECT_EQ(table->AdsGetAOF(), "Qty < 8");
    EXPECT_TRUE(table->AdsIsRecordInAOF(2));
    EXPECT_FALSE(table->AdsIsRecordInAOF(3));
    table->AdsGotoBottom();
    EXPECT_EQ(table->FieldByName("Code").AsString(), "B2");
    table->AdsCustomizeAOF({3}, coADD);
    EXPECT_TRUE(table->AdsIsRecordInAOF(3));
    table->AdsClearAOF();
    EXPECT_EQ(table->AdsGetAOF(), "");
}

TEST_F(DirectOperationsTest, AScopeOnTheActiveIndexBoundsTheDataset) {
    auto table = Table(kStock);
    table->SetIndexName("BYCODE");
    table->Open();
    table->AdsSetScope(soTOP, "B2");
    EXPECT_EQ(table->AdsGetScope(soTOP), "B2");
    EXPECT_EQ(table->FieldByName("Code").AsString(), "B2");
    table->AdsClearScope(soTOP);
    table->AdsGotoTop();
    EXPECT_EQ(table->FieldByName("Code").AsString(), "A1");
    table->AdsSetScope(soBOTTOM, "A1");
    table->AdsClearAllScopes();
    table->AdsGotoBottom();
    EXPECT_EQ(table->FieldByName("Code").AsString(), "C3");
}

// --- Indexes --------------------------------------------------------------------------------

TEST_F(DirectOperationsTest, TheActiveIndexAnswersAboutItself) {
    auto table = Table(kStock);
    table->SetIndexName("BYCODE");
    table->Open();
    EXPECT_EQ(table->AdsGetIndexName(0), "BYCODE");
    EXPECT_EQ(table->AdsGetIndexExpr(), "Code");
    EXPECT_EQ(table->AdsGetIndexCondition(), "");
    const std::uint16_t keyLength = table->AdsGetKeyLength();
    EXPECT_GE(keyLength, 10);
    EXPECT_EQ(table->AdsGetKeyType(), etSTRING);
    EXPECT_FALSE(table->AdsIsIndexUnique());
    EXPECT_FALSE(table->AdsIsIndexDescending());
    EXPECT_EQ(table->AdsGetKeyCount(), 3);
    table->Last();
    EXPECT_EQ(table->AdsGetKeyNum(), 3);
    // One character per key byte.
    EXPECT_EQ(rtl::Utf8ToUtf16(table->AdsExtractKey()).size(), keyLength);
    EXPECT_EQ(table->AdsGetNumIndexes(), 1);
}

TEST_F(DirectOperationsTest, AdsSetIndexByOrderSetsOrClearsIndexName) {
    auto table = OpenStock();
    table->AdsSetIndexByOrder(1);
    EXPECT_EQ(table->IndexName(), "BYCODE");
    table->AdsSetIndexByOrder(0);
    EXPECT_EQ(table->IndexName(), "");
}

TEST_F(DirectOperationsTest, AnIndexCreatedThroughTheDatasetCanBeClosedAndDeleted) {
    auto table = OpenStock();
    table->AdsCreateIndex("", "BYNAME", "Name", "", "", optDESCENDING);
    EXPECT_EQ(table->AdsGetNumIndexes(), 2);
    const ADSHANDLE byName = table->AdsGetIndexHandle("BYNAME");
    EXPECT_EQ(table->AdsGetIndexName(byName), "BYNAME");
    EXPECT_EQ(table->AdsGetHandleType(byName), htINDEX);
    table->AdsDeleteIndex("BYNAME");
    EXPECT_EQ(table->AdsGetNumIndexes(), 1);
    EXPECT_EQ(ErrorCode([&] { table->AdsGetIndexHandle("BYNAME"); }), VE_INDEX_NOT_OPEN);
    table->AdsCloseAllIndexes();
    EXPECT_EQ(table->AdsGetNumIndexes(), 0);
    table->AdsOpenIndex(kStock);
    EXPECT_EQ(table->AdsGetNumIndexes(), 1);
}

// --- Table, fields and expressions ----------------------------------------------------------

TEST_F(DirectOperationsTest, TheTableDescribesItsFields) {
    auto table = OpenStock();
    EXPECT_EQ(table->AdsGetNumFields(), 7);
    EXPECT_EQ(table->AdsGetFieldName(2), "Name");
    EXPECT_EQ(table->AdsGetFieldNum("Qty"), 3);
    EXPECT_EQ(table->AdsGetFieldType("Qty"), AdsfldINTEGER);
    EXPECT_EQ(table->AdsGetFieldType("Wide"), AdsfldNCHAR);
    EXPECT_EQ(table->AdsGetFieldLength("Name"), 30);
    EXPECT_EQ(table->AdsGetFieldOffset("Code") >= 0, true);
    EXPECT_GT(table->AdsGetRecordLength(), 40);
    EXPECT_EQ(table->AdsGetRecordCount(), 3);
    EXPECT_EQ(table->AdsGetTableFileName(foBASENAMEANDEXT), "Stock.adt");
    EXPECT_EQ(table->AdsGetHandleType(table->Handle()), htTABLE);
}

TEST_F(DirectOperationsTest, ExpressionsAreEvaluatedOnTheShownRecord) {
    auto table = OpenStock();
    table->Next();
    EXPECT_DOUBLE_EQ(table->AdsEvalNumericExpr("Qty * 2"), 14.0);
    EXPECT_TRUE(table->AdsEvalLogicalExpr("Qty = 7"));
    EXPECT_EQ(table->AdsEvalStringExpr("TRIM(Name)"), "BANANA");
    EXPECT_EQ(table->AdsEvalTestExpr("Qty"), etNUMERIC);
    EXPECT_TRUE(table->AdsIsExprValid("Qty > 1"));
    EXPECT_FALSE(table->AdsIsExprValid("Qty >"));
}

TEST_F(DirectOperationsTest, AdsPackTableDropsDeletedRecordsAndShowsTheFirst) {
    auto table = Table(kStock);
    table->SetExclusive(true);
    table->Open();
    table->AdsDeleteRecord();
    table->AdsPackTable();
    EXPECT_EQ(table->AdsGetRecordCount(), 2);
    EXPECT_EQ(table->FieldByName("Code").AsString(), "B2");
    table->AdsZapTable();
    EXPECT_EQ(table->AdsGetRecordCount(), 0);
}

TEST_F(DirectOperationsTest, AdsCreateTableWorksOnAClosedDatasetAndLeavesNothingOpen) {
    auto table = Table(kStock);
    UNSIGNED16 before = 0;
    ASSERT_EQ(ace::AdsGetNumOpenTables(&before), 0u);
    const std::string path = DataPath() + "/Made.adt";
    table->AdsCreateTable(path, ttAdsADT, ANSI, 512, "Id,Integer;Label,Char,12");
    UNSIGNED16 after = 0;
    ASSERT_EQ(ace::AdsGetNumOpenTables(&after), 0u);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(table->Active());
}

TEST_F(DirectOperationsTest, TheTableIsNotEncryptedAndKeepsTheCallersHandleValue) {
    auto table = OpenStock();
    EXPECT_FALSE(table->AdsIsTableEncrypted());
    EXPECT_FALSE(table->AdsIsEncryptionEnabled());
    EXPECT_FALSE(table->AdsIsRecordEncrypted(2));
    EXPECT_EQ(table->FieldByName("Code").AsString(), "A1");
    EXPECT_EQ(ErrorCode([&] { table->AdsEncryptTable(); }), VE_NOT_SUPPORTED);
    EXPECT_EQ(ErrorCode([&] { table->AdsImageToClipboard("Name"); }), VE_NOT_SUPPORTED);
    table->AdsSetHandleLong(77);
    EXPECT_EQ(table->AdsGetHandleLong(), 77);
    EXPECT_THROW(table->AdsSetHandleLong(-1), rtl::ERangeError);
}

TEST_F(DirectOperationsTest, ACopyUnderTheActiveIndexAndAFilterHoldsWhatTheDatasetShows) {
    auto table = Table(kStock);
    table->SetIndexName("BYCODE");
    table->AdsTableOptions().SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
    table->Open();
    table->AdsSetAOF("Qty > 5");
    table->AdsCopyTable(DataPath() + "/Visible.adt");
    auto copy = Table("Visible.adt");
    copy->Open();
    EXPECT_EQ(copy->RecordCount(), 2);
    EXPECT_EQ(copy->FieldByName("Code").AsString(), "B2");
    copy->Close();

    // Into a table of its own fields, and the structure alone; other table types refused.
    table->AdsCopyTableStructure(DataPath() + "/Again.adt");
    auto again = Table("Again.adt");
    again->Open();
    EXPECT_EQ(again->RecordCount(), 0);
    table->AdsCopyTableContents(*again);
    again->Refresh();
    EXPECT_EQ(again->AdsGetRecordCount(), 2);
    EXPECT_EQ(ErrorCode([&] { table->AdsConvertTable(DataPath() + "/Old.dbf", ttAdsCDX); }),
              VE_NOT_SUPPORTED);
    table->AdsConvertTable(DataPath() + "/New.adt", ttAdsADT);
    EXPECT_TRUE(std::filesystem::exists(DataPath() + "/New.adt"));
}

TEST_F(DirectOperationsTest, AMemoValueGoesToAFileAndBack) {
    const ADSHANDLE handle = CreateTable("Notes.adt", "Id,Integer;Body,Memo");
    AppendRow(handle, {{"Id", "1"}, {"Body", "first line"}});
    ace::AdsCloseTable(handle);
    auto table = Table("Notes.adt");
    table->Open();
    const std::string file = DataPath() + "/body.txt";
    table->AdsBinaryToFile("Body", file);
    table->Edit();
    table->FieldByName("Body").SetAsString("replaced");
    table->Post();
    table->AdsFileToBinary("Body", btBINARY, file);
    table->AdsWriteRecord();
    table->Refresh();
    EXPECT_EQ(table->FieldByName("Body").AsString(), "first line");
}

// --- Engine-wide ----------------------------------------------------------------------------

std::vector<UNSIGNED16> gPercents;
bool gStop = false;

UNSIGNED32 HearPercent(UNSIGNED16 percent) {
    gPercents.push_back(percent);
    return gStop ? 1 : 0;
}

TEST_F(DirectOperationsTest, AProgressCallbackHearsAPackAndCanStopItLeavingTheTableAsItWas) {
    auto table = Table(kStock);
    table->SetExclusive(true);
    table->Open();
    table->AdsDeleteRecord();
    gPercents.clear();
    gStop = true;
    table->AdsRegisterProgressCallBack(&HearPercent);
    EXPECT_EQ(ErrorCode([&] { table->AdsPackTable(); }), VE_OPERATION_CANCELLED);
    EXPECT_EQ(gPercents, std::vector<UNSIGNED16>{0});
    EXPECT_EQ(table->AdsGetRecordCount(), 3) << "the deleted record is still there";

    gPercents.clear();
    gStop = false;
    table->AdsPackTable();
    EXPECT_EQ(table->AdsGetRecordCount(), 2);
    ASSERT_FALSE(gPercents.empty());
    EXPECT_EQ(gPercents.back(), 100);

    table->AdsClearProgressCallback();
    gPercents.clear();
    table->AdsReindex();
    EXPECT_TRUE(gPercents.empty());
}

UNSIGNED32 StopStatement() {
    return 1;
}

UNSIGNED32 StopWithId(UNSIGNED16 percent, UNSIGNED32 id) {
    gPercents.push_back(percent);
    return id == 5 ? 1 : 0;
}

TEST_F(DirectOperationsTest, TheAbortCallbacksOfAQueryStopItsStatementAndClearingLetsItRun) {
    auto query = std::make_unique<TAdsQuery>();
    query->SetName("QyStock");
    query->SetDatabaseName("BALDERIM");
    query->SQL().Add("UPDATE Stock SET Qty = Qty + 1");
    query->AdsRegisterSQLAbortFunc(&StopStatement);
    EXPECT_EQ(ErrorCode([&] { query->ExecSQL(); }), VE_SQL_ERROR);
    query->AdsClearSQLAbortFunc();

    gPercents.clear();
    query->AdsRegisterCallbackFunction(&StopWithId, 5);
    EXPECT_EQ(ErrorCode([&] { query->ExecSQL(); }), VE_SQL_ERROR);
    EXPECT_FALSE(gPercents.empty());
    query->AdsClearCallbackFunction();
    EXPECT_THROW(query->AdsRegisterCallbackFunction(&StopWithId, -1), rtl::ERangeError);

    auto table = OpenStock();
    EXPECT_EQ(table->FieldByName("Qty").AsInteger(), 5) << "no stopped statement changed a row";
    table->Close();
    query->ExecSQL();
    table->Open();
    EXPECT_EQ(table->FieldByName("Qty").AsInteger(), 6);
}

TEST_F(DirectOperationsTest, EngineWideMembersNeedNoOpenDataset) {
    auto table = Table(kStock);
    EXPECT_TRUE(table->AdsCheckExistence(DataPath() + "/Stock.adt"));
    EXPECT_FALSE(table->AdsCheckExistence(DataPath() + "/Nothing.adt"));
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::string letter;
    EXPECT_FALSE(table->AdsGetVersion(major, minor, letter).empty());
    EXPECT_GT(major, 0u);
    EXPECT_FALSE(table->AdsGetErrorString(VE_LOCK_REFUSED).empty());
    EXPECT_FALSE(table->AdsIsServerLoaded("nowhere")) << "its code is ignored";
    std::string text;
    EXPECT_NE(ErrorCode([&] { table->AdsGetNumFields(); }), 0u);
    EXPECT_NE(table->AdsGetLastError(text), 0u);
    EXPECT_FALSE(text.empty());
}

}  // namespace
}  // namespace varelum::ads
