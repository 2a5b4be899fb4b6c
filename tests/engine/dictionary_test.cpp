// Data dictionaries through the C ABI: log-in, tables found by name, rights enforced on every
// table call, tables bound to their dictionary, the administrator's changes, properties and
// lists of objects.
#include <array>
#include <fstream>
#include <iterator>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr const char* kAdminPassword = "s3nha-do-admin";
constexpr const char* kAnaPassword = "ana;pw";

class Dictionaries : public DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        dictionary_ = dir_.file("loja.add");
        ASSERT_NO_FATAL_FAILURE(create_dictionary(dictionary_, kAdminPassword, "Loja", &admin_));
        for (const char* name : {"Produtos", "Auditoria", "Segredos"}) {
            ADSHANDLE table = 0;
            ASSERT_ADS_OK(AdsCreateTable90(
                admin_, u8(name), nullptr, 0, VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY,
                VE_RIGHTS_CHECK, 0, u8("Codigo,Char,10;Qtde,Integer;"), 0, u8("ANSI"), &table));
            append_row(table, {{"Codigo", "A1"}, {"Qtde", "3"}});
            ASSERT_ADS_OK(AdsCloseTable(table));
        }
        ASSERT_ADS_OK(AdsDDCreateUserGroup(admin_, u8("Caixas"), u8("")));
        ASSERT_ADS_OK(AdsDDCreateUser(admin_, u8("Caixas"), u8("Ana"), u8(kAnaPassword), nullptr));
        ASSERT_ADS_OK(
            AdsDDGrantPermission(admin_, u8("Produtos"), nullptr, u8("Caixas"), VE_DD_RIGHT_READ));
        ASSERT_ADS_OK(AdsDDGrantPermission(admin_, u8("Auditoria"), nullptr, u8("Caixas"),
                                           VE_DD_RIGHT_READ | VE_DD_RIGHT_INSERT));
    }
    using DictionaryTest::log_in;
    UNSIGNED32 log_in(const std::string& user, const std::string& password, ADSHANDLE* handle) {
        return log_in(dictionary_, user, password, handle);
    }

    ADSHANDLE ana() {
        ADSHANDLE handle = 0;
        EXPECT_ADS_OK(log_in("Ana", kAnaPassword, &handle));
        return handle;
    }

    static UNSIGNED32 open_options(ADSHANDLE table) {
        UNSIGNED32 options = 0;
        EXPECT_ADS_OK(AdsGetTableOpenOptions(table, &options));
        return options;
    }

    static UNSIGNED8 column_permissions(ADSHANDLE table, const char* field) {
        UNSIGNED8 permissions = 0;
        EXPECT_ADS_OK(AdsGetColumnPermissions(table, u8(field), &permissions));
        return permissions;
    }

    static std::vector<std::string> names(ADSHANDLE connection, UNSIGNED16 type,
                                          const char* parent = nullptr) {
        return dictionary_object_names(connection, type, parent);
    }

    // Runs one statement on a connection; the result code, the rows of a query in *rows and
    // the first row's value of the field `first_of` in *first.
    static UNSIGNED32 sql(ADSHANDLE connection, const std::string& text, UNSIGNED32* rows = nullptr,
                          const char* first_of = nullptr, std::string* first = nullptr) {
        ADSHANDLE statement = 0;
        EXPECT_ADS_OK(AdsCreateSQLStatement(connection, &statement));
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = AdsExecuteSQLDirect(statement, u8(text), &cursor);
        std::string error = rc == VE_SUCCESS ? "" : last_error_text();
        if (rows != nullptr) {
            *rows = 0;
        }
        if (cursor != 0) {
            if (rows != nullptr) {
                EXPECT_ADS_OK(AdsGetRecordCount(cursor, VE_IGNORE_FILTERS, rows));
            }
            if (first != nullptr) {
                EXPECT_ADS_OK(AdsGotoTop(cursor));
                *first = EngineTest::text(cursor, first_of, VE_TRIM_RIGHT);
            }
            EXPECT_ADS_OK(AdsCloseTable(cursor));
        }
        EXPECT_ADS_OK(AdsCloseSQLStatement(statement));
        last_sql_error_ = error;
        return rc;
    }

    std::string dictionary_;
    ADSHANDLE admin_ = 0;
    static inline std::string last_sql_error_;
};

