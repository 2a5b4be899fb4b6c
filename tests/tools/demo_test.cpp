// demo: the store of the stock-count program, with the columns it uses, unique codes and
// barcodes, employees with upper-case passwords, an empty audit table and the alias in
// ads.ini.
#include <cstdlib>
#include <set>

#include "ads/adsdata_names.h"
#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class DemoTest : public StoreToolTest {};

bool is_ean13(const std::string& code) {
    if (code.size() != 13 || code.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    int sum = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        sum += (code[i] - '0') * (i % 2 == 0 ? 1 : 3);
    }
    return (10 - sum % 10) % 10 == code[12] - '0';
}

TEST_F(DemoTest, DemoMakesTheThreeTablesAndTheAlias) {
    ToolResult result = ok({"demo", "loja", "--products", "300"});
    const std::filesystem::path store = file("loja");

    // Products: the four columns the program reads, with the types it needs.
    {
        EngineView products(store / "CadProdutos.adt");
        EXPECT_EQ(300u, products.count());
        EXPECT_EQ(VE_FIELD_STRING, products.field_type("CodProduto"));
        EXPECT_EQ(VE_FIELD_STRING, products.field_type("CodBarras"));
        EXPECT_EQ(VE_FIELD_STRING, products.field_type("CodGrupo"));
        EXPECT_EQ(VE_FIELD_INTEGER, products.field_type("QtdeAtual"));
        EXPECT_GE(products.field_names().size(), 6u);  // a description, a price, ...
        std::set<std::string> codes;
        std::set<std::string> barcodes;
        std::string first_barcode;
        int sold_out = 0;
        products.each([&] {
            const std::string code = products.text("CodProduto");
            const std::string barcode = products.text("CodBarras");
            EXPECT_FALSE(code.empty());
            EXPECT_TRUE(is_ean13(barcode)) << barcode;
            EXPECT_FALSE(products.text("CodGrupo").empty()) << code;
            codes.insert(code);
            barcodes.insert(barcode);
            first_barcode = first_barcode.empty() ? barcode : first_barcode;
            SIGNED32 quantity = -1;
            EXPECT_EQ(VE_SUCCESS, AdsGetLong(products.table(), u8("QtdeAtual"), &quantity));
            EXPECT_GE(quantity, 0);
            sold_out += quantity == 0 ? 1 : 0;
        });
        EXPECT_EQ(300u, codes.size());
        EXPECT_EQ(300u, barcodes.size());
        EXPECT_GT(sold_out, 0);
        EXPECT_LT(sold_out, 60);
        for (const std::string& code : codes) {
            EXPECT_EQ(0u, barcodes.count(code)) << "a code that is also a barcode: " << code;
        }
        // The first barcodes are printed for the user to scan or type.
        EXPECT_NE(std::string::npos, result.out.find(first_barcode)) << result.out;
    }
    // Employees: upper-case passwords and full names; the passwords are printed.
    {
        EngineView staff(store / "CadFuncionariosLojas.adt");
        EXPECT_EQ(VE_FIELD_STRING, staff.field_type("Senha"));
        EXPECT_EQ(VE_FIELD_STRING, staff.field_type("NomeFuncionario"));
        EXPECT_GE(staff.count(), 3u);
        std::set<std::string> passwords;
        staff.each([&] {
            const std::string password = staff.text("Senha");
            const std::string name = staff.text("NomeFuncionario");
            EXPECT_FALSE(password.empty());
            EXPECT_EQ(std::string::npos, password.find_first_of("abcdefghijklmnopqrstuvwxyz"))
                << password;
            EXPECT_NE(std::string::npos, name.find(' ')) << "a full name: " << name;
            EXPECT_NE(std::string::npos, result.out.find(password)) << password;
            passwords.insert(password);
        });
        EXPECT_EQ(staff.count(), passwords.size());
    }
    // Audit: empty, with the six columns a finished count writes, wide enough for them.
    {
        EngineView audit(store / "Auditoria.adt");
        EXPECT_EQ(0u, audit.count());
        const UNSIGNED16 date = audit.field_type("Data");
        EXPECT_TRUE(date == VE_FIELD_DATE || date == VE_FIELD_TIMESTAMP) << date;
        EXPECT_EQ(VE_FIELD_STRING, audit.field_type("CodGrupo"));
        EXPECT_EQ(VE_FIELD_STRING, audit.field_type("CodProduto"));
        audit.field_type("Quantidade");
        UNSIGNED32 situacao = 0;
        UNSIGNED32 observacao = 0;
        EXPECT_EQ(VE_SUCCESS, AdsGetFieldLength(audit.table(), u8("Situacao"), &situacao));
        EXPECT_EQ(VE_SUCCESS, AdsGetFieldLength(audit.table(), u8("Observacao"), &observacao));
        EXPECT_GE(situacao, 12u);
        EXPECT_GE(observacao, 15u + 20u);
    }
    // The indexes of the program's lookups.
    for (const auto& [table, expected] :
         std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"CadProdutos.adt", {"CodProduto", "CodBarras"}},
             {"CadFuncionariosLojas.adt", {"Senha"}}}) {
        SCOPED_TRACE(table);
        EngineView view(store / table);
        UNSIGNED16 count = 0;
        ASSERT_EQ(VE_SUCCESS, AdsGetNumIndexes(view.table(), &count));
        std::vector<std::string> names;
        for (UNSIGNED16 order = 1; order <= count; ++order) {
            ADSHANDLE index = 0;
            ASSERT_EQ(VE_SUCCESS, AdsGetIndexHandleByOrder(view.table(), order, &index));
            UNSIGNED8 name[128] = {};
            UNSIGNED16 length = sizeof name;
            ASSERT_EQ(VE_SUCCESS, AdsGetIndexName(index, name, &length));
            names.emplace_back(reinterpret_cast<const char*>(name), length);
        }
        EXPECT_EQ(expected, names);
    }
    EXPECT_EQ("[Databases]\nBALDERIM = " + store.string() + "\n", read_file(store / "ads.ini"));
    for (const char* table : {"CadProdutos", "CadFuncionariosLojas", "Auditoria"}) {
        EXPECT_EQ(0, tool({"check", (store / table).string()}).exit_code) << table;
    }
}

