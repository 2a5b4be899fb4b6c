// Data dictionaries against a user who wants in: a table is its file whatever the spelling of
// its path, a registered table's file carries its dictionary with it (copies, recovered and
// restructured files included), only the administrator changes a registered table, and a
// right taken away stops the next call of a handle already open, in this process or another.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <unordered_map>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr const char* kAdminPassword = "admin-da-loja";
constexpr const char* kAnaPassword = "senha-da-ana";
constexpr const char* kNoReadRight = "Read permission not granted on this table.";

// A shop's dictionary beside its tables: Ana (group Caixas) may read Produtos, do anything with
// Caixa, and nothing with Segredo.
class DictionaryGuard : public DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        dictionary_ = dir_.file("Loja.add");
        ASSERT_NO_FATAL_FAILURE(create_dictionary(dictionary_, kAdminPassword, "Loja", &admin_));
        for (const char* name : {"Produtos", "Caixa", "Segredo"}) {
            ADSHANDLE table = 0;
            ASSERT_ADS_OK(AdsCreateTable90(
                admin_, u8(name), nullptr, 0, VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY,
                VE_RIGHTS_CHECK, 0, u8("Codigo,Char,10;Qtde,Integer;"), 0, u8("ANSI"), &table));
            append_row(table, {{"Codigo", "A1"}, {"Qtde", "3"}});
            ASSERT_ADS_OK(AdsCloseTable(table));
        }
        ASSERT_ADS_OK(AdsDDCreateUserGroup(admin_, u8("Caixas"), nullptr));
        ASSERT_ADS_OK(AdsDDCreateUser(admin_, u8("Caixas"), u8("Ana"), u8(kAnaPassword), nullptr));
        ASSERT_ADS_OK(
            AdsDDGrantPermission(admin_, u8("Produtos"), nullptr, u8("Caixas"), VE_DD_RIGHT_READ));
        ASSERT_ADS_OK(AdsDDGrantPermission(
            admin_, u8("Caixa"), nullptr, u8("Ana"),
            VE_DD_RIGHT_READ | VE_DD_RIGHT_UPDATE | VE_DD_RIGHT_INSERT | VE_DD_RIGHT_DELETE));
    }

    ADSHANDLE ana() {
        ADSHANDLE handle = 0;
        EXPECT_ADS_OK(log_in(dictionary_, "Ana", kAnaPassword, &handle));
        return handle;
    }

    // Runs one statement; its result code, with the error's text in last_sql_error_.
    static UNSIGNED32 sql(ADSHANDLE connection, const std::string& text) {
        ADSHANDLE statement = 0;
        EXPECT_ADS_OK(AdsCreateSQLStatement(connection, &statement));
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = AdsExecuteSQLDirect(statement, u8(text), &cursor);
        last_sql_error_ = rc == VE_SUCCESS ? "" : last_error_text();
        if (cursor != 0) {
            EXPECT_ADS_OK(AdsCloseTable(cursor));
        }
        EXPECT_ADS_OK(AdsCloseSQLStatement(statement));
        return rc;
    }

    UNSIGNED32 restructure(ADSHANDLE connection, const std::string& name) {
        return AdsRestructureTable90(connection, u8(name), nullptr, 0, VE_CHARTYPE_ANSI,
                                     VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, u8("Extra,Integer;"),
                                     nullptr, nullptr, nullptr);
    }

    std::string qtde_of(const std::string& name) {
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(open(name, &table, 0, admin_));
        std::string value = text(table, "Qtde", VE_TRIM_LEFT);
        EXPECT_ADS_OK(AdsCloseTable(table));
        return value;
    }

    std::string dictionary_;
    ADSHANDLE admin_ = 0;
    static inline std::string last_sql_error_;
};

