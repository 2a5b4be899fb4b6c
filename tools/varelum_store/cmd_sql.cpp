// varelum-store sql DIR STATEMENT [PARAM...]: one SQL statement on the store in DIR, its
// parameters bound in order as text. A query's rows go to standard output as CSV in the form
// of export (header row, the same cell forms); any other statement reports on standard error
// how many rows it changed.
#include <iostream>

#include "cell_values.h"
#include "commands.h"
#include "csv.h"
#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {

namespace {

// An SQL statement handle, closed when it goes.
class Statement {
  public:
    explicit Statement(Connection& connection) {
        check(AdsCreateSQLStatement(connection.handle(), &handle_), "cannot make a statement");
    }
    ~Statement() { AdsCloseSQLStatement(handle_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ADSHANDLE handle() const noexcept { return handle_; }

  private:
    ADSHANDLE handle_ = 0;
};

const UNSIGNED8* engine_bytes(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

std::size_t write_rows(Table& result, std::ostream& output) {
    CsvWriter writer(output);
    std::vector<std::string> cells;
    for (const FieldInfo& field : result.fields()) {
        cells.push_back(field.name);
    }
    writer.write_row(cells);
    const std::string context = "cannot read the result";
    std::size_t written = 0;
    check(AdsGotoTop(result.handle()), context);
    while (true) {
        UNSIGNED16 at_end = 0;
        check(AdsAtEOF(result.handle(), &at_end), context);
        if (at_end != 0) {
            return written;
        }
        cells.clear();
        for (const FieldInfo& field : result.fields()) {
            cells.push_back(get_cell(result, field));
        }
        writer.write_row(cells);
        ++written;
        check(AdsSkip(result.handle(), 1), context);
    }
}

}  // namespace

int run_sql(const Arguments& arguments) {
    Connection connection(std::filesystem::absolute(arguments.at(0)));
    Statement statement(connection);
    check(AdsStmtSetTableReadOnly(statement.handle(), 1), "cannot set up the statement");
    std::string text = to_engine_text(arguments.at(1), "statement");
    check(AdsPrepareSQL(statement.handle(), engine_bytes(text)), "the statement fails");
    for (std::size_t i = 2; i < arguments.count(); ++i) {
        std::string value = to_engine_text(arguments.at(i), "parameter");
        check(AdsSetString(statement.handle(), ADSFIELD(i - 1), engine_bytes(value),
                           static_cast<UNSIGNED32>(value.size())),
              "cannot bind parameter " + std::to_string(i - 1));
    }
    ADSHANDLE cursor = 0;
    check(AdsExecuteSQL(statement.handle(), &cursor), "the statement fails");
    if (cursor != 0) {
        Table result = Table::adopt(cursor, "the result");
        std::size_t written = write_rows(result, std::cout);
        std::cout.flush();
        if (!std::cout) {
            throw StoreError("cannot write to standard output");
        }
        result.close();
        std::cerr << written << (written == 1 ? " row" : " rows") << ".\n";
        return 0;
    }
    UNSIGNED32 changed = 0;
    UNSIGNED32 rc = AdsGetRecordCount(statement.handle(), VE_IGNORE_FILTERS, &changed);
    if (rc == VE_NO_ROW_COUNT) {
        std::cerr << "Done.\n";
        return 0;
    }
    check(rc, "cannot read the rows changed");
    std::cerr << changed << (changed == 1 ? " row" : " rows") << " changed.\n";
    return 0;
}

}  // namespace varelum::store
