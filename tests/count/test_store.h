// The count's in-memory test store: products, staff and audit rows in plain vectors, with the
// product list and the code lookup as real in-memory datasets, so that the count reads them
// through the same field access as on the real store. It logs every store operation in order
// and can be told to fail an operation the way a database error would.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "count/conferencia_estoque_store.h"
#include "db/mem_table.h"

namespace varelum::count::testing {

struct TTestProduct {
    std::string CodGrupo;
    std::string CodProduto;
    std::string CodBarras;
    double QtdeAtual;
};

struct TTestStaff {
    std::string Senha;
    std::string NomeFuncionario;
};

class TTestStore : public TConferenciaEstoqueStore {
  public:
    TTestStore();

    void OpenStaffTable() override;
    std::optional<std::string> LocateStaff(const std::string& senha) override;
    db::TDataSet& ProductList() override { return QyCadProdutos; }
    void OpenProductList() override;
    void CloseProductList() override;
    void LookupCode(const std::string& code) override;
    db::TDataSet& CodeLookup() override { return Query1; }
    void AppendAudit(const TAuditoriaRow& row) override;
    void CloseAll() override;

    std::vector<TTestProduct> Products;
    std::vector<TTestStaff> Staff;
    std::vector<TAuditoriaRow> Auditoria;

    // Every operation in order: "OpenStaffTable", "LocateStaff <senha>", "OpenProductList",
    // "CloseProductList", "Query1 CodBarras <code>", "Query1 CodProduto <code>",
    // "AppendAudit", "Close <dataset>".
    std::vector<std::string> Log;

    bool StaffTableOpen = false;
    bool AuditTableOpen = false;
    // Failures to inject, raised as database errors.
    bool FailOpenStaffTable = false;
    bool FailLocateStaff = false;
    bool FailAuditPost = false;

    db::TMemTable QyCadProdutos;
    db::TMemTable Query1;

  private:
    // Closes `query`, then opens it again holding the `products` that `matches` accepts, in
    // their order, with the first one current.
    template <class Match>
    void RunQuery(db::TMemTable& query, const std::vector<TTestProduct>& products, Match matches);
};

}  // namespace varelum::count::testing
