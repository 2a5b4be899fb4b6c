// Index and table maintenance of the dataset components against the real engine: indexes
// added and deleted on open and closed tables, emptying, packing, deleting, and tables
// created from field and index definitions. Temporary handles must never stay open, so the
// tests count the engine's open tables around each operation.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "ads/adsdata_errors.h"
#include "ads/adsdata_maintenance.h"
#include "ads/adstable_table.h"
#include "component_test_support.h"
#include "db/field.h"
#include "db/field_types.h"
#include "search_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineText;

UNSIGNED16 OpenTables() {
    UNSIGNED16 count = 0;
    EXPECT_EQ(ace::AdsGetNumOpenTables(&count), 0u);
    return count;
}

std::string IndexExpression(ADSHANDLE table, const std::string& tag) {
    ADSHANDLE index = 0;
    if (ace::AdsGetIndexHandle(table, EngineText(tag), &index) != 0) {
        return "(no index)";
    }
    UNSIGNED8 text[512] = {};
    UNSIGNED16 length = sizeof(text);
    EXPECT_EQ(ace::AdsGetIndexExpr(index, text, &length), 0u);
    return std::string(reinterpret_cast<const char*>(text), length);
}

UNSIGNED32 IndexFlags(ADSHANDLE table, const std::string& tag) {
    ADSHANDLE index = 0;
    EXPECT_EQ(ace::AdsGetIndexHandle(table, EngineText(tag), &index), 0u) << tag;
    UNSIGNED32 flags = 0;
    EXPECT_EQ(ace::AdsGetIndexFlags(index, &flags), 0u);
    return flags;
}

// Message and ErrorCode come from the dataset fixture; Table here names every table "Tb".
class MaintenanceTest : public test::TDataSetFixture {
  protected:
    void SetUp() override {
        test::TDataSetFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        const ADSHANDLE table = CreateTable("Items.adt", "Name,Char,20;Code,Integer;Memo,Memo");
        for (const auto& [name, code] : {std::pair{"pear", "3"}, {"Apple", "1"}, {"fig", "2"}}) {
            AppendRow(table, {{"Name", name}, {"Code", code}, {"Memo", name}});
        }
        ace::AdsCloseTable(table);
    }

    std::unique_ptr<TAdsTable> Table(const std::string& name = "Items.adt",
                                     const std::string& database = "BALDERIM") {
        auto table = std::make_unique<TAdsTable>();
        table->SetName("Tb");
        table->SetDatabaseName(database);
        table->SetTableName(name);
        return table;
    }

    // The table opened straight through the engine, for looking at what an operation made.
    ADSHANDLE OpenDirect(const std::string& name = "Items.adt") {
        return OpenOnOtherConnection(name);
    }
};

// --- AddIndex ------------------------------------------------------------------------------------

TEST_F(MaintenanceTest, AddIndexOnAClosedTableUsesATemporaryHandleAndClosesIt) {
    auto table = Table();
    const UNSIGNED16 before = OpenTables();
    table->AddIndex("ByName", "Name", 0);
    EXPECT_EQ(OpenTables(), before);
    EXPECT_FALSE(table->Active());
    const ADSHANDLE direct = OpenDirect();
    EXPECT_EQ(IndexExpression(direct, "ByName"), "Name");
    ace::AdsCloseTable(direct);
}

TEST_F(MaintenanceTest, AddIndexOnAnOpenTableUsesItsHandleAndLeavesItOpen) {
    auto table = Table();
    table->Open();
    const UNSIGNED16 before = OpenTables();
    table->AddIndex("ByCode", "Code", db::ixDescending);
    EXPECT_EQ(OpenTables(), before);
    ASSERT_TRUE(table->Active());
    EXPECT_EQ(IndexExpression(table->Handle(), "ByCode"), "Code");
    table->SetIndexName("ByCode");
    table->First();
    EXPECT_EQ(table->FieldByName("Code").AsInteger(), 3) << "descending";
    table->UpdateIndexDefs();
    EXPECT_NE(table->IndexDefs().FindIndex("ByCode"), nullptr) << "definitions read again";
}