TEST_F(DictionaryGuard, EverySpellingOfARegisteredFileHasTheRegistrationsRights) {
    std::filesystem::create_directories(dir_.file("x"));
    std::filesystem::create_symlink(dir_.file("Segredo.adt"), dir_.file("Atalho.adt"));
    std::filesystem::create_hard_link(dir_.file("Segredo.adt"), dir_.file("Outro.adt"));
    std::filesystem::create_directory_symlink(dir_.path(), dir_.file("espelho"));
    const std::vector<std::string> spellings = {
        dir_.path() + "/./Segredo.adt",
        dir_.path() + "/x/../Segredo.adt",
        dir_.path() + "//Segredo.adt",
        "/proc/self/root" + dir_.path() + "/Segredo.adt",
        dir_.file("espelho/Segredo.adt"),
        dir_.file("Atalho.adt"),
        dir_.file("Outro.adt"),
        dictionary_ + "\\Atalho",
        dictionary_ + "\\x\\..\\Segredo.adt",
    };
    ADSHANDLE connection = ana();
    for (const auto& spelling : spellings) {
        ADSHANDLE table = 0;
        EXPECT_EQ(VE_PERMISSION_DENIED, open(spelling, &table, 0, connection)) << spelling;
        EXPECT_NE(std::string::npos, last_error_text().find(kNoReadRight)) << last_error_text();
    }
    // The same from SQL inside the store.
    for (const char* statement : {"SELECT * FROM \"Atalho.adt\"", "SELECT * FROM \"x/../Segredo\"",
                                  "DELETE FROM \"Outro.adt\""}) {
        EXPECT_EQ(VE_SQL_ERROR, sql(connection, statement)) << statement;
        EXPECT_NE(std::string::npos, last_sql_error_.find(kNoReadRight)) << last_sql_error_;
    }
    // A file readable under its name is no more than readable under another.
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open(dir_.path() + "/x/../Produtos.adt", &table, 0, connection));
    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsSetField(table, u8("Qtde"), u8("9"), 1));
    EXPECT_NE(std::string::npos,
              last_error_text().find("Update permission not granted on this table."));
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));
    EXPECT_EQ("3", qtde_of("Segredo"));
}

TEST_F(DictionaryGuard, ACopyOfARegisteredTableStaysBoundToItsDictionary) {
    std::filesystem::create_directories(dir_.file("fora"));
    std::filesystem::copy_file(dir_.file("Segredo.adt"), dir_.file("Copia.adt"));
    std::filesystem::copy_file(dir_.file("Segredo.adt"), dir_.file("fora/Copia.adt"));
    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    // Ana's own copy of what she may read stays the dictionary's too.
    ASSERT_ADS_OK(open("Produtos", &table, 0, connection));
    ASSERT_ADS_OK(AdsCopyTable(table, VE_IGNORE_FILTERS, u8("MinhaCopia")));
    ASSERT_ADS_OK(AdsCloseTable(table));
    // Recovered by anyone, on a free connection.
    UNSIGNED32 kept = 0, lost_length = 0, state = 0;
    ASSERT_ADS_OK(AdsRecoverTable(connection_, u8(dir_.file("Segredo.adt")), u8("Salvo"), &kept,
                                  nullptr, &lost_length, &state));
    EXPECT_EQ(1u, kept);

    for (const char* name : {"Copia.adt", "MinhaCopia.adt", "Salvo.adt"}) {
        EXPECT_EQ(VE_PERMISSION_DENIED, open(dictionary_ + "\\" + name, &table, 0, connection))
            << name;
        EXPECT_NE(std::string::npos, last_error_text().find(kNoReadRight)) << last_error_text();
        EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open(name, &table)) << name;
        // The administrator opens them, and may free them by registering and removing.
        ASSERT_ADS_OK(open(dictionary_ + "\\" + name, &table, 0, admin_)) << name;
        EXPECT_ADS_OK(AdsCloseTable(table));
    }
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open(dir_.file("fora/Copia.adt"), &table));
    EXPECT_ADS_OK(AdsDisconnect(connection));

    // Nor does a new dictionary made beside them (by someone who may write in the folder)
    // get the old dictionary's tables.
    ADSHANDLE other = 0;
    ASSERT_NO_FATAL_FAILURE(create_dictionary(dir_.file("fora/Outra.add"), "x", "", &other));
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open(dir_.file("fora/Copia.adt"), &table, 0, other));
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, AdsDDAddTable(other, u8("Copia"), u8("Copia.adt")));
}

