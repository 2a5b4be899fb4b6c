// Queries: joins, grouping, ordering, TOP, parameters of every kind, nulls, dates, CIChar,
// the application-id procedures, and result cursors walked both ways with bookmarks.
#include <cstring>
#include <functional>

#include "sql_test_support.h"

namespace varelum::engine::testing {
namespace {

class Queries : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        make_products();
        ADSHANDLE groups = create("Grupos", "CodGrupo,Char,16;Nome,CIChar,20;");
        append_row(groups, {{"CodGrupo", "G1"}, {"Nome", "Mercearia"}});
        append_row(groups, {{"CodGrupo", "G2"}, {"Nome", "Graos"}});
        append_row(groups, {{"CodGrupo", "G9"}, {"Nome", "Vazio"}});
        AdsCloseTable(groups);
    }
};

TEST_F(Queries, JoinsGroupingAndOrdering) {
    Rows got =
        rows(run("SELECT g.Nome, count(*) AS N, sum(p.QtdeAtual) AS Total "
                 "FROM CadProdutos p JOIN Grupos g ON g.CodGrupo = p.CodGrupo "
                 "GROUP BY g.Nome ORDER BY Total DESC"));
    EXPECT_EQ((Rows{{"Mercearia", "2", "12"}, {"Graos", "1", "5"}}), got);

    got =
        rows(run("SELECT g.CodGrupo, p.CodProduto FROM Grupos g "
                 "LEFT JOIN CadProdutos p ON p.CodGrupo = g.CodGrupo ORDER BY 1, 2"));
    EXPECT_EQ((Rows{{"G1", "P200"}, {"G1", "P300"}, {"G2", "P100"}, {"G9", ""}}), got);
}

TEST_F(Queries, ResultFieldsTakeTypesAndLengthsFromTheirSources) {
    ADSHANDLE cursor =
        run("SELECT p.CodProduto, g.Nome, p.QtdeAtual * 2 AS Dobro, "
            "'abc' || p.CodGrupo AS Texto, count(*) OVER () AS N "
            "FROM CadProdutos p JOIN Grupos g USING (CodGrupo)");
    UNSIGNED16 type = 0;
    UNSIGNED32 length = 0;
    ASSERT_ADS_OK(AdsGetFieldType(cursor, u8("CodProduto"), &type));
    EXPECT_EQ(VE_FIELD_STRING, type);
    ASSERT_ADS_OK(AdsGetFieldLength(cursor, u8("CodProduto"), &length));
    EXPECT_EQ(30u, length);
    ASSERT_ADS_OK(AdsGetFieldType(cursor, u8("Nome"), &type));
    EXPECT_EQ(VE_FIELD_CISTRING, type);
    ASSERT_ADS_OK(AdsGetFieldType(cursor, u8("Dobro"), &type));
    EXPECT_EQ(VE_FIELD_INTEGER, type);
    ASSERT_ADS_OK(AdsGetFieldType(cursor, u8("Texto"), &type));
    EXPECT_EQ(VE_FIELD_STRING, type);
    ASSERT_ADS_OK(AdsGetFieldLength(cursor, u8("Texto"), &length));
    EXPECT_EQ(5u, length);
    UNSIGNED16 live = 9;
    ASSERT_ADS_OK(AdsSqlPeekStatement(cursor, &live));
    EXPECT_EQ(0, live);
    AdsCloseTable(cursor);
}

TEST_F(Queries, TopBecomesALimitAlsoInASubquery) {
    EXPECT_EQ((Rows{{"P400"}, {"P300"}}),
              rows(run("SELECT TOP 2 CodProduto FROM CadProdutos ORDER BY CodProduto DESC")));
    EXPECT_EQ((Rows{{"P100"}}),
              rows(run("SELECT CodProduto FROM CadProdutos WHERE CodProduto IN "
                       "(SELECT TOP 1 CodProduto FROM CadProdutos ORDER BY QtdeAtual DESC, "
                       "CodProduto) OR CodProduto = 'P100' ORDER BY 1 LIMIT 1")));
    EXPECT_EQ(2u, rows(run("SELECT TOP 2 * FROM CadProdutos")).size());
}

