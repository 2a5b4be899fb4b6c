// index: tags of every kind built by the real executable and walked through the engine in key
// order; each refusal (a bad expression with its position, a duplicate key, a key too long, a
// tag that exists, a table in use) is one line, exit code 1, and leaves the table as it was.
#include <lmdb.h>

#include "store_test_support.h"

namespace varelum::store::testing {
namespace {

class IndexCommandTest : public NumberedTableTest {
  protected:
    // t.adt of five records; N is the record number.
    void SetUp() override {
        ok({"create", "t", "N,Integer;Name,Char,10;Grp,Char,2;Qty,Integer;"});
        write_file(file("in.csv"),
                   "N,Name,Grp,Qty\r\n1,bruno,B,5\r\n2,ana,A,0\r\n3,edu,A,7\r\n4,carla,B,2\r\n"
                   "5,dora,A,3\r\n");
        ok({"import", "t", "in.csv"});
    }

    ToolResult index(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"index", "t"});
        return tool(arguments);
    }

    UNSIGNED16 index_count() const {
        EngineView view(file("t.adt"));
        UNSIGNED16 count = 0;
        EXPECT_EQ(VE_SUCCESS, AdsGetNumIndexes(view.table(), &count));
        return count;
    }
};

TEST_F(IndexCommandTest, BuildsEachKindOfTagInItsKeyOrder) {
    struct Case {
        std::vector<std::string> arguments;  // after "index t"
        std::vector<int> order;              // N in key order
        std::string described;               // the summary's parenthesis
        bool unique = false;
        bool descending = false;
        UNSIGNED16 segments = 0;
    };
    const std::vector<Case> cases = {
        {{"ByName", "Name"}, {2, 1, 4, 5, 3}, "Name", false, false, 1},
        {{"ByQty", "Qty", "--descending"}, {3, 1, 5, 4, 2}, "Qty, descending", false, true, 1},
        {{"InStock", "Name", "--for", "Qty > 0"},
         {1, 4, 5, 3},
         "Name FOR Qty > 0",
         false,
         false,
         1},
        {{"ByGroup", "Grp;Name"}, {2, 5, 3, 1, 4}, "Grp;Name", false, false, 2},
        {{"ByGroupDown", "Grp + UPPER(Name)", "--descending"},
         {4, 1, 3, 5, 2},
         "Grp + UPPER(Name), descending",
         false,
         true,
         0},
        {{"ByN", "N", "--unique"}, {1, 2, 3, 4, 5}, "N, unique", true, false, 1},
        {{"Few", "N", "--unique", "--descending", "--for", "Grp = 'B'"},
         {4, 1},
         "N FOR Grp = 'B', unique, descending",
         true,
         true,
         1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments[0]);
        ToolResult result = index(test.arguments);
        ASSERT_EQ(0, result.exit_code) << result.err;
        EXPECT_EQ("", result.err);  // a small table is indexed at once, without a word
        EXPECT_EQ("Created index " + test.arguments[0] + " of " + file("t.adt").string() + ": " +
                      std::to_string(test.order.size()) + " keys (" + test.described + ").\n",
                  result.out);
        EXPECT_EQ(test.order, key_order(test.arguments[0]));

        EngineView view(file("t.adt"));
        ADSHANDLE tag = 0;
        ASSERT_EQ(VE_SUCCESS, AdsGetIndexHandle(view.table(), u8(test.arguments[0]), &tag));
        UNSIGNED16 unique = 9;
        UNSIGNED16 descending = 9;
        UNSIGNED16 segments = 9;
        EXPECT_EQ(VE_SUCCESS, AdsIsIndexUnique(tag, &unique));
        EXPECT_EQ(VE_SUCCESS, AdsIsIndexDescending(tag, &descending));
        EXPECT_EQ(VE_SUCCESS, AdsGetNumSegments(tag, &segments));
        EXPECT_EQ(test.unique, unique != 0);
        EXPECT_EQ(test.descending, descending != 0);
        EXPECT_EQ(test.segments, segments);
    }
    EXPECT_EQ(cases.size(), index_count());
    // Later writes keep every tag in step.
    write_file(file("more.csv"), "N,Name,Grp,Qty\r\n6,aaron,B,1\r\n");
    ok({"import", "t", "more.csv"});
    EXPECT_EQ((std::vector<int>{6, 2, 1, 4, 5, 3}), key_order("ByName"));
    EXPECT_EQ((std::vector<int>{6, 4, 1}), key_order("Few"));
    EXPECT_EQ(0, tool({"check", "t"}).exit_code);
}

TEST_F(IndexCommandTest, ABigTableIsAnnouncedBeforeItsKeysAreBuilt) {
    std::string csv = "N,Name\r\n";
    for (int i = 1; i <= 10000; ++i) {
        csv += std::to_string(i) + ",n" + std::to_string(i % 97) + "\r\n";
    }
    write_file(file("big.csv"), csv);
    ok({"import", "t", "big.csv"});
    ToolResult result = ok({"index", "t", "ByName", "Name"});
    EXPECT_EQ("index: building ByName of " + file("t.adt").string() + " from 10005 records\n",
              result.err);
    EXPECT_EQ("Created index ByName of " + file("t.adt").string() + ": 10005 keys (Name).\n",
              result.out);
}