TEST_F(DictionaryGuard, OnlyTheAdministratorChangesARegisteredTable) {
    ASSERT_ADS_OK(sql(admin_, "CREATE INDEX Codigo ON Caixa (Codigo)"));
    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    // Made anew over it, as a free table, by a user of the dictionary or a free connection.
    for (ADSHANDLE by : {connection, connection_}) {
        EXPECT_NE(VE_SUCCESS,
                  AdsCreateTable90(by, u8("Segredo"), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
                                   VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, u8("X,Integer;"),
                                   VE_CREATE_FREE_TABLE, u8("ANSI"), &table));
    }
    EXPECT_EQ(VE_PERMISSION_DENIED,
              AdsCreateTable90(connection, u8("Caixa"), nullptr, 0, VE_CHARTYPE_ANSI,
                               VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, u8("X,Integer;"),
                               VE_CREATE_FREE_TABLE, u8("ANSI"), &table));
    // Restructured: the free connection needs no log-in, but the file is the dictionary's.
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, restructure(connection_, "Segredo"));
    EXPECT_EQ(VE_PERMISSION_DENIED, restructure(connection, "Caixa"));
    EXPECT_NE(std::string::npos, last_error_text().find("only the administrator"));

    // Every right on the records is no right on the table itself or its tags.
    ASSERT_ADS_OK(open("Caixa", &table, 0, connection));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsCopyTable(table, VE_IGNORE_FILTERS, u8("Segredo")));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsCopyTableStructure(table, u8("Produtos")));
    ADSHANDLE index = 0;
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsCreateIndex90(table, nullptr, u8("Qtde"), u8("Qtde"),
                                                     nullptr, nullptr, 0, 0, nullptr, &index));
    EXPECT_EQ(VE_PERMISSION_DENIED,
              AdsCreateIndex90(table, nullptr, u8("Unico"), u8("Codigo"), nullptr, nullptr,
                               VE_INDEX_UNIQUE, 0, nullptr, &index));
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("Codigo"), &index));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsDeleteIndex(index));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsDeleteTable(table));
    ADSHANDLE read_only = 0;
    ASSERT_ADS_OK(open("Produtos", &read_only, 0, connection));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsCreateIndex90(read_only, nullptr, u8("Qtde"), u8("Qtde"),
                                                     nullptr, nullptr, 0, 0, nullptr, &index));
    EXPECT_ADS_OK(AdsCloseTable(read_only));
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));

    // All there as it was; the administrator does each of these and the tables stay bound.
    EXPECT_EQ("3", qtde_of("Segredo"));
    ASSERT_ADS_OK(open("Caixa", &table, 0, admin_));
    UNSIGNED16 tags = 0;
    EXPECT_ADS_OK(AdsGetNumIndexes(table, &tags));
    EXPECT_EQ(1, tags);
    EXPECT_ADS_OK(AdsCloseTable(table));
    ASSERT_ADS_OK(restructure(admin_, "Segredo"));
    ASSERT_ADS_OK(open("Segredo", &table, 0, admin_));
    EXPECT_ADS_OK(AdsPackTable(table));
    EXPECT_ADS_OK(AdsCloseTable(table));
    ASSERT_ADS_OK(AdsCreateTable90(admin_, u8("Produtos"), nullptr, 0, VE_CHARTYPE_ANSI,
                                   VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, u8("Codigo,Char,10;"),
                                   VE_CREATE_FREE_TABLE, u8("ANSI"), &table));
    EXPECT_ADS_OK(AdsCloseTable(table));
    for (const char* name : {"Segredo", "Produtos"}) {
        EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open(name, &table)) << name;
    }
    connection = ana();
    EXPECT_EQ(VE_PERMISSION_DENIED, open("Segredo", &table, 0, connection));
    EXPECT_ADS_OK(AdsDisconnect(connection));
}

