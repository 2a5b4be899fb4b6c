// The count's store operations on the data-access components.
#include "count/conferencia_estoque_ads_store.h"

#include "ads/adstable_query.h"
#include "ads/adstable_table.h"
#include "rtl/variant.h"

namespace varelum::count {

namespace {

// Close, empty the lines, add them one at a time, give the parameter its text, open.
template <std::size_t LineCount>
void RunStatement(ads::TAdsQuery& query, const std::array<const char*, LineCount>& lines,
                  const std::string* parameterText) {
    query.Close();
    query.SQL().Clear();
    for (const char* line : lines) {
        query.SQL().Add(line);
    }
    if (parameterText != nullptr) {
        query.Params()[0].SetAsString(*parameterText);
    }
    query.Open();
}

// No locate options: the whole value, case and all.
constexpr db::TLocateOptions NoLocateOptions = 0;

}  // namespace

TConferenciaEstoqueAdsStore::TConferenciaEstoqueAdsStore(ads::TAdsTable& TbCadFuncionariosLojas,
                                                         ads::TAdsTable& TbAuditoria,
                                                         ads::TAdsQuery& QyCadProdutos,
                                                         ads::TAdsQuery& Query1)
    : FTbCadFuncionariosLojas(TbCadFuncionariosLojas),
      FTbAuditoria(TbAuditoria),
      FQyCadProdutos(QyCadProdutos),
      FQuery1(Query1) {}

void TConferenciaEstoqueAdsStore::OpenStaffTable() {
    FTbCadFuncionariosLojas.Open();
}

std::optional<std::string> TConferenciaEstoqueAdsStore::LocateStaff(const std::string& senha) {
    if (!FTbCadFuncionariosLojas.Locate("Senha", rtl::Variant(senha), NoLocateOptions)) {
        return std::nullopt;
    }
    return FTbCadFuncionariosLojas.FieldByName("NomeFuncionario").AsString();
}

db::TDataSet& TConferenciaEstoqueAdsStore::ProductList() {
    return FQyCadProdutos;
}

void TConferenciaEstoqueAdsStore::OpenProductList() {
    RunStatement(FQyCadProdutos, ProductListStatement, nullptr);
}

void TConferenciaEstoqueAdsStore::CloseProductList() {
    FQyCadProdutos.Close();
}

void TConferenciaEstoqueAdsStore::LookupCode(const std::string& code) {
    RunStatement(FQuery1, BarcodeLookupStatement, &code);
    if (FQuery1.RecordCount() == 0) {
        RunStatement(FQuery1, ProductCodeLookupStatement, &code);
    }
}

db::TDataSet& TConferenciaEstoqueAdsStore::CodeLookup() {
    return FQuery1;
}

void TConferenciaEstoqueAdsStore::AppendAudit(const TAuditoriaRow& row) {
    FTbAuditoria.Open();
    CancelPendingAudit();
    FTbAuditoria.Append();
    FTbAuditoria.FieldByName("Data").SetAsDateTime(row.Data);
    FTbAuditoria.FieldByName("CodGrupo").SetAsString(row.CodGrupo);
    FTbAuditoria.FieldByName("CodProduto").SetAsString(row.CodProduto);
    FTbAuditoria.FieldByName("Quantidade").SetAsString(row.Quantidade);
    FTbAuditoria.FieldByName("Situacao").SetAsString(row.Situacao);
    FTbAuditoria.FieldByName("Observacao").SetAsString(row.Observacao);
    FTbAuditoria.Post();
    FTbAuditoria.Close();
}

void TConferenciaEstoqueAdsStore::CloseAll() {
    FQuery1.Close();
    FQyCadProdutos.Close();
    CancelPendingAudit();
    FTbAuditoria.Close();
    FTbCadFuncionariosLojas.Close();
}

void TConferenciaEstoqueAdsStore::CancelPendingAudit() {
    if (FTbAuditoria.State() == db::dsInsert || FTbAuditoria.State() == db::dsEdit) {
        FTbAuditoria.Cancel();
    }
}

}  // namespace varelum::count