TEST_F(IndexCommandTest, RefusalsNameTheEngineReasonAndChangeNothing) {
    ok({"index", "t", "ByName", "Name"});
    struct Case {
        std::vector<std::string> arguments;      // after "index t"
        std::vector<std::string> message_parts;  // each must be in the message
    };
    const std::vector<Case> cases = {
        {{"Bad", "UPPER(Name"},
         {"cannot create the index Bad of t.adt", "position 10", "expected ')'", "(6050)"}},
        {{"Bad", "Name + Nope"}, {"position 7", "unknown field Nope", "(6050)"}},
        {{"Bad", "Name", "--for", "Qty >"},
         {"in the FOR condition", "position 5", "unexpected end", "(6050)"}},
        {{"Bad", "Name", "--for", "Name"}, {"in the FOR condition", "logical", "(6050)"}},
        {{"Bad", "Name;Nope"}, {"Nope", "(6050)"}},
        {{"Long", "SPACE(500) + Name"}, {"longer than 480 bytes", "(6062)"}},
        {{"ByName", "Qty"}, {"exists already", "(6061)"}},
        {{"BYNAME", "Qty"}, {"exists already", "(6061)"}},
        {{"Grp", "Grp", "--unique"},
         {"exists already in a unique index", "record 3 has the key of record 2", "(6063)"}},
        {{"Grp", "Grp", "--unique", "--for", "Qty > 0"}, {"record 5 has the key of record 3"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments[0] + " " + test.arguments[1]);
        ToolResult result = index(test.arguments);
        EXPECT_ONE_LINE_FAILURE(result);
        for (const std::string& part : test.message_parts) {
            EXPECT_NE(std::string::npos, result.err.find(part)) << part << " in " << result.err;
        }
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_EQ(1, index_count());
    }
    // The table is as it was: its records, its one tag, and consistent.
    EXPECT_EQ(
        "N,Name,Grp,Qty\r\n1,bruno,B,5\r\n2,ana,A,0\r\n3,edu,A,7\r\n4,carla,B,2\r\n"
        "5,dora,A,3\r\n",
        ok({"export", "t"}).out);
    EXPECT_EQ((std::vector<int>{2, 1, 4, 5, 3}), key_order("ByName"));
    EXPECT_EQ(0, tool({"check", "t"}).exit_code);
    // A refused unique tag took no name: it is made once the duplicates are gone.
    ok({"index", "t", "Grp", "Grp", "--unique", "--for", "Qty > 3"});
    EXPECT_EQ((std::vector<int>{3, 1}), key_order("Grp"));
}

TEST_F(IndexCommandTest, BadCommandLinesAreRefusedBeforeTheTableIsTouched) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"index", "t", "X"}, "index needs EXPR"},
        {{"index", "t", "", "Name"}, "the index name (TAG) is empty"},
        {{"index", "t", "X", "Name", "--for", " "}, "--for needs a condition"},
        {{"index", "t", "X", "Name", "--for"}, "--for needs a value (COND)"},
        {{"index", "t", "X", "Name", "--unique=yes"}, "--unique takes no value"},
        {{"index", "t", "X", "Name", "--ascending"}, "index has no option --ascending"},
        {{"index", "missing", "X", "Name"}, "missing.adt"},
    };
    for (const auto& [arguments, expected] : cases) {
        SCOPED_TRACE(expected);
        ToolResult result = tool(arguments);
        EXPECT_ONE_LINE_FAILURE(result);
        EXPECT_NE(std::string::npos, result.err.find(expected)) << result.err;
    }
    EXPECT_EQ(0, index_count());
}

TEST_F(IndexCommandTest, NeedsNoTableToItselfButWaitsForNoExclusiveHolder) {
    {
        EngineView holder(file("t.adt"), VE_OPEN_EXCLUSIVE);
        ToolResult refused = index({"ByName", "Name"});
        EXPECT_ONE_LINE_FAILURE(refused);
        EXPECT_NE(std::string::npos, refused.err.find("in use")) << refused.err;
        EXPECT_NE(std::string::npos, refused.err.find("(6021)")) << refused.err;
    }
    EXPECT_EQ(0, index_count());

    // A handle that was open all along, shared, keeps the new tag in step with its writes.
    EngineView writer(file("t.adt"), 0);
    ok({"index", "t", "ByName", "Name"});
    ASSERT_EQ(VE_SUCCESS, AdsAppendRecord(writer.table()));
    ASSERT_EQ(VE_SUCCESS, AdsSetLong(writer.table(), u8("N"), 6));
    ASSERT_EQ(VE_SUCCESS, AdsSetString(writer.table(), u8("Name"), u8("abel"), 4));
    ASSERT_EQ(VE_SUCCESS, AdsWriteRecord(writer.table())) << engine::testing::last_error_text();
    EXPECT_EQ((std::vector<int>{6, 2, 1, 4, 5, 3}), key_order("ByName"));
    EXPECT_EQ(0, tool({"check", "t"}).exit_code);
}