TEST_F(DictionaryGuard, ARightTakenAwayStopsTheNextCallOfAnOpenHandle) {
    struct Case {
        const char* what;
        std::function<void()> take_away;
    };
    const std::vector<Case> cases = {
        {"revoked from the group",
         [&] {
             ASSERT_ADS_OK(AdsDDRevokePermission(admin_, u8("Produtos"), nullptr, u8("Caixas"),
                                                 VE_DD_RIGHT_READ));
         }},
        {"removed from the group",
         [&] { ASSERT_ADS_OK(AdsDDRemoveUserFromGroup(admin_, u8("Caixas"), u8("Ana"))); }},
        {"deleted", [&] { ASSERT_ADS_OK(AdsDDDeleteUser(admin_, u8("Ana"))); }},
        {"revoked by another process",
         [&] {
             pid_t child = fork();
             if (child == 0) {
                 ADSHANDLE admin = 0;
                 _exit(log_in(dictionary_, "Admin", kAdminPassword, &admin) == VE_SUCCESS &&
                               AdsDDRevokePermission(admin, u8("Produtos"), nullptr, u8("Caixas"),
                                                     VE_DD_RIGHT_READ) == VE_SUCCESS
                           ? 0
                           : 1);
             }
             int status = -1;
             waitpid(child, &status, 0);
             ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ADSHANDLE connection = ana();
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open("Produtos", &table, 0, connection));
        ADSHANDLE statement = 0;
        ASSERT_ADS_OK(AdsCreateSQLStatement(connection, &statement));
        ASSERT_ADS_OK(AdsPrepareSQL(statement, u8("SELECT * FROM Produtos")));
        ADSHANDLE cursor = 0;
        ASSERT_ADS_OK(AdsExecuteSQL(statement, &cursor));
        ASSERT_ADS_OK(AdsCloseTable(cursor));
        ASSERT_ADS_OK(AdsGotoTop(table));

        c.take_away();
        EXPECT_EQ(VE_PERMISSION_DENIED, AdsGotoTop(table));
        EXPECT_NE(std::string::npos, last_error_text().find(kNoReadRight)) << last_error_text();
        EXPECT_EQ("<error 5054>", text(table, "Codigo"));
        EXPECT_EQ(VE_SQL_ERROR, AdsExecuteSQL(statement, &cursor));
        EXPECT_NE(std::string::npos, last_error_text().find(kNoReadRight)) << last_error_text();
        EXPECT_ADS_OK(AdsCloseTable(table));  // closing is never refused
        EXPECT_ADS_OK(AdsCloseSQLStatement(statement));
        EXPECT_ADS_OK(AdsDisconnect(connection));

        // Back as it was for the next case.
        if (log_in(dictionary_, "Ana", kAnaPassword, &connection) != VE_SUCCESS) {
            ASSERT_ADS_OK(
                AdsDDCreateUser(admin_, u8("Caixas"), u8("Ana"), u8(kAnaPassword), nullptr));
        } else {
            EXPECT_ADS_OK(AdsDisconnect(connection));
        }
        ASSERT_ADS_OK(AdsDDAddUserToGroup(admin_, u8("Caixas"), u8("Ana")));
        ASSERT_ADS_OK(
            AdsDDGrantPermission(admin_, u8("Produtos"), nullptr, u8("Caixas"), VE_DD_RIGHT_READ));
    }

    // A right given while a handle is open serves its next call too.
    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Produtos", &table, 0, connection));
    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsSetField(table, u8("Qtde"), u8("7"), 1));
    ASSERT_ADS_OK(
        AdsDDGrantPermission(admin_, u8("Produtos"), nullptr, u8("Ana"), VE_DD_RIGHT_UPDATE));
    EXPECT_ADS_OK(AdsSetField(table, u8("Qtde"), u8("7"), 1));
    EXPECT_ADS_OK(AdsWriteRecord(table));
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));
    EXPECT_EQ("7", qtde_of("Produtos"));
}