TEST_F(DemoTest, DemoDefaultsToTwoHundredProductsAndIsTheSameEveryTime) {
    ok({"demo", "a"});
    ok({"demo", "b"});
    EXPECT_EQ(200u, EngineView(file("a") / "CadProdutos.adt").count());
    EXPECT_EQ(ok({"export", "a/CadProdutos"}).out, ok({"export", "b/CadProdutos"}).out);
}

TEST_F(DemoTest, DemoKeepsAnExistingStoreAndOtherAliasesUnlessTold) {
    std::filesystem::create_directory(file("loja"));
    write_file(file("loja") / "ads.ini",
               "; the shop's aliases\n[Databases]\nOUTRA = /srv/outra;A\nbalderim = /old\n\n"
               "[Other]\nBALDERIM = /not/this/one\n");
    ok({"demo", "loja", "--products", "5"});
    EXPECT_EQ("; the shop's aliases\n[Databases]\nOUTRA = /srv/outra;A\nBALDERIM = " +
                  file("loja").string() + "\n\n[Other]\nBALDERIM = /not/this/one\n",
              read_file(file("loja") / "ads.ini"));

    ToolResult again = tool({"demo", "loja"});
    EXPECT_ONE_LINE_FAILURE(again);
    EXPECT_NE(std::string::npos, again.err.find("exists already")) << again.err;
    EXPECT_EQ(5u, EngineView(file("loja") / "CadProdutos.adt").count());

    ok({"demo", "loja", "--replace", "--products", "7"});
    EXPECT_EQ(7u, EngineView(file("loja") / "CadProdutos.adt").count());
    EXPECT_EQ(4u, EngineView(file("loja") / "CadFuncionariosLojas.adt").count());
}