TEST_F(IndexCommandTest, InfoListsEveryTagWithItsKeyCount) {
    EXPECT_EQ("Indexes:  0", lines_of(ok({"info", "t"}).out).back());
    ok({"index", "t", "ByName", "Name"});
    ok({"index", "t", "InStock", "UPPER(Name)", "--for", "Qty > 0", "--descending"});
    ok({"index", "t", "ByGroupAndNumber", "Grp;N", "--unique"});
    // Keys of records marked deleted are not counted, as info's record count leaves them out.
    {
        EngineView view(file("t.adt"), 0);
        ASSERT_EQ(VE_SUCCESS, AdsGotoRecord(view.table(), 3));
        ASSERT_EQ(VE_SUCCESS, AdsDeleteRecord(view.table()));
    }
    const std::vector<std::string> lines = lines_of(ok({"info", "t"}).out);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ((std::vector<std::string>{
                  "Indexes:  3",
                  "  Tag               Keys  Expression",
                  "  ByName               4  Name",
                  "  InStock              3  UPPER(Name) FOR Qty > 0  (descending)",
                  "  ByGroupAndNumber     4  Grp;N  (unique)",
              }),
              std::vector<std::string>(lines.end() - 5, lines.end()));
}

// Deletes one entry of the table file's only index tag straight through the storage library,
// as a fault of a disk or of an engine would, so that the tag and the records disagree. The
// sub-databases are those docs/table-format.md describes. This process must not have the file
// open through the engine (the storage library allows one environment per file and process).
void drop_one_index_entry(const std::filesystem::path& table) {
    MDB_env* env = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_env_create(&env));
    mdb_env_set_maxdbs(env, 128);
    mdb_env_set_mapsize(env, std::size_t{64} << 30);
    ASSERT_EQ(MDB_SUCCESS, mdb_env_open(env, table.c_str(), MDB_NOSUBDIR, 0664));
    MDB_txn* txn = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_txn_begin(env, nullptr, 0, &txn));
    MDB_dbi names = 0;
    ASSERT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, nullptr, 0, &names));
    std::vector<std::string> tags;
    MDB_cursor* cursor = nullptr;
    ASSERT_EQ(MDB_SUCCESS, mdb_cursor_open(txn, names, &cursor));
    MDB_val key{}, value{};
    for (int rc = mdb_cursor_get(cursor, &key, &value, MDB_FIRST); rc == MDB_SUCCESS;
         rc = mdb_cursor_get(cursor, &key, &value, MDB_NEXT)) {
        const std::string name(static_cast<const char*>(key.mv_data), key.mv_size);
        if (name.starts_with("tag.")) {
            tags.push_back(name);
        }
    }
    mdb_cursor_close(cursor);
    ASSERT_EQ(1u, tags.size());
    MDB_dbi tag = 0;
    ASSERT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, tags[0].c_str(), 0, &tag));
    ASSERT_EQ(MDB_SUCCESS, mdb_cursor_open(txn, tag, &cursor));
    ASSERT_EQ(MDB_SUCCESS, mdb_cursor_get(cursor, &key, &value, MDB_FIRST));
    ASSERT_EQ(MDB_SUCCESS, mdb_cursor_del(cursor, 0));
    mdb_cursor_close(cursor);
    ASSERT_EQ(MDB_SUCCESS, mdb_txn_commit(txn));
    mdb_env_close(env);
}

TEST_F(IndexCommandTest, CheckComparesEveryTagWithTheRecords) {
    ok({"index", "t", "ByName", "Name"});
    ok({"index", "t", "InStock", "N", "--for", "Qty > 0", "--unique"});
    EXPECT_EQ(
        file("t.adt").string() + ": OK\n  2 indexes agree with the records: ByName, InStock\n",
        ok({"check", "t"}).out);

    // A tag that lost the key of a record: the check names the tag and the record.
    ok({"create", "one", "N,Integer;Name,Char,10;"});
    write_file(file("one.csv"), "N,Name\r\n1,b\r\n2,a\r\n3,c\r\n");
    ok({"import", "one", "one.csv"});
    ok({"index", "one", "ByName", "Name"});
    EXPECT_EQ(file("one.adt").string() + ": OK\n  1 index agrees with the records: ByName\n",
              ok({"check", "one"}).out);
    drop_one_index_entry(file("one.adt"));  // the key of record 2 ("a"), the first in order
    ToolResult damaged = tool({"check", "one"});
    EXPECT_ONE_LINE_FAILURE(damaged);
    EXPECT_NE(std::string::npos, damaged.err.find("one.adt is damaged (1 problem found)"))
        << damaged.err;
    EXPECT_EQ(file("one.adt").string() + ":\nindex ByName: record 2 has no key\n", damaged.out);
}

}  // namespace
}  // namespace varelum::store::testing