TEST_F(DictionaryGuard, AUserNeverGetsAGroupsGrantByItsName) {
    ASSERT_ADS_OK(AdsDDCreateUserGroup(admin_, u8("Gerentes"), nullptr));
    ASSERT_ADS_OK(
        AdsDDGrantPermission(admin_, u8("Segredo"), nullptr, u8("Gerentes"), VE_DD_RIGHT_READ));
    // A user of a group's name would be a grantee no grant could tell apart.
    EXPECT_EQ(VE_DD_OBJECT_EXISTS,
              AdsDDCreateUser(admin_, nullptr, u8("gerentes"), u8("x"), nullptr));
    EXPECT_EQ(VE_DD_OBJECT_EXISTS, AdsDDCreateUserGroup(admin_, u8("ANA"), nullptr));
    // A group gone takes its grants: a user made later under its name gets none of them.
    ASSERT_ADS_OK(AdsDDDeleteUserGroup(admin_, u8("Gerentes")));
    ASSERT_ADS_OK(AdsDDCreateUser(admin_, nullptr, u8("gerentes"), u8("x"), nullptr));
    UNSIGNED32 rights = 99;
    ASSERT_ADS_OK(AdsDDGetPermissions(admin_, u8("Segredo"), nullptr, u8("gerentes"), &rights));
    EXPECT_EQ(0u, rights);
    ADSHANDLE connection = 0;
    ASSERT_ADS_OK(log_in(dictionary_, "gerentes", "x", &connection));
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_PERMISSION_DENIED, open("Segredo", &table, 0, connection));
    EXPECT_ADS_OK(AdsDisconnect(connection));
}

TEST_F(DictionaryGuard, ANewDictionaryIsItsOwnersAloneWhateverTheUmask) {
    const mode_t old_mask = umask(0);
    ADSHANDLE other = 0;
    UNSIGNED32 rc = AdsDDCreate(u8(dir_.file("Aberta.add")), u8("x"), nullptr, &other);
    umask(old_mask);
    ASSERT_ADS_OK(rc);
    EXPECT_ADS_OK(AdsDisconnect(other));
    for (const std::string& path : {dictionary_, dir_.file("Aberta.add")}) {
        EXPECT_EQ(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                  std::filesystem::status(path).permissions())
            << path;
    }
    // Made whole under another name: nothing of it is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    }
    EXPECT_EQ(VE_DICTIONARY_EXISTS, AdsDDCreate(u8(dictionary_), u8("x"), nullptr, &other));
}