// The components read ads.ini by the rules demo writes it by: a header with a comment is the
// section, and the alias the program resolves is the one demo set.
TEST_F(DemoTest, TheAliasDemoSetsIsTheOneTheProgramResolves) {
    std::filesystem::create_directory(file("loja"));
    write_file(file("loja") / "ads.ini",
               "[databases] ; main store\nOUTRA = /srv/outra\n  Balderim =  /old/store ;A\n");
    ok({"demo", "loja", "--products", "2"});
    const std::string ini = read_file(file("loja") / "ads.ini");
    EXPECT_EQ(
        "[databases] ; main store\nOUTRA = /srv/outra\nBALDERIM = " + file("loja").string() + "\n",
        ini);

    const char* saved = std::getenv("adsini_path");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("adsini_path", file("loja").c_str(), 1);
    std::string path;
    ads::TAdsConnectionTableTypes type = ads::ttAdsConnectADT;
    const bool found = ads::LookupAlias("balderim", path, type);
    if (saved != nullptr) {
        ::setenv("adsini_path", restore.c_str(), 1);
    } else {
        ::unsetenv("adsini_path");
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(path, file("loja").string());
    EXPECT_EQ(type, ads::ttAdsConnectUnspecified);
}

// --register: the alias goes into the user's own ads.ini too, where the installed program looks
// when it is started from the menu; other entries there are kept.
TEST_F(DemoTest, RegisterMapsTheAliasInTheUsersOwnAdsIni) {
    const struct {
        const char* Name;
        std::string XdgConfigHome;
        std::filesystem::path Expected;
    } cases[] = {
        {"XDG_CONFIG_HOME", file("config").string(), file("config") / "varelum" / "ads.ini"},
        {"HOME, for a relative XDG_CONFIG_HOME", "relative",
         file("home") / ".config" / "varelum" / "ads.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::create_directories(c.Expected.parent_path());
        write_file(c.Expected, "[Databases]\nOUTRA = /srv/outra\n");
        const std::vector<std::string> arguments = {"demo", "loja",      "--products",
                                                    "2",    "--replace", "--register"};
        const ToolResult result = finish_tool(
            dir(),
            start_tool(dir(), arguments, "/dev/null",
                       {"XDG_CONFIG_HOME=" + c.XdgConfigHome, "HOME=" + file("home").string()}),
            arguments);
        ASSERT_EQ(0, result.exit_code) << result.err;
        EXPECT_EQ("[Databases]\nOUTRA = /srv/outra\nBALDERIM = " + file("loja").string() + "\n",
                  read_file(c.Expected));
        EXPECT_NE(std::string::npos, result.out.find(c.Expected.string())) << result.out;
        std::filesystem::remove_all(c.Expected.parent_path());
    }
}

TEST_F(DemoTest, RegisterWithoutAHomeFolderFailsBeforeMakingAnything) {
    const std::vector<std::string> arguments = {"demo", "loja", "--register"};
    const ToolResult result = finish_tool(
        dir(), start_tool(dir(), arguments, "/dev/null", {"XDG_CONFIG_HOME=", "HOME="}), arguments);
    EXPECT_ONE_LINE_FAILURE(result);
    EXPECT_NE(std::string::npos, result.err.find("cannot register")) << result.err;
    EXPECT_FALSE(std::filesystem::exists(file("loja")));
}

TEST_F(DemoTest, TheUniqueIndexesRefuseASecondProductWithTheSameCode) {
    ok({"demo", "loja", "--products", "10"});
    write_file(file("new.csv"), "CodProduto,CodBarras\r\n000011,1\r\n000001,2\r\n000012,3\r\n");
    ToolResult result = tool({"import", "loja/CadProdutos", "new.csv"});
    EXPECT_ONE_LINE_FAILURE(result);
    EXPECT_NE(std::string::npos, result.err.find("new.csv line 3: the row was not written"))
        << result.err;
    EXPECT_NE(std::string::npos, result.err.find("CodProduto")) << result.err;
    EXPECT_EQ(11u, EngineView(file("loja") / "CadProdutos.adt").count());
    EXPECT_EQ(0, tool({"check", "loja/CadProdutos"}).exit_code);
}

TEST_F(DemoTest, DemoWithNoProductsMakesAnEmptyProductTable) {
    ok({"demo", "empty", "--products", "0"});
    EXPECT_EQ(0u, EngineView(file("empty") / "CadProdutos.adt").count());
}

// demo --dictionary: the tables belong to a dictionary whose users are the employees, who may
// read products and add audit rows and nothing else; its passwords are never printed.
TEST_F(DemoTest, ADictionaryDemoMakesTheEmployeesUsersWithTheirRights) {
    constexpr const char* kAdmin = "demo-adm1n";
    ToolResult result = run_tool_with_input(
        dir(), {"demo", "loja", "--products", "5", "--dictionary"}, std::string(kAdmin) + "\n");
    ASSERT_EQ(0, result.exit_code) << result.err;
    for (const char* secret : {kAdmin, "MARIA123", "JOAO456", "ANA789", "CARLOS2024"}) {
        EXPECT_EQ(std::string::npos, result.out.find(secret)) << result.out;
        EXPECT_EQ(std::string::npos, result.err.find(secret)) << result.err;
    }
    const std::filesystem::path dictionary = file("loja") / "Loja.add";
    EXPECT_NE(std::string::npos, result.out.find("BALDERIM = " + dictionary.string()))
        << result.out;
    EXPECT_NE(std::string::npos,
              read_file(file("loja") / "ads.ini").find("BALDERIM = " + dictionary.string()));

    auto log_in = [&](const std::string& user, const std::string& password, ADSHANDLE* handle) {
        std::string text = "Data Source=" + dictionary.string() + ";User ID=" + user +
                           ";Password=\"" + password + "\";";
        return AdsConnect101(u8(text), nullptr, handle);
    };
    // Without a user, as the program connects to its alias, there is no log-in.
    ADSHANDLE none = 0;
    EXPECT_EQ(VE_LOGIN_FAILED, AdsConnect(u8(dictionary.string()), &none));

    ADSHANDLE maria = 0;
    ASSERT_EQ(VE_SUCCESS, log_in("Maria", "MARIA123", &maria))
        << engine::testing::last_error_text();
    auto run = [&](const char* text) {
        ADSHANDLE statement = 0;
        EXPECT_EQ(VE_SUCCESS, AdsCreateSQLStatement(maria, &statement));
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = AdsExecuteSQLDirect(statement, u8(text), &cursor);
        if (cursor != 0) {
            AdsCloseTable(cursor);
        }
        AdsCloseSQLStatement(statement);
        return rc;
    };
    EXPECT_EQ(VE_SUCCESS, run("SELECT * FROM CadProdutos"));
    EXPECT_EQ(VE_SUCCESS, run("INSERT INTO Auditoria (CodProduto, Situacao) VALUES ('000001', "
                              "'CONF ESTOQUE')"));
    EXPECT_EQ(VE_SQL_ERROR, run("UPDATE CadProdutos SET QtdeAtual = 0"));
    EXPECT_EQ(VE_SQL_ERROR, run("DELETE FROM Auditoria"));
    // The staff table, with everyone's password, is the administrator's alone.
    EXPECT_EQ(VE_SQL_ERROR, run("SELECT * FROM CadFuncionariosLojas"));
    AdsDisconnect(maria);
    ADSHANDLE admin = 0;
    ASSERT_EQ(VE_SUCCESS, log_in("Admin", kAdmin, &admin));
    AdsDisconnect(admin);
    // The tables are the dictionary's: a free-table command is refused.
    EXPECT_ONE_LINE_FAILURE(tool({"export", "loja/CadProdutos"}));

    // Made anew on request, with a new dictionary.
    ToolResult again = run_tool_with_input(
        dir(), {"demo", "loja", "--products", "3", "--dictionary"}, std::string(kAdmin) + "\n");
    EXPECT_ONE_LINE_FAILURE(again);
    EXPECT_NE(std::string::npos, again.err.find("exists already")) << again.err;
    ToolResult replaced = run_tool_with_input(
        dir(), {"demo", "loja", "--products", "3", "--dictionary", "--replace"}, "novo-adm\n");
    ASSERT_EQ(0, replaced.exit_code) << replaced.err;
    EXPECT_EQ(VE_LOGIN_FAILED, log_in("Admin", kAdmin, &admin));
    ASSERT_EQ(VE_SUCCESS, log_in("Admin", "novo-adm", &admin));
    AdsDisconnect(admin);
}

}  // namespace
}  // namespace varelum::store::testing