TEST_F(MaintenanceTest, AddIndexOptionSetsReachTheEngine) {
    struct Case {
        const char* tag;
        const char* fields;
        db::TIndexOptions options;
        const char* expression;
        UNSIGNED32 flags;
    };
    const Case cases[] = {
        {"Plain", "Name;Code", 0, "Name;Code", VE_INDEX_COMPOUND},
        {"Unique", "Code", db::ixUnique, "Code", VE_INDEX_COMPOUND | VE_INDEX_UNIQUE},
        {"Desc", "Name", db::ixDescending, "Name", VE_INDEX_COMPOUND | VE_INDEX_DESCENDING},
        {"NoCase", "Name;Code", db::ixCaseInsensitive, "UPPER(Name);Code", VE_INDEX_COMPOUND},
        {"Expr", "STR(Code)+Name", db::ixExpression, "STR(Code)+Name", VE_INDEX_COMPOUND},
    };
    auto table = Table();
    for (const Case& c : cases) {
        table->AddIndex(c.tag, c.fields, c.options);
    }
    const ADSHANDLE direct = OpenDirect();
    for (const Case& c : cases) {
        EXPECT_EQ(IndexExpression(direct, c.tag), c.expression) << c.tag;
        EXPECT_EQ(IndexFlags(direct, c.tag) & ~VE_INDEX_CANDIDATE, c.flags) << c.tag;
    }
    ace::AdsCloseTable(direct);
}

TEST_F(MaintenanceTest, CaseInsensitiveIndexIgnoresCaseAndRefusesExpressions) {
    auto table = Table();
    table->AddIndex("NoCase", "Name", db::ixCaseInsensitive);
    table->Open();
    table->SetIndexName("NoCase");
    table->First();
    EXPECT_EQ(table->FieldByName("Name").AsString(), "Apple");
    table->Close();

    const UNSIGNED16 before = OpenTables();
    EXPECT_EQ(Message([&] {
                  table->AddIndex("Bad", "UPPER(Name)", db::ixCaseInsensitive | db::ixExpression);
              }),
              "Tb: ixCaseInsensitive is not supported with ixExpression indexes");
    EXPECT_EQ(OpenTables(), before) << "the temporary handle is closed on failure";
}

TEST_F(MaintenanceTest, CaseInsensitiveExpressionWrapsOnlyPlainStrings) {
    const ADSHANDLE table =
        CreateTable("Kinds.adt", "S,Char,5;CI,CIChar,5;N,NChar,5;I,Integer;D,Date");
    EXPECT_EQ(CaseInsensitiveIndexExpression(table, "S;I;CI;N;D"), "UPPER(S);I;CI;UPPER(N);D");
    // The list ends at its first empty entry.
    EXPECT_EQ(CaseInsensitiveIndexExpression(table, "S;;I"), "UPPER(S)");
    // An unknown name keeps the type read for the entry before it.
    EXPECT_EQ(CaseInsensitiveIndexExpression(table, "S;Nope;I"), "UPPER(S);UPPER(Nope);I");
    EXPECT_EQ(CaseInsensitiveIndexExpression(table, "Nope;S"), "Nope;UPPER(S)");
    ace::AdsCloseTable(table);
}

TEST_F(MaintenanceTest, AddIndexFailureFromTheEngineClosesTheTemporaryHandle) {
    auto table = Table();
    table->AddIndex("ByName", "Name", 0);
    const UNSIGNED16 before = OpenTables();
    EXPECT_EQ(ErrorCode([&] { table->AddIndex("ByName", "Code", 0); }), VE_INDEX_EXISTS);
    EXPECT_EQ(OpenTables(), before);
}

// --- DeleteIndex ---------------------------------------------------------------------------------

TEST_F(MaintenanceTest, DeleteIndexNeedsAnOpenExclusiveTableAndKeepsTheActiveIndex) {
    auto table = Table();
    table->AddIndex("ByName", "Name", 0);
    table->AddIndex("ByCode", "Code", 0);
    EXPECT_EQ(Message([&] { table->DeleteIndex("ByCode"); }),
              "Tb: Table must be Active and Exclusive.");
    table->Open();
    EXPECT_EQ(Message([&] { table->DeleteIndex("ByCode"); }),
              "Tb: Table must be Active and Exclusive.");
    table->Close();

    table->SetExclusive(true);
    table->SetIndexName("ByName");
    table->Open();
    EXPECT_EQ(Message([&] { table->DeleteIndex("ByName"); }),
              "Tb: Cannot delete the active index!");
    EXPECT_EQ(IndexExpression(table->Handle(), "ByName"), "Name") << "nothing deleted";
    table->DeleteIndex("ByCode");
    EXPECT_EQ(IndexExpression(table->Handle(), "ByCode"), "(no index)");
    table->UpdateIndexDefs();
    EXPECT_EQ(table->IndexDefs().FindIndex("ByCode"), nullptr);
    table->Close();

    const ADSHANDLE direct = OpenDirect();
    EXPECT_EQ(IndexExpression(direct, "ByCode"), "(no index)") << "gone from the file";
    EXPECT_EQ(IndexExpression(direct, "ByName"), "Name");
    ace::AdsCloseTable(direct);
}

