// TAdsTable and the TAdsDataSet cursor under it, against the real engine on tables in a
// temporary store that ads.ini knows as "BALDERIM": the open and its errors, walking,
// counting, record numbers, bookmarks, field definitions and values of every ADT type, new
// record images, blob caches, Exists and the members that only fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "ads/adstable_table.h"
#include "component_test_support.h"
#include "db/field.h"
#include "db/field_types.h"
#include "rtl/bcd.h"
#include "rtl/datetime.h"

namespace varelum::ads {
namespace {

using test::EngineText;

class TableTest : public test::TStoreFixture {
  protected:
    std::unique_ptr<TAdsTable> Table(const std::string& name,
                                     const std::string& database = "BALDERIM") {
        auto table = std::make_unique<TAdsTable>();
        table->SetName("Tb" + name.substr(0, name.find('.')));
        table->SetDatabaseName(database);
        table->SetTableName(name);
        return table;
    }
};

// --- The program's tables ------------------------------------------------------------------------

TEST_F(TableTest, StaffTableOpensThroughTheAliasAndReadsTrimmedText) {
    CreateStaffTable({{"1234", "MARIA DA SILVA"}, {"ABCD", "JOAO PEREIRA"}});
    auto table = Table("CadFuncionariosLojas.adt");
    table->Open();
    ASSERT_TRUE(table->Active());
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(table->OpenTableType(), kAceTableADT);
    EXPECT_EQ(table->AceTableType(), kAceTableADT);
    EXPECT_EQ(table->OpenCharType(), VE_CHARTYPE_ANSI);
    EXPECT_EQ(table->TableOpenOptions() & 3u, 0u) << "neither exclusive nor read-only";
    EXPECT_TRUE(table->CanModify());
    EXPECT_EQ(table->FieldByName("NomeFuncionario").AsString(), "MARIA DA SILVA");
    EXPECT_EQ(table->FieldByName("senha").AsString(), "1234");
    table->Next();
    EXPECT_EQ(table->FieldByName("NomeFuncionario").AsString(), "JOAO PEREIRA");
    table->Next();
    EXPECT_TRUE(table->Eof());
    table->Close();
    EXPECT_EQ(table->Handle(), kNoAdsHandle);
    EXPECT_EQ(table->ActiveHandle(), kNoAdsHandle);
}

TEST_F(TableTest, AuditTableOpensEmpty) {
    CreateAuditTable();
    auto table = Table("Auditoria.adt");
    table->Open();
    EXPECT_TRUE(table->IsEmpty());
    EXPECT_EQ(table->RecordCount(), 0);
    EXPECT_EQ(table->RecNo(), 0) << "no active record";
    EXPECT_EQ(table->FieldDefs().Count(), 7);
    EXPECT_EQ(table->FieldByName("Data").DataType(), db::ftDateTime);
    EXPECT_EQ(table->FieldByName("Codigo").DataType(), db::ftAutoInc);
    EXPECT_TRUE(table->Exists());
}

// --- Opening and its errors ------------------------------------------------------------------

TEST_F(TableTest, NewDatasetDefaults) {
    TAdsTable table;
    EXPECT_EQ(table.TableType(), ttAdsADT);
    EXPECT_EQ(table.OpenTableType(), kAceTableADT);
    EXPECT_FALSE(table.Sequenced());
    EXPECT_EQ(table.SequencedLevel(), slStandard);
    EXPECT_TRUE(table.StoreActive());
    EXPECT_EQ(table.AdsTableOptions().AdsRecordCache(), rcStandard);
    EXPECT_TRUE(table.AdsTableOptions().AdsOptimizedFilters());
    EXPECT_TRUE(table.AdsTableOptions().AdsRightsCheck());
    EXPECT_EQ(table.AdsTableOptions().AdsLocateBehavior(), lbFastestPossible);
    EXPECT_EQ(table.AdsTableOptions().AdsCharType(), ANSI);
    EXPECT_EQ(table.GetEffectiveCollation(), "ANSI");
    EXPECT_EQ(table.IndexCollationMismatch(), icmError);
    EXPECT_EQ(table.Handle(), kNoAdsHandle);
}

TEST_F(TableTest, OpenErrors) {
    TAdsTable noName;
    noName.SetDatabaseName("BALDERIM");
    EXPECT_EQ(Message([&] { noName.Open(); }), "Missing TableName property");
    EXPECT_FALSE(noName.Active());

    TAdsTable noDatabase;
    noDatabase.SetTableName("Auditoria.adt");
    EXPECT_EQ(Message([&] { noDatabase.Open(); }),
              "One of the DatabaseName property or the AdsConnection property must have a "
              "value.");

    auto missing = Table("Nowhere.adt");
    try {
        missing->Open();
        FAIL() << "opened a missing table";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), static_cast<UNSIGNED32>(VE_TABLE_NOT_FOUND));
        EXPECT_EQ(error.DataSetInstanceName(), "TbNowhere");
    }
    EXPECT_FALSE(missing->Active());
    EXPECT_EQ(missing->Handle(), kNoAdsHandle);
}

