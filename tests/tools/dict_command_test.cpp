// dict: a data dictionary made and changed by the real executable, its passwords read from
// standard input as a script gives them, and the result seen through the engine's log-in.
#include <filesystem>

#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

constexpr const char* kAdmin = "adm1n-secreto";
constexpr const char* kAna = "ana-pw;42";

class DictCommandTest : public StoreToolTest {
  protected:
    void SetUp() override {
        ok({"create", "Produtos", "Codigo,Char,10;Qtde,Integer;"});
        EXPECT_EQ(0, as_admin({"create"}).exit_code);
    }

    // Runs a dict action on loja.add, the administrator's password (and then extra lines)
    // given on standard input.
    ToolResult as_admin(std::vector<std::string> action, const std::string& more = "") const {
        action.insert(action.begin(), {"dict", "loja.add"});
        return run_tool_with_input(dir(), action, std::string(kAdmin) + "\n" + more);
    }

    static void expect_no_password(const ToolResult& result) {
        for (const char* password : {kAdmin, kAna}) {
            EXPECT_EQ(std::string::npos, result.out.find(password)) << result.out;
            EXPECT_EQ(std::string::npos, result.err.find(password)) << result.err;
        }
    }

    UNSIGNED32 log_in(const std::string& user, const std::string& password, ADSHANDLE* handle) {
        std::string text = "Data Source=" + file("loja.add").string() + ";User ID=" + user +
                           ";Password=\"" + password + "\";";
        return AdsConnect101(u8(text), nullptr, handle);
    }
};

TEST_F(DictCommandTest, UsersGroupsTablesAndRightsAreSetAndListed) {
    for (const std::vector<std::string>& action : std::vector<std::vector<std::string>>{
             {"add-table", "Produtos"},
             {"add-group", "Caixas"},
             {"grant", "Caixas", "read,insert", "Produtos"},
             {"revoke", "Caixas", "insert", "Produtos", "Qtde"}}) {
        ToolResult result = as_admin(action);
        EXPECT_EQ(0, result.exit_code) << action[0] << ": " << result.err;
        expect_no_password(result);
    }
    ToolResult added = as_admin({"add-user", "Ana", "Caixas"}, std::string(kAna) + "\n");
    EXPECT_EQ(0, added.exit_code) << added.err;
    expect_no_password(added);

    ToolResult list = as_admin({"list"});
    ASSERT_EQ(0, list.exit_code) << list.err;
    expect_no_password(list);
    EXPECT_NE(std::string::npos, list.out.find("  Produtos  Produtos.adt\n")) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("    Ana: read, insert\n")) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("  Caixas: Ana\n")) << list.out;

    // What the tool set is what the engine enforces.
    ADSHANDLE ana = 0;
    ASSERT_EQ(VE_SUCCESS, log_in("Ana", kAna, &ana)) << engine::testing::last_error_text();
    ADSHANDLE table = 0;
    ASSERT_EQ(VE_SUCCESS, AdsOpenTable90(ana, u8("Produtos"), nullptr, 0, VE_CHARTYPE_ANSI,
                                         VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, nullptr, &table));
    UNSIGNED32 options = 0;
    EXPECT_EQ(VE_SUCCESS, AdsGetTableOpenOptions(table, &options));
    EXPECT_EQ(VE_TABLE_RIGHT_INSERT, options & (VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT));
    AdsCloseTable(table);
    AdsDisconnect(ana);
    // The table is the dictionary's now: the free-table commands are refused.
    EXPECT_ONE_LINE_FAILURE(tool({"export", "Produtos"}));

    ASSERT_EQ(0, as_admin({"password", "Ana"}, "nova-senha\n").exit_code);
    EXPECT_EQ(VE_LOGIN_FAILED, log_in("Ana", kAna, &ana));
    ASSERT_EQ(0, as_admin({"remove-table", "Produtos"}).exit_code);
    ok({"export", "Produtos"});
}

TEST_F(DictCommandTest, RefusalsAreOneLineAndNeverShowAPassword) {
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"dict", "loja.add", "list"}, "wrong-pw\n", "user name or password"},
        {{"dict", "loja.add", "list"}, "", "no password given"},
        {{"dict", "loja.add", "create"}, std::string(kAdmin) + "\n", "exists"},
        {{"dict", "loja.add", "grant", "Ana", "write", "Produtos"}, "", "unknown right"},
        {{"dict", "loja.add", "add-user"}, "", "usage"},
        {{"dict", "loja.add", "fly"}, "", "unknown dict action"},
        {{"dict", "loja.add", "add-user", "Bia"}, std::string(kAdmin) + "\nbad\"pw\n", "\""},
        {{"dict", "loja.add", "add-table", "Nada"}, std::string(kAdmin) + "\n", "Nada"},
    };
    for (const auto& c : cases) {
        ToolResult result = run_tool_with_input(dir(), c.arguments, c.input);
        EXPECT_EQ(1, result.exit_code) << c.arguments[2] << ": " << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.says)) << result.err;
        EXPECT_EQ(std::string::npos, result.err.find("wrong-pw")) << result.err;
        expect_no_password(result);
    }
}