TEST_F(Queries, CICharComparesWithoutCaseAndCharWithCase) {
    EXPECT_EQ((Rows{{"G1"}}), rows(run("SELECT CodGrupo FROM Grupos WHERE Nome = 'MERCEARIA  '")));
    EXPECT_EQ((Rows{}), rows(run("SELECT CodGrupo FROM Grupos WHERE CodGrupo = 'g1'")));
    EXPECT_EQ((Rows{{"G1"}}), rows(run("SELECT CodGrupo FROM Grupos WHERE CodGrupo = 'G1 '")));
}

TEST_F(Queries, MarkersAreNumberedInOrderOfAppearanceEachOccurrenceItsOwn) {
    ADSHANDLE query = statement();
    // ':x' in the literal and "::" are no markers; :g appears twice and gets two numbers.
    ASSERT_ADS_OK(AdsPrepareSQL(query, u8("SELECT CodProduto, ':x' AS Lit FROM CadProdutos "
                                          "WHERE CodGrupo = :g AND QtdeAtual > ? OR "
                                          "CodGrupo = :g /* :y */ ORDER BY 1")));
    ASSERT_ADS_OK(AdsSetString(query, ADSFIELD(1), u8("G1"), 2));
    ASSERT_ADS_OK(AdsSetLong(query, ADSFIELD(2), 5));
    ASSERT_ADS_OK(AdsSetString(query, ADSFIELD(3), u8("G3"), 2));
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor));
    EXPECT_EQ((Rows{{"P300", ":x"}, {"P400", ":x"}}), rows(cursor));
    EXPECT_EQ(VE_SQL_ERROR, AdsSetLong(query, ADSFIELD(4), 1));
    EXPECT_EQ(2110, last_native());

    // By name: every marker of that name.
    ASSERT_ADS_OK(AdsSetString(query, u8("g"), u8("G2"), 2));
    ASSERT_ADS_OK(AdsSetEmpty(query, ADSFIELD(2)));
    ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor));
    EXPECT_EQ((Rows{{"P100", ":x"}}), rows(cursor));
}