TEST_F(Dictionaries, LogInNeedsAKnownUserAndHisPassword) {
    struct Case {
        std::string user, password;
        UNSIGNED32 expected;
    };
    const std::vector<Case> cases = {
        {"Ana", kAnaPassword, VE_SUCCESS},
        {"ANA", kAnaPassword, VE_SUCCESS},  // user names ignore case; passwords do not
        {"Ana", "ANA;PW", VE_LOGIN_FAILED},
        {"Ana", "", VE_LOGIN_FAILED},
        {"Bruno", kAnaPassword, VE_LOGIN_FAILED},
        {"", "", VE_LOGIN_FAILED},
        {"Admin", kAdminPassword, VE_SUCCESS},
    };
    for (const auto& c : cases) {
        ADSHANDLE handle = 0;
        EXPECT_EQ(c.expected, log_in(c.user, c.password, &handle)) << c.user << "/" << c.password;
        if (c.expected == VE_SUCCESS) {
            // The password is checked, not kept.
            UNSIGNED8 kept[64] = {1};
            UNSIGNED32 length = sizeof kept;
            EXPECT_ADS_OK(
                AdsGetConnectionProperty(handle, VE_CONNECTION_PROP_PASSWORD, kept, &length));
            EXPECT_EQ(0u, length);
            EXPECT_ADS_OK(AdsDisconnect(handle));
        } else {
            // The same answer for an unknown user and a wrong password, and never the password.
            EXPECT_NE(std::string::npos, last_error_text().find("user name or password"));
            if (!c.password.empty()) {
                EXPECT_EQ(std::string::npos, last_error_text().find(c.password));
            }
        }
    }
    ADSHANDLE handle = 0;
    EXPECT_EQ(VE_LOGIN_FAILED, AdsConnect(u8(dictionary_), &handle));
    EXPECT_EQ(VE_PATH_NOT_FOUND,
              AdsConnect101(u8("Data Source=" + dir_.file("outra.add") + ";User ID=Ana;"), nullptr,
                            &handle));
}

TEST_F(Dictionaries, NoPasswordIsStoredInTheFile) {
    ASSERT_ADS_OK(AdsDisconnect(admin_));
    admin_ = 0;
    std::ifstream file(dictionary_, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(std::string::npos, bytes.find(kAdminPassword));
    EXPECT_EQ(std::string::npos, bytes.find(kAnaPassword));
}

TEST_F(Dictionaries, AReadOnlyUserIsRefusedEveryChange) {
    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Produtos", &table, 0, connection));
    EXPECT_EQ(0u, open_options(table) & (VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT));
    EXPECT_EQ(VE_COLUMN_READ, column_permissions(table, "Qtde"));
    EXPECT_EQ("A1        ", text(table, "Codigo"));

    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsSetField(table, u8("Qtde"), u8("9"), 1));
    EXPECT_NE(std::string::npos,
              last_error_text().find("Update permission not granted on this table."));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsAppendRecord(table));
    EXPECT_NE(std::string::npos,
              last_error_text().find("Insert permission not granted on this table."));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsDeleteRecord(table));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsZapTable(table));
    EXPECT_ADS_OK(AdsCloseTable(table));

    // Nothing changed, as the administrator sees.
    ASSERT_ADS_OK(open("Produtos", &table, 0, admin_));
    EXPECT_EQ("3", text(table, "Qtde", VE_TRIM_LEFT));
    UNSIGNED32 count = 0;
    EXPECT_ADS_OK(AdsGetRecordCount(table, VE_IGNORE_FILTERS, &count));
    EXPECT_EQ(1u, count);
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));
}

TEST_F(Dictionaries, InsertRightAllowsAppendingButNotUpdating) {
    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("auditoria.adt", &table, 0, connection));  // name with extension, any case
    EXPECT_EQ(VE_TABLE_RIGHT_INSERT,
              open_options(table) & (VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT));
    EXPECT_EQ(VE_COLUMN_READ | VE_COLUMN_INSERT, column_permissions(table, "Codigo"));
    append_row(table, {{"Codigo", "B2"}, {"Qtde", "1"}});
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsSetField(table, u8("Qtde"), u8("2"), 1));
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));
}