TEST_F(DictCommandTest, LinksAreAddedListedUsedAndRemoved) {
    // A second store with a dictionary of its own, where Leitor may read Saldos.
    constexpr const char* kReader = "leitor;pw";
    std::filesystem::create_directories(file("estoque"));
    ADSHANDLE stock = 0;
    ASSERT_EQ(VE_SUCCESS, AdsDDCreate(u8(file("estoque/estoque.add").string()), u8("estoque-adm"),
                                      u8(""), &stock));
    ADSHANDLE table = 0;
    ASSERT_EQ(VE_SUCCESS,
              AdsCreateTable90(stock, u8("Saldos"), nullptr, 0, VE_CHARTYPE_ANSI,
                               VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                               u8("Codigo,Char,10;Saldo,Integer;"), 0, u8("ANSI"), &table));
    AdsCloseTable(table);
    ASSERT_EQ(VE_SUCCESS, AdsDDCreateUser(stock, nullptr, u8("Leitor"), u8(kReader), nullptr));
    ASSERT_EQ(VE_SUCCESS,
              AdsDDGrantPermission(stock, u8("Saldos"), nullptr, u8("Leitor"), VE_DD_RIGHT_READ));
    AdsDisconnect(stock);

    ToolResult added =
        as_admin({"add-link", "Estoque", "estoque/estoque.add", "Leitor", "--global"},
                 std::string(kReader) + "\n");
    EXPECT_EQ(0, added.exit_code) << added.err;
    expect_no_password(added);
    EXPECT_EQ(std::string::npos, added.err.find(kReader)) << added.err;
    ToolResult list = as_admin({"list"});
    EXPECT_NE(std::string::npos, list.out.find("Links:\n  Estoque\n")) << list.out;

    // The link reaches the stock's table through SQL, for any user of the dictionary.
    ASSERT_EQ(0, as_admin({"add-user", "Ana"}, std::string(kAna) + "\n").exit_code);
    ADSHANDLE ana = 0;
    ASSERT_EQ(VE_SUCCESS, log_in("Ana", kAna, &ana)) << engine::testing::last_error_text();
    ADSHANDLE statement = 0, cursor = 0;
    ASSERT_EQ(VE_SUCCESS, AdsCreateSQLStatement(ana, &statement));
    EXPECT_EQ(VE_SUCCESS,
              AdsExecuteSQLDirect(statement, u8("SELECT * FROM Estoque.Saldos"), &cursor))
        << engine::testing::last_error_text();
    AdsCloseSQLStatement(statement);
    AdsDisconnect(ana);

    // A password the linked dictionary refuses makes no link, and shows in no output.
    ToolResult refused =
        as_admin({"add-link", "Outro", "estoque/estoque.add", "Leitor"}, "errada-42\n");
    EXPECT_EQ(1, refused.exit_code);
    EXPECT_NE(std::string::npos, refused.err.find("Leitor")) << refused.err;
    EXPECT_EQ(std::string::npos, refused.err.find("errada-42")) << refused.err;

    ASSERT_EQ(0, as_admin({"remove-link", "Estoque"}).exit_code);
    list = as_admin({"list"});
    EXPECT_NE(std::string::npos, list.out.find("Links:\n")) << list.out;
    EXPECT_EQ(std::string::npos, list.out.find("  Estoque\n")) << list.out;
}