TEST_F(TableTest, AMissingIndexFileLeavesNoTableOpen) {
    CreateAuditTable();
    auto table = Table("Auditoria.adt");
    table->IndexFiles().Add("Missing.adi");
    UNSIGNED16 before = 0;
    ace::AdsGetNumOpenTables(&before);
    EXPECT_THROW(table->Open(), EADSDatabaseError);
    UNSIGNED16 after = 0;
    ace::AdsGetNumOpenTables(&after);
    EXPECT_EQ(after, before);
    EXPECT_FALSE(table->Active());
}

TEST_F(TableTest, AnIndexFileOpensWithTheTableAndItsTagsFollowIntoIndexDefs) {
    const ADSHANDLE handle = CreateTable("Notas.adt", "Codigo,Integer;Nome,Char,20");
    AppendRow(handle, {{"Codigo", "1"}, {"Nome", "ZECA"}});
    AppendRow(handle, {{"Codigo", "2"}, {"Nome", "ANA"}});
    ADSHANDLE index = 0;
    ASSERT_EQ(ace::AdsCreateIndex90(handle, EngineText("Extra.adi"), EngineText("BYNAME"),
                                    EngineText("Nome"), nullptr, nullptr, 0, 0, nullptr, &index),
              0u);
    ace::AdsCloseTable(handle);

    auto table = Table("Notas.adt");
    table->IndexFiles().Add("Extra.adi");
    table->Open();
    table->SetIndexName("BYNAME");
    table->First();
    EXPECT_EQ(table->FieldByName("Nome").AsString(), "ANA");
    ASSERT_NE(table->IndexDefs().FindIndex("BYNAME"), nullptr);

    // Closing and opening the file again while the table is open: the definitions follow.
    table->IndexFiles().Delete(0);
    EXPECT_EQ(table->IndexDefs().FindIndex("BYNAME"), nullptr);
    table->IndexFiles().Add("Extra.adi");
    EXPECT_NE(table->IndexDefs().FindIndex("BYNAME"), nullptr);
}

TEST_F(TableTest, ExclusiveAndReadOnlyReachTheEngine) {
    CreateAuditTable();
    auto table = Table("Auditoria.adt");
    table->SetExclusive(true);
    table->SetReadOnly(true);
    table->Open();
    EXPECT_EQ(table->TableOpenOptions() & 3u, 3u);
    EXPECT_FALSE(table->CanModify());
    EXPECT_EQ(Message([&] { table->SetReadOnly(false); }),
              "TbAuditoria: Cannot perform this operation on an open dataset");
    // The exclusive open keeps every other open out.
    auto other = Table("Auditoria.adt");
    EXPECT_THROW(other->Open(), EADSDatabaseError);
}

