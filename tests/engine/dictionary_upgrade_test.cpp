// A data dictionary and its tables as an engine before dictionary ids and entry checksums wrote
// them: they serve as they did, with the same rights and bindings, and the administrator's
// next log-in upgrades them, after which the tables belong to the dictionary by its id.
#include <lmdb.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr const char* kAdminPassword = "admin-antigo";
constexpr const char* kAnaPassword = "ana-antiga";

std::string take(std::string_view& bytes, std::size_t size) {
    std::string taken(bytes.substr(0, size));
    bytes.remove_prefix(std::min(size, bytes.size()));
    return taken;
}

std::size_t number(std::string_view& bytes, std::size_t size) {
    std::size_t value = 0;
    for (std::size_t i = 0; i < size && i < bytes.size(); ++i) {
        value |= static_cast<std::size_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    bytes.remove_prefix(std::min(size, bytes.size()));
    return value;
}

void put_number(std::string& out, std::size_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// An entry's value as the earlier engine wrote it: the name and properties, with no mark or
// checksum, without the dictionary's id, and with grants kept as "right:" and "column:" for
// users and groups alike.
std::string earlier_entry(std::string_view value) {
    std::string_view body = value.substr(8);  // the entry mark and checksum go
    std::string name = take(body, number(body, 2));
    std::map<std::string, std::string> properties;
    for (std::size_t count = number(body, 4); count > 0; --count) {
        std::string key = take(body, number(body, 2));
        properties[key] = take(body, number(body, 4));
    }
    std::map<std::string, std::string> earlier;
    for (const auto& [key, text] : properties) {
        std::string old_key = key;
        for (const auto& [now, before] :
             std::map<std::string, std::string>{{"user-right:", "right:"},
                                                {"group-right:", "right:"},
                                                {"user-column:", "column:"},
                                                {"group-column:", "column:"}}) {
            if (key.starts_with(now)) {
                old_key = before + key.substr(now.size());
            }
        }
        if (old_key != "id") {
            earlier[old_key] = text;
        }
    }
    std::string out;
    put_number(out, name.size(), 2);
    out += name;
    put_number(out, earlier.size(), 4);
    for (const auto& [key, text] : earlier) {
        put_number(out, key.size(), 2);
        out += key;
        put_number(out, text.size(), 4);
        out += text;
    }
    return out;
}

// Rewrites the LMDB file at path with body(txn, env). Only for a file this process never
// opened through the engine: one process may not open an LMDB file twice.
template <typename Body>
void rewrite(const std::string& path, Body body) {
    MDB_env* env = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_env_create(&env));
    mdb_env_set_maxdbs(env, 16);
    ASSERT_EQ(MDB_SUCCESS, mdb_env_open(env, path.c_str(), MDB_NOSUBDIR | MDB_NOLOCK, 0600));
    MDB_txn* txn = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_txn_begin(env, nullptr, 0, &txn));
    body(txn);
    ASSERT_EQ(MDB_SUCCESS, mdb_txn_commit(txn));
    mdb_env_close(env);
}

MDB_val val(std::string_view text) {
    return MDB_val{text.size(), const_cast<char*>(text.data())};
}

