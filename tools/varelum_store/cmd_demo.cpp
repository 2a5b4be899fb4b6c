// varelum-store demo DIR [--products N] [--dictionary] [--register]: a store on which the
// stock-count program runs: the product, staff and audit tables in DIR and the alias BALDERIM
// for DIR in DIR/ads.ini. With --dictionary the tables belong to a data dictionary in DIR, whose
// users are the demo's employees, and the alias names the dictionary. With --register the alias
// goes into the user's own ads.ini too, where the installed program started from the desktop
// menu finds it.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>
#include <vector>

#include "ads_ini.h"
#include "batched_append.h"
#include "cell_values.h"
#include "commands.h"
#include "demo_store.h"
#include "engine_table.h"
#include "password_prompt.h"
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

const UNSIGNED8* engine_bytes(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

// A new demo dictionary (an old one goes first when `replace`), its administrator logged in:
// the connection the demo's tables are made on, so that each is registered as it is made.
ADSHANDLE create_dictionary(const fs::path& file, const SecretBuffer& admin_password) {
    ADSHANDLE handle = 0;
    check(
        AdsDDCreate(engine_bytes(to_engine_text(file.string(), "path")),
                    reinterpret_cast<const UNSIGNED8*>(admin_password.c_str()),
                    engine_bytes(to_engine_text("Demo store of Varelum", "description")), &handle),
        "cannot create " + file.string());
    return handle;
}

// The employees as users of the group that may read the products and add audit rows; only
// the administrator reaches the staff table, whose passwords no employee needs to read.
void add_employees(ADSHANDLE dictionary) {
    const std::string group = to_engine_text(kDemoStaffGroup, "group");
    check(AdsDDCreateUserGroup(dictionary, engine_bytes(group), nullptr), "cannot add the group");
    for (const DemoEmployee& employee : demo_employees()) {
        check(AdsDDCreateUser(dictionary, engine_bytes(group),
                              engine_bytes(to_engine_text(employee.user(), "user")),
                              engine_bytes(checked_password(employee.password)),
                              engine_bytes(to_engine_text(employee.name, "description"))),
              "cannot add the user " + employee.user());
    }
    const std::pair<const DemoTable*, UNSIGNED32> grants[] = {
        {&kDemoProducts, VE_DD_RIGHT_READ},
        {&kDemoAudit, VE_DD_RIGHT_READ | VE_DD_RIGHT_INSERT},
    };
    for (const auto& [table, rights] : grants) {
        std::string name = to_engine_text(fs::path(table->file).stem().string(), "table");
        check(AdsDDGrantPermission(dictionary, engine_bytes(name), nullptr, engine_bytes(group),
                                   rights),
              "cannot grant the rights on " + name);
    }
}

// The user's own ads.ini, where the components look after the program's folder and the
// current one: $XDG_CONFIG_HOME/varelum/ads.ini, else ~/.config/varelum/ads.ini.
fs::path user_ads_ini() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return fs::path(config) / "varelum" / "ads.ini";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return fs::path(home) / ".config" / "varelum" / "ads.ini";
    }
    throw StoreError(
        "cannot register the demo store: neither XDG_CONFIG_HOME nor HOME names a "
        "folder");
}

// Deletes an old demo dictionary (demo --replace): its tables are made anew below.
// Deletes a demo file made before, with its lock file. A table of an earlier demo's dictionary
// is bound to that dictionary, which no new dictionary may take over: --replace makes the
// tables anew rather than over the old ones.
void remove_demo_file(const fs::path& file) {
    for (const fs::path& path : {file, fs::path(file.string() + "-lock")}) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            throw StoreError("cannot delete " + path.string() + ": " + std::strerror(errno));
        }
    }
}

}  // namespace

