// Record editing of TAdsDataSet against the real engine on tables in a temporary store: the
// program's audit append, what a post sends (changed fields only, blanks as empty, never an
// AutoInc value), new records that fail after their append, cancel of edits, inserts and
// appends, deletes, AppendRecord, required fields, and record locking between users and
// between processes in both locking modes.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"
#include "db/field.h"
#include "rtl/datetime.h"
#include "search_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineText;

constexpr const char* kStaff = "CadFuncionariosLojas.adt";
constexpr const char* kAudit = "Auditoria.adt";

class EditingTest : public test::TDataSetFixture {
  protected:
    void SetUp() override {
        test::TDataSetFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        CreateStaffTable({{"1111", "ANA LIMA"}, {"2222", "BRUNO COSTA"}, {"3333", "CARLA DIAS"}});
        CreateAuditTable();
    }

    std::unique_ptr<TAdsTable> OpenStaff() {
        auto table = Table(kStaff);
        table->Open();
        return table;
    }

    // Appends one audit row the way the program's finish does.
    static void AppendAuditRow(TAdsTable& audit, const std::string& situacao) {
        audit.Append();
        audit.FieldByName("Data").SetAsDateTime(rtl::EncodeDate(2026, 12, 10));
        audit.FieldByName("CodGrupo").SetAsString("G01");
        audit.FieldByName("CodProduto").SetAsString("P-100");
        audit.FieldByName("Quantidade").SetAsString("12");
        audit.FieldByName("Situacao").SetAsString(situacao);
        audit.FieldByName("Observacao").SetAsString("Conferido por: ANA");
        audit.Post();
    }
};

// --- The program's audit append ------------------------------------------------------------------

TEST_F(EditingTest, AuditRowIsAppendedWithItsSixColumnsAndTheEnginesAutoInc) {
    auto audit = Table(kAudit);
    audit->Open();
    AppendAuditRow(*audit, "CONF ESTOQUE");
    EXPECT_EQ(audit->State(), db::dsBrowse);
    EXPECT_EQ(audit->RecordCount(), 1);
    EXPECT_EQ(audit->FieldByName("Codigo").AsInteger(), 1) << "read back after the post";
    EXPECT_EQ(audit->LastAutoincVal(), 1);
    audit->Close();

    EXPECT_EQ(CountOnOtherConnection(kAudit), 1u);
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "Situacao"), "CONF ESTOQUE");
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "Observacao"), "Conferido por: ANA");
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "Quantidade"), "12");
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "Data"), "12/10/2026 00:00:00.000");

    audit->Open();
    AppendAuditRow(*audit, "SECOND");
    EXPECT_EQ(audit->FieldByName("Codigo").AsInteger(), 2);
    EXPECT_EQ(audit->FieldByName("Situacao").AsString(), "SECOND");
}

TEST_F(EditingTest, AFieldNotSetStaysAsTheNewRecordLeftIt) {
    auto audit = Table(kAudit);
    audit->Open();
    audit->Append();
    audit->FieldByName("Situacao").SetAsString("ONLY THIS");
    audit->Post();
    EXPECT_TRUE(audit->FieldByName("CodGrupo").IsNull());
    EXPECT_TRUE(audit->FieldByName("Data").IsNull());
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "Observacao"), "<null>");
}

// --- What a post sends ------------------------------------------------------------------------

TEST_F(EditingTest, PostWithoutChangesStillWritesAndReleasesTheLock) {
    auto staff = OpenStaff();
    staff->Next();
    staff->Edit();
    EXPECT_FALSE(OtherUserCanLock(kStaff, 2)) << "a pessimistic edit holds the record";
    EXPECT_TRUE(OtherUserCanLock(kStaff, 1)) << "only the edited record";
    staff->Post();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_TRUE(OtherUserCanLock(kStaff, 2));
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "BRUNO COSTA");
    EXPECT_EQ(staff->RecNo(), 2);
}

struct TBlankCase {
    bool PreserveSpaces;
    const char* Expected;  // as another user reads it
};

void PrintTo(const TBlankCase& c, std::ostream* out) {
    *out << (c.PreserveSpaces ? "spaces preserved" : "spaces not preserved") << " reads "
         << c.Expected;
}

class BlankTextTest : public EditingTest, public ::testing::WithParamInterface<TBlankCase> {};

