// Checksums of records and memo values: a damaged byte inside a value answers the damage code
// naming the record (and the field), the records around it still read, the check lists both;
// a file whose records were written before checksums reads as before and gets them at pack.
#include <gtest/gtest.h>
#include <lmdb.h>

#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class ChecksumTest : public EngineTest {
  protected:
    void make_table() {
        ADSHANDLE table = create("Nota", "Codigo,Char,12;Obs,Memo;");
        append_row(table, {{"Codigo", "ALFA0001"}, {"Obs", "memo-um-xxxxxxxx"}});
        append_row(table, {{"Codigo", "BETA0002"}, {"Obs", "memo-dois-yyyyyy"}});
        append_row(table, {{"Codigo", "GAMA0003"}, {"Obs", "memo-tres-zzzzzz"}});
        AdsCloseTable(table);
    }

    // Flips one bit of every place the text is stored in the closed table's file (pages
    // left over from earlier commits may hold old copies of it).
    void damage(const std::string& text) {
        std::string bytes = read_file(dir_.file("Nota.adt"));
        std::size_t at = bytes.find(text);
        ASSERT_NE(std::string::npos, at);
        for (; at != std::string::npos; at = bytes.find(text, at + 1)) {
            bytes[at + text.size() - 1] ^= 0x01;
        }
        write_file(dir_.file("Nota.adt"), bytes);
    }

    std::string check_report(ADSHANDLE table, UNSIGNED32 expected) {
        std::vector<UNSIGNED8> report(1 << 14);
        UNSIGNED32 length = static_cast<UNSIGNED32>(report.size());
        EXPECT_EQ(expected, AdsCheckTable(table, VE_CHECK_MEMOS, report.data(), &length));
        return std::string(reinterpret_cast<const char*>(report.data()), length);
    }
};

TEST_F(ChecksumTest, DamagedRecordAndMemoAnswerTheDamageCodeNamingThem) {
    make_table();
    damage("BETA0002");
    damage("memo-tres-zzzzzz");
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Nota", &table));

    ASSERT_ADS_OK(AdsGotoRecord(table, 1));
    EXPECT_EQ("ALFA0001    ", text(table, "Codigo"));
    EXPECT_EQ("memo-um-xxxxxxxx", text(table, "Obs"));

    EXPECT_EQ(VE_TABLE_CORRUPT, AdsGotoRecord(table, 2));
    std::string error = last_error_text();
    EXPECT_NE(std::string::npos, error.find("Nota.adt: record 2 does not match its checksum"))
        << error;

    ASSERT_ADS_OK(AdsGotoRecord(table, 3));
    EXPECT_EQ("GAMA0003    ", text(table, "Codigo"));
    std::vector<UNSIGNED8> buffer(64);
    UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
    EXPECT_EQ(VE_TABLE_CORRUPT,
              AdsGetField(table, u8("Obs"), buffer.data(), &length, VE_TRIM_NONE));
    error = last_error_text();
    EXPECT_NE(std::string::npos, error.find("record 3 field Obs")) << error;

    std::string report = check_report(table, VE_TABLE_CORRUPT);
    EXPECT_NE(std::string::npos, report.find("record 2 does not match its checksum")) << report;
    EXPECT_NE(std::string::npos, report.find("memo of record 3 field 2")) << report;
    AdsCloseTable(table);
}

TEST_F(ChecksumTest, ADamagedRecordAheadOfAWalkIsReportedWhenTheWalkGetsThere) {
    ADSHANDLE table = create("Nota", "Codigo,Char,12;Obs,Memo;");
    for (int i = 1; i <= 6; ++i) {
        append_row(table, {{"Codigo", "CODE000" + std::to_string(i)}});
    }
    AdsCloseTable(table);
    damage("CODE0004");
    for (UNSIGNED16 cached : {0, 10, 100}) {
        ASSERT_ADS_OK(open("Nota", &table));
        ASSERT_ADS_OK(AdsCacheRecords(table, cached));
        ASSERT_ADS_OK(AdsGotoTop(table));
        ASSERT_ADS_OK(AdsSkip(table, 1));  // reads ahead up to the damaged record
        EXPECT_EQ("CODE0002    ", text(table, "Codigo")) << cached;
        ASSERT_ADS_OK(AdsSkip(table, 1));
        EXPECT_EQ("CODE0003    ", text(table, "Codigo")) << cached;
        EXPECT_EQ(VE_TABLE_CORRUPT, AdsSkip(table, 1)) << cached;
        std::string error = last_error_text();
        EXPECT_NE(std::string::npos, error.find("Nota.adt: record 4 does not match its checksum"))
            << error;
        ASSERT_ADS_OK(AdsGotoRecord(table, 5));
        ASSERT_ADS_OK(AdsSkip(table, 1));
        EXPECT_EQ("CODE0006    ", text(table, "Codigo")) << cached;
        AdsCloseTable(table);
    }
}

