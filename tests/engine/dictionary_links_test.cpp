// Links between data dictionaries through the C ABI: made and dropped by the administrator,
// listed, refused when they cannot work, and their passwords kept out of every text and out
// of the dictionary file in plain form.
#include <filesystem>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr const char* kAdminPassword = "admin-da-loja";
constexpr const char* kStockAdminPassword = "admin-do-estoque";
constexpr const char* kReaderPassword = "leitor;secreto";
constexpr const char* kAnaPassword = "senha-da-ana";

// Two stores, each with its dictionary in a folder of its own: the shop's ("loja"), whose
// administrator links to the stock's ("estoque"), where the user Leitor may read Saldos.
class DictionaryLinks : public DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        std::filesystem::create_directories(dir_.file("loja"));
        std::filesystem::create_directories(dir_.file("estoque"));
        shop_path_ = dir_.file("loja/loja.add");
        stock_path_ = dir_.file("estoque/estoque.add");
        ASSERT_NO_FATAL_FAILURE(create_dictionary(shop_path_, kAdminPassword, "Loja", &shop_));
        ASSERT_NO_FATAL_FAILURE(
            create_dictionary(stock_path_, kStockAdminPassword, "Estoque", &stock_));
        ASSERT_ADS_OK(AdsDDCreateUser(shop_, nullptr, u8("Ana"), u8(kAnaPassword), nullptr));
        ASSERT_ADS_OK(AdsDDCreateUser(stock_, nullptr, u8("Leitor"), u8(kReaderPassword), nullptr));
    }
    UNSIGNED32 link(const char* name, const std::string& path, const char* user,
                    const char* password, UNSIGNED32 options = 1, ADSHANDLE connection = 0) {
        return AdsDDCreateLink(connection == 0 ? shop_ : connection, u8(name), u8(path),
                               user == nullptr ? nullptr : u8(user),
                               password == nullptr ? nullptr : u8(password), options);
    }

    static std::vector<std::string> links_of(ADSHANDLE connection) {
        return dictionary_object_names(connection, VE_DD_LINK_OBJECT);
    }

    std::string shop_path_, stock_path_;
    ADSHANDLE shop_ = 0, stock_ = 0;
};

TEST_F(DictionaryLinks, TheAdministratorMakesListsAndDropsLinks) {
    ASSERT_ADS_OK(link("Estoque", "../estoque/estoque.add", "leitor", kReaderPassword));
    ASSERT_ADS_OK(link("Arquivo", stock_path_, "Leitor", kReaderPassword, 4));
    EXPECT_EQ(links_of(shop_), (std::vector<std::string>{"Arquivo", "Estoque"}));

    // The password is kept sealed: not in the file as typed, and no listing shows it.
    EXPECT_EQ(read_file(shop_path_).find(kReaderPassword), std::string::npos);

    // Every user sees which links exist; only the administrator changes them.
    ADSHANDLE ana = 0;
    ASSERT_ADS_OK(log_in(shop_path_, "Ana", kAnaPassword, &ana));
    EXPECT_EQ(links_of(ana), (std::vector<std::string>{"Arquivo", "Estoque"}));
    EXPECT_EQ(link("Outro", stock_path_, "Leitor", kReaderPassword, 1, ana), VE_PERMISSION_DENIED);
    EXPECT_EQ(AdsDDDropLink(ana, u8("Estoque"), 1), VE_PERMISSION_DENIED);
    ASSERT_ADS_OK(AdsDisconnect(ana));

    // A global link is taken from every user only on purpose.
    EXPECT_EQ(AdsDDDropLink(shop_, u8("ESTOQUE"), 0), VE_INVALID_ARGUMENT);
    ASSERT_ADS_OK(AdsDDDropLink(shop_, u8("ESTOQUE"), 1));
    ASSERT_ADS_OK(AdsDDDropLink(shop_, u8("Arquivo"), 0));  // not global
    EXPECT_TRUE(links_of(shop_).empty());
    EXPECT_EQ(AdsDDDropLink(shop_, u8("Estoque"), 1), VE_DICTIONARY_ONLY);
    EXPECT_NE(last_error_text().find("Estoque"), std::string::npos) << last_error_text();

    // A free-table connection has no links to make.
    EXPECT_EQ(link("Estoque", stock_path_, "Leitor", kReaderPassword, 1, connection_),
              VE_DICTIONARY_ONLY);
}

