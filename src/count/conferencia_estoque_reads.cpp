// The count's reads and its finish: a code typed into the code field and ended by Enter is looked
// up and recorded as a correct or a wrong read; "Finalizar" checks the count against the stock
// and writes the audit row.
#include "count/conferencia_estoque.h"

#include "count/notices.h"
#include "rtl/datetime.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::count {

void TConferenciaEstoqueForm1::Edit1KeyPress(char32_t Key) {
    const std::string code = FView.Edit1Text();
    if (code.empty() || Key != KeyEnter) {
        return;
    }
    if (!ProductChosen()) {
        FView.ShowNotice(NoticeChooseProduct);
        FView.FocusDBLookupComboBox1();
        rtl::Abort();
    }
    // Exactly zero: a negative stock lets the reads go on (its finish can never balance).
    if (FStore.ProductList().FieldByName("QtdeAtual").AsFloat() == 0) {
        FView.ShowNotice(NoticeZeroStock);
        FView.SetEdit1Text("");
        FView.FocusDBLookupComboBox1();
        rtl::Abort();
    }

    FStore.LookupCode(code);
    if (FStore.CodeLookup().RecordCount() == 0) {
        // Not an abort: the chooser's state below is still brought up to date.
        FView.ShowNotice(NoticeUnknownCode);
    } else {
        GravaLancamento();
    }
    FView.SetDBLookupComboBox1Enabled(RowCount(cdsQtdeProdConfIgual) == 0 &&
                                      RowCount(cdsQtdeProdConfDif) == 0);
}

bool TConferenciaEstoqueForm1::NamesChosenProduct(const std::string& code) {
    // A scanner reads the barcode, a person types the code as the chooser shows it: both name
    // the chosen product. Compared exactly (case and blanks count); the lookup only decided
    // that the text names some product.
    return code == FView.DBLookupComboBox1Text() ||
           code == FStore.ProductList().FieldByName("CodBarras").AsString();
}

void TConferenciaEstoqueForm1::GravaLancamento() {
    std::string code = FView.Edit1Text();
    if (!code.empty() && NamesChosenProduct(code)) {
        db::TDataSet& product = FStore.ProductList();
        AppendRead(cdsQtdeProdConfIgual, product.FieldByName("CodGrupo").AsString(),
                   product.FieldByName("CodProduto").AsString());
        FView.SetEdit1Text("");
        FView.FocusEdit1();
        FView.SetLabel4Caption(CorrectReadsPrefix +
                               rtl::IntToStr(cdsQtdeProdConfIgual.RecordCount()));
    }

    // Read again: a correct read above has emptied the field, so only one branch acts.
    code = FView.Edit1Text();
    if (!code.empty() && !NamesChosenProduct(code)) {
        db::TDataSet& found = FStore.CodeLookup();
        AppendRead(cdsQtdeProdConfDif, found.FieldByName("codgrupo").AsString(),
                   found.FieldByName("codproduto").AsString());
        FView.SetEdit1Text("");
        FView.FocusEdit1();
        FView.SetLabel5Caption(WrongReadsPrefix + rtl::IntToStr(cdsQtdeProdConfDif.RecordCount()));
    }
}

void TConferenciaEstoqueForm1::SpeedButton1Click() {
    if (RowCount(cdsQtdeProdConfIgual) == 0) {
        return;
    }
    if (RowCount(cdsQtdeProdConfDif) > 0) {
        Notice(NoticeWrongReads);
    }

    db::TDataSet& product = FStore.ProductList();
    // The stock's text must be a whole number: a fractional stock fails here with the
    // conversion error, before anything is written.
    const std::string quantidade = product.FieldByName("QtdeAtual").AsString();
    if (rtl::StrToInt(quantidade) != cdsQtdeProdConfIgual.RecordCount()) {
        Notice(NoticeStockDiffers);
    }

    TAuditoriaRow row;
    row.Data = rtl::Date();
    row.CodGrupo = product.FieldByName("CodGrupo").AsString();
    row.CodProduto = product.FieldByName("CodProduto").AsString();
    row.Quantidade = quantidade;
    row.Situacao = AuditSituation;
    row.Observacao = AuditSignedByPrefix + FirstNameOfConferente();
    FStore.AppendAudit(row);

    LimparForm();
}

}  // namespace varelum::count