class DictionaryUpgrade : public DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        // Made by this engine in one folder...
        std::filesystem::create_directories(dir_.file("nova"));
        ADSHANDLE admin = 0;
        ASSERT_ADS_OK(
            AdsDDCreate(u8(dir_.file("nova/Loja.add")), u8(kAdminPassword), nullptr, &admin));
        for (const char* name : {"Produtos", "Segredo"}) {
            ADSHANDLE table = 0;
            ASSERT_ADS_OK(AdsCreateTable90(admin, u8(name), nullptr, 0, VE_CHARTYPE_ANSI,
                                           VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                           u8("Codigo,Char,10;"), 0, u8("ANSI"), &table));
            append_row(table, {{"Codigo", "A1"}});
            ASSERT_ADS_OK(AdsCloseTable(table));
        }
        ASSERT_ADS_OK(AdsDDCreateUserGroup(admin, u8("Caixas"), nullptr));
        ASSERT_ADS_OK(AdsDDCreateUser(admin, u8("Caixas"), u8("Ana"), u8(kAnaPassword), nullptr));
        ASSERT_ADS_OK(
            AdsDDGrantPermission(admin, u8("Produtos"), nullptr, u8("Caixas"), VE_DD_RIGHT_READ));
        ASSERT_ADS_OK(AdsDisconnect(admin));

        // ...copied to another that this process never opened, and written back there in the
        // earlier form.
        std::filesystem::create_directories(dir_.file("velha"));
        for (const char* name : {"Loja.add", "Produtos.adt", "Segredo.adt"}) {
            std::filesystem::copy_file(dir_.file(std::string("nova/") + name),
                                       dir_.file(std::string("velha/") + name));
        }
        dictionary_ = dir_.file("velha/Loja.add");
        rewrite(dictionary_, [](MDB_txn* txn) {
            MDB_dbi objects = 0, indexes = 0;
            ASSERT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, "dictionary", 0, &objects));
            ASSERT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, "indexes", 0, &indexes));
            std::map<std::string, std::string> entries;
            MDB_cursor* cursor = nullptr;
            ASSERT_EQ(MDB_SUCCESS, mdb_cursor_open(txn, objects, &cursor));
            MDB_val key{}, value{};
            for (int rc = mdb_cursor_get(cursor, &key, &value, MDB_FIRST); rc == MDB_SUCCESS;
                 rc = mdb_cursor_get(cursor, &key, &value, MDB_NEXT)) {
                entries[std::string(static_cast<char*>(key.mv_data), key.mv_size)] = earlier_entry(
                    std::string_view(static_cast<char*>(value.mv_data), value.mv_size));
            }
            mdb_cursor_close(cursor);
            for (const auto& [entry_key, entry] : entries) {
                MDB_val k = val(entry_key), v = val(entry);
                ASSERT_EQ(MDB_SUCCESS, mdb_put(txn, objects, &k, &v, 0));
            }
            MDB_val checked = val("#dictionary-entries-checked");
            ASSERT_EQ(MDB_SUCCESS, mdb_del(txn, indexes, &checked, nullptr));
        });
        for (const char* name : {"Produtos.adt", "Segredo.adt"}) {
            rewrite(dir_.file(std::string("velha/") + name), [&](MDB_txn* txn) {
                MDB_dbi indexes = 0;
                ASSERT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, "indexes", 0, &indexes));
                MDB_val id = val("#bound-to-dictionary-id");
                ASSERT_EQ(MDB_SUCCESS, mdb_del(txn, indexes, &id, nullptr));
                MDB_val bound = val("#bound-to-dictionary"), path = val(dictionary_);
                ASSERT_EQ(MDB_SUCCESS, mdb_put(txn, indexes, &bound, &path, 0));
            });
        }
        ASSERT_ADS_OK(AdsConnect(u8(dir_.file("velha")), &free_));
    }
    void TearDown() override {
        AdsDisconnect(free_);
        DictionaryTest::TearDown();
    }

    // Ana reads Produtos and may not change it; Segredo is not hers; neither is a free table.
    void expect_rights_as_before() {
        ADSHANDLE ana = 0;
        ASSERT_ADS_OK(log_in(dictionary_, "Ana", kAnaPassword, &ana));
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open("Produtos", &table, 0, ana));
        EXPECT_EQ("A1", text(table, "Codigo", VE_TRIM_RIGHT));
        EXPECT_EQ(VE_PERMISSION_DENIED, AdsSetField(table, u8("Codigo"), u8("B2"), 2));
        EXPECT_ADS_OK(AdsCloseTable(table));
        EXPECT_EQ(VE_PERMISSION_DENIED, open("Segredo", &table, 0, ana));
        EXPECT_ADS_OK(AdsDisconnect(ana));
        for (const char* name : {"Produtos", "Segredo"}) {
            EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open(name, &table, 0, free_)) << name;
        }
    }

    std::string dictionary_;
    ADSHANDLE free_ = 0;
};

TEST_F(DictionaryUpgrade, AnEarlierDictionaryServesAsItDidAndItsAdministratorUpgradesIt) {
    SCOPED_TRACE("as written before");
    expect_rights_as_before();

    ADSHANDLE admin = 0;
    ASSERT_ADS_OK(log_in(dictionary_, "Admin", kAdminPassword, &admin));
    ASSERT_ADS_OK(AdsDisconnect(admin));
    SCOPED_TRACE("upgraded");
    expect_rights_as_before();

    // The tables now belong to the dictionary by its id: a new dictionary in the old one's
    // place does not get them.
    std::filesystem::remove(dictionary_);
    std::filesystem::remove(dictionary_ + "-lock");
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(AdsDDCreate(u8(dictionary_), u8("outro"), nullptr, &other));
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open(dir_.file("velha/Segredo.adt"), &table, 0, other));
    EXPECT_ADS_OK(AdsDisconnect(other));
}

}  // namespace
}  // namespace varelum::engine::testing