TEST_F(TableTest, PropertiesRefusedWhileOpen) {
    CreateAuditTable();
    auto table = Table("Auditoria.adt");
    table->Open();
    for (const auto& action : std::vector<std::function<void()>>{
             [&] { table->SetTableName("Other.adt"); }, [&] { table->SetTableType(ttAdsADT); },
             [&] { table->SetIndexCollationMismatch(icmReindex); },
             [&] { table->Restructure("x,Integer", "", ""); }}) {
        try {
            action();
            ADD_FAILURE() << "accepted while open";
        } catch (const EADSDatabaseError& error) {
            EXPECT_EQ(error.ACEErrorCode(), 5121u);
            EXPECT_STREQ(error.what(),
                         "TbAuditoria: Cannot perform this operation on an open dataset");
        }
    }
    for (const auto& action : std::vector<std::function<void()>>{
             [&] { table->AdsTableOptions().SetAdsLockType(Compatible); },
             [&] { table->AdsTableOptions().SetAdsCharType(OEM); },
             [&] { table->AdsTableOptions().SetAdsRightsCheck(false); },
             [&] { table->AdsTableOptions().SetAdsCachingOption(tcReads); }}) {
        EXPECT_EQ(Message(action), "TbAuditoria: Table must not be Active.");
    }
}

TEST_F(TableTest, CharTypeChecks) {
    TAdsTable table;
    EXPECT_EQ(Message([&] { table.AdsTableOptions().SetAdsCharType(118); }),
              "Invalid or unknown character type.");
    table.AdsTableOptions().SetAdsCharType(AdsCharTypeByName("GERMAN_VFP_CI_AS_1252"));
    EXPECT_EQ(table.GetEffectiveCollation(), "GERMAN_VFP_CI_AS_1252");
    EXPECT_EQ(AdsCharTypeName(117), "BOSNIAN_ADS_CS_AS_775");
    table.SetTableType(ttAdsCDX);
    EXPECT_EQ(table.OpenTableType(), kAceTableCDX);
    EXPECT_EQ(Message([&] { table.AdsTableOptions().SetAdsCharType(5); }),
              "ttAdsCDX and ttAdsNTX table types only support an AdsCharType of ANSI or OEM.");
    table.AdsTableOptions().SetAdsCollation("GERMAN");
    EXPECT_EQ(table.GetEffectiveCollation(), "GERMAN");
}

TEST_F(TableTest, AliasWithTypeLetterNDecidesTheTableType) {
    CreateAuditTable();
    auto table = Table("Auditoria.adt", "NTXSTORE");
    try {
        table->Open();
        FAIL() << "the engine opened a DBF table";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), static_cast<UNSIGNED32>(VE_NOT_SUPPORTED));
    }
    EXPECT_EQ(table->TableType(), ttAdsNTX);
    EXPECT_EQ(table->OpenTableType(), kAceTableNTX);
    EXPECT_EQ(Message([&] { table->SetTableType(ttAdsADT); }),
              "TbAuditoria: The table type must remain identical to the table type "
              "associated with the alias.");
}

// --- Exists, file paths and provider names ---------------------------------------------------

TEST_F(TableTest, ExistsLooksForTheFileWithTheDefaultExtension) {
    CreateAuditTable();
    auto table = Table("Auditoria", DataPath());
    EXPECT_EQ(table->TableFilePath(), DataPath() + "/Auditoria.adt");
    EXPECT_TRUE(table->Exists());
    table->SetTableType(ttAdsCDX);
    EXPECT_EQ(table->TableFilePath(), DataPath() + "/Auditoria.dbf");
    EXPECT_FALSE(table->Exists());
    table->SetTableType(ttAdsADT);
    table->SetTableName("Auditoria.adt");
    EXPECT_EQ(table->TableFilePath(), DataPath() + "/Auditoria.adt");
    table->SetTableName("");
    EXPECT_FALSE(table->Exists());
}

TEST_F(TableTest, ProviderTableName) {
    TAdsTable table;
    for (const auto& [name, expected] :
         std::vector<std::pair<std::string, std::string>>{{"Auditoria.adt", "Auditoria"},
                                                          {"a.dt", "a.dt"},
                                                          {"Auditoria", "Auditoria"},
                                                          {"Audi.toria", "Audi.toria"}}) {
        table.SetTableName(name);
        EXPECT_EQ(table.ProviderTableName(), expected) << name;
    }
}

