// CREATE INDEX and DROP INDEX through SQL: engine tags made over one field, a field list or
// in falling order, used at once by the session's queries and seen by table handles; unique
// tags over duplicate data refused with nothing made; the errors with their native numbers.
#include "sql_test_support.h"

namespace varelum::engine::testing {
namespace {

class SqlIndexes : public SqlTest {
  protected:
    void SetUp() override {
        SqlTest::SetUp();
        make_products();
    }

    // The plan SQLite makes for a query, its detail lines joined.
    std::string plan(const std::string& query) {
        std::string details;
        for (const auto& row : rows(run("EXPLAIN QUERY PLAN " + query))) {
            details += row.back() + ";";
        }
        return details;
    }

    // The tags a table handle opened now has.
    UNSIGNED16 tag_count() {
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(open("CadProdutos", &table));
        UNSIGNED16 count = 0;
        EXPECT_ADS_OK(AdsGetNumIndexes(table, &count));
        AdsCloseTable(table);
        return count;
    }

    static std::string expression(ADSHANDLE index) {
        UNSIGNED8 buffer[256] = {};
        UNSIGNED16 length = sizeof buffer;
        EXPECT_ADS_OK(AdsGetIndexExpr(index, buffer, &length));
        return std::string(reinterpret_cast<const char*>(buffer), length);
    }

    static UNSIGNED32 flags(ADSHANDLE index) {
        UNSIGNED32 result = 0;
        EXPECT_ADS_OK(AdsGetIndexFlags(index, &result));
        return result;
    }

    // The product codes in the order of a tag, read through a table handle.
    std::vector<std::string> codes_in(const std::string& tag) {
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(open("CadProdutos", &table));
        ADSHANDLE index = 0;
        EXPECT_ADS_OK(AdsGetIndexHandle(table, u8(tag), &index));
        std::vector<std::string> codes;
        EXPECT_ADS_OK(AdsGotoTop(index));
        while (!at_eof(index) && codes.size() < 10) {
            codes.push_back(text(table, "CodProduto", VE_TRIM_BOTH));
            EXPECT_ADS_OK(AdsSkip(index, 1));
        }
        AdsCloseTable(table);
        return codes;
    }
};

TEST_F(SqlIndexes, ANewTagIsUsedByTheSessionAndSeenByTableHandles) {
    const std::string by_barcode = "SELECT CodProduto FROM CadProdutos WHERE CodBarras = 'P100'";
    // The session knows the table before the tag exists.
    EXPECT_EQ((Rows{{"P200"}}), rows(run(by_barcode)));
    EXPECT_EQ(std::string::npos, plan(by_barcode).find("PorBarras"));
    ADSHANDLE earlier = 0;
    ASSERT_ADS_OK(open("CadProdutos", &earlier));

    EXPECT_ADS_OK(run_code("CREATE INDEX PorBarras ON CadProdutos (CodBarras)"));
    EXPECT_NE(std::string::npos, plan(by_barcode).find("PorBarras")) << plan(by_barcode);
    EXPECT_EQ((Rows{{"P200"}}), rows(run(by_barcode)));
    EXPECT_EQ((Rows{}), rows(run("SELECT * FROM CadProdutos WHERE CodBarras = 'nada'")));

    UNSIGNED16 count = 0;
    ASSERT_ADS_OK(AdsGetNumIndexes(earlier, &count));
    EXPECT_EQ(1u, count) << "a handle open while the tag was made";
    AdsCloseTable(earlier);
    EXPECT_EQ(1u, tag_count());
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("CadProdutos", &table));
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("porbarras"), &index));
    EXPECT_EQ("CodBarras", expression(index));
    EXPECT_EQ(0u, flags(index) & (VE_INDEX_UNIQUE | VE_INDEX_DESCENDING));
    AdsCloseTable(table);
    EXPECT_EQ((std::vector<std::string>{"P100", "P300", "P400", "P200"}), codes_in("PorBarras"));

    ASSERT_ADS_OK(run_code("DROP INDEX PorBarras"));
    EXPECT_EQ(0u, tag_count());
    EXPECT_EQ(std::string::npos, plan(by_barcode).find("PorBarras"));
    EXPECT_EQ((Rows{{"P200"}}), rows(run(by_barcode)));
}