TEST_F(Dictionaries, AColumnsOwnRightsNarrowTheTables) {
    ASSERT_ADS_OK(
        AdsDDGrantPermission(admin_, u8("Produtos"), nullptr, u8("Ana"), VE_DD_RIGHT_UPDATE));
    ASSERT_ADS_OK(AdsDDRevokePermission(admin_, u8("Produtos"), u8("Qtde"), u8("Caixas"),
                                        VE_DD_RIGHT_UPDATE));
    ASSERT_ADS_OK(
        AdsDDRevokePermission(admin_, u8("Produtos"), u8("Qtde"), u8("Ana"), VE_DD_RIGHT_UPDATE));
    UNSIGNED32 rights = 0;
    EXPECT_ADS_OK(AdsDDGetPermissions(admin_, u8("Produtos"), u8("Qtde"), u8("Ana"), &rights));
    EXPECT_EQ(VE_DD_RIGHT_READ, rights);

    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Produtos", &table, 0, connection));
    EXPECT_EQ(VE_TABLE_RIGHT_UPDATE,
              open_options(table) & (VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT));
    EXPECT_EQ(VE_COLUMN_READ | VE_COLUMN_UPDATE, column_permissions(table, "Codigo"));
    EXPECT_EQ(VE_COLUMN_READ, column_permissions(table, "Qtde"));
    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_ADS_OK(AdsSetField(table, u8("Codigo"), u8("A2"), 2));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsSetField(table, u8("Qtde"), u8("7"), 1));
    EXPECT_NE(std::string::npos,
              last_error_text().find("Update permission not granted on this field: Qtde."));
    EXPECT_ADS_OK(AdsWriteRecord(table));
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));
}

TEST_F(Dictionaries, WithoutTheReadRightATableDoesNotOpen) {
    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_PERMISSION_DENIED, open("Segredos", &table, 0, connection));
    EXPECT_NE(std::string::npos,
              last_error_text().find("Read permission not granted on this table."));
    // Nor by its path.
    EXPECT_EQ(VE_PERMISSION_DENIED, open(dir_.file("Segredos.adt"), &table, 0, connection));
    EXPECT_ADS_OK(AdsDisconnect(connection));
}

TEST_F(Dictionaries, ABoundTableIsRefusedAsAFreeTableUntilItIsRemoved) {
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open("Produtos", &table));
    EXPECT_NE(std::string::npos, last_error_text().find("loja.add"));
    EXPECT_EQ(VE_NOT_SUPPORTED, open("loja.add", &table));  // a dictionary is no table
    // Nor may a free connection make it anew over the dictionary's file.
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY,
              AdsCreateTable90(connection_, u8("Produtos"), nullptr, VE_TABLE_TYPE_ADT,
                               VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                               u8("X,Integer;"), 0, u8("ANSI"), &table));

    ASSERT_ADS_OK(AdsDDRemoveTable(admin_, u8("Produtos"), 0));
    ASSERT_ADS_OK(open("Produtos", &table));
    EXPECT_EQ("A1        ", text(table, "Codigo"));
    EXPECT_ADS_OK(AdsCloseTable(table));
    // Registered again by its path, it is the dictionary's again.
    ASSERT_ADS_OK(AdsDDAddTable(admin_, u8("Estoque"), u8("Produtos.adt")));
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open("Produtos", &table));
    ASSERT_ADS_OK(open("Estoque", &table, 0, admin_));
    EXPECT_ADS_OK(AdsCloseTable(table));
}

TEST_F(Dictionaries, NamesNotInTheDictionaryAnswer5132AndFreeFilesOpenByPath) {
    ADSHANDLE table = create("Livre", "N,Integer;");
    append_row(table, {{"N", "5"}});
    ASSERT_ADS_OK(AdsCloseTable(table));
    ADSHANDLE connection = ana();
    EXPECT_EQ(VE_DICTIONARY_ONLY, open("Livre", &table, 0, connection));
    // As the components ask again: the database path (the dictionary's) and the name.
    ASSERT_ADS_OK(open(dictionary_ + "\\Livre", &table, 0, connection));
    EXPECT_EQ(VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT,
              open_options(table) & (VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT));
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));
}

TEST_F(Dictionaries, OnlyTheAdministratorChangesTheDictionary) {
    ADSHANDLE connection = ana();
    EXPECT_EQ(VE_PERMISSION_DENIED,
              AdsDDCreateUser(connection, nullptr, u8("Eva"), u8("x"), nullptr));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsDDGrantPermission(connection, u8("Produtos"), nullptr,
                                                         u8("Ana"), VE_DD_RIGHT_UPDATE));
    EXPECT_EQ(VE_PERMISSION_DENIED,
              AdsDDRenameObject(connection, u8("Produtos"), u8("P"), VE_DD_TABLE_OBJECT, 0));
    ADSHANDLE table = 0;
    EXPECT_EQ(
        VE_PERMISSION_DENIED,
        AdsCreateTable90(connection, u8("Nova"), nullptr, 0, VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY,
                         VE_RIGHTS_CHECK, 0, u8("X,Integer;"), 0, u8("ANSI"), &table));
    EXPECT_ADS_OK(AdsDisconnect(connection));

    ADSHANDLE free_connection = connection_;
    EXPECT_EQ(VE_DICTIONARY_ONLY,
              AdsDDCreateUser(free_connection, nullptr, u8("Eva"), u8("x"), nullptr));
    EXPECT_EQ(VE_DD_OBJECT_EXISTS, AdsDDCreateUser(admin_, nullptr, u8("ana"), u8("x"), nullptr));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsDDDeleteUser(admin_, u8("Admin")));
}