// --- EmptyTable, PackTable, DeleteTable ----------------------------------------------------------

TEST_F(MaintenanceTest, EmptyTableOpenAndClosed) {
    auto table = Table();
    const UNSIGNED16 before = OpenTables();
    table->EmptyTable();
    EXPECT_EQ(OpenTables(), before);
    table->Open();
    EXPECT_EQ(table->RecordCount(), 0);
    table->AppendRecord({rtl::Variant("kiwi"), rtl::Variant(9)});
    table->Close();

    table->SetExclusive(true);
    table->Open();
    ASSERT_EQ(table->RecordCount(), 1);
    table->EmptyTable();
    EXPECT_TRUE(table->IsEmpty());
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(table->RecordCount(), 0);
}

TEST_F(MaintenanceTest, EmptyTableRefusedClosesTheTemporaryHandle) {
    const ADSHANDLE other = OpenDirect();  // someone else has the table open
    auto table = Table();
    const UNSIGNED16 before = OpenTables();
    EXPECT_NE(ErrorCode([&] { table->EmptyTable(); }), 0u);
    EXPECT_EQ(OpenTables(), before);
    ace::AdsCloseTable(other);
    table->Open();
    EXPECT_EQ(table->RecordCount(), 3) << "nothing removed";
}

TEST_F(MaintenanceTest, PackTableRemovesDeletedRecordsOnlyWhenOpen) {
    auto table = Table();
    table->SetExclusive(true);
    table->Open();
    table->Delete();
    table->Close();

    const UNSIGNED16 before = OpenTables();
    table->PackTable();  // closed: nothing at all
    EXPECT_EQ(OpenTables(), before);
    ADSHANDLE direct = OpenDirect();
    UNSIGNED32 count = 0;
    ASSERT_EQ(ace::AdsGetRecordCount(direct, VE_IGNORE_FILTERS, &count), 0u);
    EXPECT_EQ(count, 3u) << "the deleted record is still there";
    ace::AdsCloseTable(direct);

    table->Open();
    table->PackTable();
    EXPECT_TRUE(table->Active());
    EXPECT_FALSE(table->IsEmpty());
    table->Close();
    direct = OpenDirect();
    ASSERT_EQ(ace::AdsGetRecordCount(direct, VE_IGNORE_FILTERS, &count), 0u);
    EXPECT_EQ(count, 2u);
    ace::AdsCloseTable(direct);
}

TEST_F(MaintenanceTest, DeleteTableOnlyWhenClosed) {
    auto table = Table();
    table->Open();
    EXPECT_EQ(Message([&] { table->DeleteTable(); }),
              "Tb: Cannot perform this operation on an open dataset");
    table->Close();

    const ADSHANDLE other = OpenDirect();
    const UNSIGNED16 before = OpenTables();
    EXPECT_NE(ErrorCode([&] { table->DeleteTable(); }), 0u) << "in use elsewhere";
    EXPECT_EQ(OpenTables(), before) << "the refused handle is closed";
    ace::AdsCloseTable(other);

    table->DeleteTable();
    EXPECT_FALSE(std::filesystem::exists(DataPath() + "/Items.adt"));
    EXPECT_FALSE(table->Exists());
}

// --- CreateTable ---------------------------------------------------------------------------------