TEST_F(DictionaryLinks, ALinkThatCannotWorkIsRefusedWhenMade) {
    ASSERT_ADS_OK(link("Estoque", stock_path_, "Leitor", kReaderPassword));
    struct Case {
        const char* name;
        std::string path;
        const char* user;
        const char* password;
        UNSIGNED32 options;
        UNSIGNED32 expected;
    };
    const std::vector<Case> cases = {
        {"Outro", stock_path_, "Leitor", "leitor;errado", 1, VE_LOGIN_FAILED},
        {"Outro", stock_path_, "Fulano", kReaderPassword, 1, VE_LOGIN_FAILED},
        {"Outro", stock_path_, "", "", 1, VE_INVALID_ARGUMENT},
        {"Outro", dir_.file("nada/nada.add"), "Leitor", kReaderPassword, 1, VE_PATH_NOT_FOUND},
        {"Outro", dir_.file("estoque"), "Leitor", kReaderPassword, 1, VE_INVALID_ARGUMENT},
        {"Outro", shop_path_, "Admin", kAdminPassword, 1, VE_INVALID_ARGUMENT},  // itself
        {"Outro", stock_path_, "Leitor", kReaderPassword, 8, VE_INVALID_ARGUMENT},
        {"main", stock_path_, "Leitor", kReaderPassword, 1, VE_INVALID_ARGUMENT},
        {"a.b", stock_path_, "Leitor", kReaderPassword, 1, VE_INVALID_ARGUMENT},
        {"ESTOQUE", stock_path_, "Leitor", kReaderPassword, 1, VE_DD_OBJECT_EXISTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.path + " " + c.user);
        EXPECT_EQ(link(c.name, c.path, c.user, c.password, c.options), c.expected);
        const std::string error = last_error_text();
        EXPECT_EQ(error.find(c.password[0] != '\0' ? c.password : "\x01"), std::string::npos)
            << error;
    }
    EXPECT_EQ(links_of(shop_), (std::vector<std::string>{"Estoque"}));
    // A wrong password names the user and the linked dictionary, never the password.
    EXPECT_EQ(link("Outro", stock_path_, "Leitor", "leitor;errado"), VE_LOGIN_FAILED);
    EXPECT_NE(last_error_text().find("Leitor"), std::string::npos) << last_error_text();
    EXPECT_NE(last_error_text().find(stock_path_), std::string::npos) << last_error_text();
}

// The shop's and the stock's tables for statements across a link: the shop's Produtos (Ana
// may read them) and the stock's Saldos (Leitor may read them) and Custos (nobody but its
// administrator).
class LinkedStatements : public DictionaryLinks {
  protected:
    void SetUp() override {
        DictionaryLinks::SetUp();
        make_table(shop_, "Produtos", "Codigo,Char,10;Nome,Char,20;",
                   {{"A1", "Agua"}, {"B2", "Bolo"}, {"C3", "Cafe"}});
        make_table(stock_, "Saldos", "Codigo,Char,10;Saldo,Integer;", {{"A1", "5"}, {"B2", "7"}});
        make_table(stock_, "Custos", "Codigo,Char,10;Saldo,Integer;", {{"A1", "100"}});
        ASSERT_ADS_OK(
            AdsDDGrantPermission(shop_, u8("Produtos"), nullptr, u8("Ana"), VE_DD_RIGHT_READ));
        ASSERT_ADS_OK(
            AdsDDGrantPermission(stock_, u8("Saldos"), nullptr, u8("Leitor"), VE_DD_RIGHT_READ));
        ASSERT_ADS_OK(link("Estoque", "../estoque/estoque.add", "Leitor", kReaderPassword));
    }

