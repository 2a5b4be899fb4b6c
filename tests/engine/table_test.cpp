// Creating, opening, describing and deleting tables; damaged files.
#include <fstream>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class Tables : public EngineTest {};

const char* kAllTypes =
    "Flag,Logical;Amount,Numeric,10,2;Born,Date;Name,Char,20;Code,CIChar,8;Notes,Memo;"
    "Data,Binary;Picture,Image;Remark,VarChar,100;Ratio,Double,4;Count,Integer;Small,ShortInt;"
    "At,Time;Stamp,TimeStamp;Id,AutoInc;Bytes,Raw,6;Price,CurDouble,2;Cash,Money;"
    "Version,RowVersion;Changed,ModTime;Short,VarCharFox,12;Blob,VarBinaryFox,5;"
    "Wide,NChar,4;WideVar,NVarChar,6;WideMemo,NMemo;";

TEST_F(Tables, EveryFieldTypeIsCreatedWithItsTypeLengthAndOffset) {
    ADSHANDLE table = create("All", kAllTypes);
    struct Expected {
        const char* name;
        UNSIGNED16 type;
        UNSIGNED32 length;
        UNSIGNED32 image_bytes;
    };
    const Expected expected[] = {
        {"Flag", VE_FIELD_LOGICAL, 1, 1},
        {"Amount", VE_FIELD_NUMERIC, 10, 10},
        {"Born", VE_FIELD_DATE, 4, 4},
        {"Name", VE_FIELD_STRING, 20, 20},
        {"Code", VE_FIELD_CISTRING, 8, 8},
        {"Notes", VE_FIELD_MEMO, 8, 8},
        {"Data", VE_FIELD_BINARY, 8, 8},
        {"Picture", VE_FIELD_IMAGE, 8, 8},
        {"Remark", VE_FIELD_VARCHAR, 8, 8},
        {"Ratio", VE_FIELD_DOUBLE, 8, 8},
        {"Count", VE_FIELD_INTEGER, 4, 4},
        {"Small", VE_FIELD_SHORTINT, 2, 2},
        {"At", VE_FIELD_TIME, 4, 4},
        {"Stamp", VE_FIELD_TIMESTAMP, 8, 8},
        {"Id", VE_FIELD_AUTOINC, 4, 4},
        {"Bytes", VE_FIELD_RAW, 6, 6},
        {"Price", VE_FIELD_CURDOUBLE, 8, 8},
        {"Cash", VE_FIELD_MONEY, 8, 8},
        {"Version", VE_FIELD_ROWVERSION, 8, 8},
        {"Changed", VE_FIELD_MODTIME, 8, 8},
        {"Short", VE_FIELD_VARCHAR_FOX, 12, 14},
        {"Blob", VE_FIELD_VARBINARY_FOX, 5, 7},
        {"Wide", VE_FIELD_NCHAR, 4, 8},
        {"WideVar", VE_FIELD_NVARCHAR, 6, 14},
        {"WideMemo", VE_FIELD_NMEMO, 8, 8},
    };
    UNSIGNED16 count = 0;
    ASSERT_ADS_OK(AdsGetNumFields(table, &count));
    ASSERT_EQ(std::size(expected), count);
    UNSIGNED32 offset = 0;
    for (UNSIGNED16 n = 1; n <= count; ++n) {
        const Expected& e = expected[n - 1];
        UNSIGNED8 name[129];
        UNSIGNED16 name_length = sizeof name;
        UNSIGNED16 type = 0, number = 0;
        UNSIGNED32 length = 0, field_offset = 0;
        EXPECT_ADS_OK(AdsGetFieldName(table, n, name, &name_length));
        EXPECT_STREQ(e.name, reinterpret_cast<char*>(name));
        EXPECT_ADS_OK(AdsGetFieldType(table, ADSFIELD(n), &type));
        EXPECT_EQ(e.type, type) << e.name;
        EXPECT_ADS_OK(AdsGetFieldLength(table, u8(e.name), &length));
        EXPECT_EQ(e.length, length) << e.name;
        EXPECT_ADS_OK(AdsGetFieldOffset(table, u8(e.name), &field_offset));
        EXPECT_EQ(offset, field_offset) << e.name;
        EXPECT_ADS_OK(AdsGetFieldNum(table, u8(e.name), &number));
        EXPECT_EQ(n, number);
        offset += e.image_bytes;
    }
    UNSIGNED32 record_length = 0;
    EXPECT_ADS_OK(AdsGetRecordLength(table, &record_length));
    EXPECT_EQ(offset, record_length);
    UNSIGNED16 decimals = 0, nullable = 0;
    EXPECT_ADS_OK(AdsGetFieldDecimals(table, u8("amount"), &decimals));
    EXPECT_EQ(2, decimals);
    EXPECT_ADS_OK(AdsIsNullable(table, u8("Id"), &nullable));
    EXPECT_EQ(0, nullable);
    EXPECT_ADS_OK(AdsIsNullable(table, u8("Name"), &nullable));
    EXPECT_EQ(1, nullable);
    EXPECT_EQ(VE_FIELD_NOT_FOUND, AdsGetFieldType(table, u8("Nope"), &decimals));
    EXPECT_EQ(VE_FIELD_NOT_FOUND, AdsGetFieldType(table, ADSFIELD(99), &decimals));
    EXPECT_ADS_OK(AdsCloseTable(table));
}