TEST_F(Dictionaries, DeletingAUserDropsHisRightsAndHisLogIn) {
    ASSERT_ADS_OK(
        AdsDDGrantPermission(admin_, u8("Segredos"), nullptr, u8("Ana"), VE_DD_RIGHT_READ));
    ASSERT_ADS_OK(AdsDDDeleteUser(admin_, u8("Ana")));
    ADSHANDLE handle = 0;
    EXPECT_EQ(VE_LOGIN_FAILED, log_in("Ana", kAnaPassword, &handle));
    ASSERT_ADS_OK(AdsDDCreateUser(admin_, nullptr, u8("Ana"), u8("nova"), nullptr));
    ASSERT_ADS_OK(log_in("Ana", "nova", &handle));
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_PERMISSION_DENIED, open("Segredos", &table, 0, handle));
    EXPECT_ADS_OK(AdsDisconnect(handle));
}

TEST_F(Dictionaries, PropertiesOfTheDatabaseUsersAndTables) {
    UNSIGNED16 version = 0;
    UNSIGNED16 length = sizeof version;
    EXPECT_ADS_OK(AdsDDGetDatabaseProperty(admin_, VE_DD_VERSION_MAJOR, &version, &length));
    EXPECT_EQ(1, version);
    UNSIGNED16 minor = 3;
    ASSERT_ADS_OK(AdsDDSetDatabaseProperty(admin_, VE_DD_VERSION_MINOR, &minor, sizeof minor));
    length = sizeof version;
    EXPECT_ADS_OK(AdsDDGetDatabaseProperty(admin_, VE_DD_VERSION_MINOR, &version, &length));
    EXPECT_EQ(3, version);

    // The groups of a user: the length first, then the text.
    ASSERT_ADS_OK(AdsDDCreateUserGroup(admin_, u8("Gerentes"), nullptr));
    ASSERT_ADS_OK(AdsDDAddUserToGroup(admin_, u8("Gerentes"), u8("Ana")));
    ADSHANDLE connection = ana();
    length = 0;
    EXPECT_EQ(
        VE_BUFFER_TOO_SMALL,
        AdsDDGetUserProperty(connection, u8("Ana"), VE_DD_USER_GROUP_MEMBERSHIP, nullptr, &length));
    ASSERT_EQ(std::string("Caixas;Gerentes").size() + 1, length);
    std::vector<char> groups(length);
    EXPECT_ADS_OK(AdsDDGetUserProperty(connection, u8("Ana"), VE_DD_USER_GROUP_MEMBERSHIP,
                                       groups.data(), &length));
    EXPECT_EQ("Caixas;Gerentes", std::string(groups.data()));
    // Another user's properties are the administrator's to read.
    EXPECT_EQ(VE_PERMISSION_DENIED,
              AdsDDGetUserProperty(connection, u8("Admin"), VE_DD_USER_GROUP_MEMBERSHIP, nullptr,
                                   &length));
    EXPECT_ADS_OK(AdsDisconnect(connection));
    length = 0;
    EXPECT_EQ(
        VE_DD_PROPERTY_NOT_SET,
        AdsDDGetUserProperty(admin_, u8("Admin"), VE_DD_USER_GROUP_MEMBERSHIP, nullptr, &length));

    char index[200];
    length = sizeof index;
    EXPECT_EQ(
        VE_DD_PROPERTY_NOT_SET,
        AdsDDGetTableProperty(admin_, u8("Produtos"), VE_DD_TABLE_DEFAULT_INDEX, index, &length));
    ASSERT_ADS_OK(
        AdsDDSetTableProperty(admin_, u8("Produtos"), VE_DD_TABLE_DEFAULT_INDEX, "CODIGO", 6));
    length = sizeof index;
    EXPECT_ADS_OK(
        AdsDDGetTableProperty(admin_, u8("produtos"), VE_DD_TABLE_DEFAULT_INDEX, index, &length));
    EXPECT_EQ("CODIGO", std::string(index));
    length = sizeof index;
    EXPECT_EQ(VE_DICTIONARY_ONLY,
              AdsDDGetTableProperty(admin_, u8("Nada"), VE_DD_TABLE_DEFAULT_INDEX, index, &length));
}