// --- Walking, counting, record numbers --------------------------------------------------------

class NumberedTableTest : public TableTest {
  protected:
    void SetUp() override {
        TableTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        const ADSHANDLE table = CreateTable("Numbers.adt", "N,Integer;Name,Char,10");
        for (int i = 1; i <= 5; ++i) {
            const std::string number = std::to_string(i);
            AppendRow(table, {{"N", number.c_str()}, {"Name", ("row" + number).c_str()}});
        }
        // Record 2 is marked deleted and hidden: positions and record numbers part.
        ASSERT_EQ(ace::AdsGotoRecord(table, 2), 0u);
        ASSERT_EQ(ace::AdsDeleteRecord(table), 0u);
        ace::AdsCloseTable(table);
        UNSIGNED16 shown = 1;
        ace::AdsGetDeleted(&shown);
        FShowDeleted = shown;
        ace::AdsShowDeleted(0);
    }
    void TearDown() override { ace::AdsShowDeleted(FShowDeleted); }

    std::vector<int> Walk(TAdsTable& table) {
        std::vector<int> numbers;
        for (table.First(); !table.Eof(); table.Next()) {
            numbers.push_back(table.FieldByName("N").AsInteger());
        }
        return numbers;
    }

    UNSIGNED16 FShowDeleted = 1;
};

TEST_F(NumberedTableTest, RecNoWithoutIndexIsThePhysicalRecordNumber) {
    auto table = Table("Numbers.adt");
    table->Open();
    EXPECT_EQ(Walk(*table), (std::vector<int>{1, 3, 4, 5}));
    table->First();
    table->Next();
    EXPECT_EQ(table->FieldByName("N").AsInteger(), 3);
    EXPECT_EQ(table->RecNo(), 3) << "physical number, not position 2";
    table->SetRecNo(4);
    EXPECT_EQ(table->FieldByName("N").AsInteger(), 4);
    EXPECT_EQ(table->RecNo(), 4);
    EXPECT_THROW(table->SetRecNo(9), EADSDatabaseError) << "no such record";
}

TEST_F(NumberedTableTest, RecNoSequencedFallsBackToSkippingForAMissingRecord) {
    auto table = Table("Numbers.adt");
    table->SetSequenced(true);
    table->Open();
    table->SetRecNo(9);
    EXPECT_TRUE(table->Eof() || table->FieldByName("N").AsInteger() == 5);
}

