// Helpers for the engine's tests through its C ABI: a temporary directory per test, a
// connection to it, tables made from field text, and checks that print the engine's last
// error when a call fails.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "varelum_engine.h"

namespace varelum::engine::testing {

inline const UNSIGNED8* u8(const char* text) {
    return reinterpret_cast<const UNSIGNED8*>(text);
}
inline const UNSIGNED8* u8(const std::string& text) {
    return u8(text.c_str());
}

inline std::string last_error_text() {
    UNSIGNED32 code = 0;
    UNSIGNED8 text[1024] = {};
    UNSIGNED16 length = sizeof text;
    AdsGetLastError(&code, text, &length);
    return std::to_string(code) + " " + reinterpret_cast<const char*>(text);
}

// A whole file's bytes ("" when it cannot be read), and a file written whole.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

#define EXPECT_ADS_OK(call) EXPECT_EQ(VE_SUCCESS, (call)) << last_error_text()
#define ASSERT_ADS_OK(call) ASSERT_EQ(VE_SUCCESS, (call)) << last_error_text()

// The names of one kind of a dictionary's objects (AdsDDFindFirstObject and the calls after
// it; the users of one group when parent is given), the find handle closed at the end.
inline std::vector<std::string> dictionary_object_names(ADSHANDLE connection, UNSIGNED16 type,
                                                        const char* parent = nullptr) {
    std::vector<std::string> found;
    UNSIGNED8 name[201];
    UNSIGNED16 length = sizeof name;
    ADSHANDLE find = 0;
    UNSIGNED32 rc =
        AdsDDFindFirstObject(connection, type, u8(parent ? parent : ""), name, &length, &find);
    while (rc == VE_SUCCESS) {
        found.emplace_back(reinterpret_cast<char*>(name), length);
        length = sizeof name;
        rc = AdsDDFindNextObject(connection, find, name, &length);
    }
    EXPECT_EQ(VE_DD_NO_MORE_OBJECTS, rc) << last_error_text();
    if (find != 0) {
        EXPECT_ADS_OK(AdsDDFindClose(connection, find));
    }
    return found;
}

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "engine-test-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        path_ = mkdtemp(buffer.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A test with a temporary directory and a connection to it.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AdsShowDeleted(1);
        AdsSetDateFormat(u8("MM/DD/CCYY"));
        AdsSetServerType(VE_SERVER_LOCAL);
        ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection_));
    }
    void TearDown() override {
        AdsDisconnect(connection_);
        AdsShowDeleted(1);
    }

    ADSHANDLE create(const std::string& name, const std::string& fields, UNSIGNED32 options = 0) {
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(AdsCreateTable90(connection_, u8(name), nullptr, VE_TABLE_TYPE_ADT,
                                       VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                       u8(fields), options, u8("ANSI"), &table));
        return table;
    }

    UNSIGNED32 open(const std::string& name, ADSHANDLE* table, UNSIGNED32 options = 0,
                    ADSHANDLE connection = 0) {
        return AdsOpenTable90(connection == 0 ? connection_ : connection, u8(name), nullptr,
                              VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY,
                              VE_RIGHTS_CHECK, options, u8("ANSI"), table);
    }

    static std::string text(ADSHANDLE table, const char* field, UNSIGNED16 trim = VE_TRIM_NONE) {
        std::vector<UNSIGNED8> buffer(1 << 16);
        UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
        UNSIGNED32 rc = AdsGetField(table, u8(field), buffer.data(), &length, trim);
        if (rc != VE_SUCCESS) {
            return "<error " + std::to_string(rc) + ">";
        }
        return std::string(reinterpret_cast<const char*>(buffer.data()), length);
    }

    static void append_row(ADSHANDLE table,
                           const std::vector<std::pair<const char*, std::string>>& values) {
        ASSERT_ADS_OK(AdsAppendRecord(table));
        for (const auto& [field, value] : values) {
            ASSERT_ADS_OK(
                AdsSetField(table, u8(field), u8(value), static_cast<UNSIGNED32>(value.size())));
        }
        ASSERT_ADS_OK(AdsWriteRecord(table));
    }

    // Appends the rows of an SQL SELECT to the table (fields matched by name) through the
    // engine's copy, which commits in synced batches: a large fixture without a synced commit
    // per row.
    void fill_by_sql(ADSHANDLE table, const std::string& select) {
        ADSHANDLE statement = 0;
        ASSERT_ADS_OK(AdsCreateSQLStatement(connection_, &statement));
        ADSHANDLE cursor = 0;
        ASSERT_ADS_OK(AdsExecuteSQLDirect(statement, u8(select), &cursor));
        ASSERT_ADS_OK(AdsCopyTableContents(cursor, table, VE_IGNORE_FILTERS));
        ASSERT_ADS_OK(AdsCloseSQLStatement(statement));
    }

    static UNSIGNED32 recno(ADSHANDLE table) {
        UNSIGNED32 number = 0;
        AdsGetRecordNum(table, VE_IGNORE_FILTERS, &number);
        return number;
    }

    static bool at_eof(ADSHANDLE table) {
        UNSIGNED16 flag = 0;
        AdsAtEOF(table, &flag);
        return flag != 0;
    }

    static bool at_bof(ADSHANDLE table) {
        UNSIGNED16 flag = 0;
        AdsAtBOF(table, &flag);
        return flag != 0;
    }

    TempDir dir_;
    ADSHANDLE connection_ = 0;
};

// A test with data dictionaries: each made with its administrator logged in, logged out at
// the end of the test unless the test did so itself (and cleared the handle).
class DictionaryTest : public EngineTest {
  protected:
    void TearDown() override {
        for (const ADSHANDLE* admin : administrators_) {
            AdsDisconnect(*admin);
        }
        EngineTest::TearDown();
    }

    // Creates the dictionary at path; *admin is the fixture's member for its administrator.
    void create_dictionary(const std::string& path, const char* admin_password,
                           const char* description, ADSHANDLE* admin) {
        ASSERT_ADS_OK(AdsDDCreate(u8(path), u8(admin_password), u8(description), admin));
        administrators_.push_back(admin);
    }

    static UNSIGNED32 log_in(const std::string& dictionary, const std::string& user,
                             const std::string& password, ADSHANDLE* handle) {
        std::string text =
            "Data Source=" + dictionary + ";User ID=" + user + ";Password=\"" + password + "\";";
        return AdsConnect101(u8(text), nullptr, handle);
    }

  private:
    std::vector<ADSHANDLE*> administrators_;
};

}  // namespace varelum::engine::testing
