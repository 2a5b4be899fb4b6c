// The main window of the stock count on Qt: the program's only permanent window. It realises
// the count's view (count::TConferenciaEstoqueView) with the controls of its design at their
// fixed positions and sizes, owns the count's handlers (count::TConferenciaEstoqueForm1) and
// routes its events to them:
//
// - its first showing to FormShow; a close request to FormCloseQuery, then FormClose;
// - every key pressed anywhere in the window to FormKeyDown first (key preview: an application
//   event filter), then to the focused control as usual;
// - the characters typed in the code field to Edit1KeyPress, a pick in the product chooser to
//   DBLookupComboBox1Click, a click on "Finalizar" to SpeedButton1Click.
//
// Every handler runs through the event guard (event_guard.h); notices are shown through the
// given TMessageBoxes with the application title as caption.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "count/conferencia_estoque.h"
#include "count/conferencia_estoque_view.h"
#include "ui/senha_acesso_window.h"

class QLabel;
class QPushButton;
class QStatusBar;

namespace varelum::ui {

class TDBGrid;
class TDBLookupComboBox;
class TKeyPressLineEdit;
class TMessageBoxes;

// Client area of the window, in pixels.
inline constexpr int ConferenciaEstoqueClientWidth = 564;
inline constexpr int ConferenciaEstoqueClientHeight = 426;
// Panels of the status bar and the width of each.
inline constexpr int StatusPanelCount = 3;
inline constexpr int StatusPanelWidth = 150;
inline constexpr int StatusBarHeight = 19;

class TConferenciaEstoqueWindow final : public QWidget, private count::TConferenciaEstoqueView {
  public:
    // store, boxes and (when given) dialogs must outlive the window. applicationTitle is the
    // caption of the notices; requestTerminate asks the main loop to end, and is called when
    // the window has closed and when a second copy of the program is detected. Without
    // `dialogs` the window makes its own password dialogs.
    TConferenciaEstoqueWindow(count::TConferenciaEstoqueStore& store, TMessageBoxes& boxes,
                              std::string applicationTitle, std::function<void()> requestTerminate,
                              count::TSenhaAcessoDialogFactory* dialogs = nullptr,
                              QWidget* parent = nullptr);
    ~TConferenciaEstoqueWindow() override;

    // The count's handlers (the datasets, lists and data sources they hold).
    count::TConferenciaEstoqueForm1& Form() { return *FForm; }

    // The controls, by their names.
    QLabel* Label1() const { return FLabel1; }
    TDBLookupComboBox* DBLookupComboBox1() const { return FDBLookupComboBox1; }
    QLabel* Label3() const { return FLabel3; }
    TKeyPressLineEdit* Edit1() const { return FEdit1; }
    QLabel* Label2() const { return FLabel2; }
    TDBGrid* DBGrid1() const { return FDBGrid1; }
    TDBGrid* DBGrid2() const { return FDBGrid2; }
    QLabel* Label4() const { return FLabel4; }
    QLabel* Label5() const { return FLabel5; }
    QPushButton* SpeedButton1() const { return FSpeedButton1; }
    QStatusBar* StatusBar1() const { return FStatusBar1; }
    QLabel* StatusPanel(int index) const {
        return FStatusPanels.at(static_cast<std::size_t>(index));
    }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The key preview: key presses for any widget of this window reach FormKeyDown first.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The view.
    void BindDataSources(db::TDataSource& DataSource1, db::TDataSource& DataSource2,
                         db::TDataSource& DataSource3) override;
    std::string Edit1Text() const override;
    void SetEdit1Text(const std::string& text) override;
    void SetEdit1Enabled(bool enabled) override;
    void FocusEdit1() override;
    std::string DBLookupComboBox1Text() const override;
    void ClearDBLookupComboBox1KeyValue() override;
    void SetDBLookupComboBox1Enabled(bool enabled) override;
    void FocusDBLookupComboBox1() override;
    void SetLabel2Caption(const std::string& caption) override;
    void SetLabel4Caption(const std::string& caption) override;
    void SetLabel5Caption(const std::string& caption) override;
    void SetStatusBar1PanelText(int index, const std::string& text) override;
    void ShowNotice(const std::string& text) override;
    void SetWindowStateNormal() override;

    void CreateControls();
    void CreateStatusBar();

    TMessageBoxes& FBoxes;
    const std::string FApplicationTitle;
    std::function<void()> FRequestTerminate;
    TSenhaAcessoWindowFactory FOwnDialogs;

    QLabel* FLabel1 = nullptr;
    TDBLookupComboBox* FDBLookupComboBox1 = nullptr;
    QLabel* FLabel3 = nullptr;
    TKeyPressLineEdit* FEdit1 = nullptr;
    QLabel* FLabel2 = nullptr;
    TDBGrid* FDBGrid1 = nullptr;
    TDBGrid* FDBGrid2 = nullptr;
    QLabel* FLabel4 = nullptr;
    QLabel* FLabel5 = nullptr;
    QPushButton* FSpeedButton1 = nullptr;
    QStatusBar* FStatusBar1 = nullptr;
    std::array<QLabel*, StatusPanelCount> FStatusPanels{};

    // The key press the window previewed last and the widget it has reached since (it travels
    // from the focused control up to the window while nobody accepts it); cleared by the key's
    // release.
    const QEvent* FPreviewedKey = nullptr;
    QPointer<QWidget> FPreviewedReceiver;

    // Made last: its constructor binds the data sources to the controls above.
    std::unique_ptr<count::TConferenciaEstoqueForm1> FForm;
};

}  // namespace varelum::ui