TEST_F(Dictionaries, ObjectsAreListedByKind) {
    EXPECT_EQ((std::vector<std::string>{"Auditoria", "Produtos", "Segredos"}),
              names(admin_, VE_DD_TABLE_OBJECT));
    EXPECT_EQ((std::vector<std::string>{"Admin", "Ana"}), names(admin_, VE_DD_USER_OBJECT));
    EXPECT_EQ((std::vector<std::string>{"Ana"}), names(admin_, VE_DD_USER_OBJECT, "caixas"));
    EXPECT_EQ((std::vector<std::string>{"Caixas"}), names(admin_, VE_DD_USER_GROUP_OBJECT));
    EXPECT_TRUE(names(admin_, VE_DD_PROCEDURE_OBJECT).empty());
}

TEST_F(Dictionaries, ATableIsRenamedInTheDictionaryAndKeepsItsRights) {
    ASSERT_ADS_OK(AdsDDRenameObject(admin_, u8("Produtos"), u8("Estoque"), VE_DD_TABLE_OBJECT, 0));
    ADSHANDLE connection = ana();
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_DICTIONARY_ONLY, open("Produtos", &table, 0, connection));
    ASSERT_ADS_OK(open("Estoque", &table, 0, connection));
    EXPECT_EQ(0u, open_options(table) & VE_TABLE_RIGHT_UPDATE);
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_ADS_OK(AdsDisconnect(connection));
    EXPECT_EQ(VE_DD_OBJECT_EXISTS,
              AdsDDRenameObject(admin_, u8("Estoque"), u8("auditoria"), VE_DD_TABLE_OBJECT, 0));
}

TEST_F(Dictionaries, StatementsHaveTheRightsOfTheUserWhoLoggedIn) {
    ADSHANDLE connection = ana();
    UNSIGNED32 rows = 0;
    ASSERT_ADS_OK(sql(connection, "SELECT Codigo FROM Produtos", &rows));
    EXPECT_EQ(1u, rows);
    EXPECT_ADS_OK(sql(connection, "INSERT INTO Auditoria (Codigo, Qtde) VALUES ('C3', 1)"));

    struct Case {
        const char* statement;
        const char* refusal;
    };
    const std::vector<Case> refused = {
        {"UPDATE Produtos SET Qtde = 9", "Update permission not granted on this table."},
        {"INSERT INTO Produtos (Codigo) VALUES ('Z')", "Insert permission not granted"},
        {"UPDATE Auditoria SET Qtde = 2", "Update permission not granted on this table."},
        {"DELETE FROM Auditoria", "Delete permission not granted on this table."},
        {"SELECT * FROM Segredos", "Read permission not granted on this table."},
        {"SELECT * FROM \"segredos.adt\"", "Read permission not granted on this table."},
        {"DROP TABLE Produtos", "only the administrator"},
        {"CREATE INDEX Codigo ON Produtos (Codigo)", "only the administrator"},
        {"CREATE TABLE Nova (X INTEGER)", "only the administrator"},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(VE_SQL_ERROR, sql(connection, c.statement)) << c.statement;
        EXPECT_NE(std::string::npos, last_sql_error_.find("NativeError = 2123")) << last_sql_error_;
        EXPECT_NE(std::string::npos, last_sql_error_.find(c.refusal)) << last_sql_error_;
    }
    EXPECT_ADS_OK(AdsDisconnect(connection));

    // Only the one row allowed was written.
    ASSERT_ADS_OK(sql(admin_, "SELECT * FROM Produtos WHERE Qtde = 3", &rows));
    EXPECT_EQ(1u, rows);
    ASSERT_ADS_OK(sql(admin_, "SELECT * FROM Auditoria", &rows));
    EXPECT_EQ(2u, rows);
}

TEST_F(Dictionaries, AFreeConnectionsStatementsDoNotReachABoundTable) {
    for (const char* statement :
         {"SELECT * FROM Produtos", "DELETE FROM Produtos", "DROP TABLE Produtos",
          "CREATE INDEX Codigo ON Produtos (Codigo)"}) {
        EXPECT_EQ(VE_SQL_ERROR, sql(connection_, statement)) << statement;
        EXPECT_NE(std::string::npos, last_sql_error_.find("loja.add")) << last_sql_error_;
    }
    UNSIGNED32 rows = 0;
    ASSERT_ADS_OK(sql(admin_, "SELECT * FROM Produtos", &rows));
    EXPECT_EQ(1u, rows);
}

