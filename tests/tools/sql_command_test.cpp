// sql: one statement on a demo store, run by the real executable. A query's rows come as CSV
// in the form of export, a change reports its rows and is seen by export, and an SQL error
// ends the tool with its one-line message.
#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class SqlCommandTest : public StoreToolTest {
  protected:
    void SetUp() override { ok({"demo", "loja", "--products", "20"}); }

    // The products as export writes them: the header row, then one line per record.
    std::vector<std::string> exported() const {
        return lines_of(ok({"export", "loja/CadProdutos"}).out);
    }

    // The index of a field in export's header row.
    static std::size_t column(const std::string& header, const std::string& name) {
        std::size_t index = 0;
        std::size_t start = 0;
        while (true) {
            std::size_t comma = header.find(',', start);
            if (header.substr(start, comma - start) == name) {
                return index;
            }
            if (comma == std::string::npos) {
                ADD_FAILURE() << name << " is not in " << header;
                return 0;
            }
            start = comma + 1;
            ++index;
        }
    }

    static std::string cell(const std::string& line, std::size_t index) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < index; ++i) {
            start = line.find(',', start) + 1;
        }
        return line.substr(start, line.find(',', start) - start);
    }
};

TEST_F(SqlCommandTest, AQueryWithAParameterPrintsItsRowsInTheFormOfExport) {
    const std::vector<std::string> lines = exported();
    ASSERT_GE(lines.size(), 4u);
    const std::string barcode = cell(lines[3], column(lines[0], "CodBarras"));
    ASSERT_EQ(13u, barcode.size()) << lines[3];

    ToolResult result =
        ok({"sql", "loja", "SELECT * FROM CadProdutos WHERE CodBarras = :codigo", barcode});
    EXPECT_EQ((std::vector<std::string>{lines[0], lines[3]}), lines_of(result.out));
    EXPECT_NE(std::string::npos, result.out.find("\r\n")) << "CR LF as export writes";
    EXPECT_NE(std::string::npos, result.err.find("1 row")) << result.err;

    // No row: the header alone.
    result = ok({"sql", "loja", "SELECT * FROM cadprodutos WHERE CodBarras = ?", "nada"});
    EXPECT_EQ((std::vector<std::string>{lines[0]}), lines_of(result.out));

    // A computed column is named as SQL names it.
    result = ok({"sql", "loja", "SELECT count(*) AS Produtos FROM CadProdutos"});
    EXPECT_EQ((std::vector<std::string>{"Produtos", "20"}), lines_of(result.out));
}

TEST_F(SqlCommandTest, AnUpdatePrintsTheRowsChangedAndExportSeesThem) {
    const std::vector<std::string> before = exported();
    const std::size_t quantity = column(before[0], "QtdeAtual");
    const std::size_t code = column(before[0], "CodProduto");
    const std::string first = cell(before[1], code);
    const std::string second = cell(before[2], code);

    ToolResult result =
        ok({"sql", "loja", "UPDATE CadProdutos SET QtdeAtual = 4321 WHERE CodProduto IN (?, ?)",
            first, second});
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_EQ((std::vector<std::string>{"2 rows changed."}), lines_of(result.err));

    const std::vector<std::string> after = exported();
    ASSERT_EQ(before.size(), after.size());
    EXPECT_EQ("4321", cell(after[1], quantity));
    EXPECT_EQ("4321", cell(after[2], quantity));
    for (std::size_t i = 3; i < after.size(); ++i) {
        EXPECT_EQ(before[i], after[i]) << "an untouched record";
    }

    result = ok({"sql", "loja", "UPDATE CadProdutos SET QtdeAtual = 1 WHERE CodProduto = :c",
                 "no such code"});
    EXPECT_EQ((std::vector<std::string>{"0 rows changed."}), lines_of(result.err));
}

TEST_F(SqlCommandTest, AnSqlErrorEndsWithItsOneLineMessage) {
    const std::vector<std::string> before = exported();
    const std::vector<std::vector<std::string>> failing = {
        {"sql", "loja", "SELEC * FROM CadProdutos"},
        {"sql", "loja", "SELECT * FROM NoSuchTable"},
        {"sql", "loja", "UPDATE CadProdutos SET NoSuchColumn = 1"},
    };
    for (const auto& arguments : failing) {
        ToolResult result = tool(arguments);
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find("ERROR 7200:")) << result.err;
        EXPECT_NE(std::string::npos, result.err.find("NativeError = ")) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
    EXPECT_NE(std::string::npos, tool(failing[0]).err.find("NativeError = 2101;"));
    EXPECT_EQ(before, exported()) << "nothing changed by the failures";
}

TEST_F(SqlCommandTest, ATableOutsideTheStoreIsNeitherReadNorCreatedNorDropped) {
    ok({"demo", "fora", "--products", "3"});
    const std::string elsewhere = file("fora").string();
    const std::vector<std::vector<std::string>> refused = {
        {"sql", "loja", "DROP TABLE \"../fora/CadProdutos\""},
        {"sql", "loja", "DROP TABLE \"" + elsewhere + "/CadProdutos.adt\""},
        {"sql", "loja", "CREATE TABLE \"" + elsewhere + "/Nova\" (Codigo Integer)"},
        {"sql", "loja", "SELECT * FROM \"../fora/CadProdutos\""},
        {"sql", "loja", "DELETE FROM \"../fora/CadProdutos\""},
    };
    for (const auto& arguments : refused) {
        ToolResult result = tool(arguments);
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find("NativeError = 2121;")) << result.err;
        EXPECT_NE(std::string::npos, result.err.find("outside the database's folder"))
            << result.err;
    }
    EXPECT_TRUE(std::filesystem::exists(file("fora/CadProdutos.adt")));
    EXPECT_FALSE(std::filesystem::exists(file("fora/Nova.adt")));
    EXPECT_EQ(4u, lines_of(ok({"export", "fora/CadProdutos"}).out).size()) << "three rows kept";
}

}  // namespace
}  // namespace varelum::store::testing
