// The demo store of the stock-count program: the three tables it uses, with the columns it
// names and the few more a shop keeps, and their made-up contents. The contents are the same
// on every run (a fixed seed), so a demo store can be described in a test or a manual.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::store {

inline constexpr std::string_view kDemoAlias = "BALDERIM";
// The demo made as a data dictionary (demo --dictionary): its file beside the tables, and the
// group of the employees, who may read the products and add audit rows.
inline constexpr std::string_view kDemoDictionary = "Loja.add";
inline constexpr std::string_view kDemoStaffGroup = "Funcionarios";

// A table of the demo: its file name and the engine's field text.
struct DemoTable {
    std::string_view file;
    std::string_view fields;
};

// CodProduto, CodBarras, CodGrupo and QtdeAtual are the columns the program reads.
inline constexpr DemoTable kDemoProducts{
    "CadProdutos.adt",
    "CodProduto,Char,20;CodBarras,Char,20;CodGrupo,Char,6;Descricao,Char,60;Unidade,Char,4;"
    "PrecoVenda,Numeric,12,2;QtdeAtual,Integer;Ativo,Logical;DataCadastro,Date;"};
// Senha (located by the password the employee types) and NomeFuncionario.
inline constexpr DemoTable kDemoEmployees{
    "CadFuncionariosLojas.adt",
    "CodFuncionario,Integer;NomeFuncionario,Char,50;Senha,Char,20;Cargo,Char,30;Ativo,Logical;"};
// The six columns a finished count writes.
inline constexpr DemoTable kDemoAudit{
    "Auditoria.adt",
    "Data,TimeStamp;CodGrupo,Char,6;CodProduto,Char,20;Quantidade,Integer;Situacao,Char,20;"
    "Observacao,Char,60;"};

// An index tag of a demo table: the program's lookups find a product by its code or barcode
// and an employee by password. Passwords need not be unique (two employees may share one).
struct DemoIndex {
    std::string_view tag;
    std::string_view expression;
    bool unique;
};
inline constexpr DemoIndex kDemoProductIndexes[] = {{"CodProduto", "CodProduto", true},
                                                    {"CodBarras", "CodBarras", true}};
inline constexpr DemoIndex kDemoEmployeeIndexes[] = {{"Senha", "Senha", false}};

// The most products a demo makes: a store far larger than a shop's, to try the program at
// scale. Codes have six digits up to 999,999 products and as many as the count has above.
inline constexpr std::size_t kMaxDemoProducts = 10'000'000;

// One row of a demo table, as cells in the order of the table's fields (the forms of
// cell_values.h, so that the demo is written through the same path as an import).
using DemoRow = std::vector<std::string>;

struct DemoProduct {
    std::string code;     // "000001", ...
    std::string barcode;  // EAN-13
    std::string group;
    std::string description;
    int quantity = 0;
    DemoRow row;
};

struct DemoEmployee {
    std::string name;
    std::string password;  // upper case: the password dialog types in upper case
    DemoRow row;
    // The user name in a demo dictionary: the first name, as the count signs with it.
    std::string user() const { return name.substr(0, name.find(' ')); }
};

// `count` products with unique codes and unique barcodes, made one at a time so that a demo of
// millions never holds them all.
class DemoProductSource {
  public:
    explicit DemoProductSource(std::size_t count);

    std::size_t size() const { return count_; }
    // The next product into `product`; false after the last.
    bool next(DemoProduct& product);

  private:
    std::size_t count_;
    std::size_t made_ = 0;
    std::size_t code_digits_;
    std::int32_t first_day_;
    std::uint64_t random_state_;  // of the fixed-seed generator in demo_store.cpp
};

// All `count` products at once (a small demo, a test).
std::vector<DemoProduct> demo_products(std::size_t count);
const std::vector<DemoEmployee>& demo_employees();

// The EAN-13 code of twelve digits: the digits and their check digit.
std::string ean13(std::string_view twelve_digits);

}  // namespace varelum::store