TEST_F(Dictionaries, TablesMadeAndDroppedBySqlJoinAndLeaveTheDictionary) {
    ASSERT_ADS_OK(sql(admin_, "CREATE TABLE Caixa (Valor INTEGER)"));
    EXPECT_EQ((std::vector<std::string>{"Auditoria", "Caixa", "Produtos", "Segredos"}),
              names(admin_, VE_DD_TABLE_OBJECT));
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_BOUND_TO_DICTIONARY, open("Caixa", &table));
    // Ana has no right on it until one is granted.
    ADSHANDLE connection = ana();
    EXPECT_EQ(VE_SQL_ERROR, sql(connection, "SELECT * FROM Caixa"));
    EXPECT_ADS_OK(AdsDisconnect(connection));

    ASSERT_ADS_OK(sql(admin_, "DROP TABLE Caixa"));
    EXPECT_EQ((std::vector<std::string>{"Auditoria", "Produtos", "Segredos"}),
              names(admin_, VE_DD_TABLE_OBJECT));
}

class DictionaryProcedures : public Dictionaries {
  protected:
    void SetUp() override {
        Dictionaries::SetUp();
        const std::vector<std::array<const char*, 3>> procedures = {
            {"ProdutosDe", "Codigo,Char,10;", "SELECT * FROM Produtos WHERE Codigo = :Codigo"},
            {"Somar", "Codigo,Char,10;Qtde,Integer;",
             "UPDATE Produtos SET Qtde = Qtde + :qtde WHERE Codigo = :Codigo"},
            {"Registrar", "Codigo,Char,10;",
             "INSERT INTO Auditoria (Codigo, Qtde) VALUES (:Codigo, 1);\n"
             "SELECT * FROM Auditoria ORDER BY Codigo"},
            // The insert is Ana's right, the update is not: nothing of it may stay.
            {"RegistrarESomar", "Codigo,Char,10;",
             "INSERT INTO Auditoria (Codigo, Qtde) VALUES (:Codigo, 1); "
             "UPDATE Produtos SET Qtde = Qtde + 1"},
            {"Quebrada", "", "SELECT * FROM NaoExiste"},
            {"Laco", "", "EXECUTE PROCEDURE Laco()"},
        };
        for (const auto& [name, parameters, body] : procedures) {
            ASSERT_ADS_OK(
                AdsDDCreateProcedure(admin_, u8(name), u8(parameters), u8(body), nullptr));
        }
    }

    UNSIGNED32 rows_of(ADSHANDLE connection, const std::string& text) {
        UNSIGNED32 rows = 0;
        EXPECT_ADS_OK(sql(connection, text, &rows)) << text;
        return rows;
    }
};

TEST_F(DictionaryProcedures, AreListedWithTheirPropertiesAndDeletedByTheAdministrator) {
    const std::vector<std::string> all = {"Laco",      "ProdutosDe",      "Quebrada",
                                          "Registrar", "RegistrarESomar", "Somar"};
    EXPECT_EQ(all, names(admin_, VE_DD_PROCEDURE_OBJECT));
    ADSHANDLE connection = ana();
    EXPECT_EQ(all, names(connection, VE_DD_PROCEDURE_OBJECT));
    UNSIGNED8 buffer[200];
    UNSIGNED16 length = sizeof buffer;
    ASSERT_ADS_OK(
        AdsDDGetProcedureProperty(connection, u8("somar"), VE_DD_PROC_PARAMETERS, buffer, &length));
    EXPECT_EQ("Codigo,Char,10;Qtde,Integer;", std::string(reinterpret_cast<char*>(buffer), length));
    length = sizeof buffer;
    ASSERT_ADS_OK(
        AdsDDGetProcedureProperty(connection, u8("Quebrada"), VE_DD_PROC_SQL, buffer, &length));
    EXPECT_EQ("SELECT * FROM NaoExiste", std::string(reinterpret_cast<char*>(buffer), length));
    EXPECT_EQ(VE_DICTIONARY_ONLY,
              AdsDDGetProcedureProperty(connection, u8("Nada"), VE_DD_PROC_SQL, buffer, &length));

    // Only the administrator makes and deletes procedures.
    EXPECT_EQ(VE_PERMISSION_DENIED,
              AdsDDCreateProcedure(connection, u8("Minha"), u8(""), u8("SELECT 1"), nullptr));
    EXPECT_EQ(VE_PERMISSION_DENIED, AdsDDDeleteProcedure(connection, u8("Somar")));
    EXPECT_ADS_OK(AdsDisconnect(connection));

    ASSERT_ADS_OK(AdsDDDeleteProcedure(admin_, u8("SOMAR")));
    EXPECT_EQ(VE_DICTIONARY_ONLY, AdsDDDeleteProcedure(admin_, u8("Somar")));
    EXPECT_EQ(VE_SQL_ERROR, sql(admin_, "EXECUTE PROCEDURE Somar('A1', 1)"));
    EXPECT_NE(std::string::npos, last_sql_error_.find("NativeError = 2104")) << last_sql_error_;
    // A free-table connection has none.
    EXPECT_EQ(VE_DICTIONARY_ONLY,
              AdsDDCreateProcedure(connection_, u8("Minha"), u8(""), u8("SELECT 1"), nullptr));
}