TEST_F(DictCommandTest, ProceduresAreAddedListedRunAndRemoved) {
    ok({"sql", dir().string(), "INSERT INTO Produtos (Codigo, Qtde) VALUES ('A1', 3)"});
    ASSERT_EQ(0, as_admin({"add-table", "Produtos"}).exit_code);
    ToolResult added = as_admin({"add-procedure", "Estoque", "Codigo,Char,10;",
                                 "SELECT Qtde FROM Produtos WHERE Codigo = :Codigo"});
    ASSERT_EQ(0, added.exit_code) << added.err;
    expect_no_password(added);
    ToolResult list = as_admin({"list"});
    ASSERT_EQ(0, list.exit_code) << list.err;
    expect_no_password(list);
    EXPECT_NE(std::string::npos,
              list.out.find("Procedures:\n  Estoque(Codigo,Char,10;)\n"
                            "    SELECT Qtde FROM Produtos WHERE Codigo = :Codigo\n"))
        << list.out;

    // What the tool stored is what the engine runs.
    ADSHANDLE admin = 0;
    ASSERT_EQ(VE_SUCCESS, log_in("Admin", kAdmin, &admin)) << engine::testing::last_error_text();
    ADSHANDLE statement = 0;
    ASSERT_EQ(VE_SUCCESS, AdsCreateSQLStatement(admin, &statement));
    ADSHANDLE cursor = 0;
    ASSERT_EQ(VE_SUCCESS,
              AdsExecuteSQLDirect(statement, u8("EXECUTE PROCEDURE Estoque('A1')"), &cursor))
        << engine::testing::last_error_text();
    SIGNED32 qtde = 0;
    EXPECT_EQ(VE_SUCCESS, AdsGetLong(cursor, u8("Qtde"), &qtde));
    EXPECT_EQ(3, qtde);
    AdsCloseTable(cursor);
    AdsCloseSQLStatement(statement);
    AdsDisconnect(admin);

    EXPECT_EQ(1, as_admin({"add-procedure", "Estoque", "", "SELECT 1"}).exit_code);
    ToolResult wrong = as_admin({"add-procedure", "Outro", "Codigo,Texto;", "SELECT :Codigo"});
    EXPECT_EQ(1, wrong.exit_code);
    EXPECT_NE(std::string::npos, wrong.err.find("Texto")) << wrong.err;
    ASSERT_EQ(0, as_admin({"remove-procedure", "estoque"}).exit_code);
    list = as_admin({"list"});
    EXPECT_EQ(std::string::npos, list.out.find("Estoque")) << list.out;
    EXPECT_EQ(1, as_admin({"remove-procedure", "Estoque"}).exit_code);
}

TEST_F(DictCommandTest, ANewDictionaryIsItsOwnersAndALooserOneIsWarnedOf) {
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write,
              fs::status(file("loja.add")).permissions());
    ToolResult quiet = as_admin({"list"});
    EXPECT_EQ(0, quiet.exit_code) << quiet.err;
    EXPECT_EQ(std::string::npos, quiet.err.find("Warning")) << quiet.err;

    fs::permissions(file("loja.add"), fs::perms::owner_read | fs::perms::owner_write |
                                          fs::perms::group_read | fs::perms::others_read);
    ToolResult warned = as_admin({"list"});
    EXPECT_EQ(0, warned.exit_code) << warned.err;
    EXPECT_NE(std::string::npos, warned.err.find("has mode 0644")) << warned.err;
    EXPECT_NE(std::string::npos, warned.err.find("chmod 600")) << warned.err;
    expect_no_password(warned);
}

TEST_F(DictCommandTest, WrongPasswordsLockAUserOutUntilTheAdministratorUnlocks) {
    ASSERT_EQ(0, as_admin({"add-user", "Ana"}, std::string(kAna) + "\n").exit_code);
    ADSHANDLE ana = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(VE_LOGIN_FAILED, log_in("Ana", "errada", &ana));
    }
    EXPECT_EQ(VE_LOGIN_FAILED, log_in("Ana", kAna, &ana));
    ToolResult list = as_admin({"list"});
    EXPECT_NE(std::string::npos,
              list.out.find("  Ana  (5 failed log-ins; locked out for 15 min more, until dict "
                            "unlock)\n"))
        << list.out;
    ASSERT_EQ(0, as_admin({"unlock", "Ana"}).exit_code);
    list = as_admin({"list"});
    EXPECT_NE(std::string::npos, list.out.find("  Ana\n")) << list.out;
    ASSERT_EQ(VE_SUCCESS, log_in("Ana", kAna, &ana)) << engine::testing::last_error_text();
    AdsDisconnect(ana);
}

TEST_F(DictCommandTest, ARecoveredCopyOfARegisteredTableStaysTheDictionarys) {
    ok({"sql", dir().string(), "INSERT INTO Produtos (Codigo, Qtde) VALUES ('A1', 3)"});
    ASSERT_EQ(0, as_admin({"add-table", "Produtos"}).exit_code);
    ToolResult recovered = tool({"recover", "Produtos", "Salvo"});
    EXPECT_EQ(0, recovered.exit_code) << recovered.err;
    ToolResult refused = tool({"export", "Salvo"});
    EXPECT_ONE_LINE_FAILURE(refused);
    EXPECT_NE(std::string::npos, refused.err.find("loja.add")) << refused.err;
    // Nor does a restructure on the free folder free it.
    EXPECT_EQ(1, tool({"restructure", "Produtos", "--add", "Extra,Integer;"}).exit_code);
}

}  // namespace
}  // namespace varelum::store::testing
