// The store as the stock count sees it: the staff table, the product list behind the chooser,
// the code lookup and the audit append. The real store realises it on the data-access
// components (TbCadFuncionariosLojas, QyCadProdutos, Query1, TbAuditoria); tests realise it in
// memory. Every failure of the store is an exception that ends the count's operation and is
// shown by the main loop; the count catches none of them.
#pragma once

#include <optional>
#include <string>

namespace varelum::db {
class TDataSet;
}

namespace varelum::count {

// One audit row, its six columns in the order the store sets them.
struct TAuditoriaRow {
    double Data = 0;         // today's date, no time of day (the framework's date-time)
    std::string CodGrupo;    // the product's CodGrupo as text
    std::string CodProduto;  // the product's CodProduto as text
    std::string Quantidade;  // the product's QtdeAtual as text
    std::string Situacao;    // "CONF ESTOQUE"
    std::string Observacao;  // "Conferido por: " and the employee's first name
};

class TConferenciaEstoqueStore {
  public:
    virtual ~TConferenciaEstoqueStore() = default;

    // Opens the staff table TbCadFuncionariosLojas; it stays open for the window's life.
    virtual void OpenStaffTable() = 0;

    // Locates in the open staff table a row whose Senha equals `senha` as a whole value, case
    // and all (no locate options). Found: that row becomes current and its NomeFuncionario is
    // returned as text; not found: nothing.
    virtual std::optional<std::string> LocateStaff(const std::string& senha) = 0;

    // The product list QyCadProdutos: every product ordered by product code, read-only. Its
    // current row is the chosen product, with the fields CodGrupo, CodProduto, CodBarras and
    // QtdeAtual (names match without regard to case). The dataset lives as long as the store.
    virtual db::TDataSet& ProductList() = 0;
    // Rebuilds and opens the product list: close, set the statement, open.
    virtual void OpenProductList() = 0;
    virtual void CloseProductList() = 0;

    // The code lookup Query1: LookupCode runs it for `code`, used exactly as given (not
    // trimmed): the products whose CodBarras equals the code; when that yields no row, the
    // products whose CodProduto equals it. CodeLookup is its dataset: after a lookup it is open
    // (RecordCount; fields codgrupo and codproduto of its first, current row) and stays open
    // until the next lookup or CloseAll. The dataset lives as long as the store.
    virtual void LookupCode(const std::string& code) = 0;
    virtual db::TDataSet& CodeLookup() = 0;

    // The audit append on TbAuditoria: open, append one row, set its six columns in the order of
    // TAuditoriaRow, post, close. When the post fails the table stays open and the error
    // propagates.
    virtual void AppendAudit(const TAuditoriaRow& row) = 0;

    // The window's close: closes Query1, QyCadProdutos, TbAuditoria and TbCadFuncionariosLojas,
    // in this order.
    virtual void CloseAll() = 0;
};

}  // namespace varelum::count