TEST_F(Tables, MalformedFieldTextIsRefusedWithThePieceNamed) {
    const char* cases[] = {
        "",                                 // no field at all
        "Name,Char;",                       // Char needs a length
        "Name,Char,0;",                     // length out of range
        "Name,Colour,10;",                  // unknown type
        "Name,Char,10;name,Integer;",       // repeated name
        "Amount,Numeric,4,3;",              // too many decimals
        "Name,Char,ten;",                   // no number
        "Big,Char,65000;Big2,Char,65000;",  // record too long
    };
    for (const char* fields : cases) {
        ADSHANDLE table = 0;
        EXPECT_EQ(VE_INVALID_FIELD_DEFINITION,
                  AdsCreateTable90(connection_, u8("Bad"), nullptr, VE_TABLE_TYPE_ADT,
                                   VE_CHARTYPE_ANSI, 1, 1, 0, u8(fields), 0, nullptr, &table))
            << fields;
    }
    EXPECT_NE(std::string::npos, last_error_text().find("Big2"));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("Bad.adt")));
}

TEST_F(Tables, OtherTableTypesAreNotSupported) {
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_NOT_SUPPORTED,
              AdsCreateTable90(connection_, u8("T.dbf"), nullptr, VE_TABLE_TYPE_CDX, 1, 1, 1, 0,
                               u8("A,Char,1;"), 0, nullptr, &table));
    create("T", "A,Char,1;");
    EXPECT_EQ(VE_NOT_SUPPORTED, AdsOpenTable90(connection_, u8("T"), nullptr, VE_TABLE_TYPE_NTX, 1,
                                               1, 1, 0, nullptr, &table));
}

TEST_F(Tables, TablesOpenByNameWithOrWithoutExtensionInAnyCaseAndWithBackslashes) {
    ADSHANDLE table = create("Auditoria", "Texto,Char,10;");
    EXPECT_TRUE(std::filesystem::exists(dir_.file("Auditoria.adt")));
    AdsCloseTable(table);
    for (std::string name :
         std::vector<std::string>{"Auditoria", "Auditoria.adt", "AUDITORIA.ADT", "auditoria",
                                  dir_.path() + "\\Auditoria.adt"}) {
        ADSHANDLE handle = 0;
        EXPECT_ADS_OK(open(name, &handle)) << name;
        UNSIGNED8 file[300];
        UNSIGNED16 length = sizeof file;
        EXPECT_ADS_OK(AdsGetTableFilename(handle, VE_NAME_BASE_AND_EXTENSION, file, &length));
        EXPECT_STREQ("Auditoria.adt", reinterpret_cast<char*>(file));
        EXPECT_ADS_OK(AdsCloseTable(handle));
    }
    // Without a connection, an absolute name opens through a connection of its own.
    ADSHANDLE handle = 0;
    ASSERT_ADS_OK(AdsOpenTable90(0, u8(dir_.file("Auditoria.adt")), nullptr, 3, 1, 1, 1, 0, nullptr,
                                 &handle));
    ADSHANDLE own = 0;
    EXPECT_ADS_OK(AdsGetTableConnection(handle, &own));
    EXPECT_NE(connection_, own);
    EXPECT_ADS_OK(AdsCloseTable(handle));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsDisconnect(own));
}

TEST_F(Tables, TableInformationAnswersWhatTheOpenAsked) {
    ADSHANDLE table = create("T", "A,Char,1;");
    UNSIGNED16 type = 0, char_type = 0, memo = 0;
    UNSIGNED32 options = 0;
    EXPECT_ADS_OK(AdsGetTableType(table, &type));
    EXPECT_EQ(VE_TABLE_TYPE_ADT, type);
    EXPECT_ADS_OK(AdsGetTableCharType(table, &char_type));
    EXPECT_EQ(VE_CHARTYPE_ANSI, char_type);
    EXPECT_ADS_OK(AdsGetTableMemoSize(table, &memo));
    EXPECT_EQ(8, memo);
    EXPECT_ADS_OK(AdsGetTableOpenOptions(table, &options));
    EXPECT_EQ(VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT, options);
    UNSIGNED8 collation[100];
    UNSIGNED16 length = sizeof collation;
    EXPECT_ADS_OK(AdsGetTableCollation(table, collation, &length));
    EXPECT_STREQ("ANSI", reinterpret_cast<char*>(collation));
    AdsCloseTable(table);

    ASSERT_ADS_OK(open("T", &table, VE_OPEN_READONLY));
    EXPECT_ADS_OK(AdsGetTableOpenOptions(table, &options));
    EXPECT_EQ(VE_OPEN_READONLY, options);
    UNSIGNED8 permissions = 0;
    EXPECT_ADS_OK(AdsGetColumnPermissions(table, u8("A"), &permissions));
    EXPECT_EQ(VE_COLUMN_READ, permissions);
    EXPECT_EQ(VE_READ_ONLY, AdsAppendRecord(table));
    AdsCloseTable(table);
}