TEST_F(DictionaryGuard, WrongPasswordsCostMoreEachTimeAndThenLockTheUserOut) {
    using Clock = std::chrono::steady_clock;
    auto failed_log_in = [&] {
        ADSHANDLE handle = 0;
        const auto start = Clock::now();
        EXPECT_EQ(VE_LOGIN_FAILED, log_in(dictionary_, "Ana", "errada", &handle));
        EXPECT_NE(std::string::npos, last_error_text().find("user name or password"));
        return Clock::now() - start;
    };
    const auto first = failed_log_in();
    failed_log_in();
    failed_log_in();
    const auto fourth = failed_log_in();
    EXPECT_GE(first, std::chrono::milliseconds(100));
    EXPECT_GE(fourth, std::chrono::milliseconds(800));
    ADSHANDLE handle = 0;
    // The right password still serves before the limit, and forgets the failures.
    ASSERT_ADS_OK(log_in(dictionary_, "Ana", kAnaPassword, &handle));
    EXPECT_ADS_OK(AdsDisconnect(handle));
    auto property = [&](UNSIGNED16 id) {
        UNSIGNED32 value = 0;
        UNSIGNED16 length = sizeof value;
        EXPECT_ADS_OK(AdsDDGetUserProperty(admin_, u8("Ana"), id, &value, &length));
        return value;
    };
    EXPECT_EQ(0u, property(VE_DD_USER_FAILED_LOG_INS));

    for (std::uint32_t i = 0; i < 5; ++i) {
        failed_log_in();
    }
    EXPECT_EQ(5u, property(VE_DD_USER_FAILED_LOG_INS));
    EXPECT_GT(property(VE_DD_USER_LOCKED_SECONDS), 14u * 60);
    // Locked out: the right password too, at once, and in another process as well.
    const auto start = Clock::now();
    EXPECT_EQ(VE_LOGIN_FAILED, log_in(dictionary_, "Ana", kAnaPassword, &handle));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(800));
    pid_t child = fork();
    if (child == 0) {
        ADSHANDLE other = 0;
        _exit(log_in(dictionary_, "Ana", kAnaPassword, &other) == VE_LOGIN_FAILED ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Another user is not held up.
    ASSERT_ADS_OK(AdsDDCreateUser(admin_, nullptr, u8("Bia"), u8("bia"), nullptr));
    ASSERT_ADS_OK(log_in(dictionary_, "Bia", "bia", &handle));
    EXPECT_ADS_OK(AdsDisconnect(handle));

    // Only the administrator lifts it.
    const UNSIGNED16 none = 0;
    ASSERT_ADS_OK(log_in(dictionary_, "Bia", "bia", &handle));
    EXPECT_EQ(VE_PERMISSION_DENIED,
              AdsDDSetUserProperty(handle, u8("Ana"), VE_DD_USER_FAILED_LOG_INS, &none, 2));
    EXPECT_ADS_OK(AdsDisconnect(handle));
    ASSERT_ADS_OK(AdsDDSetUserProperty(admin_, u8("Ana"), VE_DD_USER_FAILED_LOG_INS, &none, 2));
    EXPECT_EQ(0u, property(VE_DD_USER_LOCKED_SECONDS));
    ASSERT_ADS_OK(log_in(dictionary_, "Ana", kAnaPassword, &handle));
    EXPECT_ADS_OK(AdsDisconnect(handle));
}

// The readable memory of this process that is not a file's, scanned for any kWindow bytes in a
// row of a text. A freed block loses its first bytes to the allocator's bookkeeping, so a
// password's copy is looked for piece by piece. The text is kept masked and its pieces as
// rolling hashes, so that the scan itself holds no copy of it.
class MemoryScan {
  public:
    static constexpr std::size_t kWindow = 12;

    explicit MemoryScan(std::string_view text) : mask_(text.size()), masked_(text.size()) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            mask_[i] = static_cast<unsigned char>(0x5A + 7 * i);
            masked_[i] = static_cast<unsigned char>(text[i]) ^ mask_[i];
        }
        for (std::size_t at = 0; at + kWindow <= text.size(); ++at) {
            std::uint64_t hash = 0;
            for (std::size_t i = 0; i < kWindow; ++i) {
                hash = hash * kBase + static_cast<unsigned char>(text[at + i]);
            }
            windows_.emplace(hash, at);
        }
    }

    // Where a piece of the text is found, as "address (region)"; empty when nowhere.
    std::vector<std::string> find() const {
        std::uint64_t drop = 1;  // kBase to the power kWindow - 1
        for (std::size_t i = 1; i < kWindow; ++i) {
            drop *= kBase;
        }
        std::vector<std::string> found;
        std::ifstream maps("/proc/self/maps");
        const int memory = ::open("/proc/self/mem", O_RDONLY);
        std::string line;
        std::vector<unsigned char> chunk(1 << 20);
        while (std::getline(maps, line)) {
            unsigned long start = 0, end = 0;
            char permissions[5] = {};
            int name_at = 0;
            if (std::sscanf(line.c_str(), "%lx-%lx %4s %*s %*s %*s %n", &start, &end, permissions,
                            &name_at) < 3 ||
                permissions[0] != 'r') {
                continue;
            }
            const std::string name = line.substr(static_cast<std::size_t>(name_at));
            // Files mapped (tables, libraries) are not where a process keeps what it was given.
            const bool anonymous = name.empty() || name == "[heap]" || name.starts_with("[stack");
            if (!anonymous || end - start > (1ul << 30)) {
                continue;
            }
            for (unsigned long at = start; at < end; at += chunk.size()) {
                const std::size_t size = std::min<unsigned long>(chunk.size(), end - at);
                const ssize_t got = ::pread(memory, chunk.data(), size, static_cast<off_t>(at));
                if (got < static_cast<ssize_t>(kWindow)) {
                    break;
                }
                std::uint64_t hash = 0;
                for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
                    if (i >= kWindow) {
                        hash -= drop * chunk[i - kWindow];
                    }
                    hash = hash * kBase + chunk[i];
                    if (i + 1 < kWindow) {
                        continue;
                    }
                    auto [first, last] = windows_.equal_range(hash);
                    for (auto window = first; window != last; ++window) {
                        if (matches(&chunk[i + 1 - kWindow], window->second)) {
                            found.push_back(std::to_string(at + i + 1 - kWindow) + " (" + line +
                                            ")");
                        }
                    }
                }
            }
        }
        ::close(memory);
        return found;
    }

  private:
    static constexpr std::uint64_t kBase = 1099511628211ull;

    bool matches(const unsigned char* bytes, std::size_t offset) const {
        for (std::size_t i = 0; i < kWindow; ++i) {
            if ((bytes[i] ^ mask_[offset + i]) != masked_[offset + i]) {
                return false;
            }
        }
        return true;
    }

    std::vector<unsigned char> mask_, masked_;
    std::unordered_multimap<std::uint64_t, std::size_t> windows_;  // hash -> offset
};