TEST_F(DictionaryProcedures, ABadDefinitionIsRefusedWithItsReason) {
    struct Case {
        const char *name, *parameters, *body;
        UNSIGNED32 code;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"Somar", "", "SELECT 1", VE_DD_OBJECT_EXISTS, "procedure \"Somar\""},
        {"Tipo", "Codigo,Caractere,10;", "SELECT 1", VE_INVALID_FIELD_DEFINITION, "Caractere"},
        {"Duas", "A,Integer;a,Char,2;", "SELECT :A", VE_INVALID_ARGUMENT, "named twice"},
        {"Vazia", "", " ; ", VE_SQL_ERROR, "body is empty"},
        {"Alheio", "A,Integer;", "SELECT :B", VE_SQL_ERROR, ":B is no parameter"},
        {"Anonimo", "A,Integer;", "SELECT ?", VE_SQL_ERROR, "no unnamed ones"},
        {"Tabela", "", "CREATE TABLE X (Y INTEGER)", VE_SQL_ERROR, "CREATE TABLE X"},
        {"Transacao", "", "BEGIN TRANSACTION", VE_SQL_ERROR, "BEGIN TRANSACTION"},
        {"Sem;Nome", "", "SELECT 1", VE_INVALID_ARGUMENT, "must not"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code,
                  AdsDDCreateProcedure(admin_, u8(c.name), u8(c.parameters), u8(c.body), nullptr))
            << c.name;
        EXPECT_NE(std::string::npos, last_error_text().find(c.reason)) << last_error_text();
    }
    EXPECT_EQ(6u, names(admin_, VE_DD_PROCEDURE_OBJECT).size());
}

TEST_F(DictionaryProcedures, RunWithTheCallersRightsAsOneStatement) {
    ADSHANDLE connection = ana();
    std::string codigo;
    UNSIGNED32 rows = 0;
    ASSERT_ADS_OK(sql(connection, "EXECUTE PROCEDURE ProdutosDe('A1')", &rows, "Codigo", &codigo));
    EXPECT_EQ(1u, rows);
    EXPECT_EQ("A1", codigo);
    EXPECT_EQ(0u, rows_of(connection, "execute procedure produtosde('Z9')"));
    EXPECT_EQ(1u, rows_of(connection, "EXECUTE PROCEDURE ProdutosDe ( 'A1' ) -- o A1\n"));
    // A change and then a query: the cursor is the last query's.
    ASSERT_ADS_OK(sql(connection, "EXECUTE PROCEDURE Registrar('B2')", &rows, "Codigo", &codigo));
    EXPECT_EQ(2u, rows);
    EXPECT_EQ("A1", codigo);

    // Ana may not update products, through a procedure no more than without one.
    EXPECT_EQ(VE_SQL_ERROR, sql(connection, "EXECUTE PROCEDURE Somar('A1', 5)"));
    EXPECT_NE(std::string::npos, last_sql_error_.find("NativeError = 2123")) << last_sql_error_;
    EXPECT_NE(std::string::npos, last_sql_error_.find("in procedure Somar: ")) << last_sql_error_;
    EXPECT_NE(std::string::npos, last_sql_error_.find("Update permission not granted"))
        << last_sql_error_;
    // The refused update takes the insert before it back.
    EXPECT_EQ(VE_SQL_ERROR, sql(connection, "EXECUTE PROCEDURE RegistrarESomar('C3')"));
    EXPECT_EQ(2u, rows_of(connection, "SELECT * FROM Auditoria"));
    EXPECT_ADS_OK(AdsDisconnect(connection));

    // The administrator may; a text argument of a number parameter is read as a number, and
    // the arguments may be parameters of the calling statement.
    ASSERT_ADS_OK(sql(admin_, "EXECUTE PROCEDURE Somar('A1', ' 5 ')"));
    ADSHANDLE statement = 0;
    ASSERT_ADS_OK(AdsCreateSQLStatement(admin_, &statement));
    ASSERT_ADS_OK(AdsPrepareSQL(statement, u8("EXECUTE PROCEDURE Somar(:c, :q + 1)")));
    ASSERT_ADS_OK(AdsSetString(statement, u8("c"), u8("A1"), 2));
    ASSERT_ADS_OK(AdsSetLong(statement, u8("q"), 1));
    ASSERT_ADS_OK(AdsExecuteSQL(statement, nullptr));
    ASSERT_ADS_OK(AdsCloseSQLStatement(statement));
    std::string qtde;
    ASSERT_ADS_OK(sql(admin_, "EXECUTE PROCEDURE ProdutosDe('A1')", &rows, "Qtde", &qtde));
    EXPECT_EQ("10", qtde);
}