// Rewrites every record of the closed table the way files were written before record
// checksums (status byte and image only) and sets the header's version back to 2.
void strip_checksums(const std::string& path, std::size_t record_length) {
    MDB_env* env = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_env_create(&env));
    mdb_env_set_maxdbs(env, 8);
    ASSERT_EQ(MDB_SUCCESS, mdb_env_open(env, path.c_str(), MDB_NOSUBDIR, 0664));
    MDB_txn* txn = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_txn_begin(env, nullptr, 0, &txn));
    MDB_dbi records = 0, header = 0;
    ASSERT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, "records", 0, &records));
    ASSERT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, "header", 0, &header));
    MDB_cursor* cursor = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_cursor_open(txn, records, &cursor));
    MDB_val key, value;
    std::vector<std::pair<std::string, std::string>> shorter;
    for (int rc = mdb_cursor_get(cursor, &key, &value, MDB_FIRST); rc == MDB_SUCCESS;
         rc = mdb_cursor_get(cursor, &key, &value, MDB_NEXT)) {
        ASSERT_EQ(record_length + 5, value.mv_size);
        shorter.emplace_back(
            std::string(static_cast<const char*>(key.mv_data), key.mv_size),
            std::string(static_cast<const char*>(value.mv_data), record_length + 1));
    }
    mdb_cursor_close(cursor);
    for (auto& [k, v] : shorter) {
        MDB_val rkey{k.size(), k.data()}, rvalue{v.size(), v.data()};
        ASSERT_EQ(MDB_SUCCESS, mdb_put(txn, records, &rkey, &rvalue, 0));
    }
    MDB_val name{6, const_cast<char*>("header")};
    ASSERT_EQ(MDB_SUCCESS, mdb_get(txn, header, &name, &value));
    std::string bytes(static_cast<const char*>(value.mv_data), value.mv_size);
    bytes[8] = 2;
    MDB_val rewritten{bytes.size(), bytes.data()};
    ASSERT_EQ(MDB_SUCCESS, mdb_put(txn, header, &name, &rewritten, 0));
    ASSERT_EQ(MDB_SUCCESS, mdb_txn_commit(txn));
    mdb_env_close(env);
}

TEST_F(ChecksumTest, RecordsWithoutChecksumsReadAndPackGivesThemChecksums) {
    make_table();
    strip_checksums(dir_.file("Nota.adt"), 12 + 8);
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Nota", &table));
    ASSERT_ADS_OK(AdsGotoRecord(table, 2));
    EXPECT_EQ("BETA0002    ", text(table, "Codigo"));
    EXPECT_EQ("memo-dois-yyyyyy", text(table, "Obs"));
    EXPECT_EQ("OK", check_report(table, VE_SUCCESS).substr(0, 2));
    ASSERT_ADS_OK(AdsDeleteRecord(table));
    ASSERT_ADS_OK(AdsPackTable(table));
    AdsCloseTable(table);

    // After pack every kept record carries its checksum again: damage to one is found.
    damage("GAMA0003");
    ASSERT_ADS_OK(open("Nota", &table));
    ASSERT_ADS_OK(AdsGotoRecord(table, 1));
    EXPECT_EQ("ALFA0001    ", text(table, "Codigo"));
    EXPECT_EQ(VE_TABLE_CORRUPT, AdsGotoRecord(table, 2));
    AdsCloseTable(table);
}

}  // namespace
}  // namespace varelum::engine::testing