TEST_P(BlankTextTest, BlankTextIsPostedAsEmptyUnlessSpacesArePreserved) {
    auto staff = Table(kStaff);
    staff->AdsTableOptions().SetAdsPreserveSpaces(GetParam().PreserveSpaces);
    staff->Open();
    staff->Edit();
    staff->FieldByName("NomeFuncionario").SetAsString("   ");
    staff->Post();
    EXPECT_EQ(ReadOnOtherConnection(kStaff, 1, "NomeFuncionario"), GetParam().Expected);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").IsNull(),
              std::string(GetParam().Expected) == "<null>");
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "");
}

INSTANTIATE_TEST_SUITE_P(Spaces, BlankTextTest,
                         ::testing::Values(TBlankCase{false, "<null>"}, TBlankCase{true, ""}),
                         ReadableCaseName());

TEST_F(EditingTest, AnAutoIncValueIsNeverSent) {
    auto audit = Table(kAudit);
    audit->Open();
    AppendAuditRow(*audit, "FIRST");
    AppendAuditRow(*audit, "SECOND");
    audit->First();
    audit->Edit();
    // Clearing an edited record marks every field changed, the AutoInc one with its null
    // marker; the engine assigns AutoInc values itself and would refuse one.
    audit->ClearFields();
    audit->FieldByName("Situacao").SetAsString("CLEARED");
    audit->Post();
    EXPECT_EQ(audit->FieldByName("Codigo").AsInteger(), 1);
    EXPECT_EQ(audit->FieldByName("Situacao").AsString(), "CLEARED");
    EXPECT_TRUE(audit->FieldByName("CodGrupo").IsNull());
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "Codigo"), "1");
}

TEST_F(EditingTest, AMemoIsSentOnlyWhenItsValueWasWritten) {
    const ADSHANDLE notes = CreateTable("Notas.adt", "Codigo,Integer;Texto,Memo");
    AppendRow(notes, {{"Codigo", "1"}, {"Texto", "first note"}});
    ace::AdsCloseTable(notes);
    auto table = Table("Notas.adt");
    table->Open();
    table->Edit();
    table->FieldByName("Codigo").SetAsInteger(2);
    table->Post();
    EXPECT_EQ(ReadOnOtherConnection("Notas.adt", 1, "Texto"), "first note");
    EXPECT_EQ(table->FieldByName("Texto").AsString(), "first note");

    table->Edit();
    table->FieldByName("Texto").SetAsString("second note");
    table->Post();
    EXPECT_EQ(ReadOnOtherConnection("Notas.adt", 1, "Texto"), "second note");
    EXPECT_EQ(ReadOnOtherConnection("Notas.adt", 1, "Codigo"), "2");

    table->Append();
    table->FieldByName("Codigo").SetAsInteger(3);
    table->FieldByName("Texto").SetAsString("new note");
    table->Post();
    EXPECT_EQ(ReadOnOtherConnection("Notas.adt", 2, "Texto"), "new note");

    table->Edit();
    table->FieldByName("Texto").SetAsString("");
    table->Post();
    EXPECT_TRUE(table->FieldByName("Texto").IsNull()) << "an empty memo has no value";
    EXPECT_EQ(ReadOnOtherConnection("Notas.adt", 2, "Texto"), "");
}

struct TClearedBlobCase {
    const char* Name;
    const char* FieldType;
    bool ThroughVariant;  // AsVariant := Null instead of Clear()
};

void PrintTo(const TClearedBlobCase& c, std::ostream* out) {
    *out << c.Name;
}

class ClearedBlobTest : public EditingTest,
                        public ::testing::WithParamInterface<TClearedBlobCase> {};

TEST_P(ClearedBlobTest, ClearingAPostedValueIsSaved) {
    const std::string fields = std::string("Codigo,Integer;Valor,") + GetParam().FieldType;
    ace::AdsCloseTable(CreateTable("Notas.adt", fields));
    auto table = Table("Notas.adt");
    table->Open();
    table->Append();
    table->FieldByName("Codigo").SetAsInteger(1);
    table->FieldByName("Valor").SetAsString("old value");
    table->Post();
    ASSERT_EQ(table->FieldByName("Valor").AsString(), "old value");

    table->Edit();
    if (GetParam().ThroughVariant) {
        table->FieldByName("Valor").SetAsVariant(rtl::Variant::Null());
    } else {
        table->FieldByName("Valor").Clear();
    }
    EXPECT_TRUE(table->FieldByName("Valor").IsNull()) << "during the edit";
    table->Post();
    EXPECT_TRUE(table->FieldByName("Valor").IsNull()) << "after the post";
    EXPECT_EQ(table->FieldByName("Valor").AsString(), "");
    EXPECT_EQ(ReadOnOtherConnection("Notas.adt", 1, "Valor"), "<null>");

    table->Close();
    table->Open();
    EXPECT_TRUE(table->FieldByName("Valor").IsNull()) << "reopened";

    // A value written after the clear is the one saved.
    table->Edit();
    table->FieldByName("Valor").Clear();
    table->FieldByName("Valor").SetAsString("new value");
    table->Post();
    EXPECT_EQ(ReadOnOtherConnection("Notas.adt", 1, "Valor"), "new value");
}