// A statement's plan is kept for the next statement of the same text; a tag made or deleted
// through a table handle (or another process) since must not leave it reading a tag that is
// gone or passing over one that is new.
TEST_F(SqlIndexes, AKeptPlanFollowsTagsMadeAndDeletedThroughTableHandles) {
    const std::string list = "SELECT CodProduto FROM CadProdutos ORDER BY CodProduto";
    const Rows in_order = {{"P100"}, {"P200"}, {"P300"}, {"P400"}};
    EXPECT_EQ(in_order, rows(run(list)));
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("CadProdutos", &table));
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("PorCodigo"), u8("CodProduto"), nullptr,
                                   nullptr, 0, 512, nullptr, &index));
    EXPECT_NE(std::string::npos, plan(list).find("PorCodigo")) << plan(list);
    EXPECT_EQ(in_order, rows(run(list)));
    ASSERT_ADS_OK(AdsDeleteIndex(index));
    AdsCloseTable(table);
    EXPECT_EQ(std::string::npos, plan(list).find("PorCodigo")) << plan(list);
    EXPECT_EQ(in_order, rows(run(list)));
}

// The components ask every cursor they open for its tags; a live cursor over a table with
// tags must answer them like a table handle does, a static copy has none.
TEST_F(SqlIndexes, ResultCursorsAnswerTheirTags) {
    ASSERT_ADS_OK(run_code("CREATE INDEX PorBarras ON CadProdutos (CodBarras)"));

    ADSHANDLE live = run("SELECT * FROM CadProdutos ORDER BY CodProduto");
    ASSERT_NE(0u, live);
    UNSIGNED16 count = 0;
    ASSERT_ADS_OK(AdsGetNumIndexes(live, &count));
    EXPECT_EQ(1u, count);
    ADSHANDLE indexes[4] = {};
    UNSIGNED16 listed = 4;
    ASSERT_ADS_OK(AdsGetAllIndexes(live, indexes, &listed));
    ASSERT_EQ(1u, listed);
    EXPECT_EQ("CodBarras", expression(indexes[0]));
    EXPECT_EQ(4u, rows(live).size());

    ADSHANDLE copy = run("SELECT CodBarras, COUNT(*) AS N FROM CadProdutos GROUP BY CodBarras");
    ASSERT_NE(0u, copy);
    count = 9;
    ASSERT_ADS_OK(AdsGetNumIndexes(copy, &count));
    EXPECT_EQ(0u, count);
    AdsCloseTable(copy);
}

TEST_F(SqlIndexes, SeveralColumnsMakeAFieldListAndDescMakesAFallingTag) {
    ASSERT_ADS_OK(run_code("CREATE INDEX PorGrupo ON CadProdutos (codgrupo, CodProduto ASC)"));
    ASSERT_ADS_OK(run_code("CREATE INDEX Decrescente ON \"CadProdutos.adt\" (CodProduto DESC)"));
    ASSERT_ADS_OK(
        run_code("CREATE INDEX GrupoDesc ON CadProdutos (CodGrupo DESC, CodProduto DESC)"));
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("CadProdutos", &table));
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("PorGrupo"), &index));
    EXPECT_EQ("CodGrupo;CodProduto", expression(index)) << "the fields as the table spells them";
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("Decrescente"), &index));
    EXPECT_NE(0u, flags(index) & VE_INDEX_DESCENDING);
    AdsCloseTable(table);
    EXPECT_EQ((std::vector<std::string>{"P200", "P300", "P100", "P400"}), codes_in("PorGrupo"));
    EXPECT_EQ((std::vector<std::string>{"P400", "P300", "P200", "P100"}), codes_in("Decrescente"));
    EXPECT_EQ((std::vector<std::string>{"P400", "P100", "P300", "P200"}), codes_in("GrupoDesc"));
    // Queries give the same rows with the tags as without.
    EXPECT_EQ((Rows{{"P200"}, {"P300"}}),
              rows(run("SELECT CodProduto FROM CadProdutos WHERE CodGrupo = 'G1' "
                       "ORDER BY CodProduto")));
}