TEST_F(NumberedTableTest, RecordCountIgnoresTheFilterEventByDefault) {
    auto table = Table("Numbers.adt");
    table->SetOnFilterRecord([](db::TDataSet& dataSet, bool& accept) {
        accept = dataSet.FieldByName("N").AsInteger() % 2 == 1;
    });
    table->SetFiltered(true);
    table->Open();
    EXPECT_EQ(Walk(*table), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(table->RecordCount(), 4) << "filters ignored (option 2), deleted rows hidden";
    table->AdsTableOptions().SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
    EXPECT_EQ(table->RecordCount(), 4) << "option 1 on the table handle: no engine filter";
    table->AdsTableOptions().SetAdsFreshRecordCount(true);
    EXPECT_EQ(table->RecordCount(), 4);
}

TEST_F(NumberedTableTest, LastAndPriorWalkBackwards) {
    auto table = Table("Numbers.adt");
    table->Open();
    std::vector<int> numbers;
    for (table->Last(); !table->Bof(); table->Prior()) {
        numbers.push_back(table->FieldByName("N").AsInteger());
    }
    EXPECT_EQ(numbers, (std::vector<int>{5, 4, 3, 1}));
}

TEST_F(NumberedTableTest, BookmarksAndOrderHandles) {
    auto table = Table("Numbers.adt");
    table->Open();
    EXPECT_EQ(table->GetAceIndexHandle(), kNoAdsHandle);
    EXPECT_EQ(table->GetAceOrderHandle(), table->GetAceTableHandle());
    EXPECT_EQ(table->SearchIndexHandle(), kNoAdsHandle);
    EXPECT_EQ(table->BookmarkSize(), 4u);
    table->Next();
    const db::TBookmark third = table->GetBookmark();
    table->Last();
    const db::TBookmark fifth = table->GetBookmark();
    EXPECT_TRUE(table->BookmarkValid(third));
    EXPECT_LT(table->CompareBookmarks(third, fifth), 0);
    EXPECT_EQ(table->CompareBookmarks({}, {}), 0);
    EXPECT_EQ(table->CompareBookmarks({}, fifth), 1);
    EXPECT_EQ(table->CompareBookmarks(fifth, {}), -1);
    table->GotoBookmark(third);
    EXPECT_EQ(table->FieldByName("N").AsInteger(), 3);
    EXPECT_FALSE(table->BookmarkValid({}));
    EXPECT_FALSE(table->BookmarkValid({99, 0, 0, 0}));
    std::vector<std::uint8_t> image(table->RecordSize());
    EXPECT_TRUE(table->GetCurrentRecord(image.data()));
    table->AdsActiveRecord();
    UNSIGNED32 record = 0;
    ASSERT_EQ(ace::AdsGetRecordNum(table->Handle(), VE_IGNORE_FILTERS, &record), 0u);
    EXPECT_EQ(record, 3u) << "the engine sits on the active record";
}

TEST_F(NumberedTableTest, ClosedDatasetRefusesCountsAndDescribesItsFields) {
    auto table = Table("Numbers.adt");
    EXPECT_THROW(table->RecordCount(), rtl::EDatabaseError);
    EXPECT_THROW(table->RecNo(), rtl::EDatabaseError);
    table->FieldDefs().Update();
    ASSERT_EQ(table->FieldDefs().Count(), 2);
    EXPECT_EQ(table->FieldDefs()[1].Name(), "Name");
    EXPECT_EQ(table->FieldDefs()[1].Size(), 10);
    EXPECT_EQ(table->Handle(), kNoAdsHandle) << "the temporary cursor is closed again";
}

// --- Field definitions and values of every ADT type ---------------------------------------------

class AllTypesTest : public TableTest {
  protected:
    void SetUp() override {
        TableTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        const ADSHANDLE table = CreateTable(
            "Types.adt",
            "L,Logical;N52,Numeric,5,2;N200,Numeric,20,0;N40,Numeric,4,0;D,Date;S,Char,8;"
            "CI,CIChar,8;M,Memo;B,Blob;Dbl,Double;I,Integer;SI,ShortInt;T,Time;TS,TimeStamp;"
            "A,AutoInc;R,Raw,4;CD,CurDouble;Mo,Money;RV,RowVersion;MT,ModTime;"
            "NC,NChar,4;NV,NVarChar,6");
        AppendRow(table, {{"L", "T"},
                          {"N52", "12.5"},
                          {"N200", "123456789012345"},
                          {"N40", "-12"},
                          {"D", "03/26/2018"},
                          {"S", "ABC"},
                          {"CI", "MiXeD"},
                          {"M", "a memo"},
                          {"Dbl", "2.5"},
                          {"I", "-7"},
                          {"SI", "300"},
                          {"T", "12:34:56"},
                          {"TS", "03/26/2018 00:00:00"},
                          {"CD", "1.25"},
                          {"Mo", "12.3456"},
                          {"NC", "A\xe7\xe3o"},
                          {"NV", "xyz"}});
        AppendRow(table, {});  // every field null, AutoInc and RowVersion kept by the engine
        AppendRow(table, {{"S", "        "}});
        ace::AdsCloseTable(table);
    }
};

TEST_F(AllTypesTest, FieldDefinitionsMapEngineTypes) {
    auto table = Table("Types.adt");
    table->Open();
    struct TExpected {
        const char* Name;
        db::TFieldType Type;
        int Size;
        int Precision;
    };
    for (const TExpected& e :
         std::vector<TExpected>{{"L", db::ftBoolean, 0, 0},     {"N52", db::ftBCD, 2, 3},
                                {"N200", db::ftFMTBcd, 0, 19},  {"N40", db::ftBCD, 0, 3},
                                {"D", db::ftDate, 0, 0},        {"S", db::ftString, 8, 0},
                                {"CI", db::ftString, 8, 0},     {"M", db::ftMemo, 1, 0},
                                {"B", db::ftBlob, 1, 0},        {"Dbl", db::ftFloat, 0, 0},
                                {"I", db::ftInteger, 0, 0},     {"SI", db::ftSmallint, 0, 0},
                                {"T", db::ftTime, 0, 0},        {"TS", db::ftDateTime, 0, 0},
                                {"A", db::ftAutoInc, 0, 0},     {"R", db::ftBytes, 4, 0},
                                {"CD", db::ftCurrency, 0, 0},   {"Mo", db::ftBCD, 4, 20},
                                {"RV", db::ftBCD, 0, 20},       {"MT", db::ftDateTime, 0, 0},
                                {"NC", db::ftWideString, 4, 0}, {"NV", db::ftWideString, 6, 0}}) {
        const db::TFieldDef* def = table->FieldDefs().FindDef(e.Name);
        ASSERT_NE(def, nullptr) << e.Name;
        EXPECT_EQ(def->DataType(), e.Type) << e.Name;
        EXPECT_EQ(def->Size(), e.Size) << e.Name;
        EXPECT_EQ(def->Precision(), e.Precision) << e.Name;
    }
    EXPECT_TRUE(dynamic_cast<TAdsStringField&>(table->FieldByName("CI")).CaseInsensitive());
    EXPECT_FALSE(dynamic_cast<TAdsStringField&>(table->FieldByName("S")).CaseInsensitive());
    EXPECT_FALSE(dynamic_cast<db::TBCDField&>(table->FieldByName("N52")).Currency());
    EXPECT_TRUE(dynamic_cast<db::TBCDField&>(table->FieldByName("Mo")).Currency());
    EXPECT_EQ(table->ACEFieldDefs()[20].Length(), 8u) << "NChar bytes are twice its characters";

    table->Close();
    table->AdsTableOptions().SetAdsNumericsAsFloats(true);
    table->Open();
    EXPECT_EQ(table->FieldByName("N40").DataType(), db::ftSmallint);
    EXPECT_EQ(table->FieldByName("N52").DataType(), db::ftFloat);
    EXPECT_EQ(table->FieldByName("N40").AsInteger(), -12);
}

TEST_F(AllTypesTest, ValuesReadThroughTheRecordImage) {
    auto table = Table("Types.adt");
    table->Open();
    EXPECT_TRUE(table->FieldByName("L").AsBoolean());
    EXPECT_EQ(rtl::BcdToStr(table->FieldByName("N52").AsBCD()), "12.5");
    EXPECT_EQ(table->FieldByName("N200").AsString(), "123456789012345");
    EXPECT_EQ(table->FieldByName("D").AsDateTime(), rtl::EncodeDate(2018, 3, 26));
    EXPECT_EQ(table->FieldByName("S").AsString(), "ABC");
    EXPECT_EQ(table->FieldByName("CI").AsString(), "MiXeD");
    EXPECT_EQ(table->FieldByName("M").AsString(), "a memo");
    EXPECT_DOUBLE_EQ(table->FieldByName("Dbl").AsFloat(), 2.5);
    EXPECT_EQ(table->FieldByName("I").AsInteger(), -7);
    EXPECT_EQ(table->FieldByName("SI").AsInteger(), 300);
    EXPECT_EQ(rtl::TimeToMilliseconds(table->FieldByName("T").AsDateTime()), 45296000);
    EXPECT_EQ(table->FieldByName("TS").AsDateTime(), rtl::EncodeDate(2018, 3, 26));
    EXPECT_EQ(table->FieldByName("A").AsInteger(), 1);
    EXPECT_DOUBLE_EQ(table->FieldByName("CD").AsFloat(), 1.25);
    EXPECT_EQ(table->FieldByName("Mo").AsCurrency(), rtl::Currency::FromScaled(123456));
    EXPECT_EQ(table->FieldByName("NC").AsString(), "Ação");
    EXPECT_EQ(table->FieldByName("NV").AsString(), "xyz");
    EXPECT_FALSE(table->FieldByName("RV").IsNull());
    EXPECT_TRUE(table->FieldByName("B").IsNull());

    table->Next();  // the row of nulls
    for (const char* name : {"L", "N52", "D", "S", "CI", "M", "B", "Dbl", "I", "SI", "T", "TS", "R",
                             "CD", "Mo", "NC", "NV"}) {
        EXPECT_TRUE(table->FieldByName(name).IsNull()) << name;
    }
    EXPECT_FALSE(table->FieldByName("A").IsNull()) << "AutoInc is the engine's";
    EXPECT_EQ(table->FieldByName("A").AsInteger(), 2);

    table->Next();  // a text of blanks only: a value, read as empty text
    EXPECT_FALSE(table->FieldByName("S").IsNull());
    EXPECT_EQ(table->FieldByName("S").AsString(), "");
}

TEST_F(AllTypesTest, NewRecordImageWithDefaultsAndWrites) {
    auto table = Table("Types.adt");
    table->Open();
    table->FieldByName("S").SetDefaultExpression(" 'it''s' ");
    table->FieldByName("I").SetDefaultExpression("42");
    table->FieldByName("L").SetDefaultExpression(".t.");
    table->FieldByName("D").SetDefaultExpression("26/03/2018");
    table->FieldByName("CI").SetDefaultExpression("unquoted");
    table->Insert();
    EXPECT_EQ(table->FieldByName("S").AsString(), "it's");
    EXPECT_EQ(table->FieldByName("I").AsInteger(), 42);
    EXPECT_TRUE(table->FieldByName("L").AsBoolean());
    EXPECT_EQ(table->FieldByName("D").AsDateTime(), rtl::EncodeDate(2018, 3, 26));
    EXPECT_TRUE(table->FieldByName("CI").IsNull()) << "text defaults must be quoted";
    EXPECT_TRUE(table->FieldByName("A").IsNull()) << "AutoInc waits for the engine";
    EXPECT_EQ(table->RecNo(), -1) << "a new record has no number yet";

    table->FieldByName("S").SetAsString("TOO LONG A TEXT");
    EXPECT_EQ(table->FieldByName("S").AsString(), "TOO LONG");
    table->FieldByName("S").SetAsString("");
    EXPECT_TRUE(table->FieldByName("S").IsNull()) << "an empty text is null in ADT";
    table->Cancel();

    table->AdsTableOptions().SetAdsPreserveSpaces(true);
    table->Insert();
    table->FieldByName("S").SetAsString("");
    EXPECT_FALSE(table->FieldByName("S").IsNull());
    table->Cancel();

    table->FieldByName("SI").SetDefaultExpression("40000");
    try {
        table->Insert();
        FAIL() << "an out-of-range default was applied";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 0u);
        EXPECT_EQ(std::string(error.what()),
                  "TbTypes: Error setting default field value. (SI)\r\nNumeric out of "
                  "range:40000");
    }
}