INSTANTIATE_TEST_SUITE_P(BlobTypes, ClearedBlobTest,
                         ::testing::Values(TClearedBlobCase{"MemoClear", "Memo", false},
                                           TClearedBlobCase{"MemoVariantNull", "Memo", true},
                                           TClearedBlobCase{"NMemoClear", "NMemo", false},
                                           TClearedBlobCase{"NMemoVariantNull", "NMemo", true},
                                           TClearedBlobCase{"ImageClear", "Image", false},
                                           TClearedBlobCase{"ImageVariantNull", "Image", true},
                                           TClearedBlobCase{"BinaryClear", "Binary", false},
                                           TClearedBlobCase{"BinaryVariantNull", "Binary", true}),
                         [](const ::testing::TestParamInfo<TClearedBlobCase>& info) {
                             return info.param.Name;
                         });

TEST_F(EditingTest, RequiredFieldFailsBeforeAnythingIsAppended) {
    auto audit = Table(kAudit);
    audit->Open();
    audit->FieldByName("Situacao").SetRequired(true);
    audit->Append();
    audit->FieldByName("CodGrupo").SetAsString("G01");
    EXPECT_EQ(Message([&] { audit->Post(); }), "TbAuditoria: Field 'Situacao' must have a value");
    EXPECT_EQ(audit->State(), db::dsInsert);
    EXPECT_EQ(CountOnOtherConnection(kAudit), 0u);
    audit->FieldByName("Situacao").SetAsString("NOW");
    audit->Post();
    EXPECT_EQ(audit->RecordCount(), 1);
}

// --- Cancel ------------------------------------------------------------------------------------

TEST_F(EditingTest, CancelOfAnEditRereadsTheRecordAndReleasesTheLock) {
    auto staff = OpenStaff();
    staff->Edit();
    staff->FieldByName("NomeFuncionario").SetAsString("CHANGED");
    staff->Cancel();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "ANA LIMA");
    EXPECT_TRUE(OtherUserCanLock(kStaff, 1));
    EXPECT_EQ(ReadOnOtherConnection(kStaff, 1, "NomeFuncionario"), "ANA LIMA");
}

TEST_F(EditingTest, CancelOfAnAppendLeavesTheDatasetOnTheLastRecord) {
    auto staff = OpenStaff();
    EXPECT_EQ(staff->RecNo(), 1);
    staff->Append();
    staff->FieldByName("NomeFuncionario").SetAsString("NEW");
    staff->Cancel();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "CARLA DIAS");
    EXPECT_EQ(staff->RecordCount(), 3);
}

TEST_F(EditingTest, CancelOfAnInsertReturnsToTheRecordItBeganOn) {
    auto staff = OpenStaff();
    staff->Next();
    staff->Insert();
    staff->FieldByName("NomeFuncionario").SetAsString("NEW");
    staff->Cancel();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "BRUNO COSTA");
    EXPECT_EQ(staff->RecNo(), 2);
    staff->Next();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "CARLA DIAS");
    EXPECT_EQ(CountOnOtherConnection(kStaff), 3u);
}

TEST_F(EditingTest, InsertIntoAnEmptyTableAndCancel) {
    auto audit = Table(kAudit);
    audit->Open();
    audit->Insert();
    audit->FieldByName("Situacao").SetAsString("X");
    audit->Cancel();
    EXPECT_TRUE(audit->IsEmpty());
    audit->Insert();
    audit->FieldByName("Situacao").SetAsString("KEPT");
    audit->Post();
    EXPECT_EQ(audit->FieldByName("Situacao").AsString(), "KEPT");
    EXPECT_EQ(audit->RecordCount(), 1);
}