int run_demo(const Arguments& arguments) {
    const auto product_count = static_cast<std::size_t>(
        arguments.number("--products", kDefaultProducts, 0, kMaxDemoProducts));
    const fs::path directory = fs::absolute(fs::path(arguments.at(0))).lexically_normal();
    if (arguments.at(0).empty()) {
        throw StoreError("the directory name is empty");
    }
    // Found before any work, so that a session without a home folder fails with nothing made.
    const fs::path registered = arguments.has("--register") ? user_ads_ini() : fs::path();
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        throw StoreError("cannot make the directory " + directory.string() + ": " +
                         error.message());
    }
    const bool dictionary = arguments.has("--dictionary");
    const fs::path dictionary_file = directory / kDemoDictionary;
    if (!arguments.has("--replace")) {
        std::vector<fs::path> files;
        for (const DemoTable* demo : {&kDemoProducts, &kDemoEmployees, &kDemoAudit}) {
            files.push_back(directory / demo->file);
        }
        if (dictionary) {
            files.push_back(dictionary_file);
        }
        for (const fs::path& file : files) {
            if (fs::exists(file)) {
                throw StoreError(file.string() +
                                 " exists already (use --replace to make the demo anew)");
            }
        }
    }
    // Asked before any work, as the dict command does: never on the command line.
    const SecretBuffer admin_password =
        dictionary ? checked_password(read_new_password("Password for Admin: ")) : SecretBuffer();
    if (arguments.has("--replace")) {
        for (const DemoTable* demo : {&kDemoProducts, &kDemoEmployees, &kDemoAudit}) {
            remove_demo_file(directory / demo->file);
        }
    }
    if (dictionary) {
        remove_demo_file(dictionary_file);
    }

    Connection connection =
        dictionary ? Connection(directory, create_dictionary(dictionary_file, admin_password))
                   : Connection(directory);
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
        // Each of the engine's commits is synced: the table is on the disk once it is closed.
        table.close();
    }
    {
        Table table = create_table(connection, directory, kDemoEmployees);
        for (const DemoEmployee& employee : demo_employees()) {
            append_row(table, employee.row);
        }
        employee_indexes = create_indexes(table, kDemoEmployeeIndexes);
        table.close();
    }
    {
        Table table = create_table(connection, directory, kDemoAudit);
        table.close();
    }
    if (dictionary) {
        add_employees(connection.handle());
    }
    const std::string store = dictionary ? dictionary_file.string() : directory.string();
    set_ads_ini_alias(directory / "ads.ini", kDemoAlias, store);
    if (!registered.empty()) {
        fs::create_directories(registered.parent_path(), error);
        if (error) {
            throw StoreError("cannot make the directory " + registered.parent_path().string() +
                             ": " + error.message());
        }
        set_ads_ini_alias(registered, kDemoAlias, store);
    }

    std::cout << "Demo store in " << directory.string() << ":\n"
              << "  " << kDemoProducts.file << "           " << products.size() << " products ("
              << sold_out << " with quantity 0)" << product_indexes << "\n"
              << "  " << kDemoEmployees.file << "  " << demo_employees().size() << " employees"
              << employee_indexes << "\n"
              << "  " << kDemoAudit.file << "             empty\n";
    if (dictionary) {
        std::cout << "  " << kDemoDictionary << "                  the users Admin and";
        for (const DemoEmployee& employee : demo_employees()) {
            std::cout << " " << employee.user();
        }
        std::cout << " (group " << kDemoStaffGroup << ": read " << kDemoProducts.file
                  << ", read and add to " << kDemoAudit.file << ")\n";
    }
    std::cout << "  ads.ini                   " << kDemoAlias << " = " << store << "\n";
    if (!registered.empty()) {
        std::cout << "  " << registered.string() << "  " << kDemoAlias << " = " << store << "\n";
    }
    if (dictionary) {
        // The employees' passwords are those of the staff table; a dictionary's passwords are
        // never printed.
        std::cout << "\nEach employee logs in with the password of the staff table. The\n"
                     "stock-count program connects to its alias without a user, so it cannot log\n"
                     "in to a dictionary: it runs on a demo made without --dictionary.\n";
        return 0;
    }
    std::cout << "\nPasswords:\n";
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
    if (registered.empty()) {
        std::cout << "\nRun the program with adsini_path=" << directory.string() << " (or from "
                  << directory.string() << ").\n";
    } else {
        std::cout << "\nThe program finds the store through " << registered.string()
                  << ",\nalso when started from the desktop menu.\n";
    }
    return 0;
}

}  // namespace varelum::store
