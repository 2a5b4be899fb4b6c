// The in-memory test store: the statements of the real store, run over vectors.
#include "test_store.h"

#include <algorithm>

#include "rtl/exception.h"

namespace varelum::count::testing {

namespace {

// "SELECT *" over the product table: every column the program names.
void DefineProductFields(db::TMemTable& table) {
    table.FieldDefs().Add("CodGrupo", db::ftString, 20);
    table.FieldDefs().Add("CodProduto", db::ftString, 40);
    table.FieldDefs().Add("CodBarras", db::ftString, 40);
    table.FieldDefs().Add("QtdeAtual", db::ftFloat);
}

}  // namespace

TTestStore::TTestStore() {
    QyCadProdutos.SetName("QyCadProdutos");
    Query1.SetName("Query1");
    DefineProductFields(QyCadProdutos);
    DefineProductFields(Query1);
}

void TTestStore::OpenStaffTable() {
    Log.push_back("OpenStaffTable");
    if (FailOpenStaffTable) {
        throw rtl::EDatabaseError("TbCadFuncionariosLojas: table not found");
    }
    StaffTableOpen = true;
}

std::optional<std::string> TTestStore::LocateStaff(const std::string& senha) {
    Log.push_back("LocateStaff " + senha);
    if (FailLocateStaff) {
        throw rtl::EDatabaseError("TbCadFuncionariosLojas: column Senha not found");
    }
    if (!StaffTableOpen) {
        throw rtl::EDatabaseError("Cannot perform this operation on a closed dataset");
    }
    for (const TTestStaff& staff : Staff) {
        if (staff.Senha == senha) {
            return staff.NomeFuncionario;
        }
    }
    return std::nullopt;
}

template <class Match>
void TTestStore::RunQuery(db::TMemTable& query, const std::vector<TTestProduct>& products,
                          Match matches) {
    query.Close();
    query.CreateDataSet();
    for (const TTestProduct& product : products) {
        if (matches(product)) {
            query.Append();
            query.FieldByName("CodGrupo").SetAsString(product.CodGrupo);
            query.FieldByName("CodProduto").SetAsString(product.CodProduto);
            query.FieldByName("CodBarras").SetAsString(product.CodBarras);
            query.FieldByName("QtdeAtual").SetAsFloat(product.QtdeAtual);
            query.Post();
        }
    }
    query.First();
}

void TTestStore::OpenProductList() {
    Log.push_back("OpenProductList");
    // "order by codproduto"
    std::vector<TTestProduct> ordered = Products;
    std::stable_sort(
        ordered.begin(), ordered.end(),
        [](const TTestProduct& a, const TTestProduct& b) { return a.CodProduto < b.CodProduto; });
    RunQuery(QyCadProdutos, ordered, [](const TTestProduct&) { return true; });
}

void TTestStore::CloseProductList() {
    Log.push_back("CloseProductList");
    QyCadProdutos.Close();
}

void TTestStore::LookupCode(const std::string& code) {
    Log.push_back("Query1 CodBarras " + code);
    RunQuery(Query1, Products,
             [&](const TTestProduct& product) { return product.CodBarras == code; });
    if (Query1.RecordCount() == 0) {
        Log.push_back("Query1 CodProduto " + code);
        RunQuery(Query1, Products,
                 [&](const TTestProduct& product) { return product.CodProduto == code; });
    }
}

void TTestStore::AppendAudit(const TAuditoriaRow& row) {
    Log.push_back("AppendAudit");
    AuditTableOpen = true;
    if (FailAuditPost) {
        throw rtl::EDatabaseError("TbAuditoria: the row cannot be posted");
    }
    Auditoria.push_back(row);
    AuditTableOpen = false;
}

void TTestStore::CloseAll() {
    for (const char* name : {"Query1", "QyCadProdutos", "TbAuditoria", "TbCadFuncionariosLojas"}) {
        Log.push_back(std::string("Close ") + name);
    }
    Query1.Close();
    QyCadProdutos.Close();
    AuditTableOpen = false;
    StaffTableOpen = false;
}

}  // namespace varelum::count::testing