// A unique index refuses a second record with the same key at the write: a post that fails
// after its append.
class FailedPostTest : public EditingTest {
  protected:
    void SetUp() override {
        EditingTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        VARELUM_REQUIRE_ENGINE("AdsCreateIndex90");
        CreateIndex(kStaff, "SENHA", "Senha", VE_INDEX_UNIQUE);
    }

    // The passwords of the table's records in its natural order, read afresh.
    std::vector<std::string> PasswordsOnOtherDataSet() {
        auto staff = OpenStaff();
        std::vector<std::string> passwords;
        for (; !staff->Eof(); staff->Next()) {
            passwords.push_back(staff->FieldByName("Senha").AsString());
        }
        return passwords;
    }
};

TEST_F(FailedPostTest, APostFailingAfterTheAppendKeepsTheInsertAndDoesNotAppendTwice) {
    auto staff = OpenStaff();
    staff->Append();
    staff->FieldByName("Senha").SetAsString("2222");
    staff->FieldByName("NomeFuncionario").SetAsString("DUPLICATE");
    EXPECT_EQ(ErrorCode([&] { staff->Post(); }), static_cast<UNSIGNED32>(VE_DUPLICATE_KEY));
    EXPECT_EQ(staff->State(), db::dsInsert);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "DUPLICATE");
    staff->FieldByName("Senha").SetAsString("4444");
    staff->Post();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "DUPLICATE");
    EXPECT_EQ(CountOnOtherConnection(kStaff), 4u) << "one append for two post attempts";
}

TEST_F(FailedPostTest, ARefusedPostLeavesNothingForTheEngineToWriteLater) {
    auto staff = OpenStaff();
    staff->Append();
    staff->FieldByName("Senha").SetAsString("1111");
    staff->FieldByName("NomeFuncionario").SetAsString("NEVER POSTED");
    EXPECT_EQ(ErrorCode([&] { staff->Post(); }), static_cast<UNSIGNED32>(VE_DUPLICATE_KEY));
    EXPECT_EQ(Message([&] { staff->Close(); }), "(no error)");
    EXPECT_EQ(PasswordsOnOtherDataSet(), (std::vector<std::string>{"1111", "2222", "3333"}));
    staff->Open();
    staff->AppendRecord({rtl::Variant(), "4444", "DANI"});
    EXPECT_EQ(PasswordsOnOtherDataSet(),
              (std::vector<std::string>{"1111", "2222", "3333", "4444"}));
}

// InsertRecord and AppendRecord return to browsing when the record is refused; nothing of it
// may stay behind to block the next move or swallow the next record.
class RefusedRecordTest : public FailedPostTest, public ::testing::WithParamInterface<bool> {
  protected:
    void AddRecord(TAdsTable& table, const std::vector<rtl::Variant>& values) {
        if (GetParam()) {
            table.AppendRecord(values);
        } else {
            table.InsertRecord(values);
        }
    }
};

TEST_P(RefusedRecordTest, ARefusedRecordLeavesTheDataSetUsableAndLosesNoLaterRecord) {
    auto staff = OpenStaff();
    staff->Next();
    EXPECT_EQ(ErrorCode([&] {
                  AddRecord(*staff, {rtl::Variant(), "3333", "REFUSED"});
              }),
              static_cast<UNSIGNED32>(VE_DUPLICATE_KEY));
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "BRUNO COSTA");

    staff->First();
    staff->Next();
    staff->Next();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "CARLA DIAS");
    AddRecord(*staff, {rtl::Variant(), "4444", "DANI"});
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "DANI");
    staff->Close();
    EXPECT_EQ(PasswordsOnOtherDataSet(),
              (std::vector<std::string>{"1111", "2222", "3333", "4444"}));
}

INSTANTIATE_TEST_SUITE_P(AppendOrInsert, RefusedRecordTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "AppendRecord" : "InsertRecord";
                         });

