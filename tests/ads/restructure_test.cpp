// TAdsTable::Restructure end to end: a real table in a temporary directory changed through the
// component and read back through it, with its record numbers, deleted marks, memo values and
// index tags; a change that would lose a value is refused with the engine's code and leaves the
// file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ads/adsdata_errors.h"
#include "ads/adstable_table.h"
#include "component_test_support.h"
#include "db/field.h"
#include "db/field_types.h"
#include "db/index_defs.h"

namespace varelum::ads {
namespace {

using test::EngineText;

std::string FileBytes(const std::string& path) {
    std::ifstream input(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << input.rdbuf();
    return bytes.str();
}

class RestructureTest : public test::TStoreFixture {
  protected:
    // Items.adt: four records (record 2 marked deleted), a memo, and tags on Name, Code and
    // Price.
    void SetUp() override {
        test::TStoreFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        const ADSHANDLE table =
            CreateTable("Items.adt", "Name,Char,10;Code,Integer;Price,Numeric,8,2;Note,Memo");
        AppendRow(table, {{"Name", "pear"}, {"Code", "30"}, {"Price", "1.50"}, {"Note", "ripe"}});
        AppendRow(table, {{"Name", "kiwi"}, {"Code", "40"}, {"Price", "0.75"}, {"Note", nullptr}});
        AppendRow(table, {{"Name", "apple"}, {"Code", "10"}, {"Price", "2.25"}, {"Note", nullptr}});
        AppendRow(table, {{"Name", "fig"}, {"Code", "20"}, {"Price", "3.00"}, {"Note", "dried"}});
        ADSHANDLE index = 0;
        for (const auto& [tag, key, options] : {std::tuple{"ByName", "Name", 0u},
                                                {"ByCode", "Code", VE_INDEX_UNIQUE},
                                                {"ByPrice", "Price", 0u}}) {
            ASSERT_EQ(ace::AdsCreateIndex90(table, nullptr, EngineText(tag), EngineText(key),
                                            nullptr, nullptr, options, 0, nullptr, &index),
                      0u)
                << tag;
        }
        ASSERT_EQ(ace::AdsGotoRecord(table, 2), 0u);
        ASSERT_EQ(ace::AdsDeleteRecord(table), 0u);
        ace::AdsCloseTable(table);
    }

    std::unique_ptr<TAdsTable> Table() {
        auto table = std::make_unique<TAdsTable>();
        table->SetName("TbItems");
        table->SetDatabaseName("BALDERIM");
        table->SetTableName("Items.adt");
        return table;
    }

    std::string TablePath() const { return DataPath() + "/Items.adt"; }
};

TEST_F(RestructureTest, AddsDeletesAndChangesFieldsKeepingRecordsMemosAndTags) {
    Table()->Restructure("Qty,Integer", "Price", "Name,Title,Char,20;Code,,Double");

    auto table = Table();
    table->Open();
    std::vector<std::string> fields;
    for (int i = 0; i < table->Fields().Count(); ++i) {
        fields.push_back(table->Fields()[i].FieldName());
    }
    EXPECT_EQ(fields, (std::vector<std::string>{"Title", "Code", "Note", "Qty"}));
    EXPECT_EQ(table->FieldByName("Title").Size(), 20);
    EXPECT_EQ(table->FieldByName("Code").DataType(), db::ftFloat);

    table->UpdateIndexDefs();
    const db::TIndexDef* byName = table->IndexDefs().FindIndex("ByName");
    ASSERT_NE(byName, nullptr) << "a tag on a renamed field follows it";
    EXPECT_STRCASEEQ(byName->Fields().c_str(), "Title");
    const db::TIndexDef* byCode = table->IndexDefs().FindIndex("ByCode");
    ASSERT_NE(byCode, nullptr) << "a tag on a field of a new type is rebuilt";
    EXPECT_TRUE(byCode->Options() & db::ixUnique);
    EXPECT_EQ(table->IndexDefs().FindIndex("ByPrice"), nullptr) << "its field is gone";

    // Walked in the renamed tag's order: values, memos and record numbers as before (the
    // engine shows the deleted record 2 unless told otherwise).
    struct Row {
        std::string title;
        double code;
        std::string note;
        int recno;
    };
    const std::vector<Row> expected = {{"apple", 10, "", 3},
                                       {"fig", 20, "dried", 4},
                                       {"kiwi", 40, "", 2},
                                       {"pear", 30, "ripe", 1}};
    table->SetIndexName("ByName");
    table->First();
    for (const Row& row : expected) {
        SCOPED_TRACE(row.title);
        ASSERT_FALSE(table->Eof());
        EXPECT_EQ(table->FieldByName("Title").AsString(), row.title);
        EXPECT_EQ(table->FieldByName("Code").AsFloat(), row.code);
        EXPECT_EQ(table->FieldByName("Note").AsString(), row.note);
        EXPECT_TRUE(table->FieldByName("Qty").IsNull());
        EXPECT_EQ(table->RecNo(), row.recno);
        table->Next();
    }
    EXPECT_TRUE(table->Eof());
    table->Close();

    ADSHANDLE direct = 0;
    ASSERT_EQ(ace::AdsOpenTable90(Connection(), EngineText("Items.adt"), nullptr, VE_TABLE_TYPE_ADT,
                                  VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                  nullptr, &direct),
              0u);
    ASSERT_EQ(ace::AdsGotoRecord(direct, 2), 0u);
    UNSIGNED16 deleted = 0;
    ASSERT_EQ(ace::AdsIsRecordDeleted(direct, &deleted), 0u);
    EXPECT_EQ(deleted, 1) << "the deleted mark is kept";
    EXPECT_EQ(ace::AdsCheckTable(direct, VE_CHECK_MEMOS, nullptr, nullptr), 0u)
        << "records and tags agree";
    ace::AdsCloseTable(direct);
}

TEST_F(RestructureTest, ALosingChangeIsRefusedWithTheEngineCodeAndChangesNothing) {
    const std::string before = FileBytes(TablePath());
    auto table = Table();
    try {
        table->Restructure("", "", "Name,,Char,4");
        FAIL() << "no error";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), VE_DATA_WOULD_BE_LOST);
        // "apple", record 3, is the first name longer than four.
        EXPECT_NE(std::string(error.what()).find("field Name, record 3"), std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(FileBytes(TablePath()) == before) << "the file changed";

    // With LOSSY the same change goes through and cuts the name.
    table->Restructure("", "", "Name,,Char,4,LOSSY");
    table->Open();
    table->SetIndexName("ByName");
    table->First();
    EXPECT_EQ(table->FieldByName("Name").AsString(), "appl");
    EXPECT_EQ(table->FieldByName("Name").Size(), 4);
}

}  // namespace
}  // namespace varelum::ads