TEST_F(DictionaryProcedures, AFailingCallSaysWhatIsWrong) {
    struct Case {
        const char* call;
        const char* native;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"EXECUTE PROCEDURE Nada('A1')", "2104", "no such procedure: Nada"},
        {"EXECUTE PROCEDURE ProdutosDe()", "2110", "ProdutosDe takes 1 argument, not 0"},
        {"EXECUTE PROCEDURE Somar('A1')", "2110", "Somar takes 2 arguments, not 1"},
        {"EXECUTE PROCEDURE ProdutosDe('A1', 2)", "2110", "takes 1 argument, not 2"},
        {"EXECUTE PROCEDURE Somar('A1', 'muito')", "2105", "argument 2 of procedure Somar (Qtde)"},
        {"EXECUTE PROCEDURE Quebrada()", "2102", "in procedure Quebrada: no such table"},
        {"EXECUTE PROCEDURE Laco()", "2199", "procedures deep"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VE_SQL_ERROR, sql(admin_, c.call)) << c.call;
        EXPECT_NE(std::string::npos, last_sql_error_.find(std::string("NativeError = ") + c.native))
            << last_sql_error_;
        EXPECT_NE(std::string::npos, last_sql_error_.find(c.reason)) << last_sql_error_;
    }
    // A free-table connection knows the engine's procedures only.
    EXPECT_EQ(VE_SQL_ERROR, sql(connection_, "EXECUTE PROCEDURE ProdutosDe('A1')"));
    EXPECT_NE(std::string::npos, last_sql_error_.find("no such procedure")) << last_sql_error_;
}

TEST_F(Dictionaries, ModifyTablePropertySetsThePrimaryKeyAndDefaultIndex) {
    ASSERT_ADS_OK(sql(admin_, "CREATE UNIQUE INDEX PK ON Produtos (Codigo)"));
    ASSERT_ADS_OK(sql(admin_, "CREATE INDEX Qtde ON Produtos (Qtde)"));
    ASSERT_ADS_OK(sql(admin_,
                      "EXECUTE PROCEDURE sp_ModifyTableProperty( 'Produtos', "
                      "'TABLE_PRIMARY_KEY', 'pk', 'NO_VALIDATE', NULL )"));
    ASSERT_ADS_OK(sql(admin_,
                      "EXECUTE PROCEDURE sp_ModifyTableProperty('produtos.adt', "
                      "'Table_Default_Index', 'Qtde', 'NO_VALIDATE', NULL)"));
    auto property = [&](UNSIGNED16 id) {
        UNSIGNED8 buffer[64];
        UNSIGNED16 length = sizeof buffer;
        EXPECT_ADS_OK(AdsDDGetTableProperty(admin_, u8("Produtos"), id, buffer, &length));
        return std::string(reinterpret_cast<char*>(buffer), length);
    };
    EXPECT_EQ("PK", property(VE_DD_TABLE_PRIMARY_KEY));
    EXPECT_EQ("Qtde", property(VE_DD_TABLE_DEFAULT_INDEX));

    struct Case {
        ADSHANDLE connection;
        const char* table;
        const char* index;
        UNSIGNED32 code;
        const char* reason;
    };
    ADSHANDLE connection = ana();
    const std::vector<Case> cases = {
        {admin_, "Produtos", "Qtde", VE_SQL_ERROR, "needs a unique index"},
        {admin_, "Produtos", "Nenhum", VE_SQL_ERROR, "has no index Nenhum"},
        {admin_, "Nenhuma", "PK", VE_DICTIONARY_ONLY, "Nenhuma"},
        {connection, "Produtos", "PK", VE_SQL_ERROR, "only the administrator"},
        // A free-table connection keeps no primary keys: the answer the components let pass.
        {connection_, "Produtos", "PK", VE_DICTIONARY_ONLY, "data dictionary"},
    };
    for (const auto& c : cases) {
        std::string call = std::string("EXECUTE PROCEDURE sp_ModifyTableProperty('") + c.table +
                           "', 'TABLE_PRIMARY_KEY', '" + c.index + "', 'NO_VALIDATE', NULL)";
        EXPECT_EQ(c.code, sql(c.connection, call)) << call;
        EXPECT_NE(std::string::npos, last_sql_error_.find(c.reason)) << last_sql_error_;
    }
    EXPECT_ADS_OK(AdsDisconnect(connection));
    EXPECT_EQ("PK", property(VE_DD_TABLE_PRIMARY_KEY));
}

}  // namespace
}  // namespace varelum::engine::testing