TEST_F(EditingTest, AMemoOfARefusedPostIsSavedByTheNextAttempt) {
    VARELUM_REQUIRE_ENGINE("AdsCreateIndex90");
    const ADSHANDLE notes = CreateTable("Notas.adt", "Codigo,Integer;Texto,Memo");
    AppendRow(notes, {{"Codigo", "1"}, {"Texto", "first note"}});
    ace::AdsCloseTable(notes);
    CreateIndex("Notas.adt", "CODIGO", "Codigo", VE_INDEX_UNIQUE);
    auto table = Table("Notas.adt");
    table->Open();
    table->Append();
    table->FieldByName("Codigo").SetAsInteger(1);
    table->FieldByName("Texto").SetAsString("second note");
    EXPECT_EQ(ErrorCode([&] { table->Post(); }), static_cast<UNSIGNED32>(VE_DUPLICATE_KEY));
    table->FieldByName("Codigo").SetAsInteger(2);
    table->Post();
    table->Close();
    table->Open();
    table->Last();
    EXPECT_EQ(table->FieldByName("Codigo").AsInteger(), 2);
    EXPECT_EQ(table->FieldByName("Texto").AsString(), "second note");
}

TEST_F(FailedPostTest, CancelAfterAFailedPostDiscardsThePendingAppend) {
    auto staff = OpenStaff();
    staff->Next();
    staff->Insert();
    staff->FieldByName("Senha").SetAsString("3333");
    EXPECT_EQ(ErrorCode([&] { staff->Post(); }), static_cast<UNSIGNED32>(VE_DUPLICATE_KEY));
    staff->Cancel();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "BRUNO COSTA");
    EXPECT_EQ(staff->RecordCount(), 3);
    EXPECT_EQ(CountOnOtherConnection(kStaff), 3u);
}

// --- Delete ------------------------------------------------------------------------------------

TEST_F(EditingTest, DeletingTheLastVisibleRecordFallsBackToThePriorOne) {
    test::TScopedShowDeleted hidden(false);
    auto staff = OpenStaff();
    staff->Last();
    staff->Delete();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "BRUNO COSTA");
    EXPECT_EQ(staff->RecordCount(), 2);
    staff->Next();
    EXPECT_TRUE(staff->Eof());
}

TEST_F(EditingTest, DeletingWithDeletedRecordsHiddenMovesToTheNextRecord) {
    test::TScopedShowDeleted hidden(false);
    auto staff = OpenStaff();
    staff->Delete();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "BRUNO COSTA");
    staff->First();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "BRUNO COSTA");
    EXPECT_EQ(staff->RecordCount(), 2);
}

TEST_F(EditingTest, DeleteInInsertStateCancelsInstead) {
    auto staff = OpenStaff();
    staff->Append();
    staff->Delete();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->RecordCount(), 3);
}

// --- AppendRecord and InsertRecord ------------------------------------------------------------

TEST_F(EditingTest, AppendRecordValuesOverrideWhatOnNewRecordSet) {
    auto audit = Table(kAudit);
    audit->OnNewRecord = [](db::TDataSet& dataSet) {
        dataSet.FieldByName("Situacao").SetAsString("FROM EVENT");
        dataSet.FieldByName("Observacao").SetAsString("FROM EVENT");
    };
    audit->Open();
    audit->AppendRecord({rtl::Variant(), rtl::Variant(), "G01", "P-1", "3", "GIVEN"});
    EXPECT_EQ(audit->State(), db::dsBrowse);
    EXPECT_EQ(audit->FieldByName("Situacao").AsString(), "GIVEN");
    EXPECT_EQ(audit->FieldByName("Observacao").AsString(), "FROM EVENT");
    EXPECT_EQ(audit->FieldByName("Codigo").AsInteger(), 1);
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "Situacao"), "GIVEN");
    EXPECT_EQ(ReadOnOtherConnection(kAudit, 1, "CodProduto"), "P-1");
}

TEST_F(EditingTest, InsertRecordAddsARecord) {
    auto staff = OpenStaff();
    staff->Next();
    staff->InsertRecord({rtl::Variant(9), "9999", "DANI"});
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "DANI");
    EXPECT_EQ(staff->RecordCount(), 4);
    EXPECT_EQ(ReadOnOtherConnection(kStaff, 4, "Senha"), "9999");
}

// --- Table locks -------------------------------------------------------------------------------

TEST_F(EditingTest, LockTableKeepsOtherUsersOutUntilUnlocked) {
    auto staff = OpenStaff();
    staff->LockTable();
    EXPECT_FALSE(OtherUserCanLock(kStaff, 3));
    staff->UnlockTable();
    EXPECT_TRUE(OtherUserCanLock(kStaff, 3));
    // Unlocking a table that is not locked is no error.
    staff->UnlockTable();
    staff->Close();
    staff->LockTable();  // inactive: nothing happens
}

