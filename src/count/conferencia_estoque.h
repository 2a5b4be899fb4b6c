// TConferenciaEstoqueForm1: the rules of one stock count, as the main window's event handlers.
// An employee opens a count with a password (F2), chooses a product, reads codes into the code
// field; reads that equal the chosen product's code or its barcode go into the correct list,
// every other read that names some product into the wrong list; "Finalizar" accepts a balanced
// count and writes one audit row; F4 throws the count away.
//
// The count has no state variable of its own: its state is NomeConferente, the two lists and
// whether the code field is enabled. Every handler runs to its end on the user-interface thread;
// a rule violation shows a notice and ends the handler with the silent abort (rtl::EAbort), and
// any other failure (the store's) escapes to the main loop's error box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "count/conferencia_estoque_store.h"
#include "count/conferencia_estoque_view.h"
#include "count/obter_termo.h"
#include "count/senha_acesso.h"
#include "db/data_source.h"
#include "db/mem_table.h"

namespace varelum::rtl {
class TComponent;
}

namespace varelum::count {

// The full name of the employee who opened the current count; empty while no count is open.
// Module-level: cleared at the start of every open attempt, by LimparForm, and by
// FinalizeConferenciaEstoque when the program ends.
extern std::string NomeConferente;

// The module's finalisation step (the program runs it when its loop has ended).
void FinalizeConferenciaEstoque();

// Key codes of the function keys the window reacts to.
inline constexpr std::uint16_t KeyF2 = 113;
inline constexpr std::uint16_t KeyF4 = 115;
// The character of the Enter key in a key press.
inline constexpr char32_t KeyEnter = 13;

// Widths of the lists' fields; longer values are stored cut to them.
inline constexpr int CodGrupoWidth = 16;
inline constexpr int CodProdutoWidth = 30;

class TConferenciaEstoqueForm1 {
  public:
    // view, store and dialogs must outlive the form. requestTerminate asks the main loop to end
    // (the application's terminate request). Binds the view to the three data sources.
    TConferenciaEstoqueForm1(TConferenciaEstoqueView& view, TConferenciaEstoqueStore& store,
                             TSenhaAcessoDialogFactory& dialogs,
                             std::function<void()> requestTerminate);
    ~TConferenciaEstoqueForm1();

    TConferenciaEstoqueForm1(const TConferenciaEstoqueForm1&) = delete;
    TConferenciaEstoqueForm1& operator=(const TConferenciaEstoqueForm1&) = delete;

    // First showing of the window: opens the staff table, creates and opens both lists (empty),
    // opens the product list, empties Label2, Label4 and Label5, puts the window in its normal
    // state. Afterwards: no count, product list open.
    void FormShow();

    // F2 opens a count (refused with a notice while reads exist); F4 clears it (LimparForm).
    // Any other key is ignored. Keys are not consumed: the focused control still gets them.
    void FormKeyDown(std::uint16_t Key);

    // Clears the count without asking: no count, product list closed, chooser enabled.
    void LimparForm();

    // Show the chosen product's current quantity in Label2 ("Qtde atual: " and QtdeAtual), or
    // empty it when no product is chosen. DataSource1DataChange runs when the product list
    // changes its current row or its contents; DBLookupComboBox1Click when a product is picked.
    void DataSource1DataChange();
    void DBLookupComboBox1Click();

    // A key typed in the code field: Enter with a non-empty text looks the text up and records
    // the read (GravaLancamento); everything else is ignored.
    void Edit1KeyPress(char32_t Key);

    // Records a read: into the correct list when the code field's text equals the chooser's text
    // or the chosen product's barcode (CodBarras) exactly, else into the wrong list with the
    // codes of the code lookup's first row.
    // REQUIRES: the code lookup has just found a row for the code field's text.
    void GravaLancamento();

    // "Finalizar": accepts a balanced count (correct reads only, as many as the stock), writes
    // the audit row and clears; refuses the others with a notice; does nothing at all without
    // correct reads.
    void SpeedButton1Click();

    // A close request: refused with a notice while reads exist.
    void FormCloseQuery(bool& CanClose);
    // The close: closes the store's datasets, then the wrong list, then the correct list.
    void FormClose();

    // The single-instance guard found a previous copy: ignore it and end the main loop.
    void KrelOneInstance1Duplicated(rtl::TComponent* Sender, std::uint32_t PrevInstance);

    // The two lists of reads, codgrupo (16) and codproduto (30), one row per read, in order.
    db::TMemTable cdsQtdeProdConfIgual;  // correct reads
    db::TMemTable cdsQtdeProdConfDif;    // wrong reads

    // DataSource1: the product list, behind the chooser; DataSource2 and DataSource3: the
    // correct and the wrong list, behind the grids.
    db::TDataSource DataSource1;
    db::TDataSource DataSource2;
    db::TDataSource DataSource3;

  private:
    void OpenCount();
    void ShowCurrentQuantity();
    // The first steps of both an open attempt and a clear: no employee, code field empty and
    // disabled, quantity, counters and employee panel empty.
    void ResetCountTexts();
    // Shows the notice, then ends the operation with the silent abort.
    [[noreturn]] void Notice(const char* text);
    // Rows of a list; a list that is not open (before the first showing) has none.
    static int RowCount(const db::TMemTable& list);
    bool ReadsExist() const;
    bool ProductChosen() const;
    // The text is the chosen product's code as the chooser shows it, or its barcode.
    bool NamesChosenProduct(const std::string& code);
    // The first word of NomeConferente.
    std::string FirstNameOfConferente() const;
    // Empties the lists that have rows (correct first).
    void EmptyLists();
    void AppendRead(db::TMemTable& list, const std::string& codGrupo,
                    const std::string& codProduto);

    TConferenciaEstoqueView& FView;
    TConferenciaEstoqueStore& FStore;
    TSenhaAcessoDialogFactory& FDialogs;
    std::function<void()> FRequestTerminate;
};

}  // namespace varelum::count