TEST_F(Queries, ParametersOfEveryKindCompareWithTheirColumns) {
    ADSHANDLE table = create("Tipos",
                             "Nome,Char,10;Ativo,Logical;Preco,Double,2;Qtde,Integer;Dia,Date;"
                             "Hora,Time;Quando,TimeStamp;Dados,Binary;Nota,Memo;");
    ASSERT_ADS_OK(AdsAppendRecord(table));
    ASSERT_ADS_OK(AdsSetString(table, u8("Nome"), u8("um"), 2));
    ASSERT_ADS_OK(AdsSetLogical(table, u8("Ativo"), 1));
    ASSERT_ADS_OK(AdsSetDouble(table, u8("Preco"), 2.5));
    ASSERT_ADS_OK(AdsSetLong(table, u8("Qtde"), 42));
    ASSERT_ADS_OK(AdsSetJulian(table, u8("Dia"), 2451545));  // 2000-01-01
    ASSERT_ADS_OK(AdsSetMilliseconds(table, u8("Hora"), 43200000));
    UNSIGNED8 stamp[8];
    std::int32_t day = 2451545, ms = 45296789;  // 12:34:56.789
    std::memcpy(stamp, &day, 4);
    std::memcpy(stamp + 4, &ms, 4);
    ASSERT_ADS_OK(AdsSetTimeStampRaw(table, u8("Quando"), stamp, 8));
    ASSERT_ADS_OK(AdsSetBinary(table, u8("Dados"), VE_BINARY_BINARY, 3, 0, u8("\x01\x02\x03"), 3));
    ASSERT_ADS_OK(AdsSetString(table, u8("Nota"), u8("uma nota"), 8));
    ASSERT_ADS_OK(AdsWriteRecord(table));
    append_row(table, {{"Nome", "dois"}});  // every other field null
    AdsCloseTable(table);

    struct Case {
        const char* where;
        std::function<UNSIGNED32(ADSHANDLE)> bind;
    };
    const Case cases[] = {
        {"Ativo = ?", [](ADSHANDLE s) { return AdsSetLogical(s, ADSFIELD(1), 1); }},
        {"Preco = ?", [](ADSHANDLE s) { return AdsSetDouble(s, ADSFIELD(1), 2.5); }},
        {"Qtde = ?", [](ADSHANDLE s) { return AdsSetLong(s, ADSFIELD(1), 42); }},
        {"Qtde = ?", [](ADSHANDLE s) { return AdsSetString(s, ADSFIELD(1), u8("42"), 2); }},
        {"Dia = ?", [](ADSHANDLE s) { return AdsSetJulian(s, ADSFIELD(1), 2451545); }},
        {"Dia = ?", [](ADSHANDLE s) { return AdsSetDate(s, ADSFIELD(1), u8("01/01/2000"), 10); }},
        {"Hora = ?", [](ADSHANDLE s) { return AdsSetMilliseconds(s, ADSFIELD(1), 43200000); }},
        {"Quando = ?", [&](ADSHANDLE s) { return AdsSetTimeStampRaw(s, ADSFIELD(1), stamp, 8); }},
        {"Dados = ?",
         [](ADSHANDLE s) {
             return AdsSetBinary(s, ADSFIELD(1), VE_BINARY_BINARY, 3, 0, u8("\x01\x02\x03"), 3);
         }},
        {"Nota = ?", [](ADSHANDLE s) { return AdsSetString(s, ADSFIELD(1), u8("uma nota"), 8); }},
        {"Dia > ? AND Quando < '2000-01-02'",
         [](ADSHANDLE s) { return AdsSetString(s, ADSFIELD(1), u8("1999-12-31"), 10); }},
        {"Nome = ? AND Ativo",
         [](ADSHANDLE s) {
             std::u16string um = u"um";
             return AdsSetStringW(s, ADSFIELD(1), um.c_str(), 2);
         }},
    };
    for (const auto& c : cases) {
        ADSHANDLE query = statement();
        ASSERT_ADS_OK(
            AdsPrepareSQL(query, u8(std::string("SELECT Nome FROM Tipos WHERE ") + c.where)))
            << c.where;
        ASSERT_ADS_OK(c.bind(query)) << c.where;
        ADSHANDLE cursor = 0;
        ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor)) << c.where;
        EXPECT_EQ((Rows{{"um"}}), rows(cursor)) << c.where;
    }
    // An unbound parameter is null, and a null equals nothing.
    ADSHANDLE query = statement();
    ASSERT_ADS_OK(AdsPrepareSQL(query, u8("SELECT Nome FROM Tipos WHERE Qtde = ? OR ? IS NULL")));
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(AdsExecuteSQL(query, &cursor));
    EXPECT_EQ(2u, rows(cursor).size());
    EXPECT_EQ((Rows{{"dois"}}),
              rows(run("SELECT Nome FROM Tipos WHERE Dia IS NULL AND Nota IS NULL")));
}

TEST_F(Queries, DatesAreValuesThatCompareOrderAndComeBackAsDates) {
    ADSHANDLE table = create("Eventos", "Nome,Char,10;Dia,Date;Quando,TimeStamp;");
    append_row(table, {{"Nome", "c"}, {"Dia", "03/01/2021"}});
    append_row(table, {{"Nome", "a"}, {"Dia", "12/31/1999"}});
    append_row(table, {{"Nome", "b"}, {"Dia", "01/02/2000"}});
    append_row(table, {{"Nome", "n"}});
    AdsCloseTable(table);
    EXPECT_EQ((Rows{{"a", "12/31/1999"}, {"b", "01/02/2000"}, {"c", "03/01/2021"}}),
              rows(run("SELECT Nome, Dia FROM Eventos WHERE Dia IS NOT NULL ORDER BY Dia")));
    EXPECT_EQ((Rows{{"b"}, {"c"}}),
              rows(run("SELECT Nome FROM Eventos WHERE Dia >= '2000-01-01' ORDER BY 1")));
    EXPECT_EQ((Rows{{"c", "2021"}}), rows(run("SELECT Nome, strftime('%Y', Dia) FROM Eventos "
                                              "WHERE Dia > date('2000-01-02', '+1 day')")));
    ADSHANDLE cursor = run("SELECT Dia, max(Dia) AS Ultimo FROM Eventos WHERE Nome = 'b'");
    UNSIGNED16 type = 0;
    ASSERT_ADS_OK(AdsGetFieldType(cursor, u8("Dia"), &type));
    EXPECT_EQ(VE_FIELD_DATE, type);
    SIGNED32 julian = 0;
    ASSERT_ADS_OK(AdsGetJulian(cursor, u8("Dia"), &julian));
    EXPECT_EQ(2451546, julian);
    AdsCloseTable(cursor);
    EXPECT_ADS_OK(
        run_code("UPDATE Eventos SET Quando = julianday('2000-01-02 06:00:00') "
                 "WHERE Nome = 'b'"));
    cursor = run("SELECT Nome, Quando FROM Eventos WHERE Quando IS NOT NULL");
    EXPECT_EQ("b", text(cursor, u8("Nome")));
    SIGNED32 ms = 0;
    ASSERT_ADS_OK(AdsGetJulian(cursor, u8("Quando"), &julian));
    ASSERT_ADS_OK(AdsGetMilliseconds(cursor, u8("Quando"), &ms));
    EXPECT_EQ(2451546, julian);
    EXPECT_EQ(6 * 3600000, ms);
    AdsCloseTable(cursor);
}