TEST_F(DictionaryGuard, NoCopyOfAPasswordStaysInMemoryAfterTheLogIn) {
    // A password made here and held only in buffers this test wipes: any piece of it found
    // later is the engine's. Long, so that a freed copy keeps pieces to find.
    char password[65];
    std::random_device random;
    std::snprintf(password, sizeof password, "Pw%08x%08x%08x%08x%08x%08x%08x%06x",
                  static_cast<unsigned>(getpid()), random(), random(), random(), random(), random(),
                  random(), random() & 0xFFFFFFu);
    const MemoryScan scan(password);
    std::vector<char> text(256);
    auto connect_text = [&](const char* with) {
        std::snprintf(text.data(), text.size(), "Data Source=%s;User ID=Caio;Password=\"%s\";",
                      dictionary_.c_str(), with);
        return reinterpret_cast<const UNSIGNED8*>(text.data());
    };
    ASSERT_ADS_OK(AdsDDCreateUser(admin_, nullptr, u8("Caio"),
                                  reinterpret_cast<const UNSIGNED8*>(password), nullptr));
    ADSHANDLE handle = 0;
    ASSERT_ADS_OK(AdsConnect101(connect_text(password), nullptr, &handle));
    explicit_bzero(text.data(), text.size());
    ASSERT_ADS_OK(AdsDisconnect(handle));
    // A failed log-in: the password with its last character changed.
    password[63] = password[63] == 'x' ? 'y' : 'x';
    EXPECT_EQ(VE_LOGIN_FAILED, AdsConnect101(connect_text(password), nullptr, &handle));
    explicit_bzero(text.data(), text.size());
    explicit_bzero(password, sizeof password);
    EXPECT_EQ(std::vector<std::string>(), scan.find());
}