TEST(FieldTypeTextTest, EveryFrameworkTypeOnAdtAndOtherTables) {
    struct Case {
        db::TFieldType type;
        int size;
        int precision;
        const char* adt;
        const char* other;  // starts with "!" for the refusal message
    };
    const Case cases[] = {
        {db::ftString, 30, 0, "Char,30;", "Char,30;"},
        {db::ftSmallint, 0, 0, "ShortInt;", "Num,6,0;"},
        {db::ftInteger, 0, 0, "Integer;", "Num,11,0;"},
        {db::ftBoolean, 0, 0, "Logical;", "Logical;"},
        {db::ftFloat, 0, 0, "Double,6;", "Num,20,4;"},
        {db::ftCurrency, 0, 0, "CurDouble,6;", "!ftCurrency is not a supported field type."},
        {db::ftBCD, 4, 0, "Money;", "!ftBCD is not a supported field type."},
        {db::ftDate, 0, 0, "Date;", "Date;"},
        {db::ftTime, 0, 0, "Time;", "!ftTime is not a supported field type."},
        {db::ftDateTime, 0, 0, "TimeStamp;", "!ftDateTime is not a supported field type."},
        {db::ftBytes, 8, 0, "Raw,8;", "Char,8;"},
        {db::ftVarBytes, 8, 0, "Binary;", "Binary;"},
        {db::ftBlob, 0, 0, "Binary;", "Binary;"},
        {db::ftAutoInc, 0, 0, "AutoInc;", "!ftAutoInc is not a supported field type."},
        {db::ftMemo, 0, 0, "Memo;", "Memo;"},
        {db::ftWideString, 12, 0, "NChar,12;", "NChar,12;"},
        {db::ftFMTBcd, 2, 10, "Num,12,2;", "Num,12,2;"},
        {db::ftFMTBcd, 0, 10, "Num,11,0;", "Num,11,0;"},
        {db::ftWideMemo, 0, 0, "NMemo;", "NMemo;"},
        {db::ftUnknown, 0, 0, "!ftUnknown is not a supported field type.",
         "!ftUnknown is not a supported field type."},
    };
    auto text = [](const db::TFieldDef& def, UNSIGNED16 type) -> std::string {
        try {
            return FieldTypeText(def, type);
        } catch (const EADSDatabaseError& error) {
            EXPECT_EQ(error.ACEErrorCode(), kAdsComponentError);
            return std::string("!") + error.what();
        }
    };
    for (const Case& c : cases) {
        db::TFieldDef def("F", c.type, c.size, false, 1);
        def.SetPrecision(c.precision);
        EXPECT_EQ(text(def, kAceTableADT), c.adt) << db::FieldTypeName(c.type);
        EXPECT_EQ(text(def, kAceTableCDX), c.other) << db::FieldTypeName(c.type);
    }

    db::TFieldDefs defs;
    defs.Add("Name", db::ftString, 30);
    defs.Add("Code", db::ftInteger);
    defs.Add("Born", db::ftDate);
    EXPECT_EQ(FieldDefsText(defs, kAceTableADT), "Name,Char,30;Code,Integer;Born,Date;");
}

TEST_F(MaintenanceTest, CreateTableOfEveryTypeAsTheEngineDescribesIt) {
    struct Case {
        const char* name;
        db::TFieldType type;
        int size;
        UNSIGNED16 engineType;
        UNSIGNED32 engineLength;  // 0: not compared
        UNSIGNED16 decimals;
    };
    const Case cases[] = {
        {"FString", db::ftString, 30, VE_FIELD_STRING, 30, 0},
        {"FSmall", db::ftSmallint, 0, VE_FIELD_SHORTINT, 2, 0},
        {"FInt", db::ftInteger, 0, VE_FIELD_INTEGER, 4, 0},
        {"FBool", db::ftBoolean, 0, VE_FIELD_LOGICAL, 1, 0},
        {"FFloat", db::ftFloat, 0, VE_FIELD_DOUBLE, 8, 6},
        {"FCurr", db::ftCurrency, 0, VE_FIELD_CURDOUBLE, 8, 6},
        {"FBcd", db::ftBCD, 4, VE_FIELD_MONEY, 8, 0},
        {"FDate", db::ftDate, 0, VE_FIELD_DATE, 4, 0},
        {"FTime", db::ftTime, 0, VE_FIELD_TIME, 4, 0},
        {"FStamp", db::ftDateTime, 0, VE_FIELD_TIMESTAMP, 8, 0},
        {"FBytes", db::ftBytes, 8, VE_FIELD_RAW, 8, 0},
        {"FVarBytes", db::ftVarBytes, 8, VE_FIELD_BINARY, 0, 0},
        {"FBlob", db::ftBlob, 0, VE_FIELD_BINARY, 0, 0},
        {"FAuto", db::ftAutoInc, 0, VE_FIELD_AUTOINC, 4, 0},
        {"FMemo", db::ftMemo, 0, VE_FIELD_MEMO, 0, 0},
        {"FWide", db::ftWideString, 12, VE_FIELD_NCHAR, 0, 0},
        {"FNum", db::ftFMTBcd, 2, VE_FIELD_NUMERIC, 12, 2},
        {"FWideMemo", db::ftWideMemo, 0, VE_FIELD_NMEMO, 0, 0},
    };
    auto table = Table("Made.adt");
    for (const Case& c : cases) {
        db::TFieldDef& def = table->FieldDefs().Add(c.name, c.type, c.size);
        if (c.type == db::ftFMTBcd) {
            def.SetPrecision(10);
        }
    }
    table->IndexDefs().Add("ByString", "FString", db::ixUnique);
    table->IndexDefs().Add("ByIntDesc", "FInt", db::ixDescending);
    table->IndexDefs().Add("ByStringNoCase", "FString;FInt", db::ixCaseInsensitive);
    db::TIndexDef& expr = table->IndexDefs().Add("ByExpr", "", db::ixExpression);
    expr.SetExpression("DTOS(FDate)+FString");
    const UNSIGNED16 before = OpenTables();
    table->CreateTable();
    EXPECT_EQ(OpenTables(), before) << "the new table's handle is closed";

    const ADSHANDLE direct = OpenDirect("Made.adt");
    UNSIGNED16 fields = 0;
    ASSERT_EQ(ace::AdsGetNumFields(direct, &fields), 0u);
    EXPECT_EQ(fields, std::size(cases));
    for (const Case& c : cases) {
        UNSIGNED16 type = 0;
        UNSIGNED32 length = 0;
        UNSIGNED16 decimals = 0;
        ASSERT_EQ(ace::AdsGetFieldType(direct, EngineText(c.name), &type), 0u) << c.name;
        ASSERT_EQ(ace::AdsGetFieldLength(direct, EngineText(c.name), &length), 0u);
        ASSERT_EQ(ace::AdsGetFieldDecimals(direct, EngineText(c.name), &decimals), 0u);
        EXPECT_EQ(type, c.engineType) << c.name;
        if (c.engineLength != 0) {
            EXPECT_EQ(length, c.engineLength) << c.name;
        }
        EXPECT_EQ(decimals, c.decimals) << c.name;
    }
    EXPECT_EQ(IndexExpression(direct, "ByString"), "FString");
    EXPECT_EQ(IndexFlags(direct, "ByString") & VE_INDEX_UNIQUE, VE_INDEX_UNIQUE);
    EXPECT_EQ(IndexFlags(direct, "ByIntDesc") & VE_INDEX_DESCENDING, VE_INDEX_DESCENDING);
    EXPECT_EQ(IndexExpression(direct, "ByStringNoCase"), "UPPER(FString);FInt");
    EXPECT_EQ(IndexExpression(direct, "ByExpr"), "DTOS(FDate)+FString");
    ace::AdsCloseTable(direct);

    // The dataset opens what it made, with the same field types.
    table->Open();
    EXPECT_EQ(table->FieldByName("FTime").DataType(), db::ftTime);
    EXPECT_EQ(table->FieldByName("FStamp").DataType(), db::ftDateTime);
    EXPECT_EQ(table->FieldByName("FString").Size(), 30);
}