TEST_F(AllTypesTest, WritingOutsideEditModeIsRefused) {
    auto table = Table("Types.adt");
    table->Open();
    try {
        table->FieldByName("S").SetAsString("x");
        FAIL() << "written in browse mode";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_STREQ(error.what(), "TbTypes: Dataset not in edit mode");
    }
}

TEST_F(AllTypesTest, MemoIsReadOncePerRecordIntoTheBuffersCache) {
    auto table = Table("Types.adt");
    table->Open();
    EXPECT_EQ(table->FieldByName("M").AsString(), "a memo");
    // Another handle changes the value; the buffer's cache still holds what it read.
    const ADSHANDLE other = CreateTable("Unused.adt", "X,Integer");
    ace::AdsCloseTable(other);
    ADSHANDLE writer = 0;
    const std::string path = DataPath() + "/Types.adt";
    ASSERT_EQ(ace::AdsOpenTable90(Connection(), EngineText(path), nullptr, 3, 1, 1, 1, 0,
                                  EngineText("ANSI"), &writer),
              0u);
    ASSERT_EQ(ace::AdsGotoRecord(writer, 1), 0u);
    const std::string changed = "changed memo";
    ASSERT_EQ(ace::AdsSetField(writer, EngineText("M"), EngineText(changed),
                               static_cast<UNSIGNED32>(changed.size())),
              0u);
    ASSERT_EQ(ace::AdsWriteRecord(writer), 0u);
    ace::AdsCloseTable(writer);

    EXPECT_EQ(table->FieldByName("M").AsString(), "a memo") << "read from the cache";
    table->Next();
    table->Prior();
    EXPECT_EQ(table->FieldByName("M").AsString(), "changed memo") << "a fetch empties it";

    auto stream = table->CreateBlobStream(table->FieldByName("M"), db::bmRead);
    EXPECT_EQ(stream->Size(), 12);
    EXPECT_EQ(Message([&] { stream->Write("x", 1); }), "Error modifying read only blob.");
    EXPECT_EQ(Message([&] { table->CreateBlobStream(table->FieldByName("M"), db::bmWrite); }),
              "TbTypes: Table must be in Edit or Insert state to open blob stream in Write "
              "Mode.");
    EXPECT_EQ(Message([&] { table->CreateBlobStream(table->FieldByName("S"), db::bmRead); }),
              "TbTypes: Invalid blob open on non-blob field.");
}

