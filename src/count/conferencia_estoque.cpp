// The count's life cycle: the window's first showing, opening a count with a password (F2),
// clearing it (F4), the current-quantity label, the close guard, the close and the duplicate
// copy. Reads and the finish are in conferencia_estoque_reads.cpp.
#include "count/conferencia_estoque.h"

#include <memory>
#include <optional>
#include <utility>

#include "count/notices.h"
#include "rtl/exception.h"

namespace varelum::count {

std::string NomeConferente;

void FinalizeConferenciaEstoque() {
    NomeConferente.clear();
}

namespace {

void DefineReadFields(db::TMemTable& list) {
    list.FieldDefs().Add("codgrupo", db::ftString, CodGrupoWidth);
    list.FieldDefs().Add("codproduto", db::ftString, CodProdutoWidth);
}

}  // namespace

TConferenciaEstoqueForm1::TConferenciaEstoqueForm1(TConferenciaEstoqueView& view,
                                                   TConferenciaEstoqueStore& store,
                                                   TSenhaAcessoDialogFactory& dialogs,
                                                   std::function<void()> requestTerminate)
    : FView(view),
      FStore(store),
      FDialogs(dialogs),
      FRequestTerminate(std::move(requestTerminate)) {
    cdsQtdeProdConfIgual.SetName("cdsQtdeProdConfIgual");
    cdsQtdeProdConfDif.SetName("cdsQtdeProdConfDif");
    DefineReadFields(cdsQtdeProdConfIgual);
    DefineReadFields(cdsQtdeProdConfDif);

    DataSource1.SetName("DataSource1");
    DataSource1.SetDataSet(&FStore.ProductList());
    DataSource1.OnDataChange = [this](db::TDataSource&, db::TField*) { DataSource1DataChange(); };
    DataSource2.SetName("DataSource2");
    DataSource2.SetDataSet(&cdsQtdeProdConfIgual);
    DataSource3.SetName("DataSource3");
    DataSource3.SetDataSet(&cdsQtdeProdConfDif);
    FView.BindDataSources(DataSource1, DataSource2, DataSource3);
}

// The data sources detach from their datasets on their own destruction; the product list is the
// store's and outlives the form.
TConferenciaEstoqueForm1::~TConferenciaEstoqueForm1() = default;

void TConferenciaEstoqueForm1::FormShow() {
    FStore.OpenStaffTable();
    cdsQtdeProdConfIgual.CreateDataSet();
    cdsQtdeProdConfDif.CreateDataSet();
    cdsQtdeProdConfIgual.Open();
    cdsQtdeProdConfDif.Open();
    EmptyLists();
    FStore.OpenProductList();
    FView.SetLabel2Caption("");
    FView.SetLabel4Caption("");
    FView.SetLabel5Caption("");
    FView.SetWindowStateNormal();
}

void TConferenciaEstoqueForm1::FormKeyDown(std::uint16_t Key) {
    if (Key == KeyF2) {
        OpenCount();
    }
    // Tested after the F2 branch on the same key code: one key event is F2 or F4, never both.
    if (Key == KeyF4) {
        LimparForm();
    }
}

void TConferenciaEstoqueForm1::OpenCount() {
    // Only reads block a new count; an open count without reads is simply replaced.
    if (ReadsExist()) {
        Notice(NoticeCountAlreadyOpen);
    }

    // The dialog's result means nothing: however it was closed, the attempt goes on. It is
    // destroyed when the attempt ends, also when the staff lookup fails.
    std::unique_ptr<TSenhaAcessoDialog> dialog = FDialogs.CreateSenhaAcessoForm1();
    dialog->ShowModal();

    ResetCountTexts();
    FView.ClearDBLookupComboBox1KeyValue();
    FStore.CloseProductList();
    EmptyLists();

    const std::optional<std::string> nomeFuncionario = FStore.LocateStaff(dialog->Password());
    if (!nomeFuncionario) {
        FView.ShowNotice(NoticeUnknownPassword);
        dialog.reset();
        rtl::Abort();
    }

    NomeConferente = *nomeFuncionario;
    FView.SetEdit1Enabled(true);
    FView.SetStatusBar1PanelText(EmployeePanelIndex, CountOpenedByPrefix + FirstNameOfConferente());
    FStore.OpenProductList();
    FView.FocusDBLookupComboBox1();
}

void TConferenciaEstoqueForm1::LimparForm() {
    ResetCountTexts();
    // The chooser keeps its key value; with the product list closed it shows nothing.
    FStore.CloseProductList();
    EmptyLists();
    FView.SetDBLookupComboBox1Enabled(true);
}

void TConferenciaEstoqueForm1::ResetCountTexts() {
    NomeConferente.clear();
    FView.SetEdit1Text("");
    FView.SetEdit1Enabled(false);
    FView.SetLabel2Caption("");
    FView.SetLabel4Caption("");
    FView.SetLabel5Caption("");
    FView.SetStatusBar1PanelText(EmployeePanelIndex, "");
}

void TConferenciaEstoqueForm1::DataSource1DataChange() {
    ShowCurrentQuantity();
}

void TConferenciaEstoqueForm1::DBLookupComboBox1Click() {
    ShowCurrentQuantity();
}

void TConferenciaEstoqueForm1::ShowCurrentQuantity() {
    if (ProductChosen()) {
        FView.SetLabel2Caption(CurrentQuantityPrefix +
                               FStore.ProductList().FieldByName("QtdeAtual").AsString());
    } else {
        FView.SetLabel2Caption("");
    }
}

void TConferenciaEstoqueForm1::FormCloseQuery(bool& CanClose) {
    // Refused without the silent abort: the refusal is the answer the close request waits for.
    if (ReadsExist()) {
        FView.ShowNotice(NoticeCannotClose);
        CanClose = false;
    }
}

void TConferenciaEstoqueForm1::FormClose() {
    FStore.CloseAll();
    cdsQtdeProdConfDif.Close();
    cdsQtdeProdConfIgual.Close();
}

void TConferenciaEstoqueForm1::KrelOneInstance1Duplicated(rtl::TComponent* /*Sender*/,
                                                          std::uint32_t /*PrevInstance*/) {
    // The previous copy is not brought forward; this copy just ends.
    if (FRequestTerminate) {
        FRequestTerminate();
    }
}

void TConferenciaEstoqueForm1::Notice(const char* text) {
    FView.ShowNotice(text);
    rtl::Abort();
}

int TConferenciaEstoqueForm1::RowCount(const db::TMemTable& list) {
    return list.Active() ? list.RecordCount() : 0;
}

bool TConferenciaEstoqueForm1::ReadsExist() const {
    return RowCount(cdsQtdeProdConfIgual) > 0 || RowCount(cdsQtdeProdConfDif) > 0;
}

bool TConferenciaEstoqueForm1::ProductChosen() const {
    return !FView.DBLookupComboBox1Text().empty();
}

std::string TConferenciaEstoqueForm1::FirstNameOfConferente() const {
    return ObterTermo(1, " ", NomeConferente);
}

void TConferenciaEstoqueForm1::EmptyLists() {
    if (RowCount(cdsQtdeProdConfIgual) > 0) {
        cdsQtdeProdConfIgual.EmptyDataSet();
    }
    if (RowCount(cdsQtdeProdConfDif) > 0) {
        cdsQtdeProdConfDif.EmptyDataSet();
    }
}

void TConferenciaEstoqueForm1::AppendRead(db::TMemTable& list, const std::string& codGrupo,
                                          const std::string& codProduto) {
    list.Append();
    list.FieldByName("codgrupo").SetAsString(codGrupo);
    list.FieldByName("codproduto").SetAsString(codProduto);
    list.Post();
}

}  // namespace varelum::count