TEST_F(EditingTest, AnotherUsersLockRefusesTheEdit) {
    const ADSHANDLE other = OpenOnOtherConnection(kStaff);
    ASSERT_EQ(ace::AdsLockRecord(other, 1), 0u);
    auto staff = OpenStaff();
    EXPECT_EQ(ErrorCode([&] { staff->Edit(); }), static_cast<UNSIGNED32>(VE_LOCK_REFUSED));
    EXPECT_EQ(staff->State(), db::dsBrowse);

    // OnEditError may retry once the other user lets go.
    int calls = 0;
    staff->OnEditError = [&](db::TDataSet&, rtl::EDatabaseError&, db::TDataAction& action) {
        ++calls;
        ace::AdsUnlockRecord(other, 1);
        action = db::daRetry;
    };
    staff->Edit();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(staff->State(), db::dsEdit);
    staff->Cancel();
    ace::AdsCloseTable(other);
}

// --- Locking between processes ----------------------------------------------------------------

TEST_F(EditingTest, PessimisticEditRefusesAnotherProcesssEditOfTheRecord) {
    auto staff = OpenStaff();
    staff->Next();
    staff->Edit();
    const test::TPeerAnswer refused = test::RunLockPeer({DataPath(), kStaff, "2", "edit"});
    EXPECT_EQ(refused.Status, "error " + std::to_string(VE_LOCK_REFUSED)) << refused.Detail;
    EXPECT_EQ(test::RunLockPeer({DataPath(), kStaff, "3", "edit"}).Status, "edited")
        << "other records stay free";
    staff->FieldByName("NomeFuncionario").SetAsString("BRUNO C.");
    staff->Post();
    const test::TPeerAnswer free =
        test::RunLockPeer({DataPath(), kStaff, "2", "change", "NomeFuncionario", "FROM PEER"});
    EXPECT_EQ(free.Status, "changed") << free.Detail;
    staff->Refresh();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "FROM PEER");
}

TEST_F(EditingTest, OptimisticPostAfterAnotherProcessChangedTheRecordFails) {
    auto staff = Table(kStaff);
    staff->AdsTableOptions().SetAdsRecordLockingMode(lmOptimistic);
    staff->Open();
    staff->Edit();
    staff->FieldByName("NomeFuncionario").SetAsString("MINE");
    // No lock is held during an optimistic edit: the other process may change the record.
    const test::TPeerAnswer peer =
        test::RunLockPeer({DataPath(), kStaff, "1", "change", "NomeFuncionario", "THEIRS"});
    ASSERT_EQ(peer.Status, "changed") << peer.Detail;

    try {
        staff->Post();
        FAIL() << "the post overwrote another user's change";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), static_cast<UNSIGNED32>(VE_RECORD_CHANGED));
        EXPECT_STREQ(error.what(), "TbCadFuncionariosLojas: Record was changed by another user.");
    }
    EXPECT_EQ(staff->State(), db::dsEdit);
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "MINE");
    EXPECT_TRUE(OtherUserCanLock(kStaff, 1)) << "the post's own lock is released";
    EXPECT_EQ(ErrorCode([&] { staff->Post(); }), static_cast<UNSIGNED32>(VE_RECORD_CHANGED))
        << "posting again fails again until the record is read again";
    EXPECT_EQ(ReadOnOtherConnection(kStaff, 1, "NomeFuncionario"), "THEIRS");

    staff->Cancel();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "THEIRS");
    staff->Edit();
    staff->FieldByName("NomeFuncionario").SetAsString("MINE AFTER ALL");
    staff->Post();
    EXPECT_EQ(ReadOnOtherConnection(kStaff, 1, "NomeFuncionario"), "MINE AFTER ALL");
}

TEST_F(EditingTest, ExclusiveTablesTakeNoRecordLocks) {
    auto staff = Table(kStaff);
    staff->SetExclusive(true);
    staff->Open();
    staff->Edit();
    staff->FieldByName("NomeFuncionario").SetAsString("ALONE");
    UNSIGNED16 locks = 9;
    ASSERT_EQ(ace::AdsGetNumLocks(staff->Handle(), &locks), 0u);
    EXPECT_EQ(locks, 0u);
    staff->Post();
    EXPECT_EQ(staff->FieldByName("NomeFuncionario").AsString(), "ALONE");
}

}  // namespace
}  // namespace varelum::ads