TEST_F(SqlIndexes, AUniqueTagRefusesDuplicatesAndIsNotMadeOverDuplicateData) {
    ASSERT_ADS_OK(run_code("CREATE UNIQUE INDEX PorCodigo ON CadProdutos (CodProduto)"));
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("CadProdutos", &table));
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("PorCodigo"), &index));
    EXPECT_NE(0u, flags(index) & VE_INDEX_UNIQUE);
    AdsCloseTable(table);
    EXPECT_EQ(VE_SQL_ERROR, run_code("INSERT INTO CadProdutos (CodProduto) VALUES ('P100')"));
    EXPECT_EQ(2106, last_native()) << last_text();

    // Two products share the group G1: the tag is refused and nothing is left of it.
    EXPECT_EQ(VE_SQL_ERROR, run_code("CREATE UNIQUE INDEX PorGrupo ON CadProdutos (CodGrupo)"));
    EXPECT_EQ(2106, last_native()) << last_text();
    EXPECT_EQ(1u, tag_count());
    EXPECT_EQ((Rows{{"4"}}), rows(run("SELECT count(*) FROM CadProdutos")));
    EXPECT_ADS_OK(run_code("CREATE INDEX PorGrupo ON CadProdutos (CodGrupo)"));
    EXPECT_EQ(2u, tag_count());
}

TEST_F(SqlIndexes, RefusalsHaveTheirNativeNumbers) {
    ASSERT_ADS_OK(run_code("CREATE INDEX PorBarras ON CadProdutos (CodBarras)"));
    AdsCloseTable(create("Outra", "CodBarras,Char,20;"));
    ASSERT_ADS_OK(run_code("CREATE INDEX PorBarras ON Outra (CodBarras)"));
    const struct {
        const char* statement;
        int native;
    } cases[] = {
        {"CREATE INDEX porbarras ON CadProdutos (CodGrupo)", 2118},
        {"CREATE INDEX Nova ON Nenhuma (CodBarras)", 2102},
        {"CREATE INDEX Nova ON CadProdutos (Nenhum)", 2103},
        {"CREATE INDEX Nova ON CadProdutos (CodGrupo ASC, CodProduto DESC)", 2112},
        {"CREATE INDEX Nova ON CadProdutos (CodGrupo) WHERE CodGrupo = 'G1'", 2112},
        {"CREATE INDEX Nova ON CadProdutos CodGrupo", 2101},
        {"DROP INDEX Nenhum", 2119},
        {"DROP INDEX CadProdutos.Nenhum", 2119},
        {"DROP INDEX Nenhuma.PorBarras", 2102},
        {"DROP INDEX PorBarras", 2120},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VE_SQL_ERROR, run_code(c.statement)) << c.statement;
        EXPECT_EQ(c.native, last_native()) << c.statement << ": " << last_text();
    }
    EXPECT_ADS_OK(run_code("CREATE INDEX IF NOT EXISTS PorBarras ON CadProdutos (CodGrupo)"));
    EXPECT_ADS_OK(run_code("DROP INDEX IF EXISTS Nenhum"));
    EXPECT_EQ(1u, tag_count()) << "nothing made or dropped by the refusals";

    // A tag is dropped only when nobody else has its table open.
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("CadProdutos", &table));
    EXPECT_EQ(VE_SQL_ERROR, run_code("DROP INDEX CadProdutos.PorBarras"));
    EXPECT_EQ(2108, last_native()) << last_text();
    AdsCloseTable(table);
    EXPECT_ADS_OK(run_code("DROP INDEX CadProdutos.PorBarras"));
    EXPECT_EQ(0u, tag_count());
    EXPECT_ADS_OK(run_code("DROP INDEX PorBarras")) << "only Outra has it now";
}

}  // namespace
}  // namespace varelum::engine::testing