    void make_table(ADSHANDLE dictionary, const char* name, const char* fields,
                    const std::vector<std::pair<std::string, std::string>>& rows) {
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(AdsCreateTable90(dictionary, u8(name), nullptr, 0, VE_CHARTYPE_ANSI,
                                       VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, u8(fields), 0,
                                       u8("ANSI"), &table));
        UNSIGNED16 count = 0;
        ASSERT_ADS_OK(AdsGetNumFields(table, &count));
        for (const auto& [first, second] : rows) {
            UNSIGNED8 second_field[129];
            UNSIGNED16 length = sizeof second_field;
            ASSERT_ADS_OK(AdsGetFieldName(table, 2, second_field, &length));
            append_row(table,
                       {{"Codigo", first}, {reinterpret_cast<const char*>(second_field), second}});
        }
        ASSERT_ADS_OK(AdsCloseTable(table));
    }

    ADSHANDLE ana() {
        ADSHANDLE handle = 0;
        EXPECT_ADS_OK(log_in(shop_path_, "Ana", kAnaPassword, &handle));
        return handle;
    }

    // Runs a statement: its result code; a query's rows as "field|field" texts in *rows.
    static UNSIGNED32 run(ADSHANDLE connection, const std::string& text,
                          const std::vector<const char*>& fields = {},
                          std::vector<std::string>* rows = nullptr) {
        ADSHANDLE statement = 0;
        EXPECT_ADS_OK(AdsCreateSQLStatement(connection, &statement));
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = AdsExecuteSQLDirect(statement, u8(text), &cursor);
        last_sql_error_ = rc == VE_SUCCESS ? "" : last_error_text();
        if (cursor != 0) {
            if (rows != nullptr) {
                EXPECT_ADS_OK(AdsGotoTop(cursor));
                while (!at_eof(cursor)) {
                    std::string row;
                    for (const char* field : fields) {
                        row += (row.empty() ? "" : "|") + text_of(cursor, field);
                    }
                    rows->push_back(row);
                    EXPECT_ADS_OK(AdsSkip(cursor, 1));
                }
            }
            EXPECT_ADS_OK(AdsCloseTable(cursor));
        }
        EXPECT_ADS_OK(AdsCloseSQLStatement(statement));
        return rc;
    }

    static std::string text_of(ADSHANDLE cursor, const char* field) {
        return EngineTest::text(cursor, field, VE_TRIM_RIGHT);
    }

    static std::string active_link(ADSHANDLE connection, UNSIGNED16 number) {
        UNSIGNED8 info[665];
        UNSIGNED16 length = 664;
        UNSIGNED32 rc = AdsGetActiveLinkInfo(connection, number, info, &length);
        if (rc != VE_SUCCESS) {
            return "<error " + std::to_string(rc) + ">";
        }
        return std::string(reinterpret_cast<char*>(info), length);
    }

    static UNSIGNED16 active_links(ADSHANDLE connection) {
        UNSIGNED16 count = 99;
        EXPECT_ADS_OK(AdsGetNumActiveLinks(connection, &count));
        return count;
    }

    static inline std::string last_sql_error_;
};