TEST_F(AllTypesTest, BlobWriteStreamEmptiesTheCacheInInsertState) {
    auto table = Table("Types.adt");
    table->Open();
    table->Insert();
    {
        auto stream = table->CreateBlobStream(table->FieldByName("M"), db::bmWrite);
        EXPECT_EQ(stream->Size(), 0);
    }
    EXPECT_TRUE(table->ACEFieldDefs()[7].Modified()) << "closing the stream marks the field";
    EXPECT_TRUE(table->FieldByName("M").IsNull()) << "an empty written value";
    {
        auto stream = table->CreateBlobStream(table->FieldByName("M"), db::bmReadWrite);
        stream->Write("new text", 8);
    }
    EXPECT_EQ(table->FieldByName("M").AsString(), "new text");
    table->Cancel();
}

TEST_F(AllTypesTest, SetFieldToBinary) {
    auto table = Table("Types.adt");
    EXPECT_EQ(Message([&] { table->ADSSetFieldToBinary("M"); }), "TbTypes: Table must be Active.");
    table->Open();
    EXPECT_EQ(Message([&] { table->ADSSetFieldToBinary("Nope"); }),
              "TbTypes: Invalid field name for the given table");
    EXPECT_EQ(Message([&] { table->ADSSetFieldToBinary("S"); }),
              "TbTypes: Invalid field type to begin with to change to binary");
    table->ADSSetFieldToBinary("m");
    EXPECT_EQ(table->FieldDefs().Find("M").DataType(), db::ftBlob);
}

// --- Members that only fail ---------------------------------------------------------------------

TEST_F(TableTest, UnsupportedMembersSayWhich) {
    TAdsTable table;
    table.SetName("TbX");
    EXPECT_EQ(Message([&] { table.GetTableLevel(); }),
              "TbX: The method GetTableLevel in TAdsDataSet is not supported.");
    EXPECT_EQ(Message([&] { table.ApplyUpdates(); }),
              "TbX: The method ApplyUpdates in TAdsDataSet is not supported.");
    EXPECT_EQ(Message([&] { table.BatchMove(nullptr, 0); }),
              "TbX: The method BatchMove in TAdsDataSet is not supported.");
    EXPECT_EQ(Message([&] { table.RenameTable("Y"); }),
              "TbX: The method RenameTable in TAdsDataSet is not supported on free tables.");
}

TEST_F(TableTest, VersionNamesTheEngine) {
    TAdsTable table;
    const std::string version = table.Version();
    EXPECT_EQ(version.rfind("11.10.0.30 (ACE ", 0), 0u) << version;
    EXPECT_EQ(version.back(), ')');
}

}  // namespace
}  // namespace varelum::ads
