// varelum-store demo DIR [--products N]: a store on which the stock-count program runs: the
// product, staff and audit tables in DIR and the alias BALDERIM for DIR in DIR/ads.ini.
#include <filesystem>
#include <iostream>

#include "ads_ini.h"
#include "batched_append.h"
#include "cell_values.h"
#include "commands.h"
#include "demo_store.h"
#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {

namespace fs = std::filesystem;

namespace {

constexpr unsigned long kDefaultProducts = 200;
constexpr std::size_t kProgressEvery = 10000;
constexpr std::size_t kProductsShown = 5;

// Appends one row of cells, in the order of the table's fields, through the import's value
// path.
void append_row(const Table& table, const DemoRow& row) {
    check(AdsAppendRecord(table.handle()), "cannot append to " + display_name(table.path()));
    for (std::size_t i = 0; i < row.size(); ++i) {
        set_cell(table, table.fields().at(i), row[i], VE_CHARTYPE_ANSI);
    }
    check(AdsWriteRecord(table.handle()), "cannot write to " + display_name(table.path()));
}

Table create_table(Connection& connection, const fs::path& directory, const DemoTable& demo) {
    return Table::create(connection, directory / demo.file, demo.fields);
}

// Indexes go on after the rows, so that each is built once from all of them. Answers what
// the table's indexes are, for the summary: ", indexed by A, B" or "".
template <std::size_t Count>
std::string create_indexes(Table& table, const DemoIndex (&indexes)[Count]) {
    std::string names;
    for (const DemoIndex& index : indexes) {
        table.create_index(index.tag, index.expression, index.unique ? VE_INDEX_UNIQUE : 0);
        names += (names.empty() ? "" : ", ") + std::string(index.tag);
    }
    return names.empty() ? "" : ", indexed by " + names;
}

// Puts everything written to the table on disk, then closes it.
void flush_and_close(Table& table) {
    check(AdsFlushFileBuffers(table.handle()), "cannot flush " + display_name(table.path()));
    table.close();
}

}  // namespace

int run_demo(const Arguments& arguments) {
    const auto product_count = static_cast<std::size_t>(
        arguments.number("--products", kDefaultProducts, 0, kMaxDemoProducts));
    const fs::path directory = fs::absolute(fs::path(arguments.at(0))).lexically_normal();
    if (arguments.at(0).empty()) {
        throw StoreError("the directory name is empty");
    }
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        throw StoreError("cannot make the directory " + directory.string() + ": " +
                         error.message());
    }
    if (!arguments.has("--replace")) {
        for (const DemoTable* demo : {&kDemoProducts, &kDemoEmployees, &kDemoAudit}) {
            if (fs::exists(directory / demo->file)) {
                throw StoreError((directory / demo->file).string() +
                                 " exists already (use --replace to make the demo anew)");
            }
        }
    }

    Connection connection(directory);
    DemoProductSource products(product_count);
    // The first few products are shown at the end; the rest are written and forgotten.
    std::vector<DemoProduct> shown;
    std::size_t sold_out = 0;
    std::string product_indexes;
    std::string employee_indexes;
    {
        Table table = create_table(connection, directory, kDemoProducts);
        // Written in synced batches: one synced commit per product would take minutes.
        BatchedAppend batches(connection, table);
        std::size_t written = 0;
        DemoProduct product;
        while (products.next(product)) {
            append_row(batches.staging(), product.row);
            if (batches.row_written()) {
                batches.send();
            }
            sold_out += product.quantity == 0 ? 1 : 0;
            if (shown.size() < kProductsShown) {
                shown.push_back(product);
            }
            if (++written % kProgressEvery == 0) {
                std::cerr << "demo: " << written << " products\n";
            }
        }
        batches.send();
        product_indexes = create_indexes(table, kDemoProductIndexes);
        flush_and_close(table);
    }
    {
        Table table = create_table(connection, directory, kDemoEmployees);
        for (const DemoEmployee& employee : demo_employees()) {
            append_row(table, employee.row);
        }
        employee_indexes = create_indexes(table, kDemoEmployeeIndexes);
        flush_and_close(table);
    }
    {
        Table table = create_table(connection, directory, kDemoAudit);
        flush_and_close(table);
    }
    set_ads_ini_alias(directory / "ads.ini", kDemoAlias, directory.string());

    std::cout << "Demo store in " << directory.string() << ":\n"
              << "  " << kDemoProducts.file << "           " << products.size() << " products ("
              << sold_out << " with quantity 0)" << product_indexes << "\n"
              << "  " << kDemoEmployees.file << "  " << demo_employees().size() << " employees"
              << employee_indexes << "\n"
              << "  " << kDemoAudit.file << "             empty\n"
              << "  ads.ini                   " << kDemoAlias << " = " << directory.string()
              << "\n\nPasswords:\n";
    for (const DemoEmployee& employee : demo_employees()) {
        std::cout << "  " << employee.password
                  << std::string(employee.password.size() < 12 ? 12 - employee.password.size() : 1,
                                 ' ')
                  << employee.name << "\n";
    }
    if (!shown.empty()) {
        std::cout << "\nSome products (code, barcode, quantity, description):\n";
        for (const DemoProduct& product : shown) {
            std::cout << "  " << product.code << "  " << product.barcode << "  "
                      << std::string(product.quantity < 10    ? 2
                                     : product.quantity < 100 ? 1
                                                              : 0,
                                     ' ')
                      << product.quantity << "  " << product.description << "\n";
        }
    }
    std::cout << "\nRun the program with adsini_path=" << directory.string() << " (or from "
              << directory.string() << ").\n";
    return 0;
}

}  // namespace varelum::store