TEST_F(LinkedStatements, AJoinReadsALocalAndALinkedTable) {
    ADSHANDLE shop_user = ana();
    EXPECT_EQ(active_links(shop_user), 0);
    std::vector<std::string> rows;
    ASSERT_ADS_OK(run(shop_user,
                      "SELECT p.Nome, s.Saldo FROM Produtos p JOIN Estoque.Saldos s "
                      "ON s.Codigo = p.Codigo ORDER BY p.Codigo",
                      {"Nome", "Saldo"}, &rows))
        << last_sql_error_;
    EXPECT_EQ(rows, (std::vector<std::string>{"Agua|5", "Bolo|7"}));

    // The statement opened the link, once, with the link's user on the linked side.
    EXPECT_EQ(active_links(shop_user), 1);
    EXPECT_EQ(active_link(shop_user, 1), "Estoque;" + stock_path_ + ";Leitor;");
    rows.clear();
    ASSERT_ADS_OK(
        run(shop_user, "SELECT Saldo FROM estoque.SALDOS WHERE Codigo = 'B2'", {"Saldo"}, &rows))
        << last_sql_error_;
    EXPECT_EQ(rows, (std::vector<std::string>{"7"}));
    EXPECT_EQ(active_links(shop_user), 1);
    EXPECT_EQ(active_link(shop_user, 2), "<error " + std::to_string(VE_DICTIONARY_ONLY) + ">");
    // Links are the connection's own.
    EXPECT_EQ(active_links(shop_), 0);
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, TheLinkedSideRefusesWhatItsUserMayNotDo) {
    ADSHANDLE shop_user = ana();
    // Leitor may only read Saldos, and nothing of Custos: so may whoever uses the link.
    for (const std::string statement :
         {"UPDATE Estoque.Saldos SET Saldo = 0", "DELETE FROM Estoque.Saldos",
          "INSERT INTO Estoque.Saldos (Codigo, Saldo) VALUES ('Z9', 1)",
          "SELECT * FROM Estoque.Custos"}) {
        SCOPED_TRACE(statement);
        EXPECT_EQ(run(shop_user, statement), VE_SQL_ERROR);
        EXPECT_NE(last_sql_error_.find("NativeError = 2123"), std::string::npos) << last_sql_error_;
    }
    std::vector<std::string> rows;
    ASSERT_ADS_OK(run(stock_, "SELECT Saldo FROM Saldos ORDER BY Codigo", {"Saldo"}, &rows));
    EXPECT_EQ(rows, (std::vector<std::string>{"5", "7"}));

    // The stock's administrator grants Leitor the update right: a new connection may update.
    ASSERT_ADS_OK(
        AdsDDGrantPermission(stock_, u8("Saldos"), nullptr, u8("Leitor"), VE_DD_RIGHT_UPDATE));
    ADSHANDLE again = ana();
    ASSERT_ADS_OK(run(again, "UPDATE Estoque.Saldos SET Saldo = Saldo + 1")) << last_sql_error_;
    rows.clear();
    ASSERT_ADS_OK(run(stock_, "SELECT Saldo FROM Saldos ORDER BY Codigo", {"Saldo"}, &rows));
    EXPECT_EQ(rows, (std::vector<std::string>{"6", "8"}));
    ASSERT_ADS_OK(AdsDisconnect(again));
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, ALinkThatFailsIsAClearSqlError) {
    ASSERT_ADS_OK(link("Privado", stock_path_, "Leitor", kReaderPassword, 0));  // not global
    ADSHANDLE shop_user = ana();
    struct Case {
        const char* statement;
        const char* native;
    };
    for (const Case& c : {Case{"SELECT * FROM Nenhum.Saldos", "NativeError = 2124"},
                          Case{"SELECT * FROM Estoque.Nada", "NativeError = 2102"},
                          Case{"SELECT * FROM Privado.Saldos", "NativeError = 2123"}}) {
        SCOPED_TRACE(c.statement);
        EXPECT_EQ(run(shop_user, c.statement), VE_SQL_ERROR);
        EXPECT_NE(last_sql_error_.find(c.native), std::string::npos) << last_sql_error_;
    }
    // The administrator may use a link that is not global.
    ASSERT_ADS_OK(run(shop_, "SELECT * FROM Privado.Saldos")) << last_sql_error_;
    EXPECT_EQ(active_link(shop_, 1), "Privado;" + stock_path_ + ";Leitor;");
    ASSERT_ADS_OK(AdsDisconnect(shop_user));

    // Leitor's password changes on the linked side: the link's log-in is refused there, and
    // neither password shows.
    ASSERT_ADS_OK(AdsDDSetUserPassword(stock_, u8("Leitor"), u8("nova;senha")));
    shop_user = ana();
    EXPECT_EQ(run(shop_user, "SELECT * FROM Estoque.Saldos"), VE_SQL_ERROR);
    EXPECT_NE(last_sql_error_.find("NativeError = 2125"), std::string::npos) << last_sql_error_;
    EXPECT_NE(last_sql_error_.find("Leitor"), std::string::npos) << last_sql_error_;
    EXPECT_EQ(last_sql_error_.find(kReaderPassword), std::string::npos) << last_sql_error_;
    EXPECT_EQ(last_sql_error_.find("nova;senha"), std::string::npos) << last_sql_error_;
    EXPECT_EQ(active_links(shop_user), 0);
    ASSERT_ADS_OK(AdsDisconnect(shop_user));

    // The linked dictionary is gone.
    ASSERT_ADS_OK(AdsDisconnect(stock_));
    stock_ = 0;
    std::filesystem::rename(stock_path_, stock_path_ + ".old");
    shop_user = ana();
    EXPECT_EQ(run(shop_user, "SELECT * FROM Estoque.Saldos"), VE_SQL_ERROR);
    EXPECT_NE(last_sql_error_.find("NativeError = 2126"), std::string::npos) << last_sql_error_;
    EXPECT_NE(last_sql_error_.find(stock_path_), std::string::npos) << last_sql_error_;
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, ADroppedLinkIsNoLongerUsable) {
    ADSHANDLE shop_user = ana();
    ASSERT_ADS_OK(run(shop_user, "SELECT * FROM Estoque.Saldos")) << last_sql_error_;
    ASSERT_ADS_OK(AdsDDDropLink(shop_, u8("Estoque"), 1));
    // Also on a connection that had it open.
    EXPECT_EQ(run(shop_user, "SELECT * FROM Estoque.Saldos"), VE_SQL_ERROR);
    EXPECT_NE(last_sql_error_.find("NativeError = 2124"), std::string::npos) << last_sql_error_;
    EXPECT_EQ(active_links(shop_user), 0);
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, ALinkMayLogInAsTheConnectionsOwnUser) {
    ASSERT_ADS_OK(link("Meu", stock_path_, nullptr, nullptr, 1 | 2));
    // Ana has no user on the stock's side yet: her log-in there is refused.
    ADSHANDLE shop_user = ana();
    EXPECT_EQ(run(shop_user, "SELECT * FROM Meu.Saldos"), VE_SQL_ERROR);
    EXPECT_NE(last_sql_error_.find("NativeError = 2125"), std::string::npos) << last_sql_error_;
    EXPECT_EQ(last_sql_error_.find(kAnaPassword), std::string::npos) << last_sql_error_;
    ASSERT_ADS_OK(AdsDisconnect(shop_user));

    // With the same user and password there, and the read right, she reads.
    ASSERT_ADS_OK(AdsDDCreateUser(stock_, nullptr, u8("Ana"), u8(kAnaPassword), nullptr));
    ASSERT_ADS_OK(AdsDDGrantPermission(stock_, u8("Saldos"), nullptr, u8("Ana"), VE_DD_RIGHT_READ));
    shop_user = ana();
    std::vector<std::string> rows;
    ASSERT_ADS_OK(run(shop_user, "SELECT Codigo FROM Meu.Saldos", {"Codigo"}, &rows))
        << last_sql_error_;
    EXPECT_EQ(rows, (std::vector<std::string>{"A1", "B2"}));
    EXPECT_EQ(active_link(shop_user, 1), "Meu;" + stock_path_ + ";Ana;");
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, TheLiveCursorOfAQueryHasTheUsersRights) {
    // Ana may only read Produtos: the live cursor of a plain SELECT refuses her changes as
    // the table itself does.
    ADSHANDLE shop_user = ana();
    ADSHANDLE statement = 0;
    ASSERT_ADS_OK(AdsCreateSQLStatement(shop_user, &statement));
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(AdsExecuteSQLDirect(statement, u8("SELECT * FROM Produtos"), &cursor));
    ASSERT_ADS_OK(AdsGotoTop(cursor));
    EXPECT_EQ(AdsSetField(cursor, u8("Nome"), u8("Xarope"), 6), VE_PERMISSION_DENIED);
    EXPECT_EQ(AdsAppendRecord(cursor), VE_PERMISSION_DENIED);
    EXPECT_EQ(AdsDeleteRecord(cursor), VE_PERMISSION_DENIED);
    ASSERT_ADS_OK(AdsCloseSQLStatement(statement));
    std::vector<std::string> rows;
    ASSERT_ADS_OK(run(shop_, "SELECT Nome FROM Produtos", {"Nome"}, &rows));
    EXPECT_EQ(rows, (std::vector<std::string>{"Agua", "Bolo", "Cafe"}));
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, TheTablesOfTheDictionaryAndOfItsLinksAreListed) {
    ADSHANDLE shop_user = ana();
    std::vector<std::string> found;
    UNSIGNED8 link[261], name[261];
    UNSIGNED16 link_length = 260, name_length = 260;
    ADSHANDLE find = 0;
    UNSIGNED32 rc =
        AdsFindFirstTable62(shop_user, u8(""), link, &link_length, name, &name_length, &find);
    while (rc == VE_SUCCESS) {
        found.push_back(std::string(reinterpret_cast<char*>(link), link_length) + "|" +
                        std::string(reinterpret_cast<char*>(name), name_length));
        link_length = name_length = 260;
        rc = AdsFindNextTable62(shop_user, find, link, &link_length, name, &name_length);
    }
    EXPECT_EQ(rc, VE_NO_MORE_TABLES) << last_error_text();
    ASSERT_ADS_OK(AdsFindClose(shop_user, find));
    EXPECT_EQ(found, (std::vector<std::string>{"|Produtos", "Estoque|Custos", "Estoque|Saldos"}));
    EXPECT_EQ(active_links(shop_user), 1);

    // The plain form lists the dictionary's own tables by name.
    name_length = 260;
    ASSERT_ADS_OK(AdsFindFirstTable(shop_user, u8(""), name, &name_length, &find));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), name_length), "Produtos");
    name_length = 260;
    EXPECT_EQ(AdsFindNextTable(shop_user, find, name, &name_length), VE_NO_MORE_TABLES);
    ASSERT_ADS_OK(AdsFindClose(shop_user, find));
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, ALinkedTableJoinsTheConnectionsTransaction) {
    ASSERT_ADS_OK(
        AdsDDGrantPermission(stock_, u8("Saldos"), nullptr, u8("Leitor"), VE_DD_RIGHT_UPDATE));
    ADSHANDLE shop_user = ana();
    ASSERT_ADS_OK(AdsBeginTransaction(shop_user));
    ASSERT_ADS_OK(run(shop_user, "UPDATE Estoque.Saldos SET Saldo = 0")) << last_sql_error_;
    ASSERT_ADS_OK(AdsRollbackTransaction(shop_user));
    std::vector<std::string> rows;
    ASSERT_ADS_OK(run(stock_, "SELECT Saldo FROM Saldos ORDER BY Codigo", {"Saldo"}, &rows));
    EXPECT_EQ(rows, (std::vector<std::string>{"5", "7"}));

    ASSERT_ADS_OK(AdsBeginTransaction(shop_user));
    ASSERT_ADS_OK(run(shop_user, "UPDATE Estoque.Saldos SET Saldo = 1 WHERE Codigo = 'A1'"))
        << last_sql_error_;
    ASSERT_ADS_OK(AdsCommitTransaction(shop_user));
    rows.clear();
    ASSERT_ADS_OK(run(stock_, "SELECT Saldo FROM Saldos ORDER BY Codigo", {"Saldo"}, &rows));
    EXPECT_EQ(rows, (std::vector<std::string>{"1", "7"}));
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

TEST_F(LinkedStatements, ATableCallOpensALinkedTableWithTheLinksRights) {
    ADSHANDLE shop_user = ana();
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Estoque.Saldos", &table, 0, shop_user));
    EXPECT_EQ(active_links(shop_user), 1);
    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_EQ(text_of(table, "Saldo"), "5");
    EXPECT_EQ(AdsSetField(table, u8("Saldo"), u8("0"), 1), VE_PERMISSION_DENIED);
    ASSERT_ADS_OK(AdsCloseTable(table));
    EXPECT_EQ(open("Estoque.Custos", &table, 0, shop_user), VE_PERMISSION_DENIED);
    EXPECT_EQ(open("Nenhum.Saldos", &table, 0, shop_user), VE_DICTIONARY_ONLY);
    // The linked file stays its own dictionary's: no free connection opens it.
    EXPECT_EQ(open(dir_.file("estoque/Saldos.adt"), &table), VE_BOUND_TO_DICTIONARY);
    ASSERT_ADS_OK(AdsDisconnect(shop_user));
}

}  // namespace
}  // namespace varelum::engine::testing