TEST_F(Queries, ResultCursorsWalkBothWaysWithBookmarks) {
    for (const char* sql : {"SELECT * FROM CadProdutos ORDER BY CodProduto DESC",
                            "SELECT CodProduto, Descricao FROM CadProdutos ORDER BY 1 DESC"}) {
        ADSHANDLE cursor = run(sql);
        UNSIGNED32 count = 0;
        ASSERT_ADS_OK(AdsGetRecordCount(cursor, VE_IGNORE_FILTERS, &count));
        EXPECT_EQ(4u, count) << sql;
        ASSERT_ADS_OK(AdsGotoBottom(cursor));
        EXPECT_EQ("P100", text(cursor, u8("CodProduto"))) << sql;
        ASSERT_ADS_OK(AdsSkip(cursor, -1));
        EXPECT_EQ("P200", text(cursor, u8("CodProduto"))) << sql;
        ADSHANDLE bookmark = 0;
        ASSERT_ADS_OK(AdsGetBookmark(cursor, &bookmark));
        ASSERT_ADS_OK(AdsSkip(cursor, -2));
        EXPECT_EQ("P400", text(cursor, u8("CodProduto"))) << sql;
        ASSERT_ADS_OK(AdsSkip(cursor, -1));
        EXPECT_TRUE(at_bof(cursor)) << sql;
        ASSERT_ADS_OK(AdsGotoBookmark(cursor, bookmark));
        EXPECT_EQ("P200", text(cursor, u8("CodProduto"))) << sql;
        ASSERT_ADS_OK(AdsSkip(cursor, 1));
        EXPECT_EQ("P100", text(cursor, u8("CodProduto"))) << sql;
        ASSERT_ADS_OK(AdsSkip(cursor, 1));
        EXPECT_TRUE(at_eof(cursor)) << sql;
        ASSERT_ADS_OK(AdsCloseTable(cursor));
        EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(cursor));
    }
}

TEST_F(Queries, TheApplicationIdGoesInAndComesBackAsAOneRowCursor) {
    ADSHANDLE set = statement();
    ASSERT_ADS_OK(AdsPrepareSQL(set, u8("execute procedure sp_setapplicationid(:FAppID)")));
    ASSERT_ADS_OK(AdsSetString(set, ADSFIELD(1), u8("Contagem 2"), 10));
    ADSHANDLE none = 99;
    ASSERT_ADS_OK(AdsExecuteSQL(set, &none));
    EXPECT_EQ(0u, none);
    ADSHANDLE cursor = 0;
    ASSERT_ADS_OK(
        AdsExecuteSQLDirect(statement(), u8("execute procedure sp_getapplicationid( )"), &cursor));
    UNSIGNED8 buffer[301];
    UNSIGNED32 length = 301;
    ASSERT_ADS_OK(AdsGetField(cursor, u8("ApplicationID"), buffer, &length, VE_TRIM_BOTH));
    EXPECT_EQ("Contagem 2", std::string(reinterpret_cast<char*>(buffer), length));
    AdsCloseTable(cursor);
}

}  // namespace
}  // namespace varelum::engine::testing
