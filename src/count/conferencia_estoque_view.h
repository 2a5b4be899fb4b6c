// The view of the stock count: the elements of the main window that the count's handlers read
// and write. The Qt window realises it, and so does the test view; the count logic knows the
// window only through this interface.
#pragma once

#include <string>

namespace varelum::db {
class TDataSource;
}

namespace varelum::count {

// The status-bar panel that names the employee who opened the count (the third).
inline constexpr int EmployeePanelIndex = 2;

class TConferenciaEstoqueView {
  public:
    virtual ~TConferenciaEstoqueView() = default;

    // Wiring, called once by the count form's constructor. The product chooser lists the rows
    // of DataSource1's dataset by CodProduto (its key field and list field); choosing a row sets
    // the chooser's key value, moves that dataset to the row, updates the chooser's text and
    // calls DBLookupComboBox1Click. DBGrid1 shows DataSource2's rows and DBGrid2 DataSource3's,
    // in order of appending, scrolling to each new row. The sources outlive the view's use of
    // them.
    virtual void BindDataSources(db::TDataSource& DataSource1, db::TDataSource& DataSource2,
                                 db::TDataSource& DataSource3) = 0;

    // The code field Edit1. Its text holds what was typed, letters in upper case.
    virtual std::string Edit1Text() const = 0;
    virtual void SetEdit1Text(const std::string& text) = 0;
    virtual void SetEdit1Enabled(bool enabled) = 0;
    virtual void FocusEdit1() = 0;

    // The product chooser DBLookupComboBox1. Its text is the CodProduto of the row its key value
    // names, as the data layer presents the field; empty while the key value is null or the
    // listed dataset is closed. A product counts as chosen when the text is not empty.
    virtual std::string DBLookupComboBox1Text() const = 0;
    // Sets the key value to null, which empties the text.
    virtual void ClearDBLookupComboBox1KeyValue() = 0;
    virtual void SetDBLookupComboBox1Enabled(bool enabled) = 0;
    virtual void FocusDBLookupComboBox1() = 0;

    // Label2: the chosen product's current quantity; Label4 and Label5: the counters of correct
    // and wrong reads.
    virtual void SetLabel2Caption(const std::string& caption) = 0;
    virtual void SetLabel4Caption(const std::string& caption) = 0;
    virtual void SetLabel5Caption(const std::string& caption) = 0;

    // A panel of the status bar StatusBar1 (0-based; the count writes EmployeePanelIndex only).
    virtual void SetStatusBar1PanelText(int index, const std::string& text) = 0;

    // A notice: a modal box with the text, one OK button and the application title as caption.
    // Returns when the user has closed it.
    virtual void ShowNotice(const std::string& text) = 0;

    // Puts the window into its normal state: neither minimized nor maximized.
    virtual void SetWindowStateNormal() = 0;
};

}  // namespace varelum::count