TEST_F(DictionaryGuard, ADamagedDictionaryIsAnErrorNeverOtherRights) {
    ASSERT_ADS_OK(AdsDDCreateUserGroup(admin_, u8("Gerentes"), nullptr));
    ASSERT_ADS_OK(AdsDDCreateUser(admin_, u8("Gerentes"), u8("Bia"), u8("bia"), nullptr));
    ASSERT_ADS_OK(
        AdsDDGrantPermission(admin_, u8("Segredo"), nullptr, u8("Gerentes"), VE_DD_RIGHT_READ));
    ASSERT_ADS_OK(
        AdsDDRevokePermission(admin_, u8("Caixa"), u8("Qtde"), u8("Ana"), VE_DD_RIGHT_UPDATE));
    ASSERT_ADS_OK(
        AdsDDCreateProcedure(admin_, u8("Todos"), u8(""), u8("SELECT * FROM Produtos"), nullptr));
    ASSERT_ADS_OK(AdsDisconnect(admin_));
    admin_ = 0;
    const std::string bytes = read_file(dictionary_);
    ASSERT_FALSE(bytes.empty());

    // Everything a log-in learns from the dictionary, as one text; "error" when it fails.
    auto answers = [&](const std::string& path) -> std::string {
        ADSHANDLE admin = 0;
        if (log_in(path, "Admin", kAdminPassword, &admin) != VE_SUCCESS) {
            return "error " + last_error_text();
        }
        std::string text;
        bool failed = false;
        try {
            for (UNSIGNED16 type : {VE_DD_USER_OBJECT, VE_DD_USER_GROUP_OBJECT, VE_DD_TABLE_OBJECT,
                                    VE_DD_PROCEDURE_OBJECT}) {
                UNSIGNED8 name[201];
                UNSIGNED16 length = sizeof name;
                ADSHANDLE find = 0;
                UNSIGNED32 rc = AdsDDFindFirstObject(admin, type, nullptr, name, &length, &find);
                while (rc == VE_SUCCESS) {
                    text += std::to_string(type) + ":" +
                            std::string(reinterpret_cast<char*>(name), length) + ";";
                    length = sizeof name;
                    rc = AdsDDFindNextObject(admin, find, name, &length);
                }
                failed |= rc != VE_DD_NO_MORE_OBJECTS;
                if (find != 0) {
                    AdsDDFindClose(admin, find);
                }
            }
            for (const char* table : {"Produtos", "Caixa", "Segredo"}) {
                char path_of[300];
                UNSIGNED16 length = sizeof path_of;
                failed |= AdsDDGetTableProperty(admin, u8(table), VE_DD_TABLE_PATH, path_of,
                                                &length) != VE_SUCCESS;
                text += std::string(path_of, length) + ";";
                for (const char* user : {"Ana", "Bia"}) {
                    for (const char* column : {"", "Qtde"}) {
                        UNSIGNED32 rights = 0;
                        failed |= AdsDDGetPermissions(admin, u8(table), u8(column), u8(user),
                                                      &rights) != VE_SUCCESS;
                        text += std::to_string(rights) + ",";
                    }
                }
            }
        } catch (...) {
            failed = true;
        }
        AdsDisconnect(admin);
        return failed ? "error" : text;
    };
    const std::string intact = answers(dictionary_);
    ASSERT_FALSE(intact.starts_with("error")) << intact;

    // Single bytes changed across every page, and in the entries themselves (a grant's bits,
    // a group's name, a table's path, where a change would read as other rights if nothing
    // vouched for the entry): each copy either answers as the intact one or fails.
    std::set<std::size_t> positions;
    for (std::size_t page = 0; page * 4096 < bytes.size(); ++page) {
        for (std::size_t offset : {16u, 1500u, 3000u, 4060u}) {
            positions.insert(page * 4096 + offset);
        }
    }
    for (const char* entry : {"user-right:ANA", "group-right:GERENTES", "user-column:ANA:QTDE",
                              "Caixa.adt", "Caixas;Gerentes"}) {
        for (std::size_t at = bytes.find(entry); at != std::string::npos;
             at = bytes.find(entry, at + 1)) {
            for (std::size_t i = 0; i < std::string_view(entry).size() + 6; i += 3) {
                positions.insert(at + i);
            }
        }
    }
    std::filesystem::create_directories(dir_.file("danos"));
    std::size_t copies = 0, refused = 0;  // some bytes are not in use: those answer the same
    for (std::size_t at : positions) {
        if (at >= bytes.size()) {
            continue;
        }
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
        const std::string path = dir_.file("danos/d" + std::to_string(at) + ".add");
        write_file(path, damaged);
        const std::string got = answers(path);
        ++copies;
        if (got.starts_with("error")) {
            ++refused;
        } else {
            EXPECT_EQ(intact, got) << "byte " << at << " changed";
        }
    }
    EXPECT_GT(refused, 0u);
    EXPECT_LT(refused, copies);
}

}  // namespace
}  // namespace varelum::engine::testing
