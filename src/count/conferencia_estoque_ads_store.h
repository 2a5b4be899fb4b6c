// The count's store on the data-access components: the staff table TbCadFuncionariosLojas, the
// product list QyCadProdutos, the code lookup Query1 and the audit table TbAuditoria, as the
// main window holds them (their DatabaseName, TableName and other stored settings are the
// window's). This file owns the statements: every run closes the query, empties its lines,
// adds the lines below one at a time and opens it; nothing is prepared once and reused.
//
// Product list:            SELECT * / FROM CadProdutos / order by codproduto
// Lookup by barcode:       SELECT * / FROM CadProdutos / WHERE / (CodBarras) = :Par0
// Lookup by product code:  SELECT * / FROM CadProdutos / WHERE / (CodProduto) = :Par0
//
// The lookups give their one parameter (the first, Par0) the code as text, exactly as typed.
// Every failure is the data layer's exception and propagates.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "count/conferencia_estoque_store.h"

namespace varelum::ads {
class TAdsQuery;
class TAdsTable;
}  // namespace varelum::ads

namespace varelum::count {

// The statements, line by line.
inline constexpr std::array<const char*, 3> ProductListStatement = {"SELECT *", "FROM CadProdutos",
                                                                    "order by codproduto"};
inline constexpr std::array<const char*, 4> BarcodeLookupStatement = {
    "SELECT *", "FROM CadProdutos", "WHERE", "(CodBarras) = :Par0"};
inline constexpr std::array<const char*, 4> ProductCodeLookupStatement = {
    "SELECT *", "FROM CadProdutos", "WHERE", "(CodProduto) = :Par0"};

class TConferenciaEstoqueAdsStore final : public TConferenciaEstoqueStore {
  public:
    // The components must outlive the store; the store never opens them before it is asked to.
    TConferenciaEstoqueAdsStore(ads::TAdsTable& TbCadFuncionariosLojas, ads::TAdsTable& TbAuditoria,
                                ads::TAdsQuery& QyCadProdutos, ads::TAdsQuery& Query1);

    void OpenStaffTable() override;
    // Locate on the field Senha with no locate options; the found row's NomeFuncionario.
    std::optional<std::string> LocateStaff(const std::string& senha) override;

    db::TDataSet& ProductList() override;
    void OpenProductList() override;
    void CloseProductList() override;

    // The barcode statement first; the product-code statement only when that has no row.
    void LookupCode(const std::string& code) override;
    db::TDataSet& CodeLookup() override;

    // Open, Append, Data, CodGrupo, CodProduto, Quantidade, Situacao, Observacao, Post, Close.
    // A row left pending by an earlier post that failed is cancelled first (the engine
    // discards its appended record), so that a retry writes one row, not the old one and a new
    // one.
    void AppendAudit(const TAuditoriaRow& row) override;

    // Query1, QyCadProdutos, TbAuditoria, TbCadFuncionariosLojas, in this order; an audit row
    // still pending from a failed post is cancelled first, so that closing cannot write it.
    void CloseAll() override;

  private:
    // Cancels the audit row a failed post left in the table (its engine append with it).
    void CancelPendingAudit();

    ads::TAdsTable& FTbCadFuncionariosLojas;
    ads::TAdsTable& FTbAuditoria;
    ads::TAdsQuery& FQyCadProdutos;
    ads::TAdsQuery& FQuery1;
};

}  // namespace varelum::count