TEST_F(Tables, AnExclusiveOpenConflictsWithEveryOtherOpen) {
    ADSHANDLE first = create("T", "A,Char,1;", VE_OPEN_EXCLUSIVE);
    ADSHANDLE second = 0;
    EXPECT_EQ(VE_TABLE_IN_USE, open("T", &second));
    ADSHANDLE other_connection = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other_connection));
    EXPECT_EQ(VE_TABLE_IN_USE, open("T", &second, 0, other_connection));
    EXPECT_ADS_OK(AdsCloseTable(first));
    ASSERT_ADS_OK(open("T", &first, 0, other_connection));
    EXPECT_EQ(VE_TABLE_IN_USE, open("T", &second, VE_OPEN_EXCLUSIVE));
    ASSERT_ADS_OK(open("T", &second));
    AdsCloseTable(second);
    AdsDisconnect(other_connection);
    ASSERT_ADS_OK(open("T", &second, VE_OPEN_EXCLUSIVE));
    AdsCloseTable(second);
}

TEST_F(Tables, CreateReplacesATableNobodyUsesAndRefusesOneInUse) {
    ADSHANDLE table = create("T", "A,Char,1;");
    append_row(table, {{"A", "x"}});
    ADSHANDLE again = 0;
    EXPECT_EQ(VE_TABLE_IN_USE, AdsCreateTable90(connection_, u8("T"), nullptr, 3, 1, 1, 1, 0,
                                                u8("B,Integer;"), 0, nullptr, &again));
    AdsCloseTable(table);
    table = create("T", "B,Integer;");
    UNSIGNED32 count = 7;
    EXPECT_ADS_OK(AdsGetRecordCount(table, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(0u, count);
    AdsCloseTable(table);
}

TEST_F(Tables, DeleteTableNeedsTheTableAloneAndRemovesTheFile) {
    ADSHANDLE table = create("T", "A,Char,1;");
    ADSHANDLE second = 0;
    ASSERT_ADS_OK(open("T", &second));
    EXPECT_EQ(VE_NOT_EXCLUSIVE, AdsDeleteTable(table));
    AdsCloseTable(second);
    EXPECT_ADS_OK(AdsDeleteTable(table));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("T.adt")));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(table));
    EXPECT_EQ(VE_TABLE_NOT_FOUND, open("T", &table));
}

TEST_F(Tables, DamagedFilesAnswerACodeAndAText) {
    ADSHANDLE table = create("Good", "A,Char,10;");
    for (int i = 0; i < 200; ++i) {
        append_row(table, {{"A", "row " + std::to_string(i)}});
    }
    AdsCloseTable(table);
    auto size = std::filesystem::file_size(dir_.file("Good.adt"));

    std::filesystem::copy_file(dir_.file("Good.adt"), dir_.file("Cut.adt"));
    std::filesystem::resize_file(dir_.file("Cut.adt"), size / 2);
    {
        std::ofstream garbage(dir_.file("Garbage.adt"), std::ios::binary);
        for (int i = 0; i < 20000; ++i) {
            garbage.put(static_cast<char>((i * 7919) % 251));
        }
        std::ofstream empty(dir_.file("Empty.adt"));
        std::ofstream text(dir_.file("Text.adt"));
        text << "Name,Code\nAlice,1\n";
    }
    std::filesystem::create_directory(dir_.file("Folder.adt"));
    for (const char* name : {"Cut.adt", "Garbage.adt", "Empty.adt", "Text.adt", "Folder.adt"}) {
        ADSHANDLE handle = 0;
        EXPECT_EQ(VE_TABLE_CORRUPT, open(name, &handle)) << name;
        EXPECT_NE(std::string::npos, last_error_text().find(name)) << last_error_text();
    }
    EXPECT_EQ(0u, std::filesystem::file_size(dir_.file("Empty.adt")));
}

TEST_F(Tables, CheckTableFindsAConsistentTableConsistent) {
    ADSHANDLE table = create("T", "Id,AutoInc;Name,Char,10;Notes,Memo;");
    for (int i = 0; i < 20; ++i) {
        append_row(table, {{"Name", "n" + std::to_string(i)}, {"Notes", std::string(i, 'x')}});
    }
    AdsGotoRecord(table, 3);
    AdsDeleteRecord(table);
    UNSIGNED8 report[1000];
    UNSIGNED32 length = sizeof report;
    EXPECT_ADS_OK(AdsCheckTable(table, VE_CHECK_MEMOS, report, &length));
    EXPECT_STREQ("OK\n", reinterpret_cast<char*>(report));
    AdsCloseTable(table);
}

}  // namespace
}  // namespace varelum::engine::testing