TEST_F(MaintenanceTest, CreateTableRefusalsCreateNothing) {
    // A type the table type cannot hold.
    auto dbf = Table("Refused", "NTXSTORE");
    dbf->FieldDefs().Add("Name", db::ftString, 10);
    dbf->FieldDefs().Add("At", db::ftTime);
    const UNSIGNED16 before = OpenTables();
    EXPECT_EQ(Message([&] { dbf->CreateTable(); }), "ftTime is not a supported field type.");
    EXPECT_EQ(OpenTables(), before);

    // Case-insensitive expression index: the table exists but its handle is closed.
    auto adt = Table("Made.adt");
    adt->FieldDefs().Add("Name", db::ftString, 10);
    adt->IndexDefs().Add("Bad", "Name", db::ixExpression | db::ixCaseInsensitive);
    EXPECT_EQ(Message([&] { adt->CreateTable(); }),
              "ixCaseInsensitive is not supported with ixExpression indexes");
    EXPECT_EQ(OpenTables(), before);

    // An open dataset.
    auto items = Table();
    items->Open();
    EXPECT_EQ(Message([&] { items->CreateTable(); }),
              "Tb: Cannot perform this operation on an open dataset");
    for (const auto& entry : std::filesystem::directory_iterator(DataPath())) {
        EXPECT_EQ(entry.path().stem().string().rfind("Refused", 0), std::string::npos)
            << entry.path();
    }
}

TEST_F(MaintenanceTest, CreateTableFromPersistentFieldsReplacesDefinitions) {
    auto copy = Table("Copy.adt");
    // Persistent field objects stand for the new table's structure.
    copy->Fields().Add<db::TStringField>("Name", 20);
    copy->Fields().Add<db::TIntegerField>("Code");
    copy->FieldDefs().Add("Ignored", db::ftDate);
    copy->CreateTable(ctFreeTable);
    copy->Open();
    EXPECT_EQ(copy->FieldDefs().Count(), 2);
    EXPECT_EQ(copy->FieldByName("Name").Size(), 20);
    EXPECT_EQ(copy->FindField("Ignored"), nullptr);
}

}  // namespace
}  // namespace varelum::ads
